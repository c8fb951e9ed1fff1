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

}  // namespace kestrix
