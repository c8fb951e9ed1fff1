#pragma once

#include "item_type.h"
#include "picture_fault.h"

#include <QImage>

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace kestrix {

// The outcome of a strict decode: the frames, or the reason for refusing them.
struct DecodedPicture {
    PictureFault Fault = PictureFault::None;
    // Format_ARGB32_Premultiplied. A GIF gives one frame per image, each as it
    // is shown on the logical screen (the image placed, the frames before it
    // composed under it); the other formats give one frame.
    std::vector<QImage> Frames;

    bool Ok() const noexcept { return Fault == PictureFault::None; }
};

// Decodes a picture of the given type and refuses it unless every pixel is
// defined: the one way this program turns picture bytes into pixels.
// - GIF: the block structure and LZW data are walked first (ReadGifLayout), then
//   Qt's reader gives the frames; in each frame, the parts of the screen that no
//   image covers at that point (after the disposals of the images before it)
//   are transparent.
// - BMP: the headers and pixel data are walked first (ReadBmpLayout); pixels that
//   Qt's reader leaves unwritten refuse an uncompressed bitmap and are
//   transparent in an RLE one (where moves and early line ends skip them). The
//   52- and 56-byte info headers, which Qt cannot read, are widened to 108 bytes.
// - JPEG, PNG: DecodeJpeg and DecodePng, the decoders of the search's verdict,
//   with no bound on the work but kMaxPicturePixels.
// A GIF screen or an RLE bitmap canvas too costly to show for its bytes
// (CanvasTooCostly) is refused with TooCostly, as the search's check leaves it
// unchecked. The whole structure is checked, also for frames beyond maxFrames; only the
// first maxFrames frames (at least one) are decoded. Needs no QGuiApplication
// and no display; may be called from several threads.
DecodedPicture DecodePicture(ItemType type, std::span<const uint8_t> bytes,
                             int32_t maxFrames = std::numeric_limits<int32_t>::max());

// Gif for bytes starting with "GIF8", Bmp for "BM", else std::nullopt: the two
// kinds of picture the preview shows.
std::optional<ItemType> PreviewPictureType(std::span<const uint8_t> bytes) noexcept;

}  // namespace kestrix
