#pragma once

#include "content_search.h"
#include "extraction.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

// The name of a kind in the command line and JSON: "picture", "sound",
// "application", "file".
std::string_view ContentKindName(ContentKind kind) noexcept;

// The kind a name (ContentKindName, or its plural "pictures"...) stands for;
// none for another word.
std::optional<ContentKind> ContentKindNamed(std::string_view name) noexcept;

// The folder a save of several kinds puts a kind's items in: "pictures",
// "sounds", "applications", "files".
std::string_view ContentKindFolder(ContentKind kind) noexcept;

// The files a save of items writes into the folder of one kind: the items of
// kind, in list order, that keep (one flag per item, empty: all) holds, each
// under its caption (ContentCaptions) as FolderNames makes it. ExtractItem::Row
// is the item's index in items.
std::vector<ExtractItem> PlanContentExtraction(const std::vector<FoundItem>& items,
                                               const std::vector<std::string>& captions, ContentKind kind,
                                               const std::vector<bool>& keep = {});

}  // namespace kestrix
