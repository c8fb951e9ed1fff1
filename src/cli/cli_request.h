#pragma once

#include "content_search.h"
#include "extraction.h"
#include "list_kind.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrix {

// The width of the map of the flash when --width does not say.
inline constexpr int32_t kDefaultMapWidth = 512;

// What one run of kestrix-cli was asked to do.
struct CliRequest {
    // The list to print; none for the facts ("info") and the content search.
    std::optional<ListKind> List;
    // "content": every item of the kinds in Kinds (all when empty).
    bool Content = false;
    std::vector<ContentKind> Kinds;
    // content --extract: each sound also as a 16-bit PCM WAV file beside it.
    bool Wav = false;
    std::vector<std::string> Images;  // as given, bytes
    bool Json = false;
    std::optional<std::string> ExtractFolder;
    // "report": the folder its files go into (--out).
    bool Report = false;
    std::optional<std::string> ReportFolder;
    // "map": the PNG file it writes (--png) and its width in pixels (--width).
    bool Map = false;
    std::string MapPng;
    int32_t MapWidth = kDefaultMapWidth;
    int Jobs = 1;
    // Every image of the run: no extraction may replace any of them.
    KeptFiles Kept;
};

// One image of a request: its path (bytes, as given) and where its files go.
struct ImageTask {
    std::string ImagePath;
    std::string ShownPath;  // UTF-8 for JSON and tables
    // Where its files go: --extract's folder, or report's --out.
    std::optional<std::string> ExtractFolder;
    bool ErrorObject = false;  // a failed load prints {"image", "error"} in JSON
};

// What an extraction did, row by row.
struct ExtractReport {
    std::vector<std::pair<int32_t, std::string>> Written;
    std::vector<std::pair<int32_t, std::string>> Failed;
    // Sounds no WAV file was made of, and why (content --wav).
    std::vector<std::pair<int32_t, std::string>> NoWav;
    // A folder could not be created (its rows, if any, are in Failed).
    bool FolderFailed = false;

    // Whether the extraction fell short of what it was asked.
    bool Failing() const noexcept { return FolderFailed || !Failed.empty(); }
};

}  // namespace kestrix
