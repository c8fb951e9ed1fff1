#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix {

// The upper-case hex digit of the low four bits of value.
constexpr char HexDigit(uint32_t value) noexcept
{
    return "0123456789ABCDEF"[value & 0x0F];
}

// The value of a hex digit (0-9, A-F, a-f), or -1 for any other character.
int HexDigitValue(char c) noexcept;

// Turns hex-digit text into bytes, two digits per byte, high digit first.
// Characters other than 0-9, a-f, A-F are skipped; an unpaired last digit is
// dropped. With swapNibbles each written byte has its halves exchanged.
// destination needs room for sourceLength / 2 bytes; count receives the number
// written. Returns destination.
uint8_t* HexTextToBytes(const char* source, uint8_t* destination, int32_t sourceLength, bool swapNibbles,
                        int32_t& count);

// Exactly width upper-case hex digits of value (the low width digits when longer).
std::string IntToHexText(uint32_t value, int32_t width);

// The unsigned 32-bit value of hex text (digits 0-9, A-F, a-f only; longer
// text keeps its low 32 bits). Raises EConvertError with
// "Ошибка в ходе преобразования шестнадцатеричного числа %s в целое число."
std::string_view HexConversionErrorFormat();
uint32_t HexTextToInt(const std::string& text);

}  // namespace kestrix
