#include "atomic_file.h"
#include "exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
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

TEST_F(AtomicFiles, AMissingFolderIsACreateErrorNamingTheFile)
{
    for (const AtomicFile::Kind kind : kKinds) {
        const std::string path = (m_dir / "gone" / "x.bin").string();
        try {
            AtomicFile file(path, kind);
            ADD_FAILURE() << "no error";
        } catch (const EFCreateError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + path + "\". No such file or directory");
        }
    }
}

}  // namespace
}  // namespace kestrix
