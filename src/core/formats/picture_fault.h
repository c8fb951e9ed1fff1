#pragma once

#include <cstdint>

namespace kestrix {

// Why the strict decoder refused a picture.
enum class PictureFault : uint8_t {
    None,             // every pixel is defined
    NotRecognised,    // the bytes do not start like a picture of the asked type
    CutShort,         // the data end inside the picture, or its pixel data stop short
    Damaged,          // the structure is impossible: runs past a row, invalid codes, unknown compression
    DecoderFailed,    // the decoder refused the bytes or reported corrupt data
    UndefinedPixels,  // the decoder left pixels of a bitmap unwritten
    TooLarge,         // more pixels than kMaxPicturePixels
    Cancelled,        // the caller asked the decode to stop
    TooCostly,        // decoding would cost more than the caller's bound allows
};

// "none", "not recognised", "cut short", "damaged", "decoder failed",
// "undefined pixels", "too large", "cancelled", "too costly".
const char* PictureFaultName(PictureFault fault) noexcept;

// Largest picture, in pixels, the decoder accepts; larger ones are refused
// before anything is allocated for them.
inline constexpr int64_t kMaxPicturePixels = int64_t{4096} * 4096;

}  // namespace kestrix
