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

// What the CRC in a SMAF file's last 2 bytes says of the bytes before it.
//   Agrees:    it is the CRC-16 of the file (polynomial 1021h, register
//              starting at FFFFh, bits from the highest, the register's
//              complement stored big-endian) from "MMMD" up to the CRC;
//   Disagrees: it is another value: a byte of the file changed;
//   None:      the file carries none (0000h) or is too short for one.
enum class SmafCrc : uint8_t { Agrees, Disagrees, None };

// The CRC verdict of a whole SMAF file (bytes from "MMMD" to the end its size
// gives). Linear.
SmafCrc CheckSmafCrc(std::span<const uint8_t> bytes) noexcept;

// The CRC-16 a SMAF file of these bytes (from "MMMD" up to the CRC) carries.
uint16_t SmafCrcOf(std::span<const uint8_t> bytes) noexcept;

}  // namespace kestrix
