#include "bmp_walk.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace kestrix {
namespace {

constexpr int64_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;

enum Compression : uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

// Trailing data beyond the pixels that a file size may still cover (colour
// profiles, writers that pad the file).
constexpr int64_t kTrailingAllowance = 64 * 1024;
// 256 colours of 4 bytes; the gap between headers and pixels stays below it plus
// the allowance above.
constexpr int64_t kLargestPalette = 256 * 4;

bool HeaderSizeIsKnown(uint32_t size) noexcept
{
    switch (size) {
    case 12:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124: return true;
    default: return false;
    }
}

bool IsRle(uint32_t compression) noexcept
{
    return compression == Rle8 || compression == Rle4;
}

bool DepthIsKnown(uint32_t bits) noexcept
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool CompressionSuits(uint32_t compression, uint32_t bits) noexcept
{
    switch (compression) {
    case Rgb: return true;
    case Rle8: return bits == 8;
    case Rle4: return bits == 4;
    case BitFields:
    case AlphaBitFields: return bits == 16 || bits == 32;
    default: return false;
    }
}

struct BmpHeader {
    uint32_t FileSize;
    uint32_t PixelOffset;
    uint32_t HeaderSize;
    int64_t Width;
    int64_t Height;  // negative for top-down rows
    uint32_t Bits;
    uint32_t Compression;
    uint32_t ImageSize;  // the compressed size of RLE pixels; may be 0 otherwise
};

// The header fields a decoder needs, checked as a decoder must; false when
// they describe no bitmap that can be read.
bool ParseHeader(std::span<const uint8_t> bytes, BmpHeader& header) noexcept
{
    const auto size = static_cast<int64_t>(bytes.size());
    if (size < kFileHeaderSize + kCoreHeaderSize || bytes[0] != 'B' || bytes[1] != 'M')
        return false;
    header.FileSize = ReadLe32(bytes, 2);
    header.PixelOffset = ReadLe32(bytes, 10);
    header.HeaderSize = ReadLe32(bytes, 14);
    if (!HeaderSizeIsKnown(header.HeaderSize) || size < kFileHeaderSize + header.HeaderSize)
        return false;
    uint32_t planes = 0;
    if (header.HeaderSize == kCoreHeaderSize) {
        header.Width = ReadLe16(bytes, 18);
        header.Height = ReadLe16(bytes, 20);
        planes = ReadLe16(bytes, 22);
        header.Bits = ReadLe16(bytes, 24);
        header.Compression = Rgb;
        header.ImageSize = 0;
    } else {
        header.Width = static_cast<int32_t>(ReadLe32(bytes, 18));
        header.Height = static_cast<int32_t>(ReadLe32(bytes, 22));
        planes = ReadLe16(bytes, 26);
        header.Bits = ReadLe16(bytes, 28);
        header.Compression = ReadLe32(bytes, 30);
        header.ImageSize = ReadLe32(bytes, 34);
    }
    const bool topDown = header.Height < 0;
    return planes == 1 && DepthIsKnown(header.Bits) && CompressionSuits(header.Compression, header.Bits) &&
           header.Width >= 1 && header.Height != 0 && header.Height != std::numeric_limits<int32_t>::min() &&
           !(topDown && IsRle(header.Compression)) && header.PixelOffset >= kFileHeaderSize + header.HeaderSize;
}

// ParseHeader, and what keeps chance hits on "BM" out of the search: reserved
// fields of zero and pixels that start soon after the headers.
bool ReadHeader(std::span<const uint8_t> bytes, BmpHeader& header) noexcept
{
    return ParseHeader(bytes, header) && ReadLe32(bytes, 6) == 0 &&
           header.PixelOffset <= kFileHeaderSize + header.HeaderSize + kLargestPalette + kTrailingAllowance;
}

// Whether an indexed bitmap's count of colours used is one a decoder reads: at
// most the 2^bits colours its pixels can name.
bool ColoursUsedSuit(std::span<const uint8_t> bytes, const BmpHeader& header) noexcept
{
    return header.Bits > 8 || header.HeaderSize == kCoreHeaderSize ||
           ReadLe32(bytes, kFileHeaderSize + 32) <= uint32_t{1} << header.Bits;
}

// One past the palette of an indexed bitmap with a Windows info header: its
// colours used, or 2^bits where that is 0, of 4 bytes each after the headers.
// Decoders read it whole wherever the pixels start. 0 for other bitmaps.
int64_t PaletteEnd(std::span<const uint8_t> bytes, const BmpHeader& header) noexcept
{
    if (header.Bits > 8 || header.HeaderSize == kCoreHeaderSize)
        return 0;
    const uint32_t used = ReadLe32(bytes, kFileHeaderSize + 32);
    const int64_t colours = used != 0 ? used : int64_t{1} << header.Bits;
    return kFileHeaderSize + header.HeaderSize + 4 * colours;
}

// The red, green and blue masks of a bit-field bitmap follow the 40-byte info
// header (inside the longer headers).
constexpr int64_t kMasksEnd = kFileHeaderSize + 40 + 12;

// Masks a decoder can turn into channels: each one empty (the channel is 0) or
// a single run of set bits, and no two sharing a bit. Requires the masks inside
// bytes.
bool MasksAreSound(std::span<const uint8_t> bytes) noexcept
{
    uint32_t seen = 0;
    for (int64_t at = kMasksEnd - 12; at < kMasksEnd; at += 4) {
        const uint32_t mask = ReadLe32(bytes, at);
        if (mask == 0)
            continue;
        const uint32_t run = mask >> std::countr_zero(mask);
        if ((run & (run + 1)) != 0 || (mask & seen) != 0)
            return false;
        seen |= mask;
    }
    return true;
}

// An OS/2 palette has 3 bytes a colour and always 2^bits colours: decoders read
// them all before the pixels, so a shorter one shifts the pixels.
bool Os2PaletteIsWhole(const BmpHeader& header) noexcept
{
    return header.HeaderSize != kCoreHeaderSize || header.Bits > 8 ||
           kFileHeaderSize + kCoreHeaderSize + 3 * (int64_t{1} << header.Bits) <= header.PixelOffset;
}

// Bytes of uncompressed pixels: rows padded to 4 bytes. Saturates at a length
// beyond any image so that sums of it cannot overflow.
int64_t PixelBytes(const BmpHeader& header) noexcept
{
    constexpr int64_t kBeyondAnyImage = int64_t{1} << 40;
    const int64_t rowBytes = (header.Width * header.Bits + 31) / 32 * 4;
    const int64_t rows = header.Height < 0 ? -header.Height : header.Height;
    if (rowBytes > kBeyondAnyImage / rows)
        return kBeyondAnyImage;
    return rowBytes * rows;
}

// The picture's length from its headers, or -1 when no length can be trusted.
int64_t PictureLength(const BmpHeader& header) noexcept
{
    const int64_t offset = header.PixelOffset;
    const int64_t fileSize = header.FileSize;
    if (IsRle(header.Compression)) {
        // RLE data may outgrow the plain pixels: two bytes per pixel pair at worst.
        const int64_t largest = offset + 2 * PixelBytes(header) + kTrailingAllowance;
        if (fileSize > offset && fileSize <= largest)
            return fileSize;
        if (header.ImageSize > 0 && offset + header.ImageSize <= largest)
            return offset + header.ImageSize;
        return -1;
    }
    const int64_t needed = offset + PixelBytes(header);
    if (fileSize >= needed && fileSize - needed <= needed + kTrailingAllowance)
        return fileSize;
    return needed;
}

// Follows the RLE codes from offset to the end-of-bitmap code; width and rows
// are the bitmap's, rows counted from the first one stored. Counts the pixels
// the codes draw into drawn, and, where runs is not null, each run they draw.
PictureFault WalkRle(std::span<const uint8_t> bytes, int64_t offset, int64_t width, int64_t rows, bool rle8,
                     int64_t& drawn, std::vector<BmpRun>* runs)
{
    const auto n = static_cast<int64_t>(bytes.size());
    int64_t x = 0;
    int64_t y = 0;
    int64_t p = offset;
    for (;;) {
        if (p + 2 > n)
            return PictureFault::CutShort;
        const int64_t first = bytes[static_cast<std::size_t>(p)];
        const int64_t second = bytes[static_cast<std::size_t>(p + 1)];
        p += 2;
        if (first > 0) {
            // An encoded run: first pixels of one value (RLE4: two alternating).
            if (y >= rows || x + first > width)
                return PictureFault::Damaged;
            if (runs != nullptr)
                runs->push_back({static_cast<int32_t>(y), static_cast<int32_t>(x), static_cast<int32_t>(x + first)});
            x += first;
            drawn += first;
            continue;
        }
        switch (second) {
        case 0:  // end of line
            x = 0;
            if (++y > rows)
                return PictureFault::Damaged;
            break;
        case 1:  // end of bitmap
            return PictureFault::None;
        case 2:  // move right and up
            if (p + 2 > n)
                return PictureFault::CutShort;
            x += bytes[static_cast<std::size_t>(p)];
            y += bytes[static_cast<std::size_t>(p + 1)];
            p += 2;
            if (x > width || y > rows)
                return PictureFault::Damaged;
            break;
        default: {  // an absolute run of second pixels, padded to a 16-bit boundary
            const int64_t count = rle8 ? second : (second + 1) / 2;
            if (p + count > n)
                return PictureFault::CutShort;
            if (y >= rows || x + second > width)
                return PictureFault::Damaged;
            if (runs != nullptr)
                runs->push_back({static_cast<int32_t>(y), static_cast<int32_t>(x), static_cast<int32_t>(x + second)});
            x += second;
            drawn += second;
            p += (count + 1) & ~int64_t{1};
            break;
        }
        }
    }
}

}  // namespace

WalkResult WalkBmp(std::span<const uint8_t> bytes) noexcept
{
    BmpHeader header{};
    if (!ReadHeader(bytes, header))
        return {};
    const int64_t length = PictureLength(header);
    if (length <= header.PixelOffset)
        return {};
    const auto size = static_cast<int64_t>(bytes.size());
    WalkResult result;
    result.Width = static_cast<int32_t>(header.Width);
    result.Height = static_cast<int32_t>(header.Height < 0 ? -header.Height : header.Height);
    result.HasImageData = true;
    result.Verdict = length <= size ? WalkVerdict::Whole : WalkVerdict::Truncated;
    result.End = static_cast<int32_t>(std::min(length, size));
    result.SureEnd = static_cast<int32_t>(std::min<int64_t>(header.PixelOffset, result.End));
    result.Examined = result.End;
    return result;
}

BmpLayout ReadBmpLayout(std::span<const uint8_t> bytes, std::vector<BmpRun>* runs)
{
    BmpLayout layout;
    auto fail = [&layout](PictureFault fault) {
        layout.Fault = fault;
        return layout;
    };
    const auto n = static_cast<int64_t>(bytes.size());
    if (n < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        return fail(PictureFault::NotRecognised);
    if (n < kFileHeaderSize + 4 || n < kFileHeaderSize + std::min<int64_t>(ReadLe32(bytes, 14), kCoreHeaderSize))
        return fail(PictureFault::CutShort);
    BmpHeader header{};
    if (!ParseHeader(bytes, header)) {
        const bool headerCut = HeaderSizeIsKnown(ReadLe32(bytes, 14)) && n < kFileHeaderSize + ReadLe32(bytes, 14);
        return fail(headerCut ? PictureFault::CutShort : PictureFault::Damaged);
    }
    layout.Width = static_cast<int32_t>(header.Width);
    layout.Height = static_cast<int32_t>(header.Height);
    layout.BitsPerPixel = static_cast<int32_t>(header.Bits);
    layout.Compression = header.Compression;
    layout.Rle = IsRle(header.Compression);
    const int64_t rows = header.Height < 0 ? -header.Height : header.Height;
    if (header.Width * rows > kMaxPicturePixels)
        return fail(PictureFault::TooLarge);
    if (!ColoursUsedSuit(bytes, header) || !Os2PaletteIsWhole(header) || header.Compression == AlphaBitFields)
        return fail(PictureFault::Damaged);
    if (PaletteEnd(bytes, header) > n || (header.Compression == BitFields && n < kMasksEnd))
        return fail(PictureFault::CutShort);
    if (header.Compression == BitFields && !MasksAreSound(bytes))
        return fail(PictureFault::Damaged);
    if (!layout.Rle)
        return fail(header.PixelOffset + PixelBytes(header) > n ? PictureFault::CutShort : PictureFault::None);
    int64_t drawn = 0;
    const PictureFault fault =
        WalkRle(bytes, header.PixelOffset, header.Width, rows, header.Compression == Rle8, drawn, runs);
    if (fault == PictureFault::None && drawn == 0)
        return fail(PictureFault::Damaged);
    return fail(fault);
}

}  // namespace kestrix
