#pragma once

#include "digest.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrix {

// One found item as a report tells it. Text is UTF-8 without control
// characters; paths are relative to the report's folder, with "/" between
// folders, and empty when no such file was written.
struct ReportItem {
    std::string Caption;
    std::string Kind;    // ContentKindName: "picture", "sound", "application", "file"
    std::string Type;    // the format, as the lists name it ("gif", "mid"...)
    std::string Status;  // ItemStatusName: "complete", "truncated", "damaged", "unchecked"
    int32_t Start = 0;
    int32_t End = 0;  // one past the last byte
    std::string Sha256;
    std::string File;   // the saved item
    std::string Wav;    // a sound's WAV copy
    std::string Icon;   // an application's icon
    std::string Title;  // an application's name from its manifest or descriptor

    int64_t Size() const noexcept { return int64_t{End} - Start; }
};

// What a report says of the image itself.
struct ReportImage {
    std::string Name;  // the image's file name (UTF-8)
    int64_t Size = 0;
    // The facts read at fixed offsets: caption and value, as the lists show them.
    std::vector<std::pair<std::string, std::string>> Facts;
    ImageDigests Digests;
};

}  // namespace kestrix
