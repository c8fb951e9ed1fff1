#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestrix {

// The layout of an entry of the phone's file system, found by its signature at
// offset h: the name's first character at h - 89, the data's size at h + 22
// and the data from h + 38.
inline constexpr std::array<uint8_t, 7> kFileEntrySignature{0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00};
// kFileEntrySignature as the hex text FindHexPattern takes.
inline constexpr std::string_view kFileEntrySignatureHex = "000001FF000000";
static_assert(
    [] {
        constexpr std::string_view kDigits = "0123456789ABCDEF";
        for (std::size_t i = 0; i < kFileEntrySignature.size(); ++i)
            if (kFileEntrySignatureHex[2 * i] != kDigits[kFileEntrySignature[i] >> 4] ||
                kFileEntrySignatureHex[2 * i + 1] != kDigits[kFileEntrySignature[i] & 0x0F])
                return false;
        return kFileEntrySignatureHex.size() == 2 * kFileEntrySignature.size();
    }(),
    "the hex text spells the signature");
inline constexpr int64_t kFileEntryNameDistance = 89;
inline constexpr int64_t kFileEntrySizeOffset = 22;
inline constexpr int64_t kFileEntryDataOffset = 38;

// True when the whole signature lies at h inside image; false for any h
// outside 0 .. image.size() - 7.
inline bool HasFileEntrySignature(std::span<const uint8_t> image, int64_t h)
{
    if (h < 0 || h > static_cast<int64_t>(image.size()) - static_cast<int64_t>(kFileEntrySignature.size()))
        return false;
    for (std::size_t i = 0; i < kFileEntrySignature.size(); ++i)
        if (image[static_cast<std::size_t>(h) + i] != kFileEntrySignature[i])
            return false;
    return true;
}

// The entry's name: the low byte of each 2-byte character from h - 89, up to
// the first zero byte after the first character (Windows-1251 bytes).
// Requires h >= 89 and the signature at h, whose zero at h + 1 ends the name at
// the latest.
inline std::string ReadFileEntryName(std::span<const uint8_t> image, int64_t h)
{
    const auto first = static_cast<std::size_t>(h - kFileEntryNameDistance);
    std::string name(1, static_cast<char>(image[first]));
    for (std::size_t q = first + 2; image[q] != 0; q += 2)
        name += static_cast<char>(image[q]);
    return name;
}

// The entry's data size: the unsigned big-endian 32-bit value at h + 22.
// Requires h + 25 < image.size().
inline uint32_t ReadFileEntrySize(std::span<const uint8_t> image, int64_t h)
{
    const auto at = static_cast<std::size_t>(h + kFileEntrySizeOffset);
    return static_cast<uint32_t>(image[at]) << 24 | static_cast<uint32_t>(image[at + 1]) << 16 |
           static_cast<uint32_t>(image[at + 2]) << 8 | image[at + 3];
}

// The name of the entry whose data start at start (ReadFileEntryName); empty
// when no signature lies at start - 38 or the name would begin before image.
inline std::string EntryNameAt(std::span<const uint8_t> image, int64_t start)
{
    const int64_t h = start - kFileEntryDataOffset;
    if (h < kFileEntryNameDistance || !HasFileEntrySignature(image, h))
        return {};
    return ReadFileEntryName(image, h);
}

}  // namespace kestrix
