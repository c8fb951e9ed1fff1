#pragma once

#include "custom_hex_buffer.h"
#include "found_rows.h"
#include "list_kind.h"
#include "result_row.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrix {

// One file a save will write: the row and the file name inside the chosen
// folder (UTF-8, already made safe).
struct ExtractItem {
    int32_t Row = -1;
    std::string FileName;
};

// The bytes of a row: Start up to End, End excluded.
struct ItemRange {
    int32_t Start = 0;
    int32_t End = 0;
    // End - Start kept within 32 bits; negative for an end below the start.
    int32_t Count() const noexcept;
};

// A caption (Windows-1251 bytes) as a file name that stays inside its folder
// and is not hidden: decoded to UTF-8; "/", "\" and the control characters
// (IsControlByte) become "_"; a name that is then empty or starts with "."
// gets a leading "_".
std::string SafeFileName(const std::string& caption);

// Row index of a list as the list shows it.
using RowTextFunction = std::function<TResultRow(std::size_t index)>;

// The items a save of list writes, in list order, of the count rows that
// rowText gives: the rows its save rule keeps, under their save names made
// safe (SafeFileName). A name given to an earlier item gets " (2)", " (3)", ...
// before its extension (from its last "." unless that is its first
// character), so every item has a name of its own. selected (one flag per
// row) limits the rows; empty means every row.
std::vector<ExtractItem> PlanExtraction(ListKind list, std::size_t count, const RowTextFunction& rowText,
                                        const std::vector<bool>& selected = {});
// The same for the found rows of list.
std::vector<ExtractItem> PlanExtraction(ListKind list, const FoundRows& rows, const std::vector<bool>& selected = {});

// The range a row names by its cells: the end cell and then the start cell,
// read with StrToInt (EConvertError "'%s' is not a valid integer value").
ItemRange RangeOfCells(const TResultRow& row);

// Writes range of the image to folder/fileName (WriteRangeToFileAtomically).
// Returns the full path.
std::string ExtractToFolder(TCustomHexBuffer& buffer, const std::string& folder, const std::string& fileName,
                            ItemRange range);

// Writes buffer[start, start + count) to path (count <= 0: an empty file). The
// file is written under a temporary name in the same folder and renamed over
// path only when complete, so a failure leaves no new file and an older file
// intact; the file the image was loaded from is never replaced. Raises
// EReplacesImage "Cannot replace the open image "%s"", EFCreateError
// "Cannot create file "%s". %s", EReadError "Stream read error" for a range
// outside the image, or EWriteError "Stream write error in file "%s". %s".
void WriteRangeToFileAtomically(TCustomHexBuffer& buffer, const std::string& path, int32_t start, int32_t count);

}  // namespace kestrix
