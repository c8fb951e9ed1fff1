#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

namespace kestrix::test_support {

// The plain byte-by-byte search the real ones are checked against: the lowest
// offset s from max(start, 0) whose pattern.size() bytes, each mapped through
// table (unchanged when table is null), equal pattern and end at or before
// last (clamped to the last byte of data); -1 when there is none or pattern is
// empty.
inline int32_t NaiveFind(std::span<const uint8_t> data, std::span<const uint8_t> pattern, int32_t start, int32_t last,
                         const std::array<uint8_t, 256>* table = nullptr)
{
    const int64_t end = std::min<int64_t>(last, static_cast<int64_t>(data.size()) - 1);
    const auto length = static_cast<int64_t>(pattern.size());
    for (int64_t s = std::max(start, 0); length > 0 && s + length - 1 <= end; ++s) {
        int64_t i = 0;
        for (; i < length; ++i) {
            const uint8_t b = data[static_cast<std::size_t>(s + i)];
            if ((table != nullptr ? (*table)[b] : b) != pattern[static_cast<std::size_t>(i)])
                break;
        }
        if (i == length)
            return static_cast<int32_t>(s);
    }
    return -1;
}

}  // namespace kestrix::test_support
