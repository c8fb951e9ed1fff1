#pragma once

#include "content_search.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrix {

// What a stretch of the image holds, as the map of the flash colours it.
enum class MapClass : uint8_t { Erased, Data, Facts, Picture, Sound, Application, File };
inline constexpr int kMapClassCount = 7;

// A found range of the image and its class on the map.
struct MapItem {
    int32_t Start = 0;
    int32_t End = 0;  // one past the last byte
    MapClass Class = MapClass::Data;
};

// The whole image cut into cells of CellBytes bytes each (the last may be
// shorter), each with its class and the Shannon entropy of its bytes.
struct FlashMap {
    int64_t ImageSize = 0;
    int64_t CellBytes = 1;
    // Erased (at least 15/16 of the cell FFh, or 15/16 00h) or Data, from the bytes alone.
    std::vector<MapClass> ByteClasses;
    // ByteClasses overlaid with the items (PaintMapItems).
    std::vector<MapClass> Classes;
    // Entropy in bits per byte, 0 to 8, scaled to 0..255.
    std::vector<uint8_t> Entropy;

    int32_t CellCount() const noexcept { return static_cast<int32_t>(Classes.size()); }
    // The cell holding offset (0 <= offset < ImageSize).
    int32_t CellOf(int64_t offset) const noexcept { return static_cast<int32_t>(offset / CellBytes); }
    int64_t CellStart(int32_t cell) const noexcept { return cell * CellBytes; }
};

// Measures an image's cells a part at a time, so that a front end can keep
// answering between the parts. The image must stay as it is until Take().
class FlashMapBuilder {
public:
    // cells: how many cells at most (at least 1); a cell holds at least one
    // byte. cellBytes > 0 sets the cells' size instead.
    FlashMapBuilder(std::span<const uint8_t> image, int64_t cells, int64_t cellBytes = 0);
    // Measures the next cells, about maxBytes of the image; true when every
    // cell has been measured.
    bool Step(int64_t maxBytes);
    // Measures every cell left on up to threads threads at once; true.
    bool StepTogether(int threads);
    bool Done() const noexcept { return m_next >= static_cast<int64_t>(m_map.Classes.size()); }
    // The measured map (Classes as ByteClasses); the builder is spent.
    FlashMap Take() { return std::move(m_map); }

private:
    // Writes only the cell's own entries, so cells may be measured side by side.
    void MeasureCell(int64_t cell);

    std::span<const uint8_t> m_image;
    FlashMap m_map;
    int64_t m_next = 0;
    std::vector<double> m_countLog;  // c * log2(c) for small counts
};

// Sets map.Classes: each cell takes the class of the items covering most of
// its bytes, and keeps its ByteClass where no item covers it. Costs one pass
// over the items and the cells, however large the items.
void PaintMapItems(FlashMap& map, std::span<const MapItem> items);

// The map of image in cells cells with items painted on.
FlashMap ComputeFlashMap(std::span<const uint8_t> image, std::span<const MapItem> items, int64_t cells);

// The class a kind of content takes on the map.
MapClass MapClassOf(ContentKind kind) noexcept;
// The items of a content search and the facts of image, as map items.
std::vector<MapItem> MapItemsOf(std::span<const uint8_t> image, const std::vector<FoundItem>& items);

// The colour of a class, as red, green, blue.
std::array<uint8_t, 3> MapColour(MapClass kind) noexcept;

// The map as a picture: a grid of cells, row after row from the image's start
// at the top left, and beside it on the right the entropy plot, one bar per
// grid row as long as the row's entropy (the mean of its cells', or for
// cells too small to tell, measured over the row). Pixels as red, green, blue.
struct MapPicture {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t GridWidth = 0;  // cells per grid row; the plot starts at GridWidth + gap
    int64_t CellBytes = 1;
    std::vector<uint8_t> Rgb;
};

// The smallest picture width DrawFlashMap takes.
inline constexpr int32_t kMinMapWidth = 32;
inline constexpr int32_t kMaxMapWidth = 4096;
// Draws the map of image and items width pixels wide (kMinMapWidth to
// kMaxMapWidth): the grid about as tall as it is wide, so a cell holds about
// size / (grid width)^2 bytes. An empty image gives a picture one row high.
MapPicture DrawFlashMap(std::span<const uint8_t> image, std::span<const MapItem> items, int32_t width);

}  // namespace kestrix
