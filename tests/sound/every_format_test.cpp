// The content search with the decoders' verdicts over an image holding every
// format whole, as entries, cut and broken: each whole item is Complete, each
// cut or broken one flagged, only data of no known format unchecked, and every
// complete sound a decoder plays becomes a WAV with sound in it.
#include "content_search.h"
#include "formats_image_builder.h"
#include "picture_check.h"
#include "sound_decoder.h"
#include "wav_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace kestrix {
namespace {

using namespace test_support;

TEST(EveryFormat, WholeItemsAreCompleteAndTheRestFlagged)
{
    if (MidiSoundFont().empty())
        GTEST_SKIP() << "no General MIDI sound font on this machine";
    const ContentImage image = BuildFormatsImage();
    ScanHooks hooks;
    hooks.DecodeCheck = CheckPicture;
    const std::optional<ContentFound> found = FindAllContent(image.Bytes, hooks, CheckSound);
    ASSERT_TRUE(found);
    std::map<int32_t, const FoundItem*> byStart;
    for (const FoundItem& item : found->Items)
        byStart[item.Start] = &item;

    for (const ExpectedItem& expected : image.Items) {
        SCOPED_TRACE(expected.Case);
        const auto at = byStart.find(expected.Start);
        if (at == byStart.end()) {
            ADD_FAILURE() << "not listed at " << expected.Start;
            continue;
        }
        const FoundItem& item = *at->second;
        EXPECT_EQ(ContentTypeName(item.Type), std::string(ContentTypeName(expected.Type)));
        EXPECT_EQ(item.Status, expected.Status);
        EXPECT_EQ(item.EntryName, expected.EntryName);
        if (expected.End != 0)
            EXPECT_EQ(item.End, expected.End);
        byStart.erase(at);
    }
    // Parts of cut archives may be listed as cut items of their own; a whole
    // item nobody placed would be a false find.
    for (const auto& [start, item] : byStart)
        if (item->Status == ItemStatus::Complete)
            ADD_FAILURE() << "an item nobody placed: " << ContentTypeName(item->Type) << " at " << start << ".."
                          << item->End << " " << static_cast<int>(item->Status);
    for (const FoundItem& item : found->Items)
        if (item.Status == ItemStatus::Unchecked)
            EXPECT_EQ(item.Type, ItemType::File) << "unchecked at " << item.Start;

    // Every complete sound but SMAF's score tracks, which no decoder here plays.
    int smafPlayed = 0;
    for (const FoundItem& item : found->Items) {
        if (KindOf(item.Type) != ContentKind::Sound || item.Status != ItemStatus::Complete)
            continue;
        SCOPED_TRACE(std::string(ContentTypeName(item.Type)) + " at " + std::to_string(item.Start));
        const auto bytes =
            std::span(image.Bytes).subspan(static_cast<std::size_t>(item.Start), static_cast<std::size_t>(item.Size()));
        SoundLimits limits;
        limits.MaxFrames = SoundFrameBudget(bytes.size());
        const SoundDecode decoded = DecodeSound(item.Type, bytes, limits);
        if (item.Type == ItemType::Smaf && !CanPlay(item.Type, bytes)) {
            EXPECT_EQ(decoded.Outcome, SoundOutcome::NotPlayable);
            continue;
        }
        smafPlayed += item.Type == ItemType::Smaf;
        ASSERT_EQ(decoded.Outcome, SoundOutcome::Decoded);
        const std::vector<int16_t>& samples = decoded.Sound.Samples;
        // The built MP3 frames of constant bytes decode to near silence.
        if (item.Type != ItemType::Mp3)
            EXPECT_TRUE(std::any_of(samples.begin(), samples.end(), [](int16_t s) { return std::abs(s) > 200; }));
        const std::vector<uint8_t> wav = WavFileBytes(decoded.Sound);
        ASSERT_EQ(wav.size(), 44 + samples.size() * 2);
        EXPECT_EQ(std::memcmp(wav.data() + 44, samples.data(), samples.size() * 2), 0);
    }
    EXPECT_GT(smafPlayed, 0);
}

// The decoder hook of each row names the decoder that judges its items: that
// one knows the format (it gives a verdict of its own), the other does not, and
// a format whose row names none is known to no decoder.
TEST(EveryFormat, EachRowsDecoderHookNamesTheDecoderThatJudgesIt)
{
    const ContentImage image = BuildFormatsImage();
    const std::optional<ContentFound> found = FindAllContent(image.Bytes, {});
    ASSERT_TRUE(found);
    const std::atomic<bool> cancel{false};
    std::set<ItemType> judged;
    for (const FoundItem& item : found->Items) {
        if (item.Type == ItemType::File || item.Status != ItemStatus::Complete || !judged.insert(item.Type).second)
            continue;
        SCOPED_TRACE(ContentTypeName(item.Type));
        const auto bytes =
            std::span(image.Bytes)
                .subspan(static_cast<std::size_t>(item.Start), static_cast<std::size_t>(item.FormatSize()));
        const bool picture = CheckPictureFault(item.Type, bytes, nullptr) != PictureFault::NotRecognised;
        const ItemStatus sound = CheckSound(item.Type, bytes, cancel);
        switch (TraitsOf(item.Type).Decoder) {
        case FormatDecoder::Picture:
            EXPECT_TRUE(picture);
            EXPECT_EQ(sound, ItemStatus::Unchecked);
            break;
        case FormatDecoder::Sound:
            EXPECT_FALSE(picture);
            EXPECT_TRUE(sound != ItemStatus::Unchecked || MidiSoundFont().empty());
            break;
        case FormatDecoder::None:
            EXPECT_FALSE(picture);
            EXPECT_EQ(sound, ItemStatus::Unchecked);
            break;
        }
    }
    EXPECT_EQ(judged.size(), std::size(kFormats));
}

}  // namespace
}  // namespace kestrix
