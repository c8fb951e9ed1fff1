#include "picture_candidates.h"

#include "format_table.h"

#include <array>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace kestrix {
namespace {

// First two bytes of each picture format, from the format table.
constexpr std::size_t kFormatCount = kPictureFormatCount;
constexpr auto kFirstBytes = [] {
    std::array<uint8_t, kFormatCount> bytes{};
    for (std::size_t k = 0; k < kFormatCount; ++k)
        bytes[k] = kFormats[k].Lead[0];
    return bytes;
}();
constexpr auto kSecondBytes = [] {
    std::array<uint8_t, kFormatCount> bytes{};
    for (std::size_t k = 0; k < kFormatCount; ++k)
        bytes[k] = kFormats[k].Lead[1];
    return bytes;
}();

#ifdef __SSE2__
// Bit i set where a first-byte pair starts at data[at + i], for i < 16.
inline __m128i PairsAt16(const uint8_t* data, int64_t at) noexcept
{
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
    __m128i any = _mm_setzero_si128();
    for (std::size_t k = 0; k < kFormatCount; ++k)
        any = _mm_or_si128(any, _mm_and_si128(_mm_cmpeq_epi8(a, _mm_set1_epi8(static_cast<char>(kFirstBytes[k]))),
                                              _mm_cmpeq_epi8(b, _mm_set1_epi8(static_cast<char>(kSecondBytes[k])))));
    return any;
}
#endif

}  // namespace

std::optional<PictureType> PictureCandidateKind(const uint8_t* data, int64_t p) noexcept
{
    for (std::size_t k = 0; k < kFormatCount; ++k)
        if (data[p] == kFirstBytes[k] && data[p + 1] == kSecondBytes[k])
            return PictureTypeOf(kFormats[k].Type);
    return std::nullopt;
}

int64_t NextPictureCandidatePortable(const uint8_t* data, int64_t from, int64_t to) noexcept
{
    int64_t p = from;
#ifdef __SSE2__
    // Every load of a round ends at p + 64 <= to < size.
    while (p + 64 <= to) {
        const __m128i m0 = PairsAt16(data, p);
        const __m128i m1 = PairsAt16(data, p + 16);
        const __m128i m2 = PairsAt16(data, p + 32);
        const __m128i m3 = PairsAt16(data, p + 48);
        const __m128i any = _mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3));
        if (_mm_movemask_epi8(any) != 0) {
            const uint64_t mask = static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m0))) |
                                  static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m1))) << 16 |
                                  static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m2))) << 32 |
                                  static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(m3))) << 48;
            return p + __builtin_ctzll(mask);
        }
        p += 64;
    }
#endif
    for (; p < to; ++p)
        if (PictureCandidateKind(data, p))
            return p;
    return -1;
}

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
#define KESTRIX_PICTURE_CANDIDATES_AVX2 1

__attribute__((target("avx2"))) inline __m256i PairsAt32(const uint8_t* data, int64_t at) noexcept
{
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at + 1));
    __m256i any = _mm256_setzero_si256();
    for (std::size_t k = 0; k < kFormatCount; ++k)
        any = _mm256_or_si256(
            any, _mm256_and_si256(_mm256_cmpeq_epi8(a, _mm256_set1_epi8(static_cast<char>(kFirstBytes[k]))),
                                  _mm256_cmpeq_epi8(b, _mm256_set1_epi8(static_cast<char>(kSecondBytes[k])))));
    return any;
}

// The same with 32-byte vectors, for processors that have them.
__attribute__((target("avx2"))) int64_t NextCandidateAvx2(const uint8_t* data, int64_t from, int64_t to) noexcept
{
    int64_t p = from;
    while (p + 64 <= to) {
        const __m256i m0 = PairsAt32(data, p);
        const __m256i m1 = PairsAt32(data, p + 32);
        const __m256i any = _mm256_or_si256(m0, m1);
        if (!_mm256_testz_si256(any, any)) {
            const uint64_t mask = static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(m0))) |
                                  static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(m1))) << 32;
            return p + __builtin_ctzll(mask);
        }
        p += 64;
    }
    return NextPictureCandidatePortable(data, p, to);
}
#endif

using CandidateFinder = int64_t (*)(const uint8_t*, int64_t, int64_t) noexcept;

CandidateFinder ChooseCandidateFinder() noexcept
{
#ifdef KESTRIX_PICTURE_CANDIDATES_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return NextCandidateAvx2;
#endif
    return NextPictureCandidatePortable;
}

}  // namespace

int64_t NextPictureCandidate(const uint8_t* data, int64_t from, int64_t to) noexcept
{
    static const CandidateFinder kFinder = ChooseCandidateFinder();
    return kFinder(data, from, to);
}

}  // namespace kestrix
