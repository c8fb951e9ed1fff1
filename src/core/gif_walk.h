#pragma once

#include "picture_walk.h"

namespace kestrix {

// Walks a GIF ("GIF87a" or "GIF89a", a screen of at least 1 x 1) from bytes[0]:
// the global colour table, then extensions and images (descriptor, local colour
// table, LZW minimum code size, data sub-blocks) up to the trailer 3Bh. The first
// block must be an image, a known extension, or an extension of another label
// whose sub-blocks end before a block introducer, or the bytes are no picture.
// Frames counts the image descriptors accepted. A data sub-block of 255 bytes
// that opens with a run of FFh is erased flash. Reads only inside bytes; the
// work is linear in the bytes walked.
WalkResult WalkGif(std::span<const uint8_t> bytes) noexcept;

}  // namespace kestrix
