#include "wav_file.h"

#include "format_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace kestrix {
namespace {

constexpr int64_t kWavHeaderBytes = 44;

// A fixed array rather than a growing vector: GCC 12 at -O3 takes the
// vector's pushes for an overflow (-Wstringop-overflow).
using WavHeaderBytes = std::array<uint8_t, kWavHeaderBytes>;

void PutLe(uint8_t* at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

WavHeaderBytes WavHeader(uint32_t rate, uint32_t channels, uint64_t dataBytes)
{
    WavHeaderBytes out{};
    std::memcpy(&out[0], "RIFF", 4);
    PutLe(&out[4], static_cast<uint32_t>(36 + dataBytes), 4);
    std::memcpy(&out[8], "WAVEfmt ", 8);
    PutLe(&out[16], 16, 4);
    PutLe(&out[20], 1, 2);
    PutLe(&out[22], channels, 2);
    PutLe(&out[24], rate, 4);
    PutLe(&out[28], rate * channels * 2, 4);
    PutLe(&out[32], channels * 2, 2);
    PutLe(&out[34], 16, 2);
    std::memcpy(&out[36], "data", 4);
    PutLe(&out[40], static_cast<uint32_t>(dataBytes), 4);
    return out;
}

constexpr int32_t kMidiWavRate = 22050;

}  // namespace

std::vector<uint8_t> WavFileBytes(const Pcm& sound)
{
    const uint64_t dataBytes = static_cast<uint64_t>(sound.Samples.size()) * 2;
    if (dataBytes > 0xFFFFFFFFull - 36)
        throw std::length_error("the sound is too long for a WAV file");
    const auto channels = static_cast<uint32_t>(sound.Channels);
    const auto rate = static_cast<uint32_t>(sound.SampleRate);
    const WavHeaderBytes header = WavHeader(rate, channels, dataBytes);
    std::vector<uint8_t> out(header.size() + dataBytes);
    std::copy(header.begin(), header.end(), out.begin());
    for (std::size_t i = 0; i < sound.Samples.size(); ++i)
        PutLe(&out[header.size() + 2 * i], static_cast<uint16_t>(sound.Samples[i]), 2);
    return out;
}

bool WriteWavFile(ItemType type, std::span<const uint8_t> bytes, Stream& out, int64_t maxBytes, std::string& why,
                  const std::atomic<bool>* cancel)
{
    if (ExpectedWavBytes(type, bytes) > maxBytes) {
        why = "the WAV file would pass the bound of the run's WAV files";
        return false;
    }
    const int64_t start = out.Position();
    int64_t written = kWavHeaderBytes;
    out.WriteBuffer(WavHeader(0, 0, 0).data(), kWavHeaderBytes);
    bool tooLong = false;
    std::array<uint8_t, 8192> block;
    SoundLimits limits;
    limits.MaxFrames = SoundFrameBudget(bytes.size());
    limits.Cancel = cancel;
    limits.Stream = [&](std::span<const int16_t> samples, int32_t, int32_t) {
        if (written + static_cast<int64_t>(samples.size()) * 2 > std::min<int64_t>(maxBytes, 0xFFFFFFFFll)) {
            tooLong = true;
            return false;
        }
        while (!samples.empty()) {
            const std::size_t count = std::min(samples.size(), block.size() / 2);
            for (std::size_t i = 0; i < count; ++i) {
                block[2 * i] = static_cast<uint8_t>(samples[i]);
                block[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
            }
            out.WriteBuffer(block.data(), static_cast<int32_t>(count * 2));
            written += static_cast<int64_t>(count) * 2;
            samples = samples.subspan(count);
        }
        return true;
    };
    const SoundDecode decoded = DecodeSound(type, bytes, limits);
    if (tooLong) {
        why = "the WAV file would pass the bound of the run's WAV files";
        return false;
    }
    switch (decoded.Outcome) {
    case SoundOutcome::Decoded: break;
    case SoundOutcome::Refused: why = "the sound does not decode"; return false;
    case SoundOutcome::TooCostly: why = "the sound would decode to more than its bytes allow"; return false;
    case SoundOutcome::NotPlayable: why = "no decoder here plays this type"; return false;
    case SoundOutcome::Cancelled: why = "cancelled"; return false;
    }
    const WavHeaderBytes header =
        WavHeader(static_cast<uint32_t>(decoded.Sound.SampleRate), static_cast<uint32_t>(decoded.Sound.Channels),
                  static_cast<uint64_t>(written - kWavHeaderBytes));
    out.SetPosition(start);
    out.WriteBuffer(header.data(), kWavHeaderBytes);
    out.SetPosition(start + written);
    return true;
}

bool SoundToWav(ItemType type, std::span<const uint8_t> bytes, Stream& out, int64_t& budget, std::string& why,
                const std::atomic<bool>* cancel)
{
    const int64_t start = out.Position();
    if (!WriteWavFile(type, bytes, out, budget, why, cancel))
        return false;
    budget -= out.Position() - start;
    return true;
}

int64_t ExpectedWavBytes(ItemType type, std::span<const uint8_t> bytes)
{
    if (KindOf(type) != ContentKind::Sound)
        return 0;
    const WalkResult walk = TraitsOf(type).Walk(bytes, true);
    if (walk.Verdict == WalkVerdict::NoItem)
        return 0;
    const bool midi = type == ItemType::Midi || type == ItemType::Rmid;
    const int64_t rate = midi ? kMidiWavRate : walk.SampleRate;
    const int64_t channels = midi ? 2 : std::max(1, walk.Channels);
    return kWavHeaderBytes + walk.DurationMs * rate / 1000 * channels * 2;
}

}  // namespace kestrix
