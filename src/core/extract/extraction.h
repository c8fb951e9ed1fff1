#pragma once

#include "custom_hex_buffer.h"
#include "found_rows.h"
#include "list_kind.h"
#include "result_row.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
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

// The same rules for a name already in UTF-8: "/", "\", U+0000–U+001F and
// U+007F–U+009F become "_"; an empty name or one starting with "." gets a
// leading "_".
std::string SafeUtf8FileName(std::string_view utf8);

// The names of the files one save writes into one folder: each caption made
// safe (SafeFileName); a name given to an earlier file gets " (2)", " (3)", ...
// before its extension (from its last "." unless that is its first character),
// so every file has a name of its own.
class FolderNames {
public:
    // The name for the next file of caption (Windows-1251 bytes), as UTF-8.
    std::string Claim(const std::string& caption);
    // The name for the next file of a name already made safe (UTF-8).
    std::string ClaimSafe(const std::string& name);

private:
    std::unordered_set<std::string> m_taken;
    // Per name given more than once, the number its next copy tries first.
    std::unordered_map<std::string, int> m_nextNumber;
};

// Row index of a list as the list shows it.
using RowTextFunction = std::function<ResultRow(std::size_t index)>;

// The items a save of list writes, in list order, of the count rows that
// rowText gives: the rows its save rule keeps, under their save names
// (FolderNames). selected (one flag per
// row) limits the rows; empty means every row.
std::vector<ExtractItem> PlanExtraction(ListKind list, std::size_t count, const RowTextFunction& rowText,
                                        const std::vector<bool>& selected = {});
// The same for the found rows of list.
std::vector<ExtractItem> PlanExtraction(ListKind list, const FoundRows& rows, const std::vector<bool>& selected = {});

// The range a row names by its cells: the end cell and then the start cell,
// read with StrToInt (EConvertError "'%s' is not a valid integer value").
ItemRange RangeOfCells(const ResultRow& row);

// Files no save may replace, known by device and inode, so that another name
// (a hard link, a path through another folder) of a kept file is refused too.
class KeptFiles {
public:
    // Adds the file path names now; a path that names nothing adds nothing.
    void Add(const std::string& path);
    // Whether path names one of the kept files (false when it names nothing).
    bool Holds(const std::string& path) const;

private:
    std::set<std::pair<uint64_t, uint64_t>> m_files;
};

// Writes range of the image to folder/fileName (WriteRangeToFileAtomically).
// Returns the full path.
std::string ExtractToFolder(TCustomHexBuffer& buffer, const std::string& folder, const std::string& fileName,
                            ItemRange range, const KeptFiles* kept = nullptr);

// Writes buffer[start, start + count) to path (count <= 0: an empty file). The
// file is written unnamed and given its name only when complete (AtomicFile),
// so a failure leaves no new file and an older file intact; neither the file
// the image was loaded from nor a file of kept is ever replaced. Raises
// ReplacesImageError "Cannot replace the open image "%s"", FileCreateError
// "Cannot create file "%s". %s", EReadError "Stream read error" for a range
// outside the image, or EWriteError "Stream write error in file "%s". %s".
void WriteRangeToFileAtomically(TCustomHexBuffer& buffer, const std::string& path, int32_t start, int32_t count,
                                const KeptFiles* kept = nullptr);

// Writes bytes (made from the image, such as a sound decoded to WAV) to path,
// whole or not at all, with the rules and errors of WriteRangeToFileAtomically.
void WriteBytesToFileAtomically(TCustomHexBuffer& buffer, const std::string& path, std::span<const uint8_t> bytes,
                                const KeptFiles* kept = nullptr);

// Writes what write puts into out (a file, from its start) to path, with the
// rules and errors of WriteRangeToFileAtomically; when write returns false the
// file is dropped and nothing is written. Returns write's answer.
bool WriteToFileAtomically(TCustomHexBuffer& buffer, const std::string& path,
                           const std::function<bool(Stream& out)>& write, const KeptFiles* kept = nullptr);

// What a save does with an item that could not be written.
enum class AfterFailure { GoOn, Stop };

// How a save reports as it goes.
struct SaveHooks {
    // After each file written: its item and the number of files written so far.
    std::function<void(const ExtractItem& item, std::size_t written)> Written;
    // When an item fails (its range cannot be read or its file not written):
    // the item and the failure; says whether the save goes on. Without it the
    // save stops at the first failure.
    std::function<AfterFailure(const ExtractItem& item, const std::exception& failure)> Failed;
};

// What a save did.
struct SaveReport {
    std::size_t Written = 0;
    // The first failure the save went on past; null when none.
    std::exception_ptr FirstFailure;
};

// The range of the row an item names.
using ItemRangeFunction = std::function<ItemRange(const ExtractItem& item)>;

// The one save loop of every list: writes each item's range of the image to
// folder/FileName, in the order of items (ExtractToFolder, never replacing the
// open image or a file of kept). First removes the hidden temporary files that
// killed writers left in folder (RemoveAbandonedTemporaries), never the open
// image or a file of kept. A failing item
// goes to hooks.Failed: GoOn goes on with the next item; Stop raises that
// failure from here, the files written before staying written.
SaveReport SaveToFolder(TCustomHexBuffer& buffer, const std::string& folder, const std::vector<ExtractItem>& items,
                        const ItemRangeFunction& rangeOf, const SaveHooks& hooks, const KeptFiles& kept = {});

}  // namespace kestrix
