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

namespace format_walks {

FormatWalk JarWithFacts(std::span<const uint8_t> bytes, bool thorough)
{
    JarWalk jar = WalkJar(bytes, thorough);
    FormatWalk result{jar.Walk, std::nullopt};
    if (jar.Midlet.HasManifest)
        result.Midlet = MidletInfo{std::move(jar.Midlet.Name),
                                   std::move(jar.Midlet.Vendor),
                                   std::move(jar.Midlet.Version),
                                   std::move(jar.Midlet.IconPath),
                                   std::move(jar.Midlet.Icon),
                                   {},
                                   -1};
    return result;
}

FormatWalk JadWithFacts(std::span<const uint8_t> bytes, bool)
{
    JadWalk jad = WalkJad(bytes);
    return {jad.Walk, MidletInfo{std::move(jad.Facts.Name),
                                 std::move(jad.Facts.Vendor),
                                 std::move(jad.Facts.Version),
                                 {},
                                 {},
                                 std::move(jad.Facts.JarUrl),
                                 jad.Facts.JarSize}};
}

int64_t JadBegin(std::span<const uint8_t> image, int64_t p, int64_t floor) noexcept
{
    // Lines before it belong to it only when they end right before it.
    const uint8_t before = p > floor ? image[static_cast<std::size_t>(p - 1)] : 0;
    if (before != '\n' && before != '\r')
        return p;
    return floor + JadRunStart(image.subspan(static_cast<std::size_t>(floor)), p - floor);
}

}  // namespace format_walks

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
