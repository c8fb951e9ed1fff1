#pragma once

#include <cstdint>

namespace kestrix {

// How the searches that walk the whole image pace themselves.

// Work (bytes scanned or walked) between two chances for the front end to run.
inline constexpr int64_t kSearchYieldInterval = int64_t{4} << 20;
// Candidates are looked for in slices of this many bytes.
inline constexpr int64_t kSearchSliceSize = int64_t{1} << 20;
// Walking beyond the accepted parts and walking candidates inside truncated
// items may cost this much in all (bytes per image byte, plus a fixed part);
// only hostile images reach it. A walk's own accepted parts never count.
constexpr int64_t ExtraWalkBudget(int64_t imageSize) noexcept
{
    return imageSize + (int64_t{64} << 20);
}

}  // namespace kestrix
