#pragma once

#include "cli_request.h"
#include "content_extraction.h"
#include "content_list.h"
#include "content_search.h"
#include "custom_hex_buffer.h"
#include "extraction.h"
#include "found_rows.h"
#include "list_kind.h"
#include "report_writer.h"
#include "sound_plugin.h"

#include <ostream>
#include <string>
#include <vector>

namespace kestrix {

// Writes sounds as WAV files with the decoders of plugin, all its calls
// together at most left bytes (WavBudgetOf): a sound the bound cannot take
// is refused before it is decoded. left falls by each file written; plugin
// and left must outlive the streamer.
WavStreamer BoundedWavStreamer(const SoundPlugin& plugin, int64_t& left);

// Saves the rows of list that its save rule keeps into folder (created with
// the folders above it when missing), never replacing a file of kept. Each
// file written and each row that fails goes into the report, a failure also
// onto err; a folder that cannot be created fails every row with its reason.
ExtractReport ExtractList(THexBuffer& buffer, const FoundRows& rows, ListKind list, const std::string& folder,
                          const KeptFiles& kept, std::ostream& err);

// Saves items under their captions into one folder per kind under folder
// ("pictures", "sounds"...), with the rules and report of ExtractList; with
// wavFrom, each sound is also written as a WAV file beside it, and one that
// does not decode goes into the report's NoWav.
ExtractReport ExtractContent(THexBuffer& buffer, const std::vector<FoundItem>& items,
                             const std::vector<std::string>& captions, const std::string& folder, const KeptFiles& kept,
                             const SoundPlugin* wavFrom, std::ostream& err);

}  // namespace kestrix
