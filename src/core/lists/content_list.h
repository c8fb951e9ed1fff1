#pragma once

#include "content_search.h"

#include <optional>
#include <string>
#include <string_view>

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

}  // namespace kestrix
