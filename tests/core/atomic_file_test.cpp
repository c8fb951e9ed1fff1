#include "atomic_file.h"
#include "exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace kestrix {
namespace {

namespace fs = std::filesystem;

class AtomicFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("kestrix-atomic-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        std::ofstream(m_dir / "older.bin") << "older";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Content(const std::string& name) const
    {
        std::ifstream in(m_dir / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path m_dir;
};

constexpr AtomicFile::Kind kKinds[] = {AtomicFile::Kind::Unnamed, AtomicFile::Kind::Named};

TEST_F(AtomicFiles, CommitGivesTheNameAndReplacesAnOlderFile)
{
    for (const AtomicFile::Kind kind : kKinds) {
        for (const char* name : {"new.bin", "older.bin"}) {
            const std::size_t before = Entries().size();
            AtomicFile file((m_dir / name).string(), kind);
            EXPECT_EQ(file.Unnamed(), kind == AtomicFile::Kind::Unnamed);
            file.WriteBuffer("fresh", 5);
            EXPECT_EQ(Entries().size(), before + (file.Unnamed() ? 0 : 1))
                << "only a named temporary file shows before the commit";
            file.Commit();
            EXPECT_EQ(Content(name), "fresh");
        }
        EXPECT_EQ(Entries(), (std::vector<std::string>{"new.bin", "older.bin"}));
        fs::remove(m_dir / "new.bin");
        std::ofstream(m_dir / "older.bin") << "older";
    }
}

TEST_F(AtomicFiles, WithoutCommitNothingIsLeft)
{
    for (const AtomicFile::Kind kind : kKinds) {
        {
            AtomicFile file((m_dir / "older.bin").string(), kind);
            file.WriteBuffer("half", 4);
        }
        EXPECT_EQ(Entries(), std::vector<std::string>{"older.bin"});
        EXPECT_EQ(Content("older.bin"), "older");
    }
}

// A child process writes part of a file and is then ended by a signal.
TEST_F(AtomicFiles, AnInterruptedWriteLeavesNoFile)
{
    const struct {
        const char* name;
        AtomicFile::Kind kind;
        int signal;
    } cases[] = {
        {"unnamed, SIGKILL", AtomicFile::Kind::Unnamed, SIGKILL},
        {"unnamed, SIGTERM", AtomicFile::Kind::Unnamed, SIGTERM},
        {"named, SIGINT", AtomicFile::Kind::Named, SIGINT},
        {"named, SIGTERM", AtomicFile::Kind::Named, SIGTERM},
        {"named, SIGHUP", AtomicFile::Kind::Named, SIGHUP},
    };
    for (const auto& c : cases) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            InstallInterruptCleanup();
            AtomicFile file((m_dir / "older.bin").string(), c.kind);
            const std::vector<char> bytes(229 * 1024, 'x');
            file.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
            std::raise(c.signal);
            ::_exit(3);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << c.name;
        EXPECT_EQ(Entries(), std::vector<std::string>{"older.bin"}) << c.name;
        EXPECT_EQ(Content("older.bin"), "older") << c.name;
    }
}

CommitStep gStopAt = CommitStep::Begin;
int gStopSignal = SIGKILL;

void StopAtStep(CommitStep step)
{
    if (step == gStopAt)
        std::raise(gStopSignal);
}

// A child gives a file its name and is ended by a signal at one step of the
// commit. The name then holds the old data or the new, whole; SIGKILL may leave
// the hidden file with the new data beside it, which the next save's sweep
// removes; a signal the program catches leaves nothing.
TEST_F(AtomicFiles, AKillAtEveryStepLeavesTheOldOrTheNewFileAndNothingTheSweepKeeps)
{
    constexpr CommitStep kSteps[] = {CommitStep::Begin, CommitStep::LinkedUnderTemporaryName, CommitStep::Closed,
                                     CommitStep::Renamed};
    for (const AtomicFile::Kind kind : kKinds) {
        const bool unnamed = AtomicFile((m_dir / "probe").string(), kind).Unnamed();
        for (const bool replacing : {true, false}) {
            for (const CommitStep step : kSteps) {
                for (const int signal : {SIGKILL, SIGTERM}) {
                    const std::string name = replacing ? "older.bin" : "new.bin";
                    const std::string what = std::string(unnamed ? "unnamed" : "named") + ", " + name + ", step " +
                                             std::to_string(static_cast<int>(step)) + ", signal " +
                                             std::to_string(signal);
                    const bool passed = step == CommitStep::Begin || step == CommitStep::Closed ||
                                        (step == CommitStep::LinkedUnderTemporaryName && unnamed && replacing) ||
                                        (step == CommitStep::Renamed && (!unnamed || replacing));
                    const bool newDataNamed =
                        !passed || step == CommitStep::Renamed || (step == CommitStep::Closed && unnamed && !replacing);
                    const pid_t child = ::fork();
                    ASSERT_GE(child, 0);
                    if (child == 0) {
                        InstallInterruptCleanup();
                        gStopAt = step;
                        gStopSignal = signal;
                        SetCommitStepHook(StopAtStep);
                        AtomicFile file((m_dir / name).string(), kind);
                        file.WriteBuffer("fresh", 5);
                        file.Commit();
                        ::_exit(0);
                    }
                    int status = 0;
                    ::waitpid(child, &status, 0);
                    EXPECT_EQ(WIFSIGNALED(status), passed) << what;
                    if (newDataNamed)
                        EXPECT_EQ(Content(name), "fresh") << what;
                    else if (replacing)
                        EXPECT_EQ(Content(name), "older") << what;
                    else
                        EXPECT_FALSE(fs::exists(m_dir / name)) << what;
                    for (const std::string& entry : Entries()) {
                        if (entry == "older.bin" || entry == name)
                            continue;
                        EXPECT_EQ(signal, SIGKILL) << what << ": " << entry << " left";
                        EXPECT_EQ(entry.rfind(".kestrix-", 0), 0u) << what << ": " << entry << " left";
                        EXPECT_EQ(Content(entry), "fresh") << what;
                    }
                    RemoveAbandonedTemporaries(m_dir.string());
                    std::vector<std::string> expected{"older.bin"};
                    if (!replacing && newDataNamed)
                        expected.insert(expected.begin(), name);
                    EXPECT_EQ(Entries(), expected) << what;
                    fs::remove(m_dir / "new.bin");
                    std::ofstream(m_dir / "older.bin") << "older";
                }
            }
        }
    }
}

// The sweep removes only what it can prove a dead writer of ours left: the
// right name, a regular file, our mark of that very name, no lock held, and no
// file the caller keeps. A user's file under such a name is never touched.
TEST_F(AtomicFiles, TheSweepRemovesOnlyAbandonedHiddenFilesItCanProveItsOwn)
{
    const struct {
        const char* name;
        const char* content;
        const char* mark;  // null: none
        bool removed;
    } cases[] = {
        {".kestrix-Abc123", "left", ".kestrix-Abc123", true},
        {".kestrix-empty0", "", ".kestrix-empty0", true},
        {".kestrix-Ab12Cd", "a user's image", nullptr, false},
        {".kestrix-Copy12", "a copy of ours", ".kestrix-Other1", false},
        {".kestrix-Kept12", "an image of the run", ".kestrix-Kept12", false},
        {".kestrix-toolong", "left", ".kestrix-toolong", false},
        {"kestrix-Abc123", "left", "kestrix-Abc123", false},
        {".kestrix-ab_cd1", "left", ".kestrix-ab_cd1", false},
    };
    for (const auto& c : cases) {
        std::ofstream(m_dir / c.name) << c.content;
        if (c.mark != nullptr)
            ASSERT_EQ(::setxattr((m_dir / c.name).c_str(), "user.kestrix.temporary", c.mark, std::strlen(c.mark), 0),
                      0);
    }
    fs::create_directory(m_dir / ".kestrix-Dir456");
    fs::create_symlink(m_dir / "older.bin", m_dir / ".kestrix-Lnk789");
    std::vector<std::string> expected = Entries();
    // A writer killed before it wrote a byte leaves an empty marked file.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        AtomicFile file((m_dir / "killed.bin").string(), AtomicFile::Kind::Named);
        ::raise(SIGKILL);
    }
    ::waitpid(child, nullptr, 0);
    const std::vector<std::string> after = Entries();
    std::vector<std::string> killed;
    std::set_difference(after.begin(), after.end(), expected.begin(), expected.end(), std::back_inserter(killed));
    ASSERT_EQ(killed.size(), 1u);
    EXPECT_EQ(fs::file_size(m_dir / killed[0]), 0u);
    // A write under way, in this process, holds its hidden file.
    AtomicFile living((m_dir / "older.bin").string(), AtomicFile::Kind::Named);
    living.WriteBuffer("fresh", 5);
    expected = Entries();
    expected.erase(std::find(expected.begin(), expected.end(), killed[0]));

    RemoveAbandonedTemporaries(m_dir.string(),
                               [](const std::string& path) { return path.ends_with("/.kestrix-Kept12"); });
    for (const auto& c : cases)
        if (c.removed)
            expected.erase(std::find(expected.begin(), expected.end(), c.name));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(), expected) << "the empty file of the killed writer is removed, the living write's stays";
    living.Commit();
    EXPECT_EQ(Content("older.bin"), "fresh");
    EXPECT_EQ(Content(".kestrix-Lnk789"), "fresh") << "the link is left as it is";
    char mark[64];
    EXPECT_LT(::getxattr((m_dir / "older.bin").c_str(), "user.kestrix.temporary", mark, sizeof(mark)), 0)
        << "a committed file carries no mark";
}

TEST_F(AtomicFiles, AMissingFolderIsACreateErrorNamingTheFile)
{
    for (const AtomicFile::Kind kind : kKinds) {
        const std::string path = (m_dir / "gone" / "x.bin").string();
        try {
            AtomicFile file(path, kind);
            ADD_FAILURE() << "no error";
        } catch (const FileCreateError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + path + "\". No such file or directory");
        }
    }
}

}  // namespace
}  // namespace kestrix
