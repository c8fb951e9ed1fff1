#include "content_candidates.h"

#include "file_entry_layout.h"

#include <algorithm>
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

// The first of count blocks of 64 bytes from blocks whose candidates (a
// superset: IsContentLead decides) are not none, with those candidates in
// mask, one bit per place; count when every block has none. Reads up to
// blocks[64 * count].
__attribute__((target("avx2"))) int64_t ScanBlocksAvx2(const uint8_t* blocks, int64_t count, uint64_t& mask) noexcept
{
    const ClassTables& tables = kClassTables.first;
    const ClassVectors vectors{Table(tables.FirstLow), Table(tables.FirstHigh), Table(tables.SecondLow),
                               Table(tables.SecondHigh), _mm256_set1_epi8(0x0F)};
    const __m256i zero = _mm256_setzero_si256();
    for (int64_t k = 0; k < count; ++k) {
        const uint8_t* block = blocks + 64 * k;
        const __m256i low = _mm256_cmpeq_epi8(ClassesAt(vectors, block), zero);
        const __m256i high = _mm256_cmpeq_epi8(ClassesAt(vectors, block + 32), zero);
        const uint64_t found = ~(static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(low))) |
                                 static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(high))) << 32);
        if (found != 0) {
            mask = found;
            return k;
        }
    }
    return count;
}

// The same lookups in 64-byte vectors.
__attribute__((target("avx512bw"))) inline __m512i Table512(const std::array<uint8_t, 16>& table) noexcept
{
    std::array<uint8_t, 64> lanes{};
    for (std::size_t i = 0; i < lanes.size(); ++i)
        lanes[i] = table[i % 16];
    return _mm512_loadu_si512(lanes.data());
}

__attribute__((target("avx512bw"))) inline __m512i Classes512(__m512i low, __m512i high, __m512i bytes,
                                                              __m512i nibble) noexcept
{
    return _mm512_and_si512(_mm512_shuffle_epi8(low, _mm512_and_si512(bytes, nibble)),
                            _mm512_shuffle_epi8(high, _mm512_and_si512(_mm512_srli_epi16(bytes, 4), nibble)));
}

__attribute__((target("avx512bw"))) int64_t ScanBlocksAvx512(const uint8_t* blocks, int64_t count,
                                                             uint64_t& mask) noexcept
{
    const ClassTables& tables = kClassTables.first;
    const __m512i firstLow = Table512(tables.FirstLow);
    const __m512i firstHigh = Table512(tables.FirstHigh);
    const __m512i secondLow = Table512(tables.SecondLow);
    const __m512i secondHigh = Table512(tables.SecondHigh);
    const __m512i nibble = _mm512_set1_epi8(0x0F);
    for (int64_t k = 0; k < count; ++k) {
        const uint8_t* block = blocks + 64 * k;
        const __m512i first = Classes512(firstLow, firstHigh, _mm512_loadu_si512(block), nibble);
        const __m512i second = Classes512(secondLow, secondHigh, _mm512_loadu_si512(block + 1), nibble);
        if (const uint64_t found = _mm512_test_epi8_mask(first, second); found != 0) {
            mask = found;
            return k;
        }
    }
    return count;
}
#endif

ContentCandidateCursor::BlockScan BlockScanOf(CandidateScan scan) noexcept
{
    switch (scan) {
    case CandidateScan::Portable: return nullptr;
#ifdef KESTRIX_CONTENT_CANDIDATES_AVX2
    case CandidateScan::Avx2: return ScanBlocksAvx2;
    case CandidateScan::Avx512: return ScanBlocksAvx512;
#else
    case CandidateScan::Avx2:
    case CandidateScan::Avx512: return nullptr;
#endif
    }
    return nullptr;
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

std::vector<CandidateScan> CandidateScans()
{
    std::vector<CandidateScan> scans{CandidateScan::Portable};
#ifdef KESTRIX_CONTENT_CANDIDATES_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        scans.push_back(CandidateScan::Avx2);
    if (__builtin_cpu_supports("avx512bw"))
        scans.push_back(CandidateScan::Avx512);
#endif
    return scans;
}

CandidateScan BestCandidateScan()
{
    static const CandidateScan kBest = CandidateScans().back();
    return kBest;
}

ContentCandidateCursor::ContentCandidateCursor(const uint8_t* data, CandidateScan scan) noexcept
    : m_data(data), m_blockScan(BlockScanOf(scan))
{
}

int64_t ContentCandidateCursor::Next(int64_t from, int64_t to) noexcept
{
    if (m_blockScan == nullptr)
        return NextContentCandidatePortable(m_data, from, to);
    int64_t p = from;
    while (p < to) {
        // Blocks are aligned in memory, so that their first load is.
        const auto misalignment =
            static_cast<int64_t>((reinterpret_cast<uintptr_t>(m_data) + static_cast<uintptr_t>(p)) & 63);
        const int64_t block = p - misalignment;
        // A block's mask reads its 64 bytes and the next one: a block that
        // starts before the data or whose places reach to is scanned byte by byte.
        if (block < 0 || block + 64 > to) {
            const int64_t end = std::min(to, block + 64);
            if (const int64_t at = NextContentCandidatePortable(m_data, p, end); at >= 0)
                return at;
            p = end;
            continue;
        }
        if (block != m_block) {
            // The whole blocks up to to, in one go: most have no candidate.
            const int64_t count = (to - block) / 64;
            uint64_t mask = 0;
            const int64_t k = m_blockScan(m_data + block, count, mask);
            if (k == count) {
                p = block + 64 * count;
                continue;
            }
            m_block = block + 64 * k;
            m_mask = mask;
            if (k > 0)
                p = m_block;
        }
        const int64_t first = p - m_block;
        for (uint64_t mask = m_mask & ~uint64_t{0} << first; mask != 0; mask &= mask - 1) {
            const int64_t at = m_block + __builtin_ctzll(mask);
            if (IsContentLead(m_data[at], m_data[at + 1]))
                return at;
            // A place the exact test refused stays refused, whatever the next call asks.
            m_mask &= ~(uint64_t{1} << (at - m_block));
        }
        p = m_block + 64;
    }
    return -1;
}

}  // namespace kestrix
