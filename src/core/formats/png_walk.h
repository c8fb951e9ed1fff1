#pragma once

#include "walk_result.h"

namespace kestrix {

// Whether the chunks after IHDR must carry a right CRC. Trust only bounds the
// work on hostile images (a chunk of any length with a wrong CRC costs reading it).
enum class PngCrc : uint8_t { Check, Trust };

// Walks a PNG from bytes[0]: the 8-byte signature, an IHDR chunk first (13 bytes,
// its CRC right, width and height >= 1, a valid depth and colour type), then
// chunks by their big-endian lengths, each with a four-letter type and (unless
// crc is Trust) a right CRC-32, up to IEND. Reads only inside bytes.
WalkResult WalkPng(std::span<const uint8_t> bytes, PngCrc crc = PngCrc::Check) noexcept;

// The CRC-32 of PNG chunks and zip files (reflected polynomial EDB88320h) over
// bytes, continuing from crc (0 to start).
uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc = 0) noexcept;

}  // namespace kestrix
