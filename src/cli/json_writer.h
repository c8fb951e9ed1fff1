#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

namespace kestrix {

// Builds one compact JSON text in order of the calls. Keys and strings are
// UTF-8; control characters are escaped as \u00XX.
class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // The key of the next value inside an object.
    JsonWriter& Key(std::string_view key);
    JsonWriter& String(std::string_view utf8);
    JsonWriter& Number(int64_t value);
    // A decimal text written as a number as it stands, or null when it is not one.
    JsonWriter& NumberText(std::string_view decimal);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    const std::string& Text() const noexcept { return m_text; }
    // Writes the text built so far to out and drops it, keeping its room for
    // what is built next.
    void WriteTo(std::ostream& out)
    {
        out << m_text;
        m_text.clear();
    }

    // text as a quoted JSON string.
    static std::string Quote(std::string_view utf8);

private:
    void BeforeValue();
    // Appends utf8 quoted to out.
    static void AppendQuoted(std::string& out, std::string_view utf8);

    std::string m_text;
    bool m_needComma = false;
};

}  // namespace kestrix
