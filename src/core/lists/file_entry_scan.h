#pragma once

#include "custom_hex_buffer.h"
#include "found_rows.h"
#include "min_scan_size.h"
#include "result_row.h"
#include "scan_hooks.h"

#include <cstddef>
#include <string>

namespace kestrix {

// Walks the image for file-system entries (signature 00 00 01 FF 00 00 00) and
// replaces rows with one row per entry name, in order of the entries: start =
// the data start, end = start + size for sizes up to 384 (none for larger
// ones), size = the entry's unsigned 32-bit size, the name kept with the row;
// a name already listed is not listed again. False, rows untouched, when the
// image has 1000 bytes or less.
bool ScanFileEntries(TCustomHexBuffer& buffer, const ScanHooks& hooks, FoundRows& rows);

// Row index of a file list as the list shows it: caption = the name, cells
// type (FileTypeOf the name), start, end, size; icon 11.
ResultRow FileRowText(const FoundRows& rows, std::size_t index);

// The type cell for a file name (Windows-1251 bytes): the extension after a
// dot at one of the last three positions, or "xxx".
std::string FileTypeOf(const std::string& name);

}  // namespace kestrix
