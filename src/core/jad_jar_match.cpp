#include "jad_jar_match.h"

#include <algorithm>
#include <string_view>

namespace kestrix {
namespace {

char Lower(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) noexcept
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Stem(std::string_view name) noexcept
{
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string_view::npos ? name : name.substr(0, dot);
}

const MidletInfo* FactsOf(const ContentFound& found, const FoundItem& item) noexcept
{
    return item.Midlet >= 0 && static_cast<std::size_t>(item.Midlet) < found.Midlets.size()
               ? &found.Midlets[static_cast<std::size_t>(item.Midlet)]
               : nullptr;
}

}  // namespace

DescribedJar FindDescribedJar(const ContentFound& found, std::size_t descriptor)
{
    DescribedJar result;
    if (descriptor >= found.Items.size())
        return result;
    const FoundItem& jad = found.Items[descriptor];
    const MidletInfo* facts = FactsOf(found, jad);
    if (jad.Type != ItemType::Jad || facts == nullptr)
        return result;
    const std::string_view url = facts->JarUrl;
    const std::string_view file = url.substr(url.find_last_of('/') + 1);
    const auto byUrl = [&](const FoundItem& jar, const MidletInfo*) {
        return !file.empty() && SameName(jar.EntryName, file);
    };
    const auto byEntry = [&](const FoundItem& jar, const MidletInfo*) {
        return !jad.EntryName.empty() && !jar.EntryName.empty() && SameName(Stem(jad.EntryName), Stem(jar.EntryName));
    };
    const auto byManifest = [&](const FoundItem&, const MidletInfo* manifest) {
        return manifest != nullptr && !facts->Name.empty() && manifest->Name == facts->Name &&
               manifest->Version == facts->Version;
    };
    const auto search = [&](const auto& rule) {
        int32_t first = -1;
        for (std::size_t i = 0; i < found.Items.size(); ++i) {
            const FoundItem& jar = found.Items[i];
            if (jar.Type != ItemType::Jar || !rule(jar, FactsOf(found, jar)))
                continue;
            if (facts->JarSize >= 0 && jar.Size() == facts->JarSize)
                return static_cast<int32_t>(i);
            if (first < 0)
                first = static_cast<int32_t>(i);
        }
        return first;
    };
    result.Item = search(byUrl);
    if (result.Item < 0)
        result.Item = search(byEntry);
    if (result.Item < 0)
        result.Item = search(byManifest);
    if (result.Item >= 0) {
        const FoundItem& jar = found.Items[static_cast<std::size_t>(result.Item)];
        result.Cut = jar.Status == ItemStatus::Truncated || (facts->JarSize >= 0 && jar.Size() < facts->JarSize);
    }
    return result;
}

}  // namespace kestrix
