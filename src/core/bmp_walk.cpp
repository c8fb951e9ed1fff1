#include "bmp_walk.h"

#include <algorithm>
#include <limits>

namespace kestrix {
namespace {

constexpr int64_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

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
    case 108:
    case 124: return true;
    default: return false;
    }
}

bool DepthIsKnown(uint32_t bits) noexcept
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool CompressionSuits(uint32_t compression, uint32_t bits) noexcept
{
    switch (compression) {
    case kRgb: return true;
    case kRle8: return bits == 8;
    case kRle4: return bits == 4;
    case kBitFields:
    case kAlphaBitFields: return bits == 16 || bits == 32;
    default: return false;
    }
}

struct BmpHeader {
    uint32_t fileSize;
    uint32_t pixelOffset;
    uint32_t headerSize;
    int64_t width;
    int64_t height;  // negative for top-down rows
    uint32_t bits;
    uint32_t compression;
    uint32_t imageSize;  // the compressed size of RLE pixels; may be 0 otherwise
};

bool ReadHeader(std::span<const uint8_t> bytes, BmpHeader& header) noexcept
{
    const auto size = static_cast<int64_t>(bytes.size());
    if (size < kFileHeaderSize + kCoreHeaderSize || bytes[0] != 'B' || bytes[1] != 'M' || ReadLe32(bytes, 6) != 0)
        return false;
    header.fileSize = ReadLe32(bytes, 2);
    header.pixelOffset = ReadLe32(bytes, 10);
    header.headerSize = ReadLe32(bytes, 14);
    if (!HeaderSizeIsKnown(header.headerSize) || size < kFileHeaderSize + header.headerSize)
        return false;
    uint32_t planes = 0;
    if (header.headerSize == kCoreHeaderSize) {
        header.width = ReadLe16(bytes, 18);
        header.height = ReadLe16(bytes, 20);
        planes = ReadLe16(bytes, 22);
        header.bits = ReadLe16(bytes, 24);
        header.compression = kRgb;
        header.imageSize = 0;
    } else {
        header.width = static_cast<int32_t>(ReadLe32(bytes, 18));
        header.height = static_cast<int32_t>(ReadLe32(bytes, 22));
        planes = ReadLe16(bytes, 26);
        header.bits = ReadLe16(bytes, 28);
        header.compression = ReadLe32(bytes, 30);
        header.imageSize = ReadLe32(bytes, 34);
    }
    const bool topDown = header.height < 0;
    return planes == 1 && DepthIsKnown(header.bits) && CompressionSuits(header.compression, header.bits) &&
           header.width >= 1 && header.height != 0 && header.height != std::numeric_limits<int32_t>::min() &&
           !(topDown && (header.compression == kRle8 || header.compression == kRle4)) &&
           header.pixelOffset >= kFileHeaderSize + header.headerSize &&
           header.pixelOffset <= kFileHeaderSize + header.headerSize + kLargestPalette + kTrailingAllowance;
}

// Bytes of uncompressed pixels: rows padded to 4 bytes. Saturates at a length
// beyond any image so that sums of it cannot overflow.
int64_t PixelBytes(const BmpHeader& header) noexcept
{
    constexpr int64_t kBeyondAnyImage = int64_t{1} << 40;
    const int64_t rowBytes = (header.width * header.bits + 31) / 32 * 4;
    const int64_t rows = header.height < 0 ? -header.height : header.height;
    if (rowBytes > kBeyondAnyImage / rows)
        return kBeyondAnyImage;
    return rowBytes * rows;
}

// The picture's length from its headers, or -1 when no length can be trusted.
int64_t PictureLength(const BmpHeader& header) noexcept
{
    const int64_t offset = header.pixelOffset;
    const int64_t fileSize = header.fileSize;
    if (header.compression == kRle8 || header.compression == kRle4) {
        // RLE data may outgrow the plain pixels: two bytes per pixel pair at worst.
        const int64_t largest = offset + 2 * PixelBytes(header) + kTrailingAllowance;
        if (fileSize > offset && fileSize <= largest)
            return fileSize;
        if (header.imageSize > 0 && offset + header.imageSize <= largest)
            return offset + header.imageSize;
        return -1;
    }
    const int64_t needed = offset + PixelBytes(header);
    if (fileSize >= needed && fileSize - needed <= needed + kTrailingAllowance)
        return fileSize;
    return needed;
}

}  // namespace

WalkResult WalkBmp(std::span<const uint8_t> bytes) noexcept
{
    BmpHeader header{};
    if (!ReadHeader(bytes, header))
        return {};
    const int64_t length = PictureLength(header);
    if (length <= header.pixelOffset)
        return {};
    const auto size = static_cast<int64_t>(bytes.size());
    WalkResult result;
    result.Width = static_cast<int32_t>(header.width);
    result.Height = static_cast<int32_t>(header.height < 0 ? -header.height : header.height);
    result.HasImageData = true;
    result.Verdict = length <= size ? WalkVerdict::Whole : WalkVerdict::Truncated;
    result.End = static_cast<int32_t>(std::min(length, size));
    result.SureEnd = static_cast<int32_t>(std::min<int64_t>(header.pixelOffset, result.End));
    result.Examined = result.End;
    return result;
}

}  // namespace kestrix
