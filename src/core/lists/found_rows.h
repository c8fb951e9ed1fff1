#pragma once

#include "item_type.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace kestrix {

// One item a scan found: a byte range of the image and the numbers its list
// shows. Offsets are zero-based, signed 32-bit. A dense image makes tens of
// millions of rows, so a row is kept at 24 bytes: its name, when it has one,
// lives in the list's name store (FoundRows::Append), and the list's text is
// made only when it is shown.
struct FoundRow {
    static constexpr int32_t kNoEnd = INT32_MIN;

    // The size the list shows; not always End - Start (a GIF ended at its
    // trailer shows two less, a bitmap six less).
    int64_t Size = 0;
    int32_t Start = 0;
    // One past the last byte, or kNoEnd when the scan does not know it.
    int32_t End = kNoEnd;
    ItemType Type = ItemType::File;
    // Where FoundRows keeps the row's name; set by FoundRows::Append.
    uint16_t NameLength = 0;
    uint32_t NameOffset = 0;

    bool HasEnd() const noexcept { return End != kNoEnd; }
};
// A 256 MiB image can list some 44 million rows (bench/dense_bench.sh); fields
// that only a few rows need are better kept beside the rows, as names are.
static_assert(sizeof(FoundRow) <= 24, "a dense image lists tens of millions of rows");

// What a row of the deep picture search shows beyond its range. Only that list
// has them, so they live apart from the rows (FoundRows::Details).
struct PictureDetails {
    int32_t Width = 0;
    int32_t Height = 0;
    // Frames of a GIF; 0 for the other formats.
    int32_t Frames = 0;
    ItemStatus Status = ItemStatus::Complete;
    // The entry's bytes after the picture's end, and why it has its status.
    int32_t Trailing = 0;
    StatusReason Reason = StatusReason::None;
    bool operator==(const PictureDetails&) const = default;
};

// offset as a row's end, or kNoEnd when it lies beyond the largest offset.
inline int32_t OffsetOrNoEnd(int64_t offset) noexcept
{
    return offset <= INT32_MAX ? static_cast<int32_t>(offset) : FoundRow::kNoEnd;
}

// The rows of one list in list order, with the names some of them carry.
// Appending never moves the rows already held, so a list that grows to
// millions of rows never needs twice its size.
class FoundRows {
public:
    std::size_t Count() const noexcept { return m_rows.size(); }
    bool Empty() const noexcept { return m_rows.empty(); }
    const FoundRow& operator[](std::size_t index) const { return m_rows[index]; }
    FoundRow& operator[](std::size_t index) { return m_rows[index]; }
    FoundRow& Back() { return m_rows.back(); }
    const FoundRow& Back() const { return m_rows.back(); }

    // Appends row; name (Windows-1251 bytes, at most 65535 of them kept) is the
    // name kept with it, empty for a row without one.
    void Append(FoundRow row, std::string_view name = {});
    // The same for a picture row with its details.
    void Append(FoundRow row, std::string_view name, const PictureDetails& details);
    // The name kept with row index; empty when it has none.
    std::string_view Name(std::size_t index) const;
    // The details kept with row index; all zero for a row appended without them.
    PictureDetails Details(std::size_t index) const;
    // Removes the rows for which remove(row, name) is true; the rest keep their order.
    void RemoveIf(const std::function<bool(const FoundRow& row, std::string_view name)>& remove);
    void Clear();

private:
    void AppendRow(FoundRow row, std::string_view name);

    std::deque<FoundRow> m_rows;
    std::string m_names;
    // Empty while no row has details; from the first row that has them on, one
    // per row.
    std::deque<PictureDetails> m_details;
};

}  // namespace kestrix
