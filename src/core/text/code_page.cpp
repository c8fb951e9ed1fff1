#include "code_page.h"

#include "hex_text.h"

#include <array>
#include <cerrno>
#include <iconv.h>
#include <locale>
#include <unordered_map>

namespace kestrix {
namespace {

// Converts one byte of fromCode to a code point; -1 when unassigned.
long DecodeByte(iconv_t converter, uint8_t byte)
{
    char in[1] = {static_cast<char>(byte)};
    uint8_t out[4] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || outLeft != 0)
        return -1;
    return static_cast<long>(out[0] | out[1] << 8 | out[2] << 16 | static_cast<uint32_t>(out[3]) << 24);
}

std::array<char32_t, 256> DecodeTable(const char* code)
{
    std::array<char32_t, 256> table{};
    iconv_t converter = iconv_open("UCS-4LE", code);
    for (int b = 0; b < 256; ++b) {
        const long cp =
            converter == reinterpret_cast<iconv_t>(-1) ? -1 : DecodeByte(converter, static_cast<uint8_t>(b));
        table[b] = cp < 0 ? static_cast<char32_t>(b) : static_cast<char32_t>(cp);
    }
    if (converter != reinterpret_cast<iconv_t>(-1))
        iconv_close(converter);
    return table;
}

struct CodePages {
    std::array<char32_t, 256> Ansi = DecodeTable("CP1251");
    std::array<char32_t, 256> Oem = DecodeTable("CP866");
    std::unordered_map<char32_t, uint8_t> AnsiReverse;
    std::unordered_map<char32_t, uint8_t> OemReverse;
    std::array<uint8_t, 256> Lower{};
    std::array<uint8_t, 256> ToOem{};
    std::array<uint8_t, 256> ToAnsi{};

    CodePages()
    {
        for (int b = 255; b >= 0; --b) {
            AnsiReverse[Ansi[b]] = static_cast<uint8_t>(b);
            OemReverse[Oem[b]] = static_cast<uint8_t>(b);
        }
        const std::ctype<wchar_t>* ctype = nullptr;
        std::locale unicode;
        try {
            unicode = std::locale("C.UTF-8");
            ctype = &std::use_facet<std::ctype<wchar_t>>(unicode);
        } catch (const std::runtime_error&) {
            ctype = &std::use_facet<std::ctype<wchar_t>>(std::locale::classic());
        }
        for (int b = 0; b < 256; ++b) {
            const auto lowered = static_cast<char32_t>(ctype->tolower(static_cast<wchar_t>(Ansi[b])));
            const auto it = AnsiReverse.find(lowered);
            Lower[b] = it == AnsiReverse.end() ? static_cast<uint8_t>(b) : it->second;
            const auto o = OemReverse.find(Ansi[b]);
            ToOem[b] = o == OemReverse.end() ? '?' : o->second;
            const auto a = AnsiReverse.find(Oem[b]);
            ToAnsi[b] = a == AnsiReverse.end() ? '?' : a->second;
        }
    }
};

const CodePages& Pages()
{
    static const CodePages kPages;
    return kPages;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

char32_t Cp1251ToUnicode(uint8_t byte) noexcept
{
    return Pages().Ansi[byte];
}

std::string Cp1251ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes)
        AppendUtf8(out, Pages().Ansi[static_cast<uint8_t>(c)]);
    return out;
}

std::u16string Cp1251ToUtf16(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (const char c : bytes)
        out += static_cast<char16_t>(Pages().Ansi[static_cast<uint8_t>(c)]);
    return out;
}

bool IsControlByte(uint8_t byte) noexcept
{
    const char32_t cp = Pages().Ansi[byte];
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

std::string Cp1251ToCleanUtf8(std::string_view bytes, ControlShown shown)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        if (!IsControlByte(byte)) {
            AppendUtf8(out, Pages().Ansi[byte]);
        } else if (shown == ControlShown::Underscore) {
            out += '_';
        } else {
            out += "\\x";
            out += HexDigit(byte >> 4);
            out += HexDigit(byte);
        }
    }
    return out;
}

int Cp1251FromUnicode(char32_t codePoint) noexcept
{
    const auto& reverse = Pages().AnsiReverse;
    const auto it = reverse.find(codePoint);
    return it == reverse.end() ? -1 : it->second;
}

std::string Utf8ToCp1251(std::string_view utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<uint8_t>(utf8[i]);
        const int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        char32_t cp = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (int k = 1; k < length && i + static_cast<std::size_t>(k) < utf8.size(); ++k)
            cp = cp << 6 | (static_cast<uint8_t>(utf8[i + static_cast<std::size_t>(k)]) & 0x3F);
        i += static_cast<std::size_t>(length);
        const int byte = Cp1251FromUnicode(cp);
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

uint8_t AnsiLower(uint8_t byte) noexcept
{
    return Pages().Lower[byte];
}
const std::array<uint8_t, 256>& AnsiLowerTable() noexcept
{
    return Pages().Lower;
}
uint8_t AnsiToOem(uint8_t byte) noexcept
{
    return Pages().ToOem[byte];
}
uint8_t OemToAnsi(uint8_t byte) noexcept
{
    return Pages().ToAnsi[byte];
}

}  // namespace kestrix
