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
#include "mp3_walk.h"
#include "png_walk.h"
#include "riff_walk.h"
#include "smaf_walk.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace kestrix {

// One format the content search knows. Adding a format is one row here and one
// walker.
struct FormatTraits {
    ItemType Type;
    ContentKind Kind;
    // The type name of its rows and the extension of its saved files.
    std::string_view Name;
    // The first two bytes of every item: the candidate scan looks for them.
    std::array<uint8_t, 2> Lead;
    // The bytes every item starts with (Lead included), checked before the
    // walk; empty when the lead is all.
    std::string_view Signature;
    // The bytes at offset 8 (a RIFF file's form); empty for none.
    std::string_view Form;
    // Walks an item from its first byte to its true end (see WalkResult).
    // thorough: also verify what costs a pass over the data (PNG's CRCs); the
    // search drops it only for hostile images that have used up their budget.
    WalkResult (*Walk)(std::span<const uint8_t> bytes, bool thorough) noexcept;
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

}  // namespace format_walks

inline constexpr FormatTraits kFormats[] = {
    {ItemType::Gif,
     ContentKind::Picture,
     "gif",
     {'G', 'I'},
     "GIF",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkGif(bytes); }},
    {ItemType::Bmp,
     ContentKind::Picture,
     "bmp",
     {'B', 'M'},
     {},
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkBmp(bytes); }},
    {ItemType::Jpeg,
     ContentKind::Picture,
     "jpg",
     {0xFF, 0xD8},
     {},
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkJpeg(bytes); }},
    {ItemType::Png,
     ContentKind::Picture,
     "png",
     {0x89, 'P'},
     {},
     {},
     [](std::span<const uint8_t> bytes, bool thorough) noexcept {
         return WalkPng(bytes, thorough ? PngCrc::Check : PngCrc::Trust);
     }},
    {ItemType::Midi,
     ContentKind::Sound,
     "mid",
     {'M', 'T'},
     "MThd",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkMidi(bytes); }},
    {ItemType::Amr, ContentKind::Sound, "amr", {'#', '!'}, "#!AMR\n", {}, format_walks::Amr},
    {ItemType::AmrWb, ContentKind::Sound, "awb", {'#', '!'}, "#!AMR-WB\n", {}, format_walks::Amr},
    // MPEG audio also starts at a bare frame header (FF, then Ex or Fx): see
    // IsMpegFrameLead.
    {ItemType::Mp3,
     ContentKind::Sound,
     "mp3",
     {'I', 'D'},
     "ID3",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkMp3(bytes); }},
    {ItemType::Wav, ContentKind::Sound, "wav", {'R', 'I'}, "RIFF", "WAVE", format_walks::Riff},
    {ItemType::Qcp, ContentKind::Sound, "qcp", {'R', 'I'}, "RIFF", "QLCM", format_walks::Riff},
    {ItemType::Rmid, ContentKind::Sound, "rmi", {'R', 'I'}, "RIFF", "RMID", format_walks::Riff},
    {ItemType::Imelody,
     ContentKind::Sound,
     "imy",
     {'B', 'E'},
     "BEGIN:IMELODY",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkImelody(bytes); }},
    {ItemType::Smaf,
     ContentKind::Sound,
     "mmf",
     {'M', 'M'},
     "MMMD",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkSmaf(bytes); }},
    {ItemType::Jar,
     ContentKind::Application,
     "jar",
     {'P', 'K'},
     "PK\x03\x04",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept {
         try {
             return WalkJar(bytes).Walk;
         } catch (...) {
             return WalkResult{};
         }
     }},
    // A descriptor starts at the first line of the run holding its "MIDlet-"
    // line (JadRunStart).
    {ItemType::Jad,
     ContentKind::Application,
     "jad",
     {'M', 'I'},
     "MIDlet-",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept {
         try {
             return WalkJad(bytes).Walk;
         } catch (...) {
             return WalkResult{};
         }
     }},
};

// The row of type; type must not be ItemType::File.
constexpr const FormatTraits& TraitsOf(ItemType type) noexcept
{
    return kFormats[static_cast<std::size_t>(type)];
}

// True for the second byte of an MPEG audio frame header of Layer II or III
// after its first byte FFh: the sync's last three bits, a version other than
// the reserved one, and layer bits 01 or 10.
constexpr bool IsMpegFrameLead(uint8_t second) noexcept
{
    const uint8_t layer = (second >> 1) & 3;
    return (second & 0xE0) == 0xE0 && ((second >> 3) & 3) != 1 && (layer == 1 || layer == 2);
}

// The caption of a numbered item of a kind, Windows-1251: "Картинка" for
// pictures, as in "Картинка (N).ext".
std::string_view KindCaption(ContentKind kind) noexcept;

}  // namespace kestrix
