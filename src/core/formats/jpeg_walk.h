#pragma once

#include "walk_result.h"

namespace kestrix {

// Walks a JPEG from bytes[0] (FF D8 FF): marker segments by their big-endian
// lengths (so a picture inside an APP segment is stepped over with it), a single
// frame header (SOF0..SOF15 but DHT, JPG and DAC) giving width and height, then for
// each scan the entropy-coded data, where FF 00 and FF D0..D7 belong to the data,
// up to the next marker; several scans for progressive pictures; whole at FF D9.
// No picture unless the walk reaches a sound frame header. A run of FFh where a
// marker must be is erased flash. Reads only inside bytes.
WalkResult WalkJpeg(std::span<const uint8_t> bytes) noexcept;

}  // namespace kestrix
