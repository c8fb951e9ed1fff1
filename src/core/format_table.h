#pragma once

#include "bmp_walk.h"
#include "gif_walk.h"
#include "jpeg_walk.h"
#include "picture_type.h"
#include "png_walk.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace kestrix {

// What a found item is to its owner: the content search lists each kind apart.
enum class ContentKind : uint8_t { Picture, Sound, Application, File };

// One format the content search knows. Adding a format is one row here and one
// walker.
struct FormatTraits {
    PictureType Type;
    ContentKind Kind;
    // The type name of its rows and the extension of its saved files.
    std::string_view Name;
    // The first two bytes of every item: the candidate scan looks for them.
    std::array<uint8_t, 2> Lead;
    // Walks an item from its first byte to its true end (see WalkResult).
    // thorough: also verify what costs a pass over the data (PNG's CRCs); the
    // search drops it only for hostile images that have used up their budget.
    WalkResult (*Walk)(std::span<const uint8_t> bytes, bool thorough) noexcept;
};

inline constexpr FormatTraits kFormats[] = {
    {PictureType::Gif,
     ContentKind::Picture,
     "gif",
     {'G', 'I'},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkGif(bytes); }},
    {PictureType::Bmp,
     ContentKind::Picture,
     "bmp",
     {'B', 'M'},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkBmp(bytes); }},
    {PictureType::Jpeg,
     ContentKind::Picture,
     "jpg",
     {0xFF, 0xD8},
     [](std::span<const uint8_t> bytes, bool) noexcept { return WalkJpeg(bytes); }},
    {PictureType::Png,
     ContentKind::Picture,
     "png",
     {0x89, 'P'},
     [](std::span<const uint8_t> bytes, bool thorough) noexcept {
         return WalkPng(bytes, thorough ? PngCrc::Check : PngCrc::Trust);
     }},
};

// Every format, in PictureType order.
constexpr std::span<const FormatTraits> AllFormats() noexcept
{
    return kFormats;
}

constexpr const FormatTraits& TraitsOf(PictureType type) noexcept
{
    return kFormats[static_cast<std::size_t>(type)];
}

// The caption of a numbered item of a kind, Windows-1251: "Картинка" for
// pictures, as in "Картинка (N).ext".
std::string_view KindCaption(ContentKind kind) noexcept;

}  // namespace kestrix
