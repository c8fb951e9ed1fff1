#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrix {

// What one decode may spend. Work is counted in pixels: each pixel decoded once,
// plus, for a JPEG, an eighth of the pixels of its components for each scan.
struct DecodeLimits {
    // Largest work allowed; negative for no bound but kMaxPicturePixels.
    int64_t MaxWork = -1;
    // When not null and true, the decode stops at its next look (every few rows
    // or every 16 KiB of input) with PictureFault::Cancelled.
    const std::atomic<bool>* Cancel = nullptr;

    bool Cancelled() const noexcept { return Cancel != nullptr && Cancel->load(std::memory_order_relaxed); }
};

// The work a verdict may spend on a picture of byteCount bytes: a small canvas
// always, beyond it a bound that grows with the bytes and not with the canvas
// the headers declare, so that a packed image of tiny pictures declaring huge
// canvases costs no more than a few times its own reading.
inline constexpr int64_t kCheckWorkFloor = 64 * 64;
inline constexpr int64_t kCheckWorkPerByte = 16;
inline int64_t CheckWorkBudget(std::size_t byteCount) noexcept
{
    return kCheckWorkFloor + kCheckWorkPerByte * static_cast<int64_t>(byteCount);
}

// GIFs and RLE bitmaps get their verdict from their codes alone, but showing
// one fills its whole canvas, which a few bytes can declare at 4096 x 4096. A
// canvas beyond this bound for its bytes is too costly to show, and so its
// verdict stays unchecked too; picture files keep far below it.
inline constexpr int64_t kCanvasFloor = int64_t{1} << 20;
inline constexpr int64_t kCanvasPerByte = 256;
inline bool CanvasTooCostly(int64_t width, int64_t height, std::size_t byteCount) noexcept
{
    return width * height > kCanvasFloor + kCanvasPerByte * static_cast<int64_t>(byteCount);
}

// Decoded pixels, rows top-down without padding, 4 bytes a pixel in the order
// blue, green, red, alpha (not premultiplied).
struct Raster {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Bgra;
};

}  // namespace kestrix
