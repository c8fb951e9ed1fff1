#pragma once

#include "walk_result.h"

namespace kestrix {

// Walks an iMelody text from bytes[0]: "BEGIN:IMELODY" and its line end (CR LF
// or LF), a first property line ("NAME:value", the name of letters, digits and
// hyphens), then lines of text (printable ASCII, bytes 80h..FFh, tab; FFh is
// "я" in Windows-1251 unless it starts erased flash, see ErasedTextAt) up to a
// line "END:IMELODY". The item is Whole after that line's end (CR LF, LF or CR;
// End right after "END:IMELODY" when none follows). It is Truncated, End after
// the last whole line, when a line is cut by the end of the bytes, by erased
// flash (00h, or a run of FFh) or by any other byte that is no text, and when no END line
// comes within kLongestImelody bytes. A signature without its line end and
// first property line is no item.
// DurationMs is the melody's playing time at its BEAT (120 by default): notes
// and rests with durations 0 (whole) .. 5 (1/32), dotted ".", double-dotted ":"
// or triplet ";", repeat blocks counted once; 0 when no MELODY line is read;
// for a whole melody that keeps its grammar, ReadImelody's playing time, its
// repeat blocks played their count.
// Channels is 1. Reads only inside bytes; linear.
WalkResult WalkImelody(std::span<const uint8_t> bytes) noexcept;

// An iMelody is a ringtone of a few hundred bytes; none is this long.
inline constexpr int32_t kLongestImelody = 64 * 1024;

}  // namespace kestrix
