#include "byte_find.h"
#include "code_page.h"
#include "naive_search.h"
#include "offset_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(OffsetText, ReadsDecimalAndBothHexSpellingsWithinTheImage)
{
    constexpr int64_t kSize = 0x10000;
    struct Case {
        const char* Name;
        const char* Text;
        int64_t Offset;
        OffsetTextError Error;
    };
    const Case cases[] = {
        {"decimal", "1234", 1234, OffsetTextError::None},
        {"zero", "0", 0, OffsetTextError::None},
        {"0x prefix, blanks around", "  0x4d2\t", 0x4D2, OffsetTextError::None},
        {"upper-case 0X", "0X4D2", 0x4D2, OffsetTextError::None},
        {"h suffix", "4D2h", 0x4D2, OffsetTextError::None},
        {"H suffix, hex letters", "FFFFH", 0xFFFF, OffsetTextError::None},
        {"last byte", "65535", kSize - 1, OffsetTextError::None},
        {"one past the end", "65536", -1, OffsetTextError::OutOfRange},
        {"0x one past the end", "0x10000", -1, OffsetTextError::OutOfRange},
        {"more than 64 bits", "0xFFFFFFFFFFFFFFFFFFFF", -1, OffsetTextError::OutOfRange},
        {"empty", "   ", -1, OffsetTextError::Empty},
        {"hex letter without a mark", "4D2", -1, OffsetTextError::NotANumber},
        {"bare 0x", "0x", -1, OffsetTextError::NotANumber},
        {"bare h", "h", -1, OffsetTextError::NotANumber},
        {"negative", "-5", -1, OffsetTextError::NotANumber},
        {"blank inside", "12 34", -1, OffsetTextError::NotANumber},
    };
    for (const Case& c : cases) {
        const ParsedOffset parsed = ParseOffsetText(c.Text, kSize);
        EXPECT_EQ(parsed.Error, c.Error) << c.Name;
        if (c.Error == OffsetTextError::None) {
            EXPECT_EQ(parsed.Offset, c.Offset) << c.Name;
        }
    }
}

TEST(FindNeedle, EncodesTheTextAsEachEncodingWrites)
{
    struct Case {
        const char* Name;
        const char* Text;
        FindEncoding Encoding;
        std::optional<Bytes> Needle;
    };
    const Case cases[] = {
        {"hex with blanks and either case", "4d 6F\t74", FindEncoding::Hex, Bytes{0x4D, 0x6F, 0x74}},
        {"hex, odd digit count", "4D6", FindEncoding::Hex, std::nullopt},
        {"hex, not a digit", "4G", FindEncoding::Hex, std::nullopt},
        {"hex, empty", " ", FindEncoding::Hex, std::nullopt},
        {"Windows-1251", "Мир", FindEncoding::Cp1251, Bytes{0xCC, 0xE8, 0xF0}},
        {"Windows-1251 lacks the character", "日", FindEncoding::Cp1251, std::nullopt},
        {"UTF-8", "Мы", FindEncoding::Utf8, Bytes{0xD0, 0x9C, 0xD1, 0x8B}},
        {"UTF-16LE", "Aя", FindEncoding::Utf16Le, Bytes{0x41, 0x00, 0x4F, 0x04}},
        {"UTF-16BE", "Aя", FindEncoding::Utf16Be, Bytes{0x00, 0x41, 0x04, 0x4F}},
        {"UTF-16BE beyond the first plane", "😀", FindEncoding::Utf16Be, Bytes{0xD8, 0x3D, 0xDE, 0x00}},
        {"text that is not UTF-8", "\xD0", FindEncoding::Utf8, std::nullopt},
        {"empty text", "", FindEncoding::Utf16Le, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindNeedle(c.Text, c.Encoding), c.Needle) << c.Name;
}

class ByteFindTest : public ::testing::Test {
protected:
    void Load(const Bytes& bytes) { m_buffer.LoadFromBytes(bytes); }

    // The last match starting before `before`, the plain way.
    int32_t NaiveLast(const Bytes& data, const Bytes& needle, int32_t before)
    {
        int32_t last = -1;
        for (int32_t s = test_support::NaiveFind(data, needle, 0, INT32_MAX); s >= 0 && s < before;
             s = test_support::NaiveFind(data, needle, s + 1, INT32_MAX))
            last = s;
        return last;
    }

    THexBuffer m_buffer;
};

TEST_F(ByteFindTest, FindsTextOfEveryEncodingWhereItLies)
{
    Bytes image(4096, 0xFF);
    const std::string text = "Звонок";
    const FindEncoding encodings[] = {FindEncoding::Cp1251, FindEncoding::Utf8, FindEncoding::Utf16Le,
                                      FindEncoding::Utf16Be};
    std::vector<int32_t> places;
    int32_t at = 101;  // odd offsets: nothing is aligned for the UTF-16 needles
    for (const FindEncoding encoding : encodings) {
        const Bytes needle = *FindNeedle(text, encoding);
        std::copy(needle.begin(), needle.end(), image.begin() + at);
        places.push_back(at);
        at += 777;
    }
    Load(image);
    for (std::size_t i = 0; i < std::size(encodings); ++i) {
        const Bytes needle = *FindNeedle(text, encodings[i]);
        EXPECT_EQ(FindNextMatch(m_buffer, needle, 0, {}).Offset, places[i]) << i;
        EXPECT_EQ(FindPreviousMatch(m_buffer, needle, 4096, {}).Offset, places[i]) << i;
        // The find selects the match.
        EXPECT_EQ(m_buffer.SelectionLow(), places[i]);
        EXPECT_EQ(m_buffer.SelectionHigh(), places[i] + static_cast<int32_t>(needle.size()) - 1);
    }
}

// Next and previous over small slices agree with a plain search from every
// start: matches across a slice's edge are found once, a match cut by the
// image's end is none, and dense overlapping matches give the nearest one.
TEST_F(ByteFindTest, NextAndPreviousOverSlicesAgreeWithAPlainSearch)
{
    std::mt19937 random(7);
    Bytes image(3000);
    for (uint8_t& b : image)
        b = static_cast<uint8_t>(random() % 4);  // many chance matches
    std::fill(image.begin() + 1000, image.begin() + 1100, 0xFF);
    const std::vector<Bytes> needles = {{2}, {1, 2}, {0, 1, 2}, {0xFF, 0xFF}, {3, 3, 3, 3}, {image[2998], image[2999]}};
    Load(image);
    int checked = 0;
    for (const Bytes& needle : needles) {
        for (const int32_t slice : {7, 64, 1 << 20}) {
            for (int32_t from = 0; from <= 3000; from += 37) {
                // A one-byte selection left by an earlier find must not shift a one-byte search.
                const int32_t next = FindNextMatch(m_buffer, needle, from, {}, slice).Offset;
                ASSERT_EQ(next, test_support::NaiveFind(image, needle, from, INT32_MAX)) << from << " " << slice;
                const int32_t previous = FindPreviousMatch(m_buffer, needle, from, {}, slice).Offset;
                ASSERT_EQ(previous, NaiveLast(image, needle, from)) << from << " " << slice;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 0);
    // A needle whose last byte lies past the end is not found.
    EXPECT_EQ(FindNextMatch(m_buffer, Bytes{image[2999], 0x55}, 2990, {}).Offset, -1);
}

TEST_F(ByteFindTest, KeepGoingEndsALongFindBetweenSlices)
{
    Load(Bytes(4096, 0));
    int asked = 0;
    ScanHooks hooks;
    hooks.KeepGoing = [&asked] { return ++asked < 3; };
    const SlicedFindResult next = FindNextMatch(m_buffer, Bytes{1, 2}, 0, hooks, 256);
    EXPECT_TRUE(next.Stopped);
    EXPECT_EQ(next.Offset, -1);
    asked = 0;
    const SlicedFindResult previous = FindPreviousMatch(m_buffer, Bytes{1, 2}, 4096, hooks, 256);
    EXPECT_TRUE(previous.Stopped);
    EXPECT_EQ(asked, 3);
}

}  // namespace
}  // namespace kestrix
