#include "smaf_walk.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kestrix {
namespace {

constexpr int64_t kHeader = 8;
constexpr int64_t kChunkHeader = 8;
constexpr int64_t kCrcSize = 2;
// CNTI: class, type, code type, status, counts: at least 5 bytes of data.
constexpr uint32_t kLeastContentsInfo = 5;
// ATR: format type, sequence type, wave type, base bit, two time bases.
constexpr int64_t kTrackHeader = 6;
constexpr int32_t kRates[] = {4000, 8000, 11025, 22050, 44100};

bool IsTypeChar(uint8_t c) noexcept
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool HasText(std::span<const uint8_t> bytes, int64_t p, const char* text, std::size_t length) noexcept
{
    return std::memcmp(bytes.data() + p, text, length) == 0;
}

// The audio track's sub-chunks: its sequence, then its first wave.
void ReadTrackChunks(std::span<const uint8_t> track, SmafAudio& audio) noexcept
{
    const auto end = static_cast<int64_t>(track.size());
    bool sequence = false;
    for (int64_t p = kChunkHeader + kTrackHeader; p + kChunkHeader <= end;) {
        const int64_t body = p + kChunkHeader;
        const int64_t size = ReadBe32(track, p + 4);
        if (HasText(track, p, "Awa", 3)) {
            audio.WaveData =
                track.subspan(static_cast<std::size_t>(body), static_cast<std::size_t>(std::min(size, end - body)));
            audio.WaveWhole = sequence && size <= end - body;
            return;
        }
        sequence = sequence || HasText(track, p, "Atsq", 4);
        p = body + size;
    }
}

// Whether the CRC field at crcAt and the kErasedRunLength bytes before it
// are erased flash of one value: a file cut there, its sizes reaching into
// the erased bytes; the start of the erased run when so, else -1.
int64_t ErasedTailStart(std::span<const uint8_t> bytes, int64_t crcAt) noexcept
{
    const uint8_t erased = bytes[static_cast<std::size_t>(crcAt)];
    if ((erased != 0xFF && erased != 0x00) || crcAt - kErasedRunLength < kHeader ||
        !IsRunOf(bytes, crcAt - kErasedRunLength, kErasedRunLength + kCrcSize, erased))
        return -1;
    int64_t start = crcAt - kErasedRunLength;
    while (start > kHeader && bytes[static_cast<std::size_t>(start - 1)] == erased)
        --start;
    return start;
}

// The end of the last whole chunk from the contents info on that ends by
// limit, counting the tracks before it.
int64_t WholeChunksEnd(std::span<const uint8_t> bytes, int64_t limit, int32_t& tracks) noexcept
{
    int64_t p = kHeader;
    tracks = 0;
    while (p + kChunkHeader <= limit) {
        const int64_t next = p + kChunkHeader + ReadBe32(bytes, p + 4);
        if (next > limit)
            break;
        if (HasText(bytes, p, "MTR", 3) || HasText(bytes, p, "ATR", 3))
            ++tracks;
        p = next;
    }
    return p;
}

}  // namespace

std::optional<SmafAudio> ReadSmafAudio(std::span<const uint8_t> bytes) noexcept
{
    const auto size = static_cast<int64_t>(bytes.size());
    if (size < kHeader + kChunkHeader || !HasText(bytes, 0, "MMMD", 4))
        return std::nullopt;
    const int64_t end = std::min(size, kHeader + ReadBe32(bytes, 4) - kCrcSize);
    SmafAudio audio;
    for (int64_t p = kHeader; p + kChunkHeader <= end;) {
        const auto at = static_cast<std::size_t>(p);
        if (!IsTypeChar(bytes[at]) || !IsTypeChar(bytes[at + 1]) || !IsTypeChar(bytes[at + 2]))
            break;
        const int64_t next = p + kChunkHeader + ReadBe32(bytes, p + 4);
        if (next > end)
            break;
        const auto chunk = bytes.subspan(at, static_cast<std::size_t>(next - p));
        if (p == kHeader && HasText(bytes, p, "CNTI", 4))
            audio.ContentsInfo = chunk;
        if (HasText(bytes, p, "ATR", 3)) {
            if (chunk.size() < kChunkHeader + kTrackHeader || audio.ContentsInfo.empty())
                return std::nullopt;
            const uint8_t waveType = chunk[kChunkHeader + 2];
            const int rateCode = waveType & 0x0F;
            audio.Wave = (waveType >> 4 & 0x07) == 1 ? SmafWave::YamahaAdpcm : SmafWave::Other;
            audio.SampleRate = rateCode < static_cast<int>(std::size(kRates)) ? kRates[rateCode] : 0;
            audio.Channels = (waveType & 0x80) != 0 ? 2 : 1;
            audio.Bits = 4 * (1 + (chunk[kChunkHeader + 3] >> 4));
            audio.Track = chunk;
            ReadTrackChunks(chunk, audio);
            return audio;
        }
        p = next;
    }
    return std::nullopt;
}

WalkResult WalkSmaf(std::span<const uint8_t> bytes) noexcept
{
    const auto size = static_cast<int64_t>(bytes.size());
    if (size < kHeader + kChunkHeader || !HasText(bytes, 0, "MMMD", 4) || !HasText(bytes, kHeader, "CNTI", 4))
        return {};
    const int64_t end = kHeader + ReadBe32(bytes, 4);
    const int64_t chunksEnd = end - kCrcSize;
    const uint32_t infoSize = ReadBe32(bytes, kHeader + 4);
    if (infoSize < kLeastContentsInfo || kHeader + kChunkHeader + int64_t{infoSize} > chunksEnd)
        return {};

    WalkResult result;
    result.Verdict = WalkVerdict::Truncated;
    int64_t p = kHeader;
    int64_t examined = p;
    for (;;) {
        if (p == chunksEnd) {
            examined = std::min(size, end);
            if (end > size)
                break;
            const int64_t erased = ErasedTailStart(bytes, chunksEnd);
            if (erased < 0) {
                result.Verdict = WalkVerdict::Whole;
                p = end;
            } else {
                p = WholeChunksEnd(bytes, erased, result.Tracks);
            }
            break;
        }
        if (p + kChunkHeader > std::min(size, chunksEnd)) {
            examined = std::min(size, chunksEnd);
            break;
        }
        examined = p + kChunkHeader;
        const auto at = static_cast<std::size_t>(p);
        if (!IsTypeChar(bytes[at]) || !IsTypeChar(bytes[at + 1]) || !IsTypeChar(bytes[at + 2]))
            break;
        const int64_t next = p + kChunkHeader + ReadBe32(bytes, p + 4);
        if (next > chunksEnd || next > size) {
            examined = std::min(size, next);
            break;
        }
        if (HasText(bytes, p, "MTR", 3) || HasText(bytes, p, "ATR", 3))
            ++result.Tracks;
        examined = p = next;
    }
    result.End = static_cast<int32_t>(p);
    result.SureEnd = static_cast<int32_t>(std::min(p, kHeader + kChunkHeader + int64_t{infoSize}));
    result.Examined = std::min(size, std::max(examined, p));
    const std::optional<SmafAudio> audio = ReadSmafAudio(bytes.first(static_cast<std::size_t>(p)));
    if (audio && audio->Playable()) {
        result.SampleRate = audio->SampleRate;
        result.Channels = audio->Channels;
        result.DurationMs = audio->Frames() * 1000 / audio->SampleRate;
    }
    return result;
}

uint16_t SmafCrcOf(std::span<const uint8_t> bytes) noexcept
{
    static const auto kTable = [] {
        std::array<uint16_t, 256> table{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t value = n << 8;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 0x8000) != 0 ? (value << 1) ^ 0x1021 : value << 1;
            table[n] = static_cast<uint16_t>(value);
        }
        return table;
    }();
    uint16_t crc = 0xFFFF;
    for (const uint8_t b : bytes)
        crc = static_cast<uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ b) & 0xFF]);
    return static_cast<uint16_t>(~crc);
}

SmafCrc CheckSmafCrc(std::span<const uint8_t> bytes) noexcept
{
    if (bytes.size() < kHeader + kCrcSize)
        return SmafCrc::None;
    const uint32_t stored = ReadBe16(bytes, static_cast<int64_t>(bytes.size()) - kCrcSize);
    if (stored == 0)
        return SmafCrc::None;
    return stored == SmafCrcOf(bytes.first(bytes.size() - kCrcSize)) ? SmafCrc::Agrees : SmafCrc::Disagrees;
}

}  // namespace kestrix
