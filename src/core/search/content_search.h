#pragma once

#include "format_table.h"
#include "item_type.h"
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

// The set of kinds a search lists.
class ContentKinds {
public:
    constexpr ContentKinds() noexcept = default;
    // Every kind.
    static constexpr ContentKinds All() noexcept { return ContentKinds(0x0F); }
    // kind alone.
    static constexpr ContentKinds Only(ContentKind kind) noexcept
    {
        return ContentKinds(static_cast<uint8_t>(1u << static_cast<unsigned>(kind)));
    }
    constexpr ContentKinds With(ContentKind kind) const noexcept
    {
        return ContentKinds(static_cast<uint8_t>(m_bits | Only(kind).m_bits));
    }
    constexpr bool Has(ContentKind kind) const noexcept { return (m_bits >> static_cast<unsigned>(kind) & 1u) != 0; }
    constexpr bool Empty() const noexcept { return m_bits == 0; }
    constexpr bool operator==(const ContentKinds&) const noexcept = default;

private:
    constexpr explicit ContentKinds(uint8_t bits) noexcept : m_bits(bits) {}
    uint8_t m_bits = 0;
};

// How the archive a descriptor names fits what the descriptor states.
enum class JarMatch : uint8_t {
    // No listed archive is the one described (also every item but a descriptor).
    None,
    // The archive is listed whole, of the stated size (or none is stated).
    Fits,
    // The archive is listed truncated.
    Cut,
    // The archive is whole, but of another size than the stated one.
    OtherSize,
};

// One item found anywhere in the image. Offsets are zero-based, signed 32-bit.
struct FoundItem {
    ItemType Type = ItemType::File;
    ItemStatus Status = ItemStatus::Complete;
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
    // Bytes of the entry after the format's end: they belong to the entry and
    // are saved with the item, but the decoders read only the format's bytes.
    int32_t Trailing = 0;
    StatusReason Reason = StatusReason::None;
    // A descriptor (Jad): the index in ContentFound::Items of the archive it
    // describes (FindDescribedJars), -1 for none, and how that archive fits.
    int32_t Jar = -1;
    JarMatch JarFit = JarMatch::None;

    int32_t Size() const noexcept { return End - Start; }
    // The bytes of the format itself: Size() less the trailing bytes.
    int32_t FormatSize() const noexcept { return End - Start - Trailing; }
    bool operator==(const FoundItem&) const = default;
};

// Everything the content search found, in order of the items' starts.
struct ContentFound {
    std::vector<FoundItem> Items;
    std::vector<MidletInfo> Midlets;
};

// The kind of a content type (its row in formats): File for ItemType::File.
ContentKind KindOf(ItemType type, FormatTable formats = kFormats) noexcept;

// The type name of a content type, also the extension of a saved item ("gif",
// "mid", "jar"...); "bin" for ItemType::File.
const char* ContentTypeName(ItemType type, FormatTable formats = kFormats) noexcept;

// The type name of item: ContentTypeName, but for a file-system entry of no
// known format the extension of its name (after its last dot, at most 8
// characters of letters and digits, lower case), or "bin".
std::string ItemTypeName(const FoundItem& item, FormatTable formats = kFormats);

// The caption of every item, which is also the name it is saved under
// (Windows-1251): its entry's name, or "<kind caption> (N).<type name>" with N
// the item's place among the items of its kind, from 1 in image order, named
// ones counted too ("Картинка (3).gif", "Звук (1).mid"). A list restricted to
// some kinds gives its items the captions they have in the whole list.
std::vector<std::string> ContentCaptions(const std::vector<FoundItem>& items, FormatTable formats = kFormats);

// The caption of an item without an entry name at place number (from 1) among
// the items of its kind: "<kind caption> (number).<type name>".
std::string NumberedCaption(const FoundItem& item, std::size_t number, FormatTable formats = kFormats);

// Why the item has its status, as a short Russian text in UTF-8 for the front
// ends: "" for a complete item with nothing to say, else the reason and, for
// trailing bytes, "N байт после конца"; for a descriptor whose archive is cut
// or of another size, that too.
std::string StatusDetail(const FoundItem& item);

// The sound decoders' verdict on a whole sound of type (see CheckSound): like
// PictureDecodeCheck, called from worker threads.
using SoundDecodeCheck =
    std::function<ItemStatus(ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>& cancel)>;

// Finds every picture, sound, Java application and file of the phone in image
// in one pass, each walked by its format's structure to its true end.
//   - Candidates: each format's signature in formats (the format table), and
//     where its start hook says (FormatStart: an MPEG frame header for MP3; a
//     JAD starts at the run of attribute lines holding its "MIDlet-" line).
//   - Items lying inside a listed item are not listed again; a truncated item
//     whose walk ran on past its cut ends where the next item starts. A
//     bitmap's pixels may hold erased flash (white is FFh): a bitmap in whose
//     pixels a run of erased flash is followed, inside its stated size, by a
//     whole item was cut where that run starts, and the items after it are
//     listed.
//   - File-system entries (signature 00 00 01 FF 00 00 00 at h, name at h - 89,
//     size at h + 22, data from h + 38; a signature whose name starts with a
//     zero byte is no entry): an entry whose stated data lie inside
//     the image and cross no other entry's signature is one item of exactly its
//     size. Data of a known format are walked within that size: Complete when
//     the walk reaches the format's end (bytes after it inside the entry are
//     its Trailing bytes), Truncated when it needs more bytes or ends where
//     erased flash fills the rest of the entry, Damaged when it breaks inside
//     the entry. Data of no known format are
//     a File item, Unchecked. An entry whose range crosses the image's end or
//     another entry's signature cannot be whole: data of a known format are
//     walked as if no entry held them (and keep the entry's name), other data
//     are a File item, Truncated, ending at the image's end or the crossed
//     entry's name. File items are listed once per entry name (the first
//     entry of a name); items of a known format are listed for every entry.
//   - hooks.DecodeCheck decides Complete, Damaged or Unchecked for whole
//     pictures with image data, and soundCheck for whole sounds (the row's
//     decoder hook says which), on worker threads beside the scan; either may
//     be empty (no check).
//   - Descriptors (JAD) are judged by their grammar alone, also as an entry's
//     data (whatever attribute comes first). Each is given the archive it
//     describes (FindDescribedJars: Jar, JarFit); a descriptor whose text is
//     whole stays Complete when its archive is cut.
//   - kinds: the kinds listed and checked. Items of the other kinds are still
//     walked, so the listed items, their ends, statuses and captions are those
//     of the whole list.
//   - formats: the formats looked for; kFormats, the program's, is scanned
//     in vectors, any other table byte by byte (tests add formats of their
//     own; their items are named through the same table).
// Progress: ShowGauge with the image size, MoveGauge with the offset reached,
// KeepGoing every few MiB of work and every 10 ms while the checks finish,
// HideGauge; std::nullopt when KeepGoing ended the search, which cancels the
// checks under way. The work is linear in the image size, also for hostile
// images.
std::optional<ContentFound> FindAllContent(std::span<const uint8_t> image, const ScanHooks& hooks,
                                           const SoundDecodeCheck& soundCheck = {},
                                           ContentKinds kinds = ContentKinds::All(), FormatTable formats = kFormats);

}  // namespace kestrix
