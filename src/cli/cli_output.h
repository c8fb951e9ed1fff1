#pragma once

#include "cli_request.h"
#include "content_search.h"
#include "custom_hex_buffer.h"
#include "extraction.h"
#include "found_rows.h"
#include "json_writer.h"
#include "list_kind.h"
#include "row_digests.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace kestrix {

// Rows to print, whichever command found them: the columns of the plain
// table (after its "#" column) and the fields of each row's JSON object.
struct Listing {
    std::size_t Count = 0;
    std::vector<std::string> Columns;
    // Row i's table cells, one per column, printable.
    std::function<std::vector<std::string>(std::size_t i)> Cells;
    // Writes row i's fields into the JSON object begun for it.
    std::function<void(JsonWriter& json, std::size_t i)> Fields;
    // Whether an extraction's report tells the sounds without a WAV file.
    bool Wav = false;
};

// The digests of the rows of a list scan, and of the items at the indices
// rows, started at once; what they read must stay while they are asked for.
std::shared_ptr<RowDigests> RowDigestsOf(std::span<const uint8_t> image, const FoundRows& rows);
std::shared_ptr<RowDigests> ItemDigestsOf(std::span<const uint8_t> image, const std::vector<FoundItem>& items,
                                          const std::vector<std::size_t>& rows);

// The rows of a list scan (files, graphics, pictures) of image, as rowText
// shows them; each row's JSON carries the SHA-256 of its bytes ("sha256",
// null for a row without an end inside the image): from digests (of
// RowDigestsOf) when they are under way, else worked out as the row is
// written.
Listing ListRows(ListKind list, const FoundRows& rows, const RowTextFunction& rowText, std::span<const uint8_t> image,
                 std::shared_ptr<RowDigests> digests);

// The items of the content search at the indices rows of found.Items, with
// the captions of all its items (ContentCaptions, read only as rows are
// printed), image holding their bytes. A descriptor's row names the archive
// it describes: "jar" {"caption", "start", "cut"} or null. Each row's JSON
// carries the SHA-256 of the item's bytes ("sha256"), from digests (of
// ItemDigestsOf) as in ListRows.
Listing ContentRows(const ContentFound& found, const std::vector<std::string>& captions,
                    const std::vector<std::size_t>& rows, bool wav, std::span<const uint8_t> image,
                    std::shared_ptr<RowDigests> digests);

// Prints listing of the image of task (imageSize bytes): one JSON object on
// one line ({"image", "size", "rows", and with report "written", "failed",
// "no_wav"}), written out as it grows; or a table with a "#" column, a line
// "N rows" and, with report, its counts.
void PrintListing(std::ostream& out, bool json, const ImageTask& task, std::size_t imageSize, const Listing& listing,
                  const std::optional<ExtractReport>& report);

// Prints the five facts of the image in buffer: a JSON object on one line
// ({"image", "size", "info", "sha256", "md5"}: the image's digests beside the
// facts), or a two-column table with the digests on two lines after it.
void PrintInfo(std::ostream& out, bool json, const ImageTask& task, const THexBuffer& buffer);

}  // namespace kestrix
