#include "error_of.h"
#include "exceptions.h"
#include "hex_text.h"
#include "image_loading.h"
#include "pattern_search.h"
#include "sliced_find.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kestrix {
namespace {

using test_support::ErrorOf;
using test_support::LoadImage;

// 47 49 at 0, 5 and 8 of a 10-byte image.
std::vector<uint8_t> SmallImage()
{
    return {0x47, 0x49, 0x00, 0x41, 0x00, 0x47, 0x49, 0x41, 0x47, 0x49};
}

TEST(FindHexPattern, RangeBounds)
{
    struct Case {
        const char* pattern;
        int32_t from, to, expected;
        std::vector<uint8_t> image = SmallImage();
    };
    // Two file-entry signatures sharing three bytes: hits at 0 and 5.
    const std::vector<uint8_t> overlapping = {0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00};
    const Case cases[] = {
        {"000001FF000000", 0, 12, 0, overlapping},
        {"000001FF000000", 1, 12, 5, overlapping},
        {"000001FF000000", 1, 11, -1, overlapping},
        {"000001FF000000", 6, 12, -1, overlapping},
        {"4749", 0, 10, 0},
        {"4749", 1, 10, 5},
        {"4749", -5, 10, 0},
        {"4749", 6, 10, 8},
        {"4749", 6, 9, -1},
        {"4749", 6, 1000, 8},
        {"4749", 9, 1000, -1},
        {"4749", 10, 1000, -1},
        {"4749", 0, 0, -1},
        {"4749", 0, -7, -1},
        {"47 4", 1, 10, 5},
        {"zz", 0, 10, -1},
        {"", 0, 10, -1},
        {"474941", 0, 10, 5},
        {"0041", 0, 10, 2},
    };
    // Each case again with 0 to 34 bytes of padding before and after the image;
    // A5h is in no pattern and no image, so the padding takes part in no match.
    constexpr int32_t kMaxPadding = 34;
    THexBuffer buffer;
    for (const Case& c : cases) {
        for (int32_t before = 0; before <= kMaxPadding; ++before) {
            for (int32_t after = 0; after <= kMaxPadding; ++after) {
                std::vector<uint8_t> image(static_cast<std::size_t>(before), 0xA5);
                image.insert(image.end(), c.image.begin(), c.image.end());
                image.insert(image.end(), static_cast<std::size_t>(after), 0xA5);
                LoadImage(buffer, image);
                ASSERT_EQ(FindHexPattern(buffer, c.pattern, c.from + before, c.to + before),
                          c.expected < 0 ? -1 : c.expected + before)
                    << c.pattern << " from " << c.from << " to " << c.to << " padding " << before << " and " << after;
            }
        }
    }
}

TEST(FindHexPattern, SelectsTheMatchAndKeepsTheSelectionOtherwise)
{
    THexBuffer buffer;
    LoadImage(buffer, SmallImage());
    ASSERT_EQ(FindHexPattern(buffer, "474941", 0, 10), 5);
    EXPECT_EQ(buffer.CaretPosition(), 7);
    EXPECT_EQ(buffer.SelectionLow(), 5);
    EXPECT_EQ(buffer.SelectionHigh(), 7);
    EXPECT_EQ(buffer.SelectionLength(), 3);

    for (const char* miss : {"4A4B", "", "x", "4"}) {
        EXPECT_EQ(FindHexPattern(buffer, miss, 0, 10), -1) << miss;
        EXPECT_EQ(buffer.SelectionLow(), 5) << miss;
        EXPECT_EQ(buffer.SelectionLength(), 3) << miss;
    }
}

TEST(FindHexPattern, OneByteSearchMovesPastAOneByteSelection)
{
    THexBuffer buffer;
    LoadImage(buffer, SmallImage());
    EXPECT_EQ(FindHexPattern(buffer, "47", 0, 10), 0);
    EXPECT_EQ(FindHexPattern(buffer, "47", 0, 10), 5) << "the rule looks at the length only";
    EXPECT_EQ(FindHexPattern(buffer, "47", 5, 10), 8);
    EXPECT_EQ(FindHexPattern(buffer, "47", 8, 10), -1);

    ASSERT_EQ(FindHexPattern(buffer, "4749", 0, 10), 0);
    EXPECT_EQ(FindHexPattern(buffer, "4749", 0, 10), 0) << "no skip for a longer pattern";
    EXPECT_EQ(FindHexPattern(buffer, "47", 0, 10), 0) << "no skip after a two-byte selection";
}

TEST(FindHexPattern, PatternMustFillWholeUnitsAndHonoursSwapNibbles)
{
    THexBuffer buffer;
    LoadImage(buffer, SmallImage());
    buffer.SetBytesPerUnit(2);
    EXPECT_EQ(FindHexPattern(buffer, "474941", 0, 10), -1);
    EXPECT_EQ(FindHexPattern(buffer, "4749", 1, 10), 5);
    buffer.SetBytesPerUnit(1);
    buffer.SetSwapNibbles(true);
    EXPECT_EQ(FindHexPattern(buffer, "7494", 0, 10), 0);
}

TEST(HexIntText, ConversionsBothWays)
{
    struct Out {
        uint32_t value;
        int32_t width;
        const char* text;
    };
    for (const Out& c : std::initializer_list<Out>{{0, 2, "00"},
                                                   {31, 2, "1F"},
                                                   {255, 2, "FF"},
                                                   {256, 2, "00"},
                                                   {171, 2, "AB"},
                                                   {5, 2, "05"},
                                                   {0, 1, "0"},
                                                   {384, 8, "00000180"},
                                                   {0xFFFFFFFFu, 8, "FFFFFFFF"},
                                                   {0xFFFFFFFFu, 10, "00FFFFFFFF"}})
        EXPECT_EQ(IntToHexText(c.value, c.width), c.text) << c.value << " width " << c.width;

    struct In {
        const char* text;
        uint32_t value;
    };
    for (const In& c : std::initializer_list<In>{
             {"00000180", 384}, {"ff", 255}, {"aBc", 0xABC}, {"1FFFFFFFF", 0xFFFFFFFFu}, {"123456789", 0x23456789}})
        EXPECT_EQ(HexTextToInt(c.text), c.value) << c.text;

    for (const std::string bad : {"", "1G", "1 F", "$1F", "0x1F", "-1"}) {
        EXPECT_EQ(ErrorOf([&] { HexTextToInt(bad); }),
                  "EConvertError: Ошибка в ходе преобразования шестнадцатеричного числа " + bad + " в целое число.");
    }
}

TEST(FindHexPatternSliced, SameResultAndSelectionAsOneSearch)
{
    std::mt19937 random(99);
    std::vector<uint8_t> data(3000);
    for (auto& b : data)
        b = static_cast<uint8_t>(random() % 3 == 0 ? 0x47 : random() % 2 ? 0x49 : 0x00);
    THexBuffer sliced;
    THexBuffer whole;
    LoadImage(sliced, data);
    LoadImage(whole, data);
    int yields = 0;
    ScanHooks hooks;
    hooks.KeepGoing = [&yields] {
        ++yields;
        return true;
    };
    for (const char* pattern : {"474947", "4949494949", "000000", "4700"}) {
        for (int k = 0; k < 200; ++k) {
            const auto from = static_cast<int32_t>(random() % 3100) - 50;
            const auto to = static_cast<int32_t>(random() % 3100);
            const auto slice = static_cast<int32_t>(1 + random() % 40);
            const SlicedFindResult r = FindHexPatternSliced(sliced, pattern, from, to, hooks, slice);
            ASSERT_EQ(r.Offset, FindHexPattern(whole, pattern, from, to))
                << pattern << " from " << from << " to " << to << " slice " << slice;
            EXPECT_FALSE(r.Stopped);
            EXPECT_EQ(sliced.SelectionLow(), whole.SelectionLow());
            EXPECT_EQ(sliced.SelectionHigh(), whole.SelectionHigh());
        }
    }
    EXPECT_GT(yields, 0);
}

TEST(FindHexPatternSliced, YieldsBetweenSlicesAndStopsWhenAsked)
{
    THexBuffer buffer;
    std::vector<uint8_t> data(100, 0x00);
    data[95] = 0x47;
    data[96] = 0x49;
    LoadImage(buffer, data);
    int yields = 0;
    ScanHooks hooks;
    hooks.KeepGoing = [&yields] { return ++yields < 1000; };
    // Slices start at 0, 10, ..., 90: nine yields between ten slices.
    EXPECT_EQ(FindHexPatternSliced(buffer, "4749", 0, 100, hooks, 10).Offset, 95);
    EXPECT_EQ(yields, 9);

    yields = 0;
    hooks.KeepGoing = [&yields] { return ++yields < 3; };
    const SlicedFindResult stopped = FindHexPatternSliced(buffer, "4749", 0, 100, hooks, 10);
    EXPECT_TRUE(stopped.Stopped);
    EXPECT_EQ(stopped.Offset, -1);
    EXPECT_EQ(yields, 3);
}

}  // namespace
}  // namespace kestrix
