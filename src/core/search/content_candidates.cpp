#include "content_candidates.h"

#include "file_entry_layout.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace kestrix {
namespace {

// One candidate lead: a first byte, and the second bytes it takes.
struct LeadPair {
    uint8_t First;
    ByteSet Seconds;

    constexpr bool operator==(const LeadPair&) const noexcept = default;
};

constexpr bool Takes(const LeadPair& pair, uint8_t second)
{
    return pair.Seconds.Has(second);
}

// The distinct leads of the format table (a row's lead and its bare lead,
// FormatStart), and the middle of a file-system entry's signature; and how
// many there are.
constexpr auto kLeads = [] {
    std::array<LeadPair, std::size(kFormats) * 2 + 1> pairs{};
    std::size_t count = 0;
    const auto add = [&pairs, &count](const LeadPair& pair) {
        for (std::size_t k = 0; k < count; ++k)
            if (pairs[k] == pair)
                return;
        pairs[count++] = pair;
    };
    for (const FormatTraits& format : kFormats)
        add({format.Lead[0], ByteSet::Of(format.Lead[1])});
    for (const FormatTraits& format : kFormats)
        if (!format.Start.BareSeconds.Empty())
            add({format.Start.BareFirst, format.Start.BareSeconds});
    add({kFileEntrySignature[kEntryLeadOffset], ByteSet::Of(kFileEntrySignature[kEntryLeadOffset + 1])});
    return std::pair{pairs, count};
}();

constexpr const auto& kPairs = kLeads.first;
constexpr std::size_t kPairCount = kLeads.second;

// One bit per (first, second) pair.
constexpr auto kLeadBits = [] {
    std::array<uint64_t, 65536 / 64> bits{};
    for (std::size_t k = 0; k < kPairCount; ++k)
        for (unsigned second = 0; second < 256; ++second)
            if (Takes(kPairs[k], static_cast<uint8_t>(second))) {
                const unsigned pair = static_cast<unsigned>(kPairs[k].First) << 8 | second;
                bits[pair >> 6] |= uint64_t{1} << (pair & 63);
            }
    return bits;
}();

bool Matches(std::span<const uint8_t> image, int64_t at, std::string_view text) noexcept
{
    if (text.empty())
        return true;
    if (at + static_cast<int64_t>(text.size()) > static_cast<int64_t>(image.size()))
        return false;
    return std::memcmp(image.data() + at, text.data(), text.size()) == 0;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KESTRIX_CONTENT_CANDIDATES_AVX2 1

// Nibble tables of a byte-class lookup: a byte is in class c when bit c is
// set both in Low[its low nibble] and High[its high nibble]. Each class holds
// the leads of some first bytes: its first-byte tables match exactly those
// bytes, its second-byte tables (at least) every second byte of their leads.
// The vector scan takes a pair whose first byte is in a class and whose
// second byte is in the same class; the exact test (IsContentLead) then drops
// the pairs the classes let through by mixing leads.
struct ClassTables {
    std::array<uint8_t, 16> FirstLow{}, FirstHigh{}, SecondLow{}, SecondHigh{};
};

// Leads grouped by first byte; first bytes with the same high nibble share a
// class, so that the first-byte tables stay exact.
constexpr auto kClassTables = [] {
    std::array<std::array<bool, 256>, 16> firsts{};
    std::array<std::array<bool, 256>, 16> seconds{};
    std::size_t classes = 0;
    for (std::size_t k = 0; k < kPairCount; ++k) {
        std::size_t c = 0;
        while (c < classes) {
            bool sameHigh = true;
            for (unsigned byte = 0; byte < 256; ++byte)
                sameHigh = sameHigh && (!firsts[c][byte] || byte >> 4 == kPairs[k].First >> 4u);
            if (sameHigh)
                break;
            ++c;
        }
        if (c == classes)
            ++classes;
        firsts[c][kPairs[k].First] = true;
        for (unsigned second = 0; second < 256; ++second)
            if (Takes(kPairs[k], static_cast<uint8_t>(second)))
                seconds[c][second] = true;
    }
    ClassTables tables;
    for (std::size_t c = 0; c < classes; ++c) {
        const auto bit = static_cast<uint8_t>(1u << c);
        for (unsigned byte = 0; byte < 256; ++byte) {
            if (firsts[c][byte]) {
                tables.FirstLow[byte & 15] |= bit;
                tables.FirstHigh[byte >> 4] |= bit;
            }
            if (seconds[c][byte]) {
                tables.SecondLow[byte & 15] |= bit;
                tables.SecondHigh[byte >> 4] |= bit;
            }
        }
    }
    return std::pair{tables, classes};
}();
static_assert(kClassTables.second <= 8, "the leads fit in eight byte classes");

__attribute__((target("avx2"))) inline __m256i Table(const std::array<uint8_t, 16>& table) noexcept
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data())));
}

struct ClassVectors {
    __m256i FirstLow, FirstHigh, SecondLow, SecondHigh, Nibble;
};

// Per byte of the 32 from at, the classes holding both it and the byte after it.
__attribute__((target("avx2"))) inline __m256i ClassesAt(const ClassVectors& v, const uint8_t* at) noexcept
{
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1));
    const __m256i first =
        _mm256_and_si256(_mm256_shuffle_epi8(v.FirstLow, _mm256_and_si256(a, v.Nibble)),
                         _mm256_shuffle_epi8(v.FirstHigh, _mm256_and_si256(_mm256_srli_epi16(a, 4), v.Nibble)));
    const __m256i second =
        _mm256_and_si256(_mm256_shuffle_epi8(v.SecondLow, _mm256_and_si256(b, v.Nibble)),
                         _mm256_shuffle_epi8(v.SecondHigh, _mm256_and_si256(_mm256_srli_epi16(b, 4), v.Nibble)));
    return _mm256_and_si256(first, second);
}

__attribute__((target("avx2"))) int64_t NextCandidateAvx2(const uint8_t* data, int64_t from, int64_t to) noexcept
{
    const ClassTables& tables = kClassTables.first;
    const ClassVectors vectors{Table(tables.FirstLow), Table(tables.FirstHigh), Table(tables.SecondLow),
                               Table(tables.SecondHigh), _mm256_set1_epi8(0x0F)};
    int64_t p = from;
    // Every load ends at p + 65 <= to + 1 <= size.
    while (p + 64 <= to) {
        const __m256i m0 = ClassesAt(vectors, data + p);
        const __m256i m1 = ClassesAt(vectors, data + p + 32);
        const __m256i any = _mm256_or_si256(m0, m1);
        if (!_mm256_testz_si256(any, any)) {
            const __m256i zero = _mm256_setzero_si256();
            uint64_t mask = ~(
                static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(m0, zero)))) |
                static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(m1, zero)))) << 32);
            for (; mask != 0; mask &= mask - 1) {
                const int64_t at = p + __builtin_ctzll(mask);
                if (IsContentLead(data[at], data[at + 1]))
                    return at;
            }
        }
        p += 64;
    }
    return NextContentCandidatePortable(data, p, to);
}
// The same lookups in 64-byte vectors.
__attribute__((target("avx512bw"))) inline __m512i Table512(const std::array<uint8_t, 16>& table) noexcept
{
    std::array<uint8_t, 64> lanes{};
    for (std::size_t i = 0; i < lanes.size(); ++i)
        lanes[i] = table[i % 16];
    return _mm512_loadu_si512(lanes.data());
}

// The classes of the 64 bytes at an aligned at; second: of each byte taken as
// the second of a pair.
struct Classes512 {
    __m512i First;
    __m512i Second;
};

__attribute__((target("avx512bw"))) inline Classes512 ClassesOf(const __m512i (&tables)[5], const uint8_t* at) noexcept
{
    const __m512i a = _mm512_load_si512(at);
    const __m512i low = _mm512_and_si512(a, tables[4]);
    const __m512i high = _mm512_and_si512(_mm512_srli_epi16(a, 4), tables[4]);
    return {_mm512_and_si512(_mm512_shuffle_epi8(tables[0], low), _mm512_shuffle_epi8(tables[1], high)),
            _mm512_and_si512(_mm512_shuffle_epi8(tables[2], low), _mm512_shuffle_epi8(tables[3], high))};
}

// Each load is aligned and read once: a load one byte on would cross a cache
// line every time. The second bytes' classes are shifted down by one byte
// instead, the next block's first byte entering at the top.
__attribute__((target("avx512bw"))) int64_t NextCandidateAvx512(const uint8_t* data, int64_t from, int64_t to) noexcept
{
    const ClassTables& tables = kClassTables.first;
    const __m512i vectors[5] = {Table512(tables.FirstLow), Table512(tables.FirstHigh), Table512(tables.SecondLow),
                                Table512(tables.SecondHigh), _mm512_set1_epi8(0x0F)};
    const auto misalignment = static_cast<int64_t>(reinterpret_cast<uintptr_t>(data + from) & 63);
    int64_t p = from + (misalignment == 0 ? 0 : 64 - misalignment);
    if (p > to)
        return NextContentCandidatePortable(data, from, to);
    if (const int64_t head = NextContentCandidatePortable(data, from, p); head >= 0)
        return head;
    // Every load ends at p + 128 <= to + 1 <= size.
    if (p + 127 <= to) {
        Classes512 current = ClassesOf(vectors, data + p);
        while (p + 127 <= to) {
            const Classes512 next = ClassesOf(vectors, data + p + 64);
            const __m512i second = _mm512_alignr_epi8(
                _mm512_mask_alignr_epi64(current.Second, 0xFF, next.Second, current.Second, 2), current.Second, 1);
            for (uint64_t mask = _mm512_test_epi8_mask(current.First, second); mask != 0; mask &= mask - 1) {
                const int64_t at = p + __builtin_ctzll(mask);
                if (IsContentLead(data[at], data[at + 1]))
                    return at;
            }
            current = next;
            p += 64;
        }
    }
    return NextContentCandidatePortable(data, p, to);
}
#endif

ContentCandidateFinder ChooseCandidateFinder() noexcept
{
#ifdef KESTRIX_CONTENT_CANDIDATES_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw"))
        return NextCandidateAvx512;
    if (__builtin_cpu_supports("avx2"))
        return NextCandidateAvx2;
#endif
    return NextContentCandidatePortable;
}

}  // namespace

bool IsContentLead(uint8_t first, uint8_t second) noexcept
{
    const unsigned pair = static_cast<unsigned>(first) << 8 | second;
    return (kLeadBits[pair >> 6] >> (pair & 63) & 1) != 0;
}

bool IsLeadOf(FormatTable formats, uint8_t first, uint8_t second) noexcept
{
    if (first == kFileEntrySignature[kEntryLeadOffset] && second == kFileEntrySignature[kEntryLeadOffset + 1])
        return true;
    for (const FormatTraits& format : formats)
        if ((format.Lead[0] == first && format.Lead[1] == second) ||
            (format.Start.BareFirst == first && format.Start.BareSeconds.Has(second)))
            return true;
    return false;
}

int64_t NextCandidateOf(FormatTable formats, const uint8_t* data, int64_t from, int64_t to) noexcept
{
    for (int64_t p = from; p < to; ++p)
        if (IsLeadOf(formats, data[p], data[p + 1]))
            return p;
    return -1;
}

std::optional<ItemType> ContentCandidateAt(std::span<const uint8_t> image, int64_t p, FormatTable formats) noexcept
{
    if (p < 0 || p + 1 >= static_cast<int64_t>(image.size()))
        return std::nullopt;
    const uint8_t first = image[static_cast<std::size_t>(p)];
    const uint8_t second = image[static_cast<std::size_t>(p + 1)];
    for (const FormatTraits& format : formats) {
        if (format.Lead[0] != first || format.Lead[1] != second || !Matches(image, p, format.Signature) ||
            !Matches(image, p + 8, format.Form))
            continue;
        if (format.Start.Takes != nullptr && !format.Start.Takes(image, p))
            return std::nullopt;
        return format.Type;
    }
    for (const FormatTraits& format : formats)
        if (format.Start.BareFirst == first && format.Start.BareSeconds.Has(second))
            return format.Type;
    return std::nullopt;
}

int64_t NextContentCandidatePortable(const uint8_t* data, int64_t from, int64_t to) noexcept
{
    for (int64_t p = from; p < to; ++p)
        if (IsContentLead(data[p], data[p + 1]))
            return p;
    return -1;
}

std::vector<ContentCandidateFinder> ContentCandidateFinders()
{
    std::vector<ContentCandidateFinder> finders{NextContentCandidatePortable};
#ifdef KESTRIX_CONTENT_CANDIDATES_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        finders.push_back(NextCandidateAvx2);
    if (__builtin_cpu_supports("avx512bw"))
        finders.push_back(NextCandidateAvx512);
#endif
    return finders;
}

int64_t NextContentCandidate(const uint8_t* data, int64_t from, int64_t to) noexcept
{
    static const ContentCandidateFinder kFinder = ChooseCandidateFinder();
    return kFinder(data, from, to);
}

}  // namespace kestrix
