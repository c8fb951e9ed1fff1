#include "mp3_walk.h"

#include "file_entry_layout.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace kestrix {
namespace {

constexpr int64_t kId3HeaderSize = 10;
constexpr int64_t kId3v1Size = 128;
constexpr int64_t kApeFooterSize = 32;

// Bitrates in kbit/s by bitrate index: MPEG-1 Layer II, MPEG-1 Layer III, and
// MPEG-2 and 2.5 (both layers).
constexpr int32_t kBitrates[3][15] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
// Sample rates by version bits (00: 2.5, 10: 2, 11: 1) and sample rate index.
constexpr int32_t kSampleRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

struct Frame {
    uint32_t Kind = 0;  // version, layer and sample rate bits: a chain keeps them
    int32_t Size = 0;
    int32_t Samples = 0;
    int32_t SampleRate = 0;
    int32_t Channels = 0;
};

// The frame whose header is at p (4 bytes inside bytes), or Size 0.
Frame ReadFrame(std::span<const uint8_t> bytes, int64_t p) noexcept
{
    const uint32_t h = ReadBe32(bytes, p);
    Frame frame;
    if ((h & 0xFFE00000u) != 0xFFE00000u)
        return frame;
    const uint32_t version = h >> 19 & 3;
    const uint32_t layer = h >> 17 & 3;  // 01: III, 10: II
    const uint32_t bitrateIndex = h >> 12 & 0x0F;
    const uint32_t rateIndex = h >> 10 & 3;
    if (version == 1 || (layer != 1 && layer != 2) || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        (h & 3) == 2)
        return frame;
    const bool mpeg1 = version == 3;
    const int32_t kbps = kBitrates[mpeg1 ? (layer == 2 ? 0 : 1) : 2][bitrateIndex];
    const int32_t rate = kSampleRates[version][rateIndex];
    const int32_t padding = static_cast<int32_t>(h >> 9 & 1);
    const int32_t samples = layer == 1 && !mpeg1 ? 576 : 1152;
    frame.Size = samples / 8 * kbps * 1000 / rate + padding;
    frame.Samples = samples;
    frame.SampleRate = rate;
    frame.Channels = (h >> 6 & 3) == 3 ? 1 : 2;
    frame.Kind = h & 0xFFFE0C00u;
    return frame;
}

bool HasText(std::span<const uint8_t> bytes, int64_t p, const char* text, int64_t length) noexcept
{
    return p + length <= static_cast<int64_t>(bytes.size()) &&
           std::memcmp(bytes.data() + p, text, static_cast<std::size_t>(length)) == 0;
}

// The end of an ID3v2 tag at bytes[0]: 0 for none, -1 for a tag cut by the end
// of the bytes.
int64_t Id3v2End(std::span<const uint8_t> bytes) noexcept
{
    if (!HasText(bytes, 0, "ID3", 3) || bytes.size() < kId3HeaderSize)
        return 0;
    if (bytes[3] < 2 || bytes[3] > 4 || bytes[4] == 0xFF || (bytes[5] & 0x0F) != 0)
        return 0;
    int64_t size = 0;
    for (std::size_t i = 6; i < 10; ++i) {
        if (bytes[i] >= 0x80)
            return 0;
        size = size << 7 | bytes[i];
    }
    const int64_t end = kId3HeaderSize + size + ((bytes[5] & 0x10) != 0 && bytes[3] == 4 ? kId3HeaderSize : 0);
    return end <= static_cast<int64_t>(bytes.size()) ? end : -1;
}

bool IsErasedAt(std::span<const uint8_t> bytes, int64_t p) noexcept
{
    const auto size = static_cast<int64_t>(bytes.size());
    return p + kErasedRunLength <= size &&
           (IsRunOf(bytes, p, kErasedRunLength, 0xFF) || IsRunOf(bytes, p, kErasedRunLength, 0x00));
}

// The end of the tags after the last frame at p: an APE tag with its header,
// then an ID3v1 tag.
int64_t TagsEnd(std::span<const uint8_t> bytes, int64_t p) noexcept
{
    if (HasText(bytes, p, "APETAGEX", 8) && p + kApeFooterSize <= static_cast<int64_t>(bytes.size())) {
        const uint32_t flags = ReadLe32(bytes, p + 20);
        const int64_t end = p + kApeFooterSize + ReadLe32(bytes, p + 12);
        if ((flags & 0x20000000u) != 0 && ReadLe32(bytes, p + 12) >= kApeFooterSize &&
            end <= static_cast<int64_t>(bytes.size()) && HasText(bytes, end - kApeFooterSize, "APETAGEX", 8))
            p = end;
    }
    if (HasText(bytes, p, "TAG", 3) && p + kId3v1Size <= static_cast<int64_t>(bytes.size()))
        p += kId3v1Size;
    return p;
}

// Signatures of other items and of a file-system entry: long enough that
// sound data hold one by chance about once in 16 million bytes.
constexpr std::string_view kForeignSignatures[] = {
    "GIF8", "\x89PNG\r\n",   "\xFF\xD8\xFF", "MThd",       "#!AMR",   "ID3",
    "RIFF", "BEGIN:IMELODY", "MMMD",         "PK\x03\x04", "MIDlet-", {"\x00\x00\x01\xFF\x00\x00\x00", 7}};
static_assert(kForeignSignatures[11][3] == '\xFF' && kForeignSignatures[11].size() == kFileEntrySignature.size());

// Whether bytes [from, to) hold the start of another item or entry.
bool HoldsForeignStart(std::span<const uint8_t> bytes, int64_t from, int64_t to) noexcept
{
    for (int64_t q = from; q < to; ++q)
        for (const std::string_view signature : kForeignSignatures)
            if (bytes[static_cast<std::size_t>(q)] == static_cast<uint8_t>(signature[0]) &&
                q + static_cast<int64_t>(signature.size()) <= static_cast<int64_t>(bytes.size()) &&
                std::memcmp(bytes.data() + q, signature.data(), signature.size()) == 0)
                return true;
    return false;
}

}  // namespace

WalkResult WalkMp3(std::span<const uint8_t> bytes) noexcept
{
    const auto size = static_cast<int64_t>(bytes.size());
    const int64_t tagEnd = Id3v2End(bytes);
    WalkResult result;
    if (tagEnd < 0) {
        result.Verdict = WalkVerdict::Truncated;
        result.End = result.SureEnd = static_cast<int32_t>(kId3HeaderSize);
        result.Examined = size;
        return result;
    }
    int64_t p = tagEnd;
    int64_t examined = p;
    int64_t frames = 0;
    int64_t samples = 0;
    int64_t last = p;
    int32_t lastSamples = 0;
    uint32_t kind = 0;
    bool cut = false;
    while (p + 4 <= size) {
        examined = p + 4;
        const Frame frame = ReadFrame(bytes, p);
        if (frame.Size == 0 || (frames > 0 && frame.Kind != kind))
            break;
        if (p + frame.Size > size) {
            cut = true;
            examined = size;
            break;
        }
        examined = p + frame.Size;
        // Frames may be shorter than the run; the header itself is never all FFh.
        const int64_t run = std::min<int64_t>(kErasedRunLength, frame.Size - 4);
        if (IsRunOf(bytes, p + frame.Size - run, run, 0xFF)) {
            cut = true;
            break;
        }
        if (frames == 0) {
            kind = frame.Kind;
            result.SampleRate = frame.SampleRate;
            result.Channels = frame.Channels;
        }
        last = p;
        lastSamples = frame.Samples;
        p += frame.Size;
        ++frames;
        samples += frame.Samples;
    }
    // The chain's last frame may be a frame cut by whatever was written after
    // it: its stated size then runs into the next item.
    if (!cut && frames > kLeastMp3Frames && HoldsForeignStart(bytes, last + 4, p)) {
        cut = true;
        p = last;
        --frames;
        samples -= lastSamples;
    }
    // A piece of a frame header at the end of the bytes.
    if (!cut && p + 4 > size && p < size && bytes[static_cast<std::size_t>(p)] == 0xFF &&
        (p + 1 == size || (bytes[static_cast<std::size_t>(p + 1)] & 0xE0) == 0xE0))
        cut = true;
    if (frames < kLeastMp3Frames) {
        if (tagEnd == 0 || !(cut || p == size || IsErasedAt(bytes, p)))
            return {};
        result = {};
        result.Verdict = WalkVerdict::Truncated;
        result.End = result.SureEnd = static_cast<int32_t>(tagEnd);
        result.Examined = std::min(size, std::max(examined, tagEnd + 1));
        return result;
    }
    if (!cut) {
        const int64_t tagsEnd = TagsEnd(bytes, p);
        examined = std::max(examined, tagsEnd);
        p = tagsEnd;
    }
    result.Verdict = cut ? WalkVerdict::Truncated : WalkVerdict::Whole;
    result.End = static_cast<int32_t>(p);
    // Every frame taken matched the first one's version, layer and rate and
    // followed the one before exactly: a frame header inside them is one of
    // them, never the start of another item.
    result.SureEnd = result.End;
    result.Examined = std::min(size, std::max(examined, p));
    result.DurationMs = result.SampleRate > 0 ? samples * 1000 / result.SampleRate : 0;
    return result;
}

}  // namespace kestrix
