#include "batch_runner.h"
#include "cli_run.h"
#include "cli_runner.h"
#include "flash_image_builder.h"
#include "terminal_text.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace kestrix {
namespace {

using test_support::CliResult;
using test_support::FlashImageBuilder;
using test_support::JsonObject;
using test_support::RunCliWithBytes;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class Batch : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const FlashImageBuilder& image)
    {
        const std::string path = m_dir.filePath(QString::fromStdString(name)).toStdString();
        image.WriteTo(path);
        return path;
    }
    std::string Path(const std::string& name) const
    {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }

    QTemporaryDir m_dir;
};

TEST_F(Batch, JsonLinesInTheOrderGivenWithAFailingImageAmongGoodOnes)
{
    std::vector<std::string> images;
    for (int k = 0; k < 6; ++k) {
        FlashImageBuilder image(4096 + 1000 * k, 0xFF);
        image.PutFileEntry(1000, QStringLiteral("f%1.txt").arg(k).toStdString(), 3, "abc");
        images.push_back(Write(QStringLiteral("image%1.bin").arg(k).toStdString(), image));
    }
    images.insert(images.begin() + 2, Path("missing.bin"));
    for (const char* jobs : {"1", "3", "8"}) {
        std::vector<std::string> arguments{"files", "--json", "--jobs", jobs};
        arguments.insert(arguments.end(), images.begin(), images.end());
        const CliResult run = RunCliWithBytes(arguments);
        EXPECT_EQ(run.status, CliStatus::Failed) << jobs;
        EXPECT_EQ(run.err, "kestrix-cli: cannot read " + Path("missing.bin") + ": No such file or directory\n");
        const std::vector<std::string> lines = Lines(run.out);
        ASSERT_EQ(lines.size(), images.size()) << jobs << run.out;
        for (std::size_t k = 0; k < images.size(); ++k) {
            const QJsonObject object = JsonObject(lines[k]);
            EXPECT_EQ(object["image"].toString().toStdString(), images[k]) << jobs;
            if (k == 2)
                EXPECT_EQ(object["error"].toString().toStdString(),
                          "cannot read " + Path("missing.bin") + ": No such file or directory");
            else
                EXPECT_EQ(object["rows"].toArray().size(), 1) << lines[k];
        }
    }
}

TEST_F(Batch, PlainOutputHasAHeaderPerImageAndOneImageHasNone)
{
    FlashImageBuilder image(4096, 0x00);
    const std::string a = Write("a.bin", image);
    const std::string b = Write("b.bin", image);
    const CliResult two = RunCliWithBytes({"info", a, b});
    EXPECT_EQ(two.status, CliStatus::Ok) << two.err;
    const std::size_t first = two.out.find("==> " + a + " <==\n");
    const std::size_t second = two.out.find("==> " + b + " <==\n");
    EXPECT_EQ(first, 0u) << two.out;
    EXPECT_NE(second, std::string::npos);
    EXPECT_EQ(RunCliWithBytes({"info", a}).out.find("==>"), std::string::npos);
}

// Whatever the jobs, an image's messages come where they were written: a load
// error after its header, a row's failure before its table.
TEST_F(Batch, EachImagesMessagesKeepTheirPlaceAmongItsOutput)
{
    FlashImageBuilder image(8192, 0xFF);
    image.PutFileEntry(1000, "note.txt", 4, "data");
    image.PutFileEntry(3000, "a.bin", 4, "evil");
    // Its entry a.bin would land on the image itself: a row that fails.
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("out/a.bin"));
    const std::string a = Write("out/a.bin/a.bin", image);
    const std::string missing = Path("missing.bin");
    std::string expected;
    for (const char* jobs : {"1", "2", "3"}) {
        std::ostringstream both;
        const std::vector<std::string> arguments{"kestrix-cli", "files", a,           missing,    a,
                                                 "--jobs",      jobs,    "--extract", Path("out")};
        EXPECT_EQ(RunCli(arguments, both, both), CliStatus::Failed);
        const std::string text = both.str();
        const std::size_t header = text.find("==> " + missing + " <==\n");
        EXPECT_EQ(text.find("kestrix-cli: cannot read " + missing), header + missing.size() + 9) << text;
        EXPECT_LT(text.find("kestrix-cli: row 1 (a.bin)"), text.find("0  note.txt")) << text;
        if (expected.empty())
            expected = text;
        EXPECT_EQ(text, expected) << jobs;
    }
}

TEST_F(Batch, ExtractsEachImageIntoAFolderOfItsName)
{
    FlashImageBuilder image(8192, 0xFF);
    image.PutFileEntry(1000, "note.txt", 4, "data");
    QDir(m_dir.path()).mkpath("other");
    const std::string a = Write("dump.bin", image);
    const std::string b = Write("other/dump.bin", image);
    const std::string out = Path("out");
    const CliResult run = RunCliWithBytes({"files", a, b, "--extract", out});
    EXPECT_EQ(run.status, CliStatus::Ok) << run.err;
    EXPECT_TRUE(QFile::exists(QString::fromStdString(out + "/dump.bin/note.txt")));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(out + "/dump.bin (2)/note.txt")));
}

TEST(BatchRunner, RunsAtMostJobsAtOnceAndPrintsInOrder)
{
    std::vector<std::string> images(12);
    std::atomic<int> running = 0;
    std::atomic<int> most = 0;
    auto run = [&](std::size_t index, const std::string&, std::ostream& out, std::ostream& err) {
        const int now = ++running;
        for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        // Later images finish first, so the order is the printer's work.
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * (12 - static_cast<int>(index))));
        --running;
        out << index << '\n';
        err << 'e' << index << '\n';
        return index == 5 ? 1 : 0;
    };
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunImagesInOrder(images, 3, run, out, err), 1);
    EXPECT_LE(most.load(), 3);
    std::string expected;
    for (int k = 0; k < 12; ++k)
        expected += std::to_string(k) + "\n";
    EXPECT_EQ(out.str(), expected);
}

// A system that refuses threads (a small address space, --jobs 1000) leaves
// fewer workers, or none, doing the same work in the same order.
TEST(BatchRunner, RefusedThreadsLeaveFewerWorkersAndTheSameOutput)
{
    const std::vector<std::string> images(7);
    const auto run = [](std::size_t index, const std::string&, std::ostream& out, std::ostream&) {
        out << index << '\n';
        return index == 3 ? 1 : 0;
    };
    for (const int allowed : {0, 1, 2}) {
        int started = 0;
        const WorkerStarter start = [&](std::function<void()> work) {
            if (started == allowed)
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            ++started;
            return std::thread(std::move(work));
        };
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunImagesInOrder(images, 1000, run, out, err, start), 1) << allowed;
        EXPECT_EQ(out.str(), "0\n1\n2\n3\n4\n5\n6\n") << allowed;
        EXPECT_EQ(err.str(), "") << allowed;
    }
}

TEST(BatchRunner, NoMoreWorkersThanJobsImagesOrTwiceTheCores)
{
    const struct {
        int jobs;
        std::size_t images;
        unsigned cores;
        std::size_t workers;
    } cases[] = {
        {1000, 1000, 2, 4}, {1000, 3, 64, 3}, {3, 1000, 64, 3}, {1000, 1000, 0, 2}, {1, 5, 8, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UsefulWorkers(c.jobs, c.images, c.cores), c.workers) << c.jobs << " " << c.images << " " << c.cores;
}

TEST(BatchRunner, FolderNamesAreTheImagesFileNamesMadeUniqueAndNotHidden)
{
    EXPECT_EQ(ImageFolderNames({"a/x.bin", "b/x.bin", "x.bin", "y/", "/", "..", "w/.kestrix-Ab12Cd", "_.kestrix-Ab12Cd",
                                "x.bin (2)"}),
              (std::vector<std::string>{"x.bin", "x.bin (2)", "x.bin (3)", "y", "image", "image (2)",
                                        "_.kestrix-Ab12Cd", "_.kestrix-Ab12Cd (2)", "x.bin (2) (2)"}));
    const std::vector<std::string> many = ImageFolderNames(std::vector<std::string>(20000, "d/x.bin"));
    EXPECT_EQ(many.back(), "x.bin (20000)");
    EXPECT_EQ(std::set<std::string>(many.begin(), many.end()).size(), many.size());
}

TEST(TerminalText, EscapesControlsAndBytesThatAreNotUtf8)
{
    const struct {
        const char* name;
        std::string bytes;
        std::string terminal;
        std::string shown;
    } cases[] = {
        {"plain", "dump.bin", "dump.bin", "dump.bin"},
        {"cyrillic", "образ.bin", "образ.bin", "образ.bin"},
        {"escape sequence", "\x1B[31mred", "\\x1B[31mred", "\x1B[31mred"},
        {"windows-1251", "\xEE\xE1\xF0\xE0\xE7", "\\xEE\\xE1\\xF0\\xE0\\xE7",
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"C1 control U+0098", "a\xC2\x98z", "a\\xC2\\x98z", "a\xC2\x98z"},
        {"line break", "a\nb", "a\\x0Ab", "a\nb"},
        {"overlong slash", "\xC0\xAF", "\\xC0\\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"cut sequence", "\xD0", "\\xD0", "\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TerminalText(c.bytes), c.terminal) << c.name;
        EXPECT_EQ(ShownText(c.bytes), c.shown) << c.name;
    }
    EXPECT_EQ(TerminalText("a\nb", true), "a\nb");
}

// The real program, for what only a process shows: bytes of argv and a failing stdout.
class Program : public Batch {
protected:
    static QString Cli() { return QStringLiteral(KESTRIX_CLI_PATH); }
};

TEST_F(Program, Windows1251PathsAreOpenedAndCreatedByTheirBytes)
{
    FlashImageBuilder image(8192, 0xFF);
    image.PutFileEntry(1000, "note.txt", 4, "data");
    image.WriteTo(QFile::encodeName(m_dir.path()).toStdString() + "/\xEE\xE1\xF0\xE0\xE7.bin");  // "образ.bin"
    // The shell makes the argument bytes itself, so no text encoding stands between.
    QProcess process;
    process.start("/bin/sh", {"-c",
                              "exec \"$0\" files \"$(printf '%s/\\356\\341\\360\\340\\347.bin' \"$1\")\" "
                              "--extract \"$(printf '%s/\\357\\340\\357\\352\\340' \"$1\")\"",
                              Cli(), m_dir.path()});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(
        std::filesystem::exists(QFile::encodeName(m_dir.path()).toStdString() + "/\xEF\xE0\xEF\xEA\xE0/note.txt"))
        << "the folder is created under the bytes given (\"папка\" in Windows-1251)";

    process.start("/bin/sh",
                  {"-c", "exec \"$0\" info \"$(printf '%s/\\033[31m\\356.bin' \"$1\")\"", Cli(), m_dir.path()});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QByteArray err = process.readAllStandardError();
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_NE(err.indexOf("\\x1B[31m\\xEE.bin"), -1) << err.toStdString();
    EXPECT_EQ(err.indexOf('\x1B'), -1) << "no control byte reaches the terminal";
}

// A pipe whose reader has gone: the write fails and the program says so with
// status 1 instead of dying of SIGPIPE.
TEST_F(Program, AClosedPipeEndsWithStatusOne)
{
    FlashImageBuilder image(4096, 0x00);
    const std::string path = Write("a.bin", image);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    ::close(pipeEnds[0]);
    int errEnds[2];
    ASSERT_EQ(::pipe(errEnds), 0);
    const std::string program = Cli().toStdString();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGPIPE, SIG_DFL);
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::dup2(errEnds[1], STDERR_FILENO);
        ::execl(program.c_str(), program.c_str(), "files", path.c_str(), "--json", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    ::close(errEnds[1]);
    std::string err;
    char chunk[256];
    for (ssize_t n; (n = ::read(errEnds[0], chunk, sizeof chunk)) > 0;)
        err.append(chunk, static_cast<std::size_t>(n));
    ::close(errEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(err, "kestrix-cli: the output could not be written\n");
}

TEST_F(Program, OutputThatCannotBeWrittenFails)
{
    FlashImageBuilder image(4096, 0x00);
    const std::string path = Write("a.bin", image);
    for (const char* redirect : {">/dev/full", ">&-"}) {
        QProcess process;
        process.start("/bin/sh", {"-c", "exec \"$0\" files \"$1\" --json " + QString::fromLatin1(redirect), Cli(),
                                  QString::fromStdString(path)});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 1) << redirect;
        EXPECT_NE(process.readAllStandardError().indexOf("output could not be written"), -1) << redirect;
    }
}

}  // namespace
}  // namespace kestrix
