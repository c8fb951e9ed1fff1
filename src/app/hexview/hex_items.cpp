#include "hex_items.h"

#include "file_entry_layout.h"

#include <algorithm>

namespace kestrix {

void HexItemIndex::SetItems(std::vector<HexItem> items)
{
    std::stable_sort(items.begin(), items.end(), [](const HexItem& a, const HexItem& b) { return a.Start < b.Start; });
    m_items = std::move(items);
    m_reach.resize(m_items.size());
    int32_t reach = INT32_MIN;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        reach = std::max(reach, m_items[i].End);
        m_reach[i] = reach;
    }
}

const HexItem* HexItemIndex::ItemAt(int64_t offset) const noexcept
{
    auto after = std::upper_bound(m_items.begin(), m_items.end(), offset,
                                  [](int64_t value, const HexItem& item) { return value < item.Start; });
    for (auto i = static_cast<std::size_t>(after - m_items.begin()); i > 0; --i) {
        if (m_reach[i - 1] <= offset)
            return nullptr;
        if (m_items[i - 1].End > offset)
            return &m_items[i - 1];
    }
    return nullptr;
}

std::vector<HexMark> EntryHeaderFields(std::span<const uint8_t> image, int64_t dataStart)
{
    const int64_t h = dataStart - kFileEntryDataOffset;
    if (h < kFileEntryNameDistance || !HasFileEntrySignature(image, h) ||
        h + kFileEntrySizeOffset + 4 > static_cast<int64_t>(image.size()))
        return {};
    const auto nameLength = static_cast<int64_t>(ReadFileEntryName(image, h).size());
    const int64_t name = h - kFileEntryNameDistance;
    return {
        {static_cast<int32_t>(name), static_cast<int32_t>(name + 2 * nameLength - 1)},
        {static_cast<int32_t>(h), static_cast<int32_t>(h + kFileEntrySignature.size())},
        {static_cast<int32_t>(h + kFileEntrySizeOffset), static_cast<int32_t>(h + kFileEntrySizeOffset + 4)},
    };
}

}  // namespace kestrix
