// docs/adding-a-format.md followed for a small format of the test's own: a
// walker, a row with its hooks, and the content search finds, names, judges
// and extracts its items as it does the program's formats.
#include "content_extraction.h"
#include "content_search.h"
#include "custom_hex_buffer.h"
#include "flash_image_builder.h"
#include "image_loading.h"
#include "temp_folder_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using test_support::TempFolderTest;

// A toy sound: an optional '~', "TY", a length byte N, N bytes of notes, then
// "!". Each note plays 10 ms. A note 'X' is one the toy decoder cannot play.
constexpr auto kToy = static_cast<ItemType>(static_cast<int>(ItemType::File) + 1);

WalkResult WalkToy(std::span<const uint8_t> bytes, bool) noexcept
{
    WalkResult walk;
    const int64_t at = !bytes.empty() && bytes[0] == '~' ? 1 : 0;
    if (static_cast<int64_t>(bytes.size()) < at + 3 || bytes[at] != 'T' || bytes[at + 1] != 'Y' || bytes[at + 2] == 0)
        return walk;
    const int64_t notes = bytes[at + 2];
    const int64_t end = at + 3 + notes + 1;
    walk.Examined = std::min<int64_t>(end, static_cast<int64_t>(bytes.size()));
    walk.SureEnd = static_cast<int32_t>(at + 3);
    walk.DurationMs = notes * 10;
    if (end > static_cast<int64_t>(bytes.size()) || bytes[static_cast<std::size_t>(end - 1)] != '!') {
        walk.Verdict = WalkVerdict::Truncated;
        walk.End = static_cast<int32_t>(walk.Examined);
        return walk;
    }
    walk.Verdict = WalkVerdict::Whole;
    walk.End = static_cast<int32_t>(end);
    return walk;
}

// The start hook: a toy sound begins at the '~' before its signature, where
// there is one; its walk starts there.
int64_t ToyBegin(std::span<const uint8_t> image, int64_t p, int64_t floor) noexcept
{
    return p > floor && image[static_cast<std::size_t>(p - 1)] == '~' ? p - 1 : p;
}

constexpr FormatTraits kToyFormats[] = {
    {.Type = kToy,
     .Kind = ContentKind::Sound,
     .Name = "toy",
     .Lead = {'T', 'Y'},
     .Signature = "TY",
     .Walk = WalkToy,
     .Decoder = FormatDecoder::Sound,
     .Start = {.Begin = ToyBegin}},
};

// The toy's decoder, as the sound module would judge it.
ItemStatus CheckToy(ItemType type, std::span<const uint8_t> bytes, const std::atomic<bool>&)
{
    EXPECT_EQ(type, kToy);
    return std::find(bytes.begin(), bytes.end(), 'X') == bytes.end() ? ItemStatus::Complete : ItemStatus::Damaged;
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

using ToyFormat = TempFolderTest;

TEST_F(ToyFormat, IsFoundNamedJudgedAndExtractedThroughItsRow)
{
    const std::string whole = "~TY\x03"
                              "abc!";
    const std::string damaged = "TY\x02"
                                "aX!";
    const std::string cut = "TY\x09"
                            "ab";
    const std::vector<uint8_t> image = Bytes("noise " + whole + " .. " + damaged + " GIF89a " + cut);
    const int32_t wholeAt = 6;
    const auto damagedAt = static_cast<int32_t>(wholeAt + whole.size() + 4);
    const auto cutAt = static_cast<int32_t>(image.size() - cut.size());

    const std::optional<ContentFound> found = FindAllContent(image, {}, CheckToy, ContentKinds::All(), kToyFormats);
    ASSERT_TRUE(found);
    // The GIF's signature is no format of this table.
    ASSERT_EQ(found->Items.size(), 3u);
    const FoundItem& first = found->Items[0];
    EXPECT_EQ(first.Type, kToy);
    EXPECT_EQ(first.Start, wholeAt);  // from the '~', the start hook's choice
    EXPECT_EQ(first.End, static_cast<int32_t>(wholeAt + whole.size()));
    EXPECT_EQ(first.Status, ItemStatus::Complete);
    EXPECT_EQ(first.DurationMs, 30);
    EXPECT_EQ(found->Items[1].Start, damagedAt);
    EXPECT_EQ(found->Items[1].Status, ItemStatus::Damaged);  // the decoder hook's check said so
    EXPECT_EQ(found->Items[1].Reason, StatusReason::DoesNotDecode);
    EXPECT_EQ(found->Items[2].Start, cutAt);
    EXPECT_EQ(found->Items[2].Status, ItemStatus::Truncated);

    const std::vector<std::string> captions = ContentCaptions(found->Items, kToyFormats);
    const std::string sound = std::string(KindCaption(ContentKind::Sound));
    EXPECT_EQ(captions, (std::vector<std::string>{sound + " (1).toy", sound + " (2).toy", sound + " (3).toy"}));

    const std::vector<ExtractItem> plan =
        PlanContentExtraction(found->Items, captions, ContentKind::Sound, {}, kToyFormats);
    ASSERT_EQ(plan.size(), 3u);
    TCustomHexBuffer buffer;
    test_support::LoadImage(buffer, image);
    const auto rangeOf = [&found](const ExtractItem& item) {
        const FoundItem& row = found->Items[static_cast<std::size_t>(item.Row)];
        return ItemRange{row.Start, row.End};
    };
    EXPECT_EQ(SaveToFolder(buffer, m_dir.string(), plan, rangeOf, {}).Written, 3u);
    EXPECT_EQ(test_support::ReadFileBytes(Path(plan[0].FileName)), Bytes(whole));
}

}  // namespace
}  // namespace kestrix
