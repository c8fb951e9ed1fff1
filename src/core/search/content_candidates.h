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
// data[p + 1], or -1. Requires 0 <= from and to smaller than the data's size.
// Uses byte-class lookups in 64- or 32-byte vectors where the processor has them.
int64_t NextContentCandidate(const uint8_t* data, int64_t from, int64_t to) noexcept;

// The same byte by byte, on any processor.
int64_t NextContentCandidatePortable(const uint8_t* data, int64_t from, int64_t to) noexcept;

using ContentCandidateFinder = int64_t (*)(const uint8_t* data, int64_t from, int64_t to) noexcept;

// Every way of NextContentCandidate this processor can run, the portable one
// first: they all give the same answers.
std::vector<ContentCandidateFinder> ContentCandidateFinders();

}  // namespace kestrix
