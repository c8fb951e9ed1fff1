#pragma once

#include "sound_decoder.h"
#include "stream.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrix {

// A RIFF WAVE file of sound: a 16-byte "fmt " chunk of PCM (format 1, 16 bits
// a sample, sound's rate and channels) and a "data" chunk of its samples,
// little-endian. A sound of more than 4 GiB of samples does not fit: throws
// std::length_error.
std::vector<uint8_t> WavFileBytes(const Pcm& sound);

// Decodes a found sound of type (DecodeSound, within SoundFrameBudget of its
// bytes) into out as a 16-bit PCM WAV file, block by block: memory stays a
// block, whatever the sound's length. The file is at most maxBytes long: one
// that ExpectedWavBytes puts over it is refused before decoding, and a decode
// that passes it stops. False, with the reason in English in why, when
// the sound does not decode, is over its frame budget or over maxBytes, or
// cancel turned true (out then holds a part: the caller drops it). Raises what
// out raises.
bool WriteWavFile(ItemType type, std::span<const uint8_t> bytes, Stream& out, int64_t maxBytes, std::string& why,
                  const std::atomic<bool>* cancel = nullptr);

// The one way both front ends turn a found sound into a WAV file: WriteWavFile
// within budget, the bytes the run's WAV files have left (WavBudgetOf the
// image to begin with), which it lowers by the bytes of a file written whole.
// False, with the reason in English in why, as WriteWavFile.
bool SoundToWav(ItemType type, std::span<const uint8_t> bytes, Stream& out, int64_t& budget, std::string& why,
                const std::atomic<bool>* cancel = nullptr);

// The bytes of the WAV file WriteWavFile would write, from what the sound's
// walk tells (its playing time, rate and channels; MIDI rendered at 22,050 Hz
// in stereo), before any decoding; 0 when the walk finds no sound.
int64_t ExpectedWavBytes(ItemType type, std::span<const uint8_t> bytes);

}  // namespace kestrix
