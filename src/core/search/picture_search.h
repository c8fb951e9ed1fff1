#pragma once

#include "content_search.h"
#include "scan_hooks.h"

#include <optional>
#include <span>
#include <vector>

namespace kestrix {

// Every GIF, BMP, JPEG and PNG picture of image: the content search restricted
// to pictures (FindAllContent with ContentKinds::Only(ContentKind::Picture)),
// so its rows, ends, statuses and names are those the whole content search
// gives its pictures. hooks.DecodeCheck judges whole pictures; progress and
// stopping as FindAllContent; std::nullopt when KeepGoing ended the search.
std::optional<std::vector<FoundItem>> FindAllPictures(std::span<const uint8_t> image, const ScanHooks& hooks);

}  // namespace kestrix
