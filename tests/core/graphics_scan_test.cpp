#include "code_page.h"
#include "flash_image_builder.h"
#include "graphics_scan.h"
#include "image_loading.h"
#include "picture_builders.h"
#include "result_row_printer.h"
#include "scan_hook_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using test_support::LoadImage;

// The picture scans label rows by type.
struct HookLog : test_support::ScanHookLog {
    HookLog()
    {
        rowLabel = [](const FoundRows& rows) { return PictureRowText(rows, rows.Count() - 1).Cell(RowCell::Type); };
    }
};

// The scan's rows as the picture list shows them, or nothing when it refused.
std::optional<std::vector<ResultRow>> ScanGraphics(TCustomHexBuffer& buffer, const ScanHooks& hooks)
{
    FoundRows rows;
    if (!kestrix::ScanGraphics(buffer, hooks, rows))
        return std::nullopt;
    std::vector<ResultRow> texts;
    for (std::size_t i = 0; i < rows.Count(); ++i)
        texts.push_back(PictureRowText(rows, i));
    return texts;
}

using test_support::BuildBmp;
using test_support::BuildGif;
using test_support::FlashImageBuilder;
using test_support::GifPlan;
using test_support::SmallBmpPlan;

constexpr int32_t kBase = kGifPassStart;

ResultRow PictureRow(int n, const std::string& type, int64_t start, int64_t end, int64_t size)
{
    return {Utf8ToCp1251("Файл (") + std::to_string(n) + ")",
            {type, std::to_string(start), std::to_string(end), std::to_string(size)},
            5};
}

std::vector<ResultRow> Scan(const FlashImageBuilder& image, HookLog* log = nullptr)
{
    THexBuffer buffer;
    LoadImage(buffer, image.Bytes());
    HookLog unused;
    auto rows = ScanGraphics(buffer, (log != nullptr ? log : &unused)->Hooks());
    EXPECT_TRUE(rows.has_value());
    return rows.value_or(std::vector<ResultRow>{});
}

TEST(ScanGraphics, RefusesSmallImagesAndScansFromOneByteMore)
{
    THexBuffer buffer;
    LoadImage(buffer, std::vector<uint8_t>(1000, 0x00));
    HookLog log;
    EXPECT_FALSE(ScanGraphics(buffer, log.Hooks()).has_value());
    EXPECT_TRUE(log.calls.empty());

    LoadImage(buffer, std::vector<uint8_t>(1001, 0x00));
    const auto rows = ScanGraphics(buffer, log.Hooks());
    ASSERT_TRUE(rows.has_value());
    EXPECT_TRUE(rows->empty()) << "no GIF row, so no trailer fix-up; the BMP pass still runs";
    EXPECT_EQ(log.calls, (std::vector<std::string>{"show 800", "hide", "show 800", "value 0", "yield", "hide"}));
}

TEST(ScanGraphics, GifsRunToTheNextHeaderAndTheLastToItsTrailer)
{
    const auto gif = BuildGif({.height = 8});
    const auto size = static_cast<int32_t>(gif.size());
    const int32_t a = kBase + 100, b = kBase + 1000, c = kBase + 2000;
    FlashImageBuilder image(kBase + 4096, 0x00);
    image.Put(kBase, gif).Put(a, gif).Put(b, gif).Put(c, gif);  // the one at the pass start is never listed
    HookLog log;
    const auto rows = Scan(image, &log);
    EXPECT_EQ(rows, (std::vector<ResultRow>{PictureRow(0, "gif", a, b, b - a), PictureRow(1, "gif", b, c, c - b),
                                            PictureRow(2, "gif", c, c + size, size - 2)}));
    EXPECT_EQ(log.calls, (std::vector<std::string>{"show 800", "value 0", "yield", "row gif", "value 1", "yield",
                                                   "row gif", "value 2", "yield", "row gif", "hide", "show 800",
                                                   "value 3", "yield", "hide"}));
}

TEST(ScanGraphics, ARunOfThirteenFFhDropsTheHeaderBeforeIt)
{
    const auto gif = BuildGif({.height = 8});
    const int32_t a = kBase + 1, b = kBase + 1000, c = kBase + 2000;
    for (const std::size_t run : {std::size_t{12}, std::size_t{13}}) {
        FlashImageBuilder image(kBase + 4096, 0x00);
        image.Put(a, gif).Put(b, gif).Put(c, gif).Fill(b - 100, run, 0xFF);
        const auto rows = Scan(image);
        ASSERT_FALSE(rows.empty());
        if (run == 12) {
            ASSERT_EQ(rows.size(), 3u);
            EXPECT_EQ(rows[0], PictureRow(0, "gif", a, b, b - a));
        } else {
            ASSERT_EQ(rows.size(), 2u);
            EXPECT_EQ(rows[0], PictureRow(0, "gif", b, c, c - b)) << "numbering skips nothing";
        }
    }
}

TEST(ScanGraphics, LastGifWithoutAWellFormedBody)
{
    const std::string header = "GIF89a";
    const int32_t s = kBase + 500;
    struct Case {
        std::string body;  // after the 13-byte header and screen descriptor
        int32_t imageSize;
        int64_t end, size;
    };
    const int32_t imageSize = kBase + 4096;
    const Case cases[] = {
        // An unknown block: the first 00 3B after the start ends it.
        {std::string("\x99\x00\x3B", 3), imageSize, s + 13 + 3, s + 13 + 1 - s},
        // No trailer anywhere: the row keeps the end of the searched range.
        {std::string("\x99", 1), imageSize, imageSize, imageSize - s},
        // Cut off by the image's end in the middle of a sub-block.
        {std::string("\x21\xFE\x20", 3), s + 13 + 3, s + 13 + 3, 13 + 3},
    };
    for (const Case& c : cases) {
        FlashImageBuilder image(static_cast<std::size_t>(c.imageSize), 0x00);
        image.Put(s, header + std::string(7, '\x00') + c.body);
        EXPECT_EQ(Scan(image), std::vector<ResultRow>{PictureRow(0, "gif", s, c.end, c.size)})
            << "body of " << c.body.size() << " bytes";
    }
}

TEST(ScanGraphics, BlockWalkIgnoresTrailerBytesInsideThePicture)
{
    GifPlan options{.height = 8};
    options.comment = std::string("a\x00\x3B z", 5);
    options.frames = 3;
    const auto gif = BuildGif(options);
    const auto size = static_cast<int32_t>(gif.size());
    const int32_t s = kBase + 64;
    FlashImageBuilder image(kBase + 4096, 0x00);
    image.Put(s, gif).Put(s + size + 50, std::string("\x00\x3B", 2));
    EXPECT_EQ(Scan(image), std::vector<ResultRow>{PictureRow(0, "gif", s, s + size, size - 2)});
}

TEST(ScanGraphics, BitmapRowsFollowTheGifRows)
{
    const auto gif = BuildGif({.height = 8});
    const auto gifSize = static_cast<int32_t>(gif.size());
    const auto bmp = BuildBmp(SmallBmpPlan(8, 8));  // 62 + 4 * 8 = 94 bytes
    const int32_t a = kBase + 100, b = kBase + 1000;
    const std::string pattern("\x00\x00\x00\x00\x00\x00\x00\x3E\x00\x00\x00\x28\x00", 13);
    for (const std::size_t early : {std::size_t{1}, std::size_t{2}}) {
        FlashImageBuilder image(kBase + 4096, 0xFF);
        image.Fill(kBase, 4096, 0x00)
            .Put(early, pattern)  // the file would start before the image: not listed
            .Put(5000, bmp)
            .Put(7000, std::string("\x00\xBE", 2) + pattern)
            .Put(a, gif)
            .Put(b, gif)
            .Put(kBase + 3000, bmp);
        HookLog log;
        const auto rows = Scan(image, &log);
        EXPECT_EQ(rows, (std::vector<ResultRow>{PictureRow(0, "gif", a, b, b - a),
                                                PictureRow(1, "gif", b, b + gifSize, gifSize - 2),
                                                PictureRow(2, "bmp", 5000, 5000 + 94, 94 - 6),
                                                PictureRow(3, "bmp", 7002 - 3, 7002 + 187, 184),
                                                PictureRow(4, "bmp", kBase + 3000, kBase + 3000 + 94, 88)}));
        // Every BMP search moves the gauge and yields, also one that adds no row.
        ASSERT_GE(log.calls.size(), 8u);
        const std::vector<std::string> bmpPass(log.calls.begin() + 8, log.calls.end());
        EXPECT_EQ(bmpPass, (std::vector<std::string>{"show 800", "value 2", "yield", "value 2", "yield", "row bmp",
                                                     "value 3", "yield", "row bmp", "value 4", "yield", "row bmp",
                                                     "value 5", "yield", "hide"}));
    }
}

TEST(ScanGraphics, StopsWhenTheFrontEndAsks)
{
    const auto gif = BuildGif({.height = 8});
    FlashImageBuilder image(kBase + 4096, 0x00);
    image.Put(kBase + 100, gif).Put(kBase + 1000, gif).Put(kBase + 2000, gif).Put(50, BuildBmp(SmallBmpPlan(8, 8)));
    HookLog log;
    log.yieldsBeforeStop = 2;
    const auto rows = Scan(image, &log);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Cell(RowCell::End), std::to_string(kBase + 1000)) << "no fix-up after a stop";
    EXPECT_EQ(log.calls.back(), "hide");
}

TEST(ScanGraphics, PublicGifsEndAtTheirTrailer)
{
    const std::filesystem::path root = KESTRIX_TESTDATA_DIR;
    if (!std::filesystem::exists(root))
        GTEST_SKIP() << "no test data at " << root;
    // Files in which 00 3B occurs well before the trailer.
    const char* files[] = {"giflib/doc/whatsinagif/comment_ext.gif", "pillow/Tests/images/different_transparency.gif",
                           "pygif-test-suite/all-reds.gif", "pygif-test-suite/max-codes.gif",
                           "wuffs/test/data/hibiscus.regular.gif"};
    const auto first = BuildGif({.height = 8});
    for (const char* name : files) {
        const auto gif = test_support::ReadFileBytes((root / name).string());
        ASSERT_FALSE(gif.empty()) << name;
        const auto size = static_cast<int32_t>(gif.size());
        const int32_t a = kBase + 10, b = kBase + 1000;
        FlashImageBuilder image(static_cast<std::size_t>(b + size + 100), 0x00);
        image.Put(a, first).Put(b, gif);
        THexBuffer buffer;
        LoadImage(buffer, image.Bytes());
        ASSERT_EQ(FindGifTrailer(buffer.Bytes(), b, buffer.DataSize()), b + size - 1) << name;
        const auto rows = ScanGraphics(buffer, {});
        ASSERT_TRUE(rows.has_value());
        ASSERT_GE(rows->size(), 2u) << name;
        EXPECT_EQ((*rows)[1], PictureRow(1, "gif", b, b + size, size - 2)) << name;
    }
}

TEST(FindGifTrailer, WalksBlocksWithinTheLimit)
{
    GifPlan options{.height = 8};
    options.frames = 2;
    auto gif = BuildGif(options);
    const auto size = static_cast<int32_t>(gif.size());
    auto gif87 = gif;
    gif87[4] = '7';
    auto gif88 = gif;
    gif88[4] = '8';
    // A local colour table of 2 entries on the first image descriptor.
    std::vector<uint8_t> local = BuildGif({.height = 8});
    const std::size_t descriptor = 13 + 12 + 8;  // header, global table, graphic control
    ASSERT_EQ(local[descriptor], 0x2C);
    local[descriptor + 9] = 0x80;
    local.insert(local.begin() + static_cast<std::ptrdiff_t>(descriptor) + 10, 6, 0x3B);

    struct Case {
        std::vector<uint8_t> bytes;
        int32_t start, limitFromStart;
        int32_t expected;  // from the start, or -1
    };
    const int32_t localSize = static_cast<int32_t>(local.size());
    const Case cases[] = {
        {gif, 0, size, size - 1},   {gif, 0, size - 1, -1}, {gif, 0, size + 1000, size - 1},
        {gif87, 0, size, size - 1}, {gif88, 0, size, -1},   {local, 0, localSize, localSize - 1},
        {gif, -1, size, -1},        {gif, 0, 12, -1},
    };
    for (const Case& c : cases) {
        THexBuffer buffer;
        std::vector<uint8_t> bytes(100, 0x00);  // the picture starts at 100
        bytes.insert(bytes.end(), c.bytes.begin(), c.bytes.end());
        LoadImage(buffer, bytes);
        const int32_t start = c.start < 0 ? c.start : 100 + c.start;
        EXPECT_EQ(FindGifTrailer(buffer.Bytes(), start, 100 + c.limitFromStart), c.expected < 0 ? -1 : 100 + c.expected)
            << "start " << c.start << " limit " << c.limitFromStart;
    }
}

}  // namespace
}  // namespace kestrix
