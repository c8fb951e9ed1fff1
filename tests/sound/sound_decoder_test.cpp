#include "content_search.h"
#include "format_table.h"
#include "sound_builders.h"
#include "sound_decoder.h"
#include "wav_file.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
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

// What the decoders cannot play or refuse.
TEST(SoundDecoder, VerdictsOnSoundsThatDoNotPlay)
{
    Bytes cutMp3 = BuildMp3({.frames = 6});
    std::fill(cutMp3.begin() + 200, cutMp3.end(), 0x00);
    const struct {
        const char* name;
        ItemType type;
        Bytes bytes;
        ItemStatus status;
    } cases[] = {
        {"midi without notes", ItemType::Midi, BuildMidi({.notes = 0}), ItemStatus::Damaged},
        {"smaf", ItemType::Smaf, BuildSmaf({}), ItemStatus::Unchecked},
        {"imelody", ItemType::Imelody, BuildImelody({}), ItemStatus::Unchecked},
        {"qcp", ItemType::Qcp, BuildRiff({.form = "QLCM"}), ItemStatus::Unchecked},
        {"wav with a broken format chunk", ItemType::Wav, Bytes(44, 0x00), ItemStatus::Damaged},
        {"amr header alone", ItemType::Amr, Bytes{'#', '!', 'A', 'M', 'R', '\n'}, ItemStatus::Damaged},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckSound(c.type, c.bytes, std::atomic<bool>{false}), c.status) << c.name;
}

// A sound longer than its bytes allow is not decoded to its end.
TEST(SoundDecoder, AMillionNoDataFramesAreTooCostly)
{
    Bytes amr = {'#', '!', 'A', 'M', 'R', '\n'};
    amr.resize(amr.size() + 1'000'000, 0x7C);  // frame type 15: no data, one byte
    SoundLimits limits = Limits(amr.size());
    limits.MaxFrames = 1000;
    EXPECT_EQ(DecodeSound(ItemType::Amr, amr, limits).Outcome, SoundOutcome::TooCostly);
    std::atomic<bool> cancel{true};
    limits = Limits(amr.size());
    limits.Cancel = &cancel;
    EXPECT_EQ(DecodeSound(ItemType::Amr, amr, limits).Outcome, SoundOutcome::Cancelled);
    // The verdict reads the first frames and takes the rest on trust.
    EXPECT_EQ(CheckSound(ItemType::Amr, amr, std::atomic<bool>{false}), ItemStatus::Complete);
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
