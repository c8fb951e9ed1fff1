#pragma once

#include "content_search.h"
#include "extraction.h"
#include "stream.h"

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kestrix {

// The files a save of items writes into the folder of one kind: the items of
// kind (their rows in formats), in list order, that keep (one flag per item,
// empty: all) holds, each under its caption (ContentCaptions) as FolderNames
// makes it. ExtractItem::Row is the item's index in items.
std::vector<ExtractItem> PlanContentExtraction(const std::vector<FoundItem>& items,
                                               const std::vector<std::string>& captions, ContentKind kind,
                                               const std::vector<bool>& keep = {}, FormatTable formats = kFormats);

// The names of the WAV files made of the sounds of plan (a plan of one kind's
// folder): each file's name with ".wav" added, made unique among the names of
// plan too, so that they can go beside the originals. Rows as in plan.
std::vector<ExtractItem> PlanWavFiles(const std::vector<ExtractItem>& plan);

// Writes a sound of type into out as a WAV file as it decodes; false, with the
// reason, when it is not written whole (the file is then dropped).
using WavStreamer = std::function<bool(ItemType type, std::span<const uint8_t> sound, Stream& out, std::string& why)>;

// Writes a WAV file of each sound of wavFiles (PlanWavFiles; Row: the item's
// index in items) into folder, each written by toWav as it decodes
// (WriteToFileAtomically), whole or not at all, so that no sound is held whole
// in memory; never replaces the open image or a file of kept. A sound toWav
// refuses writes nothing and goes to skipped with the reason; a file that
// cannot be written goes to hooks.Failed, as in SaveToFolder (GoOn or Stop).
// Returns the files written.
std::size_t StreamSoundsAsWav(TCustomHexBuffer& buffer, const std::vector<FoundItem>& items,
                              const std::vector<ExtractItem>& wavFiles, const std::string& folder,
                              const WavStreamer& toWav, const SaveHooks& hooks,
                              const std::function<void(const ExtractItem& item, const std::string& why)>& skipped,
                              const KeptFiles& kept = {});

}  // namespace kestrix
