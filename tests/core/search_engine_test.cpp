#include "code_page.h"
#include "custom_hex_buffer.h"
#include "exceptions.h"
#include "hex_text.h"
#include "image_loading.h"
#include "naive_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using test_support::LoadImage;

std::vector<uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

std::string Hex(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        out += HexDigit(c >> 4);
        out += HexDigit(c);
    }
    return out;
}

// NaiveFind of the prepared pattern, each image byte mapped through table.
int32_t ReferenceFind(const std::vector<uint8_t>& data, const std::array<uint8_t, 256>& table,
                      const std::string& pattern, int32_t start, int32_t last)
{
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(pattern.data()), pattern.size());
    return test_support::NaiveFind(data, bytes, start, last, &table);
}

// A byte found in neither bytes nor pattern: padding made of it can take part
// in no match, so padding a case moves its answer by the padding in front only.
uint8_t UnusedByte(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& pattern)
{
    std::array<bool, 256> used{};
    for (const uint8_t b : bytes)
        used[b] = true;
    for (const uint8_t b : pattern)
        used[b] = true;
    return static_cast<uint8_t>(std::find(used.begin(), used.end(), false) - used.begin());
}

// bytes with before padding bytes in front and after behind them.
std::vector<uint8_t> Padded(const std::vector<uint8_t>& bytes, uint8_t pad, int32_t before, int32_t after)
{
    std::vector<uint8_t> out(static_cast<std::size_t>(before), pad);
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.insert(out.end(), static_cast<std::size_t>(after), pad);
    return out;
}

// Padding before and after each search case, as byte-search libraries test
// the edges of their blocks: 0 to 34 bytes on each side.
constexpr int32_t kMaxPadding = 34;

TEST(HexTextToBytes, ConvertsDigitPairsAndSkipsEverythingElse)
{
    struct Case {
        std::string text;
        bool swap;
        std::string bytes;
    };
    const Case cases[] = {
        {"000001FF000000", false, std::string("\x00\x00\x01\xFF\x00\x00\x00", 7)},
        {"4749463839", false, "GIF89"},
        {"FFFFFFFFFFFFFFFFFFFFFFFFFF", false, std::string(13, '\xFF')},
        {"4 7 4 9", false, "GI"},
        {"47 49", false, "GI"},
        {"abc", false, "\xAB"},
        {"0x1F", false, "\x01"},
        {"", false, ""},
        {"xyz, GHI", false, ""},
        {std::string("4\x00"
                     "7\xC0\n9",
                     6) +
             "a",
         false, "\x47\x9A"},
        {"12AB", true, "\x21\xBA"},
        {"3e", true, "\xE3"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out(c.text.size() / 2 + 1, 0xEE);
        int32_t count = -1;
        uint8_t* returned =
            HexTextToBytes(c.text.data(), out.data(), static_cast<int32_t>(c.text.size()), c.swap, count);
        EXPECT_EQ(returned, out.data());
        ASSERT_EQ(count, static_cast<int32_t>(c.bytes.size())) << c.text;
        EXPECT_EQ(std::string(out.begin(), out.begin() + count), c.bytes) << c.text;
        EXPECT_EQ(out[static_cast<std::size_t>(count)], 0xEE) << "wrote past the count for " << c.text;
    }
}

TEST(PrepareFindData, EmptyDataLeaveTablesAsTheyWere)
{
    THexBuffer buffer;
    buffer.SetTranslation(tkDos8);
    ByteString prepared = "stale";
    buffer.PrepareFindData("", true, true, prepared);
    EXPECT_TRUE(prepared.empty());
    EXPECT_EQ(buffer.LowerTable()[0xC0], 0xC0) << "tables must not be rebuilt for empty data";
    buffer.PrepareFindData("x", false, false, prepared);
    EXPECT_NE(buffer.LowerTable()[0xC0], 0xC0);
}

TEST(PrepareFindData, IgnoreCaseLowersRawBytesAndTextFlagsGateConversions)
{
    THexBuffer buffer;
    ByteString prepared;
    buffer.PrepareFindData("GIF\xC0", true, false, prepared);
    EXPECT_EQ(prepared, "gif\xE0");

    buffer.SetTranslation(tkDos8);
    buffer.PrepareFindData("AB\xC0", false, false, prepared);
    EXPECT_EQ(prepared, "AB\xC0") << "raw bytes are not translated";
    buffer.PrepareFindData("AB\xC0", false, true, prepared);
    EXPECT_EQ(prepared, "AB\x80") << "text goes into code page 866";

    buffer.SetUnicodeChars(true);
    buffer.PrepareFindData("AB", false, false, prepared);
    EXPECT_EQ(prepared, "AB");
    buffer.PrepareFindData("AB\xC0", false, true, prepared);
    EXPECT_EQ(prepared, std::string("A\x00"
                                    "B\x00\x10\x04",
                                    6));
    buffer.SetUnicodeBigEndian(true);
    buffer.PrepareFindData("AB\xC0", false, true, prepared);
    EXPECT_EQ(prepared, std::string("\x00"
                                    "A\x00"
                                    "B\x04\x10",
                                    6));
}

TEST(PrepareFindData, LowerTableFollowsTheTranslation)
{
    THexBuffer buffer;
    ByteString prepared;
    buffer.PrepareFindData("x", false, false, prepared);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(buffer.ExactTable()[static_cast<std::size_t>(i)], i);
        EXPECT_EQ(buffer.LowerTable()[static_cast<std::size_t>(i)], AnsiLower(static_cast<uint8_t>(i)));
    }
    buffer.SetTranslation(tkDos8);
    buffer.PrepareFindData("x", false, false, prepared);
    EXPECT_EQ(buffer.LowerTable()[0x80], 0xA0) << "866 capital A lowers to 866 small a";
    EXPECT_EQ(buffer.LowerTable()['Q'], 'q');
    buffer.SetTranslation(tkBCD);
    buffer.PrepareFindData("x", false, false, prepared);
    EXPECT_EQ(buffer.LowerTable()[0xC1], 0x81) << "EBCDIC A lowers to EBCDIC a";
}

TEST(FindBytes, BoundsOverlapAndRestart)
{
    struct Case {
        std::vector<uint8_t> data;
        std::vector<uint8_t> pattern;
        int32_t start, last, expected;
    };
    const std::vector<uint8_t> tail = Bytes({1, 2, 3, 4, 5, 6});
    const std::vector<uint8_t> entrySignature = Bytes({0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00});
    const std::vector<uint8_t> overlapping =
        Bytes({0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00});
    const Case cases[] = {
        {tail, Bytes({5, 6}), 0, 1000, 4},  // last far beyond the data: ends on the final byte
        {tail, Bytes({5, 6}), 0, 5, 4},
        {tail, Bytes({5, 6}), 0, 4, -1},  // would end one byte after last
        {tail, Bytes({1}), -5, 3, 0},     // negative start counts as 0
        {tail, Bytes({1, 2}), 1, 5, -1},
        {tail, Bytes({3}), 4, 3, -1},  // start beyond last
        {tail, {}, 0, 5, -1},
        {{}, Bytes({1}), 0, 10, -1},
        {Bytes({0xAA, 0xAA, 0xAA}), Bytes({0xAA, 0xAA}), 0, 2, 0},
        {Bytes({0xAA, 0xAA, 0xAA}), Bytes({0xAA, 0xAA}), 1, 2, 1},
        {Bytes({0xAA, 0xAA, 0xAA}), Bytes({0xAA, 0xAA}), 2, 2, -1},
        {Bytes({1, 2, 1, 2, 3}), Bytes({1, 2, 3}), 0, 4, 2},
        {Bytes({0, 0, 0, 1, 0xFF}), Bytes({0, 0, 1, 0xFF}), 0, 4, 1},
        // Two file-entry signatures sharing three bytes: hits at 0 and 5.
        {overlapping, entrySignature, 0, 11, 0},
        {overlapping, entrySignature, 1, 11, 5},
        {overlapping, entrySignature, 1, 10, -1},
        {overlapping, entrySignature, 6, 11, -1},
    };
    THexBuffer buffer;
    for (const Case& c : cases) {
        const uint8_t pad = UnusedByte(c.data, c.pattern);
        for (int32_t before = 0; before <= kMaxPadding; ++before) {
            for (int32_t after = 0; after <= kMaxPadding; ++after) {
                LoadImage(buffer, Padded(c.data, pad, before, after));
                ASSERT_EQ(buffer.FindBytes(c.pattern.data(), static_cast<int32_t>(c.pattern.size()), c.start + before,
                                           c.last + before, false),
                          c.expected < 0 ? -1 : c.expected + before)
                    << "start " << c.start << " last " << c.last << " pattern length " << c.pattern.size()
                    << " padding " << before << " and " << after;
            }
        }
    }
}

// Flash-like noise over a small alphabet so that partial matches, overlaps
// and runs of 00h and FFh are everywhere.
std::vector<uint8_t> NoisyImage(std::mt19937& random, std::size_t size)
{
    static constexpr uint8_t kAlphabet[] = {0x00, 0x00, 0xFF, 0xFF, 0x01, 0x3B, 0x47, 0x67, 0xC0, 0xE0};
    std::vector<uint8_t> data;
    while (data.size() < size) {
        const int kind = static_cast<int>(random() % 8);
        const std::size_t run = 1 + random() % 20;
        if (kind == 0)
            data.insert(data.end(), run, 0x00);
        else if (kind == 1)
            data.insert(data.end(), run, 0xFF);
        else if (kind == 2)
            data.insert(data.end(), run, static_cast<uint8_t>(random()));
        else
            for (std::size_t i = 0; i < run; ++i)
                data.push_back(kAlphabet[random() % sizeof kAlphabet]);
    }
    data.resize(size);
    return data;
}

std::string RandomPattern(std::mt19937& random, const std::vector<uint8_t>& data)
{
    static const std::string kProgramPatterns[] = {
        std::string("\x00\x00\x01\xFF\x00\x00\x00", 7), "GIF89", std::string(13, '\xFF'), std::string("\x00\x3B", 2),
        std::string("\x00\x00\x00\x00\x00\x00\x00\x3E\x00\x00\x00\x28\x00", 13)};
    const std::size_t length = 1 + random() % 16;
    switch (random() % 5) {
    case 0: return kProgramPatterns[random() % 5];
    case 1: return std::string(length, random() % 2 ? '\x00' : '\xFF');
    case 2: {
        std::string p;
        for (std::size_t i = 0; i < length; ++i)
            p += random() % 2 ? '\x00' : '\xFF';
        return p;
    }
    default: {
        if (data.size() < length)
            return std::string(1, '\x01');
        const std::size_t at = random() % (data.size() - length + 1);
        std::string p(data.begin() + static_cast<std::ptrdiff_t>(at),
                      data.begin() + static_cast<std::ptrdiff_t>(at + length));
        if (random() % 3 == 0)
            p[random() % p.size()] ^= static_cast<char>(1 + random() % 255);
        return p;
    }
    }
}

TEST(FindBytes, AgreesWithTheByteByByteScanOnRandomImages)
{
    std::mt19937 random(20240611);
    const std::size_t sizes[] = {0, 1, 2, 7, 13, 31, 64, 65, 127, 200, 1000, 5000};
    const TTranslationKind kinds[] = {tkAsIs, tkDos8, tkBCD};
    int found = 0;
    int missed = 0;
    for (int round = 0; round < 3; ++round) {
        for (std::size_t size : sizes) {
            THexBuffer buffer;
            const std::vector<uint8_t> data = NoisyImage(random, size);
            LoadImage(buffer, data);
            for (int k = 0; k < 150; ++k) {
                const bool ignoreCase = k % 5 == 0;
                buffer.SetTranslation(kinds[k % 3]);
                ByteString prepared;
                buffer.PrepareFindData(RandomPattern(random, data), ignoreCase, false, prepared);
                const auto span = static_cast<int32_t>(size) + 40;
                int32_t start = static_cast<int32_t>(random() % static_cast<uint32_t>(span)) - 20;
                int32_t last = static_cast<int32_t>(random() % static_cast<uint32_t>(span)) - 20;
                if (k % 4 == 0) {
                    start = static_cast<int32_t>(random() % 3);
                    last = static_cast<int32_t>(size) + 5;
                }
                const auto& table = ignoreCase ? buffer.LowerTable() : buffer.ExactTable();
                const int32_t expected = ReferenceFind(data, table, prepared, start, last);
                const auto* pattern = reinterpret_cast<const uint8_t*>(prepared.data());
                const auto length = static_cast<int32_t>(prepared.size());
                ASSERT_EQ(buffer.FindBytes(pattern, length, start, last, ignoreCase), expected)
                    << "size " << size << " pattern " << Hex(prepared) << " start " << start << " last " << last
                    << " ignore case " << ignoreCase;
                buffer.SetFindProgress(true);
                buffer.OnProgress = [](TCustomHexBuffer&, TProgressKind, const std::string&, uint8_t, bool&) {};
                ASSERT_EQ(buffer.FindBytes(pattern, length, start, last, ignoreCase), expected)
                    << "reporting scan, pattern " << Hex(prepared);
                buffer.SetFindProgress(false);
                buffer.OnProgress = nullptr;
                ++(expected >= 0 ? found : missed);
            }
        }
    }
    // Both answers are common enough for the comparison to mean something.
    EXPECT_GT(found, 500);
    EXPECT_GT(missed, 500);
}

TEST(FindBytes, LongRangesWithSparseHitsAgreeWithTheByteByByteScan)
{
    // Long zero and FFh runs with hits and near misses placed across 64-byte
    // block edges, where a block-wise scanner changes from one block to the next.
    std::mt19937 random(7);
    std::vector<uint8_t> data(70000, 0x00);
    for (std::size_t i = 20000; i < 45000; ++i)
        data[i] = 0xFF;
    const std::vector<std::string> patterns = {std::string("\x00\x00\x01\xFF\x00\x00\x00", 7), "GIF89",
                                               std::string(13, '\xFF'), std::string("\x00\x3B", 2),
                                               std::string("\x00\x00\x00\x00\x00\x00\x00\x3E\x00\x00\x00\x28\x00", 13)};
    for (const std::string& p : patterns) {
        for (int k = 0; k < 40; ++k) {
            std::size_t at = random() % (data.size() - p.size());
            std::string planted = p;
            if (k % 2 == 1)
                planted[random() % planted.size()] ^= 0x10;
            std::copy(planted.begin(), planted.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }
    for (std::size_t i = 50000; i < 50012; ++i)
        data[i] = 0xFF;  // twelve FFh in zeros: one short of the erased run
    THexBuffer buffer;
    LoadImage(buffer, data);
    ByteString prepared;
    for (const std::string& p : patterns) {
        buffer.PrepareFindData(p, false, false, prepared);
        const auto* pattern = reinterpret_cast<const uint8_t*>(prepared.data());
        const auto length = static_cast<int32_t>(prepared.size());
        for (int32_t start = 0; start < static_cast<int32_t>(data.size());) {
            const int32_t last = start + static_cast<int32_t>(random() % 30000);
            const int32_t expected = ReferenceFind(data, buffer.ExactTable(), prepared, start, last);
            ASSERT_EQ(buffer.FindBytes(pattern, length, start, last, false), expected)
                << Hex(prepared) << " from " << start << " to " << last;
            start = expected >= 0 ? expected + 1 : start + 997;
        }
    }
}

TEST(FindBytes, IgnoreCaseMatchesAnyCaseThroughTheLowerTable)
{
    THexBuffer buffer;
    LoadImage(buffer, std::vector<uint8_t>{'x', 'g', 'I', 'f', 'G', 'I', 'F', 0xC0, 0xE0});
    ByteString prepared;
    buffer.PrepareFindData("GIF", true, false, prepared);
    const auto* pattern = reinterpret_cast<const uint8_t*>(prepared.data());
    EXPECT_EQ(buffer.FindBytes(pattern, 3, 0, 100, true), 1);
    EXPECT_EQ(buffer.FindBytes(pattern, 3, 2, 100, true), 4);
    buffer.PrepareFindData("GIF", false, false, prepared);
    EXPECT_EQ(buffer.FindBytes(reinterpret_cast<const uint8_t*>(prepared.data()), 3, 0, 100, false), 4);
    buffer.PrepareFindData("\xC0\xC0", true, false, prepared);
    EXPECT_EQ(buffer.FindBytes(reinterpret_cast<const uint8_t*>(prepared.data()), 2, 0, 100, true), 7);
}

struct Report {
    TProgressKind kind;
    std::string name;
    int percent;
};

TEST(FindBytes, ReportsEveryPassOfSmallBuffersAndEveryStepOfLargeOnes)
{
    THexBuffer buffer;
    LoadImage(buffer, std::vector<uint8_t>(10, 0x00));
    buffer.SetFindProgress(true);
    std::vector<Report> reports;
    buffer.OnProgress = [&](TCustomHexBuffer& sender, TProgressKind kind, const std::string& name, uint8_t percent,
                            bool&) {
        EXPECT_EQ(&sender, &buffer);
        reports.push_back({kind, name, percent});
    };
    const uint8_t one = 0x01;
    EXPECT_EQ(buffer.FindBytes(&one, 1, 0, 9, false), -1);
    // Ten passes over the bytes and the one that finds p beyond last.
    ASSERT_EQ(reports.size(), 11u);
    for (std::size_t k = 0; k < reports.size(); ++k) {
        EXPECT_EQ(reports[k].kind, pkFind);
        EXPECT_EQ(reports[k].name, buffer.FileName());
        EXPECT_EQ(reports[k].percent, static_cast<int>(10 * k));
    }

    // 1250 bytes: a step of 2 passes; a mismatch after a partial match costs
    // a pass that does not move p forward.
    std::vector<uint8_t> data(1250, 0x00);
    data[1000] = 0x01;
    LoadImage(buffer, data);
    reports.clear();
    const uint8_t pair[] = {0x00, 0x01};
    EXPECT_EQ(buffer.FindBytes(pair, 2, 0, 1249, false), 999);
    // Passes: a match and a mismatch for each candidate 0 to 998, then 00 01 at 999.
    EXPECT_EQ(reports.size(), (2u * 999u + 2u) / 2u);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().percent, 80);  // p = 1000 of 1250
}

TEST(FindBytes, CancelFromTheProgressHandlerEndsTheSearch)
{
    THexBuffer buffer;
    LoadImage(buffer, std::vector<uint8_t>(100, 0x00));
    buffer.SetFindProgress(true);
    int calls = 0;
    buffer.OnProgress = [&](TCustomHexBuffer&, TProgressKind, const std::string&, uint8_t, bool& cancel) {
        cancel = ++calls == 3;
    };
    const uint8_t one = 0x01;
    try {
        buffer.FindBytes(&one, 1, 0, 99, false);
        FAIL() << "expected EHexBuffer";
    } catch (const EHexBuffer& e) {
        EXPECT_STREQ(e.what(), "Operation Cancelled");
    }
    EXPECT_EQ(calls, 3);

    calls = 0;
    buffer.SetFindProgress(false);
    EXPECT_EQ(buffer.FindBytes(&one, 1, 0, 99, false), -1);
    EXPECT_EQ(calls, 0) << "no reports while FindProgress is off";
}

}  // namespace
}  // namespace kestrix
