#pragma once

#include "decode_limits.h"
#include "picture_fault.h"

#include <cstdint>
#include <span>

namespace kestrix {

// A progressive JPEG needs at most a few dozen scans; more only repeat work.
inline constexpr int kMaxJpegScans = 100;

// Decodes a JPEG (FF D8 FF ...) with libjpeg, strictly: any warning of corrupt
// or missing data refuses it, as does an error. Gray, RGB/YCbCr and (Adobe,
// inverted) CMYK/YCCK pictures are converted to BGRA, opaque. out may be null
// for a verdict alone; otherwise it receives the pixels when the result is None.
// Faults: NotRecognised without the signature; DecoderFailed for an error or a
// warning; Damaged for more than kMaxJpegScans scans; TooLarge beyond
// kMaxPicturePixels; TooCostly when the work would pass limits.MaxWork (decided
// before the pixels, and again at each scan); Cancelled. Prints nothing. Safe to
// call from several threads at once.
PictureFault DecodeJpeg(std::span<const uint8_t> bytes, const DecodeLimits& limits, Raster* out);

}  // namespace kestrix
