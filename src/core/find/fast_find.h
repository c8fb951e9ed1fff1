#pragma once

#include <cstdint>

namespace kestrix {

// Lowest s with start <= s <= end - length at which the length bytes of
// pattern equal data[s .. s + length - 1], or -1. Reads only data[start .. end - 1].
// Requires 0 <= start, length >= 1 and end no larger than the data.
int32_t FindExact(const uint8_t* data, int32_t start, int32_t end, const uint8_t* pattern, int32_t length) noexcept;

}  // namespace kestrix
