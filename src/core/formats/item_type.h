#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

namespace kestrix {

// What a found item is to its owner: the content search lists each kind apart.
enum class ContentKind : uint8_t { Picture, Sound, Application, File };

// What a found item is: one of the formats of the format table, in its order
// (the pictures first), or File, a file-system entry whose data are of no known
// format (the type cell of its row is the extension of its name).
enum class ItemType : uint8_t {
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

// How whole a found item is.
//   Complete:  the walk reached the item's end, and a picture's pixels or a
//              sound's samples decode in full where a decoder knows the format;
//   Truncated: the item was cut (by the image's end, erased flash, or an entry
//              whose data need more bytes than its size gives);
//   Damaged:   the structure breaks inside its bytes, or does not decode;
//   Unchecked: nothing could check the bytes (an entry of no known format, a
//              picture whose decode would cost more than its bytes allow).
enum class ItemStatus : uint8_t { Complete, Truncated, Damaged, Unchecked };

// Why an item has the status it has; None for a complete item with nothing
// to add.
enum class StatusReason : uint8_t {
    None,
    // Truncated: the image ends, erased flash begins, or the entry's size is
    // too small for the item.
    Cut,
    // Damaged: the structure is whole but holds no picture data at all.
    NoImageData,
    // Damaged: the structure breaks inside the entry's data.
    BrokenInEntry,
    // Damaged: the decoder refused the item, or its decode does not match its walk.
    DoesNotDecode,
    // Unchecked: decoding would cost more than the item's bytes allow.
    TooCostly,
    // Unchecked: no decoder or check knows the format.
    NoCheck,
};

// "complete", "truncated", "damaged", "unchecked".
const char* ItemStatusName(ItemStatus status) noexcept;

// Decides whether bytes (one found picture, its structure already walked) decode to
// fully defined pixels: Complete, Damaged or Unchecked (never Truncated). The core
// has no decoder of its own: the front ends pass one. An empty check counts every
// structurally whole picture as complete. The search calls it from several threads
// at once, in no fixed order, never from the thread that started the search; once
// cancel turns true the answer no longer matters and the check should return soon.
using PictureDecodeCheck =
    std::function<ItemStatus(ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel)>;

}  // namespace kestrix
