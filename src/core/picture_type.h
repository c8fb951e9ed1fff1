#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace kestrix {

// The picture formats the deep picture search recognises.
enum class PictureType : uint8_t { Gif, Bmp, Jpeg, Png };

// How whole a found picture is.
//   Complete:  the walk reached the format's end marker and the pixels decode in full;
//   Truncated: the header is sound but the walk met the image's end, an impossible
//              block or erased flash before the end marker;
//   Damaged:   the structure is whole but the pixels do not decode, or stop short.
enum class PictureStatus : uint8_t { Complete, Truncated, Damaged };

// "gif", "bmp", "jpg", "png": also the extension of a saved picture.
const char* PictureTypeName(PictureType type) noexcept;
// "complete", "truncated", "damaged".
const char* PictureStatusName(PictureStatus status) noexcept;

// Decides whether bytes (one found picture, its structure already walked) decode to
// fully defined pixels. The core has no decoder of its own: the front ends pass one.
// An empty check counts every structurally whole picture as complete. The search
// calls it from several threads at once, in no fixed order.
using PictureDecodeCheck = std::function<bool(PictureType type, std::span<const uint8_t> bytes)>;

}  // namespace kestrix
