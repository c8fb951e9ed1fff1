#pragma once

#include "extraction.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrix {

// What a folder already holds under the name a save would write.
enum class Existing {
    None,       // nothing of that name
    Identical,  // a regular file with exactly the bytes the save would write
    Differs,    // anything else: other bytes, a folder, a link, or bytes not known before writing
};

// The bytes an item would write, or nothing when they are known only while
// writing (a sound decoded to WAV).
using ItemBytesFunction = std::function<std::optional<std::span<const uint8_t>>(const ExtractItem& item)>;

// Compares every item's file name in folder with the bytes it would write.
// Reads at most the bytes of the items (a file of another size differs
// unread). Stops early, leaving the rest None, once cancel is set.
std::vector<Existing> CompareWithFolder(const std::string& folder, const std::vector<ExtractItem>& items,
                                        const ItemBytesFunction& bytesOf, const std::atomic<bool>* cancel = nullptr);

// What the user answers for a file that exists and differs.
enum class OverwriteChoice { Replace, Skip, KeepBoth, CancelSave };

struct OverwriteAnswer {
    OverwriteChoice Choice = OverwriteChoice::Skip;
    // The same answer for every later differing file of this save.
    bool ForAll = false;
};

struct OverwriteQuestion {
    // The file name inside the folder (UTF-8).
    std::string FileName;
    // Differing files not yet answered, this one included.
    int32_t Left = 0;
};

using OverwriteAsk = std::function<OverwriteAnswer(const OverwriteQuestion& question)>;

// The items a save writes after the user's answers, and what became of the
// files that were there.
struct ResolvedSave {
    std::vector<ExtractItem> Write;
    int32_t Identical = 0;  // already there with the same bytes: not written again
    int32_t Replaced = 0;
    int32_t Skipped = 0;   // differing files the user kept by passing the item over
    int32_t KeptBoth = 0;  // written under a free name beside the file that was there
    bool Cancelled = false;
};

// Applies existing (one entry per item, CompareWithFolder) to items: ask is
// called once per differing file until an answer is given for all. Keep both
// renames the item to "name (2).ext", "name (3).ext"... free both in folder
// and among the names of this save.
ResolvedSave ResolveExisting(const std::string& folder, const std::vector<ExtractItem>& items,
                             const std::vector<Existing>& existing, const OverwriteAsk& ask);

}  // namespace kestrix
