#pragma once

#include "flash_map.h"
#include "report_item.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

// text with &, <, >, " and ' written as entities, for HTML and XML text and
// attribute values.
std::string MarkupEscaped(std::string_view text);

// A relative path (UTF-8) as a URL path: every byte but the unreserved ones
// (letters, digits, "-", ".", "_", "~") and "/" written as %XX.
std::string UrlPath(std::string_view path);

// The report's page: one self-contained HTML file in Russian, with its style
// and script inline and nothing fetched from a network. It holds the image's
// facts and digests, the map of the flash drawn as inline SVG, and a table of
// every item (caption, kind, type, start, end, size, status, SHA-256) that
// sorts by a click on a column's head and filters by text and kind; captions
// link to the saved items, pictures show as thumbnails of their saved files,
// sounds play from their WAV copies, applications show their icons and names.
// Links are relative to the report's folder. Linear in the items and the cells.
std::string ReportHtml(const ReportImage& image, const FlashMap& map, const std::vector<ReportItem>& items);

// The items as CSV (RFC 4180: CRLF line ends, every text field quoted, quotes
// doubled) after a UTF-8 byte order mark, so that spreadsheets read Cyrillic
// right; the columns of the page's table and the saved file. A text field
// that starts with "=", "+", "-" or "@" gets a leading "'", so that no
// spreadsheet takes an image's name for a formula.
std::string ReportCsv(const std::vector<ReportItem>& items);

// The report in DFXML: the source image with its size and digests, and a
// fileobject per item with its file name, size, byte run in the image and
// SHA-256. Well-formed XML 1.0, escaped.
std::string ReportDfxml(const ReportImage& image, const std::vector<ReportItem>& items, std::string_view program,
                        std::string_view version);

}  // namespace kestrix
