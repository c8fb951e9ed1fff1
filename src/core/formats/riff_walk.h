#pragma once

#include "walk_result.h"

namespace kestrix {

// Walks a RIFF file from bytes[0] (all numbers little-endian): "RIFF", its size,
// a form of "WAVE", "QLCM" (QCP voice) or "RMID" (MIDI in RIFF), then chunks of
// a four-character type and a size, each padded to an even length. A WAVE needs
// a "fmt " chunk (format tag PCM, ADPCM, A-law, mu-law, GSM, float or
// extensible; 1..8 channels; a sample rate and a block alignment) before its
// "data" chunk; a QCP needs "fmt " and "data"; an RMID needs a "data" chunk.
// The RIFF size decides the end (8 + size, the last pad byte optional) unless it
// is 0 or FFFFFFFFh, as unfinished recorders leave it: then the chunks decide,
// and the item ends after the last chunk, at a byte that starts none. A data
// chunk of size FFFFFFFFh (or 0 when the RIFF size is 0 or FFFFFFFFh too) was
// never closed: its sound runs to erased flash (any run of kOpenDataErasedRun
// bytes FFh is taken for it, a shorter one may be) or the end of the bytes, in
// whole blocks, and the item is Truncated.
// A data chunk cut by the end of the bytes, or one whose last kErasedRunLength
// bytes are FFh (cut by erased flash), keeps its sound the same way.
// Truncated, End after the last whole chunk, when a chunk runs past the bytes or
// the RIFF size, or when a chunk type is not four printable characters before
// the RIFF size is reached. A form or first chunk that fails these checks, or a
// RIFF size too small for the form, is no item; so is a walk that ends before
// the required chunks without reaching the end of the bytes or erased flash.
// More than 16 chunks besides the format before the data is no item (a chain
// of chunks that never holds a sound). Examined is set for every verdict.
// SampleRate and Channels come from the format chunk; a WAVE's DurationMs from
// its data's size in whole blocks and the samples a block holds (PCM and the
// other plain codings one frame a block, IMA and Microsoft ADPCM and GSM by
// their block layouts), never from the header's byte rate; a QCP's from its
// packets of 20 ms; an RMID's and its Tracks from the MIDI file inside. Reads
// only inside bytes; linear.
WalkResult WalkRiff(std::span<const uint8_t> bytes) noexcept;

// Erased flash (FFh) that ends the sound of a data chunk never closed: longer
// than kErasedRunLength, as runs of FFh samples (-1) are common in quiet 16-bit
// sound and 4 KiB of them (a quarter of a second at 8 kHz) are not.
inline constexpr int32_t kOpenDataErasedRun = 4096;

}  // namespace kestrix
