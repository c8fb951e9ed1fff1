#pragma once

#include <cstdint>
#include <span>

namespace kestrix {

// What a structure walk made of the bytes at a candidate item's start.
//   NoItem:     the header fails its checks (no item is listed);
//   Truncated:  the header is sound, but the walk met the end of the bytes, an
//               impossible block or erased flash before the end marker;
//   Whole:      the walk reached the format's end marker.
enum class WalkVerdict : uint8_t { NoItem, Truncated, Whole };

// The result of walking one item's structure. Offsets are relative to the
// first byte of the walked bytes, which are never more than 2^31 - 1.
struct WalkResult {
    WalkVerdict Verdict = WalkVerdict::NoItem;
    // One past the last part the walk accepted: the end marker's last byte + 1
    // for a whole item; 0 for no item.
    int32_t End = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    // Image descriptors of a GIF; 0 for the other formats.
    int32_t Frames = 0;
    // False when a whole structure holds no image data at all (a GIF without
    // a frame, a JPEG without a scan, a PNG without IDAT).
    bool HasImageData = false;
    // The end of the header (a GIF's first block, a JPEG's first scan data, a
    // BMP's pixels; for PNG, whose chunks carry CRCs, End): a truncated walk is
    // sure of the parts before it, while later parts may be bytes that followed
    // the cut. At most End.
    int32_t SureEnd = 0;
    // One past the furthest byte the walk read or stepped over: its cost.
    int64_t Examined = 0;
    // Sound walks only (0 when unknown and for pictures): the playing time in
    // milliseconds, samples per second, channels, and a MIDI or SMAF item's tracks.
    int64_t DurationMs = 0;
    int32_t SampleRate = 0;
    int32_t Channels = 0;
    int32_t Tracks = 0;
};

// This many bytes FFh where structure must be are erased flash, not data.
inline constexpr int32_t kErasedRunLength = 32;

// True when the count bytes from offset all equal value (the caller keeps the
// range inside bytes).
inline bool IsRunOf(std::span<const uint8_t> bytes, int64_t offset, int64_t count, uint8_t value) noexcept
{
    for (int64_t i = 0; i < count; ++i)
        if (bytes[static_cast<std::size_t>(offset + i)] != value)
            return false;
    return true;
}

// True when the 4 bytes from offset (inside bytes) are printable ASCII, as the
// type of a RIFF or MIDI chunk is.
inline bool IsPrintableTag(std::span<const uint8_t> bytes, int64_t offset) noexcept
{
    for (int64_t i = 0; i < 4; ++i) {
        const uint8_t c = bytes[static_cast<std::size_t>(offset + i)];
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

inline uint32_t ReadLe16(std::span<const uint8_t> bytes, int64_t offset) noexcept
{
    const auto at = static_cast<std::size_t>(offset);
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8;
}

inline uint32_t ReadLe32(std::span<const uint8_t> bytes, int64_t offset) noexcept
{
    return ReadLe16(bytes, offset) | ReadLe16(bytes, offset + 2) << 16;
}

inline uint32_t ReadBe16(std::span<const uint8_t> bytes, int64_t offset) noexcept
{
    const auto at = static_cast<std::size_t>(offset);
    return static_cast<uint32_t>(bytes[at]) << 8 | static_cast<uint32_t>(bytes[at + 1]);
}

inline uint32_t ReadBe32(std::span<const uint8_t> bytes, int64_t offset) noexcept
{
    return ReadBe16(bytes, offset) << 16 | ReadBe16(bytes, offset + 2);
}

}  // namespace kestrix
