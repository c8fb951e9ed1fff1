#include "cli_arguments.h"
#include "cli_run.h"
#include "cli_runner.h"
#include "code_page.h"
#include "flash_image_builder.h"
#include "graphics_scan.h"
#include "picture_builders.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrix {
namespace {

using test_support::CliResult;
using test_support::FileDigest;
using test_support::FlashImageBuilder;
using test_support::Json;
using test_support::ReadFileBytes;
using test_support::RunCliWith;

class CliImages : public ::testing::Test {
protected:
    QString Write(const QString& name, const FlashImageBuilder& image)
    {
        const QString path = m_dir.filePath(name);
        image.WriteTo(path.toStdString());
        return path;
    }
    QTemporaryDir m_dir;
};

TEST_F(CliImages, InfoPrintsTheFiveFactsAsOneJsonObject)
{
    FlashImageBuilder image(9600000, 0x00);
    image.PutFact(test_support::kPdsFact, "ab.c");
    image.PutFact(test_support::kFirmwareVersionFact, "r3");
    image.Put(test_support::kPhoneModelFact.offset, std::string_view("V3\0x\x98\x05", 6));
    image.PutFact(test_support::kSerialNumberFact, Utf8ToCp1251("ЗН-1"));
    image.PutFact(test_support::kFlexVersionFact, "F\"1\\");
    const QString path = Write(QStringLiteral("образ с пробелом.bin"), image);

    const CliResult result = RunCliWith({"info", path, "--json"});
    EXPECT_EQ(result.status, CliStatus::Ok) << result.err;
    const std::string expected =
        "{\"image\": \"" + path.toStdString() +
        "\", \"size\": 9600000, \"info\": ["
        "{\"caption\": \"PDS\", \"value\": \"ABC\", \"length\": 3}, "
        "{\"caption\": \"Версия прошивки\", \"value\": \"R3\", \"length\": 2}, "
        "{\"caption\": \"Модель телефона\", \"value\": \"V3\\u0000x\xC2\x98\", \"length\": 5}, "
        "{\"caption\": \"Заводской номер\", \"value\": \"ЗН-1\", \"length\": 4}, "
        "{\"caption\": \"Версия Flex\", \"value\": \"F\\\"1\\\\\", \"length\": 4}], \"sha256\": \"" +
        FileDigest(path, QCryptographicHash::Sha256) + "\", \"md5\": \"" + FileDigest(path, QCryptographicHash::Md5) +
        "\"}\n";
    EXPECT_EQ(result.out, expected);
    Json(result.out);

    const CliResult plain = RunCliWith({"info", path});
    EXPECT_EQ(plain.status, CliStatus::Ok);
    EXPECT_NE(plain.out.find("Заводской номер  ЗН-1\n"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("V3\\x00x\\x98"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("\nMD5              " + FileDigest(path, QCryptographicHash::Md5) + "\n"),
              std::string::npos)
        << plain.out;
}

TEST_F(CliImages, InfoOfABlankImageShowsTheBeginningAndLengthOfEachFact)
{
    // No stop byte of the PDS (FFh) or of the phone model (05h) anywhere: both
    // run to the end of the image; the firmware version lies beyond it.
    const QString path = Write("blank.bin", FlashImageBuilder(4 * 1024 * 1024, 0x00));
    const QJsonArray info = Json(RunCliWith({"info", path, "--json"}).out)["info"].toArray();
    ASSERT_EQ(info.size(), 5);
    const struct {
        QString value;
        QJsonValue length;
    } expected[] = {
        {QString(4096, QChar(u'\0')), 4 * 1024 * 1024 - 102976},
        {QStringLiteral("Неизвестно"), QJsonValue::Null},
        {QString(4096, QChar(u'\0')), 4 * 1024 * 1024 - 82451},
        {QString(), 0},
        {QString(), 0},
    };
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(info[i].toObject()["value"].toString(), expected[i].value) << i;
        EXPECT_EQ(info[i].toObject()["length"], expected[i].length) << i;
    }

    const CliResult plain = RunCliWith({"info", path});
    const std::string zeros = [] {
        std::string text;
        for (int i = 0; i < 4096; ++i)
            text += "\\x00";
        return text;
    }();
    EXPECT_NE(plain.out.find("PDS              " + zeros + "… (4091328 bytes)\n"), std::string::npos);
    EXPECT_NE(plain.out.find("Заводской номер  \n"), std::string::npos);
    EXPECT_LT(plain.out.size(), 40000u);
}

TEST_F(CliImages, ExitStatusesAndMessages)
{
    FlashImageBuilder image(500, 0x00);
    const QString small = Write("small.bin", image);
    const QString missing = m_dir.filePath("missing.bin");
    const struct {
        const char* name;
        QStringList arguments;
        CliStatus status;
        std::string errContains;
    } cases[] = {
        {"no arguments", {}, CliStatus::Usage, "missing command"},
        {"unknown command", {"list", small}, CliStatus::Usage, "unknown command 'list'"},
        {"missing image", {"info"}, CliStatus::Usage, "missing image"},
        {"jobs zero", {"info", small, "--jobs", "0"}, CliStatus::Usage, "--jobs takes a whole number"},
        {"jobs not a number", {"info", small, "--jobs=two"}, CliStatus::Usage, "--jobs takes a whole number"},
        {"jobs beyond an int", {"info", small, "--jobs", "99999999999"}, CliStatus::Ok, ""},
        {"flag with a value", {"info", small, "--json=yes"}, CliStatus::Usage, "Unknown option 'json'"},
        {"extract without folder", {"files", small, "--extract"}, CliStatus::Usage, "Missing value after '--extract'"},
        {"unknown option", {"info", small, "--fast"}, CliStatus::Usage, "Unknown option 'fast'"},
        {"extract with info", {"info", small, "--extract", m_dir.path()}, CliStatus::Usage, "--extract"},
        {"missing file",
         {"info", missing},
         CliStatus::Failed,
         "kestrix-cli: cannot read " + missing.toStdString() + ": No such file or directory\n"},
        {"folder", {"files", m_dir.path()}, CliStatus::Failed, m_dir.path().toStdString() + ": it is a folder\n"},
        {"small image", {"files", small, "--json"}, CliStatus::Ok, "1000 bytes or less"},
        {"help", {"--help"}, CliStatus::Ok, ""},
        {"version", {"--version"}, CliStatus::Ok, ""},
    };
    for (const auto& c : cases) {
        const CliResult result = RunCliWith(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.name << ": " << result.err;
        EXPECT_NE(result.err.find(c.errContains), std::string::npos) << c.name << ": " << result.err;
    }
    EXPECT_EQ(Json(RunCliWith({"graphics", small, "--json"}).out)["rows"].toArray().size(), 0);
    EXPECT_NE(RunCliWith({"--help"}).out.find("graphics IMAGE"), std::string::npos);
}

// --help is made from the tables: every command and option, each with its
// text starting in one column.
TEST(CliHelp, ShowsEveryCommandAndOptionOfTheTablesInOneColumn)
{
    const std::string help = RunCliWith({"--help"}).out;
    std::vector<std::string> labels;
    for (const CliCommand& command : CliCommands())
        labels.push_back(CliCommandLabel(command));
    for (const CliOption& option : CliOptions())
        labels.push_back((option.Short != 0 ? std::string("-") + option.Short + ", " : std::string()) + "--" +
                         std::string(option.Long) + (option.Value.empty() ? "" : " " + std::string(option.Value)));
    EXPECT_EQ(labels.size(), 17u);
    for (const std::string& label : labels) {
        const std::size_t at = help.find("\n  " + label);
        ASSERT_NE(at, std::string::npos) << label;
        // A label too long for the column has its text on the next line.
        const std::size_t text = help.find_first_not_of(" \n", at + 3 + label.size());
        EXPECT_EQ(text - help.rfind('\n', text) - 1, 23u) << label;
    }
    EXPECT_NE(help.find("\n  map IMAGE --png FILE [--width N]\n" + std::string(23, ' ') + "draw the map"),
              std::string::npos);
    EXPECT_EQ(CliSynopsis(CliCommands()[CliCommands().size() - 3]),
              "content IMAGE... [--json] [--kind KIND,...] [--extract DIR [--wav]] [--jobs N]");
    EXPECT_EQ(CliSynopsis(CliCommands()[CliCommands().size() - 2]), "report IMAGE... [--json] --out DIR [--jobs N]");
    EXPECT_EQ(CliSynopsis(CliCommands().back()), "map IMAGE --png FILE [--width N]");
    EXPECT_EQ(CliSynopsis(CliCommands().front()), "info IMAGE... [--json] [--jobs N]");
}

// An image that cannot be read is named, with what is wrong with it, on one line.
TEST_F(CliImages, LoadFailuresNameTheFileAndTheCause)
{
    const std::string fifo = m_dir.filePath("fifo.bin").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Sparse: it takes no room on the disk and is refused before it is read.
    const std::string huge = m_dir.filePath("huge.bin").toStdString();
    std::ofstream(huge).close();
    ASSERT_EQ(::truncate(huge.c_str(), int64_t{2} << 30), 0);
    // A system file that claims 4096 bytes and gives fewer, as a file that shrinks does.
    const std::string system = "/sys/kernel/mm/transparent_hugepage/enabled";
    const std::string broken = m_dir.filePath("a\nkestrix-cli: fake.bin").toStdString();
    const struct {
        const char* name;
        std::string path;
        std::string err;
    } cases[] = {
        {"FIFO", fifo,
         "kestrix-cli: cannot read " + fifo +
             ": it is a FIFO, pipe or socket, whose size is not known before it is read; only files and block "
             "devices can be read\n"},
        {"2 GiB", huge,
         "kestrix-cli: cannot read " + huge +
             ": it has 2147483648 bytes; images of 2 GiB (2147483648 bytes) or more cannot be read\n"},
        {"sysfs", system,
         "kestrix-cli: cannot read " + system +
             ": it gave fewer bytes than its size of 4096 bytes: it shrank while it was read, or it is a system file "
             "whose size is not its length\n"},
        {"line break in the path", broken,
         "kestrix-cli: cannot read " + m_dir.path().toStdString() +
             "/a\\x0Akestrix-cli: fake.bin: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        if (!std::filesystem::exists(c.path) && c.path == system)
            continue;
        for (const char* jobs : {"1", "2"}) {
            const CliResult result = test_support::RunCliWithBytes({"info", c.path, "--jobs", jobs});
            EXPECT_EQ(result.status, CliStatus::Failed) << c.name;
            EXPECT_EQ(result.err, c.err) << c.name;
        }
    }
}

TEST_F(CliImages, FilesListsAndExtractsEntriesAndGoesOnPastAFailedRow)
{
    FlashImageBuilder image(64 * 1024, 0xFF);
    image.PutFileEntry(1000, "first.txt", 10, "0123456789");
    image.PutFileEntry(3000, "../escape", 5, "EVIL!");
    image.PutFileEntry(5000, "blocked", 3, "abc");
    image.PutFileEntry(7000, Utf8ToCp1251("Звонок.amr"), 4, "ring");
    image.PutFileEntry(9000, "large.bin", 100000);
    const QString path = Write("entries.bin", image);
    const QString out = m_dir.filePath("out");
    QDir().mkpath(out + "/blocked");  // a folder where a file should go: that row fails

    const CliResult result = RunCliWith({"files", path, "--json", "--extract", out});
    EXPECT_EQ(result.status, CliStatus::Failed);
    EXPECT_NE(result.err.find("row 2 (blocked)"), std::string::npos) << result.err;
    const QJsonObject json = Json(result.out);
    const QJsonArray rows = json["rows"].toArray();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0].toObject()["caption"].toString(), "first.txt");
    EXPECT_EQ(rows[0].toObject()["type"].toString(), "txt");
    EXPECT_EQ(rows[0].toObject()["start"].toInt(), 1038);
    EXPECT_EQ(rows[0].toObject()["end"].toInt(), 1048);
    EXPECT_TRUE(rows[4].toObject()["end"].isNull());
    EXPECT_EQ(rows[4].toObject()["size"].toInt(), 100000);

    const QJsonArray written = json["written"].toArray();
    const QJsonArray failed = json["failed"].toArray();
    ASSERT_EQ(written.size(), 3);
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0].toObject()["row"].toInt(), 2);
    EXPECT_EQ(written[1].toObject()["file"].toString(), "_.._escape");
    EXPECT_EQ(written[2].toObject()["file"].toString(), "Звонок.amr");

    const auto bytes = image.Bytes();
    EXPECT_EQ(ReadFileBytes((out + "/first.txt").toStdString()),
              std::vector<uint8_t>(bytes.begin() + 1038, bytes.begin() + 1048));
    EXPECT_EQ(ReadFileBytes((out + "/_.._escape").toStdString()),
              std::vector<uint8_t>(bytes.begin() + 3038, bytes.begin() + 3043));
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), 3) << "no temporary file is left behind";
    EXPECT_FALSE(QFile::exists(m_dir.filePath("escape")));
}

TEST_F(CliImages, HostileEntryNamesStayInsideTheFolder)
{
    const struct {
        std::string name;  // as stored in the image
        QString file;      // as written
    } cases[] = {
        {"../../up", "_.._.._up"},
        {"/etc/passwd", "_etc_passwd"},
        {"..", "_.."},
        {".", "_."},
        {"a\\b", "a_b"},
        {"tab\there", "tab_here"},
        {"\x01\x1F\x7F\x98", "____"},
        {".bashrc", "_.bashrc"},
    };
    FlashImageBuilder image(32 * 1024, 0xFF);
    std::size_t h = 1000;
    for (const auto& c : cases) {
        image.PutFileEntry(h, c.name, 4, "data");
        h += 2000;
    }
    const QString out = m_dir.filePath("deep/inside");
    const CliResult result = RunCliWith({"files", Write("hostile.bin", image), "--extract", out});
    EXPECT_EQ(result.status, CliStatus::Ok) << result.err;
    QStringList expected;
    for (const auto& c : cases)
        expected << c.file;
    expected.sort();
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "only the image";
    EXPECT_EQ(QDir(m_dir.filePath("deep")).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

TEST_F(CliImages, ExtractKeepsEveryEntryButNeverReplacesTheImage)
{
    // Saved into the image's own folder: one entry bears the image's name, three
    // distinct names clean to one.
    FlashImageBuilder image(16 * 1024, 0xFF);
    image.PutFileEntry(1000, "a/b.txt", 3, "one");
    image.PutFileEntry(3000, "phone.bin", 4, "evil");
    image.PutFileEntry(5000, "a\\b.txt", 3, "two");
    image.PutFileEntry(7000, "a_b.txt", 5, "three");
    const QString path = Write("phone.bin", image);

    const CliResult result = RunCliWith({"files", path, "--json", "--extract", m_dir.path()});
    EXPECT_EQ(result.status, CliStatus::Failed);
    EXPECT_EQ(result.err, "kestrix-cli: row 1 (phone.bin): Cannot replace the open image \"" +
                              m_dir.filePath("phone.bin").toStdString() + "\"\n");
    EXPECT_EQ(ReadFileBytes(path.toStdString()), image.Bytes());
    const QJsonObject json = Json(result.out);
    EXPECT_EQ(json["failed"].toArray().size(), 1);
    const auto text = [](const char* bytes) { return std::vector<uint8_t>(bytes, bytes + std::strlen(bytes)); };
    EXPECT_EQ(ReadFileBytes(m_dir.filePath("a_b.txt").toStdString()), text("one"));
    EXPECT_EQ(ReadFileBytes(m_dir.filePath("a_b (2).txt").toStdString()), text("two"));
    EXPECT_EQ(ReadFileBytes(m_dir.filePath("a_b (3).txt").toStdString()), text("three"));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

// The second image's entry would land on the first image: no image of the run
// is replaced by another's extraction.
TEST_F(CliImages, NoImageOfTheRunIsReplacedByAnotherImagesExtraction)
{
    FlashImageBuilder first(8192, 0xFF);
    first.PutFileEntry(1000, "note.txt", 4, "data");
    FlashImageBuilder second(8192, 0xFF);
    second.PutFileEntry(1000, "a.bin", 4, "evil");
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("out/b.bin") && QDir(m_dir.path()).mkpath("src"));
    const QString a = Write("out/b.bin/a.bin", first);
    const QString b = Write("src/b.bin", second);
    const QString out = m_dir.filePath("out");

    for (const char* jobs : {"1", "2"}) {
        const CliResult result = RunCliWith({"files", a, b, "--extract", out, "--jobs", jobs});
        EXPECT_EQ(result.status, CliStatus::Failed) << jobs;
        EXPECT_EQ(result.err, "kestrix-cli: row 0 (a.bin): Cannot replace the open image \"" + a.toStdString() + "\"\n")
            << jobs;
        EXPECT_EQ(ReadFileBytes(a.toStdString()), first.Bytes()) << jobs;
        EXPECT_TRUE(QFile::exists(out + "/a.bin/note.txt")) << jobs;
    }
}

TEST_F(CliImages, GraphicsExtractWritesEveryPicture)
{
    FlashImageBuilder image(9568256 + 200000, 0x00);
    const auto gif = test_support::BuildGif({.height = 8});
    image.Put(9568256 + 1000, gif);
    image.Put(9568256 + 5000, gif);
    const auto bmp = test_support::BuildBmp(test_support::SmallBmpPlan(16, 8));
    image.Put(50000, bmp);
    const QString path = Write("pictures.bin", image);
    const QString out = m_dir.filePath("pictures");

    const CliResult result = RunCliWith({"graphics", path, "--extract", out});
    EXPECT_EQ(result.status, CliStatus::Ok) << result.err;
    EXPECT_NE(result.out.find("written: 3, failed: 0"), std::string::npos) << result.out;
    const std::vector<uint8_t> gifBytes(gif.begin(), gif.end());
    EXPECT_EQ(ReadFileBytes((out + "/Файл (1).gif").toStdString()), gifBytes);
    EXPECT_EQ(ReadFileBytes((out + "/Файл (2).bmp").toStdString()).size(), bmp.size());
}

// Bytes of address space the process has mapped.
uint64_t MappedBytes()
{
    uint64_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    return pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

TEST_F(CliImages, RunningOutOfMemoryEndsWithAMessage)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer maps more than an address space limit leaves";
#endif
    // "GIF89a" back to back above the GIF pass start: a row every 6 bytes, more
    // rows than the limit below leaves room for once the image is loaded.
    constexpr std::size_t kDense = 8 * 1024 * 1024;
    FlashImageBuilder image(static_cast<std::size_t>(kGifPassStart) + kDense, 0x00);
    for (std::size_t at = kGifPassStart; at + 6 <= image.Bytes().size(); at += 6)
        image.Put(at, "GIF89a");
    const QString path = Write("dense.bin", image);

    // In a fresh process of this program ("threadsafe" runs the statement in a
    // re-executed copy): what earlier tests left mapped and free in this one
    // would otherwise make room the limit does not count.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto runLimited = [&path] {
        const rlimit limit{MappedBytes() + 40 * 1024 * 1024, RLIM_INFINITY};
        ::setrlimit(RLIMIT_AS, &limit);
        const CliResult result = RunCliWith({"graphics", path});
        const bool told = result.err == "kestrix-cli: Out of memory\n";
        std::fprintf(stderr, "%s", told ? "" : result.err.c_str());
        ::_exit(result.status == CliStatus::Failed && told ? 0 : 3);
    };
    EXPECT_EXIT(runLimited(), ::testing::ExitedWithCode(0), "^$") << "no out-of-memory failure reported";
}

}  // namespace
}  // namespace kestrix
