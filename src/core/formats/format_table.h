#pragma once

#include "amr_walk.h"
#include "bmp_walk.h"
#include "gif_walk.h"
#include "imelody_walk.h"
#include "item_type.h"
#include "jad_walk.h"
#include "jar_walk.h"
#include "jpeg_walk.h"
#include "midi_walk.h"
#include "midlet_info.h"
#include "mp3_walk.h"
#include "png_walk.h"
#include "riff_walk.h"
#include "smaf_walk.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kestrix {

// True for the second byte of an MPEG audio frame header of Layer II or III
// after its first byte FFh: the sync's last three bits, a version other than
// the reserved one, and layer bits 01 or 10.
constexpr bool IsMpegFrameLead(uint8_t second) noexcept
{
    const uint8_t layer = (second >> 1) & 3;
    return (second & 0xE0) == 0xE0 && ((second >> 3) & 3) != 1 && (layer == 1 || layer == 2);
}

// A set of byte values, usable in constant expressions.
struct ByteSet {
    std::array<uint64_t, 4> Bits{};

    constexpr bool Has(uint8_t byte) const noexcept { return (Bits[byte >> 6] >> (byte & 63) & 1) != 0; }
    constexpr bool Empty() const noexcept { return (Bits[0] | Bits[1] | Bits[2] | Bits[3]) == 0; }
    constexpr bool operator==(const ByteSet&) const noexcept = default;
    // The one byte value.
    static constexpr ByteSet Of(uint8_t byte) noexcept
    {
        ByteSet set;
        set.Bits[byte >> 6] |= uint64_t{1} << (byte & 63);
        return set;
    }
    // The byte values for which test holds.
    static constexpr ByteSet Where(bool (*test)(uint8_t byte) noexcept) noexcept
    {
        ByteSet set;
        for (unsigned byte = 0; byte < 256; ++byte)
            if (test(static_cast<uint8_t>(byte)))
                set.Bits[byte >> 6] |= uint64_t{1} << (byte & 63);
        return set;
    }
};

// A walk and the facts it read that a WalkResult does not hold: an
// application's name, vendor, version, icon and archive link.
struct FormatWalk {
    WalkResult Walk;
    std::optional<MidletInfo> Midlet;
};

// Which of the front ends' decoders judges a whole item of a format, and
// draws or plays it.
enum class FormatDecoder : uint8_t {
    // The walk's verdict is the item's: nothing decodes it.
    None,
    // The picture decode check (PictureDecodeCheck: src/checks) judges it,
    // src/imaging draws it.
    Picture,
    // The sound check (SoundDecodeCheck: CheckSound in src/sound) judges it,
    // DecodeSound plays it where it can.
    Sound,
};

// Where an item of a format starts, when that is not simply at its lead.
struct FormatStart {
    // A second lead: a first byte, and the bytes that may follow it (MPEG
    // audio's bare frame header: FFh, then a byte for which IsMpegFrameLead
    // holds). The signature and form are not checked there. None when
    // BareSeconds is empty.
    uint8_t BareFirst = 0;
    ByteSet BareSeconds{};
    // Whether the signature at p in image is where the search looks for an
    // item at all (a descriptor's "MIDlet-" line only where its run of lines
    // is read from: IsJadCandidate); null: every signature is.
    bool (*Takes)(std::span<const uint8_t> image, int64_t p) noexcept = nullptr;
    // Where the item whose signature is at p begins, between floor (the end
    // of what the search has listed, at most p) and p: a descriptor's first
    // attribute line before its "MIDlet-" line. Null: at p. A format with a
    // Begin hook is not looked for inside what is listed, and the search goes
    // on past its signature whatever the walk found.
    int64_t (*Begin)(std::span<const uint8_t> image, int64_t p, int64_t floor) noexcept = nullptr;
    // In a file-system entry's data the format is tried by its walk alone,
    // whatever the first bytes (a descriptor may start with any attribute).
    bool AnyLeadInEntry = false;
};

// One format the content search knows: everything the search, the names and
// the front ends read of it. Adding a format is one row here and one walker
// (docs/adding-a-format.md).
struct FormatTraits {
    ItemType Type;
    ContentKind Kind;
    // The type name of its rows and the extension of its saved files.
    std::string_view Name;
    // The first two bytes of every item: the candidate scan looks for them.
    std::array<uint8_t, 2> Lead;
    // The bytes every item starts with (Lead included), checked before the
    // walk; empty when the lead is all.
    std::string_view Signature{};
    // The bytes at offset 8 (a RIFF file's form); empty for none.
    std::string_view Form{};
    // Walks an item from its first byte to its true end (see WalkResult); a
    // sound's walk also fills its facts (duration, rate, channels, tracks), a
    // picture's its size and frames.
    // thorough: also verify what costs a pass over the data (PNG's CRCs); the
    // search drops it only for hostile images that have used up their budget.
    WalkResult (*Walk)(std::span<const uint8_t> bytes, bool thorough) noexcept;
    // The facts hook: walks as Walk does and also reads the facts a
    // WalkResult does not hold (an application's name, vendor and version).
    // May throw when the facts cannot be held (the search then finds no
    // item). Null: Walk's facts are all.
    FormatWalk (*Facts)(std::span<const uint8_t> bytes, bool thorough) = nullptr;
    // The decoder hook: which decoder judges and plays a whole item.
    FormatDecoder Decoder = FormatDecoder::None;
    // The start hook: a second lead, and where an item begins before its lead.
    FormatStart Start{};
    // The format is text: after its end one FFh is a letter ("я" in
    // Windows-1251), erased flash only as a run (ErasedTextAt).
    bool IsText = false;
    // Its structure may hold erased flash (white pixels of a bitmap are FFh):
    // a whole item that starts after such a run inside a whole item cuts that
    // item where the run starts.
    bool MayHoldErased = false;
};

namespace format_walks {

inline WalkResult Riff(std::span<const uint8_t> bytes, bool) noexcept
{
    return WalkRiff(bytes);
}

inline WalkResult Amr(std::span<const uint8_t> bytes, bool) noexcept
{
    return WalkAmr(bytes);
}

// The walks of an archive and a descriptor with their applications' facts:
// MidletInfo from the archive's manifest (none when it has none) or from the
// descriptor's attributes. They throw what WalkJar and WalkJad throw.
FormatWalk JarWithFacts(std::span<const uint8_t> bytes, bool thorough);
FormatWalk JadWithFacts(std::span<const uint8_t> bytes, bool thorough);

// Where a descriptor whose "MIDlet-" line is at p begins (the Begin hook):
// the first line of its run of attribute lines (JadRunStart from floor) when
// the line before p ends right before it, else p.
int64_t JadBegin(std::span<const uint8_t> image, int64_t p, int64_t floor) noexcept;

}  // namespace format_walks

inline constexpr FormatTraits kFormats[] = {
    {.Type = ItemType::Gif,
     .Kind = ContentKind::Picture,
     .Name = "gif",
     .Lead = {'G', 'I'},
     .Signature = "GIF",
     .Walk = [](std::span<const uint8_t> bytes, bool) noexcept { return WalkGif(bytes); },
     .Decoder = FormatDecoder::Picture},
    {.Type = ItemType::Bmp,
     .Kind = ContentKind::Picture,
     .Name = "bmp",
     .Lead = {'B', 'M'},
     .Walk = [](std::span<const uint8_t> bytes, bool) noexcept { return WalkBmp(bytes); },
     .Decoder = FormatDecoder::Picture,
     .MayHoldErased = true},
    {.Type = ItemType::Jpeg,
     .Kind = ContentKind::Picture,
     .Name = "jpg",
     .Lead = {0xFF, 0xD8},
     .Walk = [](std::span<const uint8_t> bytes, bool) noexcept { return WalkJpeg(bytes); },
     .Decoder = FormatDecoder::Picture},
    {.Type = ItemType::Png,
     .Kind = ContentKind::Picture,
     .Name = "png",
     .Lead = {0x89, 'P'},
     .Walk = [](std::span<const uint8_t> bytes,
                bool thorough) noexcept { return WalkPng(bytes, thorough ? PngCrc::Check : PngCrc::Trust); },
     .Decoder = FormatDecoder::Picture},
    {.Type = ItemType::Midi,
     .Kind = ContentKind::Sound,
     .Name = "mid",
     .Lead = {'M', 'T'},
     .Signature = "MThd",
     .Walk = [](std::span<const uint8_t> bytes, bool) noexcept { return WalkMidi(bytes); },
     .Decoder = FormatDecoder::Sound},
    {.Type = ItemType::Amr,
     .Kind = ContentKind::Sound,
     .Name = "amr",
     .Lead = {'#', '!'},
     .Signature = "#!AMR\n",
     .Walk = format_walks::Amr,
     .Decoder = FormatDecoder::Sound},
    {.Type = ItemType::AmrWb,
     .Kind = ContentKind::Sound,
     .Name = "awb",
     .Lead = {'#', '!'},
     .Signature = "#!AMR-WB\n",
     .Walk = format_walks::Amr,
     .Decoder = FormatDecoder::Sound},
    {.Type = ItemType::Mp3,
     .Kind = ContentKind::Sound,
     .Name = "mp3",
     .Lead = {'I', 'D'},
     .Signature = "ID3",
     .Walk = [](std::span<const uint8_t> bytes, bool) noexcept { return WalkMp3(bytes); },
     .Decoder = FormatDecoder::Sound,
     .Start = {.BareFirst = 0xFF, .BareSeconds = ByteSet::Where(IsMpegFrameLead)}},
    {.Type = ItemType::Wav,
     .Kind = ContentKind::Sound,
     .Name = "wav",
     .Lead = {'R', 'I'},
     .Signature = "RIFF",
     .Form = "WAVE",
     .Walk = format_walks::Riff,
     .Decoder = FormatDecoder::Sound},
    {.Type = ItemType::Qcp,
     .Kind = ContentKind::Sound,
     .Name = "qcp",
     .Lead = {'R', 'I'},
     .Signature = "RIFF",
     .Form = "QLCM",
     .Walk = format_walks::Riff,
     .Decoder = FormatDecoder::Sound},
    {.Type = ItemType::Rmid,
     .Kind = ContentKind::Sound,
     .Name = "rmi",
     .Lead = {'R', 'I'},
     .Signature = "RIFF",
     .Form = "RMID",
     .Walk = format_walks::Riff,
     .Decoder = FormatDecoder::Sound},
    {.Type = ItemType::Imelody,
     .Kind = ContentKind::Sound,
     .Name = "imy",
     .Lead = {'B', 'E'},
     .Signature = "BEGIN:IMELODY",
     .Walk = [](std::span<const uint8_t> bytes, bool) noexcept { return WalkImelody(bytes); },
     .Decoder = FormatDecoder::Sound,
     .IsText = true},
    {.Type = ItemType::Smaf,
     .Kind = ContentKind::Sound,
     .Name = "mmf",
     .Lead = {'M', 'M'},
     .Signature = "MMMD",
     .Walk = [](std::span<const uint8_t> bytes, bool) noexcept { return WalkSmaf(bytes); },
     .Decoder = FormatDecoder::Sound},
    {.Type = ItemType::Jar,
     .Kind = ContentKind::Application,
     .Name = "jar",
     .Lead = {'P', 'K'},
     .Signature = "PK\x03\x04",
     .Walk =
         [](std::span<const uint8_t> bytes, bool) noexcept {
             try {
                 return WalkJar(bytes).Walk;
             } catch (...) {
                 return WalkResult{};
             }
         },
     .Facts = format_walks::JarWithFacts},
    {.Type = ItemType::Jad,
     .Kind = ContentKind::Application,
     .Name = "jad",
     .Lead = {'M', 'I'},
     .Signature = "MIDlet-",
     .Walk =
         [](std::span<const uint8_t> bytes, bool) noexcept {
             try {
                 return WalkJad(bytes).Walk;
             } catch (...) {
                 return WalkResult{};
             }
         },
     .Facts = format_walks::JadWithFacts,
     .Start = {.Takes = IsJadCandidate, .Begin = format_walks::JadBegin, .AnyLeadInEntry = true},
     .IsText = true},
};

// A table of formats: rows of distinct types, none of them File. The content
// search and the names read every format through one; kFormats is the
// program's, in ItemType order (tests add formats of their own).
using FormatTable = std::span<const FormatTraits>;

// The row of type in kFormats; type must not be ItemType::File.
constexpr const FormatTraits& TraitsOf(ItemType type) noexcept
{
    return kFormats[static_cast<std::size_t>(type)];
}

// The row of type in formats, or null when it has none (ItemType::File).
constexpr const FormatTraits* RowOf(FormatTable formats, ItemType type) noexcept
{
    const auto index = static_cast<std::size_t>(type);
    if (index < formats.size() && formats[index].Type == type)
        return &formats[index];
    for (const FormatTraits& row : formats)
        if (row.Type == type)
            return &row;
    return nullptr;
}

// The caption of a numbered item of a kind, Windows-1251: "Картинка" for
// pictures, as in "Картинка (N).ext".
std::string_view KindCaption(ContentKind kind) noexcept;

}  // namespace kestrix
