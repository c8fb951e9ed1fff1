#include "png_walk.h"

#include <algorithm>
#include <array>

namespace kestrix {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr int64_t kSignatureSize = 8;
// Length, type and CRC around each chunk's data.
constexpr int64_t kChunkOverhead = 12;
constexpr uint32_t kHeaderDataSize = 13;
constexpr uint32_t kLargestLength = 0x7FFFFFFF;

// Eight tables for slicing by 8: table[k][b] is the CRC of b followed by k zero bytes.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeCrcTables()
{
    CrcTables tables{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        tables[0][b] = c;
    }
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t b = 0; b < 256; ++b)
            tables[k][b] = tables[k - 1][b] >> 8 ^ tables[0][tables[k - 1][b] & 0xFF];
    return tables;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

bool IsLetter(uint8_t c) noexcept
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool HasType(std::span<const uint8_t> bytes, int64_t chunk, const char* type) noexcept
{
    for (int64_t i = 0; i < 4; ++i)
        if (bytes[static_cast<std::size_t>(chunk + 4 + i)] != static_cast<uint8_t>(type[i]))
            return false;
    return true;
}

// The stored CRC of the chunk at chunk (data of length bytes, all inside bytes)
// against the one computed over its type and data.
bool CrcMatches(std::span<const uint8_t> bytes, int64_t chunk, int64_t length) noexcept
{
    const auto covered = bytes.subspan(static_cast<std::size_t>(chunk + 4), static_cast<std::size_t>(length + 4));
    return Crc32(covered) == ReadBe32(bytes, chunk + 8 + length);
}

bool DepthSuitsColourType(uint8_t depth, uint8_t colourType) noexcept
{
    switch (colourType) {
    case 0:  // grey
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:  // palette
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:  // RGB
    case 4:  // grey and alpha
    case 6:  // RGBA
        return depth == 8 || depth == 16;
    default: return false;
    }
}

bool HeaderIsSound(std::span<const uint8_t> bytes) noexcept
{
    constexpr int64_t kHeaderEnd = kSignatureSize + kChunkOverhead + kHeaderDataSize;
    if (static_cast<int64_t>(bytes.size()) < kHeaderEnd || !std::equal(kSignature, kSignature + 8, bytes.begin()))
        return false;
    if (ReadBe32(bytes, kSignatureSize) != kHeaderDataSize || !HasType(bytes, kSignatureSize, "IHDR") ||
        !CrcMatches(bytes, kSignatureSize, kHeaderDataSize))
        return false;
    const uint32_t width = ReadBe32(bytes, 16);
    const uint32_t height = ReadBe32(bytes, 20);
    return width >= 1 && width <= kLargestLength && height >= 1 && height <= kLargestLength &&
           DepthSuitsColourType(bytes[24], bytes[25]) && bytes[26] == 0 && bytes[27] == 0 && bytes[28] <= 1;
}

}  // namespace

uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc) noexcept
{
    const auto& t = kCrcTables;
    uint32_t c = ~crc;
    const uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    while (n >= 8) {
        const uint32_t low = c ^ (static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                  static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
        c = t[7][low & 0xFF] ^ t[6][low >> 8 & 0xFF] ^ t[5][low >> 16 & 0xFF] ^ t[4][low >> 24] ^ t[3][p[4]] ^
            t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
        p += 8;
        n -= 8;
    }
    for (; n > 0; --n, ++p)
        c = t[0][(c ^ *p) & 0xFF] ^ c >> 8;
    return ~c;
}

WalkResult WalkPng(std::span<const uint8_t> bytes, PngCrc crc) noexcept
{
    if (!HeaderIsSound(bytes))
        return {};
    const auto size = static_cast<int64_t>(bytes.size());
    WalkResult result;
    result.Width = static_cast<int32_t>(ReadBe32(bytes, 16));
    result.Height = static_cast<int32_t>(ReadBe32(bytes, 20));
    int64_t p = kSignatureSize + kChunkOverhead + kHeaderDataSize;
    int64_t examined = p;
    result.Verdict = WalkVerdict::Truncated;
    for (;;) {
        if (p + kChunkOverhead > size)
            break;
        const uint32_t length = ReadBe32(bytes, p);
        if (length > kLargestLength || !std::all_of(bytes.begin() + p + 4, bytes.begin() + p + 8, IsLetter))
            break;
        const int64_t end = p + kChunkOverhead + length;
        if (end > size)
            break;
        if (HasType(bytes, p, "IHDR"))
            break;
        if (crc == PngCrc::Check) {
            examined = end;
            if (!CrcMatches(bytes, p, length))
                break;
        }
        const int64_t chunk = p;
        p = end;
        if (HasType(bytes, chunk, "IDAT"))
            result.HasImageData = true;
        if (HasType(bytes, chunk, "IEND")) {
            result.Verdict = WalkVerdict::Whole;
            break;
        }
    }
    result.End = static_cast<int32_t>(p);
    result.SureEnd = result.End;
    result.Examined = std::min(size, std::max(examined, p + kChunkOverhead));
    return result;
}

}  // namespace kestrix
