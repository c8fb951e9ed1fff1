#include "picture_fault.h"

namespace kestrix {

const char* PictureFaultName(PictureFault fault) noexcept
{
    switch (fault) {
    case PictureFault::None: return "none";
    case PictureFault::NotRecognised: return "not recognised";
    case PictureFault::CutShort: return "cut short";
    case PictureFault::Damaged: return "damaged";
    case PictureFault::DecoderFailed: return "decoder failed";
    case PictureFault::UndefinedPixels: return "undefined pixels";
    case PictureFault::TooLarge: return "too large";
    case PictureFault::Cancelled: return "cancelled";
    case PictureFault::TooCostly: return "too costly";
    }
    return "?";
}

}  // namespace kestrix
