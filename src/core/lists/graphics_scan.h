#pragma once

#include "custom_hex_buffer.h"
#include "found_rows.h"
#include "min_scan_size.h"
#include "result_row.h"
#include "scan_hooks.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrix {

inline constexpr int32_t kGifPassStart = 9568256;      // 0x920000
inline constexpr int32_t kGifSearchBound = 278790143;  // 0x109DFFFF, exclusive
inline constexpr int32_t kGraphicsGaugeMaximum = 800;

// Replaces rows with the GIF pictures above 9568256 and then the small bitmaps
// of the image (types Gif and Bmp, each with start, end and the size its list
// shows). False, rows untouched, when the image has 1000 bytes or less.
bool ScanGraphics(TCustomHexBuffer& buffer, const ScanHooks& hooks, FoundRows& rows);

// Row index of a picture list as the list shows it: caption "Файл (index)",
// cells type ("gif" or "bmp"), start, end, size; icon 5.
ResultRow PictureRowText(const FoundRows& rows, std::size_t index);

// Offset in image of the trailer byte 3Bh of the GIF starting at start, found
// by walking its blocks without reading at or beyond limit (nor the image's
// end); -1 when the walk fails.
int32_t FindGifTrailer(std::span<const uint8_t> image, int32_t start, int32_t limit);

}  // namespace kestrix
