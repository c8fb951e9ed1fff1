#pragma once

#include "picture_fault.h"
#include "walk_result.h"

#include <atomic>
#include <vector>

namespace kestrix {

// Walks a GIF ("GIF87a" or "GIF89a", a screen of at least 1 x 1) from bytes[0]:
// the global colour table, then extensions and images (descriptor, local colour
// table, LZW minimum code size, data sub-blocks) up to the trailer 3Bh. The first
// block must be an image, a known extension, or an extension of another label
// whose sub-blocks end before a block introducer, or the bytes are no picture.
// Frames counts the image descriptors accepted. kErasedRunLength bytes FFh in a
// chain of data sub-blocks are erased flash: the picture was cut where they
// begin (Truncated, End there). Reads only inside bytes; the work is linear in
// the bytes walked.
WalkResult WalkGif(std::span<const uint8_t> bytes) noexcept;

// The largest LZW minimum code size: its clear code must leave room in a table
// of 12-bit codes. Both walks refuse sizes outside 1..11.
inline constexpr uint8_t kLargestMinCodeSize = 11;

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

// What a walk of a GIF's blocks and LZW data found.
struct GifLayout {
    PictureFault Fault = PictureFault::None;
    int32_t ScreenWidth = 0;
    int32_t ScreenHeight = 0;
    // Every whole image, in file order.
    std::vector<GifImageRect> Images;
};

// Walks a GIF ("GIF87a" or "GIF89a"; all numbers little-endian) from its header
// through the colour tables, extensions and images to the trailer 3B, running
// each image's LZW codes far enough to count the pixels they give (the cost is
// linear in the bytes, whatever the canvas). The picture also ends, whole, where
// the data end or a byte starts no block, as long as that falls between two
// blocks.
// Fault: NotRecognised without the signature; CutShort when the data end inside
// the header, a colour table or a block, or when an image's LZW data give fewer
// than width x height pixels before the end code or the end of its sub-blocks;
// Damaged for a screen of zero width or height (as WalkGif refuses it), a graphic
// control, application or plain text extension whose first block is not of its
// fixed size (4, 11, 12 bytes), a minimum
// code size outside 1..kLargestMinCodeSize, a code before the end code that is
// neither in the code table nor the next one to be added (also past the image's
// last pixel), an image with no colour table of its own or of the screen (no decoder
// can give it colours), or a GIF without any image; TooLarge for a screen or an
// image beyond kMaxPicturePixels; Cancelled when cancel (may be
// null) turned true during the walk. Images holds the images walked before a fault.
GifLayout ReadGifLayout(std::span<const uint8_t> bytes, const std::atomic<bool>* cancel = nullptr);

}  // namespace kestrix
