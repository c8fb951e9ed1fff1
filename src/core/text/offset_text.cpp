#include "offset_text.h"

#include "hex_text.h"

namespace kestrix {

ParsedOffset ParseOffsetText(std::string_view text, int64_t size)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return {-1, OffsetTextError::Empty};

    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H')) {
        base = 16;
        text.remove_suffix(1);
    }
    // Digits past this bound would overflow; the value is out of range anyway.
    constexpr int64_t kLimit = INT64_MAX / 16;
    int64_t value = 0;
    bool tooLarge = false;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || digit >= base)
            return {-1, OffsetTextError::NotANumber};
        if (value > kLimit)
            tooLarge = true;
        else
            value = value * base + digit;
    }
    if (tooLarge || value >= size)
        return {-1, OffsetTextError::OutOfRange};
    return {value, OffsetTextError::None};
}

}  // namespace kestrix
