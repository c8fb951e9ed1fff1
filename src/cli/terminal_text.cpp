#include "terminal_text.h"

#include <cstdint>

namespace kestrix {
namespace {

// Length of the valid UTF-8 sequence at the start of bytes (its code point in
// codePoint), or 0 when it is not one: overlong forms, surrogates and values past
// U+10FFFF are refused.
std::size_t Utf8SequenceAt(std::string_view bytes, char32_t& codePoint)
{
    const auto lead = static_cast<uint8_t>(bytes[0]);
    std::size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<uint8_t>(bytes[k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

void AppendEscaped(std::string& out, std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        out += "\\x";
        out += kDigits[byte >> 4];
        out += kDigits[byte & 15];
    }
}

}  // namespace

std::string TerminalText(std::string_view bytes, bool keepLineBreaks)
{
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t codePoint = 0;
        const std::size_t length = Utf8SequenceAt(bytes, codePoint);
        const bool control =
            (codePoint < 0x20 && !(keepLineBreaks && codePoint == U'\n')) || (codePoint >= 0x7F && codePoint <= 0x9F);
        if (length == 0 || control)
            AppendEscaped(out, bytes.substr(0, length == 0 ? 1 : length));
        else
            out.append(bytes.substr(0, length));
        bytes.remove_prefix(length == 0 ? 1 : length);
    }
    return out;
}

std::string ShownText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t codePoint = 0;
        const std::size_t length = Utf8SequenceAt(bytes, codePoint);
        if (length == 0)
            out += "\xEF\xBF\xBD";
        else
            out.append(bytes.substr(0, length));
        bytes.remove_prefix(length == 0 ? 1 : length);
    }
    return out;
}

}  // namespace kestrix
