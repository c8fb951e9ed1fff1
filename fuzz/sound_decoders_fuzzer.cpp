// The sound decoders over arbitrary bytes: the first input byte chooses the
// format; the rest is decoded within a small frame budget, and the PCM and the
// verdict are checked against what the decoders promise.
#include "amr_walk.h"
#include "sound_decoder.h"
#include "wav_file.h"

#include <atomic>
#include <cstdlib>
#include <vector>

namespace {

using namespace kestrix;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr ItemType kTypes[] = {ItemType::Midi, ItemType::Rmid, ItemType::Amr,     ItemType::AmrWb, ItemType::Mp3,
                               ItemType::Wav,  ItemType::Qcp,  ItemType::Imelody, ItemType::Smaf};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const ItemType type = kTypes[data[0] % std::size(kTypes)];
    const std::span<const uint8_t> bytes(data + 1, size - 1);
    SoundLimits limits;
    limits.MaxFrames = 1 << 18;
    limits.MidiSampleRate = 8000;
    const SoundDecode decoded = DecodeSound(type, bytes, limits);
    if (decoded.Outcome == SoundOutcome::Decoded) {
        const Pcm& sound = decoded.Sound;
        Check(!sound.Samples.empty() && sound.Channels >= 1 && sound.Channels <= 8 && sound.SampleRate > 0);
        Check(sound.Samples.size() % static_cast<std::size_t>(sound.Channels) == 0);
        // MIDI is rendered for its own length, up to ten minutes.
        const bool midi = type == ItemType::Midi || type == ItemType::Rmid;
        Check(sound.Frames() <= (midi ? int64_t{10} * 60 * limits.MidiSampleRate : limits.MaxFrames));
        const std::vector<uint8_t> wav = WavFileBytes(sound);
        Check(wav.size() == 44 + sound.Samples.size() * 2);
    } else {
        Check(decoded.Sound.Samples.empty());
    }
    const std::atomic<bool> cancel{false};
    const ItemStatus status = CheckSound(type, bytes, cancel);
    Check(status != ItemStatus::Truncated);
    // A whole AMR stream is judged by its walk alone: a decode within the
    // check's budget agrees with it.
    if ((type == ItemType::Amr || type == ItemType::AmrWb) && WalkAmr(bytes).Verdict == WalkVerdict::Whole) {
        SoundLimits check;
        check.MaxFrames = SoundFrameBudget(bytes.size());
        check.EnoughFrames = 8000;
        check.KeepSamples = false;
        const SoundOutcome outcome = DecodeSound(type, bytes, check).Outcome;
        Check(status != ItemStatus::Complete || outcome == SoundOutcome::Decoded);
        Check(outcome != SoundOutcome::Refused || status == ItemStatus::Damaged);
    }
    return 0;
}
