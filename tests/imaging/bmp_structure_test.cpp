#include "bmp_walk.h"

#include "qt_pictures.h"

#include <gtest/gtest.h>

namespace kestrix {
namespace {

using test_support::BmpPlan;
using test_support::BuildBmp;
using test_support::Bytes;
using test_support::FourColourPalette;
using test_support::PutLe32;

constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;

Bytes Rle8(const Bytes& stream)
{
    return BuildBmp(BmpPlan{
        .bits = 8, .width = 4, .height = 4, .compression = kRle8, .pixelData = stream, .palette = FourColourPalette()});
}
Bytes Rle4(const Bytes& stream)
{
    return BuildBmp(BmpPlan{
        .bits = 4, .width = 4, .height = 4, .compression = kRle4, .pixelData = stream, .palette = FourColourPalette()});
}

Bytes Truncated(Bytes bytes, std::size_t keep)
{
    bytes.resize(keep);
    return bytes;
}

Bytes WithLe32(Bytes bytes, std::size_t offset, uint32_t value)
{
    Bytes field;
    PutLe32(field, value);
    std::copy(field.begin(), field.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return bytes;
}

// An OS/2 1.x bitmap: 12-byte info header with 16-bit sizes, a palette of 3-byte
// colours, all 256 of them unless paletteColours says fewer.
Bytes Os2Bitmap(int width, int height, uint32_t paletteColours = 256)
{
    std::vector<uint32_t> palette;
    for (uint32_t k = 0; k < paletteColours; ++k)
        palette.push_back(FourColourPalette()[k % 4]);
    return BuildBmp({.headerSize = 12,
                     .bits = 8,
                     .width = width,
                     .height = height,
                     .pixelData = test_support::PatternRows8(width, height),
                     .palette = palette});
}

TEST(BmpStructure, WalkTable)
{
    const Bytes bmp8 = BuildBmp(BmpPlan{.bits = 8,
                                        .width = 5,
                                        .height = 3,
                                        .pixelData = test_support::PatternRows8(5, 3),
                                        .palette = FourColourPalette()});
    const Bytes topDown = BuildBmp(BmpPlan{.bits = 8,
                                           .width = 5,
                                           .height = -3,
                                           .pixelData = test_support::PatternRows8(5, 3),
                                           .palette = FourColourPalette()});
    const Bytes bmp1 = BuildBmp(
        BmpPlan{.bits = 1, .width = 33, .height = 2, .pixelData = Bytes(16, 0x5A), .palette = {0x000000, 0xFFFFFF}});
    const Bytes bmp4 = BuildBmp(
        BmpPlan{.bits = 4, .width = 9, .height = 2, .pixelData = Bytes(16, 0x12), .palette = FourColourPalette()});
    const Bytes bmp24 = test_support::WriteWithQt("bmp", 7, 5);
    const Bytes os2 = Os2Bitmap(6, 2);
    // Rows of 4 pixels: an encoded run, an absolute run, a move, early ends.
    const Bytes rleWhole{4, 1, 0, 0, 0, 4, 1, 2, 3, 0, 0, 0, 2, 2, 2, 0, 0, 0, 4, 3, 0, 0, 0, 1};
    const Bytes rleMoves{2, 1, 0, 2, 1, 2, 1, 3, 0, 0, 4, 2, 0, 1};
    const Bytes rleEarlyEnd{4, 1, 0, 0, 1, 2, 0, 1};

    const struct {
        const char* name;
        Bytes bytes;
        PictureFault fault;
    } cases[] = {
        {"8 bits", bmp8, PictureFault::None},
        {"1 bit", bmp1, PictureFault::None},
        {"4 bits", bmp4, PictureFault::None},
        {"24 bits written by Qt", bmp24, PictureFault::None},
        {"top-down", topDown, PictureFault::None},
        {"OS/2 1.x", os2, PictureFault::None},
        {"RLE8 rows, each ended", Rle8(rleWhole), PictureFault::None},
        {"RLE8 moves", Rle8(rleMoves), PictureFault::None},
        {"RLE8 ends early", Rle8(rleEarlyEnd), PictureFault::None},
        {"RLE4 odd absolute run padded", Rle4({0, 3, 0x12, 0x30, 1, 1, 0, 0, 0, 1}), PictureFault::None},
        {"not a bitmap", Bytes{'B', 'A', 0, 0}, PictureFault::NotRecognised},
        {"rows cut by one byte", Truncated(bmp8, bmp8.size() - 1), PictureFault::CutShort},
        {"top-down rows cut", Truncated(topDown, topDown.size() - 1), PictureFault::CutShort},
        {"24-bit rows cut", Truncated(bmp24, bmp24.size() - 1), PictureFault::CutShort},
        {"OS/2 rows cut", Truncated(os2, os2.size() - 1), PictureFault::CutShort},
        {"pixel offset past the rows", WithLe32(bmp8, 10, 80), PictureFault::CutShort},
        {"info header cut", Truncated(bmp8, 30), PictureFault::CutShort},
        {"file header only", Truncated(bmp8, 14), PictureFault::CutShort},
        {"RLE8 without end of bitmap", Rle8({4, 1, 0, 0}), PictureFault::CutShort},
        {"RLE8 absolute run cut", Truncated(Rle8({0, 4, 1, 2, 3, 0, 0, 1}), 14 + 40 + 16 + 4), PictureFault::CutShort},
        {"RLE8 move cut", Truncated(Rle8({0, 2, 1, 1, 0, 1}), 14 + 40 + 16 + 3), PictureFault::CutShort},
        {"RLE8 encoded run past the row", Rle8({5, 1, 0, 1}), PictureFault::Damaged},
        {"RLE8 absolute run past the row", Rle8({2, 1, 0, 3, 1, 2, 3, 0, 0, 1}), PictureFault::Damaged},
        {"RLE8 move past the bitmap", Rle8({0, 2, 0, 5, 0, 1}), PictureFault::Damaged},
        {"RLE8 line end past the last row", Rle8({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), PictureFault::Damaged},
        {"RLE8 run after the last row", Rle8({0, 2, 0, 4, 1, 1, 0, 1}), PictureFault::Damaged},
        {"RLE8 top-down",
         BuildBmp(BmpPlan{.bits = 8,
                          .width = 4,
                          .height = -4,
                          .compression = kRle8,
                          .pixelData = rleEarlyEnd,
                          .palette = FourColourPalette()}),
         PictureFault::Damaged},
        {"RLE8 with 4 bits per pixel",
         BuildBmp(BmpPlan{.bits = 4,
                          .width = 4,
                          .height = 4,
                          .compression = kRle8,
                          .pixelData = rleEarlyEnd,
                          .palette = FourColourPalette()}),
         PictureFault::Damaged},
        {"info header of 14 bytes", WithLe32(bmp8, 14, 14), PictureFault::Damaged},
        {"width 0", WithLe32(bmp8, 18, 0), PictureFault::Damaged},
        {"negative width", WithLe32(bmp8, 18, 0xFFFFFFFB), PictureFault::Damaged},
        {"height 0", WithLe32(bmp8, 22, 0), PictureFault::Damaged},
        {"no bits per pixel",
         [&] {
             Bytes b = bmp8;
             b[28] = 0;
             return b;
         }(),
         PictureFault::Damaged},
        {"JPEG compression", WithLe32(bmp8, 30, 4), PictureFault::Damaged},
        {"alpha bit fields", WithLe32(BuildBmp(BmpPlan{.bits = 32, .width = 2, .height = 2}), 30, 6),
         PictureFault::Damaged},
        {"bit-field mask of two runs", WithLe32(BuildBmp(BmpPlan{.bits = 32, .width = 2, .height = 2}), 54, 0xFF00FF00),
         PictureFault::Damaged},
        {"bit-field masks overlapping",
         WithLe32(BuildBmp(BmpPlan{.bits = 32, .width = 2, .height = 2}), 58, 0x00FF0000), PictureFault::Damaged},
        {"an empty bit-field mask", WithLe32(BuildBmp(BmpPlan{.bits = 32, .width = 2, .height = 2}), 62, 0),
         PictureFault::None},
        {"257 colours used", WithLe32(bmp8, 46, 257), PictureFault::Damaged},
        {"4 colours used at 1 bit", WithLe32(bmp1, 46, 4), PictureFault::Damaged},
        {"2 colours used at 1 bit", WithLe32(bmp1, 46, 2), PictureFault::None},
        {"256 colours used but 4 stored", WithLe32(bmp8, 46, 256), PictureFault::CutShort},
        {"OS/2 palette of 255 colours", Os2Bitmap(6, 2, 255), PictureFault::Damaged},
        {"too large", WithLe32(WithLe32(bmp8, 18, 30000), 22, 30000), PictureFault::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadBmpLayout(c.bytes).Fault, c.fault) << PictureFaultName(ReadBmpLayout(c.bytes).Fault);
    }
}

TEST(BmpStructure, ReportsSizeDepthAndCompression)
{
    const BmpLayout rle = ReadBmpLayout(Rle4({0, 0, 0, 1}));
    EXPECT_EQ(rle.Width, 4);
    EXPECT_EQ(rle.Height, 4);
    EXPECT_EQ(rle.BitsPerPixel, 4);
    EXPECT_EQ(rle.Compression, kRle4);
    EXPECT_TRUE(rle.Rle);
    const BmpLayout topDown = ReadBmpLayout(BuildBmp(BmpPlan{.bits = 8,
                                                             .width = 5,
                                                             .height = -3,
                                                             .pixelData = test_support::PatternRows8(5, 3),
                                                             .palette = FourColourPalette()}));
    EXPECT_EQ(topDown.Height, -3);
    EXPECT_FALSE(topDown.Rle);
}

}  // namespace
}  // namespace kestrix
