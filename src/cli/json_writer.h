#pragma once

#include <cstdint>
#include <optional>
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
    // The text built so far, handed over; building goes on after it.
    std::string TakeText() noexcept { return std::exchange(m_text, {}); }

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
