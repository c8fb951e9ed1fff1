#pragma once

#include <cstdint>

namespace kestrix {

// The scans refuse an image of this many bytes or fewer.
inline constexpr int32_t kMinScanSize = 1000;

}  // namespace kestrix
