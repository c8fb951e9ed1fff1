#include "hostile_images.h"
#include "jad_walk.h"
#include "jar_builders.h"
#include "jar_walk.h"
#include "picture_builders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;
using test_support::BuildJar;
using test_support::BuildPng;
using test_support::CentralDirectoryOf;
using test_support::Cut;
using test_support::Find;
using test_support::Garbage;
using test_support::JarFile;
using test_support::JarPlan;
using test_support::LocalHeaderOf;
using test_support::MidletDescriptor;
using test_support::MidletPlan;
using test_support::TextBytes;
using test_support::Then;

constexpr int32_t kWhole = -1;

// One walk: bytes, then what follows them (erased flash unless said), what the
// walk must say and where it must end (kWhole: at the end of bytes).
struct WalkCase {
    const char* name;
    Bytes bytes;
    WalkVerdict verdict;
    int32_t end = kWhole;
    Bytes after = Bytes(300, 0xFF);
};

void CheckCase(const WalkCase& c, const WalkResult& result, std::size_t imageSize)
{
    SCOPED_TRACE(c.name);
    ASSERT_EQ(static_cast<int>(result.Verdict), static_cast<int>(c.verdict));
    if (c.verdict == WalkVerdict::NoItem) {
        EXPECT_EQ(result.End, 0);
        return;
    }
    EXPECT_EQ(result.End, c.end == kWhole ? static_cast<int32_t>(c.bytes.size()) : c.end);
    EXPECT_EQ(result.SureEnd, result.End);
    EXPECT_GE(result.Examined, result.End);
    EXPECT_LE(result.Examined, static_cast<int64_t>(imageSize));
}

Bytes Changed(Bytes bytes, std::size_t at, uint8_t value)
{
    bytes.at(at) = value;
    return bytes;
}

Bytes Le16At(Bytes bytes, std::size_t at, uint16_t value)
{
    bytes.at(at) = static_cast<uint8_t>(value);
    bytes.at(at + 1) = static_cast<uint8_t>(value >> 8);
    return bytes;
}

// --- JAR -------------------------------------------------------------------

const Bytes kGame = BuildJar(MidletPlan("Snake"));
const Bytes kOther = BuildJar(MidletPlan("Tetris"));
const Bytes kNested = BuildJar(MidletPlan("Nest", kOther));

int32_t At(std::size_t offset)
{
    return static_cast<int32_t>(offset);
}

std::vector<WalkCase> JarCases()
{
    const std::size_t classAt = LocalHeaderOf(kGame, "com/example/Main.class");
    const std::size_t innerAt = LocalHeaderOf(kNested, "res/inner.jar");
    const std::size_t directory = CentralDirectoryOf(kGame);
    const std::size_t record = Find(kGame, {0x50, 0x4B, 0x05, 0x06});
    JarPlan unsigned_ = MidletPlan("Plain");
    unsigned_.descriptorSignature = false;
    JarPlan stored = MidletPlan("Stored");
    for (JarFile& file : stored.files)
        file.deflated = false;
    // Stored data of unknown size end at their descriptor, looked for up to
    // the next header: the inner archive's first header ends the search.
    JarPlan storedInner = MidletPlan("Nest", kOther);
    storedInner.files.back().descriptor = true;
    JarPlan sized = MidletPlan("Sized");
    for (JarFile& file : sized.files)
        file.descriptor = false;
    JarPlan commented = MidletPlan("Remark");
    commented.comment = "PK\x05\x06 in the comment";
    // The directory's second entry names the first header again, name and all.
    Bytes twice = BuildJar({{{"a.txt", TextBytes("one"), false, false}, {"b.txt", TextBytes("two"), false, false}}});
    const std::size_t second = Find(twice, {0x50, 0x4B, 0x01, 0x02}, 1);
    for (int i = 0; i < 4; ++i)
        twice[second + 42 + static_cast<std::size_t>(i)] = 0;
    twice[second + 46] = 'a';
    const std::size_t lastCentral = Find(kGame, {0x50, 0x4B, 0x01, 0x02}, 3);
    const std::size_t cutInClass = classAt + 100;
    return {
        {"as the jar tool writes it", kGame, WalkVerdict::Whole},
        {"descriptors without signature", BuildJar(unsigned_), WalkVerdict::Whole},
        {"every entry stored", BuildJar(stored), WalkVerdict::Whole},
        {"sizes in the local headers", BuildJar(sized), WalkVerdict::Whole},
        {"an end record in the comment", BuildJar(commented), WalkVerdict::Whole},
        {"an archive stored inside", kNested, WalkVerdict::Whole},
        {"an archive stored inside with a descriptor", BuildJar(storedInner), WalkVerdict::Truncated,
         At(LocalHeaderOf(kNested, "res/inner.jar"))},
        {"zeros after it", kGame, WalkVerdict::Whole, kWhole, Bytes(300, 0x00)},
        {"another archive right after it", kGame, WalkVerdict::Whole, kWhole, kOther},
        {"cut in deflated data, erased flash after", Cut(kGame, cutInClass), WalkVerdict::Truncated, At(classAt)},
        {"cut in deflated data, another archive after", Cut(kGame, cutInClass), WalkVerdict::Truncated, At(classAt),
         kOther},
        {"cut between entries, another archive after", Cut(kGame, classAt), WalkVerdict::Truncated, At(classAt),
         kOther},
        {"cut between entries, erased flash after", Cut(kGame, classAt), WalkVerdict::Truncated},
        {"cut in the stored archive, another archive after", Cut(kNested, innerAt + 300), WalkVerdict::Truncated,
         At(innerAt), kOther},
        {"cut in the stored archive, zeros after", Cut(kNested, innerAt + 300), WalkVerdict::Truncated, At(innerAt),
         Bytes(5000, 0x00)},
        {"cut in the directory, another archive after", Cut(kGame, directory + 50), WalkVerdict::Truncated,
         At(directory), kOther},
        {"cut in the end record", Cut(kGame, record + 10), WalkVerdict::Truncated, At(directory)},
        {"directory pointing elsewhere", Changed(kGame, lastCentral + 42, 0x07), WalkVerdict::Truncated, At(directory)},
        {"directory naming one header twice", twice, WalkVerdict::Truncated, At(CentralDirectoryOf(twice))},
        {"65,535 entries claimed", Le16At(Le16At(kGame, record + 8, 0xFFFF), record + 10, 0xFFFF),
         WalkVerdict::Truncated, At(directory)},
        {"directory offset not pointing back", Changed(kGame, record + 16, kGame[record + 16] + 1),
         WalkVerdict::Truncated, At(directory)},
        {"signature and garbage", Then({0x50, 0x4B, 0x03, 0x04}, Garbage(400, 3)), WalkVerdict::NoItem},
        {"first entry's data past the end", Cut(BuildJar({{{"big.bin", Garbage(1000, 1), false, false}}}), 200),
         WalkVerdict::NoItem},
        {"first entry's deflate stream cut", Cut(kGame, 44), WalkVerdict::NoItem},
        {"first entry's descriptor cut, zeros after", Then(Cut(kGame, 50), Bytes(400, 0x00)), WalkVerdict::NoItem},
        {"encrypted", Changed(kGame, 6, 0x09), WalkVerdict::NoItem},
        {"unknown method", Changed(kGame, 8, 0x63), WalkVerdict::NoItem},
    };
}

TEST(WalkJar, EndsAtItsOwnEndRecordPastEveryTrap)
{
    for (const WalkCase& c : JarCases()) {
        const Bytes image = Then(c.bytes, c.after);
        CheckCase(c, WalkJar(image).Walk, image.size());
    }
}

TEST(WalkJar, ReadsTheManifest)
{
    const JarWalk game = WalkJar(kGame);
    EXPECT_TRUE(game.Midlet.HasManifest);
    EXPECT_EQ(game.Midlet.Name, "Snake");
    EXPECT_EQ(game.Midlet.Vendor, "Games & Co");
    EXPECT_EQ(game.Midlet.Version, "1.0.2");
    EXPECT_EQ(game.Midlet.IconPath, "/icon.png");
    EXPECT_EQ(game.Midlet.Icon, BuildPng({.width = 16, .height = 16}));

    // A stored manifest with MIDlet-Icon, a vendor on a continuation line, the icon deflated.
    JarPlan plan = MidletPlan("Stored");
    plan.files[1] = {
        "META-INF/MANIFEST.MF",
        TextBytes(test_support::MidletManifest("Chess", "A vendor with a long name", "2.1", "/img/app.png", true)),
        false};
    plan.files[2] = {"img/app.png", BuildPng({}), true};
    const JarWalk stored = WalkJar(BuildJar(plan));
    EXPECT_EQ(stored.Walk.Verdict, WalkVerdict::Whole);
    EXPECT_EQ(stored.Midlet.Name, "Chess");
    EXPECT_EQ(stored.Midlet.Vendor, "A vendor with a long name");
    EXPECT_EQ(stored.Midlet.IconPath, "/img/app.png");
    EXPECT_EQ(stored.Midlet.Icon, BuildPng({}));

    // A cut archive still tells its name; one without a manifest tells nothing.
    const JarWalk cut = WalkJar(Cut(kGame, LocalHeaderOf(kGame, "com/example/Main.class") + 10));
    EXPECT_EQ(cut.Walk.Verdict, WalkVerdict::Truncated);
    EXPECT_EQ(cut.Midlet.Name, "Snake");
    plan.files.erase(plan.files.begin() + 1);
    const JarWalk bare = WalkJar(BuildJar(plan));
    EXPECT_EQ(bare.Walk.Verdict, WalkVerdict::Whole);
    EXPECT_FALSE(bare.Midlet.HasManifest);
    EXPECT_TRUE(bare.Midlet.Name.empty());
    EXPECT_TRUE(bare.Midlet.Icon.empty());
}

TEST(WalkJar, HostileArchivesEndEarly)
{
    // A deflate stream cut and followed by a megabyte of erased flash: the walk
    // stops feeding it at the erased run instead of inflating FFh to the end.
    const std::size_t classAt = LocalHeaderOf(kGame, "com/example/Main.class");
    const Bytes erased = Then(Cut(kGame, classAt + 100), Bytes(1 << 20, 0xFF));
    const WalkResult cut = WalkJar(erased).Walk;
    EXPECT_EQ(cut.Verdict, WalkVerdict::Truncated);
    EXPECT_EQ(cut.End, static_cast<int32_t>(classAt));
    EXPECT_LE(cut.Examined, static_cast<int64_t>(classAt + 100 + kErasedRunLength));

    // A directory of 65,535 entries, each pointing somewhere else.
    Bytes hostile = Cut(kGame, CentralDirectoryOf(kGame));
    const std::size_t cd = hostile.size();
    const Bytes central(kGame.begin() + static_cast<std::ptrdiff_t>(cd),
                        kGame.begin() + static_cast<std::ptrdiff_t>(Find(kGame, {0x50, 0x4B, 0x01, 0x02}, 1)));
    for (uint32_t i = 0; i < 0xFFFF; ++i) {
        hostile.insert(hostile.end(), central.begin(), central.end());
        const std::size_t offset = hostile.size() - central.size() + 42;
        for (int b = 0; b < 4; ++b)
            hostile[offset + static_cast<std::size_t>(b)] = static_cast<uint8_t>((i * 2654435761u) >> (8 * b));
    }
    const WalkResult everywhere = WalkJar(hostile).Walk;
    EXPECT_EQ(everywhere.Verdict, WalkVerdict::Truncated);
    EXPECT_EQ(everywhere.End, static_cast<int32_t>(cd));
    EXPECT_LE(everywhere.Examined, static_cast<int64_t>(hostile.size()));
}

// --- JAD -------------------------------------------------------------------

const std::string kJad = MidletDescriptor("Snake", 4821);

std::vector<WalkCase> JadCases()
{
    const std::string lf = MidletDescriptor("Snake", 4821, "\n");
    const std::size_t vendorLine = kJad.find("MIDlet-Vendor");
    const std::string noFinalEnd = kJad.substr(0, kJad.size() - 2);
    Bytes longRun = TextBytes(kJad);
    while (longRun.size() <= kLongestJad)
        longRun = Then(longRun, TextBytes("X-Key: 12345678\r\n"));
    return {
        {"CR LF", TextBytes(kJad), WalkVerdict::Whole},
        {"LF", TextBytes(lf), WalkVerdict::Whole},
        {"CR", TextBytes(MidletDescriptor("Snake", 4821, "\r")), WalkVerdict::Whole},
        {"with a byte order mark", TextBytes("\xEF\xBB\xBF" + kJad), WalkVerdict::Whole},
        {"no line end after the last line", TextBytes(noFinalEnd), WalkVerdict::Whole, kWhole, Bytes(40, 0x00)},
        {"other text after it", TextBytes(kJad), WalkVerdict::Whole, kWhole, TextBytes("\r\nMIDlet-Name: Other\r\n")},
        {"a line of prose after it", TextBytes(lf), WalkVerdict::Whole, kWhole, TextBytes("and more text\n")},
        {"cut before the vendor", TextBytes(kJad.substr(0, vendorLine)), WalkVerdict::Truncated},
        {"jar size not a number",
         TextBytes("MIDlet-Jar-Size: 12x\nMIDlet-Jar-URL: a.jar\nMIDlet-Name: a\nMIDlet-Vendor: b\n"),
         WalkVerdict::Truncated},
        {"a manifest", TextBytes(test_support::MidletManifest("Snake", "Games & Co", "1.0", "/i.png")),
         WalkVerdict::NoItem},
        {"one attribute only", TextBytes("MIDlet-Name: Snake\n"), WalkVerdict::NoItem},
        {"a key without colon", TextBytes(std::string("MIDlet-Name\0MIDlet-Vendor\0", 26)), WalkVerdict::NoItem},
        {"mail headers", TextBytes("Content-Type: text/plain\r\nContent-Length: 12\r\n"), WalkVerdict::NoItem},
        {"key and garbage", Then(TextBytes("MIDlet-"), Garbage(200, 4)), WalkVerdict::NoItem},
        {"no line end after the last line, erased flash after", TextBytes(noFinalEnd), WalkVerdict::Whole},
        {"a run of lines longer than 64 KiB", longRun, WalkVerdict::NoItem},
    };
}

TEST(WalkJad, EndsAfterItsRunOfAttributeLines)
{
    for (const WalkCase& c : JadCases()) {
        const Bytes image = Then(c.bytes, c.after);
        CheckCase(c, WalkJad(image).Walk, image.size());
    }
    const JadWalk walk = WalkJad(TextBytes(kJad));
    EXPECT_EQ(walk.Facts.Name, "Snake");
    EXPECT_EQ(walk.Facts.Vendor, "Games & Co");
    EXPECT_EQ(walk.Facts.Version, "1.0.2");
    EXPECT_EQ(walk.Facts.JarUrl, "Snake.jar");
    EXPECT_EQ(walk.Facts.JarSize, 4821);
}

TEST(JadRunStart, StepsBackOverTheRunsLines)
{
    const Bytes image = Then(Then(Bytes(10, 0xFF), TextBytes("x\n\n\xEF\xBB\xBF")), TextBytes(kJad));
    const auto start = static_cast<int64_t>(Find(image, TextBytes("MIDlet-1")));
    const auto jarUrl = static_cast<int64_t>(Find(image, TextBytes("MIDlet-Jar-URL")));
    EXPECT_EQ(JadRunStart(image, jarUrl), start - 3);
    EXPECT_EQ(JadRunStart(image, jarUrl + 5), start - 3);
    EXPECT_EQ(JadRunStart(image, start), start - 3);

    const Bytes plain = Then(Bytes(10, 0x00), TextBytes(kJad));
    EXPECT_EQ(JadRunStart(plain, static_cast<int64_t>(plain.size()) - 3), 10);
    EXPECT_EQ(JadRunStart(plain, 3), 3);
}

// The descriptor's and the manifest's text is UTF-8 where it is valid UTF-8,
// else Windows-1251 ("Змея" in Windows-1251 ends in FFh, "я").
TEST(MidletText, DecodesUtf8ElseWindows1251)
{
    const struct {
        const char* name;
        std::string value;
        std::string text;
    } cases[] = {
        {"Windows-1251", "\xC7\xEC\xE5\xFF", "Змея"},
        {"UTF-8", "Змейка", "Змейка"},
        {"ASCII", "Snake", "Snake"},
        {"an overlong UTF-8 form is Windows-1251", "\xC0\xAF", "АЇ"},
        {"a UTF-8 sequence cut short is Windows-1251", "\xD0", "Р"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string jad = "MIDlet-Name: " + c.value + "\r\nMIDlet-Jar-URL: a.jar\r\n";
        EXPECT_EQ(WalkJad(TextBytes(jad)).Facts.Name, c.text);
        JarPlan plan = MidletPlan("x");
        plan.files[1].data = TextBytes(test_support::MidletManifest(c.value, c.value, "1.0", "/icon.png"));
        const JarWalk jar = WalkJar(BuildJar(plan));
        EXPECT_EQ(jar.Midlet.Name, c.text);
        EXPECT_EQ(jar.Midlet.Vendor, c.text);
    }
}

// One candidate a run of attribute lines: the first "MIDlet-" line at a line's
// start reads the whole run, so the lines after it are no candidates.
TEST(IsJadCandidate, OneLineARun)
{
    const Bytes image = Then(Then(Bytes{0x00}, TextBytes("Foo: MIDlet-2: y\nMIDlet-1: x\nKey: v\nMIDlet-2: y\n\n")),
                             Then(Bytes{0xFF}, TextBytes("MIDlet-3: z\nxMIDlet-4: w\n\xEF\xBB\xBFMIDlet-5: v")));
    const auto at = [&](const char* text, int n = 0) { return static_cast<int64_t>(Find(image, TextBytes(text), n)); };
    const struct {
        const char* name;
        int64_t at;
        bool candidate;
    } cases[] = {
        {"after other text on its line", at("MIDlet-2"), false},
        {"the first MIDlet- line of a run", at("MIDlet-1"), true},
        {"a later MIDlet- line of the run", at("MIDlet-2", 1), false},
        {"after erased flash", at("MIDlet-3"), true},
        {"inside a longer key", at("MIDlet-4"), false},
        {"after a byte order mark", at("MIDlet-5"), true},
        {"no MIDlet- there", at("Key"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsJadCandidate(image, c.at), c.candidate) << c.name;
    EXPECT_TRUE(IsJadCandidate(TextBytes(kJad), 0));
}

// An archive keeps at most kLargestJarIcon of its icon and never inflates more
// for it.
TEST(WalkJar, KeepsOnlyASmallIcon)
{
    const struct {
        const char* name;
        std::size_t size;
        bool deflated;
        bool kept;
    } cases[] = {
        {"60 KiB stored", 60 * 1024, false, true},
        {"64 KiB deflated", kLargestJarIcon, true, true},
        {"70 KiB stored", 70 * 1024, false, false},
        {"256 KiB deflated", 256 * 1024, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JarPlan plan = MidletPlan("Icons");
        plan.files[2] = {"icon.png", Bytes(c.size, 0x42), c.deflated, c.deflated};
        const JarWalk jar = WalkJar(BuildJar(plan));
        ASSERT_EQ(jar.Walk.Verdict, WalkVerdict::Whole);
        EXPECT_EQ(jar.Midlet.Icon.size(), c.kept ? c.size : 0);
    }
}

// Headers whose extra fields step over the headers after them into one stream
// of data are no archive, and cost a few bytes each; entries of unknown size
// are not looked for when the search asks for no thoroughness.
TEST(WalkJar, SharedDataAndUnknownSizesCostLittle)
{
    for (const auto kind : {test_support::HostileKind::JarSharedInflate, test_support::HostileKind::JarSharedStored}) {
        const Bytes image = test_support::BuildHostileImage(kind, std::size_t{1} << 20);
        for (const std::size_t header : {std::size_t{0}, std::size_t{31 * 1000}}) {
            const WalkResult walk = WalkJar(std::span<const uint8_t>(image).subspan(header)).Walk;
            EXPECT_EQ(walk.Verdict, WalkVerdict::NoItem);
            EXPECT_LT(walk.Examined, 100);
        }
    }
    EXPECT_EQ(WalkJar(kGame, false).Walk.Verdict, WalkVerdict::NoItem);
    JarPlan sized = MidletPlan("Sized");
    for (JarFile& file : sized.files)
        file.descriptor = false;
    EXPECT_EQ(WalkJar(BuildJar(sized), false).Walk.Verdict, WalkVerdict::Whole);
}

}  // namespace
}  // namespace kestrix
