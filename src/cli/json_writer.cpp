#include "json_writer.h"

#include <algorithm>
#include <cstdio>

namespace kestrix {

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
    m_text += Quote(key);
    m_text += ": ";
    m_needComma = false;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view utf8)
{
    BeforeValue();
    m_text += Quote(utf8);
    return *this;
}

JsonWriter& JsonWriter::Number(int64_t value)
{
    BeforeValue();
    m_text += std::to_string(value);
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
    std::string out = "\"";
    for (const char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

}  // namespace kestrix
