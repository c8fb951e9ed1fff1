#include "code_page.h"
#include "content_image_builder.h"
#include "content_search.h"
#include "custom_hex_buffer.h"
#include "exceptions.h"
#include "flash_image_builder.h"
#include "found_item_printer.h"
#include "picture_builders.h"
#include "short_stream.h"
#include "sound_builders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

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

// Before the checks' verdicts, the front end is told the items once, in
// their final order, with their final ranges, types and names, whichever
// kinds were asked for; the verdicts then land on their own items.
TEST(ContentSearch, ItemsListedBeforeTheVerdictsAreTheFinalItems)
{
    const ContentImage image = BuildContentImage();
    ScanHooks hooks;
    hooks.DecodeCheck = [](ItemType, std::span<const uint8_t> bytes, const std::atomic<bool>&) {
        return bytes.size() % 2 == 0 ? ItemStatus::Damaged : ItemStatus::Complete;
    };
    const std::optional<ContentFound> all = FindAllContent(image.Bytes, hooks);
    ASSERT_TRUE(all);
    for (const ContentKinds kinds : {ContentKinds::All(), ContentKinds::Only(ContentKind::Picture)}) {
        std::vector<FoundItem> listed;
        int calls = 0;
        hooks.ItemsListed = [&](const ContentFound& found) {
            ++calls;
            listed = found.Items;
        };
        const std::optional<ContentFound> found = FindAllContent(image.Bytes, hooks, {}, kinds);
        ASSERT_TRUE(found);
        EXPECT_EQ(calls, 1);
        std::vector<FoundItem> expected;
        std::copy_if(all->Items.begin(), all->Items.end(), std::back_inserter(expected),
                     [kinds](const FoundItem& item) { return kinds.Has(KindOf(item.Type)); });
        ASSERT_EQ(found->Items, expected);
        int judged = 0;
        for (const FoundItem& item : found->Items)
            if (KindOf(item.Type) == ContentKind::Picture &&
                (item.Status == ItemStatus::Complete || item.Reason == StatusReason::DoesNotDecode)) {
                EXPECT_EQ(item.Status == ItemStatus::Damaged, item.FormatSize() % 2 == 0) << item.Start;
                ++judged;
            }
        EXPECT_GT(judged, 2);
        ASSERT_EQ(listed.size(), expected.size());
        for (std::size_t i = 0; i < listed.size(); ++i)
            EXPECT_EQ(std::tie(listed[i].Start, listed[i].End, listed[i].Type, listed[i].EntryName),
                      std::tie(expected[i].Start, expected[i].End, expected[i].Type, expected[i].EntryName))
                << i;
    }
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

// A sound longer than a walk's first look, the content image, garbage longer
// than the image's last entry says it is, and a cut sound at the end.
std::vector<uint8_t> ArrivingImage()
{
    using test_support::BuildRiff;
    const std::vector<uint8_t> cut = BuildRiff({.dataBytes = 3u << 20});
    return test_support::Concat({BuildRiff({.dataBytes = 3u << 20}), BuildContentImage().Bytes,
                                 test_support::Garbage(2u << 20, 5), test_support::Cut(cut, cut.size() / 2)});
}

// What a search of bytes found while they were handed over a step at a time,
// and the furthest past the bytes in that it ever asked for.
struct ChunkedSearch {
    std::optional<ContentFound> Found;
    int64_t FurthestAhead = 0;
};

// Searches bytes while handing them over step bytes at a time, with
// whenWanted each only once the search waits for it.
ChunkedSearch SearchInChunks(const std::vector<uint8_t>& bytes, int64_t step, bool whenWanted)
{
    const auto size = static_cast<int64_t>(bytes.size());
    LoadWatermark arriving;
    ChunkedSearch result;
    std::atomic<bool> done = false;
    std::thread search([&] {
        result.Found = FindAllContentWhileLoading(arriving, {});
        done = true;
    });
    arriving.Begin(bytes);
    for (int64_t in = 0; in < size && !done;) {
        const int64_t wanted = arriving.Wanted();
        if (whenWanted && wanted <= in) {
            std::this_thread::yield();
            continue;
        }
        result.FurthestAhead = std::max(result.FurthestAhead, wanted - in);
        in = std::min(size, in + step);
        arriving.Advance(in);
    }
    search.join();
    return result;
}

// Searched while it arrives, however the bytes come in, an image gives what
// it gives when searched whole: also when each chunk comes only once the
// search waits for it, so that every walk first sees as few bytes as it may.
TEST(ContentSearchWhileLoading, FindsWhatTheWholeImageHolds)
{
    const std::vector<uint8_t> bytes = ArrivingImage();
    const std::optional<ContentFound> whole = FindAllContent(bytes, {});
    ASSERT_TRUE(whole);
    const struct {
        const char* name;
        int64_t step;  // bytes a chunk; 0: the buffer's own load
        bool whenWanted;
    } cases[] = {{"the buffer's load", 0, false},
                 {"small chunks", 4093, false},
                 {"small chunks when wanted", 4093, true},
                 {"large chunks when wanted", 300007, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<ContentFound> found;
        if (c.step == 0) {
            THexBuffer buffer;
            LoadWatermark arriving;
            std::thread search([&] { found = FindAllContentWhileLoading(arriving, {}); });
            buffer.SetLoadWatermark(&arriving);
            buffer.LoadFromBytes(bytes);
            search.join();
        } else {
            found = SearchInChunks(bytes, c.step, c.whenWanted).Found;
        }
        ASSERT_TRUE(found);
        EXPECT_EQ(found->Items, whole->Items);
        EXPECT_EQ(found->Midlets, whole->Midlets);
    }
}

// The search keeps up with the load: an entry whose stated size runs past
// the next entry is cut at that entry, and the search waits only for the
// bytes up to it, never for the rest of the image.
TEST(ContentSearchWhileLoading, WaitsOnlyForTheBytesItReads)
{
    constexpr std::size_t kSize = 32u << 20;
    test_support::FlashImageBuilder image(kSize, 0x00);
    image.Put(0, test_support::Garbage(kSize, 11));
    image.PutFileEntry(4096, "cut.txt", 100000, "cut short by the next entry");
    image.PutFileEntry(8192, "next.txt", 16, "sixteen bytes..");
    image.PutFileEntry(kSize - 8192, "last.txt", 100000, "cut short by the image's end");
    const std::optional<ContentFound> whole = FindAllContent(image.Bytes(), {});
    ASSERT_TRUE(whole);
    const ChunkedSearch chunked = SearchInChunks(image.Bytes(), 65536, true);
    ASSERT_TRUE(chunked.Found);
    EXPECT_EQ(chunked.Found->Items, whole->Items);
    EXPECT_LT(chunked.FurthestAhead, int64_t{4} << 20);
}

// A load that fails stops the search, and the block is freed only once the
// search let go of it; a load that fails before it began gives no search.
TEST(ContentSearchWhileLoading, AFailedLoadStopsTheSearch)
{
    const std::vector<uint8_t> bytes = ArrivingImage();
    test_support::ShortStream source(static_cast<int64_t>(bytes.size()) * 2);
    source.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    THexBuffer buffer;
    LoadWatermark arriving;
    buffer.SetLoadWatermark(&arriving);
    std::optional<ContentFound> found = ContentFound{};
    std::thread search([&] { found = FindAllContentWhileLoading(arriving, {}); });
    EXPECT_THROW(buffer.LoadFromStream(source), EReadError);
    search.join();
    EXPECT_FALSE(found);
    EXPECT_EQ(buffer.DataSize(), 0);

    LoadWatermark never;
    never.Fail();
    EXPECT_FALSE(FindAllContentWhileLoading(never, {}));
}

}  // namespace
}  // namespace kestrix
