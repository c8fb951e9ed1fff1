#pragma once

#include "found_rows.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix {

// Cell positions of the file and picture lists; the deep picture search's rows
// have the four cells after Size too.
enum class RowCell : std::size_t {
    Type = 0,
    Start = 1,
    End = 2,
    Size = 3,
    Width = 4,
    Height = 5,
    Frames = 6,
    Status = 7
};

// One line of a result list: a caption (first column) and text cells (cell k in
// column k + 1). Text is Windows-1251 bytes as read from the image; numbers are
// decimal text.
struct ResultRow {
    std::string Caption;
    std::vector<std::string> Cells;
    int32_t ImageIndex = -1;

    // Cell k, or an empty text when the row has fewer cells.
    const std::string& Cell(std::size_t k) const;
    const std::string& Cell(RowCell cell) const { return Cell(static_cast<std::size_t>(cell)); }
    // Cell k for writing; the row gets the cells it lacks, empty.
    std::string& Cell(RowCell cell);
    bool operator==(const ResultRow&) const = default;
};

// Icon indices of ImageList1 that rows carry.
inline constexpr int32_t kFileRowIcon = 11;
inline constexpr int32_t kPictureRowIcon = 5;

// A found row as a list shows it: caption, then the type, start, end (empty
// without one) and size cells in decimal.
ResultRow RowText(std::string caption, std::string type, const FoundRow& row, int32_t icon);

// Strict decimal conversion: an optional "-" then digits, within signed 32 bits.
// Raises EConvertError "'%s' is not a valid integer value" (the text in place of %s).
int32_t StrToInt(const std::string& text);

}  // namespace kestrix
