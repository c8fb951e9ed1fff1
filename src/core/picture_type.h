#pragma once

#include <atomic>
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
//   Damaged:   the structure is whole but the pixels do not decode, or stop short;
//   Unchecked: the structure is whole, but decoding its pixels would cost more
//              than its bytes allow (a small file that declares a huge canvas),
//              so they were not decoded.
enum class PictureStatus : uint8_t { Complete, Truncated, Damaged, Unchecked };

// "gif", "bmp", "jpg", "png": also the extension of a saved picture.
const char* PictureTypeName(PictureType type) noexcept;
// "complete", "truncated", "damaged", "unchecked".
const char* PictureStatusName(PictureStatus status) noexcept;

// Decides whether bytes (one found picture, its structure already walked) decode to
// fully defined pixels: Complete, Damaged or Unchecked (never Truncated). The core
// has no decoder of its own: the front ends pass one. An empty check counts every
// structurally whole picture as complete. The search calls it from several threads
// at once, in no fixed order, never from the thread that started the search; once
// cancel turns true the answer no longer matters and the check should return soon.
using PictureDecodeCheck =
    std::function<PictureStatus(PictureType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel)>;

}  // namespace kestrix
