#pragma once

#include "content_extraction.h"
#include "content_list.h"
#include "content_search.h"
#include "custom_hex_buffer.h"
#include "extraction.h"
#include "report_item.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kestrix {

// How a report is written.
struct ReportOptions {
    // The image's file name as the report names it (UTF-8).
    std::string ImageName;
    // Files the report may never replace, besides the open image.
    KeptFiles Kept;
    // Writes a sound as a WAV file for the page to play, within the caller's
    // bound on all WAV files; empty: no WAV copies.
    WavStreamer ToWav;
    // Once true, the report stops after the file being written; may be null.
    const std::atomic<bool>* Cancel = nullptr;
    // Told the share done, 0 to 100, as the report goes; may be empty.
    std::function<void(int percent)> Progress;
    // The program and version the DFXML names as its creator.
    std::string Program = "kestrix";
    std::string Version;
};

// What writing a report did.
struct ReportOutcome {
    // The items and their files, as the report's files tell them.
    std::vector<ReportItem> Items;
    // Files written, relative to the report's folder (items, WAV copies,
    // icons, then index.html, items.csv and report.xml).
    std::vector<std::string> Written;
    // Items or files that could not be written, with the reason (English).
    std::vector<std::pair<std::string, std::string>> Failed;
    // Sounds no WAV copy was made of: caption and reason.
    std::vector<std::pair<std::string, std::string>> NoWav;
    bool Cancelled = false;

    // Whether the report fell short of what it was asked.
    bool Failing() const noexcept { return Cancelled || !Failed.empty(); }
};

// The SHA-256 of each item's bytes in image; empty for an item whose range
// is not inside it.
std::vector<std::string> ItemDigests(std::span<const uint8_t> image, const std::vector<FoundItem>& items);

// The items of a content search as a report tells them, with their SHA-256
// from image when digests is set (ItemDigests); no file named yet.
std::vector<ReportItem> ReportItemsOf(std::span<const uint8_t> image, const ContentFound& found,
                                      const std::vector<FoundItem>& items, const std::vector<std::string>& captions,
                                      bool digests = true);

// The facts and digests of the image in buffer; none when cancel is set first.
std::optional<ReportImage> DescribeImage(const TCustomHexBuffer& buffer, const std::string& name,
                                         const std::atomic<bool>* cancel);

// Writes the report of items (found by a content search of buffer, with their
// captions, ContentCaptions) into folder, created with the folders above it
// when missing: each item into the folder of its kind (as content --extract
// saves them), sounds also as WAV copies (options.ToWav), the applications'
// icons into "icons", then index.html (ReportHtml), items.csv (ReportCsv) and
// report.xml (ReportDfxml). Every file is written whole or not at all and
// never over the open image or a file of options.Kept; an item that cannot be
// written is told in the outcome and the report goes on. Time and memory
// linear in the image and the items.
ReportOutcome WriteReport(TCustomHexBuffer& buffer, const ContentFound& found, const std::vector<FoundItem>& items,
                          const std::vector<std::string>& captions, const std::string& folder,
                          const ReportOptions& options);

}  // namespace kestrix
