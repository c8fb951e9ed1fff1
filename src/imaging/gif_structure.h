#pragma once

#include "picture_fault.h"

#include <cstdint>
#include <span>
#include <vector>

namespace kestrix {

// One image of a GIF: its rectangle on the logical screen, as its image
// descriptor gives it (not clipped to the screen), and the disposal method of
// the graphic control extension before it (0 without one).
struct GifImageRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    uint8_t Disposal = 0;
    bool operator==(const GifImageRect&) const = default;
};

// What a walk of a GIF's blocks found.
struct GifLayout {
    PictureFault Fault = PictureFault::None;
    int32_t ScreenWidth = 0;
    int32_t ScreenHeight = 0;
    // Every whole image, in file order.
    std::vector<GifImageRect> Images;
    // Whether every image has colours: its own colour table or the screen's.
    bool EveryImageHasColours = true;
};

// Walks a GIF ("GIF87a" or "GIF89a"; all numbers little-endian) from its header
// through the colour tables, extensions and images to the trailer 3B. The
// picture also ends, whole, where the data end or a byte starts no block, as
// long as that falls between two blocks. Each image's LZW data are decoded far
// enough to count the pixels they give.
// Fault: NotRecognised without the signature; CutShort when the data end inside
// the header, a colour table or a block, or when an image's LZW data give fewer
// than width x height pixels before the end code or the end of its sub-blocks;
// Damaged for a minimum code size outside 1..11, a code that is neither in the
// code table nor the next one to be added before the image is whole, or a GIF
// without any image. Images holds the images walked before a fault.
GifLayout ReadGifLayout(std::span<const uint8_t> bytes);

}  // namespace kestrix
