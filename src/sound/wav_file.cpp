#include "wav_file.h"

#include <stdexcept>

namespace kestrix {
namespace {

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutTag(std::vector<uint8_t>& out, const char* tag)
{
    out.insert(out.end(), tag, tag + 4);
}

}  // namespace

std::vector<uint8_t> WavFileBytes(const Pcm& sound)
{
    const uint64_t dataBytes = static_cast<uint64_t>(sound.Samples.size()) * 2;
    if (dataBytes > 0xFFFFFFFFull - 36)
        throw std::length_error("the sound is too long for a WAV file");
    const auto channels = static_cast<uint32_t>(sound.Channels);
    const auto rate = static_cast<uint32_t>(sound.SampleRate);
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    PutTag(out, "RIFF");
    PutLe(out, static_cast<uint32_t>(36 + dataBytes), 4);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);
    PutLe(out, channels, 2);
    PutLe(out, rate, 4);
    PutLe(out, rate * channels * 2, 4);
    PutLe(out, channels * 2, 2);
    PutLe(out, 16, 2);
    PutTag(out, "data");
    PutLe(out, static_cast<uint32_t>(dataBytes), 4);
    for (const int16_t sample : sound.Samples)
        PutLe(out, static_cast<uint16_t>(sample), 2);
    return out;
}

}  // namespace kestrix
