#pragma once

#include <cstdint>
#include <span>

namespace kestrix {

// Runs of FFh this long are erased flash in text: one FFh is the letter "я" of
// Windows-1251, and Russian text holds two in a row at most.
inline constexpr int64_t kErasedTextRun = 8;

// True when bytes[at] is FFh that starts erased flash rather than text: a run
// of kErasedTextRun bytes FFh, or a run of at least 4 that reaches the end of
// the bytes. at must be inside bytes; reads at most kErasedTextRun bytes.
inline bool ErasedTextAt(std::span<const uint8_t> bytes, int64_t at) noexcept
{
    const auto size = static_cast<int64_t>(bytes.size());
    int64_t run = 0;
    while (run < kErasedTextRun && at + run < size && bytes[static_cast<std::size_t>(at + run)] == 0xFF)
        ++run;
    return run == kErasedTextRun || (run >= 4 && at + run == size);
}

}  // namespace kestrix
