#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrix {

// Frames selected at most per input by ExercisePictureHolder.
inline constexpr int32_t kExerciseFrameCap = 16;

// Runs one picture through every holder operation the preview uses: load,
// frame count, selecting frames 0 .. min(FrameCount, kExerciseFrameCap) + 1,
// delay look-ups and drawing (at pixel size and stretched) into a small image.
// kestrix::Exception is the holder's expected failure and is caught; anything
// else escapes. Needs no application object.
void ExercisePictureHolder(const uint8_t* data, size_t size);

}  // namespace kestrix
