#include "json_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace kestrix {
namespace {

constexpr uint64_t kEveryByte = 0x0101010101010101;

// Whether a byte of word is zero.
constexpr bool AnyZero(uint64_t word) noexcept
{
    return ((word - kEveryByte) & ~word & kEveryByte * 0x80) != 0;
}

// Whether one of the eight bytes from at is a control character, a quote or
// a backslash (bytes of 80h and above are never taken for one).
bool AnyNeedsEscape(const char* at) noexcept
{
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    const bool control = ((word - kEveryByte * 0x20) & ~word & kEveryByte * 0x80) != 0;
    return control || AnyZero(word ^ (kEveryByte * '"')) || AnyZero(word ^ (kEveryByte * '\\'));
}

}  // namespace

JsonWriter& JsonWriter::BeginObject()
{
    BeforeValue();
    m_text += '{';
    m_needComma = false;
    return *this;
}

JsonWriter& JsonWriter::EndObject()
{
    m_text += '}';
    m_needComma = true;
    return *this;
}

JsonWriter& JsonWriter::BeginArray()
{
    BeforeValue();
    m_text += '[';
    m_needComma = false;
    return *this;
}

JsonWriter& JsonWriter::EndArray()
{
    m_text += ']';
    m_needComma = true;
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key)
{
    BeforeValue();
    AppendQuoted(m_text, key);
    m_text += ": ";
    m_needComma = false;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view utf8)
{
    BeforeValue();
    AppendQuoted(m_text, utf8);
    return *this;
}

JsonWriter& JsonWriter::Number(int64_t value)
{
    BeforeValue();
    char digits[24];
    const std::to_chars_result written = std::to_chars(std::begin(digits), std::end(digits), value);
    m_text.append(digits, written.ptr);
    return *this;
}

JsonWriter& JsonWriter::NumberText(std::string_view decimal)
{
    const std::string_view digits = !decimal.empty() && decimal.front() == '-' ? decimal.substr(1) : decimal;
    const bool valid = !digits.empty() &&
                       std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                       (digits.size() == 1 || digits.front() != '0');
    if (!valid)
        return Null();
    BeforeValue();
    m_text += decimal;
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value)
{
    BeforeValue();
    m_text += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null()
{
    BeforeValue();
    m_text += "null";
    return *this;
}

void JsonWriter::BeforeValue()
{
    if (m_needComma)
        m_text += ", ";
    m_needComma = true;
}

std::string JsonWriter::Quote(std::string_view utf8)
{
    std::string out;
    AppendQuoted(out, utf8);
    return out;
}

void JsonWriter::AppendQuoted(std::string& out, std::string_view utf8)
{
    out += '"';
    // Runs of characters that need no escape are appended whole.
    std::size_t plain = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        // Eight bytes at a time while none of them needs an escape.
        while (i + 8 <= utf8.size() && !AnyNeedsEscape(utf8.data() + i))
            i += 8;
        if (i == utf8.size())
            break;
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(utf8.substr(plain, i - plain));
        plain = i + 1;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        }
        }
    }
    out.append(utf8.substr(plain));
    out += '"';
}

}  // namespace kestrix
