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
        PictureType type;
        Bytes bytes;
        PictureFault fault;
        PictureStatus status;
    } cases[] = {
        {"GIF", PictureType::Gif, test_support::BuildGif({}), PictureFault::None, PictureStatus::Complete},
        {"bitmap", PictureType::Bmp, test_support::BuildBmp({}), PictureFault::None, PictureStatus::Complete},
        {"JPEG", PictureType::Jpeg, test_support::BuildJpeg({}), PictureFault::None, PictureStatus::Complete},
        {"progressive JPEG", PictureType::Jpeg, test_support::BuildJpeg({.progressive = true}), PictureFault::None,
         PictureStatus::Complete},
        {"PNG", PictureType::Png, test_support::BuildPng({}), PictureFault::None, PictureStatus::Complete},
        {"RLE bitmap that draws nothing", PictureType::Bmp, BuildBomb(BombKind::EmptyRleBitmap), PictureFault::Damaged,
         PictureStatus::Damaged},
        {"GIF without colours", PictureType::Gif, BuildBomb(BombKind::ColourlessGif), PictureFault::Damaged,
         PictureStatus::Damaged},
        {"JPEG repeating its last scan", PictureType::Jpeg, BuildBomb(BombKind::RepeatedScanJpeg),
         PictureFault::Damaged, PictureStatus::Damaged},
        {"JPEG declaring 4096 x 4096", PictureType::Jpeg, BuildBomb(BombKind::HugeCanvasJpeg), PictureFault::TooCostly,
         PictureStatus::Unchecked},
        {"PNG of 4096 x 4096 zeros", PictureType::Png, BuildBomb(BombKind::ZeroPng), PictureFault::TooCostly,
         PictureStatus::Unchecked},
        {"RLE bitmap of 4096 x 4096 drawing one pixel", PictureType::Bmp,
         test_support::BuildBmp(
             {.bits = 8, .width = 4096, .height = 4096, .compression = 1, .pixelData = Bytes{1, 7, 0, 1}}),
         PictureFault::TooCostly, PictureStatus::Unchecked},
        // The floor: a small canvas is always decoded, however well it packs.
        {"PNG of 64 x 64 zeros", PictureType::Png, BuildBomb(BombKind::ZeroPng, 64), PictureFault::None,
         PictureStatus::Complete},
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
    const PictureFault fault = CheckPictureFault(PictureType::Png, png);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(fault, PictureFault::None);
    EXPECT_EQ(printed, "");
}

}  // namespace
}  // namespace kestrix
