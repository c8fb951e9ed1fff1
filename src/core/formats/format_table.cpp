#include "format_table.h"

namespace kestrix {

static_assert(
    [] {
        for (std::size_t k = 0; k < std::size(kFormats); ++k)
            if (static_cast<std::size_t>(kFormats[k].Type) != k)
                return false;
        return true;
    }(),
    "the format table is in ItemType order");
static_assert(std::size(kFormats) == static_cast<std::size_t>(ItemType::File), "every format has its row");

std::string_view KindCaption(ContentKind kind) noexcept
{
    switch (kind) {
    case ContentKind::Picture: return "\xCA\xE0\xF0\xF2\xE8\xED\xEA\xE0";              // Картинка
    case ContentKind::Sound: return "\xC7\xE2\xF3\xEA";                                // Звук
    case ContentKind::Application: return "\xCF\xF0\xE8\xEB\xEE\xE6\xE5\xED\xE8\xE5";  // Приложение
    case ContentKind::File: return "\xD4\xE0\xE9\xEB";                                 // Файл
    }
    return {};
}

}  // namespace kestrix
