#pragma once

#include "format_table.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestrix {

// Where in a file-system entry's signature the candidate scan finds it: its
// bytes 01 FF, the rarest pair of it.
inline constexpr int64_t kEntryLeadOffset = 2;

// True when data[p], data[p + 1] are the lead of some format of the format
// table (its Lead, or its bare lead: FormatStart), or the bytes of a
// file-system entry's signature at kEntryLeadOffset.
bool IsContentLead(uint8_t first, uint8_t second) noexcept;

// IsContentLead for the formats of any table.
bool IsLeadOf(FormatTable formats, uint8_t first, uint8_t second) noexcept;

// The format of formats whose item may start at image[p]: its lead, then its
// whole signature and form inside image, and its Takes hook (a descriptor
// only where IsJadCandidate holds: one "MIDlet-" line a run of attribute
// lines); else the first row whose bare lead is there (MP3's bare frame
// header). None when p + 1 is past the image.
std::optional<ItemType> ContentCandidateAt(std::span<const uint8_t> image, int64_t p,
                                           FormatTable formats = kFormats) noexcept;

// NextContentCandidate for the formats of any table (IsLeadOf), byte by byte.
int64_t NextCandidateOf(FormatTable formats, const uint8_t* data, int64_t from, int64_t to) noexcept;

// Lowest p with from <= p < to at which IsContentLead holds for data[p],
// data[p + 1], or -1, byte by byte. Requires 0 <= from and to smaller than the
// data's size.
int64_t NextContentCandidatePortable(const uint8_t* data, int64_t from, int64_t to) noexcept;

// The ways of finding candidates: byte by byte, or byte-class lookups in 32-
// or 64-byte vectors.
enum class CandidateScan : uint8_t { Portable, Avx2, Avx512 };

// Every CandidateScan this processor can run, Portable first: they all give
// the same answers.
std::vector<CandidateScan> CandidateScans();

// The fastest of CandidateScans().
CandidateScan BestCandidateScan();

// Finds the candidates of one block of data call after call: it keeps what it
// learnt of the 64 bytes it last looked at, so that candidates close together
// cost no more than candidates far apart. The data must not change while it
// is used.
class ContentCandidateCursor {
public:
    // The first of count blocks of 64 places from blocks with candidates
    // (more than IsContentLead takes), those in mask a bit each; count when
    // none has any. Reads blocks[0] to blocks[64 * count].
    using BlockScan = int64_t (*)(const uint8_t* blocks, int64_t count, uint64_t& mask) noexcept;

    // scan must be one of CandidateScans().
    explicit ContentCandidateCursor(const uint8_t* data, CandidateScan scan = BestCandidateScan()) noexcept;

    // Lowest p with from <= p < to at which IsContentLead holds for data[p],
    // data[p + 1], or -1: NextContentCandidatePortable's answer. Requires
    // 0 <= from; reads no byte past data[to], so to may be the first byte not
    // yet loaded.
    int64_t Next(int64_t from, int64_t to) noexcept;

private:
    const uint8_t* m_data;
    BlockScan m_blockScan;
    int64_t m_block = -1;
    uint64_t m_mask = 0;
};

}  // namespace kestrix
