#include "exercise_picture_holder.h"

#include "exceptions.h"
#include "picture_holder.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <limits>

namespace kestrix {
namespace {

void DrawBothWays(const TPictureHolder& holder, QImage& canvas)
{
    QPainter painter(&canvas);
    holder.Draw(painter, QRect(0, 0, holder.Width(), holder.Height()));
    holder.Draw(painter, canvas.rect());
    (void)holder.DisplayWidth();
    (void)holder.DisplayHeight();
}

}  // namespace

void ExercisePictureHolder(const uint8_t* data, size_t size)
{
    MemoryStream stream;
    const auto count = static_cast<int32_t>(std::min<size_t>(size, std::numeric_limits<int32_t>::max()));
    if (count > 0)
        stream.WriteBuffer(data, count);

    TPictureHolder holder;
    QImage canvas(64, 64, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    try {
        holder.LoadFromStream(&stream);
    } catch (const Exception&) {
    }
    DrawBothWays(holder, canvas);

    const int32_t frames = std::min(holder.FrameCount(), kExerciseFrameCap);
    for (int32_t frame = 0; frame <= std::max(frames, 0) + 1; ++frame) {
        try {
            holder.SetFrame(frame);
        } catch (const Exception&) {
        }
        (void)holder.FrameDelay(frame);
        DrawBothWays(holder, canvas);
    }
}

}  // namespace kestrix
