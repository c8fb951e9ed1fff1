#pragma once

#include "flash_map.h"

#include <cstdint>
#include <span>
#include <vector>

namespace kestrix {

// A found item as the hex view tints it: its range, its class and where it
// was found (which list, which row), for the caption shown on hover.
struct HexItem {
    int32_t Start = 0;
    int32_t End = 0;  // one past the last byte
    MapClass Class = MapClass::Data;
    int32_t Source = 0;  // the list it comes from, as the owner numbers them
    int32_t Index = 0;   // its row in that list
};

// A byte range marked in the view: a field of a file entry's header.
struct HexMark {
    int32_t Start = 0;
    int32_t End = 0;
};

// Items sorted by start, answering which one holds a byte: the one starting
// last among those holding it (an item inside another wins). A lookup walks
// back only over items that reach the byte.
class HexItemIndex {
public:
    void SetItems(std::vector<HexItem> items);
    const std::vector<HexItem>& Items() const noexcept { return m_items; }
    // The item holding offset, or null.
    const HexItem* ItemAt(int64_t offset) const noexcept;

private:
    std::vector<HexItem> m_items;
    // The largest end among items 0..i.
    std::vector<int32_t> m_reach;
};

// The header fields of the file entry whose data start at dataStart: its
// name, its signature and its size field; none when no entry lies there.
std::vector<HexMark> EntryHeaderFields(std::span<const uint8_t> image, int64_t dataStart);

}  // namespace kestrix
