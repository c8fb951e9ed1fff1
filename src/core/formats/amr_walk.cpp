#include "amr_walk.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kestrix {
namespace {

constexpr int64_t kFrameMs = 20;

// Frame sizes by frame type, header byte included; 0 marks a type for future use.
constexpr std::array<uint8_t, 16> kNarrowSizes = {13, 14, 16, 18, 20, 21, 27, 32, 6, 0, 0, 0, 0, 0, 0, 1};
constexpr std::array<uint8_t, 16> kWideSizes = {18, 24, 33, 37, 41, 47, 51, 59, 61, 6, 0, 0, 0, 0, 1, 1};

bool StartsWith(std::span<const uint8_t> bytes, const char* text, std::size_t length) noexcept
{
    return bytes.size() >= length && std::memcmp(bytes.data(), text, length) == 0;
}

}  // namespace

int32_t AmrFrameSize(bool wide, uint8_t header) noexcept
{
    return (header & 0x83) == 0 ? (wide ? kWideSizes : kNarrowSizes)[header >> 3 & 0x0F] : 0;
}

WalkResult WalkAmr(std::span<const uint8_t> bytes) noexcept
{
    bool wide = false;
    int64_t p = 0;
    WalkResult result;
    if (StartsWith(bytes, "#!AMR\n", 6)) {
        p = 6;
        result.SampleRate = 8000;
    } else if (StartsWith(bytes, "#!AMR-WB\n", 9)) {
        wide = true;
        p = 9;
        result.SampleRate = 16000;
    } else {
        return {};
    }
    const auto size = static_cast<int64_t>(bytes.size());
    const int64_t headerEnd = p;
    int64_t frames = 0;
    int64_t examined = p;
    bool cut = false;
    while (p < size) {
        const uint8_t header = bytes[static_cast<std::size_t>(p)];
        examined = p + 1;
        const int32_t frameSize = AmrFrameSize(wide, header);
        if (frameSize == 0)
            break;
        if (header == 0 && p + kErasedRunLength <= size && IsRunOf(bytes, p, kErasedRunLength, 0x00)) {
            examined = p + kErasedRunLength;
            break;
        }
        if (p + frameSize > size) {
            cut = true;
            examined = size;
            break;
        }
        // Every frame with sound data ends in zero padding bits (but the wide-band
        // SID, 1 in 256 of them): a last byte FFh with erased flash after it was
        // cut by the erasure.
        if (frameSize > 1 && bytes[static_cast<std::size_t>(p + frameSize - 1)] == 0xFF && p + frameSize < size &&
            bytes[static_cast<std::size_t>(p + frameSize)] == 0xFF) {
            cut = true;
            examined = p + frameSize + 1;
            break;
        }
        p += frameSize;
        examined = p;
        ++frames;
    }
    if (!cut && p < size && frames < kLeastAmrFrames)
        return {};
    result.Verdict = cut ? WalkVerdict::Truncated : WalkVerdict::Whole;
    result.End = static_cast<int32_t>(p);
    result.SureEnd = static_cast<int32_t>(headerEnd);
    result.Examined = std::min(size, std::max(examined, p));
    result.DurationMs = frames * kFrameMs;
    result.Channels = 1;
    return result;
}

}  // namespace kestrix
