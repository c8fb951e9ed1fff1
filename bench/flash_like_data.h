#pragma once

#include "custom_hex_buffer.h"

#include <cstdint>
#include <vector>

namespace kestrix::bench {

// Flash-like content: erased (FFh) and zero-filled stretches of 1 to 64 KiB
// between stretches of random bytes, reproducible from seed. With
// maxErasedRun > 0 every run of FFh is cut after that many bytes.
inline std::vector<uint8_t> FlashLikeBytes(std::size_t size, uint32_t seed, int maxErasedRun = 0)
{
    std::vector<uint8_t> data(size);
    uint64_t state = 0x9E3779B97F4A7C15ull ^ seed;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::size_t at = 0;
    while (at < size) {
        const uint64_t r = next();
        const std::size_t length = std::min<std::size_t>(size - at, 1024 + (r >> 8) % (63 * 1024));
        switch (r % 3) {
        case 0: std::fill_n(data.begin() + static_cast<std::ptrdiff_t>(at), length, 0x00); break;
        case 1: std::fill_n(data.begin() + static_cast<std::ptrdiff_t>(at), length, 0xFF); break;
        default:
            for (std::size_t i = 0; i < length; i += 8) {
                const uint64_t word = next();
                for (std::size_t k = 0; k < 8 && i + k < length; ++k)
                    data[at + i + k] = static_cast<uint8_t>(word >> (8 * k));
            }
            break;
        }
        at += length;
    }
    if (maxErasedRun > 0) {
        int run = 0;
        for (auto& b : data) {
            run = b == 0xFF ? run + 1 : 0;
            if (run > maxErasedRun) {
                b = 0xFE;
                run = 0;
            }
        }
    }
    return data;
}

inline void LoadBytes(TCustomHexBuffer& buffer, const std::vector<uint8_t>& bytes)
{
    buffer.LoadFromBytes(bytes);
}

}  // namespace kestrix::bench
