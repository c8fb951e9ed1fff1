#include "content_list.h"

namespace kestrix {
namespace {

struct KindNames {
    ContentKind Kind;
    std::string_view Name;
    std::string_view Folder;
};

constexpr KindNames kKindNames[] = {
    {ContentKind::Picture, "picture", "pictures"},
    {ContentKind::Sound, "sound", "sounds"},
    {ContentKind::Application, "application", "applications"},
    {ContentKind::File, "file", "files"},
};

}  // namespace

std::string_view ContentKindName(ContentKind kind) noexcept
{
    return kKindNames[static_cast<std::size_t>(kind)].Name;
}

std::optional<ContentKind> ContentKindNamed(std::string_view name) noexcept
{
    for (const KindNames& names : kKindNames)
        if (name == names.Name || name == names.Folder)
            return names.Kind;
    return std::nullopt;
}

std::string_view ContentKindFolder(ContentKind kind) noexcept
{
    return kKindNames[static_cast<std::size_t>(kind)].Folder;
}

std::vector<ExtractItem> PlanContentExtraction(const std::vector<FoundItem>& items,
                                               const std::vector<std::string>& captions, ContentKind kind,
                                               const std::vector<bool>& keep)
{
    std::vector<ExtractItem> plan;
    FolderNames names;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (KindOf(items[i].Type) != kind || (!keep.empty() && (i >= keep.size() || !keep[i])))
            continue;
        plan.push_back({static_cast<int32_t>(i), names.Claim(captions[i])});
    }
    return plan;
}

}  // namespace kestrix
