#include "file_entry_scan.h"
#include "flash_image_builder.h"
#include "image_loading.h"
#include "result_row_printer.h"
#include "scan_hook_log.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using test_support::LoadImage;
using HookLog = test_support::ScanHookLog;

using test_support::FlashImageBuilder;

// The scan's rows as the file list shows them, or nothing when it refused.
std::optional<std::vector<ResultRow>> ScanFileEntries(TCustomHexBuffer& buffer, const ScanHooks& hooks)
{
    FoundRows rows;
    if (!kestrix::ScanFileEntries(buffer, hooks, rows))
        return std::nullopt;
    std::vector<ResultRow> texts;
    for (std::size_t i = 0; i < rows.Count(); ++i)
        texts.push_back(FileRowText(rows, i));
    return texts;
}

ResultRow FileRow(std::string name, std::string type, int32_t h, std::string end, std::string size)
{
    return {std::move(name), {std::move(type), std::to_string(h + 38), std::move(end), std::move(size)}, 11};
}

TEST(ScanFileEntries, RefusesSmallImagesWithoutTouchingTheFrontEnd)
{
    for (const std::size_t size : {std::size_t{0}, std::size_t{1000}}) {
        THexBuffer buffer;
        LoadImage(buffer, std::vector<uint8_t>(size, 0x00));
        HookLog log;
        EXPECT_FALSE(ScanFileEntries(buffer, log.Hooks()).has_value()) << size;
        EXPECT_TRUE(log.calls.empty());
    }
    THexBuffer buffer;
    LoadImage(buffer, std::vector<uint8_t>(1001, 0xFF));
    HookLog log;
    const auto rows = ScanFileEntries(buffer, log.Hooks());
    ASSERT_TRUE(rows.has_value());
    EXPECT_TRUE(rows->empty());
    EXPECT_EQ(log.calls, (std::vector<std::string>{"show 1001", "hide"}));
}

TEST(ScanFileEntries, ListsEntriesWithSizesEndsAndTypes)
{
    FlashImageBuilder image(4000);
    image
        .PutFileEntry(200, "readme.txt", 384)      // first row: gets its end cell too
        .PutFileEntry(500, "a.gz", 385)            // one byte too large for an end cell
        .PutFileEntry(800, "main.c", 0xFFFFFFFFu)  // size read unsigned
        .PutFileEntry(1100, "index.html", 0)
        .PutFileEntry(1400, ".ab", 10);
    THexBuffer buffer;
    LoadImage(buffer, image.Bytes());
    HookLog log;
    const auto rows = ScanFileEntries(buffer, log.Hooks());
    ASSERT_TRUE(rows.has_value());
    const std::vector<ResultRow> expected = {
        FileRow("readme.txt", "txt", 200, std::to_string(200 + 38 + 384), "384"),
        FileRow("a.gz", "gz", 500, "", "385"),
        FileRow("main.c", "c", 800, "", "4294967295"),
        FileRow("index.html", "xxx", 1100, std::to_string(1100 + 38), "0"),
        FileRow(".ab", ".ab", 1400, std::to_string(1400 + 38 + 10), "10"),
    };
    EXPECT_EQ(*rows, expected);
    EXPECT_EQ(log.calls,
              (std::vector<std::string>{"show 4000", "row readme.txt", "value 200", "yield", "row a.gz", "value 500",
                                        "yield", "row main.c", "value 800", "yield", "row index.html", "value 1100",
                                        "yield", "row .ab", "value 1400", "yield", "hide"}));
}

TEST(ScanFileEntries, RepeatedNamesAreListedOnce)
{
    FlashImageBuilder image(4000);
    image.PutFileEntry(200, "one", 1)
        .PutFileEntry(400, "one", 2)
        .PutFileEntry(600, "two", 3)
        .PutFileEntry(800, "one", 4);
    THexBuffer buffer;
    LoadImage(buffer, image.Bytes());
    HookLog log;
    const auto rows = ScanFileEntries(buffer, log.Hooks());
    ASSERT_TRUE(rows.has_value());
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[0], FileRow("one", "xxx", 200, "239", "1"));
    EXPECT_EQ((*rows)[1], FileRow("two", "xxx", 600, "641", "3"));
    // The second "one" follows the first directly and adds no row; the third
    // is appended during the scan and removed at the end. Every hit yields.
    EXPECT_EQ(log.calls, (std::vector<std::string>{"show 4000", "row one", "value 200", "yield", "yield", "row two",
                                                   "value 600", "yield", "row one", "value 800", "yield", "hide"}));
}

TEST(ScanFileEntries, SkipsHitsWhoseNameOrSizeLiesOutsideTheImage)
{
    const std::string signature("\x00\x00\x01\xFF\x00\x00\x00", 7);
    FlashImageBuilder image(2000, 0x20);
    image
        .Put(0, signature)   // offset 0: never searched
        .Put(50, signature)  // name would start before the image
        .PutFileEntry(200, "edge", 7)
        .Put(2000 - 25, signature);  // size bytes would end past the image
    THexBuffer buffer;
    LoadImage(buffer, image.Bytes());
    HookLog log;
    const auto rows = ScanFileEntries(buffer, log.Hooks());
    ASSERT_TRUE(rows.has_value());
    EXPECT_EQ(*rows, std::vector<ResultRow>{FileRow("edge", "xxx", 200, std::to_string(200 + 38 + 7), "7")});
    EXPECT_EQ(log.calls,
              (std::vector<std::string>{"show 2000", "yield", "row edge", "value 200", "yield", "yield", "hide"}));

    // The first offset with a whole name, and size bytes ending on the image's last byte.
    const int32_t h = 2000 - 26;
    FlashImageBuilder edges(2000, 0x00);
    edges.PutFileEntry(89, "low", 1)
        .Put(static_cast<std::size_t>(h - 89), std::string("t", 1))
        .Put(static_cast<std::size_t>(h), signature)
        .Put(static_cast<std::size_t>(h + 22), std::string("\x00\x00\x00\x05", 4));
    LoadImage(buffer, edges.Bytes());
    const auto both = ScanFileEntries(buffer, {});
    ASSERT_TRUE(both.has_value());
    EXPECT_EQ(*both, (std::vector<ResultRow>{FileRow("low", "xxx", 89, std::to_string(89 + 38 + 1), "1"),
                                             FileRow("t", "xxx", h, std::to_string(h + 38 + 5), "5")}));
}

TEST(ScanFileEntries, NameTakesLowBytesUpToTheFirstZero)
{
    FlashImageBuilder image(2000, 0x00);
    image.PutFileEntry(300, "\xD4\xE0\xE9\xEB.bin", 1);
    image.Put(300 - 88, std::string(1, '\x04')).Put(300 - 86, std::string(1, '\x04'));  // high bytes are ignored
    image.Put(300 - 89, std::string(1, '\x00'));  // the first character is taken even when it is 00h
    THexBuffer buffer;
    LoadImage(buffer, image.Bytes());
    const auto rows = ScanFileEntries(buffer, {});
    ASSERT_TRUE(rows.has_value());
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ((*rows)[0].Caption, std::string("\x00\xE0\xE9\xEB.bin", 8));
    EXPECT_EQ((*rows)[0].Cell(RowCell::Type), "bin");
}

TEST(ScanFileEntries, StopsWhenTheFrontEndAsks)
{
    FlashImageBuilder image(4000);
    image.PutFileEntry(200, "one", 1).PutFileEntry(400, "two", 2).PutFileEntry(600, "three", 3);
    THexBuffer buffer;
    LoadImage(buffer, image.Bytes());
    HookLog log;
    log.yieldsBeforeStop = 2;
    const auto rows = ScanFileEntries(buffer, log.Hooks());
    ASSERT_TRUE(rows.has_value());
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ(log.calls.back(), "hide");
}

TEST(FileTypeOf, DotAtOneOfTheLastThreePositions)
{
    const std::pair<const char*, const char*> cases[] = {
        {"readme.txt", "txt"}, {"a.gz", "gz"}, {"main.c", "c"}, {"index.html", "xxx"}, {"noext", "xxx"}, {".ab", ".ab"},
        {"a.b", "b"},          {".", "."},     {"x", "xxx"},    {"ab.", "xxx"},        {"..", ".."},     {"", "xxx"},
    };
    for (const auto& [name, type] : cases)
        EXPECT_EQ(FileTypeOf(name), type) << name;
}

}  // namespace
}  // namespace kestrix
