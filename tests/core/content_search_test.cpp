#include "code_page.h"
#include "content_image_builder.h"
#include "content_search.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

namespace kestrix {
namespace {

using test_support::BuildContentImage;
using test_support::ContentImage;
using test_support::ExpectedItem;

std::string Describe(ItemType type, ItemStatus status, int32_t start, int32_t end, const std::string& entry)
{
    std::ostringstream out;
    out << ContentTypeName(type) << ' ' << ItemStatusName(status) << ' ' << start << ".." << end;
    if (!entry.empty())
        out << " \"" << Cp1251ToUtf8(entry) << '"';
    return out.str();
}

// Every expected item exactly once with its bytes, status and name, and
// nothing else: each difference is reported with the case built there.
void ExpectExactly(const std::vector<FoundItem>& found, const ContentImage& image)
{
    std::map<int32_t, const FoundItem*> byStart;
    for (const FoundItem& item : found)
        byStart.emplace(item.Start, &item);
    for (const ExpectedItem& e : image.Items) {
        SCOPED_TRACE(e.Case + ": expected " + Describe(e.Type, e.Status, e.Start, e.End, e.EntryName));
        const auto it = byStart.find(e.Start);
        if (it == byStart.end()) {
            ADD_FAILURE() << "missed";
            continue;
        }
        const FoundItem& item = *it->second;
        const std::string listed = Describe(item.Type, item.Status, item.Start, item.End, item.EntryName);
        EXPECT_EQ(item.Type, e.Type) << listed;
        EXPECT_EQ(item.End, e.End) << listed;
        EXPECT_EQ(item.Status, e.Status) << listed;
        EXPECT_EQ(item.EntryName, e.EntryName) << listed;
        byStart.erase(it);
    }
    for (const auto& [start, item] : byStart) {
        std::string near = "among erased flash or machine code";
        for (const auto& decoy : image.Decoys)
            if (decoy.Start <= start)
                near = "at or after the decoy \"" + decoy.Case + "\" at " + std::to_string(decoy.Start);
        ADD_FAILURE() << "listed but not built: "
                      << Describe(item->Type, item->Status, item->Start, item->End, item->EntryName) << " (" << near
                      << ")";
    }
}

TEST(ContentSearch, FindsExactlyEveryBuiltItemOfTheContentImage)
{
    const ContentImage image = BuildContentImage();
    const std::optional<ContentFound> found = FindAllContent(image.Bytes, {});
    ASSERT_TRUE(found.has_value());
    ExpectExactly(found->Items, image);
}

// The same items when the image is padded with more machine code and erased
// runs: what lies between the items does not change them.
TEST(ContentSearch, PaddingWithMachineCodeChangesNothing)
{
    const ContentImage image = BuildContentImage({.minSize = 3u << 20});
    ASSERT_GE(image.Bytes.size(), 3u << 20);
    const std::optional<ContentFound> found = FindAllContent(image.Bytes, {});
    ASSERT_TRUE(found.has_value());
    ExpectExactly(found->Items, image);
}

// A bitmap's pixels may be anything, erased flash too; but a bitmap in whose
// pixels erased flash is followed by a whole item was cut where the erased run
// starts, and the items after it are listed.
TEST(ContentSearch, BitmapCutByErasedFlashLeavesThePicturesAfterIt)
{
    const ContentImage image = BuildContentImage({.openTraps = true});
    const std::optional<ContentFound> found = FindAllContent(image.Bytes, {});
    ASSERT_TRUE(found.has_value());
    ExpectExactly(found->Items, image);
}

}  // namespace
}  // namespace kestrix
