#include "bmp_structure.h"

namespace kestrix {
namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitFields = 3;
constexpr uint32_t kBiAlphaBitFields = 6;

uint16_t Le16(const uint8_t* p) noexcept
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const uint8_t* p) noexcept
{
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// Follows the RLE codes from offset to the end-of-bitmap code; width and rows
// are the bitmap's, rows counted from the first one stored.
PictureFault WalkRle(const uint8_t* d, int64_t n, int64_t offset, int64_t width, int64_t rows, bool rle8) noexcept
{
    int64_t x = 0;
    int64_t y = 0;
    int64_t p = offset;
    for (;;) {
        if (p + 2 > n)
            return PictureFault::CutShort;
        const int64_t first = d[p];
        const int64_t second = d[p + 1];
        p += 2;
        if (first > 0) {
            // An encoded run: first pixels of one value (RLE4: two alternating).
            if (y >= rows || x + first > width)
                return PictureFault::Damaged;
            x += first;
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
            x += d[p];
            y += d[p + 1];
            p += 2;
            if (x > width || y > rows)
                return PictureFault::Damaged;
            break;
        default: {  // an absolute run of second pixels, padded to a 16-bit boundary
            const int64_t bytes = rle8 ? second : (second + 1) / 2;
            if (p + bytes > n)
                return PictureFault::CutShort;
            if (y >= rows || x + second > width)
                return PictureFault::Damaged;
            x += second;
            p += (bytes + 1) & ~int64_t{1};
            break;
        }
        }
    }
}

}  // namespace

BmpLayout ReadBmpLayout(std::span<const uint8_t> bytes)
{
    BmpLayout layout;
    const uint8_t* d = bytes.data();
    const int64_t n = static_cast<int64_t>(bytes.size());
    auto fail = [&layout](PictureFault fault) {
        layout.Fault = fault;
        return layout;
    };
    if (n < 2 || d[0] != 'B' || d[1] != 'M')
        return fail(PictureFault::NotRecognised);
    if (n < 18)
        return fail(PictureFault::CutShort);
    const int64_t pixelOffset = Le32(d + 10);
    const int64_t headerSize = Le32(d + 14);
    if (headerSize == 12) {
        if (n < 26)
            return fail(PictureFault::CutShort);
        layout.Width = Le16(d + 18);
        layout.Height = static_cast<int16_t>(Le16(d + 20));
        layout.BitsPerPixel = Le16(d + 24);
    } else if (headerSize >= 16) {
        if (14 + headerSize > n)
            return fail(PictureFault::CutShort);
        layout.Width = static_cast<int32_t>(Le32(d + 18));
        layout.Height = static_cast<int32_t>(Le32(d + 22));
        layout.BitsPerPixel = Le16(d + 28);
        layout.Compression = headerSize >= 20 ? Le32(d + 30) : kBiRgb;
    } else {
        return fail(PictureFault::Damaged);
    }

    const int64_t width = layout.Width;
    const int64_t rows = layout.Height < 0 ? -int64_t{layout.Height} : int64_t{layout.Height};
    if (width < 1 || rows == 0 || layout.BitsPerPixel == 0)
        return fail(PictureFault::Damaged);
    if (width * rows > kMaxPicturePixels)
        return fail(PictureFault::TooLarge);

    switch (layout.Compression) {
    case kBiRgb:
    case kBiBitFields:
    case kBiAlphaBitFields: {
        const int64_t stride = (width * layout.BitsPerPixel + 31) / 32 * 4;
        if (pixelOffset + rows * stride > n)
            return fail(PictureFault::CutShort);
        return layout;
    }
    case kBiRle8:
    case kBiRle4: {
        const bool rle8 = layout.Compression == kBiRle8;
        layout.Rle = true;
        if (layout.BitsPerPixel != (rle8 ? 8 : 4) || layout.Height < 0)
            return fail(PictureFault::Damaged);
        return fail(WalkRle(d, n, pixelOffset, width, rows, rle8));
    }
    default: return fail(PictureFault::Damaged);
    }
}

}  // namespace kestrix
