#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrix::test_support {

// Images made to cost the content search dearly: each repeats one structure
// until the image has the size asked for (about; the last repeat may be cut).
enum class HostileKind {
    // A RIFF...WAVE header every 20 bytes, each one's JUNK chunk stepping over
    // the next header to its JUNK chunk; no "fmt " and no "data" anywhere.
    RiffChains,
    // Lines "MIDlet-1: x" and nothing else.
    JadLines,
    // Groups of up to 2,100 local headers (flag bit 3, deflated), each one's extra
    // field stepping over the headers after it into one deflate stream that
    // never ends.
    JarSharedInflate,
    // The same with stored entries of unknown size: every header's search for
    // its data descriptor reads the same bytes.
    JarSharedStored,
    // Two-line descriptors giving a JAR's URL and size, each followed by a
    // small JAR in a file-system entry of that name.
    JadJarPairs,
    // 34-byte AMR-WB files of 25 no-data frames, one after another.
    TinyAmrWb,
    // AMR-NB files of 50 no-data frames.
    TinyAmrNb,
    // 35-byte MIDI files of one note each.
    TinyMidi,
    // One MIDI whose track holds note after note at tick 0.
    ManyNotesMidi,
    // 559-byte JARs each claiming (and deflating to) a 256 KiB icon.
    BigIconJars,
};

// Every kind, in declaration order, with its name on the command line.
struct HostileKindName {
    HostileKind Kind;
    std::string_view Name;
    // True for the kinds that hold items (tiny valid ones), false for those
    // that hold none.
    bool HoldsItems;
};
extern const HostileKindName kHostileKinds[10];

std::optional<HostileKind> HostileKindNamed(std::string_view name);

// An image of kind of about size bytes (at least one repeat).
std::vector<uint8_t> BuildHostileImage(HostileKind kind, std::size_t size);

}  // namespace kestrix::test_support
