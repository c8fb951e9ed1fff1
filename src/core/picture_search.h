#pragma once

#include "picture_type.h"
#include "scan_hooks.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrix {

// One picture found anywhere in the image. Offsets are zero-based, signed 32-bit.
struct FoundPicture {
    PictureType Type = PictureType::Gif;
    PictureStatus Status = PictureStatus::Complete;
    int32_t Start = 0;
    // One past the last byte the walk accepted (the end marker's last byte + 1).
    int32_t End = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    // Frames of a GIF; 0 for the other formats.
    int32_t Frames = 0;
    // The name of the file-system entry whose data this picture is (Windows-1251
    // bytes as read from the image); empty when no entry holds it.
    std::string EntryName;

    int32_t Size() const noexcept { return End - Start; }
    bool operator==(const FoundPicture&) const = default;
};

// Finds every GIF, BMP, JPEG and PNG picture in image in one pass, walking each to its
// true end (see WalkGif, WalkBmp, WalkJpeg, WalkPng). Pictures lying inside another
// listed picture are not listed; but where the walk of a truncated picture ran on past
// its image data into another picture, the truncated one ends where that one starts.
// Rows are in order of their start. A row whose bytes are the data of a file-system
// entry (signature 00 00 01 FF 00 00 00 at its start - 38) carries the entry's name.
// hooks.DecodeCheck decides Complete, Damaged or Unchecked for whole pictures with image
// data (it is never asked about truncated ones); it runs on worker threads, one per core,
// after the walk, while the calling thread only waits. Reports progress through hooks
// (ShowGauge with the image size, MoveGauge with the offset reached, KeepGoing after every
// few MiB walked and then every 10 ms while the checks run, HideGauge; RowAppended is not
// used); std::nullopt when KeepGoing ended the search, which cancels the checks under way.
// The walk is linear in the image size, also for hostile images.
std::optional<std::vector<FoundPicture>> FindAllPictures(std::span<const uint8_t> image, const ScanHooks& hooks);

}  // namespace kestrix
