#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix {

// Windows-1251, the code page of the image's text and of the user interface.
// Tables are derived once from the C library's iconv converters; a byte the code
// page leaves unassigned (98h) maps to the code point of the same value.

// Unicode code point of a Windows-1251 byte.
char32_t Cp1251ToUnicode(uint8_t byte) noexcept;
// One character per byte: 00h stays U+0000.
std::string Cp1251ToUtf8(std::string_view bytes);
std::u16string Cp1251ToUtf16(std::string_view bytes);
// Whether a Windows-1251 byte decodes to a control character: C0
// (U+0000..U+001F), U+007F, or C1 (U+0080..U+009F; the unassigned 98h lands there).
bool IsControlByte(uint8_t byte) noexcept;

// How Cp1251ToCleanUtf8 replaces a control character.
enum class ControlShown {
    Underscore,  // "_"
    HexEscape,   // "\xNN", NN the byte in upper-case hex
};
// Windows-1251 text as UTF-8 with every control character (IsControlByte) replaced.
std::string Cp1251ToCleanUtf8(std::string_view bytes, ControlShown shown);

// Windows-1251 byte for a code point, or -1 when the code page has none.
int Cp1251FromUnicode(char32_t codePoint) noexcept;

// UTF-8 text as Windows-1251 bytes; a character the code page lacks becomes "?".
// For the program's own fixed texts (captions, defaults) written in UTF-8 source.
std::string Utf8ToCp1251(std::string_view utf8);

// The platform's ANSI lower-casing of one Windows-1251 byte (Cyrillic included).
uint8_t AnsiLower(uint8_t byte) noexcept;
// The same lower-casing as a table indexed by byte.
const std::array<uint8_t, 256>& AnsiLowerTable() noexcept;

// The OEM code page (866) conversions; a character without a counterpart becomes "?".
uint8_t AnsiToOem(uint8_t byte) noexcept;
uint8_t OemToAnsi(uint8_t byte) noexcept;

}  // namespace kestrix
