#pragma once

#include "custom_hex_buffer.h"
#include "result_row.h"
#include "scan_hooks.h"

#include <optional>
#include <vector>

namespace kestrix {

// The smallest image the scans accept is one byte larger than this.
inline constexpr int32_t kMinScanSize = 1000;

// Walks the image for file-system entries (signature 00 00 01 FF 00 00 00) and
// returns the rows of the file list: caption = name, cells type, start, end
// (empty for sizes above 384), size; duplicate names removed. std::nullopt when
// the image has 1000 bytes or less (nothing is to change).
std::optional<std::vector<TResultRow>> ScanFileEntries(TCustomHexBuffer& buffer, const ScanHooks& hooks);

// The type cell for a file name (Windows-1251 bytes): the extension after a
// dot at one of the last three positions, or "xxx".
std::string FileTypeOf(const std::string& name);

}  // namespace kestrix
