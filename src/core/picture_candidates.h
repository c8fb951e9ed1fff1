#pragma once

#include "picture_search.h"

#include <cstdint>
#include <optional>

namespace kestrix {

// The format whose first two bytes start at data[p] ("GI" GIF, "BM" BMP, FF D8 JPEG,
// 89 "P" PNG), or none. Reads data[p] and data[p + 1].
std::optional<PictureType> PictureCandidateKind(const uint8_t* data, int64_t p) noexcept;

// Lowest p with from <= p < to at which PictureCandidateKind finds a format, or -1.
// Requires 0 <= from and to smaller than the data's size (the second byte of the
// last pair lies inside the data). Uses 32-byte vectors where the processor has them.
int64_t NextPictureCandidate(const uint8_t* data, int64_t from, int64_t to) noexcept;

// The same with 16-byte vectors (or byte by byte without SSE2) on any processor.
int64_t NextPictureCandidatePortable(const uint8_t* data, int64_t from, int64_t to) noexcept;

}  // namespace kestrix
