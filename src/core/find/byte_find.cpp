#include "byte_find.h"

#include "code_page.h"
#include "hex_text.h"
#include "pattern_search.h"

#include <algorithm>
#include <string>

namespace kestrix {
namespace {

// Code points of UTF-8 text; none when it is not well formed.
std::optional<std::u32string> DecodeUtf8(std::string_view text)
{
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<uint8_t>(text[i]);
        int extra = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
        } else {
            return std::nullopt;
        }
        if (i + extra >= text.size() && extra > 0)
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            cp = cp << 6 | (next & 0x3F);
        }
        constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return std::nullopt;
        out += cp;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string NeedleHexText(std::span<const uint8_t> needle)
{
    std::string text;
    text.reserve(needle.size() * 2);
    for (const uint8_t b : needle) {
        text += HexDigit(b >> 4);
        text += HexDigit(b);
    }
    return text;
}

// FindHexPattern starts a one-byte search one byte late after a one-byte
// selection; our searches give their start exactly.
void DropOneByteSelection(TCustomHexBuffer& buffer, std::size_t needleSize)
{
    if (needleSize == 1 && buffer.SelectionLength() == 1)
        buffer.SetSelStart(buffer.CaretPosition());
}

// The last match starting in [low, high) through FindHexPattern, halving the
// range while it holds a match so that dense matches cost no more than a few
// searches of it.
int32_t LastMatchIn(TCustomHexBuffer& buffer, const std::string& pattern, int32_t length, int64_t low, int64_t high)
{
    constexpr int64_t kStepwise = 4096;
    const int64_t size = buffer.DataSize();
    auto firstIn = [&](int64_t from, int64_t to) {
        DropOneByteSelection(buffer, static_cast<std::size_t>(length));
        return FindHexPattern(buffer, pattern, static_cast<int32_t>(from),
                              static_cast<int32_t>(std::min(size, to + length - 1)));
    };
    int32_t found = firstIn(low, high);
    if (found < 0)
        return -1;
    while (high - low > kStepwise) {
        const int64_t middle = low + (high - low) / 2;
        const int32_t upper = firstIn(middle, high);
        if (upper >= 0) {
            low = middle;
            found = upper;
        } else {
            high = middle;
        }
    }
    for (int32_t next = found; next >= 0 && next < high;) {
        found = next;
        next = firstIn(next + 1, high);
    }
    return found;
}

}  // namespace

std::optional<std::vector<uint8_t>> FindNeedle(std::string_view text, FindEncoding encoding)
{
    std::vector<uint8_t> bytes;
    if (encoding == FindEncoding::Hex) {
        int high = -1;
        for (const char c : text) {
            if (c == ' ' || c == '\t')
                continue;
            const int digit = HexDigitValue(c);
            if (digit < 0)
                return std::nullopt;
            if (high < 0) {
                high = digit;
            } else {
                bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
                high = -1;
            }
        }
        if (high >= 0 || bytes.empty())
            return std::nullopt;
        return bytes;
    }
    const std::optional<std::u32string> points = DecodeUtf8(text);
    if (!points || points->empty())
        return std::nullopt;
    if (encoding == FindEncoding::Utf8)
        return std::vector<uint8_t>(text.begin(), text.end());
    for (const char32_t cp : *points) {
        if (encoding == FindEncoding::Cp1251) {
            const int b = Cp1251FromUnicode(cp);
            if (b < 0)
                return std::nullopt;
            bytes.push_back(static_cast<uint8_t>(b));
            continue;
        }
        std::u16string units;
        if (cp >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(cp);
        }
        for (const char16_t unit : units) {
            const auto low = static_cast<uint8_t>(unit & 0xFF);
            const auto high = static_cast<uint8_t>(unit >> 8);
            bytes.push_back(encoding == FindEncoding::Utf16Le ? low : high);
            bytes.push_back(encoding == FindEncoding::Utf16Le ? high : low);
        }
    }
    return bytes;
}

SlicedFindResult FindNextMatch(TCustomHexBuffer& buffer, std::span<const uint8_t> needle, int32_t from,
                               const ScanHooks& hooks, int32_t sliceSize)
{
    if (needle.empty() || from >= buffer.DataSize())
        return {};
    DropOneByteSelection(buffer, needle.size());
    return FindHexPatternSliced(buffer, NeedleHexText(needle), from, buffer.DataSize(), hooks, sliceSize);
}

SlicedFindResult FindPreviousMatch(TCustomHexBuffer& buffer, std::span<const uint8_t> needle, int32_t before,
                                   const ScanHooks& hooks, int32_t sliceSize)
{
    const auto length = static_cast<int32_t>(needle.size());
    if (length == 0 || sliceSize < 1)
        return {};
    const std::string pattern = NeedleHexText(needle);
    int64_t high = std::min<int64_t>(before, static_cast<int64_t>(buffer.DataSize()) - length + 1);
    while (high > 0) {
        const int64_t low = std::max<int64_t>(0, high - sliceSize);
        const int32_t found = LastMatchIn(buffer, pattern, length, low, high);
        if (found >= 0) {
            DropOneByteSelection(buffer, needle.size());
            FindHexPattern(buffer, pattern, found, found + length);
            return {found, false};
        }
        high = low;
        if (high > 0 && !hooks.KeepGoing())
            return {-1, true};
    }
    return {};
}

}  // namespace kestrix
