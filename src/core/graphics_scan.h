#pragma once

#include "custom_hex_buffer.h"
#include "result_row.h"
#include "scan_hooks.h"

#include <optional>
#include <vector>

namespace kestrix {

inline constexpr int32_t kGifPassStart = 9568256;     // 0x920000
inline constexpr int32_t kGifSearchBound = 278790143;  // 0x109DFFFF, exclusive
inline constexpr int32_t kGraphicsGaugeMaximum = 800;

// Lists GIF pictures above 9568256 and small bitmaps: rows captioned
// "Файл (n)" with cells type ("gif" or "bmp"), start, end, size. std::nullopt
// when the image has 1000 bytes or less.
std::optional<std::vector<TResultRow>> ScanGraphics(TCustomHexBuffer& buffer, const ScanHooks& hooks);

// Offset of the trailer byte 3Bh of the GIF starting at start, found by walking
// its blocks without reading at or beyond limit; -1 when the walk fails.
int32_t FindGifTrailer(const TCustomHexBuffer& buffer, int32_t start, int32_t limit);

}  // namespace kestrix
