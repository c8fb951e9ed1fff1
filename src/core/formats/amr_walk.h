#pragma once

#include "walk_result.h"

namespace kestrix {

// Walks an AMR file of the storage format from bytes[0]: "#!AMR\n" (narrow band,
// 8000 Hz) or "#!AMR-WB\n" (wide band, 16000 Hz), then frames of 20 ms, each
// sized by the frame type (bits 6..3) of its header byte, whose bits 7, 1 and 0
// must be zero. Speech, comfort-noise (SID) and no-data frames count; the types
// a format leaves for future use are no frame. There is no end marker: the item
// ends, Whole, at the first byte that starts no frame, or where
// kErasedRunLength bytes 00h begin at a frame's start (erased flash reads as
// frames of type 0), or at the end of the bytes when the last frame ends there.
// A frame cut by the end of the bytes, or a frame ending in FFh with FFh after
// it (cut by erased flash: frames end in zero padding bits), makes the walk
// Truncated, End after the last whole frame. A signature with fewer than kLeastAmrFrames frames before a
// byte that starts none is a chance hit: no item.
// DurationMs is 20 ms a frame; Channels 1. Reads only inside bytes; linear.
WalkResult WalkAmr(std::span<const uint8_t> bytes) noexcept;

// The size of the frame whose header byte is header, the header included, in
// a narrow-band or (wide) wide-band file: by the frame type (bits 6..3), 1 for
// a no-data frame; 0 when bits 7, 1 or 0 are set or the type is left for
// future use.
int32_t AmrFrameSize(bool wide, uint8_t header) noexcept;

// Frames a whole AMR file needs after its signature (60 ms): a random byte
// starts a frame about once in 13 tries, three in a row about once in 2,000.
inline constexpr int32_t kLeastAmrFrames = 3;

}  // namespace kestrix
