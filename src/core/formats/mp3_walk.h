#pragma once

#include "walk_result.h"

namespace kestrix {

// Walks an MPEG audio file from bytes[0]: an optional ID3v2 tag ("ID3", major
// version 2..4, a syncsafe size, plus 10 bytes when its footer flag is set),
// then MPEG-1, -2 or -2.5 frames of Layer II or III, one right after the other,
// all of the version, layer and sample rate of the first. Layer I, free format
// (bitrate index 0), bitrate index 15, sample rate index 3 and emphasis 2 start
// no frame. At least kLeastMp3Frames frames must follow one another before the
// walk accepts anything: fewer, then a byte that starts no frame, is no item
// (machine code is full of short chains of frame-like headers). After the last
// frame an APE tag (with its header, "APETAGEX") and then an ID3v1 tag ("TAG",
// 128 bytes) belong to the item.
// There is no end marker: the item ends, Whole, after the last frame (or tag)
// when the next byte starts no frame of the chain. Truncated, End after the last
// whole frame, when a frame is cut by the end of the bytes, when a frame's last
// kErasedRunLength bytes are erased flash (FFh), when the chain's last frame
// holds the signature of another item or of a file-system entry (a frame cut
// by what was written after it), or when a whole ID3v2 tag is
// followed by erased flash, a short chain cut by the end of the bytes, or
// nothing (End: the tag's end, or 10 when the tag itself is cut).
// DurationMs, SampleRate and Channels (1 for mono, else 2) come from the
// frames; SureEnd is End (every frame taken is sure). Frames are never shorter than 24 bytes, so the work is linear.
WalkResult WalkMp3(std::span<const uint8_t> bytes) noexcept;

// Frames in a row an MP3 needs before it is listed.
inline constexpr int32_t kLeastMp3Frames = 4;

}  // namespace kestrix
