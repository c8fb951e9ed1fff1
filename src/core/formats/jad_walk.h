#pragma once

#include "walk_result.h"

#include <string>

namespace kestrix {

// What a Java application descriptor says about the application it describes;
// empty strings (and JarSize -1) for attributes it lacks. Name, Vendor and
// Version are UTF-8 (MidletText); JarUrl the bytes as written.
struct JadFacts {
    std::string Name;
    std::string Vendor;
    std::string Version;
    std::string JarUrl;
    // MIDlet-Jar-Size: the archive's size in bytes; -1 when missing or not a
    // decimal number below 2^31.
    int64_t JarSize = -1;
    // At least one line names an application (IsMidletEntry).
    bool HasMidlet = false;
};

// The walk of one descriptor and its facts.
struct JadWalk {
    WalkResult Walk;
    JadFacts Facts;
};

// A descriptor is a run of attribute lines, each "key: value": a key of 1..128
// letters, digits, '-', '_' or '.', a colon, the value (text: bytes from 20h
// except 7Fh, and tabs; at most 4096 bytes; spaces around it dropped), then a
// line end (LF, CR LF or CR). The run ends before the first line that is no
// attribute line (an empty line, a line of other text, a byte that is no
// text, erased flash: see ErasedTextAt); a last line cut short by a byte that
// is no text (or by the end of the bytes) still counts, and the run ends with
// it. FFh is text ("я" in Windows-1251) unless erased flash starts there. A
// run whose lines reach beyond kLongestJad bytes is no descriptor.

// Walks a descriptor from bytes[0] (an optional UTF-8 byte order mark, then its
// first attribute line). End is one past the run's last line end. Verdict:
// Whole when the run names all of MIDlet-Name, MIDlet-Vendor, MIDlet-Version,
// MIDlet-Jar-URL (non-empty), a valid MIDlet-Jar-Size and at least one
// application (a MIDlet-<n> line, see IsMidletEntry); Truncated when it lacks
// only applications, or when it
// names two to four of them, one being MIDlet-Jar-URL or MIDlet-Jar-Size (the
// rest were cut off); NotPicture when bytes[0] starts no attribute line, or the
// run names fewer than two (text that merely looks like a descriptor), or
// neither the archive's URL nor its size (a manifest). SureEnd is End; Width,
// Height and Frames stay 0; Examined is set for every verdict. Keys are matched
// without regard to case; the last of a repeated key wins. Reads only inside
// bytes; linear work.
JadWalk WalkJad(std::span<const uint8_t> bytes);

// Where the run of attribute lines holding the byte at at starts: the first
// byte of the earliest attribute line before it whose lines all follow each
// other up to the line at at (or a UTF-8 byte order mark just before that
// line), looking back at most kLongestJadLookBack bytes. at itself (rounded
// back to its line's start) when no attribute line precedes it. at must be
// inside bytes.
int64_t JadRunStart(std::span<const uint8_t> bytes, int64_t at) noexcept;

inline constexpr int64_t kLongestJadLookBack = 64 * 1024;
inline constexpr int64_t kLongestJad = 64 * 1024;

// Whether the "MIDlet-" at at is where the content search looks for a
// descriptor: at the bytes' start, after a UTF-8 byte order mark, after a byte
// that is no text or FFh (erased flash), or at the start of a line when no
// earlier line of its run (looking back as JadRunStart does) starts with
// "MIDlet-" too; that earlier line's search reads the same run. "MIDlet-"
// after other text is part of that text. The work is linear in the bytes
// back to that earlier line (at most kLongestJadLookBack), so that every line
// of a long run is read back over once.
bool IsJadCandidate(std::span<const uint8_t> bytes, int64_t at) noexcept;

}  // namespace kestrix
