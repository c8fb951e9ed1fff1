#pragma once

#include "custom_hex_buffer.h"
#include "result_row.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix {

// Which list a save acts on.
enum SavePage : int32_t { spFiles = 0, spGraphics = 1 };

// One file a save will write: the row, the file name inside the chosen folder
// (UTF-8, already made safe) and the row's range cells as text.
struct ExtractItem {
    int32_t Row = -1;
    std::string FileName;
    std::string StartText;
    std::string EndText;
};

// A caption (Windows-1251 bytes) as a file name that stays inside its folder:
// decoded to UTF-8; "/", "\" and U+0000..U+001F, U+007F become "_"; a name that is
// then empty, "." or ".." gets a leading "_".
std::string SafeFileName(const std::string& caption);

// The items a save writes, in list order. Files page: rows with a non-empty end
// cell, named after the caption. Graphics page: rows with a non-empty caption,
// named caption + "." + type. selected (one flag per row) limits the rows; empty
// means every row.
std::vector<ExtractItem> PlanExtraction(SavePage page, const std::vector<TResultRow>& rows,
                                         const std::vector<bool>& selected = {});

// Writes the item's range of the image to folder/FileName. The file is written
// under a temporary name in the same folder and renamed over the final name only
// when complete, so a failure leaves no new file and an older file intact.
// Raises EConvertError for a bad range cell, EFCreateError
// "Cannot create file "%s". %s", EReadError or EWriteError. Returns the full path.
std::string ExtractToFolder(TCustomHexBuffer& buffer, const std::string& folder, const ExtractItem& item);

// Writes buffer[start, start + count) to path the same way (count <= 0: an empty file).
void WriteRangeToFileAtomically(TCustomHexBuffer& buffer, const std::string& path, int32_t start, int32_t count);

}  // namespace kestrix
