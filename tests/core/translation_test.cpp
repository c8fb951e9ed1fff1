#include "code_page.h"
#include "translation.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <set>
#include <string>

namespace kestrix {
namespace {

using Block = std::array<uint8_t, 256>;

Block AllBytes()
{
    Block b{};
    std::iota(b.begin(), b.end(), 0);
    return b;
}

Block From(uint8_t kind, const Block& source)
{
    Block out{};
    TranslateFromAnsi(kind, source.data(), out.data(), 256);
    return out;
}

Block To(uint8_t kind, const Block& source)
{
    Block out{};
    TranslateToAnsi(kind, source.data(), out.data(), 256);
    return out;
}

TEST(Translation, CopiesAndTablePairsRoundTripEveryByte)
{
    const Block all = AllBytes();
    for (uint8_t kind : {tkAsIs, tkCustom}) {
        EXPECT_EQ(From(kind, all), all) << int{kind};
        EXPECT_EQ(To(kind, all), all) << int{kind};
    }
    for (uint8_t kind : {tkMac, tkBCD}) {
        const Block forward = From(kind, all);
        EXPECT_EQ(std::set<uint8_t>(forward.begin(), forward.end()).size(), 256u) << "not a permutation";
        EXPECT_EQ(To(kind, forward), all) << int{kind};
        EXPECT_EQ(From(kind, To(kind, all)), all) << int{kind};
    }
    const Block mac = From(tkMac, all);
    for (int i = 0; i < 0x80; ++i)
        EXPECT_EQ(mac[static_cast<std::size_t>(i)], i) << "Macintosh keeps ASCII";
}

TEST(Translation, TellingRowsFromAnsi)
{
    struct Row {
        uint8_t kind, ansi, translated;
    };
    std::vector<Row> rows = {{tkMac, 0xC4, 0x80}, {tkMac, 0x80, 0xC4}, {tkMac, 0xE9, 0x8E}, {tkMac, 0xFC, 0x9F},
                             {tkMac, 0xDF, 0xA7}, {tkMac, 0xA9, 0xA9}, {tkMac, 0xA0, 0xA0}, {tkBCD, 0x00, 0x00},
                             {tkBCD, 0x03, 0x03}, {tkBCD, 0x20, 0x40}, {tkBCD, 0x2E, 0x4B}};
    for (int i = 0; i < 10; ++i)
        rows.push_back({tkBCD, static_cast<uint8_t>('0' + i), static_cast<uint8_t>(0xF0 + i)});
    for (int i = 0; i < 9; ++i) {
        rows.push_back({tkBCD, static_cast<uint8_t>('A' + i), static_cast<uint8_t>(0xC1 + i)});
        rows.push_back({tkBCD, static_cast<uint8_t>('J' + i), static_cast<uint8_t>(0xD1 + i)});
        rows.push_back({tkBCD, static_cast<uint8_t>('a' + i), static_cast<uint8_t>(0x81 + i)});
        rows.push_back({tkBCD, static_cast<uint8_t>('j' + i), static_cast<uint8_t>(0x91 + i)});
    }
    for (int i = 0; i < 8; ++i) {
        rows.push_back({tkBCD, static_cast<uint8_t>('S' + i), static_cast<uint8_t>(0xE2 + i)});
        rows.push_back({tkBCD, static_cast<uint8_t>('s' + i), static_cast<uint8_t>(0xA2 + i)});
    }
    // Code page 866 for the OEM kinds.
    rows.push_back({tkDos8, 0xC0, 0x80});
    rows.push_back({tkDos8, 0xE0, 0xA0});
    rows.push_back({tkASCII, 0xFF, 0xEF});
    for (const Row& r : rows) {
        uint8_t out = 0;
        TranslateFromAnsi(r.kind, &r.ansi, &out, 1);
        EXPECT_EQ(out, r.translated) << "kind " << int{r.kind} << " byte " << int{r.ansi};
        TranslateToAnsi(r.kind, &r.translated, &out, 1);
        EXPECT_EQ(out, r.ansi) << "back, kind " << int{r.kind} << " byte " << int{r.translated};
    }
}

TEST(Translation, OemKindsAgreeAndFollowTheCodePage)
{
    const Block all = AllBytes();
    EXPECT_EQ(From(tkDos8, all), From(tkASCII, all));
    EXPECT_EQ(To(tkDos8, all), To(tkASCII, all));
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(From(tkDos8, all)[static_cast<std::size_t>(i)], AnsiToOem(static_cast<uint8_t>(i)));
        EXPECT_EQ(To(tkDos8, all)[static_cast<std::size_t>(i)], OemToAnsi(static_cast<uint8_t>(i)));
    }
}

TEST(Translation, KindBitsCountAndPlaceOfConversion)
{
    const Block all = AllBytes();
    Block untouched;
    untouched.fill(0x5A);
    for (uint8_t kind : {6, 7, 0x7F}) {
        Block out = untouched;
        TranslateFromAnsi(kind, all.data(), out.data(), 256);
        EXPECT_EQ(out, untouched) << int{kind};
        TranslateToAnsi(kind, all.data(), out.data(), 256);
        EXPECT_EQ(out, untouched) << int{kind};
    }
    EXPECT_EQ(From(0x80 | tkBCD, all), From(tkBCD, all));
    EXPECT_EQ(To(0x80 | tkDos8, all), To(tkDos8, all));

    for (uint8_t kind : {tkAsIs, tkDos8, tkMac, tkBCD}) {
        Block inPlace = all;
        TranslateFromAnsi(kind, inPlace.data(), inPlace.data(), 256);
        EXPECT_EQ(inPlace, From(kind, all)) << int{kind};
    }
    Block out = untouched;
    TranslateFromAnsi(tkBCD, all.data(), out.data(), 0);
    EXPECT_EQ(out, untouched);
}

TEST(Translation, CustomKindUsesTheSharedPair)
{
    uint8_t* from = CustomFromAnsiTable();
    uint8_t* to = CustomToAnsiTable();
    from['A'] = 'B';
    to['B'] = 'A';
    const uint8_t a = 'A';
    const uint8_t b = 'B';
    uint8_t out = 0;
    TranslateFromAnsi(tkCustom, &a, &out, 1);
    EXPECT_EQ(out, 'B');
    TranslateToAnsi(tkCustom, &b, &out, 1);
    EXPECT_EQ(out, 'A');
    from['A'] = 'A';
    to['B'] = 'B';
}

TEST(CodePage, ControlCharactersAreCleanedByOneRule)
{
    // C0, 7Fh and 98h (the one byte that decodes into the C1 range) are control
    // characters; every other byte is a character of the code page.
    int controls = 0;
    for (int b = 0; b < 256; ++b)
        controls += IsControlByte(static_cast<uint8_t>(b)) ? 1 : 0;
    EXPECT_EQ(controls, 32 + 1 + 1);
    EXPECT_TRUE(IsControlByte(0x98));
    EXPECT_FALSE(IsControlByte(0x97));
    EXPECT_FALSE(IsControlByte(' '));

    const std::string text("a\x00\x1F\x7F\x98\xC0\x85", 7);
    EXPECT_EQ(Cp1251ToCleanUtf8(text, ControlShown::Underscore), "a____\xD0\x90\xE2\x80\xA6");
    EXPECT_EQ(Cp1251ToCleanUtf8(text, ControlShown::HexEscape), "a\\x00\\x1F\\x7F\\x98\xD0\x90\xE2\x80\xA6");
}

}  // namespace
}  // namespace kestrix
