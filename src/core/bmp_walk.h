#pragma once

#include "picture_walk.h"

namespace kestrix {

// Checks a bitmap file header at bytes[0] ("BM", reserved fields zero, an info
// header of 12, 40, 52, 56, 108 or 124 bytes, 1 plane, 1/4/8/16/24/32 bits, a
// known compression that suits the depth, width >= 1, height != 0, the pixel data
// offset past the headers and inside the picture) and finds the picture's end:
// the little-endian file-size field, or, where that is 0 or too small for the
// pixels, the pixel offset plus the 4-byte-padded row size times |height|. A file
// size far larger than the pixels need is not trusted either. RLE pixels have no
// size of their own: their file size (or else the image size field) must be one
// they can have, or the bytes are no picture. Whole when the end lies inside bytes,
// else truncated at the end of bytes. Reads only the headers.
WalkResult WalkBmp(std::span<const uint8_t> bytes) noexcept;

}  // namespace kestrix
