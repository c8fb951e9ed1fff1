#pragma once

#include "sound_decoder.h"

#include <cstdint>
#include <vector>

namespace kestrix {

// A RIFF WAVE file of sound: a 16-byte "fmt " chunk of PCM (format 1, 16 bits
// a sample, sound's rate and channels) and a "data" chunk of its samples,
// little-endian. A sound of more than 4 GiB of samples does not fit: throws
// std::length_error.
std::vector<uint8_t> WavFileBytes(const Pcm& sound);

}  // namespace kestrix
