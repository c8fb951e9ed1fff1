#include "graphics_scan.h"

#include "sliced_find.h"

#include <algorithm>
#include <span>
#include <string>

namespace kestrix {
namespace {

constexpr std::string_view kGifHeader = "4749463839";
constexpr std::string_view kErasedRun = "FFFFFFFFFFFFFFFFFFFFFFFFFF";
constexpr std::string_view kGifTrailer = "003B";
constexpr std::string_view kBmpHeader = "000000000000003E0000002800";
// The pattern starts this far into the bitmap file; the byte before it is the
// low byte of the file size.
constexpr int32_t kBmpPatternOffset = 3;
// The bitmap list has always shown the file size less the 6 bytes of its
// signature and size field; saving uses the range, which is the whole file.
constexpr int32_t kBmpSizeCellShortfall = 6;

// "Файл (" in Windows-1251.
constexpr std::string_view kCaptionPrefix = "\xD4\xE0\xE9\xEB (";

FoundRow PictureRow(ItemType type, int32_t start, int32_t end, int64_t size)
{
    FoundRow row;
    row.Type = type;
    row.Start = start;
    row.End = end;
    row.Size = size;
    return row;
}

// Size in bytes of a colour table announced by a packed field, 0 when absent.
int64_t ColourTableSize(uint8_t packed)
{
    return (packed & 0x80) != 0 ? int64_t{3} << ((packed & 0x07) + 1) : 0;
}

// Steps over a chain of data sub-blocks ending with a zero-length block.
bool SkipSubBlocks(std::span<const uint8_t> image, int64_t& p, int64_t limit)
{
    for (;;) {
        if (p >= limit)
            return false;
        const uint8_t length = image[static_cast<std::size_t>(p)];
        ++p;
        if (length == 0)
            return true;
        p += length;
    }
}

// Moves the gauge to n and lets the front end run; false when it asks to stop.
bool Progress(const ScanHooks& hooks, int32_t n)
{
    hooks.MoveGauge(n);
    return hooks.KeepGoing();
}

void Append(FoundRows& rows, const FoundRow& row, const ScanHooks& hooks)
{
    rows.Append(row);
    hooks.RowAppended(rows);
}

// Ends the last GIF row at its trailer; false when the front end asked to stop.
bool FixLastGifEnd(TCustomHexBuffer& buffer, FoundRow& row, const ScanHooks& hooks)
{
    const int32_t start = row.Start;
    const int32_t limit = std::min(buffer.DataSize(), kGifSearchBound);
    const int32_t trailer = FindGifTrailer(buffer.Bytes(), start, limit);
    if (trailer >= 0) {
        row.End = trailer + 1;
        // The size counts up to the trailer's 00, as the list has always shown it:
        // two less than the range, which ends one past the trailer byte 3Bh.
        row.Size = static_cast<int64_t>(row.End) - start - 2;
        return true;
    }
    // Not a well-formed GIF: fall back to the first 00 3B after its header.
    const SlicedFindResult t = FindHexPatternSliced(buffer, kGifTrailer, start + 1, kGifSearchBound, hooks);
    if (t.Offset >= 0) {
        row.End = t.Offset + 2;
        row.Size = static_cast<int64_t>(t.Offset) - start;
    }
    return !t.Stopped;
}

// GIF headers above kGifPassStart; each picture runs to the next header unless
// a run of 13 FFh lies between them. False when the front end asked to stop.
bool GifPass(TCustomHexBuffer& buffer, FoundRows& rows, const ScanHooks& hooks)
{
    const int32_t rangeEnd = std::min(buffer.DataSize(), kGifSearchBound);
    int32_t pos = kGifPassStart;
    bool listed = false;
    for (;;) {
        const SlicedFindResult header = FindHexPatternSliced(buffer, kGifHeader, pos + 1, kGifSearchBound, hooks);
        if (header.Stopped)
            return false;
        pos = header.Offset;
        if (pos < 0)
            break;
        const SlicedFindResult next = FindHexPatternSliced(buffer, kGifHeader, pos + 1, kGifSearchBound, hooks);
        if (next.Stopped)
            return false;
        if (next.Offset >= 0) {
            const SlicedFindResult erased = FindHexPatternSliced(buffer, kErasedRun, pos + 1, next.Offset, hooks);
            if (erased.Stopped)
                return false;
            if (erased.Offset >= 0)
                continue;
        }
        if (!Progress(hooks, static_cast<int32_t>(rows.Count())))
            return false;
        // The last header runs to the end of the searched range.
        const int32_t end = next.Offset >= 0 ? next.Offset : rangeEnd;
        Append(rows, PictureRow(ItemType::Gif, pos, end, static_cast<int64_t>(end) - pos), hooks);
        listed = true;
    }
    return !listed || FixLastGifEnd(buffer, rows.Back(), hooks);
}

// Small bitmaps found by the 13 bytes from offset 3 of their file header.
void BmpPass(TCustomHexBuffer& buffer, FoundRows& rows, const ScanHooks& hooks)
{
    const int32_t dataSize = buffer.DataSize();
    const std::span<const uint8_t> image = buffer.Bytes();
    int32_t pos = 0;
    for (;;) {
        const SlicedFindResult match = FindHexPatternSliced(buffer, kBmpHeader, pos + 1, dataSize, hooks);
        if (match.Stopped)
            return;
        pos = match.Offset;
        if (!Progress(hooks, static_cast<int32_t>(rows.Count())) || pos < 0)
            return;
        const int32_t start = pos - kBmpPatternOffset;
        // A match at offset 1 or 2 would put the file's start before the image.
        if (start < 0)
            continue;
        const uint8_t fileSize = image[static_cast<std::size_t>(pos - 1)];
        Append(rows,
               PictureRow(ItemType::Bmp, start, OffsetOrNoEnd(static_cast<int64_t>(start) + fileSize),
                          fileSize - kBmpSizeCellShortfall),
               hooks);
    }
}

}  // namespace

int32_t FindGifTrailer(std::span<const uint8_t> image, int32_t start, int32_t limit)
{
    const int64_t end = std::min<int64_t>(limit, static_cast<int64_t>(image.size()));
    constexpr int64_t kHeaderAndScreen = 13;
    if (start < 0 || start + kHeaderAndScreen > end)
        return -1;
    auto at = [image](int64_t offset) { return image[static_cast<std::size_t>(offset)]; };
    if (at(start) != 'G' || at(start + 1) != 'I' || at(start + 2) != 'F' || at(start + 3) != '8' ||
        (at(start + 4) != '7' && at(start + 4) != '9') || at(start + 5) != 'a')
        return -1;
    int64_t p = start + kHeaderAndScreen + ColourTableSize(at(start + 10));
    for (;;) {
        if (p >= end)
            return -1;
        switch (at(p)) {
        case 0x3B: return static_cast<int32_t>(p);
        case 0x21:  // extension: introducer, label, sub-blocks
            p += 2;
            if (!SkipSubBlocks(image, p, end))
                return -1;
            break;
        case 0x2C: {  // image: descriptor, local colour table, LZW code size, sub-blocks
            constexpr int64_t kDescriptor = 10;
            if (p + kDescriptor > end)
                return -1;
            p += kDescriptor + ColourTableSize(at(p + 9)) + 1;
            if (!SkipSubBlocks(image, p, end))
                return -1;
            break;
        }
        default: return -1;
        }
    }
}

bool ScanGraphics(TCustomHexBuffer& buffer, const ScanHooks& hooks, FoundRows& rows)
{
    if (buffer.DataSize() <= kMinScanSize)
        return false;
    rows.Clear();
    hooks.ShowGauge(kGraphicsGaugeMaximum);
    const bool carryOn = GifPass(buffer, rows, hooks);
    hooks.HideGauge();
    if (!carryOn)
        return true;
    hooks.ShowGauge(kGraphicsGaugeMaximum);
    BmpPass(buffer, rows, hooks);
    hooks.HideGauge();
    return true;
}

ResultRow PictureRowText(const FoundRows& rows, std::size_t index)
{
    const FoundRow& row = rows[index];
    return RowText(std::string(kCaptionPrefix) + std::to_string(index) + ")", row.Type == ItemType::Gif ? "gif" : "bmp",
                   row, kPictureRowIcon);
}

}  // namespace kestrix
