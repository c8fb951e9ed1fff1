#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kestrix {

// One sounding note or rest of a melody, repeats unrolled.
struct ImelodyNote {
    // MIDI key (c of octave *4 is 72, its a 880 Hz); -1 for a rest.
    int Key = -1;
    // Length in 1/384 whole notes (a double-dotted or triplet 1/32 is still whole).
    int32_t Length = 0;
    // 0 (silent) .. 15, as VOLUME and the melody's V marks set it.
    int Volume = 7;
};

// What articulation STYLE asks: S0 natural (a short gap after each note), S1
// continuous, S2 staccato.
enum class ImelodyStyle : uint8_t { Natural, Continuous, Staccato };

// An iMelody text read by its grammar.
struct ImelodyScore {
    // True when every line up to "END:IMELODY" keeps the grammar: a
    // "BEGIN:IMELODY" line; "VERSION:" and "FORMAT:" lines (CLASS1.0 or
    // CLASS2.0); optional NAME, COMPOSER (any text, Windows-1251 or UTF-8),
    // BEAT (25..900), STYLE (S0..S2), VOLUME (V0..V15, V+, V-) and "X-"
    // extension lines; one MELODY line; lines longer than their first folded
    // onto the next (a line starting with a space or tab continues the one
    // before). The melody is notes ([*0..*8] octave, [# or &] sharp or flat,
    // c..g, a, b, duration 0..5, optional ".", ":" or ";"), rests "r" with a
    // duration, volume marks, ledon/ledoff, vibeon/vibeoff, backon/backoff and
    // repeat blocks "( ... @count[V+|V-])", not nested.
    bool Valid = false;
    // True for a text cut before its END line (the bytes end first) whose
    // lines up to the cut keep the grammar, its melody among them: Notes hold
    // the notes before the cut (a melody line that reads only in part, the
    // last line, up to its first element that does not read). Valid stays
    // false.
    bool Partial = false;
    int Beat = 120;
    ImelodyStyle Style = ImelodyStyle::Natural;
    // The notes and rests in playing order; a block repeated n times is
    // written out n times (count 0, "forever", once). Light, vibration and
    // backlight commands leave no trace.
    std::vector<ImelodyNote> Notes;
    // The sum of the notes' lengths, in 1/384 whole notes.
    int64_t Length = 0;
    // True when the unrolled melody was longer than kLongestImelodyMs and was
    // cut there.
    bool Cut = false;

    // The playing time at Beat (a whole note is four beats).
    int64_t DurationMs() const noexcept { return Length * 240000 / (384 * int64_t{Beat}); }
};

// A melody plays at most this long; longer repeats are cut (see ImelodyScore::Cut).
inline constexpr int64_t kLongestImelodyMs = int64_t{10} * 60 * 1000;

// Reads an iMelody text (bytes from "BEGIN:IMELODY"; anything after the line
// "END:IMELODY" is ignored; a last line without its line end is cut off).
// Notes are filled only for a Valid or Partial text. Linear in bytes; the
// notes written out are bounded by kLongestImelodyMs.
ImelodyScore ReadImelody(std::span<const uint8_t> bytes);

// The score as a Standard MIDI File of format 0: one track on channel 0, one
// instrument (square lead), 96 ticks a quarter note (one tick is 1/384 of a
// whole note), its tempo from Beat, each note's velocity from its volume and
// its sounding part from the style; the track ends after the last note's
// length. Empty for a score that is neither Valid nor Partial with notes.
std::vector<uint8_t> ImelodyMidiFile(const ImelodyScore& score);

}  // namespace kestrix
