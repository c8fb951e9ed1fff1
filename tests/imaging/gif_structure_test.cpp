#include "gif_walk.h"

#include "qt_pictures.h"

#include <gtest/gtest.h>

#include <random>

namespace kestrix {
namespace {

using test_support::BuildGif;
using test_support::Bytes;
using test_support::Concat;
using test_support::EncodeLzw;
using test_support::GifHeader;
using test_support::GifImage;
using test_support::GifImageHead;
using test_support::LzwStyle;
using test_support::SubBlocks;

const GifImage kImage{};

// One image whose LZW sub-blocks are given as they are, after the usual head.
Bytes WithImageData(const Bytes& data, const Bytes& tail = {0x3B})
{
    return Concat({GifHeader(4, 4), GifImageHead(kImage), data, tail});
}

Bytes Truncated(Bytes bytes, std::size_t keep)
{
    bytes.resize(keep);
    return bytes;
}

TEST(GifStructure, WalkTable)
{
    const Bytes whole = BuildGif({.width = 4, .height = 4, .images = {kImage}});
    const Bytes lzw = EncodeLzw(test_support::PatternPixels(4, 4), 2, LzwStyle::Literals);
    const Bytes withComment = [] {
        Bytes gif = GifHeader(4, 4);
        const Bytes comment = Concat({{0x21, 0xFE}, SubBlocks({0x00, 0x3B, 0x00, 0x3B})});
        gif.insert(gif.end(), comment.begin(), comment.end());
        const Bytes rest = BuildGif({.width = 4, .height = 4, .images = {kImage}});
        gif.insert(gif.end(), rest.begin() + 25, rest.end());
        return gif;
    }();
    const std::size_t headEnd = GifHeader(4, 4).size();
    const std::size_t dataStart = headEnd + GifImageHead(kImage).size();
    Bytes invalidCode = lzw;
    invalidCode[0] = 0x07;  // after the clear code 4, code 7 is not in the table

    const struct {
        const char* name;
        Bytes bytes;
        PictureFault fault;
        std::size_t images;
    } cases[] = {
        {"whole", whole, PictureFault::None, 1},
        {"graphic control of an empty block",
         [&] {
             Bytes gif = whole;
             const auto image = static_cast<std::ptrdiff_t>(test_support::Find(gif, {0x2C}));
             gif.insert(gif.begin() + image, {0x21, 0xF9, 0x00});
             return gif;
         }(),
         PictureFault::Damaged, 0},
        {"application extension of an empty block",
         [&] {
             Bytes gif = whole;
             const auto image = static_cast<std::ptrdiff_t>(test_support::Find(gif, {0x2C}));
             gif.insert(gif.begin() + image, {0x21, 0xFF, 0x00});
             return gif;
         }(),
         PictureFault::Damaged, 0},
        {"three images with extensions between",
         BuildGif({.width = 8, .height = 8, .images = {kImage, kImage, kImage}}), PictureFault::None, 3},
        {"GIF87a",
         [&] {
             Bytes b = whole;
             b[4] = '7';
             return b;
         }(),
         PictureFault::None, 1},
        {"ends after an image without trailer", Truncated(whole, whole.size() - 1), PictureFault::None, 1},
        {"ends at a byte that starts no block", Concat({Truncated(whole, whole.size() - 1), {0x00, 0x3B}}),
         PictureFault::None, 1},
        {"comment holding 00 3B", withComment, PictureFault::None, 1},
        {"LZW data beyond the last pixel", WithImageData(SubBlocks(Concat({lzw, lzw}))), PictureFault::None, 1},
        {"no end code after the last pixel",
         WithImageData(SubBlocks(EncodeLzw(test_support::PatternPixels(4, 4), 2, LzwStyle::Literals, false))),
         PictureFault::None, 1},
        {"zero-size image", BuildGif({.width = 4, .height = 4, .images = {GifImage{0, 0, 0, 0, {}}}}),
         PictureFault::None, 1},
        {"screen of zero width", BuildGif({.width = 0, .height = 4, .images = {GifImage{0, 0, 1, 1, {}}}}),
         PictureFault::Damaged, 0},
        {"not a GIF", Bytes{'G', 'I', 'F', '8', '8', 'a', 4, 0, 4, 0, 0, 0, 0, 0x3B}, PictureFault::NotRecognised, 0},
        {"five bytes", Bytes{'G', 'I', 'F', '8', '9'}, PictureFault::NotRecognised, 0},
        {"screen descriptor cut", Truncated(whole, 10), PictureFault::CutShort, 0},
        {"colour table cut", Truncated(whole, headEnd - 1), PictureFault::CutShort, 0},
        {"extension cut", Truncated(whole, headEnd + 5), PictureFault::CutShort, 0},
        {"image descriptor cut", Truncated(whole, headEnd + 12), PictureFault::CutShort, 0},
        {"cut before the minimum code size", Truncated(whole, dataStart - 1), PictureFault::CutShort, 0},
        {"cut inside a sub-block", Truncated(whole, dataStart + 3), PictureFault::CutShort, 0},
        {"cut before the block terminator", Truncated(whole, whole.size() - 2), PictureFault::CutShort, 0},
        {"end code before the last pixel",
         WithImageData(SubBlocks(EncodeLzw(test_support::PatternPixels(4, 3), 2, LzwStyle::Literals))),
         PictureFault::CutShort, 0},
        {"sub-blocks end before the last pixel", WithImageData(SubBlocks(Truncated(lzw, lzw.size() - 3))),
         PictureFault::CutShort, 0},
        {"second image cut",
         Truncated(BuildGif({.width = 4, .height = 4, .images = {kImage, kImage}}), whole.size() + 20),
         PictureFault::CutShort, 1},
        {"code not in the table", WithImageData(SubBlocks(invalidCode)), PictureFault::Damaged, 0},
        {"minimum code size 0",
         [&] {
             Bytes b = whole;
             b[dataStart - 1] = 0;
             return b;
         }(),
         PictureFault::Damaged, 0},
        {"minimum code size 12",
         [&] {
             Bytes b = whole;
             b[dataStart - 1] = 12;
             return b;
         }(),
         PictureFault::Damaged, 0},
        {"no image at all", Concat({GifHeader(4, 4), {0x3B}}), PictureFault::Damaged, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const GifLayout layout = ReadGifLayout(c.bytes);
        EXPECT_EQ(layout.Fault, c.fault) << PictureFaultName(layout.Fault);
        EXPECT_EQ(layout.Images.size(), c.images);
    }
}

TEST(GifStructure, ReportsTheScreenAndEveryImageRectangle)
{
    const GifLayout layout = ReadGifLayout(
        BuildGif({.width = 300, .height = 200, .images = {GifImage{3, 2, 4, 5, {}}, GifImage{250, 190, 60, 20, {}}}}));
    ASSERT_EQ(layout.Fault, PictureFault::None);
    EXPECT_EQ(layout.ScreenWidth, 300);
    EXPECT_EQ(layout.ScreenHeight, 200);
    EXPECT_EQ(layout.Images, (std::vector<GifImageRect>{{3, 2, 4, 5, 1}, {250, 190, 60, 20, 1}}));
}

// Streams from a real encoder: the code width grows to 12 bits, the table
// fills, and is either cleared or kept full. Noise fills the table quickly.
TEST(GifStructure, CountsThePixelsOfRealLzwStreams)
{
    std::mt19937 random(7);
    const struct {
        const char* name;
        int width;
        int height;
        int minCodeSize;
        bool noise;
        LzwStyle style;
    } cases[] = {
        {"one pixel", 1, 1, 2, false, LzwStyle::ClearWhenFull},
        {"pattern", 64, 64, 2, false, LzwStyle::ClearWhenFull},
        {"noise, table cleared", 200, 150, 8, true, LzwStyle::ClearWhenFull},
        {"noise, table kept full", 200, 150, 8, true, LzwStyle::KeepFullTable},
        {"two colours, minimum code size 1", 97, 13, 1, true, LzwStyle::ClearWhenFull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes pixels(static_cast<std::size_t>(c.width * c.height));
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = c.noise ? static_cast<uint8_t>(random() % (1u << c.minCodeSize)) : static_cast<uint8_t>(i % 4);
        const Bytes lzw = EncodeLzw(pixels, c.minCodeSize, c.style);
        GifImage image{0, 0, static_cast<uint16_t>(c.width), static_cast<uint16_t>(c.height), {}};
        Bytes head = GifImageHead(image);
        head.back() = static_cast<uint8_t>(c.minCodeSize);
        const Bytes header = GifHeader(static_cast<uint16_t>(c.width), static_cast<uint16_t>(c.height));

        EXPECT_EQ(ReadGifLayout(Concat({header, head, SubBlocks(lzw), {0x3B}})).Fault, PictureFault::None);
        // Three bytes hold the padding, the end code and at least a bit of
        // the last pixel code.
        const Bytes cut = Truncated(lzw, lzw.size() - std::min<std::size_t>(3, lzw.size()));
        EXPECT_EQ(ReadGifLayout(Concat({header, head, SubBlocks(cut), {0x3B}})).Fault, PictureFault::CutShort);
    }
}

}  // namespace
}  // namespace kestrix
