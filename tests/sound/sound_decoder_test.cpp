#include "content_search.h"
#include "format_table.h"
#include "picture_builders.h"
#include "sound_builders.h"
#include "sound_decoder.h"
#include "wav_file.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace test_support;

SoundLimits Limits(std::size_t bytes)
{
    SoundLimits limits;
    limits.MaxFrames = SoundFrameBudget(bytes);
    return limits;
}

bool AllZero(const Pcm& sound)
{
    return std::all_of(sound.Samples.begin(), sound.Samples.end(), [](int16_t s) { return s == 0; });
}

// A table of built sounds: each decodes to its walk's duration within one of
// its frames, with sound in it unless it is silence.
TEST(SoundDecoder, BuiltSoundsDecodeToTheirDuration)
{
    const struct {
        const char* name;
        ItemType type;
        Bytes bytes;
        int64_t frameMs;
        bool silent;
    } cases[] = {
        {"midi type 1", ItemType::Midi, BuildMidi({}), 1, false},
        {"midi type 0", ItemType::Midi, BuildMidi({.format = 0, .declaredTracks = 1, .tracks = 1}), 1, false},
        // The synthesizer's player takes the first chunk for a track: only the
        // tracks are given to it.
        {"midi with an XFIH chunk before its tracks", ItemType::Midi, BuildMidi({.unknownChunk = true}), 1, false},
        {"rmid", ItemType::Rmid, BuildRiff({.form = "RMID"}), 1, false},
        {"amr-nb", ItemType::Amr, BuildAmr({}), 20, false},
        {"amr-nb silence frames only", ItemType::Amr, BuildAmr({.frameTypes = {8, 15, 15, 8, 15}}), 20, true},
        {"amr-wb", ItemType::AmrWb, BuildAmr({.wide = true}), 20, false},
        // Its frames lean on a bit reservoir that came before the first one.
        {"mp3 of four frames", ItemType::Mp3, BuildMp3({.frames = 4}), 27, true},
        {"mp3 mpeg-2 layer ii mono with tags", ItemType::Mp3,
         BuildMp3({.version = 2, .layer = 2, .frames = 12, .mono = true, .id3 = true, .ape = true, .id3v1 = true}), 48,
         false},
        {"wav pcm", ItemType::Wav, BuildRiff({}), 1, false},
        {"wav ima adpcm", ItemType::Wav, BuildRiff({.formatTag = 17, .dataBytes = 256 * 6}), 64, false},
    };
    if (MidiSoundFont().empty())
        GTEST_SKIP() << "no General MIDI sound font on this machine";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const WalkResult walk = TraitsOf(c.type).Walk(c.bytes, true);
        ASSERT_EQ(walk.Verdict, WalkVerdict::Whole);
        const SoundDecode decoded = DecodeSound(c.type, c.bytes, Limits(c.bytes.size()));
        ASSERT_EQ(decoded.Outcome, SoundOutcome::Decoded);
        EXPECT_NEAR(static_cast<double>(decoded.Sound.DurationMs()), static_cast<double>(walk.DurationMs),
                    static_cast<double>(c.frameMs));
        if (!c.silent)
            EXPECT_FALSE(AllZero(decoded.Sound));
        if (walk.Channels > 0 && c.type != ItemType::Midi && c.type != ItemType::Rmid)
            EXPECT_EQ(decoded.Sound.Channels, walk.Channels);
        EXPECT_EQ(CheckSound(c.type, c.bytes, std::atomic<bool>{false}), ItemStatus::Complete);
    }
}

// What the decoders cannot play or refuse, and what the walk decides alone.
TEST(SoundDecoder, VerdictsOnSoundsThatDoNotPlay)
{
    Bytes brokenEvent = BuildMidi({});
    brokenEvent[static_cast<std::size_t>(Find(brokenEvent, {0x90}))] = 0xF4;  // undefined status
    Bytes wideNoData = {'#', '!', 'A', 'M', 'R', '-', 'W', 'B', '\n'};
    wideNoData.resize(wideNoData.size() + 200'000, 0x7C);
    // A speech frame and 16,680 no-data frames: 5,337,920 sample frames, past
    // the 5,336,576 its 16,750 bytes allow by less than a second.
    std::vector<uint8_t> speechTypes(16'680, 15);
    speechTypes.insert(speechTypes.begin(), 8);
    const Bytes justPast = BuildAmr({.wide = true, .frameTypes = speechTypes});
    const struct {
        const char* name;
        ItemType type;
        Bytes bytes;
        ItemStatus status;
    } cases[] = {
        {"midi without notes", ItemType::Midi, BuildMidi({.notes = 0}), ItemStatus::Damaged},
        {"smaf with a bad crc", ItemType::Smaf, BuildSmaf({.badCrc = true}), ItemStatus::Damaged},
        {"qcp of a codec with no decoder", ItemType::Qcp, BuildRiff({.form = "QLCM", .qcpCodec = QcpPlanCodec::Other}),
         ItemStatus::Unchecked},
        {"qcp without packets", ItemType::Qcp, BuildRiff({.form = "QLCM", .qcpPackets = 0}), ItemStatus::Damaged},
        {"wav with a broken format chunk", ItemType::Wav, Bytes(44, 0x00), ItemStatus::Damaged},
        {"amr header alone", ItemType::Amr, Bytes{'#', '!', 'A', 'M', 'R', '\n'}, ItemStatus::Damaged},
        {"midi with an event of no status", ItemType::Midi, brokenEvent, ItemStatus::Damaged},
        // 64 Mi frames of silence, more than its 200,009 bytes allow: --wav
        // refuses it too.
        {"amr-wb of 200,000 no-data frames", ItemType::AmrWb, wideNoData, ItemStatus::Unchecked},
        {"amr-wb of speech just past its frames' bound", ItemType::AmrWb, justPast, ItemStatus::Unchecked},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckSound(c.type, c.bytes, std::atomic<bool>{false}), c.status) << c.name;
    EXPECT_EQ(DecodeSound(ItemType::AmrWb, wideNoData, Limits(wideNoData.size())).Outcome, SoundOutcome::TooCostly);
    EXPECT_EQ(DecodeSound(ItemType::AmrWb, justPast, Limits(justPast.size())).Outcome, SoundOutcome::TooCostly);
}

// A sound longer than its bytes allow is not decoded to its end, and its
// verdict and its decode agree on that bound before any decoding.
TEST(SoundDecoder, AMillionNoDataFramesAreTooCostly)
{
    const auto noData = [](std::size_t frames) {
        Bytes amr = {'#', '!', 'A', 'M', 'R', '\n'};
        amr.resize(amr.size() + frames, 0x7C);  // frame type 15: no data, one byte
        return amr;
    };
    const Bytes amr = noData(1'000'000);
    SoundLimits limits = Limits(amr.size());
    EXPECT_EQ(DecodeSound(ItemType::Amr, amr, limits).Outcome, SoundOutcome::TooCostly);
    EXPECT_EQ(CheckSound(ItemType::Amr, amr, std::atomic<bool>{false}), ItemStatus::Unchecked);
    limits.MaxFrames = 1000;
    EXPECT_EQ(DecodeSound(ItemType::Amr, noData(100), limits).Outcome, SoundOutcome::TooCostly);

    const Bytes shorter = noData(100'000);
    EXPECT_EQ(CheckSound(ItemType::Amr, shorter, std::atomic<bool>{false}), ItemStatus::Complete);
    std::atomic<bool> cancel{true};
    limits = Limits(shorter.size());
    limits.Cancel = &cancel;
    EXPECT_EQ(DecodeSound(ItemType::Amr, shorter, limits).Outcome, SoundOutcome::Cancelled);
}

// A WAV file written as the sound decodes is the file made of the whole
// decode; a file the bound cannot take is refused before any decoding.
TEST(WavFile, WrittenAsItDecodesWithinItsBound)
{
    const struct {
        const char* name;
        ItemType type;
        Bytes bytes;
    } cases[] = {
        {"amr-wb", ItemType::AmrWb, BuildAmr({.wide = true})},
        {"mp3", ItemType::Mp3, BuildMp3({.version = 2, .layer = 2, .frames = 12, .mono = true})},
        {"wav", ItemType::Wav, BuildRiff({})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SoundDecode decoded = DecodeSound(c.type, c.bytes, Limits(c.bytes.size()));
        ASSERT_EQ(decoded.Outcome, SoundOutcome::Decoded);
        const Bytes whole = WavFileBytes(decoded.Sound);
        MemoryStream streamed;
        std::string why;
        ASSERT_TRUE(WriteWavFile(c.type, c.bytes, streamed, INT64_MAX, why)) << why;
        ASSERT_EQ(streamed.Size(), static_cast<int64_t>(whole.size()));
        EXPECT_EQ(std::memcmp(streamed.Memory(), whole.data(), whole.size()), 0);
        EXPECT_NEAR(static_cast<double>(ExpectedWavBytes(c.type, c.bytes)), static_cast<double>(whole.size()),
                    static_cast<double>(whole.size()) / 10);

        MemoryStream refused;
        EXPECT_FALSE(WriteWavFile(c.type, c.bytes, refused, static_cast<int64_t>(whole.size()) / 2, why));
        EXPECT_EQ(why, "the WAV file would pass the bound of the run's WAV files");
        EXPECT_EQ(refused.Size(), 0);
    }
}

// The budget is shared by every WAV file of a run: what one file wrote is
// gone for the next, and a cancelled decode writes nothing and spends nothing.
TEST(WavFile, SoundToWavSpendsOneBudgetAcrossTheRun)
{
    const Bytes amr = BuildAmr({.wide = true});
    MemoryStream first;
    std::string why;
    int64_t budget = INT64_MAX;
    ASSERT_TRUE(SoundToWav(ItemType::AmrWb, amr, first, budget, why)) << why;
    const int64_t size = first.Size();
    EXPECT_EQ(budget, INT64_MAX - size);

    budget = size + size / 2;
    MemoryStream second;
    ASSERT_TRUE(SoundToWav(ItemType::AmrWb, amr, second, budget, why)) << why;
    EXPECT_EQ(budget, size / 2);
    MemoryStream third;
    EXPECT_FALSE(SoundToWav(ItemType::AmrWb, amr, third, budget, why));
    EXPECT_EQ(why, "the WAV file would pass the bound of the run's WAV files");
    EXPECT_EQ(budget, size / 2);

    const std::atomic<bool> cancel{true};
    budget = INT64_MAX;
    MemoryStream cancelled;
    EXPECT_FALSE(SoundToWav(ItemType::AmrWb, amr, cancelled, budget, why, &cancel));
    EXPECT_EQ(why, "cancelled");
    EXPECT_EQ(budget, INT64_MAX);
}

TEST(WavFile, ReadsBackWithTheSameSamples)
{
    const Bytes amr = BuildAmr({.wide = true});
    const SoundDecode decoded = DecodeSound(ItemType::AmrWb, amr, Limits(amr.size()));
    ASSERT_EQ(decoded.Outcome, SoundOutcome::Decoded);
    const Bytes wav = WavFileBytes(decoded.Sound);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("kestrix-wav-" + std::to_string(::getpid()) + ".wav");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.samplerate, 16000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<int16_t> samples(static_cast<std::size_t>(info.frames));
    EXPECT_EQ(sf_readf_short(file, samples.data(), info.frames), info.frames);
    sf_close(file);
    std::filesystem::remove(path);
    EXPECT_EQ(samples, decoded.Sound.Samples);
}

}  // namespace
}  // namespace kestrix
