#pragma once

#include "walk_result.h"

namespace kestrix {

// Walks a Standard MIDI File (format 0, 1 or 2; SP-MIDI is format 0 or 1 with
// its own meta events) from bytes[0]. All numbers are big-endian. The header is
// "MThd" with length 6, a format of 0..2 (format 0 with exactly one track), at
// least one track and a non-zero division; then chunks by their lengths: each
// "MTrk" must end with the end-of-track event FF 2F 00, chunks of another
// four-character type are stepped over (more than 16 of them before the
// tracks: no item when no track came before, else Truncated). The file is Whole right after the
// declared number of MTrk chunks, whatever follows. The walk is Truncated, End
// after the last whole chunk, when a chunk runs past the bytes, a chunk type is
// not four printable characters (erased flash included) or a track lacks its
// FF 2F 00. A header followed by anything but a chunk or erased flash (8
// bytes FFh or 00h) is a chance hit, no item; so is anything else at bytes[0].
// Tracks is the declared number of tracks; DurationMs follows the events of the
// whole tracks through their tempo changes (0 when their events do not parse;
// held below 2^63 microseconds, whatever the tempo and the deltas);
// SampleRate and Channels stay 0. Reads only inside bytes; the work is linear
// in the bytes walked, whatever the header declares.
WalkResult WalkMidi(std::span<const uint8_t> bytes) noexcept;

// What the walk of a MIDI file learned of its events.
struct MidiSummary {
    WalkResult Walk;
    // Note-on events of non-zero velocity in the whole tracks.
    int64_t Notes = 0;
    // True when the walk is Whole and every event of every track parsed up to
    // its FF 2F 00: the song is known to its end, as a synthesizer plays it.
    bool EventsParse = false;
};

// WalkMidi, with the notes and whether every event parsed. May throw
// std::bad_alloc for a file of millions of tempo changes.
MidiSummary SummarizeMidi(std::span<const uint8_t> bytes);

}  // namespace kestrix
