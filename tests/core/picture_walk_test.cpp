#include "bmp_walk.h"
#include "gif_walk.h"
#include "jpeg_walk.h"
#include "picture_builders.h"
#include "png_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;
using test_support::BmpPlan;
using test_support::BuildBmp;
using test_support::BuildGif;
using test_support::BuildJpeg;
using test_support::BuildPng;
using test_support::Cut;
using test_support::Find;
using test_support::Garbage;
using test_support::GifPlan;
using test_support::JpegPlan;
using test_support::PngPlan;
using test_support::Then;

constexpr int32_t kWhole = -1;

}  // namespace

void PrintTo(WalkVerdict verdict, std::ostream* out)
{
    static const char* const kNames[] = {"NotPicture", "Truncated", "Whole"};
    *out << kNames[static_cast<int>(verdict)];
}

namespace {

// One walk: bytes (erased flash follows them), what the walk must say, where it
// must end (kWhole: at the end of bytes) and, for GIF, how many frames it counts.
struct WalkCase {
    const char* name;
    Bytes bytes;
    WalkVerdict verdict;
    int32_t end = kWhole;
    int32_t frames = -1;
};

Bytes From(const Bytes& bytes, std::size_t at)
{
    return {bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end()};
}

Bytes Fill(std::size_t count, uint8_t value)
{
    return Bytes(count, value);
}

Bytes Changed(Bytes bytes, std::size_t at, uint8_t value)
{
    bytes.at(at) = value;
    return bytes;
}

void CheckWalk(const WalkCase& c, const std::function<WalkResult(std::span<const uint8_t>)>& walk)
{
    SCOPED_TRACE(c.name);
    const Bytes image = Then(c.bytes, Fill(300, 0xFF));
    const WalkResult result = walk(image);
    ASSERT_EQ(result.Verdict, c.verdict);
    if (c.verdict == WalkVerdict::NoItem)
        return;
    EXPECT_EQ(result.End, c.end == kWhole ? static_cast<int32_t>(c.bytes.size()) : c.end);
    if (c.frames >= 0) {
        EXPECT_EQ(result.Frames, c.frames);
    }
    EXPECT_GE(result.Examined, result.End);
    EXPECT_LE(result.Examined, static_cast<int64_t>(image.size()));
}

// --- GIF -------------------------------------------------------------------

const Bytes kGif = BuildGif({});
const Bytes kLargeGif = BuildGif({.width = 60, .height = 40});
const Bytes kAnimation = BuildGif({.frames = 3, .localPaletteFrame = 1});
// The large picture's LZW minimum code size; its first sub-block (255 bytes) follows.
const std::size_t kLargeGifData = Find(kLargeGif, {0x2C}) + 10;

std::vector<WalkCase> GifCases()
{
    return {
        {"plain GIF89a", kGif, WalkVerdict::Whole, kWhole, 1},
        {"GIF87a", BuildGif({.gif87a = true}), WalkVerdict::Whole, kWhole, 1},
        {"00 3B in a comment", BuildGif({.comment = std::string("be\0\x3B;\0\x3B", 7)}), WalkVerdict::Whole},
        {"00 3B in the palette",
         BuildGif({.globalPalette = {0x00, 0x3B, 0x00, 0x3B, 0x00, 0x3B, 0x10, 0x00, 0x3B, 0x00, 0x3B, 0x00}}),
         WalkVerdict::Whole},
        {"00 3B as a delay", BuildGif({.frames = 2, .delay = 0x3B00}), WalkVerdict::Whole, kWhole, 2},
        {"00 3B across comment sub-blocks",
         BuildGif({.comment = std::string(254, 'c') + std::string("\0\x3B", 2) + std::string(400, '\x3B')}),
         WalkVerdict::Whole},
        {"frames, one with a local palette", kAnimation, WalkVerdict::Whole, kWhole, 3},
        {"data over several sub-blocks", kLargeGif, WalkVerdict::Whole, kWhole, 1},
        {"an unknown extension first", Then(Then(Cut(kGif, 25), {0x21, 0x2A, 0x02, 'h', 'i', 0x00}), From(kGif, 25)),
         WalkVerdict::Whole},
        {"cut before the second frame", Cut(kAnimation, Find(kAnimation, {0x21, 0xF9}, 1)), WalkVerdict::Truncated,
         static_cast<int32_t>(Find(kAnimation, {0x21, 0xF9}, 1)), 1},
        {"cut inside the data, erased flash after", Cut(kLargeGif, kLargeGifData + 100), WalkVerdict::Truncated,
         static_cast<int32_t>(kLargeGifData + 100), 1},
        {"cut inside the data, zeros after", Then(Cut(kLargeGif, kLargeGifData + 100), Fill(400, 0x00)),
         WalkVerdict::Truncated, static_cast<int32_t>(kLargeGifData + 258), 1},
        {"trailer missing", Cut(kGif, kGif.size() - 1), WalkVerdict::Truncated, static_cast<int32_t>(kGif.size() - 1)},
        {"a stray byte for the trailer", Changed(kGif, kGif.size() - 1, 0x47), WalkVerdict::Truncated,
         static_cast<int32_t>(kGif.size() - 1)},
        {"signature and garbage", Then(Cut(kGif, 6), Garbage(200, 7)), WalkVerdict::NoItem},
        {"screen of zero width", Changed(Changed(kGif, 6, 0), 7, 0), WalkVerdict::NoItem},
        {"trailer right after the palette", Then(Cut(kGif, 25), {0x3B}), WalkVerdict::NoItem},
        {"erased flash right after the palette", Cut(kGif, 25), WalkVerdict::NoItem},
        {"GIF88a", Changed(kGif, 4, '8'), WalkVerdict::NoItem},
    };
}

TEST(WalkGif, FindsTheTrailerPastEveryTrap)
{
    for (const WalkCase& c : GifCases())
        CheckWalk(c, [](std::span<const uint8_t> bytes) { return WalkGif(bytes); });
}

TEST(WalkGif, EndsAtTheBytesEnd)
{
    const WalkResult cut = WalkGif(Cut(kLargeGif, kLargeGifData + 100));
    EXPECT_EQ(cut.Verdict, WalkVerdict::Truncated);
    EXPECT_EQ(cut.End, static_cast<int32_t>(kLargeGifData)) << "the code size alone is no part";

    // Sub-blocks of length 1 that never end: the walk stops at the end of the bytes.
    Bytes endless = Then(Cut(kGif, 25), {0x21, 0xFE});
    endless.resize(1 << 20, 0x01);
    const WalkResult chain = WalkGif(endless);
    EXPECT_EQ(chain.Verdict, WalkVerdict::Truncated);
    EXPECT_EQ(chain.End, static_cast<int32_t>(endless.size() - 1));
}

// --- BMP -------------------------------------------------------------------

std::vector<WalkCase> BmpCases()
{
    const Bytes bmp = BuildBmp({});
    std::vector<WalkCase> cases;
    const BmpPlan depths[] = {{12, 1, 9, 3},   {12, 4, 3, 2},   {12, 8, 5, 5},   {12, 24, 7, 2},
                              {40, 1, 33, 2},  {40, 4, 5, 3},   {40, 8, 6, 6},   {40, 16, 3, 3},
                              {40, 24, 1, 1},  {40, 32, 4, 2},  {52, 16, 5, 2},  {56, 32, 3, 3},
                              {108, 24, 2, 4}, {124, 32, 3, 1}, {124, 8, 4, -5}, {40, 24, 5, -3}};
    for (const BmpPlan& plan : depths)
        cases.push_back({"header and depth", BuildBmp(plan), WalkVerdict::Whole});
    const auto size = static_cast<int32_t>(bmp.size());
    cases.insert(cases.end(), {
                                  {"file size 0", BuildBmp({.fileSizeField = 0}), WalkVerdict::Whole},
                                  {"file size too small", BuildBmp({.fileSizeField = 26}), WalkVerdict::Whole},
                                  {"file size covering trailing bytes",
                                   Then(BuildBmp({.fileSizeField = size + 10}), Fill(10, 0x00)), WalkVerdict::Whole},
                                  {"file size far beyond the pixels", BuildBmp({.fileSizeField = 0x7E000000}),
                                   WalkVerdict::Whole, size},
                                  {"BM and garbage", Then({'B', 'M'}, Garbage(100, 3)), WalkVerdict::NoItem},
                                  {"reserved not zero", Changed(bmp, 7, 1), WalkVerdict::NoItem},
                                  {"header of 64 bytes", Changed(bmp, 14, 64), WalkVerdict::NoItem},
                                  {"two planes", Changed(bmp, 26, 2), WalkVerdict::NoItem},
                                  {"2 bits", Changed(bmp, 28, 2), WalkVerdict::NoItem},
                                  {"unknown compression", Changed(bmp, 30, 9), WalkVerdict::NoItem},
                                  {"RLE8 of 24 bits", Changed(bmp, 30, 1), WalkVerdict::NoItem},
                                  {"width 0", Changed(bmp, 18, 0), WalkVerdict::NoItem},
                                  {"height 0", Changed(bmp, 22, 0), WalkVerdict::NoItem},
                                  {"pixels inside the headers", Changed(bmp, 10, 30), WalkVerdict::NoItem},
                              });
    return cases;
}

TEST(WalkBmp, EndsAtTheFileSizeOrThePixels)
{
    for (const WalkCase& c : BmpCases())
        CheckWalk(c, [](std::span<const uint8_t> bytes) { return WalkBmp(bytes); });
}

TEST(WalkBmp, TruncatedAtTheBytesEndAndSafeWithHugeSizes)
{
    const Bytes bmp = BuildBmp({.width = 20, .height = 10});
    const WalkResult cut = WalkBmp(Cut(bmp, bmp.size() - 7));
    EXPECT_EQ(cut.Verdict, WalkVerdict::Truncated);
    EXPECT_EQ(cut.End, static_cast<int32_t>(bmp.size() - 7));
    EXPECT_EQ(cut.Width, 20);
    EXPECT_EQ(cut.Height, 10);

    Bytes huge = bmp;  // 2147483647 x 2147483647 at 32 bits, file size 0
    for (const std::size_t at : {2, 3, 4, 5})
        huge[at] = 0;
    for (const std::size_t at : {18, 22})
        huge[at] = 0xFF, huge[at + 1] = 0xFF, huge[at + 2] = 0xFF, huge[at + 3] = 0x7F;
    huge[28] = 32;
    const WalkResult result = WalkBmp(huge);
    EXPECT_EQ(result.Verdict, WalkVerdict::Truncated);
    EXPECT_EQ(result.End, static_cast<int32_t>(huge.size()));
}

// --- JPEG ------------------------------------------------------------------

const Bytes kJpeg = BuildJpeg({});
const Bytes kJpegWithThumbnail = BuildJpeg({.thumbnail = true});
const std::size_t kScanData = Find(kJpeg, {0xFF, 0xDA}) + 10;

std::vector<WalkCase> JpegCases()
{
    const std::size_t quantisation = Find(kJpeg, {0xFF, 0xDB});
    return {
        {"baseline", kJpeg, WalkVerdict::Whole},
        {"FF D9 of a thumbnail in APP1", kJpegWithThumbnail, WalkVerdict::Whole},
        {"FF D9 and FF D8 FF in a comment", BuildJpeg({.comment = "x\xFF\xD9\xFF\xD8\xFF\xD9"}), WalkVerdict::Whole},
        {"progressive", BuildJpeg({.progressive = true}), WalkVerdict::Whole},
        {"fill bytes before a marker", Then(Then(Cut(kJpeg, quantisation), {0xFF, 0xFF}), From(kJpeg, quantisation)),
         WalkVerdict::Whole},
        {"cut in the scan", Cut(kJpeg, kScanData + 1), WalkVerdict::Truncated, static_cast<int32_t>(kScanData + 1)},
        {"cut before the scan", Cut(kJpeg, kScanData - 10), WalkVerdict::Truncated,
         static_cast<int32_t>(kScanData - 10)},
        {"a stray marker for the end", Changed(kJpeg, kJpeg.size() - 1, 0x47), WalkVerdict::Truncated,
         static_cast<int32_t>(kJpeg.size() - 2)},
        {"cut in the thumbnail, before the frame", Cut(kJpegWithThumbnail, 60), WalkVerdict::NoItem},
        {"start and garbage", Then({0xFF, 0xD8, 0xFF}, Garbage(300, 5)), WalkVerdict::NoItem},
        {"start and end only", {0xFF, 0xD8, 0xFF, 0xD9}, WalkVerdict::NoItem},
        {"a scan before the frame", Then(Cut(kJpeg, 2), From(kJpeg, kScanData - 10)), WalkVerdict::NoItem},
    };
}

TEST(WalkJpeg, StepsOverSegmentsAndScansToTheEnd)
{
    for (const WalkCase& c : JpegCases())
        CheckWalk(c, [](std::span<const uint8_t> bytes) { return WalkJpeg(bytes); });
    const WalkResult result = WalkJpeg(kJpegWithThumbnail);
    EXPECT_EQ(result.Width, 32);
    EXPECT_EQ(result.Height, 8);
}

TEST(WalkJpeg, ScanDataThatNeverEnd)
{
    Bytes endless = Cut(kJpeg, kScanData);
    endless.resize(1 << 20, 0x00);
    const WalkResult result = WalkJpeg(endless);
    EXPECT_EQ(result.Verdict, WalkVerdict::Truncated);
    EXPECT_EQ(result.End, static_cast<int32_t>(endless.size()));
}

// --- PNG -------------------------------------------------------------------

const Bytes kPng = BuildPng({});
const Bytes kSplitPng = BuildPng({.width = 30, .height = 20, .idatChunks = 3});

std::vector<WalkCase> PngCases()
{
    const std::size_t secondIdat = Find(kSplitPng, {'I', 'D', 'A', 'T'}, 1) - 4;
    const std::size_t iend = Find(kPng, {'I', 'E', 'N', 'D'}) - 4;
    return {
        {"one IDAT", kPng, WalkVerdict::Whole},
        {"three IDAT", kSplitPng, WalkVerdict::Whole},
        {"IEND and its CRC in a text", BuildPng({.text = "IEND\xAE\x42\x60\x82"}), WalkVerdict::Whole},
        {"cut in an IDAT", Cut(kSplitPng, secondIdat + 40), WalkVerdict::Truncated, static_cast<int32_t>(secondIdat)},
        {"wrong CRC", Changed(kSplitPng, secondIdat + 20, 0x55), WalkVerdict::Truncated,
         static_cast<int32_t>(secondIdat)},
        {"no IEND", Cut(kPng, iend), WalkVerdict::Truncated, static_cast<int32_t>(iend)},
        {"signature and garbage", Then(Cut(kPng, 8), Garbage(100, 9)), WalkVerdict::NoItem},
        {"wrong header CRC", Changed(kPng, 30, 0), WalkVerdict::NoItem},
        {"16-bit palette", Changed(kPng, 24, 16), WalkVerdict::NoItem},
    };
}

TEST(WalkPng, ChecksEveryChunkUpToIend)
{
    for (const WalkCase& c : PngCases())
        CheckWalk(c, [](std::span<const uint8_t> bytes) { return WalkPng(bytes); });
    const WalkResult trusted =
        WalkPng(Changed(kSplitPng, Find(kSplitPng, {'I', 'D', 'A', 'T'}, 1) + 16, 0x55), PngCrc::Trust);
    EXPECT_EQ(trusted.Verdict, WalkVerdict::Whole);
}

TEST(Crc32, MatchesThePlainComputation)
{
    const Bytes data = Garbage(1000, 11);
    for (const std::size_t size : {0, 1, 7, 8, 9, 1000})
        EXPECT_EQ(Crc32(std::span(data.data(), size)), test_support::PlainCrc32(data.data(), size)) << size;
    EXPECT_EQ(Crc32(std::span(data).subspan(500), Crc32(std::span(data).first(500))), Crc32(data));
}

}  // namespace
}  // namespace kestrix
