// The grammars and checks the verdicts of iMelody, SMAF and JAD rest on.
#include "imelody_score.h"
#include "jad_grammar.h"
#include "jad_walk.h"
#include "midi_walk.h"
#include "smaf_walk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes TextBytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

std::string Header(const std::string& extra = "")
{
    return "BEGIN:IMELODY\r\nVERSION:1.2\r\nFORMAT:CLASS1.0\r\n" + extra;
}

TEST(ReadImelody, KeepsTheGrammarLineByLine)
{
    const struct {
        const char* name;
        std::string text;
        bool valid;
    } cases[] = {
        {"every property, LF line ends",
         "BEGIN:IMELODY\nVERSION:1.2\nFORMAT:CLASS2.0\nNAME:\xDF\xFF\nCOMPOSER:Ann\nBEAT:"
         "200\nSTYLE:S2\nVOLUME:V12\nX-ANY:thing\nMELODY:c2\nEND:IMELODY\n",
         true},
        {"commands, volume marks and a repeat",
         Header("MELODY:ledon*5#c3.vibeon(&b1;V+r4:@2V-)backoffV3e5\r\nEND:IMELODY"), true},
        {"a folded melody line", Header("MELODY:c2d2\r\n e2f2\r\nEND:IMELODY\r\n"), true},
        {"anything after the end line is ignored", Header("MELODY:c2\r\nEND:IMELODY\r\n\xFF\xFF\x00"), true},
        {"no end line", Header("MELODY:c2\r\n"), false},
        {"no melody", Header("END:IMELODY\r\n"), false},
        {"no version", "BEGIN:IMELODY\r\nFORMAT:CLASS1.0\r\nMELODY:c2\r\nEND:IMELODY\r\n", false},
        {"an unknown format", "BEGIN:IMELODY\r\nVERSION:1.2\r\nFORMAT:CLASS3.0\r\nMELODY:c2\r\nEND:IMELODY\r\n", false},
        {"a beat out of range", Header("BEAT:901\r\nMELODY:c2\r\nEND:IMELODY\r\n"), false},
        {"a style out of range", Header("STYLE:S3\r\nMELODY:c2\r\nEND:IMELODY\r\n"), false},
        {"a volume out of range", Header("VOLUME:V16\r\nMELODY:c2\r\nEND:IMELODY\r\n"), false},
        {"two melody lines", Header("MELODY:c2\r\nMELODY:c2\r\nEND:IMELODY\r\n"), false},
        {"an unknown property", Header("TEMPO:3\r\nMELODY:c2\r\nEND:IMELODY\r\n"), false},
        {"a note without duration", Header("MELODY:c2d\r\nEND:IMELODY\r\n"), false},
        {"a duration past 5", Header("MELODY:c6\r\nEND:IMELODY\r\n"), false},
        {"an octave past 8", Header("MELODY:*9c2\r\nEND:IMELODY\r\n"), false},
        {"a nested repeat", Header("MELODY:(c2(d2@2)@2)\r\nEND:IMELODY\r\n"), false},
        {"a repeat without count", Header("MELODY:(c2@)\r\nEND:IMELODY\r\n"), false},
        {"an unclosed repeat", Header("MELODY:(c2@2\r\nEND:IMELODY\r\n"), false},
        {"a control byte", Header("NAME:a\x01\r\nMELODY:c2\r\nEND:IMELODY\r\n"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadImelody(TextBytes(c.text)).Valid, c.valid) << c.name;
}

// A text cut before its END line keeps the notes before the cut, to be
// played as a cut sound plays up to its cut; it is never Valid.
TEST(ReadImelody, ACutTextKeepsTheNotesBeforeTheCut)
{
    const struct {
        const char* name;
        std::string text;
        bool partial;
        std::size_t notes;
    } cases[] = {
        {"cut in the end line", Header("MELODY:c2d2r2\r\nEND:IMEL"), true, 3},
        {"the last line without its line end is cut off", Header("MELODY:c2d2\r\n e2f2"), true, 2},
        {"a folded melody cut inside a note", Header("MELODY:c2d2\r\n e2f\r\n"), true, 3},
        {"cut before the melody", Header("BEAT:90\r\n"), false, 0},
        {"a broken line before the cut", Header("TEMPO:3\r\nMELODY:c2\r\n"), false, 0},
        {"a broken melody that is not the last line", Header("MELODY:c2x2\r\nNAME:a\r\n"), false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ImelodyScore score = ReadImelody(TextBytes(c.text));
        EXPECT_FALSE(score.Valid);
        EXPECT_EQ(score.Partial, c.partial);
        EXPECT_EQ(score.Notes.size(), c.notes);
        EXPECT_EQ(ImelodyMidiFile(score).empty(), c.notes == 0);
    }
}

TEST(ReadImelody, UnrollsRepeatsAndKeepsVolumeAndLength)
{
    const ImelodyScore score =
        ReadImelody(TextBytes(Header("BEAT:60\r\nVOLUME:V5\r\nMELODY:*3a2.(c3;V+@3V+)r5:\r\nEND:IMELODY\r\n")));
    ASSERT_TRUE(score.Valid);
    ASSERT_EQ(score.Notes.size(), 5U);
    EXPECT_EQ(score.Notes[0].Key, 69);
    EXPECT_EQ(score.Notes[0].Length, 144);  // dotted quarter: 96 * 3 / 2
    // The octave prefix holds for the notes after it.
    EXPECT_EQ(score.Notes[1].Key, 60);
    EXPECT_EQ(score.Notes[1].Length, 32);  // triplet eighth: 48 * 2 / 3
    // Each round replays the block's V+ and starts one step louder ("@3V+").
    EXPECT_EQ(score.Notes[1].Volume, 5);
    EXPECT_EQ(score.Notes[2].Volume, 7);
    EXPECT_EQ(score.Notes[3].Volume, 9);
    EXPECT_EQ(score.Notes[4].Key, -1);
    EXPECT_EQ(score.Notes[4].Length, 21);  // double-dotted 1/32: 12 * 7 / 4
    EXPECT_EQ(score.Length, 144 + 3 * 32 + 21);
    // At 60 beats a minute a quarter note (96) lasts a second.
    EXPECT_EQ(score.DurationMs(), score.Length * 1000 / 96);
    EXPECT_EQ(WalkMidi(ImelodyMidiFile(score)).DurationMs, score.DurationMs());
}

// A repeat count of a billion over a long block writes out at most ten
// minutes of notes.
TEST(ReadImelody, HugeRepeatsAreCutAtTheLongestMelody)
{
    std::string block;
    for (int i = 0; i < 3000; ++i)
        block += "c5;";
    const ImelodyScore huge =
        ReadImelody(TextBytes(Header("BEAT:900\r\nMELODY:(" + block + "@999999999)\r\nEND:IMELODY\r\n")));
    ASSERT_TRUE(huge.Valid);
    EXPECT_TRUE(huge.Cut);
    EXPECT_LE(huge.DurationMs(), kLongestImelodyMs);
    EXPECT_GT(huge.DurationMs(), kLongestImelodyMs - 1000);
    EXPECT_TRUE(ReadImelody(TextBytes(Header("MELODY:(ledon@0)c2\r\nEND:IMELODY\r\n"))).Notes.size() == 1);
}

TEST(SmafCrc, IsTheComplementedCcittCrcOfTheFile)
{
    // The CCITT check value of "123456789" (register from FFFFh) is 29B1h.
    EXPECT_EQ(SmafCrcOf(TextBytes("123456789")), 0xD64E);
    Bytes file = {'M', 'M', 'M', 'D', 0, 0, 0, 10, 'C', 'N', 'T', 'I', 0, 0, 0, 0};
    const uint16_t crc = SmafCrcOf(file);
    file.push_back(static_cast<uint8_t>(crc >> 8));
    file.push_back(static_cast<uint8_t>(crc));
    EXPECT_EQ(CheckSmafCrc(file), SmafCrc::Agrees);
    file[9] ^= 0x40;
    EXPECT_EQ(CheckSmafCrc(file), SmafCrc::Disagrees);
    file[file.size() - 2] = file[file.size() - 1] = 0;
    EXPECT_EQ(CheckSmafCrc(file), SmafCrc::None);
}

TEST(JadGrammar, AnApplicationLineNamesAClass)
{
    const struct {
        const char* key;
        const char* value;
        bool entry;
    } cases[] = {
        {"MIDlet-1", "Snake, /icon.png, com.example.Snake", true},
        {"midlet-12", "Snake,,Main", true},
        {"MIDlet-0", "Snake, /i.png, Main", false},
        {"MIDlet-01", "Snake, /i.png, Main", false},
        {"MIDlet-Name", "Snake, /i.png, Main", false},
        {"MIDlet-1", "Snake, /i.png", false},
        {"MIDlet-1", " , /i.png, Main", false},
        {"MIDlet-1", "Snake, /i.png, ", false},
        {"MIDlet-1", "a, b, c, d", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsMidletEntry(c.key, c.value), c.entry) << c.key << ": " << c.value;

    const std::string attributes = "MIDlet-Name: Snake\nMIDlet-Vendor: V\nMIDlet-Version: 1.0\n"
                                   "MIDlet-Jar-URL: snake.jar\nMIDlet-Jar-Size: 100\n";
    EXPECT_EQ(WalkJad(TextBytes(attributes + "MIDlet-1: Snake, , Main\n")).Walk.Verdict, WalkVerdict::Whole);
    EXPECT_EQ(WalkJad(TextBytes(attributes)).Walk.Verdict, WalkVerdict::Truncated);
}

}  // namespace
}  // namespace kestrix
