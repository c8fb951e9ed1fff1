// The iMelody reader and its MIDI file, the SMAF walk, CRC and audio track
// (libavformat and libavcodec), and the QCP path (layout, packets, libavcodec)
// over arbitrary bytes: the first input byte chooses which; each is checked
// against what it promises.
#include "imelody_score.h"
#include "midi_walk.h"
#include "qcp_decoder.h"
#include "smaf_walk.h"
#include "sound_decoder.h"

#include <atomic>
#include <cstdlib>
#include <optional>

namespace {

using namespace kestrix;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Imelody(std::span<const uint8_t> bytes)
{
    const ImelodyScore score = ReadImelody(bytes);
    Check(!(score.Valid && score.Partial));
    // A cut text keeps the notes before its cut, and plays only with some.
    if (!score.Valid && (!score.Partial || score.Notes.empty())) {
        Check(score.Notes.empty() && ImelodyMidiFile(score).empty());
        return;
    }
    int64_t length = 0;
    for (const ImelodyNote& note : score.Notes) {
        Check(note.Key >= -1 && note.Key <= 127 && note.Volume >= 0 && note.Volume <= 15 && note.Length > 0);
        length += note.Length;
    }
    Check(length == score.Length && score.DurationMs() <= kLongestImelodyMs);
    const std::vector<uint8_t> midi = ImelodyMidiFile(score);
    const WalkResult walk = WalkMidi(midi);
    Check(walk.Verdict == WalkVerdict::Whole && walk.End == static_cast<int32_t>(midi.size()));
    // The tempo is whole microseconds a quarter note: a beat of 900 loses a
    // third of one each quarter.
    Check(std::abs(walk.DurationMs - score.DurationMs()) <= 1 + score.DurationMs() / 10000);
}

void Smaf(std::span<const uint8_t> bytes)
{
    const WalkResult walk = WalkSmaf(bytes);
    Check(walk.End >= 0 && static_cast<std::size_t>(walk.End) <= bytes.size() && walk.SureEnd <= walk.End);
    Check(walk.Examined <= static_cast<int64_t>(bytes.size()));
    const std::optional<SmafAudio> audio = ReadSmafAudio(bytes);
    if (audio) {
        const auto inside = [&](std::span<const uint8_t> part) {
            return part.empty() ||
                   (part.data() >= bytes.data() && part.data() + part.size() <= bytes.data() + bytes.size());
        };
        Check(inside(audio->Track) && inside(audio->WaveData) && inside(audio->ContentsInfo));
        Check(audio->Channels == 1 || audio->Channels == 2);
    }
    SoundLimits limits;
    limits.MaxFrames = SoundFrameBudget(bytes.size());
    const SoundDecode decoded = DecodeSound(ItemType::Smaf, bytes, limits);
    // Only a track the walk calls playable is decoded, to at most its wave's
    // samples (two a byte, a frame's padding aside).
    if (decoded.Outcome == SoundOutcome::Decoded) {
        const std::optional<SmafAudio> walked = ReadSmafAudio(bytes.first(static_cast<std::size_t>(walk.End)));
        Check(walked && walked->Playable() && decoded.Sound.SampleRate == walked->SampleRate &&
              decoded.Sound.Channels == walked->Channels);
        Check(decoded.Sound.Frames() > 0 && decoded.Sound.Frames() <= walked->Frames() + 1);
        Check(decoded.Sound.DurationMs() <= walk.DurationMs + 1);
    } else {
        Check(decoded.Sound.Samples.empty());
    }
    if (walk.Verdict == WalkVerdict::Whole) {
        const SmafCrc crc = CheckSmafCrc(bytes.first(static_cast<std::size_t>(walk.End)));
        const ItemStatus status = CheckSound(ItemType::Smaf, bytes, std::atomic<bool>{false});
        // A CRC that agrees leaves the verdict to the audio track's decode.
        const ItemStatus expected = crc == SmafCrc::Disagrees || decoded.Outcome == SoundOutcome::Refused
                                        ? ItemStatus::Damaged
                                    : decoded.Outcome == SoundOutcome::TooCostly ? ItemStatus::Unchecked
                                                                                 : ItemStatus::Complete;
        Check(status == expected);
    }
}

void Qcp(std::span<const uint8_t> bytes)
{
    if (const auto layout = ReadQcpLayout(bytes))
        Check(layout->Packets.data() >= bytes.data() &&
              layout->Packets.data() + layout->Packets.size() <= bytes.data() + bytes.size());
    SoundLimits limits;
    limits.MaxFrames = 1 << 16;
    const SoundDecode decoded = DecodeSound(ItemType::Qcp, bytes, limits);
    if (decoded.Outcome == SoundOutcome::Decoded)
        Check(decoded.Sound.SampleRate == 8000 && decoded.Sound.Channels == 1 && decoded.Sound.Frames() > 0 &&
              decoded.Sound.Frames() <= limits.MaxFrames);
    else
        Check(decoded.Sound.Samples.empty());
    Check(CheckSound(ItemType::Qcp, bytes, std::atomic<bool>{false}) != ItemStatus::Truncated);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::span<const uint8_t> bytes(data + 1, size - 1);
    switch (data[0] % 3) {
    case 0: Imelody(bytes); break;
    case 1: Smaf(bytes); break;
    default: Qcp(bytes); break;
    }
    return 0;
}
