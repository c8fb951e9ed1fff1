#pragma once

#include "content_search.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix::test_support {

// One item the content search must list in a built content image.
struct ExpectedItem {
    ItemType Type = ItemType::File;
    ItemStatus Status = ItemStatus::Complete;
    int32_t Start = 0;
    // One past the item's last byte.
    int32_t End = 0;
    // The entry's name (Windows-1251), empty when no entry holds the item.
    std::string EntryName;
    // What was built there, for messages (UTF-8).
    std::string Case;
};

// A bait placed in the image that must not be listed: a signature followed
// by garbage, a short chain of frames, a lone descriptor line.
struct PlacedDecoy {
    int32_t Start = 0;
    std::string Case;
};

struct ContentImage {
    std::vector<uint8_t> Bytes;
    // In order of their starts.
    std::vector<ExpectedItem> Items;
    std::vector<PlacedDecoy> Decoys;
};

// Builds one flash-like image holding an item of every format the content
// search knows (pictures, MIDI 0/1, AMR-NB/WB, MP3 with its tags, WAV PCM and
// ADPCM, QCP, RMID, iMelody, SMAF, JAR stored, deflated, nested, JAD) with the
// traps of each: items at odd offsets and in file-system entries, among
// machine-code-like bytes and runs of FFh and 00h, decoys, items cut by erased
// flash, by the next item or by the image's end, damaged ones, entries of no
// known format, entries whose size crosses the next entry's signature or the
// image's end. The same bytes for every call. Statuses are those of the
// structure walks alone (no decode checks); a cut item of chunks (PNG, MIDI,
// JAR, MP3, AMR frames) ends with its last whole part, a cut GIF at its cut.
struct ContentImagePlan {
    std::size_t minSize = 0;
    // Laid among the items instead of built machine-code-like bytes (a real
    // program's bytes), and as padding up to minSize.
    std::vector<uint8_t> machineCode = {};
    // Also the traps the search is not yet exact on (their expectations are
    // what a user needs): a bitmap cut by erased flash with pictures inside
    // its stated size.
    bool openTraps = false;
};
ContentImage BuildContentImage(const ContentImagePlan& plan = {});

}  // namespace kestrix::test_support
