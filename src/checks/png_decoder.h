#pragma once

#include "decode_limits.h"
#include "picture_fault.h"

#include <span>

namespace kestrix {

// Decodes a PNG with libpng, strictly: an error refuses it (a bad CRC in a
// critical chunk, image data that stop short, an invalid filter); warnings are
// not errors and print nothing. Every colour type and depth is converted to
// BGRA at 8 bits a channel, with the transparency the file gives. out may be null
// for a verdict alone; otherwise it receives the pixels when the result is None.
// Faults: NotRecognised without the signature; DecoderFailed; TooLarge beyond
// kMaxPicturePixels; TooCostly when width x height (twice that for an interlaced
// picture) passes limits.MaxWork, decided from the header before any pixel;
// Cancelled. Safe to call from several threads at once.
PictureFault DecodePng(std::span<const uint8_t> bytes, const DecodeLimits& limits, Raster* out);

}  // namespace kestrix
