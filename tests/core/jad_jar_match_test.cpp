#include "jad_jar_match.h"

#include <gtest/gtest.h>

namespace kestrix {
namespace {

FoundItem Item(ItemType type, int32_t start, int32_t size, std::string entry, int32_t midlet,
               ItemStatus status = ItemStatus::Complete)
{
    FoundItem item;
    item.Type = type;
    item.Status = status;
    item.Start = start;
    item.End = start + size;
    item.EntryName = std::move(entry);
    item.Midlet = midlet;
    return item;
}

MidletInfo Facts(std::string name, std::string version, std::string url = {}, int64_t size = -1)
{
    MidletInfo facts;
    facts.Name = std::move(name);
    facts.Version = std::move(version);
    facts.JarUrl = std::move(url);
    facts.JarSize = size;
    return facts;
}

// found.Items[0] is the descriptor; the JARs follow.
TEST(FindDescribedJars, NamesTheArchiveByUrlEntryOrManifest)
{
    const struct {
        const char* name;
        MidletInfo descriptor;
        std::string descriptorEntry;
        std::vector<FoundItem> jars;
        std::vector<MidletInfo> manifests;
        int32_t item;
        bool cut;
    } cases[] = {
        {"the url's file name is an entry's",
         Facts("Snake", "1.0", "http://example.com/games/Snake.JAR", 300),
         {},
         {Item(ItemType::Jar, 100, 300, "Other.jar", 1), Item(ItemType::Jar, 500, 300, "snake.jar", 2)},
         {Facts("Snake", "1.0"), Facts("X", "2")},
         2,
         false},
        {"the entry's stem",
         Facts("Snake", "1.0", "get?id=5", 300),
         "Snake.jad",
         {Item(ItemType::Jar, 100, 300, "Snake.jar", 1)},
         {Facts("X", "2")},
         1,
         false},
        {"the manifest's name and version, the stated size first",
         Facts("Snake", "1.0", "get?id=5", 300),
         {},
         {Item(ItemType::Jar, 100, 200, {}, 1), Item(ItemType::Jar, 500, 300, {}, 2),
          Item(ItemType::Jar, 900, 300, {}, 3)},
         {Facts("Snake", "1.0"), Facts("Snake", "1.0"), Facts("Snake", "1.1")},
         2,
         false},
        {"an archive listed truncated is cut",
         Facts("Snake", "1.0", "Snake.jar", 300),
         {},
         {Item(ItemType::Jar, 100, 120, "Snake.jar", 1, ItemStatus::Truncated)},
         {Facts("Snake", "1.0")},
         1,
         true},
        {"a whole archive smaller than stated is not cut",
         Facts("Snake", "1.0", "Snake.jar", 300),
         {},
         {Item(ItemType::Jar, 100, 250, "Snake.jar", -1)},
         {},
         1,
         false},
        {"nothing names an archive",
         Facts("Snake", "1.0", "Snake.jar", 300),
         {},
         {Item(ItemType::Jar, 100, 300, "Other.jar", 1), Item(ItemType::Mp3, 500, 300, "Snake.jar", -1)},
         {Facts("Other", "1.0")},
         -1,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ContentFound found;
        found.Midlets.push_back(c.descriptor);
        found.Items.push_back(Item(ItemType::Jad, 0, 50, c.descriptorEntry, 0));
        for (const MidletInfo& manifest : c.manifests)
            found.Midlets.push_back(manifest);
        for (const FoundItem& jar : c.jars)
            found.Items.push_back(jar);
        const std::vector<DescribedJar> jars = FindDescribedJars(found);
        ASSERT_EQ(jars.size(), found.Items.size());
        const DescribedJar jar = jars[0];
        for (std::size_t i = 1; i < jars.size(); ++i)
            EXPECT_EQ(jars[i].Item, -1);
        EXPECT_EQ(jar.Item, c.item);
        EXPECT_EQ(jar.Cut, c.cut);
    }
}

}  // namespace
}  // namespace kestrix
