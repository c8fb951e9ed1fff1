#include "fast_find.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace kestrix {
namespace {

// Flash images are mostly erased (FFh) or zero-filled, so every other byte
// value makes a selective anchor.
bool IsCommonFlashByte(uint8_t b) noexcept
{
    return b == 0x00 || b == 0xFF;
}

struct Anchors {
    int32_t First;
    int32_t Second;
};

// Two positions of the pattern whose bytes rarely occur together in flash
// data. Requires a pattern of two bytes or more that is not one repeated byte.
Anchors ChooseAnchors(const uint8_t* pattern, int32_t length) noexcept
{
    int32_t first = -1;
    for (int32_t i = 0; i < length && first < 0; ++i)
        if (!IsCommonFlashByte(pattern[i]))
            first = i;
    if (first < 0) {
        // Only 00h and FFh: anchor on a change from one to the other.
        for (int32_t i = 0; i + 1 < length; ++i)
            if (pattern[i] != pattern[i + 1])
                return {i, i + 1};
        return {0, 1};
    }
    int32_t sameValue = -1;
    for (int32_t i = first + 1; i < length; ++i) {
        if (IsCommonFlashByte(pattern[i]))
            continue;
        if (pattern[i] != pattern[first])
            return {first, i};
        if (sameValue < 0)
            sameValue = i;
    }
    if (sameValue >= 0)
        return {first, sameValue};
    if (first + 1 < length)
        return {first, first + 1};
    return {first, first - 1};
}

bool Matches(const uint8_t* at, const uint8_t* pattern, int32_t length) noexcept
{
    return std::memcmp(at, pattern, static_cast<std::size_t>(length)) == 0;
}

// A pattern of one repeated byte: look at the last byte of each window, so a
// window that cannot hold the run is passed over without reading the rest.
int32_t FindRun(const uint8_t* data, int32_t start, int32_t end, uint8_t value, int32_t length) noexcept
{
    const int64_t lastStart = static_cast<int64_t>(end) - length;
    int64_t s = start;
    while (s <= lastStart) {
        const int64_t tail = s + length - 1;
        if (data[tail] != value) {
            s = tail + 1;
            continue;
        }
        int64_t runStart = tail;
        while (runStart > s && data[runStart - 1] == value)
            --runStart;
        if (runStart > lastStart)
            return -1;
        int64_t next = tail + 1;
        const int64_t needed = runStart + length;
        while (next < needed && data[next] == value)
            ++next;
        if (next == needed)
            return static_cast<int32_t>(runStart);
        s = next + 1;
    }
    return -1;
}

int32_t FindByAnchors(const uint8_t* data, int32_t start, int32_t end, const uint8_t* pattern, int32_t length,
                      Anchors anchors) noexcept
{
    const int64_t lastStart = static_cast<int64_t>(end) - length;
    const uint8_t firstByte = pattern[anchors.First];
    const uint8_t secondByte = pattern[anchors.Second];
    int64_t s = start;
#ifdef __SSE2__
    // 64 candidates per round; every load stays below end because a round
    // runs only while its last candidate can still hold the whole pattern.
    const __m128i first = _mm_set1_epi8(static_cast<char>(firstByte));
    const __m128i second = _mm_set1_epi8(static_cast<char>(secondByte));
    const uint8_t* firstBase = data + anchors.First;
    const uint8_t* secondBase = data + anchors.Second;
    auto block = [&](int64_t at) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(firstBase + at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(secondBase + at));
        return _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second));
    };
    while (s + 63 <= lastStart) {
        const __m128i m0 = block(s);
        const __m128i m1 = block(s + 16);
        const __m128i m2 = block(s + 32);
        const __m128i m3 = block(s + 48);
        const __m128i any = _mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3));
        if (_mm_movemask_epi8(any) != 0) {
            const uint64_t mask = static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m0))) |
                                  static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m1))) << 16 |
                                  static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m2))) << 32 |
                                  static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m3))) << 48;
            for (uint64_t bits = mask; bits != 0; bits &= bits - 1) {
                const int64_t candidate = s + __builtin_ctzll(bits);
                if (Matches(data + candidate, pattern, length))
                    return static_cast<int32_t>(candidate);
            }
        }
        s += 64;
    }
    for (; s <= lastStart; ++s)
        if (data[s + anchors.First] == firstByte && data[s + anchors.Second] == secondByte &&
            Matches(data + s, pattern, length))
            return static_cast<int32_t>(s);
    return -1;
#else
    while (s <= lastStart) {
        const void* hit = std::memchr(data + s + anchors.first, firstByte, static_cast<std::size_t>(lastStart - s + 1));
        if (hit == nullptr)
            return -1;
        s = static_cast<const uint8_t*>(hit) - data - anchors.first;
        if (data[s + anchors.second] == secondByte && Matches(data + s, pattern, length))
            return static_cast<int32_t>(s);
        ++s;
    }
    return -1;
#endif
}

}  // namespace

int32_t FindExact(const uint8_t* data, int32_t start, int32_t end, const uint8_t* pattern, int32_t length) noexcept
{
    if (length < 1 || static_cast<int64_t>(start) + length > end)
        return -1;
    if (length == 1) {
        const void* hit = std::memchr(data + start, pattern[0], static_cast<std::size_t>(end - start));
        return hit == nullptr ? -1 : static_cast<int32_t>(static_cast<const uint8_t*>(hit) - data);
    }
    bool uniform = true;
    for (int32_t i = 1; i < length && uniform; ++i)
        uniform = pattern[i] == pattern[0];
    if (uniform)
        return FindRun(data, start, end, pattern[0], length);
    return FindByAnchors(data, start, end, pattern, length, ChooseAnchors(pattern, length));
}

}  // namespace kestrix
