#pragma once

#include "picture_fault.h"

#include <cstdint>
#include <span>

namespace kestrix {

// What a walk of a bitmap file's headers and pixel data found.
struct BmpLayout {
    PictureFault Fault = PictureFault::None;
    int32_t Width = 0;
    // Negative for a top-down bitmap.
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    uint32_t Compression = 0;
    // RLE8 or RLE4 pixel data.
    bool Rle = false;
};

// Walks a bitmap file ("BM"; all numbers little-endian): the file header, the
// info header (12 bytes for OS/2 1.x, else at least 16) and the pixel data at
// the pixel offset. Uncompressed and bit-field pixel data must hold every row
// at its 4-byte-padded stride; RLE8 and RLE4 data are walked to their
// end-of-bitmap code.
// Fault: NotRecognised without "BM"; CutShort when the headers, the rows or the
// RLE stream (before its end-of-bitmap) run past the data; Damaged for an info
// header of 13 to 15 bytes, a width below 1, a height of 0, no bits per pixel,
// a compression other than none, RLE8 with 8 bits, RLE4 with 4 bits, bit
// fields or alpha bit fields, a top-down RLE bitmap, or an RLE run or move
// that leaves its row or the bitmap; TooLarge beyond kMaxPicturePixels.
BmpLayout ReadBmpLayout(std::span<const uint8_t> bytes);

}  // namespace kestrix
