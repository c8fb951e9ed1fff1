// The picture holder over arbitrary bytes: load, count frames, select every
// frame, look up delays and draw into an image; then the strict decoder with
// the bytes taken as each of its four formats, whose verdict must match the
// search's decode check.
#include "exercise_picture_holder.h"
#include "picture_check.h"
#include "strict_decoder.h"

#include <QGuiApplication>

#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    kestrix::ExercisePictureHolder(data, size);
    const std::span<const uint8_t> bytes(data, size);
    for (const auto type :
         {kestrix::ItemType::Gif, kestrix::ItemType::Bmp, kestrix::ItemType::Jpeg, kestrix::ItemType::Png}) {
        const kestrix::DecodedPicture picture = kestrix::DecodePicture(type, bytes, 4);
        // An accepted picture always has a frame; every frame has the format promised.
        if (picture.Ok() == picture.Frames.empty())
            std::abort();
        for (const QImage& frame : picture.Frames)
            if (frame.format() != QImage::Format_ARGB32_Premultiplied)
                std::abort();
        // The search's verdict and the pixels agree, but where the verdict's
        // bound keeps it from decoding at all.
        const kestrix::PictureFault verdict = kestrix::CheckPictureFault(type, bytes);
        if (verdict != kestrix::PictureFault::TooCostly && (verdict == kestrix::PictureFault::None) != picture.Ok())
            std::abort();
    }
    return 0;
}
