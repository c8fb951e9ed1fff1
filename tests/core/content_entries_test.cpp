#include "content_candidates.h"
#include "content_extraction.h"
#include "content_list.h"
#include "content_search.h"
#include "flash_image_builder.h"
#include "found_item_printer.h"
#include "jar_builders.h"
#include "picture_builders.h"
#include "sound_builders.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace kestrix {

namespace {

using Bytes = std::vector<uint8_t>;
using test_support::FlashImageBuilder;

// What a row says of itself, for comparing with a table's expectation.
struct Expected {
    ItemType Type;
    ItemStatus Status;
    int32_t Start;
    int32_t End;
    std::string EntryName;
};

void ExpectItems(const std::vector<FoundItem>& items, const std::vector<Expected>& expected)
{
    ASSERT_EQ(items.size(), expected.size()) << ::testing::PrintToString(items);
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i) + " " + ::testing::PrintToString(items[i]));
        EXPECT_EQ(items[i].Type, expected[i].Type);
        EXPECT_EQ(items[i].Status, expected[i].Status);
        EXPECT_EQ(items[i].Start, expected[i].Start);
        EXPECT_EQ(items[i].End, expected[i].End);
        EXPECT_EQ(items[i].EntryName, expected[i].EntryName);
    }
}

ContentFound Search(const Bytes& image)
{
    const std::optional<ContentFound> found = FindAllContent(image, {});
    EXPECT_TRUE(found.has_value());
    return found.value_or(ContentFound{});
}

// Entries of the phone's file system: the size decides the end; the format's
// walk decides how whole the data are.
TEST(ContentEntries, TheEntrySizeDecidesTheEndAndTheWalkTheStatus)
{
    const Bytes midi = test_support::BuildMidi({});
    const Bytes amr = test_support::BuildAmr({});
    const auto size = [](const Bytes& bytes) { return static_cast<uint32_t>(bytes.size()); };
    const std::string text = "plain text of the phone";
    FlashImageBuilder image(16384);
    image.PutFileEntry(200, "whole.mid", size(midi), test_support::AsText(midi))
        .PutFileEntry(1200, "long.mid", size(midi) + 10, test_support::AsText(midi))
        .Fill(1200 + 38 + midi.size(), 10, 0x20)
        .PutFileEntry(2200, "cut.mid", size(midi) - 5, test_support::AsText(midi))
        .PutFileEntry(3200, "ring.amr", size(amr), test_support::AsText(amr))
        .PutFileEntry(4200, "notes.TXT", static_cast<uint32_t>(text.size()), text)
        .PutFileEntry(5200, "notes.TXT", static_cast<uint32_t>(text.size()), text)
        // Crosses the next entry's signature: cut at that entry's name.
        .PutFileEntry(6200, "big.dat", 5000, "data")
        .PutFileEntry(7200, "small", 4, "abcd")
        // Runs past the image's end: cut there.
        .PutFileEntry(16000, "tail.bin", 100000, "tail")
        // A signature whose name is empty is a chance hit, no entry.
        .PutFileEntry(9000, std::string(1, '\0'), 3, "xyz");
    const int32_t d = 38;
    ExpectItems(Search(image.Bytes()).Items,
                {
                    {ItemType::Midi, ItemStatus::Complete, 200 + d, 200 + d + int32_t(midi.size()), "whole.mid"},
                    {ItemType::Midi, ItemStatus::Complete, 1200 + d, 1200 + d + int32_t(midi.size()) + 10, "long.mid"},
                    {ItemType::Midi, ItemStatus::Truncated, 2200 + d, 2200 + d + int32_t(midi.size()) - 5, "cut.mid"},
                    {ItemType::Amr, ItemStatus::Complete, 3200 + d, 3200 + d + int32_t(amr.size()), "ring.amr"},
                    {ItemType::File, ItemStatus::Unchecked, 4200 + d, 4200 + d + int32_t(text.size()), "notes.TXT"},
                    {ItemType::File, ItemStatus::Truncated, 6200 + d, 7200 - 89, "big.dat"},
                    {ItemType::File, ItemStatus::Unchecked, 7200 + d, 7200 + d + 4, "small"},
                    {ItemType::File, ItemStatus::Truncated, 16000 + d, 16384, "tail.bin"},
                });
}

// Items of every kind among erased flash, at odd offsets, with what a user
// looks for; what lies inside a listed item is not listed again.
TEST(ContentItems, KindsFactsAndNesting)
{
    const Bytes jar = test_support::BuildJar(test_support::MidletPlan("Snake"));
    const Bytes mp3 = test_support::BuildMp3({.frames = 8, .mono = true});
    const Bytes wav = test_support::BuildRiff({});
    const Bytes gif = test_support::BuildGif({});
    FlashImageBuilder image(65536);
    image.Put(1001, jar).Put(20003, mp3).Put(30005, wav).Put(40007, gif);
    const ContentFound found = Search(image.Bytes());
    ExpectItems(found.Items, {
                                 {ItemType::Jar, ItemStatus::Complete, 1001, 1001 + int32_t(jar.size()), ""},
                                 {ItemType::Mp3, ItemStatus::Complete, 20003, 20003 + int32_t(mp3.size()), ""},
                                 {ItemType::Wav, ItemStatus::Complete, 30005, 30005 + int32_t(wav.size()), ""},
                                 {ItemType::Gif, ItemStatus::Complete, 40007, 40007 + int32_t(gif.size()), ""},
                             });
    ASSERT_EQ(found.Items[0].Midlet, 0);
    const MidletInfo& midlet = found.Midlets[0];
    EXPECT_EQ(midlet.Name, "Snake");
    EXPECT_FALSE(midlet.Vendor.empty());
    EXPECT_EQ(midlet.IconPath, "/icon.png");
    EXPECT_FALSE(midlet.Icon.empty());
    EXPECT_EQ(found.Items[1].Channels, 1);
    EXPECT_GT(found.Items[1].DurationMs, 0);
    EXPECT_EQ(found.Items[2].SampleRate, 8000);

    EXPECT_EQ(ContentCaptions(found.Items),
              (std::vector<std::string>{"\xCF\xF0\xE8\xEB\xEE\xE6\xE5\xED\xE8\xE5 (1).jar", "\xC7\xE2\xF3\xEA (1).mp3",
                                        "\xC7\xE2\xF3\xEA (2).wav", "\xCA\xE0\xF0\xF2\xE8\xED\xEA\xE0 (1).gif"}));
}

// An MP3 cut inside a frame by erased flash is one truncated item up to its
// last whole frame: the frame headers after its first frames are its own.
TEST(ContentItems, AnMp3CutByErasedFlashIsOneItem)
{
    const Bytes mp3 = test_support::BuildMp3({.frames = 30});
    const std::size_t frame = test_support::Mp3FrameSize({.frames = 30});
    FlashImageBuilder image(32768);
    image.Put(1001, Bytes(mp3.begin(), mp3.begin() + static_cast<std::ptrdiff_t>(15 * frame + 77)));
    ExpectItems(Search(image.Bytes()).Items,
                {{ItemType::Mp3, ItemStatus::Truncated, 1001, 1001 + static_cast<int32_t>(15 * frame), ""}});
}

// A descriptor is judged by its text and names the archive it describes; a
// cut archive leaves the descriptor complete and says so. The descriptor is
// free, or the data of an entry (whatever attribute comes first).
TEST(ContentItems, DescriptorNamesItsArchiveAndKeepsItsOwnVerdict)
{
    const Bytes jar = test_support::BuildJar(test_support::MidletPlan("Snake"));
    const auto jarSize = static_cast<int32_t>(jar.size());
    const std::string whole = test_support::MidletDescriptor("Snake", jar.size());
    // The same attributes with a manifest-like one first: no "MIDlet-" at the start.
    const std::string leading = "Created-By: 1.4\r\n" + whole;
    const struct {
        const char* name;
        std::string jad;
        bool inEntry;
        int32_t jarBytes;       // of the archive written into its entry
        uint32_t jarEntrySize;  // the entry's stated size
        ItemStatus jarStatus;
        JarMatch fit;
        const char* detail;
    } cases[] = {
        {"free descriptor, whole archive", whole, false, jarSize, static_cast<uint32_t>(jarSize), ItemStatus::Complete,
         JarMatch::Fits, ""},
        {"descriptor in an entry", whole, true, jarSize, static_cast<uint32_t>(jarSize), ItemStatus::Complete,
         JarMatch::Fits, ""},
        {"entry descriptor not starting with MIDlet-", leading, true, jarSize, static_cast<uint32_t>(jarSize),
         ItemStatus::Complete, JarMatch::Fits, ""},
        {"archive of another size", test_support::MidletDescriptor("Snake", jar.size() + 1), false, jarSize,
         static_cast<uint32_t>(jarSize), ItemStatus::Complete, JarMatch::OtherSize,
         "размер архива не тот, что указан в описании"},
        {"archive cut by erased flash", whole, true, jarSize - 60, static_cast<uint32_t>(jarSize),
         ItemStatus::Truncated, JarMatch::Cut, "его архив обрезан"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FlashImageBuilder image(32768);
        image.PutFileEntry(200, "Snake.jar", c.jarEntrySize,
                           test_support::AsText(jar).substr(0, static_cast<std::size_t>(c.jarBytes)));
        int32_t jadStart = 20000;
        if (c.inEntry) {
            image.PutFileEntry(20000, "Snake.jad", static_cast<uint32_t>(c.jad.size()), c.jad);
            jadStart = 20038;
        } else {
            image.Put(20000, c.jad);
        }
        const ContentFound found = Search(image.Bytes());
        ASSERT_EQ(found.Items.size(), 2u) << ::testing::PrintToString(found.Items);
        const FoundItem& archive = found.Items[0];
        const FoundItem& descriptor = found.Items[1];
        EXPECT_EQ(archive.Type, ItemType::Jar);
        EXPECT_EQ(archive.Status, c.jarStatus);
        EXPECT_EQ(descriptor.Type, ItemType::Jad);
        EXPECT_EQ(descriptor.Start, jadStart);
        EXPECT_EQ(descriptor.End, jadStart + static_cast<int32_t>(c.jad.size()));
        EXPECT_EQ(descriptor.Status, ItemStatus::Complete);
        EXPECT_EQ(descriptor.Jar, 0);
        EXPECT_EQ(descriptor.JarFit, c.fit);
        EXPECT_EQ(StatusDetail(descriptor), c.detail);
        EXPECT_EQ(archive.Jar, -1);
    }
}

TEST(ContentItems, TypeNamesOfFileEntries)
{
    const struct {
        const char* name;
        const char* type;
    } cases[] = {{"a.TXT", "txt"}, {"noext", "bin"},          {".hidden", "bin"}, {"x.", "bin"},
                 {"a.b c", "bin"}, {"long.abcdefghi", "bin"}, {"v.tar.gz", "gz"}};
    for (const auto& c : cases) {
        FoundItem item;
        item.EntryName = c.name;
        EXPECT_EQ(ItemTypeName(item), c.type) << c.name;
    }
}

TEST(ContentItems, ExtractionPlansOneKindUnderItsCaptions)
{
    std::vector<FoundItem> items(4);
    items[0].Type = ItemType::Midi;
    items[1].Type = ItemType::Gif;
    items[2].Type = ItemType::Midi;
    items[2].EntryName = "\xC7\xE2\xF3\xEA (1).mid";
    items[3].Type = ItemType::Amr;
    const std::vector<std::string> captions = ContentCaptions(items);
    const std::vector<ExtractItem> plan = PlanContentExtraction(items, captions, ContentKind::Sound);
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[0].Row, 0);
    EXPECT_EQ(plan[0].FileName, "\xD0\x97\xD0\xB2\xD1\x83\xD0\xBA (1).mid");
    EXPECT_EQ(plan[1].FileName, "\xD0\x97\xD0\xB2\xD1\x83\xD0\xBA (1) (2).mid");
    EXPECT_EQ(plan[2].FileName, "\xD0\x97\xD0\xB2\xD1\x83\xD0\xBA (3).amr") << "numbered among all sounds";
    EXPECT_EQ(ContentKindNamed("sounds"), ContentKind::Sound);
    EXPECT_EQ(ContentKindNamed("apps"), std::nullopt);
}

// Every cursor finds exactly the places the byte-by-byte scan finds: over
// data at any alignment, with leads far apart and back to back, asked in
// slices of any length (as the search asks while the image is still loading),
// and asked again from the start.
TEST(ContentCandidates, CursorsAgreeWithTheByteScan)
{
    Bytes data = test_support::Garbage(1 << 16, 7);
    const char* leads[] = {"GIF8",          "BM",   "\xFF\xD8",   "\x89PNG", "MThd",     "#!AMR\n", "ID3", "RIFF",
                           "BEGIN:IMELODY", "MMMD", "PK\x03\x04", "MIDlet-", "\xFF\xFB", "\x01\xFF"};
    std::size_t at = 100;
    for (const char* lead : leads)
        for (int k = 0; k < 3; ++k, at += 997)
            for (std::size_t i = 0; lead[i] != 0; ++i)
                data[at + i] = static_cast<uint8_t>(lead[i]);
    for (std::size_t i = 50000; i < 50300; i += 3)
        data[i] = 'B', data[i + 1] = 'M';
    for (const int64_t offset : {0, 1, 63}) {
        const uint8_t* bytes = data.data() + offset;
        const int64_t last = static_cast<int64_t>(data.size()) - offset - 1;
        std::vector<int64_t> portable;
        for (int64_t p = 0; (p = NextContentCandidatePortable(bytes, p, last)) >= 0; ++p)
            portable.push_back(p);
        ASSERT_GE(portable.size(), 3 * std::size(leads) + 100);
        for (const CandidateScan scan : CandidateScans())
            for (const int64_t slice : {last, int64_t{37}, int64_t{4096}}) {
                ContentCandidateCursor cursor(bytes, scan);
                for (int round = 0; round < 2; ++round) {
                    std::vector<int64_t> found;
                    for (int64_t p = 0, to = std::min(last, slice); p < last;) {
                        const int64_t next = cursor.Next(p, to);
                        if (next >= 0)
                            found.push_back(next);
                        p = next >= 0 ? next + 1 : to;
                        to = next >= 0 ? to : std::min(last, to + slice);
                    }
                    EXPECT_EQ(found, portable) << "scan " << static_cast<int>(scan) << ", offset " << offset
                                               << ", slice " << slice << ", round " << round;
                }
            }
    }
}

}  // namespace
}  // namespace kestrix

namespace kestrix {
namespace {

TEST(ContentItems, StatusDetailSaysTheReasonAndTheTrailingBytes)
{
    const struct {
        const char* name;
        ItemStatus status;
        StatusReason reason;
        int32_t trailing;
        const char* detail;
    } cases[] = {
        {"whole", ItemStatus::Complete, StatusReason::None, 0, ""},
        {"one byte after", ItemStatus::Complete, StatusReason::None, 1, "1 байт после конца"},
        {"three bytes after", ItemStatus::Complete, StatusReason::None, 3, "3 байта после конца"},
        {"eleven bytes after", ItemStatus::Complete, StatusReason::None, 11, "11 байт после конца"},
        {"broken in its entry", ItemStatus::Damaged, StatusReason::BrokenInEntry, 0,
         "строение обрывается внутри записи"},
        {"refused by the decoder, bytes after", ItemStatus::Damaged, StatusReason::DoesNotDecode, 22,
         "строение цело, но содержимое не раскодируется; 22 байта после конца"},
    };
    for (const auto& c : cases) {
        FoundItem item;
        item.Status = c.status;
        item.Reason = c.reason;
        item.Trailing = c.trailing;
        EXPECT_EQ(StatusDetail(item), c.detail) << c.name;
    }
}

}  // namespace
}  // namespace kestrix
