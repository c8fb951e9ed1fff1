// The picture holder over arbitrary bytes: load, count frames, select every
// frame, look up delays and draw into an image.
#include "exercise_picture_holder.h"

#include <QGuiApplication>

#include <cstdlib>

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
    return 0;
}
