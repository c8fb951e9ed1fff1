#include "amr_walk.h"
#include "imelody_walk.h"
#include "midi_walk.h"
#include "mp3_walk.h"
#include "picture_builders.h"
#include "riff_walk.h"
#include "smaf_walk.h"
#include "sound_builders.h"

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;
using test_support::AmrPlan;
using test_support::BuildAmr;
using test_support::BuildImelody;
using test_support::BuildMidi;
using test_support::BuildMp3;
using test_support::BuildRiff;
using test_support::BuildSmaf;
using test_support::Cut;
using test_support::Find;
using test_support::Garbage;
using test_support::ImelodyPlan;
using test_support::MidiPlan;
using test_support::Mp3FrameSize;
using test_support::Mp3Plan;
using test_support::RiffPlan;
using test_support::SmafPlan;
using test_support::Then;

constexpr int32_t kWhole = -1;
constexpr int64_t kAny = -1;

using Walker = WalkResult (*)(std::span<const uint8_t>) noexcept;

// One walk: bytes (300 bytes of erased flash follow them), what the walk must
// say, where it must end (kWhole: at the end of bytes) and the sound facts it
// must give (kAny: not checked).
struct SoundCase {
    const char* name;
    Bytes bytes;
    WalkVerdict verdict;
    int32_t end = kWhole;
    int64_t durationMs = kAny;
    int64_t sampleRate = kAny;
    int64_t channels = kAny;
    int64_t tracks = kAny;
};

Bytes Fill(std::size_t count, uint8_t value)
{
    return Bytes(count, value);
}

Bytes From(const Bytes& bytes, std::size_t at)
{
    return {bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end()};
}

Bytes Changed(Bytes bytes, std::size_t at, uint8_t value)
{
    bytes.at(at) = value;
    return bytes;
}

int32_t SizeOf(const Bytes& bytes)
{
    return static_cast<int32_t>(bytes.size());
}

const char* VerdictName(WalkVerdict verdict)
{
    static const char* const kNames[] = {"NotPicture", "Truncated", "Whole"};
    return kNames[static_cast<int>(verdict)];
}

void CheckCases(const std::vector<SoundCase>& cases, Walker walk)
{
    for (const SoundCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes image = Then(c.bytes, Fill(300, 0xFF));
        const WalkResult result = walk(image);
        ASSERT_STREQ(VerdictName(result.Verdict), VerdictName(c.verdict));
        EXPECT_GE(result.Examined, result.End);
        EXPECT_LE(result.Examined, static_cast<int64_t>(image.size()));
        if (c.verdict == WalkVerdict::NoItem) {
            EXPECT_EQ(result.End, 0);
            continue;
        }
        EXPECT_EQ(result.End, c.end == kWhole ? SizeOf(c.bytes) : c.end);
        EXPECT_LE(result.SureEnd, result.End);
        if (c.durationMs != kAny) {
            EXPECT_EQ(result.DurationMs, c.durationMs);
        }
        if (c.sampleRate != kAny) {
            EXPECT_EQ(result.SampleRate, c.sampleRate);
        }
        if (c.channels != kAny) {
            EXPECT_EQ(result.Channels, c.channels);
        }
        if (c.tracks != kAny) {
            EXPECT_EQ(result.Tracks, c.tracks);
        }
        if (result.Verdict == WalkVerdict::Whole) {
            // Nothing after a whole item changes it.
            const WalkResult alone = walk(std::span<const uint8_t>(image).first(static_cast<std::size_t>(result.End)));
            EXPECT_STREQ(VerdictName(alone.Verdict), "Whole");
            EXPECT_EQ(alone.End, result.End);
        }
    }
}

// --- MIDI ------------------------------------------------------------------

TEST(WalkMidi, EndsAfterTheDeclaredTracks)
{
    const Bytes two = BuildMidi({});
    const auto secondTrack = static_cast<int32_t>(Find(two, {'M', 'T', 'r', 'k'}, 1));
    Bytes lengthPastTheEnd = two;
    for (std::size_t i = 0; i < 4; ++i)
        lengthPastTheEnd[static_cast<std::size_t>(secondTrack) + 4 + i] = 0xFF;
    CheckCases(
        {
            {"format 0", BuildMidi({.format = 0, .declaredTracks = 1, .tracks = 1}), WalkVerdict::Whole, kWhole, 2000,
             0, 0, 1},
            {"format 1, an unknown chunk stepped over", BuildMidi({.unknownChunk = true}), WalkVerdict::Whole, kWhole,
             2000, kAny, kAny, 2},
            {"a faster tempo", BuildMidi({.notes = 6, .tempo = 250000}), WalkVerdict::Whole, kWhole, 1500},
            {"garbage after the last track", Then(two, Garbage(100, 4)), WalkVerdict::Whole, SizeOf(two)},
            {"a track too many declared, erased flash after", BuildMidi({.declaredTracks = 3}), WalkVerdict::Truncated},
            {"65,535 tracks declared", BuildMidi({.declaredTracks = 65535}), WalkVerdict::Truncated, kWhole, kAny, kAny,
             kAny, 65535},
            {"cut inside the second track", Cut(two, two.size() - 6), WalkVerdict::Truncated, secondTrack},
            {"a track without its end event", Changed(two, two.size() - 2, 0x2E), WalkVerdict::Truncated, secondTrack},
            {"a track length past the end", lengthPastTheEnd, WalkVerdict::Truncated, secondTrack},
            {"zeros for the second track", Then(Cut(two, static_cast<std::size_t>(secondTrack)), Fill(40, 0)),
             WalkVerdict::Truncated, secondTrack},
            {"erased flash after the header", Cut(two, 14), WalkVerdict::Truncated},
            {"a header and garbage", Then(Cut(two, 14), Garbage(100, 5)), WalkVerdict::NoItem},
            {"signature and garbage", Then(Cut(two, 4), Garbage(100, 5)), WalkVerdict::NoItem},
            {"format 0 with two tracks", BuildMidi({.format = 0}), WalkVerdict::NoItem},
            {"format 3", BuildMidi({.format = 3}), WalkVerdict::NoItem},
            {"header of 7 bytes", Changed(two, 7, 7), WalkVerdict::NoItem},
            {"no tracks declared", BuildMidi({.declaredTracks = 0}), WalkVerdict::NoItem},
        },
        WalkMidi);
}

// --- AMR -------------------------------------------------------------------

TEST(WalkAmr, EndsAtTheFirstByteThatStartsNoFrame)
{
    const Bytes narrow = BuildAmr({});
    const Bytes wide = BuildAmr({.wide = true, .frameTypes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 15}});
    const Bytes silent = BuildAmr({.frameTypes = {8, 15, 15, 15, 15, 15, 15, 8, 15, 15, 15, 15, 7}});
    const int32_t lastFrame = SizeOf(narrow) - 32;
    CheckCases(
        {
            {"narrow band with SID and no-data frames", narrow, WalkVerdict::Whole, kWhole, 160, 8000, 1},
            {"wide band, every frame type", wide, WalkVerdict::Whole, kWhole, 240, 16000, 1},
            {"long silence before the speech", silent, WalkVerdict::Whole, kWhole, 260},
            {"erased zeros after the frames", Then(narrow, Fill(100, 0x00)), WalkVerdict::Whole, SizeOf(narrow)},
            {"a byte with a padding bit set after the frames", Then(narrow, {0x3D, 0x00}), WalkVerdict::Whole,
             SizeOf(narrow)},
            {"a type for future use after the frames", Then(narrow, {0x4C, 0x00}), WalkVerdict::Whole, SizeOf(narrow)},
            {"cut inside the last frame, erased flash after", Cut(narrow, narrow.size() - 10), WalkVerdict::Truncated,
             lastFrame},
            {"signature and garbage", Then(Cut(narrow, 6), {0x80, 0x13, 0x55}), WalkVerdict::NoItem},
            {"signature and two frames before garbage", Then(Cut(narrow, 6 + 64), {0x80}), WalkVerdict::NoItem},
            {"signature and erased flash", Cut(narrow, 6), WalkVerdict::NoItem},
            {"signature and erased zeros", Then(Cut(wide, 9), Fill(64, 0x00)), WalkVerdict::NoItem},
            {"#!AMR-NB", Then({'#', '!', 'A', 'M', 'R', '-', 'N', 'B', '\n'}, From(narrow, 6)), WalkVerdict::NoItem},
        },
        WalkAmr);
    // The same cut with nothing after it.
    const WalkResult cut = WalkAmr(Cut(narrow, narrow.size() - 10));
    EXPECT_STREQ(VerdictName(cut.Verdict), "Truncated");
    EXPECT_EQ(cut.End, lastFrame);
}

TEST(WalkAmr, AMillionNoDataFramesCostOnePass)
{
    const Bytes frames = BuildAmr({.frameTypes = std::vector<uint8_t>(1000000, 15)});
    const WalkResult result = WalkAmr(frames);
    EXPECT_STREQ(VerdictName(result.Verdict), "Whole");
    EXPECT_EQ(result.End, SizeOf(frames));
    EXPECT_EQ(result.DurationMs, 20000000);
    EXPECT_EQ(result.Examined, SizeOf(frames));
}

// --- MP3 -------------------------------------------------------------------

TEST(WalkMp3, AcceptsOnlyLongChainsAndKeepsTheTags)
{
    const Bytes plain = BuildMp3({});
    const auto frame = static_cast<int32_t>(Mp3FrameSize({}));
    const Bytes tagged = BuildMp3({.id3 = true, .id3Footer = true, .ape = true, .id3v1 = true});
    const Bytes id3 = BuildMp3({.frames = 0, .id3 = true});
    const Bytes mpeg2 = BuildMp3({.version = 2, .mono = true});
    Bytes hugeTag = id3;
    for (const std::size_t at : {6, 7, 8, 9})
        hugeTag[at] = 0x7F;
    CheckCases(
        {
            {"MPEG-1 Layer III", plain, WalkVerdict::Whole, kWhole, 261, 44100, 2},
            {"MPEG-1 Layer II", BuildMp3({.layer = 2}), WalkVerdict::Whole, kWhole, 261, 44100},
            {"MPEG-2 Layer III, mono", mpeg2, WalkVerdict::Whole, kWhole, 261, 22050, 1},
            {"MPEG-2.5 Layer III", BuildMp3({.version = 25}), WalkVerdict::Whole, kWhole, 522, 11025},
            {"ID3v2 with a footer, APE and ID3v1 tags", tagged, WalkVerdict::Whole, kWhole, 261},
            {"exactly four frames", BuildMp3({.frames = 4}), WalkVerdict::Whole},
            {"another version's frames after", Then(plain, mpeg2), WalkVerdict::Whole, SizeOf(plain)},
            {"garbage after", Then(plain, Garbage(50, 9)), WalkVerdict::Whole, SizeOf(plain)},
            {"cut inside a frame, erased flash after", Cut(plain, plain.size() - 100), WalkVerdict::Truncated,
             SizeOf(plain) - frame},
            {"a tag, then erased flash", id3, WalkVerdict::Truncated},
            {"a tag, two frames, then erased flash", Then(id3, Cut(plain, 2 * static_cast<std::size_t>(frame))),
             WalkVerdict::Truncated, SizeOf(id3)},
            {"a tag whose size runs past the end", hugeTag, WalkVerdict::Truncated, 10},
            {"three frames", BuildMp3({.frames = 3}), WalkVerdict::NoItem},
            {"three frames, then garbage", Then(BuildMp3({.frames = 3}), Garbage(500, 2)), WalkVerdict::NoItem},
            {"a chain of Layer I", BuildMp3({.layer = 1}), WalkVerdict::NoItem},
            {"free format", Changed(plain, 2, 0x00), WalkVerdict::NoItem},
            {"a tag and garbage", Then(id3, Garbage(500, 3)), WalkVerdict::NoItem},
            {"two chains of three", Then(BuildMp3({.frames = 3}), BuildMp3({.version = 2, .frames = 3})),
             WalkVerdict::NoItem},
        },
        WalkMp3);
}

// --- RIFF ------------------------------------------------------------------

TEST(WalkRiff, WalksTheChunksWhenTheSizeSaysNothing)
{
    const Bytes wav = BuildRiff({});
    const auto data = static_cast<int32_t>(Find(wav, {'d', 'a', 't', 'a'}));
    const Bytes odd = BuildRiff({.dataBytes = 1601, .oddChunk = true});
    Bytes chunkPastTheEnd = wav;
    chunkPastTheEnd[static_cast<std::size_t>(data) + 7] = 0x7F;
    CheckCases(
        {
            {"WAV, PCM", wav, WalkVerdict::Whole, kWhole, 100, 8000, 1},
            {"WAV, IMA ADPCM", BuildRiff({.formatTag = 17, .dataBytes = 1024}), WalkVerdict::Whole, kWhole, 252},
            {"an odd chunk and its pad, an odd data chunk without", odd, WalkVerdict::Whole},
            {"an odd data chunk and its pad", Then(BuildRiff({.dataBytes = 1601, .riffSize = 1601 + 36 + 1}), {0}),
             WalkVerdict::Whole},
            {"RIFF size 0", BuildRiff({.riffSize = 0}), WalkVerdict::Whole, kWhole, 100},
            {"RIFF size FFFFFFFFh, garbage after", Then(BuildRiff({.riffSize = 0xFFFFFFFF}), {0x01, 0x02, 0x03}),
             WalkVerdict::Whole, SizeOf(wav)},
            {"RIFF and data sizes FFFFFFFFh", BuildRiff({.riffSize = 0xFFFFFFFF, .dataSize = 0xFFFFFFFF}),
             WalkVerdict::Truncated, kWhole, 100},
            {"RIFF and data sizes 0, erased flash, then more",
             Then(Then(BuildRiff({.riffSize = 0, .dataSize = 0}), Fill(5000, 0xFF)), Garbage(100, 1)),
             WalkVerdict::Truncated, SizeOf(wav)},
            {"QCP", BuildRiff({.form = "QLCM"}), WalkVerdict::Whole, kWhole, 200, 8000, 1},
            {"RMID", BuildRiff({.form = "RMID"}), WalkVerdict::Whole, kWhole, 2000, kAny, kAny, 2},
            {"cut inside the data", Cut(wav, wav.size() - 100), WalkVerdict::Truncated, SizeOf(wav) - 100},
            {"a chunk past the RIFF size", chunkPastTheEnd, WalkVerdict::Truncated, data},
            {"RIFF and garbage", Then(Cut(wav, 4), Garbage(100, 6)), WalkVerdict::NoItem},
            {"WAVE and garbage", Then(Cut(wav, 12), Garbage(100, 6)), WalkVerdict::NoItem},
            {"data before the format", Then(Cut(wav, 12), From(wav, static_cast<std::size_t>(data))),
             WalkVerdict::NoItem},
            {"MP3 in a WAVE", Changed(wav, 20, 0x55), WalkVerdict::NoItem},
            {"AVI", Changed(wav, 8, 'A'), WalkVerdict::NoItem},
        },
        WalkRiff);
    // Erased flash after a cut inside a chunk reads as the chunk's bytes; the
    // end of the bytes is seen.
    const WalkResult cut = WalkRiff(Cut(wav, 30));
    EXPECT_STREQ(VerdictName(cut.Verdict), "Truncated");
    EXPECT_EQ(cut.End, 12);
}

// --- iMelody and SMAF ------------------------------------------------------

TEST(WalkImelody, EndsAfterTheEndLine)
{
    const Bytes melody = BuildImelody({});
    const auto endLine = static_cast<int32_t>(Find(melody, {'E', 'N', 'D', ':'}));
    CheckCases(
        {
            {"CR LF", melody, WalkVerdict::Whole, kWhole, 2000, 0, 1},
            {"LF", BuildImelody({.lineEnd = "\n"}), WalkVerdict::Whole},
            {"no line end after the end line", Then(BuildImelody({.finalLineEnd = false}), {0x00}), WalkVerdict::Whole,
             SizeOf(melody) - 2},
            {"dots, triplets, rests and a block played twice at 60 beats",
             BuildImelody({.melody = "*4c2.r3;(e1@2)", .beat = 60}), WalkVerdict::Whole, kWhole, 1500 + 333 + 2 * 2000},
            {"cut inside the end line", Cut(melody, melody.size() - 4), WalkVerdict::Truncated, endLine},
            {"erased zeros inside", Then(Cut(melody, static_cast<std::size_t>(endLine) + 2), Fill(40, 0)),
             WalkVerdict::Truncated, endLine},
            {"signature and garbage", Then(Cut(melody, 15), Garbage(100, 8)), WalkVerdict::NoItem},
            {"no line end after the signature", Changed(melody, 13, ' '), WalkVerdict::NoItem},
        },
        WalkImelody);
}

TEST(WalkSmaf, EndsWhereItsSizeSays)
{
    const Bytes smaf = BuildSmaf({.tracks = 2});
    const Bytes audio = BuildSmaf({.tracks = 1, .audioMs = 600});
    // Two 4-bit samples a byte, shared by the two channels.
    const Bytes stereo = BuildSmaf({.tracks = 0, .audioMs = 600, .waveType = 0x93});
    const auto track = static_cast<int32_t>(Find(audio, {'A', 'T', 'R'}));
    CheckCases(
        {
            {"two tracks", smaf, WalkVerdict::Whole, kWhole, kAny, kAny, kAny, 2},
            {"garbage after", Then(smaf, Garbage(40, 3)), WalkVerdict::Whole, SizeOf(smaf)},
            {"a size 100 bytes too large", BuildSmaf({.tracks = 2, .mmmdSize = 100 + SizeOf(smaf) - 8}),
             WalkVerdict::Truncated, SizeOf(smaf) - 2},
            {"a size past every byte", BuildSmaf({.tracks = 2, .mmmdSize = 0xFFFFFFFF}), WalkVerdict::Truncated,
             SizeOf(smaf) - 2},
            {"signature and garbage", Then(Cut(smaf, 8), Garbage(100, 1)), WalkVerdict::NoItem},
            {"no CNTI first", Changed(smaf, 8, 'X'), WalkVerdict::NoItem},
            {"an audio track of 8000 Hz after a score track", audio, WalkVerdict::Whole, kWhole, 600, 8000, 1, 2},
            {"stereo at 22050 Hz", stereo, WalkVerdict::Whole, kWhole, 300, 22050, 2, 1},
            {"cut in the wave, erased flash after", Cut(audio, audio.size() - 200), WalkVerdict::Truncated, track, 0, 0,
             0, 1},
            {"cut in the wave, erased zeros after", Then(Cut(audio, audio.size() - 200), Fill(400, 0x00)),
             WalkVerdict::Truncated, track, 0, 0, 0, 1},
        },
        WalkSmaf);
    const WalkResult cut = WalkSmaf(Cut(smaf, smaf.size() - 6));
    EXPECT_STREQ(VerdictName(cut.Verdict), "Truncated");
    EXPECT_EQ(cut.End, SizeOf(smaf) - 20);
}

}  // namespace
}  // namespace kestrix

namespace kestrix {
namespace {

Bytes Text(const char* text)
{
    return Bytes(text, text + std::strlen(text));
}

// A format 0 MIDI of one track: tempo, then events, then the track's end.
Bytes MidiTrack(uint32_t tempo, int16_t division, const Bytes& events)
{
    Bytes track = {0x00,
                   0xFF,
                   0x51,
                   0x03,
                   static_cast<uint8_t>(tempo >> 16),
                   static_cast<uint8_t>(tempo >> 8),
                   static_cast<uint8_t>(tempo)};
    track.insert(track.end(), events.begin(), events.end());
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    Bytes midi = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, static_cast<uint8_t>(division >> 8), static_cast<uint8_t>(division),
        'M', 'T', 'r', 'k'};
    for (const int shift : {24, 16, 8, 0})
        midi.push_back(static_cast<uint8_t>(track.size() >> shift));
    return Then(midi, track);
}

// Verdicts and facts a user reads off a row: Windows-1251 text, cut frames,
// playing times from the data rather than from what a header claims.
TEST(SoundWalkVerdicts, TextCutsAndDurations)
{
    // "Моя мелодия" in Windows-1251: "я" is FFh.
    const Bytes russian =
        Then(Then(Text("BEGIN:IMELODY\r\nNAME:"), {0xCC, 0xEE, 0xFF, 0x20, 0xEC, 0xE5, 0xEB, 0xEE, 0xE4, 0xE8, 0xFF}),
             Text("\r\nBEAT:120\r\nMELODY:c2d2e2f2\r\nEND:IMELODY\r\n"));
    // "Змея", cut by erased flash right after its "я".
    const Bytes cutRussian = Then(Text("BEGIN:IMELODY\r\nNAME:x\r\nCOMPOSER:"), {0xC7, 0xEC, 0xE5, 0xFF});
    Bytes huge;
    for (int i = 0; i < 4096; ++i)
        huge.insert(huge.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x40});
    const Bytes wav = BuildRiff({});
    Bytes byteRateOne = wav;
    std::fill_n(byteRateOne.begin() + 28, 4, 0);
    byteRateOne[28] = 1;
    const Bytes mp3 = BuildMp3({.frames = 20});
    const auto frame = static_cast<int32_t>(Mp3FrameSize({.frames = 20}));
    const Bytes cutMp3 =
        Then(Then(Cut(mp3, static_cast<std::size_t>(frame) * 10 + 50), BuildMidi({})), Garbage(1000, 3));
    const struct {
        Walker walk;
        SoundCase c;
    } cases[] = {
        {WalkImelody, {"imelody named in Russian with \"я\"", russian, WalkVerdict::Whole, kWhole, 2000}},
        {WalkImelody, {"imelody cut by erased flash after \"я\"", cutRussian, WalkVerdict::Truncated, 23}},
        {WalkMidi,
         {"midi of tempo FFFFFFh and huge deltas", MidiTrack(0xFFFFFF, 1, huge), WalkVerdict::Whole, kWhole,
          9'200'000'000'000'000}},
        {WalkRiff, {"wav whose byte rate says 1", byteRateOne, WalkVerdict::Whole, kWhole, 100}},
        {WalkMp3, {"mp3 cut inside its 11th frame, a MIDI after", cutMp3, WalkVerdict::Truncated, frame * 10}},
    };
    for (const auto& row : cases)
        CheckCases({row.c}, row.walk);
}

// Chains of chunks that never hold a sound cost a bounded walk from each of
// their headers, and the walk says how far it read.
TEST(SoundWalkVerdicts, ChunkChainsWithoutSoundAreBounded)
{
    // "RIFF", size 0, "WAVE", then a JUNK chunk of 12 bytes stepping over the
    // next header to its JUNK chunk.
    Bytes riffs;
    for (int i = 0; i < 10000; ++i)
        riffs = Then(riffs, {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'J', 'U', 'N', 'K', 12, 0, 0, 0});
    Bytes midi = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96};
    for (int i = 0; i < 10000; ++i)
        midi = Then(midi, {'X', 'F', 'I', 'H', 0, 0, 0, 0});
    for (const auto& [name, walk, bytes] :
         {std::tuple{"riff", Walker{WalkRiff}, riffs}, std::tuple{"midi", Walker{WalkMidi}, midi}}) {
        SCOPED_TRACE(name);
        const WalkResult result = walk(bytes);
        EXPECT_EQ(result.Verdict, WalkVerdict::NoItem);
        EXPECT_GT(result.Examined, 12);
        EXPECT_LT(result.Examined, 2000);
    }
    // A real file's chunks before its format (LIST, JUNK, bext...) are far fewer.
    Bytes junkFirst = BuildRiff({});
    for (int i = 0; i < 16; ++i)
        junkFirst.insert(junkFirst.begin() + 12, {'J', 'U', 'N', 'K', 0, 0, 0, 0});
    junkFirst[4] = static_cast<uint8_t>(junkFirst[4] + 128);
    const WalkResult walked = WalkRiff(junkFirst);
    EXPECT_EQ(walked.Verdict, WalkVerdict::Whole);
    EXPECT_EQ(walked.End, SizeOf(junkFirst));
}

}  // namespace
}  // namespace kestrix
