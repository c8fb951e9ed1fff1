#include "code_page.h"
#include "flash_image_builder.h"
#include "found_item_printer.h"
#include "picture_builders.h"
#include "picture_search.h"
#include "scan_hook_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
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
using test_support::FlashImageBuilder;
using test_support::Garbage;
using test_support::GifPlan;
using test_support::JpegPlan;
using test_support::PngPlan;
using test_support::Then;
using enum ItemType;
using enum ItemStatus;

// A row relative to its picture's first byte.
FoundItem Row(ItemType type, ItemStatus status, std::size_t end, int32_t width, int32_t height, int32_t frames = 0)
{
    FoundItem row;
    row.Type = type;
    row.Status = status;
    row.End = static_cast<int32_t>(end);
    row.Width = width;
    row.Height = height;
    row.Frames = type == Gif ? frames : 0;
    return row;
}

FoundItem Whole(ItemType type, const Bytes& bytes, int32_t width, int32_t height, int32_t frames = 1)
{
    return Row(type, Complete, bytes.size(), width, height, frames);
}

// Pictures laid out in erased flash, each at an odd offset after a gap, with
// the rows the search must return for them.
class FlashLayout {
public:
    explicit FlashLayout(std::size_t size) : m_builder(size) {}

    // Places bytes; expected is the row their first byte starts (none for a decoy).
    std::size_t Put(const Bytes& bytes, std::optional<FoundItem> expected = std::nullopt)
    {
        const std::size_t at = NextOffset();
        m_builder.Put(at, bytes);
        Expect(at, expected);
        m_next = at + bytes.size();
        return at;
    }

    // Places bytes as the data of a file-system entry called name (Windows-1251).
    std::size_t PutInEntry(const std::string& name, const Bytes& bytes, FoundItem expected)
    {
        const std::size_t h = NextOffset() + 89;
        const std::size_t at = h + 38;
        m_builder.PutFileEntry(h, name, static_cast<uint32_t>(bytes.size()),
                               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        expected.EntryName = name;
        Expect(at, expected);
        m_next = at + bytes.size();
        return at;
    }

    const Bytes& Image() const { return m_builder.Bytes(); }
    const std::vector<FoundItem>& Expected() const { return m_expected; }

private:
    std::size_t NextOffset() const { return (m_next + 301) | 1; }

    void Expect(std::size_t at, std::optional<FoundItem> expected)
    {
        if (!expected)
            return;
        expected->Start += static_cast<int32_t>(at);
        expected->End += static_cast<int32_t>(at);
        m_expected.push_back(*expected);
    }

    FlashImageBuilder m_builder;
    std::size_t m_next = 1000;
    std::vector<FoundItem> m_expected;
};

std::vector<FoundItem> Search(const Bytes& image, const PictureDecodeCheck& check = {})
{
    test_support::ScanHookLog log;
    ScanHooks hooks = log.Hooks();
    hooks.DecodeCheck = check;
    auto rows = FindAllPictures(image, hooks);
    EXPECT_TRUE(rows.has_value());
    // The tables here pin ranges and statuses; the reasons have a table of
    // their own beside the content search's.
    std::vector<FoundItem> found = rows.value_or(std::vector<FoundItem>{});
    for (FoundItem& row : found)
        row.Reason = StatusReason::None;
    return found;
}

// One table per kind: every trap, the truncated pictures and the decoys.
void PutGifs(FlashLayout& flash)
{
    const Bytes plain = BuildGif({});
    const Bytes animation = BuildGif({.frames = 3, .localPaletteFrame = 1});
    const Bytes large = BuildGif({.width = 60, .height = 40});
    const GifPlan traps[] = {
        {.gif87a = true},
        {.comment = std::string("00 3B:\0\x3B, again:\0\x3B", 18)},
        {.globalPalette = {0x00, 0x3B, 0x00, 0x3B, 0x00, 0x3B, 0x10, 0x00, 0x3B, 0x00, 0x3B, 0x00}},
        {.frames = 2, .delay = 0x3B00},
    };
    flash.Put(plain, Whole(Gif, plain, 8, 6));
    for (const GifPlan& plan : traps) {
        const Bytes gif = BuildGif(plan);
        flash.Put(gif, Whole(Gif, gif, 8, 6, plan.frames));
    }
    flash.Put(animation, Whole(Gif, animation, 8, 6, 3));
    flash.Put(large, Whole(Gif, large, 60, 40));
    const std::size_t secondFrame = Find(animation, {0x21, 0xF9}, 1);
    flash.Put(Cut(animation, secondFrame), Row(Gif, Truncated, secondFrame, 8, 6, 1));
    flash.Put(Cut(plain, plain.size() - 1), Row(Gif, Truncated, plain.size() - 1, 8, 6, 1));
    flash.Put(Then(Cut(plain, 6), Garbage(200, 1)));
    flash.Put(Then(Cut(plain, 10), Bytes(15, 0x00)));
}

void PutBitmaps(FlashLayout& flash)
{
    const BmpPlan plans[] = {{12, 8, 5, 5},   {40, 1, 33, 2},  {40, 4, 5, 3},     {40, 16, 3, 3},
                             {40, 32, 4, 2},  {52, 16, 5, 2},  {56, 32, 3, 3},    {108, 24, 2, 4},
                             {124, 8, 4, -5}, {40, 24, 5, -3}, {40, 24, 7, 2, 0}, {40, 24, 7, 2, 26}};
    for (const BmpPlan& plan : plans) {
        const Bytes bmp = BuildBmp(plan);
        flash.Put(bmp, Whole(Bmp, bmp, plan.width, std::abs(plan.height)));
    }
    flash.Put(Then({'B', 'M'}, Garbage(100, 2)));
    flash.Put(Then(Cut(BuildBmp({}), 14), Garbage(40, 3)));
}

void PutJpegs(FlashLayout& flash)
{
    const Bytes plain = BuildJpeg({});
    const JpegPlan traps[] = {{.thumbnail = true}, {.comment = "\xFF\xD9 and \xFF\xD8\xFF\xE0"}, {.progressive = true}};
    flash.Put(plain, Whole(Jpeg, plain, 32, 8));
    for (const JpegPlan& plan : traps) {
        const Bytes jpeg = BuildJpeg(plan);
        flash.Put(jpeg, Whole(Jpeg, jpeg, 32, 8));
    }
    const std::size_t scan = Find(plain, {0xFF, 0xDA}) + 11;
    flash.Put(Cut(plain, scan), Row(Jpeg, Truncated, scan, 32, 8));
    flash.Put(Then({0xFF, 0xD8, 0xFF}, Garbage(200, 4)));
    flash.Put({0xFF, 0xD8, 0xFF, 0xD9});
}

void PutPngs(FlashLayout& flash)
{
    const Bytes split = BuildPng({.width = 30, .height = 20, .idatChunks = 3});
    const PngPlan plans[] = {{}, {.text = "IEND\xAE\x42\x60\x82"}};
    for (const PngPlan& plan : plans) {
        const Bytes png = BuildPng(plan);
        flash.Put(png, Whole(Png, png, static_cast<int32_t>(plan.width), static_cast<int32_t>(plan.height)));
    }
    flash.Put(split, Whole(Png, split, 30, 20));
    const std::size_t secondIdat = Find(split, {'I', 'D', 'A', 'T'}, 1) - 4;
    flash.Put(Cut(split, secondIdat + 30), Row(Png, Truncated, secondIdat, 30, 20));
    flash.Put(Then(Cut(split, 8), Garbage(100, 5)));
}

void PutEntries(FlashLayout& flash)
{
    const Bytes gif = BuildGif({.comment = std::string("\0\x3B", 2)});
    const Bytes jpeg = BuildJpeg({.thumbnail = true});
    const Bytes bmp = BuildBmp({.bits = 8});
    const Bytes png = BuildPng({});
    flash.PutInEntry(Utf8ToCp1251("Заставка.gif"), gif, Whole(Gif, gif, 8, 6));
    flash.PutInEntry("photo.jpg", jpeg, Whole(Jpeg, jpeg, 32, 8));
    flash.PutInEntry(Utf8ToCp1251("Значок 1.bmp"), bmp, Whole(Bmp, bmp, 5, 3));
    flash.PutInEntry("icon.png", png, Whole(Png, png, 4, 3));
}

TEST(FindAllPictures, FindsEveryBuiltPictureWithItsExactRangeStatusAndName)
{
    FlashLayout flash(1 << 20);
    PutGifs(flash);
    PutBitmaps(flash);
    PutJpegs(flash);
    PutPngs(flash);
    PutEntries(flash);
    // A bitmap cut short by the end of the image.
    Bytes last = BuildBmp({.width = 40, .height = 30});
    const std::size_t lastAt = flash.Image().size() - 700;
    FlashImageBuilder image(0);
    Bytes bytes = flash.Image();
    std::copy_n(last.begin(), 700, bytes.begin() + static_cast<std::ptrdiff_t>(lastAt));
    std::vector<FoundItem> expected = flash.Expected();
    FoundItem cut = Row(Bmp, Truncated, 700, 40, 30);
    cut.Start += static_cast<int32_t>(lastAt);
    cut.End += static_cast<int32_t>(lastAt);
    expected.push_back(cut);

    const std::vector<FoundItem> rows = Search(bytes);
    EXPECT_EQ(rows, expected);
    for (const FoundItem& row : rows)
        EXPECT_EQ(row.Size(), row.End - row.Start);
}

// The checks run on worker threads only, and a front end that asks to stop
// while one is under way cancels it: these checks return only once they see
// the cancel, and the search returns only once every check it started has.
// (A worker may also start after the stop, and then checks nothing.)
TEST(FindAllPictures, ChecksRunOffTheCallingThreadAndAStopCancelsThem)
{
    FlashLayout flash(64 * 1024);
    const Bytes gif = BuildGif({});
    flash.Put(gif, Whole(Gif, gif, 8, 6));
    flash.Put(gif, Whole(Gif, gif, 8, 6));
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> onCaller{0};
    std::atomic<int> started{0};
    std::atomic<int> ended{0};
    ScanHooks hooks;
    hooks.DecodeCheck = [&](ItemType, std::span<const uint8_t>, const std::atomic<bool>& cancel) {
        ++started;
        if (std::this_thread::get_id() == caller)
            ++onCaller;
        while (!cancel.load())
            std::this_thread::yield();
        ++ended;
        return ItemStatus::Complete;
    };
    int yields = 0;
    hooks.KeepGoing = [&] {
        ++yields;
        return false;
    };
    EXPECT_FALSE(FindAllPictures(flash.Image(), hooks).has_value());
    EXPECT_EQ(yields, 1);
    EXPECT_EQ(onCaller.load(), 0);
    EXPECT_EQ(ended.load(), started.load()) << "the search returned with a check still running";
}

TEST(FindAllPictures, AsksTheDecodeCheckAboutWholePicturesOnly)
{
    FlashLayout flash(64 * 1024);
    const Bytes gif = BuildGif({});
    const Bytes broken = BuildGif({.comment = "broken"});
    const Bytes jpeg = BuildJpeg({});
    const std::size_t scan = Find(jpeg, {0xFF, 0xDA}) + 11;
    const std::size_t gifAt = flash.Put(gif, Whole(Gif, gif, 8, 6));
    flash.Put(broken, Row(Gif, Damaged, broken.size(), 8, 6, 1));
    flash.Put(Cut(jpeg, scan), Row(Jpeg, Truncated, scan, 32, 8));
    // A GIF without any frame is damaged whatever the check says.
    const Bytes frameless = Then(Cut(gif, 25), {0x21, 0xFE, 0x01, 'x', 0x00, 0x3B});
    flash.Put(frameless, Row(Gif, Damaged, frameless.size(), 8, 6, 0));

    // The checks run on several threads at once, in no fixed order.
    std::mutex mutex;
    std::vector<std::pair<ItemType, Bytes>> asked;
    const auto rows =
        Search(flash.Image(), [&](ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>&) {
            {
                const std::lock_guard lock(mutex);
                asked.emplace_back(type, Bytes(bytes.begin(), bytes.end()));
            }
            const bool broken =
                std::search(bytes.begin(), bytes.end(), std::begin("broken"), std::end("broken") - 1) != bytes.end();
            return broken ? ItemStatus::Damaged : ItemStatus::Complete;
        });
    EXPECT_EQ(rows, flash.Expected());
    ASSERT_GE(asked.size(), 2u);
    EXPECT_NE(std::find(asked.begin(), asked.end(), std::make_pair(Gif, gif)), asked.end());
    EXPECT_NE(std::find(asked.begin(), asked.end(), std::make_pair(Gif, broken)), asked.end());
    for (const auto& [type, bytes] : asked)
        EXPECT_NE(type, Jpeg) << "a truncated picture is not decoded";
    EXPECT_EQ(rows.front().Start, static_cast<int32_t>(gifAt));
}

TEST(FindAllPictures, PicturesInsideOthersAndTruncatedWalksRunningIntoTheNext)
{
    FlashLayout flash(64 * 1024);
    // A GIF inside another GIF's comment belongs to it.
    const Bytes inner = BuildGif({});
    const Bytes outer = BuildGif({.comment = std::string(inner.begin(), inner.end())});
    flash.Put(outer, Whole(Gif, outer, 8, 6));
    // A JPEG cut in its scan keeps its whole thumbnail to itself.
    const Bytes jpeg = BuildJpeg({.thumbnail = true});
    const std::size_t scan = Find(jpeg, {0xFF, 0xDA}, 1) + 11;
    flash.Put(Cut(jpeg, scan), Row(Jpeg, Truncated, scan, 32, 8));
    // Data that stop short with the next picture right behind: the truncated
    // walk runs into the next picture and ends where it starts.
    const Bytes large = BuildGif({.width = 60, .height = 40});
    const Bytes next = BuildGif({.frames = 2});
    const std::size_t cut = Find(large, {0x2C}) + 60;
    const std::size_t pairAt = flash.Put(Then(Cut(large, cut), next), Row(Gif, Truncated, cut, 60, 40, 1));
    const Bytes png = BuildPng({});
    const std::size_t jpegCut = Find(jpeg, {0xFF, 0xDA}, 1) + 11;
    const std::size_t jpegAt = flash.Put(Then(Cut(jpeg, jpegCut), png), Row(Jpeg, Truncated, jpegCut, 32, 8));

    std::vector<FoundItem> expected = flash.Expected();
    FoundItem behind = Whole(Gif, next, 8, 6, 2);
    behind.Start += static_cast<int32_t>(pairAt + cut);
    behind.End += static_cast<int32_t>(pairAt + cut);
    expected.insert(expected.begin() + 3, behind);
    FoundItem afterJpeg = Whole(Png, png, 4, 3);
    afterJpeg.Start += static_cast<int32_t>(jpegAt + jpegCut);
    afterJpeg.End += static_cast<int32_t>(jpegAt + jpegCut);
    expected.push_back(afterJpeg);
    EXPECT_EQ(Search(flash.Image()), expected);
}

// Erased flash where a GIF's data should go on: the GIF was cut there, whatever
// the length of the erasure; a walk that took it for blocks of 255 would run
// on into the next picture and take its trailer.
TEST(FindAllPictures, AGifCutByErasedFlashEndsAtTheCut)
{
    const Bytes large = BuildGif({.width = 200, .height = 200});
    const Bytes next = BuildGif({.width = 200, .height = 200});
    const std::size_t cut = 337;
    for (const std::size_t erased : {64u, 66u, 300u, 70000u}) {
        SCOPED_TRACE(erased);
        Bytes image(100, 0x00);
        const Bytes cutGif = Cut(large, cut);
        image.insert(image.end(), cutGif.begin(), cutGif.end());
        image.resize(image.size() + erased, 0xFF);
        const auto nextAt = static_cast<int32_t>(image.size());
        image.insert(image.end(), next.begin(), next.end());
        image.resize(image.size() + 100, 0x00);
        const std::vector<FoundItem> rows = Search(image);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].Status, ItemStatus::Truncated);
        EXPECT_EQ(rows[0].Start, 100);
        EXPECT_EQ(rows[0].End, static_cast<int32_t>(100 + cut));
        EXPECT_EQ(rows[1].Start, nextAt);
        EXPECT_EQ(rows[1].Status, ItemStatus::Complete);
    }
}

// An encoder that keeps its full table writes a uniform stretch as code 4095
// again and again: 32 and more bytes FFh in a whole GIF's data are no erasure.
TEST(FindAllPictures, AGifWhoseFullTableRepeatsItsLastCodeIsWhole)
{
    constexpr uint16_t kWidth = 400;
    Bytes pixels = Garbage(18620, 7);
    for (uint8_t& pixel : pixels)
        pixel &= 3;
    pixels.resize((pixels.size() + 20000) / kWidth * kWidth + kWidth, 0);
    const auto height = static_cast<uint16_t>(pixels.size() / kWidth);
    const Bytes gif = BuildGif(
        {.width = kWidth,
         .height = height,
         .images = {
             {.width = kWidth, .height = height, .pixels = pixels, .style = test_support::LzwStyle::KeepFullTable}}});
    ASSERT_NO_THROW(Find(gif, Bytes(32, 0xFF))) << "the encoder no longer writes the run";
    Bytes image(100, 0x00);
    image.insert(image.end(), gif.begin(), gif.end());
    image.resize(image.size() + 200, 0xFF);
    const std::vector<FoundItem> rows = Search(image);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Status, ItemStatus::Complete);
    EXPECT_EQ(rows[0].End, static_cast<int32_t>(100 + gif.size()));
}

TEST(FindAllPictures, NamesOnlyPicturesAtAnEntrysDataStart)
{
    const Bytes gif = BuildGif({});
    FlashImageBuilder image(4096);
    // One byte after an entry's data start, right after its data.
    image.PutFileEntry(200, "a.gif", 1, std::string_view("\x00", 1));
    image.Put(239, gif);
    image.PutFileEntry(1000, std::string(45, 'n'), static_cast<uint32_t>(gif.size()));
    image.Put(1038, gif);
    const auto rows = Search(image.Bytes());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Start, 239);
    EXPECT_EQ(rows[0].EntryName, "");
    EXPECT_EQ(rows[1].Start, 1038);
    EXPECT_EQ(rows[1].EntryName, std::string(45, 'n')) << "the signature's zero ends the longest name";
}

TEST(FindAllPictures, ReportsProgressAndStopsWhenAsked)
{
    Bytes image(20 << 20, 0xFF);
    const Bytes gif = BuildGif({});
    for (std::size_t at = 12345; at + gif.size() < image.size(); at += 3 << 20)
        std::copy(gif.begin(), gif.end(), image.begin() + static_cast<std::ptrdiff_t>(at));

    test_support::ScanHookLog log;
    const auto rows = FindAllPictures(image, log.Hooks());
    ASSERT_TRUE(rows.has_value());
    EXPECT_EQ(rows->size(), 7u);
    ASSERT_GE(log.calls.size(), 2u);
    EXPECT_EQ(log.calls.front(), "show " + std::to_string(image.size()));
    EXPECT_EQ(log.calls.back(), "hide");
    const auto yields = std::count(log.calls.begin(), log.calls.end(), "yield");
    EXPECT_GE(yields, 4) << "a yield at least every few MiB";
    EXPECT_LE(yields, 20);

    log = {};
    log.yieldsBeforeStop = 2;
    EXPECT_FALSE(FindAllPictures(image, log.Hooks()).has_value());
    EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "yield"), 2);
    EXPECT_EQ(log.calls.back(), "hide");
}

TEST(FindAllPictures, EmptyAndTinyImages)
{
    EXPECT_TRUE(Search({}).empty());
    EXPECT_TRUE(Search({'G'}).empty());
    EXPECT_TRUE(Search({0xFF, 0xD8}).empty());
}

// --- hostile images ----------------------------------------------------------

TEST(FindAllPictures, AMillionTinyPictures)
{
    // GIF89a, a 1 x 1 screen, one 1 x 1 image of LZW codes clear, 0, end; trailer.
    const Bytes tiny{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0,    0,    0,    0x2C, 0,
                     0,   0,   0,   1,   0,   1,   0, 0, 2, 2, 0x44, 0x01, 0x00, 0x3B};
    constexpr std::size_t kCount = 1000000;
    Bytes image;
    image.reserve(kCount * tiny.size());
    for (std::size_t i = 0; i < kCount; ++i)
        image.insert(image.end(), tiny.begin(), tiny.end());
    const auto rows = Search(image);
    ASSERT_EQ(rows.size(), kCount);
    FoundItem last = Row(Gif, Complete, image.size(), 1, 1, 1);
    last.Start = static_cast<int32_t>(image.size() - tiny.size());
    EXPECT_EQ(rows.back(), last);
}

TEST(FindAllPictures, EndlessAndNestedChainsEndCleanly)
{
    // Every 15 bytes a GIF header whose comment's sub-blocks run on through all
    // the following headers to the end of the image.
    const Bytes unit{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xFE};
    Bytes image;
    while (image.size() < (16u << 20))
        image.insert(image.end(), unit.begin(), unit.end());
    const auto rows = Search(image);
    EXPECT_FALSE(rows.empty());
    EXPECT_LT(rows.size(), 64u);
    for (const FoundItem& row : rows)
        EXPECT_EQ(row.Status, Truncated);

    // PNG headers, each followed by a chunk over the rest of the image with a wrong CRC.
    const Bytes png = BuildPng({});
    const std::size_t header = 33;
    Bytes pngs(16u << 20, 0x00);
    for (std::size_t at = 0; at + 64 < pngs.size(); at += 4096) {
        std::copy_n(png.begin(), header, pngs.begin() + static_cast<std::ptrdiff_t>(at));
        const auto length = static_cast<uint32_t>(pngs.size() - at - header - 12);
        const uint8_t chunk[8] = {static_cast<uint8_t>(length >> 24),
                                  static_cast<uint8_t>(length >> 16),
                                  static_cast<uint8_t>(length >> 8),
                                  static_cast<uint8_t>(length),
                                  'a',
                                  'b',
                                  'c',
                                  'd'};
        std::copy_n(chunk, 8, pngs.begin() + static_cast<std::ptrdiff_t>(at + header));
    }
    const auto pngRows = Search(pngs);
    EXPECT_FALSE(pngRows.empty());
    for (const FoundItem& row : pngRows)
        EXPECT_EQ(row.Status, Truncated);
}

// --- public pictures ---------------------------------------------------------

struct PublicException {
    const char* file;
    // -1: no row starts at the file; otherwise the row's size.
    int32_t size;
    ItemStatus status;
    const char* why;
};

const PublicException kPublicExceptions[] = {
    {"pygif-test-suite/zero-width.gif", -1, Complete, "a screen of zero width"},
    {"pygif-test-suite/zero-height.gif", -1, Complete, "a screen of zero height"},
    {"pygif-test-suite/zero-size.gif", -1, Complete, "a screen of zero size"},
    {"pygif-test-suite/no-data.gif", -1, Complete, "the trailer right after the screen: no image"},
    {"pygif-test-suite/max-size.gif", -1, Complete, "the trailer right after the screen: no image"},
    {"pygif-test-suite/overflow-codes-max.gif", -1, Complete, "an LZW code size of 255"},
    {"pygif-test-suite/overflow-codes.gif", -1, Complete, "an LZW code size of 12: its clear code needs 13 bits"},
    {"pygif-test-suite/image-zero-height.gif", -1, Complete, "a local colour table announced but absent"},
    {"pygif-test-suite/image-zero-size.gif", -1, Complete, "a local colour table announced but absent"},
    {"pygif-test-suite/image-zero-width.gif", 30, Complete, "an image without data: cut, nothing is left"},
    {"giflib/pic/porsche.gif", 5513, Complete, "631 bytes after the trailer"},
    {"wuffs/test/data/hippopotamus.interlaced.truncated.gif", 1024, Truncated, "cut short; erased flash follows"},
    {"wuffs/test/data/rgb24png.bmp", -1, Complete, "a bitmap holding a PNG: an unknown compression"},
    {"image-rs-image/tests/images/bmp/images/pal2.bmp", -1, Complete, "2 bits per pixel"},
    {"image-rs-image/tests/images/bmp/images/pal2color.bmp", -1, Complete, "2 bits per pixel"},
    {"image-rs-image/tests/images/bmp/images/pal8os2-hs.bmp", -1, Complete, "reserved fields not zero"},
    {"image-rs-image/tests/images/bmp/images/rgb24rle24.bmp", -1, Complete,
     "RLE24 compression, which no decoder here reads"},
};

const char* const kPublicSuites[] = {
    "bmpsuite/g",
    "image-rs-image/tests/images/bmp/images",
    "peterdn-gif-test-suite/gifs",
    "giflib/pic",
    "pygif-test-suite",
    "wuffs/test/data",
};

struct PublicPicture {
    std::string name;
    Bytes bytes;
};

std::vector<PublicPicture> PublicPictures()
{
    namespace fs = std::filesystem;
    std::vector<PublicPicture> pictures;
    for (const char* suite : kPublicSuites) {
        const fs::path folder = fs::path(KESTRIX_TESTDATA_DIR) / suite;
        if (!fs::is_directory(folder))
            continue;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string extension = entry.path().extension().string();
            if (entry.is_regular_file() && (extension == ".gif" || extension == ".bmp"))
                pictures.push_back({std::string(suite) + "/" + entry.path().filename().string(),
                                    test_support::ReadFileBytes(entry.path().string())});
        }
    }
    std::sort(pictures.begin(), pictures.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return pictures;
}

TEST(FindAllPictures, PublicPicturesAmongErasedFlashWholeAndCut)
{
    const std::vector<PublicPicture> pictures = PublicPictures();
    if (pictures.empty())
        GTEST_SKIP() << "the public picture suites are not in " << KESTRIX_TESTDATA_DIR;
    std::map<std::string, const PublicException*> exceptions;
    for (const PublicException& e : kPublicExceptions)
        exceptions[e.file] = &e;

    // Each file whole, then (GIFs) once more without its trailer, then cut in half.
    struct Placed {
        const PublicPicture* picture;
        std::size_t at;
        std::size_t length;
    };
    std::vector<Placed> placed;
    Bytes image(1001, 0xFF);
    auto put = [&](const PublicPicture& picture, std::size_t length) {
        image.resize((image.size() + 333) | 1, 0xFF);
        placed.push_back({&picture, image.size(), length});
        image.insert(image.end(), picture.bytes.begin(), picture.bytes.begin() + static_cast<std::ptrdiff_t>(length));
    };
    for (const PublicPicture& picture : pictures) {
        put(picture, picture.bytes.size());
        const bool plainGif = picture.name.ends_with(".gif") && !exceptions.contains(picture.name);
        if (plainGif)
            put(picture, picture.bytes.size() - 1);
        if (plainGif && picture.bytes.size() > 2000)
            put(picture, picture.bytes.size() / 2);
    }
    image.resize(image.size() + 1000, 0xFF);

    const std::vector<FoundItem> rows = Search(image);
    std::map<int32_t, const FoundItem*> byStart;
    for (const FoundItem& row : rows)
        byStart[row.Start] = &row;
    std::size_t whole = 0;
    std::size_t cut = 0;
    for (const Placed& p : placed) {
        SCOPED_TRACE(p.picture->name + " placed with " + std::to_string(p.length) + " bytes");
        const auto found = byStart.find(static_cast<int32_t>(p.at));
        const auto exception = exceptions.find(p.picture->name);
        if (p.length < p.picture->bytes.size()) {
            ASSERT_NE(found, byStart.end());
            EXPECT_EQ(found->second->Status, Truncated);
            EXPECT_LE(found->second->End, static_cast<int32_t>(p.at + p.length));
            ++cut;
        } else if (exception != exceptions.end() && exception->second->size < 0) {
            EXPECT_EQ(found, byStart.end()) << exception->second->why;
        } else {
            ASSERT_NE(found, byStart.end());
            const int32_t size =
                exception != exceptions.end() ? exception->second->size : static_cast<int32_t>(p.length);
            const ItemStatus status = exception != exceptions.end() ? exception->second->status : Complete;
            EXPECT_EQ(found->second->Size(), size);
            EXPECT_EQ(found->second->Status, status);
            EXPECT_TRUE(std::equal(image.begin() + found->second->Start, image.begin() + found->second->End,
                                   p.picture->bytes.begin()));
            ++whole;
        }
    }
    // Nothing is listed in the erased flash between the files.
    std::size_t next = 0;
    for (const FoundItem& row : rows) {
        while (next + 1 < placed.size() && static_cast<std::size_t>(row.Start) >= placed[next + 1].at)
            ++next;
        EXPECT_GE(static_cast<std::size_t>(row.Start), placed[next].at);
        EXPECT_LT(static_cast<std::size_t>(row.Start), placed[next].at + placed[next].length);
    }
    RecordProperty("whole", static_cast<int>(whole));
    RecordProperty("cut", static_cast<int>(cut));
    EXPECT_GT(whole, 150u);
}

}  // namespace
}  // namespace kestrix
