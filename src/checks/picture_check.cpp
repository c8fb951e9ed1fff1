#include "picture_check.h"

#include "bmp_walk.h"
#include "gif_walk.h"
#include "jpeg_decoder.h"
#include "png_decoder.h"

#include <cstdlib>

namespace kestrix {

PictureFault CheckPictureFault(ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>* cancel)
{
    DecodeLimits limits;
    limits.MaxWork = CheckWorkBudget(bytes.size());
    limits.Cancel = cancel;
    switch (type) {
    case ItemType::Gif: {
        const GifLayout layout = ReadGifLayout(bytes, cancel);
        if (layout.Fault == PictureFault::None &&
            CanvasTooCostly(layout.ScreenWidth, layout.ScreenHeight, bytes.size()))
            return PictureFault::TooCostly;
        return layout.Fault;
    }
    case ItemType::Bmp: {
        const BmpLayout layout = ReadBmpLayout(bytes);
        if (layout.Fault == PictureFault::None && layout.Rle &&
            CanvasTooCostly(layout.Width, std::abs(int64_t{layout.Height}), bytes.size()))
            return PictureFault::TooCostly;
        return layout.Fault;
    }
    case ItemType::Jpeg: return DecodeJpeg(bytes, limits, nullptr);
    case ItemType::Png: return DecodePng(bytes, limits, nullptr);
    default: return PictureFault::NotRecognised;
    }
}

ItemStatus CheckPicture(ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel)
{
    switch (CheckPictureFault(type, bytes, &cancel)) {
    case PictureFault::None: return ItemStatus::Complete;
    case PictureFault::TooCostly: return ItemStatus::Unchecked;
    default: return ItemStatus::Damaged;
    }
}

}  // namespace kestrix
