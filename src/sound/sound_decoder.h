#pragma once

#include "content_search.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kestrix {

// Decoded sound: interleaved signed 16-bit samples.
struct Pcm {
    int32_t SampleRate = 0;
    int32_t Channels = 0;
    std::vector<int16_t> Samples;

    // Samples per channel.
    int64_t Frames() const noexcept { return Channels > 0 ? static_cast<int64_t>(Samples.size()) / Channels : 0; }
    int64_t DurationMs() const noexcept { return SampleRate > 0 ? Frames() * 1000 / SampleRate : 0; }
};

// How a decode ended.
//   Decoded:     Pcm holds the whole sound;
//   Refused:     the decoder could not read the bytes, or they gave no sound;
//   TooCostly:   the sound would be longer than its bytes allow (see
//                SoundFrameBudget): it was not decoded to its end;
//   NotPlayable: no decoder here plays the type (a SMAF without an audio
//                track of Yamaha ADPCM, a QCP of SMV, or MIDI and iMelody
//                without the General MIDI sound font or the synthesizer
//                library);
//   Cancelled:   the cancel flag turned true.
enum class SoundOutcome : uint8_t { Decoded, Refused, TooCostly, NotPlayable, Cancelled };

struct SoundDecode {
    SoundOutcome Outcome = SoundOutcome::Refused;
    Pcm Sound;
};

// What a decode may cost and when it stops.
struct SoundLimits {
    // Samples per channel at most; a longer sound is TooCostly.
    int64_t MaxFrames = 0;
    // When not negative, the decode ends, Decoded, after this many frames.
    int64_t EnoughFrames = -1;
    // False: the frames are counted, not kept (Pcm stays empty).
    bool KeepSamples = true;
    // When set, each block of decoded samples (whole frames, interleaved) goes
    // here as it comes, instead of into Pcm::Samples, with the sound's rate and
    // channels; false ends the decode, Cancelled. Memory stays one block.
    std::function<bool(std::span<const int16_t> samples, int32_t rate, int32_t channels)> Stream;
    // MIDI is rendered at this rate (the other formats keep their own).
    int32_t MidiSampleRate = 22050;
    // Checked between blocks of samples; may be null.
    const std::atomic<bool>* Cancel = nullptr;
};

// The frames a sound of bytes may decode to: 1 Mi plus 256 a byte (an AMR
// no-data frame, the densest real data, gives 160 a byte), and never more
// than half an hour at 48 kHz, so that a hostile file decodes in bounded time
// and memory. MIDI, whose few bytes may play for minutes, is rendered for its
// own length instead, up to ten minutes.
int64_t SoundFrameBudget(std::size_t bytes) noexcept;

// The General MIDI sound font MIDI is rendered with (Debian's
// /usr/share/sounds/sf2/default-GM.sf2); empty when the machine has none.
std::string MidiSoundFont();

// Whether a decoder here plays type (MIDI and iMelody only with the sound font
// and the synthesizer library, which a first such question opens; SMAF never:
// whether one plays depends on its bytes).
bool CanPlay(ItemType type);

// Whether a decoder here plays this sound of type: as CanPlay(type), and a
// SMAF when its first audio track is Yamaha ADPCM (SmafAudio::Playable).
// Reads the SMAF's chunk headers only.
bool CanPlay(ItemType type, std::span<const uint8_t> bytes);

// Decodes one found sound of type (a sound kind of the format table) to PCM:
// MIDI and RMID rendered with the General MIDI sound font, iMelody rendered as
// the MIDI file of its notes (ImelodyMidiFile), AMR-NB and AMR-WB, MP3, WAV
// (PCM, ADPCM, A-law, mu-law, GSM, float), QCP of QCELP-13K or EVRC, the
// Yamaha ADPCM audio track of a SMAF (DecodeSmafAudio). Never throws for bad
// bytes.
SoundDecode DecodeSound(ItemType type, std::span<const uint8_t> bytes, const SoundLimits& limits);

// The decoders' verdict on a sound whose structure is whole: Complete when it
// decodes to sound, Damaged when the decoder refuses it or it decodes to
// nothing, Unchecked when no decoder plays its type or it would decode to
// more than SoundFrameBudget. iMelody is judged by its grammar (ReadImelody),
// not rendered. SMAF is Damaged when its CRC disagrees (CheckSmafCrc), and
// else rests on the decode of its audio track: Complete when no decoder here
// plays one (score tracks only). A QCP whose packets do not fill its data is
// Damaged. The verdict decodes at most the first 8,000
// frames (a second at 8 kHz) and keeps no samples; MIDI is rendered at 8000 Hz
// for it.
ItemStatus CheckSound(ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel);

}  // namespace kestrix
