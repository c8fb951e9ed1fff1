#pragma once

#include "custom_hex_buffer.h"

#include <cstdint>
#include <string_view>

namespace kestrix {

// Converts pattern (hex text) and finds it in buffer: the offset of the first
// match lying entirely in [max(0, from), to - 1], or -1. On a match at s of n
// bytes the buffer's selection becomes s .. s + n - 1 (SelStart := s + n - 1,
// then SelEnd := s). A one-byte pattern after a one-byte selection starts one
// byte later. Never raises for a pattern or a range.
int32_t FindHexPattern(TCustomHexBuffer& buffer, std::string_view pattern, int32_t from, int32_t to);

}  // namespace kestrix
