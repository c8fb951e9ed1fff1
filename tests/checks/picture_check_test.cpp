#include "picture_check.h"

#include "bomb_builders.h"
#include "decode_limits.h"
#include "jpeg_decoder.h"
#include "picture_builders.h"
#include "png_decoder.h"

#include <gtest/gtest.h>

namespace kestrix {
namespace {

using test_support::BombKind;
using test_support::BuildBomb;
using Bytes = std::vector<uint8_t>;

// Every bomb gets its verdict from its structure or its header, before any
// canvas is decoded: a bounded verdict, never a complete one.
TEST(PictureCheck, VerdictsOfWholePicturesAndBombs)
{
    const struct {
        const char* name;
        ItemType type;
        Bytes bytes;
        PictureFault fault;
        ItemStatus status;
    } cases[] = {
        {"GIF", ItemType::Gif, test_support::BuildGif({}), PictureFault::None, ItemStatus::Complete},
        {"bitmap", ItemType::Bmp, test_support::BuildBmp({}), PictureFault::None, ItemStatus::Complete},
        {"JPEG", ItemType::Jpeg, test_support::BuildJpeg({}), PictureFault::None, ItemStatus::Complete},
        {"progressive JPEG", ItemType::Jpeg, test_support::BuildJpeg({.progressive = true}), PictureFault::None,
         ItemStatus::Complete},
        {"PNG", ItemType::Png, test_support::BuildPng({}), PictureFault::None, ItemStatus::Complete},
        {"RLE bitmap that draws nothing", ItemType::Bmp, BuildBomb(BombKind::EmptyRleBitmap), PictureFault::Damaged,
         ItemStatus::Damaged},
        {"GIF without colours", ItemType::Gif, BuildBomb(BombKind::ColourlessGif), PictureFault::Damaged,
         ItemStatus::Damaged},
        {"JPEG repeating its last scan", ItemType::Jpeg, BuildBomb(BombKind::RepeatedScanJpeg), PictureFault::Damaged,
         ItemStatus::Damaged},
        {"JPEG declaring 4096 x 4096", ItemType::Jpeg, BuildBomb(BombKind::HugeCanvasJpeg), PictureFault::TooCostly,
         ItemStatus::Unchecked},
        {"PNG of 4096 x 4096 zeros", ItemType::Png, BuildBomb(BombKind::ZeroPng), PictureFault::TooCostly,
         ItemStatus::Unchecked},
        {"RLE bitmap of 4096 x 4096 drawing one pixel", ItemType::Bmp,
         test_support::BuildBmp(
             {.bits = 8, .width = 4096, .height = 4096, .compression = 1, .pixelData = Bytes{1, 7, 0, 1}}),
         PictureFault::TooCostly, ItemStatus::Unchecked},
        // The floor: a small canvas is always decoded, however well it packs.
        {"PNG of 64 x 64 zeros", ItemType::Png, BuildBomb(BombKind::ZeroPng, 64), PictureFault::None,
         ItemStatus::Complete},
    };
    const std::atomic<bool> keepGoing{false};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckPictureFault(c.type, c.bytes), c.fault) << PictureFaultName(CheckPictureFault(c.type, c.bytes));
        EXPECT_EQ(CheckPicture(c.type, c.bytes, keepGoing), c.status);
    }
}

// A valid progressive JPEG with more scans than any picture needs is refused at
// the cap; with the cap out of reach (its first scans alone) it decodes.
TEST(PictureCheck, JpegScansAreCapped)
{
    const Bytes manyScans = BuildBomb(BombKind::ManyScansJpeg);
    const std::size_t eighty = test_support::Find(manyScans, {0xFF, 0xDA}, 80);
    const Bytes fewerScans = test_support::Then(test_support::Cut(manyScans, eighty), {0xFF, 0xD9});
    const DecodeLimits unbounded;
    EXPECT_EQ(DecodeJpeg(fewerScans, unbounded, nullptr), PictureFault::None);
    EXPECT_EQ(DecodeJpeg(manyScans, unbounded, nullptr), PictureFault::Damaged);
}

TEST(PictureCheck, ACancelStopsTheDecode)
{
    const std::atomic<bool> cancelled{true};
    DecodeLimits limits;
    limits.Cancel = &cancelled;
    EXPECT_EQ(DecodeJpeg(test_support::BuildJpeg({}), limits, nullptr), PictureFault::Cancelled);
    EXPECT_EQ(DecodePng(test_support::BuildPng({}), limits, nullptr), PictureFault::Cancelled);
    Raster raster;
    raster.Width = 7;
    EXPECT_EQ(DecodePng(test_support::BuildPng({}), limits, &raster), PictureFault::Cancelled);
    EXPECT_EQ(raster.Width, 0) << "a refused decode leaves no pixels";
}

}  // namespace
}  // namespace kestrix

namespace kestrix {
namespace {

// libpng warns about an ancillary chunk whose CRC is wrong and drops the chunk;
// the picture is whole, and nothing reaches stderr, from any thread.
TEST(PictureCheck, DecoderWarningsPrintNothing)
{
    Bytes png = test_support::BuildPng({.text = "note"});
    const std::size_t text = test_support::Find(png, {'t', 'E', 'X', 't'});
    png[text + 4 + 4 + 1] ^= 0xFF;  // inside the chunk's text: its CRC no longer matches
    testing::internal::CaptureStderr();
    const PictureFault fault = CheckPictureFault(ItemType::Png, png);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(fault, PictureFault::None);
    EXPECT_EQ(printed, "");
}

}  // namespace
}  // namespace kestrix
