#pragma once

#include "walk_result.h"

namespace kestrix {

// Walks a SMAF file from bytes[0] (all numbers big-endian): "MMMD" and its size,
// which decides the end (8 + size); inside it a "CNTI" chunk first, then chunks
// of a four-byte type (three upper-case letters or digits and any fourth byte:
// "OPDA", "MTR" and "ATR" with their track numbers) and a size, up to the last
// 2 bytes, the file's CRC. The item is Whole at the end the size gives when its
// chunks fill it; Truncated, End after the last whole chunk, when a chunk runs
// past the bytes or the size, or a chunk type is erased flash or garbage. A size
// too small for CNTI, or no CNTI first, is no item.
// Tracks counts the MTR and ATR chunks walked; DurationMs, SampleRate and
// Channels stay 0. Reads only inside bytes; linear.
WalkResult WalkSmaf(std::span<const uint8_t> bytes) noexcept;

}  // namespace kestrix
