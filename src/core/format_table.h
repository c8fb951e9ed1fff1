#pragma once

#include "amr_walk.h"
#include "bmp_walk.h"
#include "gif_walk.h"
#include "imelody_walk.h"
#include "jad_walk.h"
#include "jar_walk.h"
#include "jpeg_walk.h"
#include "midi_walk.h"
#include "mp3_walk.h"
#include "picture_type.h"
#include "png_walk.h"
#include "riff_walk.h"
#include "smaf_walk.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace kestrix {

// What a found item is to its owner: the content search lists each kind apart.
enum class ContentKind : uint8_t { Picture, Sound, Application, File };

// Every type of item the content search lists. The pictures come first, in
// PictureType order; File is a file-system entry whose data are of no known
// format, and has no row in the format table.
enum class ContentType : uint8_t {
    Gif,
    Bmp,
    Jpeg,
    Png,
    Midi,
    Amr,
    AmrWb,
    Mp3,
    Wav,
    Qcp,
    Rmid,
    Imelody,
    Smaf,
    Jar,
    Jad,
    File,
};

// One format the content search knows. Adding a format is one row here and one
// walker.
struct FormatTraits {
    ContentType Type;
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
    {ContentType::Gif,
     ContentKind::Picture,
     "gif",
     {'G', 'I'},
     "GIF",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkGif(bytes); }},
    {ContentType::Bmp,
     ContentKind::Picture,
     "bmp",
     {'B', 'M'},
     {},
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkBmp(bytes); }},
    {ContentType::Jpeg,
     ContentKind::Picture,
     "jpg",
     {0xFF, 0xD8},
     {},
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkJpeg(bytes); }},
    {ContentType::Png,
     ContentKind::Picture,
     "png",
     {0x89, 'P'},
     {},
     {},
     [](std::span<const uint8_t> bytes, bool thorough) noexcept {
         return WalkPng(bytes, thorough ? PngCrc::Check : PngCrc::Trust);
     }},
    {ContentType::Midi,
     ContentKind::Sound,
     "mid",
     {'M', 'T'},
     "MThd",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkMidi(bytes); }},
    {ContentType::Amr, ContentKind::Sound, "amr", {'#', '!'}, "#!AMR\n", {}, format_walks::Amr},
    {ContentType::AmrWb, ContentKind::Sound, "awb", {'#', '!'}, "#!AMR-WB\n", {}, format_walks::Amr},
    // MPEG audio also starts at a bare frame header (FF, then Ex or Fx): see
    // IsMpegFrameLead.
    {ContentType::Mp3,
     ContentKind::Sound,
     "mp3",
     {'I', 'D'},
     "ID3",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkMp3(bytes); }},
    {ContentType::Wav, ContentKind::Sound, "wav", {'R', 'I'}, "RIFF", "WAVE", format_walks::Riff},
    {ContentType::Qcp, ContentKind::Sound, "qcp", {'R', 'I'}, "RIFF", "QLCM", format_walks::Riff},
    {ContentType::Rmid, ContentKind::Sound, "rmi", {'R', 'I'}, "RIFF", "RMID", format_walks::Riff},
    {ContentType::Imelody,
     ContentKind::Sound,
     "imy",
     {'B', 'E'},
     "BEGIN:IMELODY",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkImelody(bytes); }},
    {ContentType::Smaf,
     ContentKind::Sound,
     "mmf",
     {'M', 'M'},
     "MMMD",
     {},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkSmaf(bytes); }},
    {ContentType::Jar,
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
    {ContentType::Jad,
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

// The formats of the deep picture search: the first rows, in PictureType order.
inline constexpr std::size_t kPictureFormatCount = 4;

// Every format, in ContentType order.
constexpr std::span<const FormatTraits> AllFormats() noexcept
{
    return kFormats;
}

// The picture formats alone.
constexpr std::span<const FormatTraits> PictureFormats() noexcept
{
    return std::span<const FormatTraits>(kFormats).first(kPictureFormatCount);
}

// The row of type; type must not be ContentType::File.
constexpr const FormatTraits& TraitsOf(ContentType type) noexcept
{
    return kFormats[static_cast<std::size_t>(type)];
}

constexpr const FormatTraits& TraitsOf(PictureType type) noexcept
{
    return kFormats[static_cast<std::size_t>(type)];
}

// The content type of a picture type.
constexpr ContentType ContentTypeOf(PictureType type) noexcept
{
    return static_cast<ContentType>(type);
}

// The picture type of a content type of kind Picture.
constexpr PictureType PictureTypeOf(ContentType type) noexcept
{
    return static_cast<PictureType>(type);
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
