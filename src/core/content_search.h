#pragma once

#include "format_table.h"
#include "picture_type.h"
#include "scan_hooks.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrix {

// How whole a found item is: the picture statuses serve every kind.
//   Complete:  the walk reached the item's end (and a picture's pixels decode);
//   Truncated: the item was cut (by the image's end, erased flash, or an entry
//              whose data need more bytes than its size gives);
//   Damaged:   the structure breaks inside its bytes or does not decode;
//   Unchecked: nothing could check the bytes (an entry of no known format, a
//              picture too costly to decode).
using ContentStatus = PictureStatus;

// What the manifest of a Java application (JAR) or its descriptor (JAD) says.
struct MidletInfo {
    std::string Name;
    std::string Vendor;
    std::string Version;
    // The icon the manifest names, as written, and its bytes when the archive
    // holds them (JAR only).
    std::string IconPath;
    std::vector<uint8_t> Icon;
    // A descriptor's MIDlet-Jar-URL and MIDlet-Jar-Size (-1 when missing).
    std::string JarUrl;
    int64_t JarSize = -1;

    bool operator==(const MidletInfo&) const = default;
};

// One item found anywhere in the image. Offsets are zero-based, signed 32-bit.
struct FoundItem {
    ContentType Type = ContentType::File;
    ContentStatus Status = ContentStatus::Complete;
    int32_t Start = 0;
    // One past the item's last byte.
    int32_t End = 0;
    // Pictures: width, height and a GIF's frames.
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Frames = 0;
    // Sounds (0 when unknown): playing time, samples per second, channels, and
    // the tracks of a MIDI or SMAF item.
    int64_t DurationMs = 0;
    int32_t SampleRate = 0;
    int32_t Channels = 0;
    int32_t Tracks = 0;
    // Applications: the index of the item's facts in ContentFound::Midlets, -1
    // for none.
    int32_t Midlet = -1;
    // The name of the file-system entry whose data the item is (Windows-1251
    // bytes as read from the image); empty when no entry holds it.
    std::string EntryName;

    int32_t Size() const noexcept { return End - Start; }
    bool operator==(const FoundItem&) const = default;
};

// Everything the content search found, in order of the items' starts.
struct ContentFound {
    std::vector<FoundItem> Items;
    std::vector<MidletInfo> Midlets;
};

// The kind of a content type: File for ContentType::File.
ContentKind KindOf(ContentType type) noexcept;

// The type name of a content type, also the extension of a saved item ("gif",
// "mid", "jar"...); "bin" for ContentType::File.
const char* ContentTypeName(ContentType type) noexcept;

// The type name of item: ContentTypeName, but for a file-system entry of no
// known format the extension of its name (after its last dot, at most 8
// characters of letters and digits, lower case), or "bin".
std::string ItemTypeName(const FoundItem& item);

// The caption of every item, which is also the name it is saved under
// (Windows-1251): its entry's name, or "<kind caption> (N).<type name>" with N
// counting the items of its kind without an entry name from 1 in list order
// ("Картинка (3).gif", "Звук (1).mid").
std::vector<std::string> ContentCaptions(const std::vector<FoundItem>& items);

// The sound decoders' verdict on a whole sound of type (see CheckSound): like
// PictureDecodeCheck, called from worker threads.
using SoundDecodeCheck =
    std::function<ContentStatus(ContentType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel)>;

// Finds every picture, sound, Java application and file of the phone in image
// in one pass, each walked by its format's structure to its true end.
//   - Candidates: each format's signature (format table), and an MPEG frame
//     header for MP3; a JAD starts at the run of attribute lines holding its
//     "MIDlet-" line.
//   - Items lying inside a listed item are not listed again; a truncated item
//     whose walk ran on past its cut ends where the next item starts.
//   - File-system entries (signature 00 00 01 FF 00 00 00 at h, name at h - 89,
//     size at h + 22, data from h + 38; a signature whose name starts with a
//     zero byte is no entry): an entry whose stated data lie inside
//     the image and cross no other entry's signature is one item of exactly its
//     size. Data of a known format are walked within that size: Complete when
//     the walk ends exactly at the entry's end, Truncated when it needs more
//     bytes or ends where erased flash fills the rest of the entry, Damaged
//     when it breaks or ends inside. Data of no known format are
//     a File item, Unchecked. An entry whose range crosses the image's end or
//     another entry's signature cannot be whole: data of a known format are
//     walked as if no entry held them (and keep the entry's name), other data
//     are a File item, Truncated, ending at the image's end or the crossed
//     entry's name. File items are listed once per entry name (the first
//     entry of a name); items of a known format are listed for every entry.
//   - hooks.DecodeCheck decides Complete, Damaged or Unchecked for whole
//     pictures with image data, and soundCheck for whole sounds, on worker
//     threads beside the scan; either may be empty (no check).
//   - A descriptor whose MIDlet-Jar-URL names a listed JAR (by its entry's
//     name) of another size than its MIDlet-Jar-Size is Damaged.
// Progress as FindAllPictures (ShowGauge with the image size, MoveGauge,
// KeepGoing every few MiB and every 10 ms of checks, HideGauge); std::nullopt
// when KeepGoing ended the search. The work is linear in the image size, also
// for hostile images.
std::optional<ContentFound> FindAllContent(std::span<const uint8_t> image, const ScanHooks& hooks,
                                           const SoundDecodeCheck& soundCheck = {});

}  // namespace kestrix
