#pragma once

#include "item_type.h"
#include "picture_fault.h"

#include <atomic>
#include <span>

namespace kestrix {

// Why a whole-looking picture would not decode in full, or None: the strict
// verdict, decided without keeping any pixel.
// - GIF: the blocks and every image's LZW codes (ReadGifLayout);
// - BMP: the headers, the rows and the RLE codes (ReadBmpLayout);
// - for both, TooCostly where the GIF's screen or the RLE bitmap's canvas is
//   too costly to show for its bytes (CanvasTooCostly);
// - JPEG, PNG: a full decode (DecodeJpeg, DecodePng) whose work is bounded by
//   CheckWorkBudget of the picture's bytes: TooCostly beyond it.
// The cost is linear in the bytes for every format. cancel may be null; once it
// is true the check ends soon with Cancelled. Safe from several threads at once.
PictureFault CheckPictureFault(ItemType type, std::span<const uint8_t> bytes,
                               const std::atomic<bool>* cancel = nullptr);

// CheckPictureFault as a picture's status: Complete for None, Unchecked for
// TooCostly, else Damaged. Matches PictureDecodeCheck.
ItemStatus CheckPicture(ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel);

}  // namespace kestrix
