#include "cli_run.h"
#include "cli_runner.h"
#include "code_page.h"
#include "flash_image_builder.h"
#include "jar_builders.h"
#include "picture_builders.h"
#include "sound_builders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <sys/xattr.h>
#include <vector>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;
using test_support::CliResult;
using test_support::Digest;
using test_support::FlashImageBuilder;
using test_support::Json;
using test_support::ReadFileBytes;
using test_support::RunCliWith;

// One item of each kind: a picture, a named sound, an application, a file.
class CliContent : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_image.Put(1001, m_gif)
            .PutFileEntry(3000, Utf8ToCp1251("Звонок.mid"), static_cast<uint32_t>(m_midi.size()),
                          test_support::AsText(m_midi))
            .Put(8003, m_jar)
            .PutFileEntry(20000, "notes.txt", 5, "hello");
        m_path = m_dir.filePath("content.bin");
        m_image.WriteTo(m_path.toStdString());
    }

    Bytes m_gif = test_support::BuildGif({});
    Bytes m_midi = test_support::BuildMidi({});
    Bytes m_jar = test_support::BuildJar(test_support::MidletPlan("Snake"));
    FlashImageBuilder m_image{32 * 1024, 0xFF};
    QTemporaryDir m_dir;
    QString m_path;
};

TEST_F(CliContent, JsonRowsCarryKindStatusEntryAndWhatEachKindTells)
{
    const CliResult result = RunCliWith({"content", m_path, "--json"});
    ASSERT_EQ(result.status, CliStatus::Ok) << result.err;
    const QJsonArray rows = Json(result.out)["rows"].toArray();
    ASSERT_EQ(rows.size(), 4);
    const struct {
        const char* caption;
        const char* kind;
        const char* type;
        int start;
        int size;
    } expected[] = {
        {"Картинка (1).gif", "picture", "gif", 1001, static_cast<int>(m_gif.size())},
        {"Звонок.mid", "sound", "mid", 3038, static_cast<int>(m_midi.size())},
        {"Приложение (1).jar", "application", "jar", 8003, static_cast<int>(m_jar.size())},
        {"notes.txt", "file", "txt", 20038, 5},
    };
    for (int i = 0; i < 4; ++i) {
        const QJsonObject row = rows[i].toObject();
        EXPECT_EQ(row["caption"].toString(), QString::fromUtf8(expected[i].caption));
        EXPECT_EQ(row["kind"].toString(), expected[i].kind);
        EXPECT_EQ(row["type"].toString(), expected[i].type);
        EXPECT_EQ(row["start"].toInt(), expected[i].start);
        EXPECT_EQ(row["end"].toInt(), expected[i].start + expected[i].size);
        EXPECT_EQ(row["size"].toInt(), expected[i].size);
    }
    // Each item's SHA-256 is that of the bytes it was built from.
    const Bytes items[] = {m_gif, m_midi, m_jar, Bytes{'h', 'e', 'l', 'l', 'o'}};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(rows[i].toObject()["sha256"].toString().toStdString(),
                  Digest(QByteArrayView(items[i].data(), static_cast<qsizetype>(items[i].size()))))
            << i;
    EXPECT_EQ(rows[0].toObject()["status"].toString(), "complete");
    EXPECT_EQ(rows[0].toObject()["width"].toInt(), 8);
    EXPECT_TRUE(rows[0].toObject()["entry"].isNull());
    EXPECT_EQ(rows[1].toObject()["entry"].toString(), QString::fromUtf8("Звонок.mid"));
    EXPECT_EQ(rows[1].toObject()["tracks"].toInt(), 2);
    EXPECT_GT(rows[1].toObject()["duration_ms"].toInt(), 0);
    EXPECT_EQ(rows[2].toObject()["midlet"].toObject()["name"].toString(), "Snake");
    EXPECT_EQ(rows[2].toObject()["midlet"].toObject()["icon"].toString(), "/icon.png");
    EXPECT_EQ(rows[3].toObject()["status"].toString(), "unchecked");
}

TEST_F(CliContent, KindsFilterTheRowsAndExtractionMakesAFolderPerKind)
{
    const QString out = m_dir.filePath("out");
    const CliResult result = RunCliWith({"content", m_path, "--json", "--kind", "sound,application", "--extract", out});
    ASSERT_EQ(result.status, CliStatus::Ok) << result.err;
    const QJsonObject json = Json(result.out);
    ASSERT_EQ(json["rows"].toArray().size(), 2);
    const QJsonArray written = json["written"].toArray();
    ASSERT_EQ(written.size(), 2);
    EXPECT_EQ(written[0].toObject()["file"].toString(), QString::fromUtf8("sounds/Звонок.mid"));
    EXPECT_EQ(written[1].toObject()["file"].toString(), QString::fromUtf8("applications/Приложение (1).jar"));
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), (QStringList{"applications", "sounds"}));
    EXPECT_EQ(ReadFileBytes((out + "/sounds/Звонок.mid").toStdString()), m_midi);
    EXPECT_EQ(ReadFileBytes((out + QString::fromUtf8("/applications/Приложение (1).jar")).toStdString()), m_jar);
}

TEST_F(CliContent, WavFilesGoBesideTheSounds)
{
    const QString out = m_dir.filePath("out");
    const CliResult result = RunCliWith({"content", m_path, "--json", "--kind", "sound", "--extract", out, "--wav"});
    ASSERT_EQ(result.status, CliStatus::Ok) << result.err;
    const QJsonObject json = Json(result.out);
    const QJsonArray written = json["written"].toArray();
    ASSERT_EQ(written.size(), 2);
    EXPECT_EQ(written[1].toObject()["file"].toString(), QString::fromUtf8("sounds/Звонок.mid.wav"));
    EXPECT_TRUE(json["no_wav"].toArray().isEmpty());
    const Bytes wav = ReadFileBytes((out + QString::fromUtf8("/sounds/Звонок.mid.wav")).toStdString());
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 12), "WAVE");
}

// Descriptor and manifest text is UTF-8 where valid, else Windows-1251, and
// the table shows what the JSON says.
TEST(CliContentText, TableAndJsonShowTheSameApplicationNames)
{
    const std::string jad = "MIDlet-Name: Змейка\r\nMIDlet-Vendor: Игры\r\nMIDlet-Jar-URL: s.jar\r\n";
    test_support::JarPlan plan = test_support::MidletPlan("x");
    plan.files[1].data = test_support::TextBytes(test_support::MidletManifest(Utf8ToCp1251("Змея"), "Co", "1.0", "/i"));
    const Bytes jar = test_support::BuildJar(plan);
    FlashImageBuilder image{16 * 1024, 0xFF};
    image.Put(100, jad).Put(4000, test_support::AsText(jar));
    QTemporaryDir dir;
    const QString path = dir.filePath("text.bin");
    image.WriteTo(path.toStdString());

    const CliResult json = RunCliWith({"content", path, "--json", "--kind", "application"});
    ASSERT_EQ(json.status, CliStatus::Ok) << json.err;
    const QJsonArray rows = Json(json.out)["rows"].toArray();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].toObject()["midlet"].toObject()["name"].toString(), QString::fromUtf8("Змейка"));
    EXPECT_EQ(rows[1].toObject()["midlet"].toObject()["name"].toString(), QString::fromUtf8("Змея"));
    const CliResult table = RunCliWith({"content", path, "--kind", "application"});
    ASSERT_EQ(table.status, CliStatus::Ok) << table.err;
    EXPECT_NE(table.out.find("Змейка, Игры"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("Змея, Co 1.0"), std::string::npos) << table.out;
}

// A descriptor's row names the archive it describes, here one cut by erased
// flash inside its entry: the descriptor stays complete and says so.
TEST(CliContentJar, DescriptorRowNamesItsArchiveInJsonAndTable)
{
    const Bytes jar = test_support::BuildJar(test_support::MidletPlan("Snake"));
    FlashImageBuilder image{32 * 1024, 0xFF};
    image
        .PutFileEntry(200, "Snake.jar", static_cast<uint32_t>(jar.size()),
                      test_support::AsText(jar).substr(0, jar.size() - 60))
        .Put(20000, test_support::MidletDescriptor("Snake", jar.size()));
    QTemporaryDir dir;
    const QString path = dir.filePath("jad.bin");
    image.WriteTo(path.toStdString());

    const CliResult json = RunCliWith({"content", path, "--json"});
    ASSERT_EQ(json.status, CliStatus::Ok) << json.err;
    const QJsonArray rows = Json(json.out)["rows"].toArray();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].toObject()["status"].toString(), "truncated");
    EXPECT_FALSE(rows[0].toObject().contains("jar"));
    const QJsonObject descriptor = rows[1].toObject();
    EXPECT_EQ(descriptor["status"].toString(), "complete");
    EXPECT_EQ(descriptor["detail"].toString(), QString::fromUtf8("его архив обрезан"));
    EXPECT_EQ(descriptor["jar"].toObject(), (QJsonObject{{"caption", "Snake.jar"}, {"start", 238}, {"cut", true}}));
    const CliResult table = RunCliWith({"content", path});
    ASSERT_EQ(table.status, CliStatus::Ok) << table.err;
    EXPECT_NE(table.out.find("jar: Snake.jar (cut)"), std::string::npos) << table.out;
}

TEST_F(CliContent, UsageErrors)
{
    const struct {
        QStringList arguments;
        std::string errContains;
    } cases[] = {
        {{"content", "x.bin", "--kind", "games"}, "Unknown kind 'games'"},
        {{"content", "x.bin", "--kind"}, "Missing value after '--kind'"},
        {{"content", "x.bin", "--kind", ","}, "Missing value after '--kind'"},
        {{"pictures", "x.bin", "--kind", "sound"}, "--kind goes with content"},
        {{"content", "x.bin", "--wav"}, "--wav goes with content and --extract"},
    };
    for (const auto& c : cases) {
        const CliResult result = RunCliWith(c.arguments);
        EXPECT_EQ(result.status, CliStatus::Usage) << result.err;
        EXPECT_NE(result.err.find(c.errContains), std::string::npos) << result.err;
    }
    EXPECT_NE(RunCliWith({"--help"}).out.find("content IMAGE"), std::string::npos);
}

// An empty word in --kind is passed over wherever it stands.
TEST_F(CliContent, KindsTakeEmptyWordsAlikeAtEitherEnd)
{
    const std::string plain = RunCliWith({"content", m_path, "--json", "--kind", "sound"}).out;
    for (const char* kinds : {"sound,", ",sound", ",,sound,"}) {
        const CliResult result = RunCliWith({"content", m_path, "--json", "--kind", kinds});
        EXPECT_EQ(result.status, CliStatus::Ok) << kinds << ": " << result.err;
        EXPECT_EQ(result.out, plain) << kinds;
    }
}

// The sweep of hidden files before a save never takes an image of the run,
// marked as ours or not, named like a hidden file, in the folder or a kind's.
TEST_F(CliContent, AnImageNamedLikeAHiddenTemporaryIsKept)
{
    const Bytes original = ReadFileBytes(m_path.toStdString());
    const struct {
        const char* command;
        const char* image;
        bool marked;
    } cases[] = {
        {"files", ".kestrix-Ab12Cd", false},           {"pictures", ".kestrix-Ab12Cd", false},
        {"content", ".kestrix-Ab12Cd", false},         {"content", "sounds/.kestrix-Ab12Cd", false},
        {"content", "pictures/.kestrix-Ab12Cd", true}, {"files", ".kestrix-Ab12Cd", true},
    };
    for (const auto& c : cases) {
        const QString out = m_dir.filePath(QStringLiteral("W%1%2").arg(c.command).arg(c.marked));
        const QString image = out + "/" + c.image;
        QDir().mkpath(QFileInfo(image).path());
        ASSERT_TRUE(QFile::copy(m_path, image));
        const bool marked = !c.marked || ::setxattr(QFile::encodeName(image).constData(), "user.kestrix.temporary",
                                                    ".kestrix-Ab12Cd", 15, 0) == 0;
        ASSERT_TRUE(marked);
        const CliResult result = RunCliWith({c.command, image, "--extract", out});
        EXPECT_EQ(result.status, CliStatus::Ok) << c.command << " " << c.image << ": " << result.err;
        EXPECT_EQ(ReadFileBytes(image.toStdString()), original) << c.command << " " << c.image;
    }
}

// An image whose folder cannot be made still gets its JSON line: its rows,
// each failed with the reason, and the run fails.
TEST_F(CliContent, EveryImageGetsItsJsonLineWhenItsFolderCannotBeMade)
{
    const QString blocker = m_dir.filePath("blocker");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    for (const char* command : {"files", "content"}) {
        const CliResult result = RunCliWith({command, m_path, m_path, "--json", "--extract", blocker});
        EXPECT_EQ(result.status, CliStatus::Failed) << command;
        const QStringList lines = QString::fromStdString(result.out).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << command << ": " << result.out;
        for (const QString& line : lines) {
            const QJsonObject object = test_support::JsonObject(line.toStdString());
            EXPECT_GT(object["rows"].toArray().size(), 0) << command;
            EXPECT_EQ(object["written"].toArray().size(), 0) << command;
            const QJsonArray failed = object["failed"].toArray();
            ASSERT_GT(failed.size(), 0) << command;
            EXPECT_TRUE(failed[0].toObject()["error"].toString().startsWith("cannot create the folder")) << command;
        }
        EXPECT_NE(result.err.find("cannot create the folder"), std::string::npos) << command;
    }
    // With no row to write, the line is still printed and the run still fails.
    const QString small = m_dir.filePath("small.bin");
    FlashImageBuilder(500, 0x00).WriteTo(small.toStdString());
    const CliResult empty = RunCliWith({"files", small, "--json", "--extract", blocker});
    EXPECT_EQ(empty.status, CliStatus::Failed);
    EXPECT_EQ(Json(empty.out)["rows"].toArray().size(), 0);
}

// Thousands of rows: their digests are worked out a batch at a time on
// several threads, batches finishing in any order, and each row still
// carries the digest of its own bytes.
TEST(CliContentDigests, EveryRowOfThousandsCarriesItsOwnDigest)
{
    constexpr int kGifs = 5000;
    FlashImageBuilder image(kGifs * 64 + 4096, 0x00);
    for (int k = 0; k < kGifs; ++k)
        image.Put(1024 + static_cast<std::size_t>(k) * 64,
                  test_support::BuildGif({.width = static_cast<uint16_t>(1 + k % 7), .height = 2}));
    QTemporaryDir dir;
    const QString path = dir.filePath("many.bin");
    image.WriteTo(path.toStdString());
    const CliResult result = RunCliWith({"content", path, "--json"});
    ASSERT_EQ(result.status, CliStatus::Ok) << result.err;
    const QJsonArray rows = Json(result.out)["rows"].toArray();
    ASSERT_EQ(rows.size(), kGifs);
    for (const QJsonValue& value : rows) {
        const QJsonObject row = value.toObject();
        const auto start = static_cast<qsizetype>(row["start"].toInt());
        const auto size = static_cast<qsizetype>(row["size"].toInt());
        const QByteArrayView bytes(image.Bytes().data() + start, size);
        ASSERT_EQ(row["sha256"].toString().toStdString(), Digest(bytes)) << start;
    }
}

}  // namespace
}  // namespace kestrix
