#include "hex_text.h"

#include "exceptions.h"

namespace kestrix {

int HexDigitValue(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

uint8_t* HexTextToBytes(const char* source, uint8_t* destination, int32_t sourceLength, bool swapNibbles,
                        int32_t& count)
{
    count = 0;
    uint8_t accumulated = 0;
    bool expectHigh = true;
    for (int32_t i = 0; i < sourceLength; ++i) {
        const int value = HexDigitValue(source[i]);
        if (value < 0)
            continue;
        if (expectHigh) {
            accumulated = static_cast<uint8_t>(value << 4);
            expectHigh = false;
            continue;
        }
        accumulated = static_cast<uint8_t>(accumulated | value);
        expectHigh = true;
        destination[count++] =
            swapNibbles ? static_cast<uint8_t>((accumulated & 0x0F) << 4 | accumulated >> 4) : accumulated;
    }
    return destination;
}

std::string IntToHexText(uint32_t value, int32_t width)
{
    if (width < 1)
        return {};
    std::string text(static_cast<std::size_t>(width), '0');
    for (auto place = text.rbegin(); place != text.rend() && value != 0; ++place, value >>= 4)
        *place = HexDigit(value);
    return text;
}

std::string_view HexConversionErrorFormat()
{
    return "Ошибка в ходе преобразования шестнадцатеричного числа %s в целое число.";
}

uint32_t HexTextToInt(const std::string& text)
{
    auto fail = [&text] { throw EConvertError(FormatMessage(std::string(HexConversionErrorFormat()), {text})); };
    if (text.empty())
        fail();
    uint32_t value = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            fail();
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return value;
}

}  // namespace kestrix
