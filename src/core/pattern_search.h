#pragma once

#include "custom_hex_buffer.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix {

// Converts pattern (hex text) and finds it in buffer: the offset of the first
// match lying entirely in [max(0, from), to - 1], or -1. On a match at s of n
// bytes the buffer's selection becomes s .. s + n - 1 (SelStart := s + n - 1,
// then SelEnd := s). A one-byte pattern after a one-byte selection starts one
// byte later. Never raises for a pattern or a range.
int32_t FindHexPattern(TCustomHexBuffer& buffer, std::string_view pattern, int32_t from, int32_t to);

// Exactly width upper-case hex digits of value (the low width digits when longer).
std::string IntToHexText(uint32_t value, int32_t width);

// The unsigned 32-bit value of hex text (digits 0-9, A-F, a-f only; longer
// text keeps its low 32 bits). Raises EConvertError with
// "Ошибка в ходе преобразования шестнадцатеричного числа %s в целое число."
std::string_view HexConversionErrorFormat();
uint32_t HexTextToInt(const std::string& text);

}  // namespace kestrix
