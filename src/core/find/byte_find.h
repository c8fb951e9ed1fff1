#pragma once

#include "custom_hex_buffer.h"
#include "scan_hooks.h"
#include "sliced_find.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kestrix {

// How the text of a find is turned into the bytes looked for.
enum class FindEncoding { Hex, Cp1251, Utf8, Utf16Le, Utf16Be };

// The bytes a find looks for: for Hex, pairs of hex digits with blanks allowed
// between them ("4D 6F", "4d6f"); for the others, text (UTF-8) in that
// encoding. None for empty text, an odd or non-hex digit, text that is not
// UTF-8, or a character Windows-1251 lacks.
std::optional<std::vector<uint8_t>> FindNeedle(std::string_view text, FindEncoding encoding);

// The first match of needle starting at from or later, through the search
// engine (FindHexPattern over slices, hooks.KeepGoing between them). The
// buffer's selection becomes the match, as FindHexPattern leaves it.
SlicedFindResult FindNextMatch(TCustomHexBuffer& buffer, std::span<const uint8_t> needle, int32_t from,
                               const ScanHooks& hooks, int32_t sliceSize = kSearchSliceSize);

// The last match of needle starting before `before`, through the same engine,
// walking back over slices with hooks.KeepGoing between them. A match may run
// past `before`.
SlicedFindResult FindPreviousMatch(TCustomHexBuffer& buffer, std::span<const uint8_t> needle, int32_t before,
                                   const ScanHooks& hooks, int32_t sliceSize = kSearchSliceSize);

}  // namespace kestrix
