#include "picture_search.h"

namespace kestrix {

std::optional<std::vector<FoundItem>> FindAllPictures(std::span<const uint8_t> image, const ScanHooks& hooks)
{
    std::optional<ContentFound> found = FindAllContent(image, hooks, {}, ContentKinds::Only(ContentKind::Picture));
    if (!found)
        return std::nullopt;
    return std::move(found->Items);
}

}  // namespace kestrix
