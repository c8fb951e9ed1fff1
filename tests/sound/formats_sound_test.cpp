// iMelody rendered through the synthesizer, QCP voice through libavcodec and
// SMAF judged by its CRC, its audio track through libavformat, tested on the
// PCM.
#include "format_table.h"
#include "imelody_score.h"
#include "picture_builders.h"
#include "smaf_walk.h"
#include "sound_builders.h"
#include "sound_decoder.h"
#include "stream.h"
#include "wav_file.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/version_major.h>
#include <libavutil/macros.h>
}

#include <dlfcn.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace test_support;

SoundDecode Decode(ItemType type, const Bytes& bytes)
{
    SoundLimits limits;
    limits.MaxFrames = SoundFrameBudget(bytes.size());
    return DecodeSound(type, bytes, limits);
}

// The power of frequency in count frames of sound from frame first (channel 0), by Goertzel's recurrence.
double PowerAt(const Pcm& sound, int64_t first, int64_t count, double frequency)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / sound.SampleRate);
    double previous = 0;
    double before = 0;
    for (int64_t i = first; i < first + count; ++i) {
        const double sample = sound.Samples[static_cast<std::size_t>(i * sound.Channels)];
        const double next = sample + coefficient * previous - before;
        before = previous;
        previous = next;
    }
    return previous * previous + before * before - coefficient * previous * before;
}

// The MIDI key (36..96) sounding in the frames: the one whose frequency and
// its second and third harmonics carry the most power together (a square
// lead's third harmonic may be louder than its fundamental).
int LoudestKey(const Pcm& sound, int64_t first, int64_t count)
{
    int best = -1;
    double bestPower = -1;
    for (int key = 36; key <= 96; ++key) {
        const double frequency = 440.0 * std::pow(2.0, (key - 69) / 12.0);
        double power = 0;
        for (int harmonic = 1; harmonic <= 3; ++harmonic)
            power += std::log(1 + PowerAt(sound, first, count, frequency * harmonic));
        if (power > bestPower) {
            bestPower = power;
            best = key;
        }
    }
    return best;
}

Bytes Imelody(const std::string& melody, int beat = 120, const std::string& style = "S1")
{
    const std::string text = "BEGIN:IMELODY\r\nVERSION:1.2\r\nFORMAT:CLASS1.0\r\nBEAT:" + std::to_string(beat) +
                             "\r\nSTYLE:" + style + "\r\nMELODY:" + melody + "\r\nEND:IMELODY\r\n";
    return {text.begin(), text.end()};
}

// Each melody's notes sound at the pitch written, one after the other, and
// the whole lasts as long as its notes.
TEST(ImelodySound, NotesSoundAtTheirPitchForTheirLength)
{
    const struct {
        const char* name;
        std::string melody;
        int beat;
        std::vector<int> keys;  // one a note, each the same length; -1 for a rest
    } cases[] = {
        {"default octave: a is 880 Hz", "c2e2g2a2", 120, {72, 76, 79, 81}},
        {"octave prefixes, sharp and flat", "*3a2*5c2#f2&b2", 120, {69, 84, 90, 94}},
        {"rests keep their place", "*4c2r2*4g2", 120, {72, -1, 79}},
        {"repeat block played three times at a fast beat", "(*3c2*3g2@3)", 180, {60, 67, 60, 67, 60, 67}},
    };
    if (MidiSoundFont().empty())
        GTEST_SKIP() << "no General MIDI sound font on this machine";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = Imelody(c.melody, c.beat);
        const SoundDecode decoded = Decode(ItemType::Imelody, bytes);
        ASSERT_EQ(decoded.Outcome, SoundOutcome::Decoded);
        const Pcm& sound = decoded.Sound;
        // A quarter note (duration 2) is one beat.
        const int64_t noteFrames = int64_t{sound.SampleRate} * 60 / c.beat;
        EXPECT_NEAR(static_cast<double>(sound.Frames()), static_cast<double>(noteFrames * c.keys.size()),
                    sound.SampleRate * 0.01);
        for (std::size_t n = 0; n < c.keys.size(); ++n) {
            SCOPED_TRACE(n);
            // The middle half of the note, clear of attack and release.
            const int64_t first = static_cast<int64_t>(n) * noteFrames + noteFrames / 4;
            if (c.keys[n] < 0) {
                double energy = 0;
                for (int64_t i = first; i < first + noteFrames / 2; ++i)
                    energy += std::abs(sound.Samples[static_cast<std::size_t>(i * sound.Channels)]);
                EXPECT_LT(energy / (noteFrames / 2.0), 50.0);
            } else {
                EXPECT_EQ(LoudestKey(sound, first, noteFrames / 2), c.keys[n]);
            }
        }
    }
}

TEST(ImelodySound, VerdictIsTheGrammarsAndTheWavHasTheMelody)
{
    EXPECT_EQ(CheckSound(ItemType::Imelody, BuildImelody({}), std::atomic<bool>{false}), ItemStatus::Complete);
    EXPECT_EQ(CheckSound(ItemType::Imelody, Imelody("c2x2"), std::atomic<bool>{false}), ItemStatus::Damaged);
    EXPECT_EQ(Decode(ItemType::Imelody, Imelody("c2x2")).Outcome, SoundOutcome::Refused);
}

// A melody cut in its end line plays the notes it holds, as a cut AMR or MP3
// plays its whole frames.
TEST(ImelodySound, ACutMelodyPlaysUpToItsCut)
{
    if (MidiSoundFont().empty())
        GTEST_SKIP() << "no General MIDI sound font on this machine";
    const Bytes whole = Imelody("*4c2*4g2");
    const Bytes cut(whole.begin(), whole.end() - 5);
    const SoundDecode decoded = Decode(ItemType::Imelody, cut);
    ASSERT_EQ(decoded.Outcome, SoundOutcome::Decoded);
    const Pcm& sound = decoded.Sound;
    const int64_t noteFrames = sound.SampleRate / 2;
    EXPECT_NEAR(static_cast<double>(sound.Frames()), static_cast<double>(2 * noteFrames), sound.SampleRate * 0.01);
    EXPECT_EQ(LoudestKey(sound, noteFrames / 4, noteFrames / 2), 72);
    EXPECT_EQ(LoudestKey(sound, noteFrames + noteFrames / 4, noteFrames / 2), 79);
}

// QCELP and EVRC packets each decode to 160 samples at 8000 Hz with sound in
// them; the verdict is the decode's.
TEST(QcpSound, PacketsDecodeToTheirLength)
{
    for (const QcpPlanCodec codec : {QcpPlanCodec::Qcelp, QcpPlanCodec::Evrc}) {
        SCOPED_TRACE(static_cast<int>(codec));
        const Bytes bytes = BuildRiff({.form = "QLCM", .qcpCodec = codec, .qcpPackets = 25});
        ASSERT_EQ(TraitsOf(ItemType::Qcp).Walk(bytes, true).Verdict, WalkVerdict::Whole);
        const SoundDecode decoded = Decode(ItemType::Qcp, bytes);
        ASSERT_EQ(decoded.Outcome, SoundOutcome::Decoded);
        EXPECT_EQ(decoded.Sound.SampleRate, 8000);
        EXPECT_EQ(decoded.Sound.Channels, 1);
        EXPECT_EQ(decoded.Sound.Frames(), 25 * 160);
        int64_t loud = 0;
        for (const int16_t sample : decoded.Sound.Samples)
            loud += std::abs(sample) > 100 ? 1 : 0;
        EXPECT_GT(loud, 25 * 160 / 10);
        EXPECT_EQ(CheckSound(ItemType::Qcp, bytes, std::atomic<bool>{false}), ItemStatus::Complete);
    }
}

TEST(QcpSound, BoundedByTheBudgetAndTheCancelFlag)
{
    const Bytes bytes = BuildRiff({.form = "QLCM", .qcpPackets = 200});
    SoundLimits limits;
    limits.MaxFrames = 1000;
    EXPECT_EQ(DecodeSound(ItemType::Qcp, bytes, limits).Outcome, SoundOutcome::TooCostly);
    std::atomic<bool> cancel{true};
    limits.MaxFrames = SoundFrameBudget(bytes.size());
    limits.Cancel = &cancel;
    EXPECT_EQ(DecodeSound(ItemType::Qcp, bytes, limits).Outcome, SoundOutcome::Cancelled);
}

// Sign changes of channel 0.
int64_t ZeroCrossings(const Pcm& sound)
{
    int64_t crossings = 0;
    for (int64_t i = 1; i < sound.Frames(); ++i)
        crossings += (sound.Samples[static_cast<std::size_t>((i - 1) * sound.Channels)] < 0) !=
                     (sound.Samples[static_cast<std::size_t>(i * sound.Channels)] < 0);
    return crossings;
}

TEST(SmafSound, AudioTrackPlaysItsToneForItsLength)
{
    const struct {
        const char* name;
        SmafPlan plan;
    } cases[] = {
        {"440 Hz at 8000 Hz after two score tracks", {.tracks = 2, .audioMs = 500}},
        {"1000 Hz at 22050 Hz, no score track", {.tracks = 0, .audioMs = 300, .toneHz = 1000, .waveType = 0x13}},
        {"300 Hz at 4000 Hz", {.audioMs = 700, .toneHz = 300, .waveType = 0x10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = BuildSmaf(c.plan);
        const int rate = SmafRate(c.plan.waveType);
        const int64_t frames = int64_t{c.plan.audioMs} * rate / 1000;
        const SoundDecode decoded = Decode(ItemType::Smaf, bytes);
        ASSERT_EQ(decoded.Outcome, SoundOutcome::Decoded);
        EXPECT_EQ(decoded.Sound.SampleRate, rate);
        EXPECT_EQ(decoded.Sound.Channels, 1);
        // Two samples a byte: an odd count gains one.
        EXPECT_EQ(decoded.Sound.Frames(), frames + frames % 2);
        const double expected = 2 * c.plan.toneHz * c.plan.audioMs / 1000;
        EXPECT_NEAR(static_cast<double>(ZeroCrossings(decoded.Sound)), expected, expected / 50);
        const WalkResult walk = WalkSmaf(bytes);
        EXPECT_EQ(walk.DurationMs, c.plan.audioMs);
        EXPECT_EQ(walk.SampleRate, rate);
        EXPECT_TRUE(CanPlay(ItemType::Smaf, bytes));
        EXPECT_EQ(CheckSound(ItemType::Smaf, bytes, std::atomic<bool>{false}), ItemStatus::Complete);
    }
}

TEST(SmafSound, WavFileHoldsTheDecodedTrackWithinTheBudget)
{
    const Bytes bytes = BuildSmaf({.audioMs = 400});
    MemoryStream wav;
    std::string why;
    int64_t budget = 44 + 3200 * 2;
    ASSERT_TRUE(SoundToWav(ItemType::Smaf, bytes, wav, budget, why)) << why;
    EXPECT_EQ(budget, 0);
    const SoundDecode decoded = Decode(ItemType::Smaf, bytes);
    ASSERT_EQ(static_cast<std::size_t>(wav.SizeValue()), 44 + decoded.Sound.Samples.size() * 2);
    EXPECT_EQ(std::memcmp(wav.Memory() + 44, decoded.Sound.Samples.data(), decoded.Sound.Samples.size() * 2), 0);

    MemoryStream small;
    budget = 44 + 3000 * 2;
    EXPECT_FALSE(SoundToWav(ItemType::Smaf, bytes, small, budget, why));
    EXPECT_EQ(why, "the WAV file would pass the bound of the run's WAV files");
}

TEST(SmafSound, DecodeStopsAtTheBudgetAndTheCancelFlag)
{
    const Bytes bytes = BuildSmaf({.audioMs = 1000});
    SoundLimits limits;
    limits.MaxFrames = 4000;
    EXPECT_EQ(DecodeSound(ItemType::Smaf, bytes, limits).Outcome, SoundOutcome::TooCostly);
    std::atomic<bool> cancel{true};
    limits.MaxFrames = SoundFrameBudget(bytes.size());
    limits.Cancel = &cancel;
    EXPECT_EQ(DecodeSound(ItemType::Smaf, bytes, limits).Outcome, SoundOutcome::Cancelled);
}

TEST(SmafSound, TracksNoDecoderPlaysKeepTheCrcVerdictAndBrokenOnesAreFlagged)
{
    const Bytes whole = BuildSmaf({.tracks = 1, .audioMs = 200});
    const struct {
        const char* name;
        Bytes bytes;
        SoundOutcome outcome;
        ItemStatus status;
    } cases[] = {
        {"score tracks only", BuildSmaf({.tracks = 2}), SoundOutcome::NotPlayable, ItemStatus::Complete},
        {"score tracks only, a bad CRC", BuildSmaf({.tracks = 2, .badCrc = true}), SoundOutcome::NotPlayable,
         ItemStatus::Damaged},
        {"a wave format of PCM", BuildSmaf({.audioMs = 200, .waveType = 0x01}), SoundOutcome::NotPlayable,
         ItemStatus::Complete},
        {"a rate code of no rate", BuildSmaf({.audioMs = 200, .waveType = 0x17}), SoundOutcome::NotPlayable,
         ItemStatus::Complete},
        {"no sequence before the wave", BuildSmaf({.audioMs = 200, .noSequence = true}), SoundOutcome::Refused,
         ItemStatus::Damaged},
        {"a wave larger than its track", BuildSmaf({.audioMs = 200, .waveSize = 5000}), SoundOutcome::Refused,
         ItemStatus::Damaged},
        {"an empty wave", BuildSmaf({.audioMs = 200, .waveSize = 0}), SoundOutcome::Refused, ItemStatus::Damaged},
        // The walk keeps the chunks before the cut: the audio track is gone.
        {"cut inside the audio track", Cut(whole, whole.size() - 300), SoundOutcome::NotPlayable, ItemStatus::Damaged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SoundDecode decoded = Decode(ItemType::Smaf, c.bytes);
        EXPECT_EQ(decoded.Outcome, c.outcome);
        EXPECT_TRUE(decoded.Sound.Samples.empty());
        EXPECT_EQ(CheckSound(ItemType::Smaf, c.bytes, std::atomic<bool>{false}), c.status);
        EXPECT_FALSE(CanPlay(ItemType::Smaf, c.bytes));
        EXPECT_EQ(WalkSmaf(c.bytes).DurationMs, 0);
    }
}

// ctest runs each test in a process of its own; a run of the whole binary may
// have opened the library in an earlier test.
TEST(SmafSound, LibavformatOpensAtTheFirstAudioTrackDecode)
{
    const auto opened = [] {
        void* library = dlopen("libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR), RTLD_NOW | RTLD_NOLOAD);
        if (library != nullptr)
            dlclose(library);
        return library != nullptr;
    };
    if (opened())
        GTEST_SKIP() << "an earlier test in this process decoded a SMAF";
    EXPECT_EQ(Decode(ItemType::Smaf, BuildSmaf({.tracks = 2})).Outcome, SoundOutcome::NotPlayable);
    EXPECT_EQ(CheckSound(ItemType::Smaf, BuildSmaf({.tracks = 2}), std::atomic<bool>{false}), ItemStatus::Complete);
    EXPECT_FALSE(opened());
    EXPECT_EQ(Decode(ItemType::Smaf, BuildSmaf({.audioMs = 100})).Outcome, SoundOutcome::Decoded);
    EXPECT_TRUE(opened());
}

TEST(SmafSound, VerdictRestsOnTheCrc)
{
    const Bytes whole = BuildSmaf({.tracks = 2});
    EXPECT_EQ(CheckSound(ItemType::Smaf, whole, std::atomic<bool>{false}), ItemStatus::Complete);
    Bytes changed = whole;
    changed[20] ^= 0x01;
    EXPECT_EQ(CheckSound(ItemType::Smaf, changed, std::atomic<bool>{false}), ItemStatus::Damaged);
    Bytes noCrc = whole;
    noCrc[noCrc.size() - 2] = noCrc[noCrc.size() - 1] = 0;
    EXPECT_EQ(CheckSound(ItemType::Smaf, noCrc, std::atomic<bool>{false}), ItemStatus::Complete);
    EXPECT_EQ(Decode(ItemType::Smaf, whole).Outcome, SoundOutcome::NotPlayable);
}

}  // namespace
}  // namespace kestrix
