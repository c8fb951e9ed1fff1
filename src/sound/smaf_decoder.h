#pragma once

#include "smaf_walk.h"

#include <cstdint>
#include <functional>
#include <span>

namespace kestrix {

// How a SMAF audio decode ended: every packet of the track decoded (Decoded
// when there was at least one sample), the reader or decoder refused the
// track or it gave no sound (Refused), no decoder here plays the track or
// libavformat is missing (NotPlayable), or take asked to stop (Stopped).
enum class SmafOutcome : uint8_t { Decoded, Refused, NotPlayable, Stopped };

// Decodes audio (ReadSmafAudio of a SMAF file) with libavformat's SMAF reader
// and libavcodec's Yamaha ADPCM decoder, both opened at the first SMAF decode:
// each block of decoded samples (interleaved, audio's rate and channels) goes
// to take, which returns false to stop. The reader is given a copy of the
// file's contents info and this track alone, since it takes no score track
// before the audio track. A track that is not Yamaha ADPCM of 4 bits at a
// known rate is NotPlayable; one whose wave data is not whole (Playable false)
// is Refused. Never throws for bad bytes; work linear in the track's bytes.
SmafOutcome DecodeSmafAudio(const SmafAudio& audio, const std::function<bool(std::span<const int16_t>)>& take);

}  // namespace kestrix
