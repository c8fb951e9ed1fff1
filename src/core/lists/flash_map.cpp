#include "flash_map.h"

#include "firmware_info.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace kestrix {
namespace {

// Counts up to this size take c * log2(c) from a table.
constexpr int64_t kCountLogTable = 65536;
// Cells at least this long are counted in four interleaved tables, which keep
// the counting free of stalls on repeated bytes.
constexpr int64_t kWideCell = 2048;
// Cells shorter than this tell too little of their entropy to plot it.
constexpr int64_t kSmallCell = 256;

// Whether all n bytes from p are p[0], in words of 8 bytes.
bool IsUniform(const uint8_t* p, int64_t n) noexcept
{
    uint64_t word = 0x0101010101010101ull * p[0];
    int64_t i = 0;
    for (; i + 32 <= n; i += 32) {
        uint64_t a, b, c, d;
        std::memcpy(&a, p + i, 8);
        std::memcpy(&b, p + i + 8, 8);
        std::memcpy(&c, p + i + 16, 8);
        std::memcpy(&d, p + i + 24, 8);
        if (((a ^ word) | (b ^ word) | (c ^ word) | (d ^ word)) != 0)
            return false;
    }
    for (; i < n; ++i)
        if (p[i] != p[0])
            return false;
    return true;
}

}  // namespace

FlashMapBuilder::FlashMapBuilder(std::span<const uint8_t> image, int64_t cells, int64_t cellBytes) : m_image(image)
{
    const auto size = static_cast<int64_t>(image.size());
    cells = std::max<int64_t>(1, cells);
    m_map.ImageSize = size;
    m_map.CellBytes = cellBytes > 0 ? cellBytes : std::max<int64_t>(1, (size + cells - 1) / cells);
    const int64_t count = size == 0 ? 0 : (size + m_map.CellBytes - 1) / m_map.CellBytes;
    m_map.ByteClasses.assign(static_cast<std::size_t>(count), MapClass::Data);
    m_map.Entropy.assign(static_cast<std::size_t>(count), 0);
    m_map.Classes.assign(static_cast<std::size_t>(count), MapClass::Data);
    m_countLog.resize(static_cast<std::size_t>(std::min(kCountLogTable, m_map.CellBytes) + 1));
    for (std::size_t c = 1; c < m_countLog.size(); ++c)
        m_countLog[c] = static_cast<double>(c) * std::log2(static_cast<double>(c));
}

void FlashMapBuilder::MeasureCell(int64_t cell)
{
    const int64_t start = cell * m_map.CellBytes;
    const int64_t n = std::min(m_map.CellBytes, static_cast<int64_t>(m_image.size()) - start);
    const uint8_t* p = m_image.data() + start;
    const auto index = static_cast<std::size_t>(cell);
    // Erased flash is most of many images: a cell of one byte value is told
    // by a comparison that runs far faster than counting.
    if (IsUniform(p, n)) {
        m_map.Entropy[index] = 0;
        m_map.ByteClasses[index] = p[0] == 0xFF || p[0] == 0x00 ? MapClass::Erased : MapClass::Data;
        m_map.Classes[index] = m_map.ByteClasses[index];
        return;
    }
    std::array<uint32_t, 256> counts{};
    if (n >= kWideCell) {
        std::array<std::array<uint32_t, 256>, 4> lanes{};
        int64_t i = 0;
        for (; i + 4 <= n; i += 4) {
            ++lanes[0][p[i]];
            ++lanes[1][p[i + 1]];
            ++lanes[2][p[i + 2]];
            ++lanes[3][p[i + 3]];
        }
        for (; i < n; ++i)
            ++lanes[0][p[i]];
        for (int b = 0; b < 256; ++b)
            counts[b] = lanes[0][b] + lanes[1][b] + lanes[2][b] + lanes[3][b];
    } else {
        for (int64_t i = 0; i < n; ++i)
            ++counts[p[i]];
    }
    double sum = 0;
    for (const uint32_t c : counts)
        if (c > 1)
            sum += c < m_countLog.size() ? m_countLog[c] : c * std::log2(static_cast<double>(c));
    const double bits = std::log2(static_cast<double>(n)) - sum / static_cast<double>(n);
    m_map.Entropy[index] = static_cast<uint8_t>(std::clamp(std::lround(bits / 8 * 255), 0L, 255L));
    const int64_t erased = n - n / 16;
    const bool isErased = counts[0xFF] >= erased || counts[0x00] >= erased;
    m_map.ByteClasses[index] = isErased ? MapClass::Erased : MapClass::Data;
    m_map.Classes[index] = m_map.ByteClasses[index];
}

bool FlashMapBuilder::Step(int64_t maxBytes)
{
    const auto count = static_cast<int64_t>(m_map.Classes.size());
    int64_t measured = 0;
    while (m_next < count && measured < maxBytes) {
        MeasureCell(m_next++);
        measured += m_map.CellBytes;
    }
    return Done();
}

void PaintMapItems(FlashMap& map, std::span<const MapItem> items)
{
    map.Classes = map.ByteClasses;
    const auto cells = static_cast<int64_t>(map.Classes.size());
    if (cells == 0)
        return;
    const int64_t bytes = map.CellBytes;
    std::vector<int64_t> best(static_cast<std::size_t>(cells), 0);
    std::vector<int64_t> cover(static_cast<std::size_t>(cells) + 1);
    std::vector<int64_t> fullCells(static_cast<std::size_t>(cells) + 1);
    // One class at a time, so that memory stays a few numbers per cell.
    for (int k = static_cast<int>(MapClass::Facts); k < kMapClassCount; ++k) {
        const auto kind = static_cast<MapClass>(k);
        std::fill(cover.begin(), cover.end(), 0);
        std::fill(fullCells.begin(), fullCells.end(), 0);
        bool any = false;
        for (const MapItem& item : items) {
            if (item.Class != kind)
                continue;
            const int64_t s = std::max<int64_t>(0, item.Start);
            const int64_t e = std::min<int64_t>(map.ImageSize, item.End);
            if (s >= e)
                continue;
            any = true;
            const int64_t first = s / bytes;
            const int64_t last = (e - 1) / bytes;
            if (first == last) {
                cover[static_cast<std::size_t>(first)] += e - s;
                continue;
            }
            cover[static_cast<std::size_t>(first)] += (first + 1) * bytes - s;
            cover[static_cast<std::size_t>(last)] += e - last * bytes;
            ++fullCells[static_cast<std::size_t>(first + 1)];
            --fullCells[static_cast<std::size_t>(last)];
        }
        if (!any)
            continue;
        int64_t running = 0;
        for (int64_t c = 0; c < cells; ++c) {
            const auto i = static_cast<std::size_t>(c);
            running += fullCells[i];
            const int64_t covered = cover[i] + running * bytes;
            if (covered > best[i]) {
                best[i] = covered;
                map.Classes[i] = kind;
            }
        }
    }
}

bool FlashMapBuilder::StepTogether(int threads)
{
    const auto count = static_cast<int64_t>(m_map.Classes.size());
    const int64_t first = m_next;
    threads = static_cast<int>(std::clamp<int64_t>(threads, 1, count - first));
    if (threads <= 1)
        return Step(INT64_MAX);
    // Each thread measures its own run of cells; they write apart.
    std::vector<std::thread> workers;
    const int64_t share = (count - first + threads - 1) / threads;
    for (int t = 0; t < threads; ++t) {
        const int64_t from = first + t * share;
        const int64_t to = std::min(count, from + share);
        workers.emplace_back([this, from, to] {
            for (int64_t cell = from; cell < to; ++cell)
                MeasureCell(cell);
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    m_next = count;
    return true;
}

FlashMap ComputeFlashMap(std::span<const uint8_t> image, std::span<const MapItem> items, int64_t cells)
{
    FlashMapBuilder builder(image, cells);
    // Threads pay off only where there is much to count.
    constexpr int64_t kThreadedBytes = int64_t{16} << 20;
    const int threads = image.size() >= static_cast<std::size_t>(kThreadedBytes)
                            ? static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))
                            : 1;
    builder.StepTogether(threads);
    FlashMap map = builder.Take();
    PaintMapItems(map, items);
    return map;
}

MapClass MapClassOf(ContentKind kind) noexcept
{
    switch (kind) {
    case ContentKind::Picture: return MapClass::Picture;
    case ContentKind::Sound: return MapClass::Sound;
    case ContentKind::Application: return MapClass::Application;
    case ContentKind::File: return MapClass::File;
    }
    return MapClass::File;
}

std::vector<MapItem> MapItemsOf(std::span<const uint8_t> image, const std::vector<FoundItem>& items)
{
    std::vector<MapItem> out;
    out.reserve(items.size() + 5);
    for (const FoundItem& item : items)
        out.push_back({item.Start, item.End, MapClassOf(KindOf(item.Type))});
    for (const FactRange& fact : FirmwareFactRanges(image))
        out.push_back({fact.Start, std::max(fact.End, fact.Start + 1), MapClass::Facts});
    return out;
}

std::array<uint8_t, 3> MapColour(MapClass kind) noexcept
{
    switch (kind) {
    case MapClass::Erased: return {228, 228, 228};
    case MapClass::Data: return {72, 84, 104};
    case MapClass::Facts: return {214, 40, 40};
    case MapClass::Picture: return {46, 160, 67};
    case MapClass::Sound: return {240, 150, 20};
    case MapClass::Application: return {140, 80, 200};
    case MapClass::File: return {40, 130, 230};
    }
    return {0, 0, 0};
}

MapPicture DrawFlashMap(std::span<const uint8_t> image, std::span<const MapItem> items, int32_t width)
{
    constexpr int32_t kGap = 4;
    constexpr std::array<uint8_t, 3> kBackground{255, 255, 255};
    constexpr std::array<uint8_t, 3> kPlotGround{245, 245, 245};
    constexpr std::array<uint8_t, 3> kPlotBar{30, 30, 30};
    MapPicture picture;
    picture.Width = std::clamp(width, kMinMapWidth, kMaxMapWidth);
    const int32_t plot = std::max(8, picture.Width / 5);
    picture.GridWidth = picture.Width - plot - kGap;
    const int64_t grid = picture.GridWidth;

    const FlashMap map = ComputeFlashMap(image, items, grid * grid);
    picture.CellBytes = map.CellBytes;
    const int64_t cells = map.CellCount();
    picture.Height = static_cast<int32_t>(std::max<int64_t>(1, (cells + grid - 1) / grid));
    picture.Rgb.resize(static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(picture.Height) * 3);

    auto put = [&picture](int32_t x, int32_t y, const std::array<uint8_t, 3>& colour) {
        const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.Width) + x) * 3;
        std::copy(colour.begin(), colour.end(), picture.Rgb.begin() + static_cast<std::ptrdiff_t>(at));
    };
    // A cell of a few bytes cannot show more than log2 of its size in bits;
    // such rows are measured whole, which costs one more pass over a small image.
    std::vector<uint8_t> rowEntropy;
    if (map.CellBytes < kSmallCell && cells > 0) {
        FlashMapBuilder rows(image, 1, grid * map.CellBytes);
        rows.Step(INT64_MAX);
        rowEntropy = rows.Take().Entropy;
    }
    for (int32_t y = 0; y < picture.Height; ++y) {
        int64_t entropySum = 0;
        int64_t inRow = 0;
        for (int32_t x = 0; x < picture.Width; ++x)
            put(x, y, kBackground);
        for (int32_t x = 0; x < picture.GridWidth; ++x) {
            const int64_t cell = y * grid + x;
            if (cell >= cells)
                break;
            put(x, y, MapColour(map.Classes[static_cast<std::size_t>(cell)]));
            entropySum += map.Entropy[static_cast<std::size_t>(cell)];
            ++inRow;
        }
        const int32_t plotStart = picture.GridWidth + kGap;
        if (!rowEntropy.empty() && inRow > 0) {
            entropySum = rowEntropy[static_cast<std::size_t>(y)];
            inRow = 1;
        }
        const int64_t bar = inRow == 0 ? 0 : entropySum * plot / (inRow * 255);
        for (int32_t x = 0; x < plot; ++x)
            put(plotStart + x, y, x < bar ? kPlotBar : kPlotGround);
    }
    return picture;
}

}  // namespace kestrix
