#pragma once

#include "picture_fault.h"
#include "walk_result.h"

#include <vector>

namespace kestrix {

// Checks a bitmap file header at bytes[0] ("BM", reserved fields zero, an info
// header of 12, 40, 52, 56, 64 (OS/2 2.x), 108 or 124 bytes, 1 plane, 1/4/8/16/24/32 bits, a
// known compression that suits the depth, width >= 1, height != 0, the pixel data
// offset past the headers and inside the picture) and finds the picture's end:
// the little-endian file-size field, or, where that is 0 or too small for the
// pixels, the pixel offset plus the 4-byte-padded row size times |height|. A file
// size far larger than the pixels need is not trusted either. RLE pixels have no
// size of their own: their file size (or else the image size field) must be one
// they can have, or the bytes are no picture. Whole when the end lies inside bytes,
// else truncated at the end of bytes. Reads only the headers.
WalkResult WalkBmp(std::span<const uint8_t> bytes) noexcept;

// A run of pixels an RLE bitmap draws: row (counted from the first one stored,
// the bottom one), from x to xEnd (exclusive).
struct BmpRun {
    int32_t Row = 0;
    int32_t X = 0;
    int32_t XEnd = 0;
};

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

// Walks a bitmap file ("BM"; all numbers little-endian) as a decoder reads it: the
// headers by the rules of WalkBmp (but for the reserved fields and the bound on the
// pixel offset, which only keep chance hits out of the search), then the pixel
// data at the pixel offset. Uncompressed and bit-field pixel data must hold every
// row at its 4-byte-padded stride; RLE8 and RLE4 data are walked to their
// end-of-bitmap code and must draw at least one pixel. The cost is linear in the
// bytes, whatever size the headers declare.
// Fault: NotRecognised without "BM"; CutShort when the headers, the palette or
// masks, the rows or the RLE stream (before its end-of-bitmap) run past the
// data; Damaged for headers WalkBmp refuses, bit-field masks that are not one run of bits or that
// overlap, alpha bit fields (compression 6, which decoders do not read),
// more colours used than the depth has (2^bits), an OS/2 palette of fewer than 2^bits colours, an
// RLE run or move that leaves its row or the bitmap, or RLE data that draw
// nothing; TooLarge beyond kMaxPicturePixels. Where runs is not null it receives
// every run the RLE codes draw, in stream order (it may then throw
// std::bad_alloc).
BmpLayout ReadBmpLayout(std::span<const uint8_t> bytes, std::vector<BmpRun>* runs = nullptr);

}  // namespace kestrix
