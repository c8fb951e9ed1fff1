#include "jad_jar_match.h"

#include <string>
#include <string_view>
#include <unordered_map>

namespace kestrix {
namespace {

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
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

// The JARs sharing one key: the first, and the first of each size.
struct JarGroup {
    int32_t First = -1;
    std::unordered_map<int64_t, int32_t> BySize;
};

class JarIndex {
public:
    void Add(const std::string& key, int32_t item, int64_t size)
    {
        JarGroup& group = m_groups[key];
        if (group.First < 0)
            group.First = item;
        group.BySize.emplace(size, item);
    }

    // The JAR of key, preferring one of size; -1 for none.
    int32_t Find(const std::string& key, int64_t size) const
    {
        const auto group = m_groups.find(key);
        if (group == m_groups.end())
            return -1;
        const auto sized = group->second.BySize.find(size);
        return sized != group->second.BySize.end() ? sized->second : group->second.First;
    }

private:
    std::unordered_map<std::string, JarGroup> m_groups;
};

std::string ManifestKey(const MidletInfo& facts)
{
    return facts.Name + '\n' + facts.Version;
}

}  // namespace

std::vector<DescribedJar> FindDescribedJars(const ContentFound& found)
{
    std::vector<DescribedJar> result(found.Items.size());
    JarIndex byEntry;
    JarIndex byStem;
    JarIndex byManifest;
    for (std::size_t i = 0; i < found.Items.size(); ++i) {
        const FoundItem& jar = found.Items[i];
        if (jar.Type != ItemType::Jar)
            continue;
        const auto index = static_cast<int32_t>(i);
        if (!jar.EntryName.empty()) {
            byEntry.Add(Lower(jar.EntryName), index, jar.Size());
            byStem.Add(Lower(Stem(jar.EntryName)), index, jar.Size());
        }
        if (const MidletInfo* manifest = FactsOf(found, jar); manifest != nullptr && !manifest->Name.empty())
            byManifest.Add(ManifestKey(*manifest), index, jar.Size());
    }
    for (std::size_t i = 0; i < found.Items.size(); ++i) {
        const FoundItem& jad = found.Items[i];
        const MidletInfo* facts = FactsOf(found, jad);
        if (jad.Type != ItemType::Jad || facts == nullptr)
            continue;
        const std::string_view url = facts->JarUrl;
        const std::string_view file = url.substr(url.find_last_of('/') + 1);
        int32_t item = file.empty() ? -1 : byEntry.Find(Lower(file), facts->JarSize);
        if (item < 0 && !jad.EntryName.empty())
            item = byStem.Find(Lower(Stem(jad.EntryName)), facts->JarSize);
        if (item < 0 && !facts->Name.empty())
            item = byManifest.Find(ManifestKey(*facts), facts->JarSize);
        if (item < 0)
            continue;
        const FoundItem& jar = found.Items[static_cast<std::size_t>(item)];
        result[i] = {item, jar.Status == ItemStatus::Truncated};
    }
    return result;
}

void MatchDescriptors(ContentFound& found)
{
    const std::vector<DescribedJar> described = FindDescribedJars(found);
    for (std::size_t i = 0; i < described.size(); ++i) {
        if (described[i].Item < 0)
            continue;
        FoundItem& descriptor = found.Items[i];
        const FoundItem& jar = found.Items[static_cast<std::size_t>(described[i].Item)];
        const int64_t stated = found.Midlets[static_cast<std::size_t>(descriptor.Midlet)].JarSize;
        descriptor.Jar = described[i].Item;
        descriptor.JarFit = described[i].Cut                      ? JarMatch::Cut
                            : stated >= 0 && jar.Size() != stated ? JarMatch::OtherSize
                                                                  : JarMatch::Fits;
    }
}

}  // namespace kestrix
