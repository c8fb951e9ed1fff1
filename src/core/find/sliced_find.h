#pragma once

#include "custom_hex_buffer.h"
#include "scan_hooks.h"

#include <cstdint>
#include <string_view>

namespace kestrix {

// Candidate start offsets covered by one slice of a long search.
inline constexpr int32_t kSearchSliceSize = 16 * 1024 * 1024;

struct SlicedFindResult {
    int32_t Offset = -1;   // as FindHexPattern: the match, or -1
    bool Stopped = false;  // the front end's KeepGoing asked to end the analysis
};

// FindHexPattern(buffer, pattern, from, to), run over slices of at most
// kSearchSliceSize start offsets that overlap by the pattern length - 1, with
// hooks.KeepGoing called between slices. The offset and the selection afterwards
// are those of the single search; on a stop the offset is -1.
SlicedFindResult FindHexPatternSliced(TCustomHexBuffer& buffer, std::string_view pattern, int32_t from, int32_t to,
                                      const ScanHooks& hooks, int32_t sliceSize = kSearchSliceSize);

}  // namespace kestrix
