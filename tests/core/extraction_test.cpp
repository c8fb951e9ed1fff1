#include "code_page.h"
#include "custom_hex_buffer.h"
#include "exceptions.h"
#include "extraction.h"
#include "flash_image_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

namespace kestrix {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;

TResultRow Row(const std::string& caption, const std::string& type, const std::string& start,
               const std::string& end)
{
    return {caption, {type, start, end, ""}, kFileRowIcon};
}

TEST(SafeFileName, KeepsEveryNameInsideItsFolder)
{
    const struct {
        std::string caption;  // Windows-1251
        std::string expected;  // UTF-8
    } cases[] = {
        {"readme.txt", "readme.txt"},
        {Utf8ToCp1251("Файл (3).gif"), "Файл (3).gif"},
        {"../../.bashrc", ".._.._.bashrc"},
        {"/etc/x", "_etc_x"},
        {"a\\b", "a_b"},
        {std::string("nul\0in\x01side\x1F\x7F", 13), "nul_in_side__"},
        {"", "_"},
        {".", "_."},
        {"..", "_.."},
        {"...", "..."},
        {"\x98", "\xC2\x98"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SafeFileName(c.caption), c.expected) << c.expected;
}

TEST(PlanExtraction, FiltersRowsByPage)
{
    const std::vector<TResultRow> rows = {
        Row("first.txt", "txt", "100", "110"),
        Row("big.bin", "bin", "200", ""),
        Row("", "gif", "300", "320"),
        Row("x/y", "c", "400", "401"),
    };
    const auto files = PlanExtraction(spFiles, rows);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].Row, 0);
    EXPECT_EQ(files[1].FileName, "_");
    EXPECT_EQ(files[2].FileName, "x_y");
    EXPECT_EQ(files[2].StartText, "400");

    const auto pictures = PlanExtraction(spGraphics, rows);
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_EQ(pictures[0].FileName, "first.txt.txt");
    EXPECT_EQ(pictures[1].FileName, "big.bin.bin");
    EXPECT_EQ(pictures[2].Row, 3);

    const auto selected = PlanExtraction(spFiles, rows, {false, true, true, true});
    ASSERT_EQ(selected.size(), 2u);
    EXPECT_EQ(selected[0].Row, 2);
}

class ExtractionFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("kestrix-extract-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        std::vector<uint8_t> bytes(300000);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i % 253);
        m_image = bytes;
        m_buffer.LoadFromBytes(bytes);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void Plant(const std::string& name, const std::string& content)
    {
        std::ofstream(m_dir / name, std::ios::binary) << content;
    }
    std::string Content(const std::string& name)
    {
        const auto bytes = ReadFileBytes((m_dir / name).string());
        return {bytes.begin(), bytes.end()};
    }
    std::vector<std::string> Entries()
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_dir;
    std::vector<uint8_t> m_image;
    THexBuffer m_buffer;
};

TEST_F(ExtractionFiles, WritesTheRowsRangeAndReplacesAnOlderFile)
{
    Plant("a.bin", "old content");
    const std::string path = ExtractToFolder(m_buffer, m_dir.string(), {0, "a.bin", "70000", "200000"});
    EXPECT_EQ(path, (m_dir / "a.bin").string());
    const auto written = ReadFileBytes(path);
    EXPECT_EQ(written, std::vector<uint8_t>(m_image.begin() + 70000, m_image.begin() + 200000));
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.bin"});
}

TEST_F(ExtractionFiles, AFailedRowLeavesNoNewFileAndTheOlderFileIntact)
{
    Plant("keep.bin", "older");
    const struct {
        const char* name;
        ExtractItem item;
    } cases[] = {
        {"range past the end", {0, "keep.bin", "250000", "400000"}},
        {"negative start", {0, "keep.bin", "-3", "10"}},
        {"bad cell", {0, "keep.bin", "12a", "20"}},
        {"new name, range past the end", {0, "new.bin", "299999", "300001"}},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(ExtractToFolder(m_buffer, m_dir.string(), c.item), Exception) << c.name;
        EXPECT_EQ(Content("keep.bin"), "older") << c.name;
        EXPECT_EQ(Entries(), std::vector<std::string>{"keep.bin"}) << c.name;
    }
}

TEST_F(ExtractionFiles, PlantedLinkIsReplacedNotFollowed)
{
    const fs::path victim = m_dir / "victim";
    Plant("victim", "precious");
    fs::create_symlink(victim, m_dir / "temp.tmp");
    WriteRangeToFileAtomically(m_buffer, (m_dir / "temp.tmp").string(), 10, 5);
    EXPECT_EQ(Content("victim"), "precious");
    EXPECT_FALSE(fs::is_symlink(m_dir / "temp.tmp"));
    EXPECT_EQ(fs::file_size(m_dir / "temp.tmp"), 5u);
}

TEST_F(ExtractionFiles, MissingFolderIsACreateError)
{
    const std::string folder = (m_dir / "gone").string();
    try {
        ExtractToFolder(m_buffer, folder, {0, "x.bin", "0", "10"});
        ADD_FAILURE() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + folder + "/x.bin\". No such file or directory");
    }
}

TEST_F(ExtractionFiles, FileSizeLimitEndsWithAWriteErrorAndNoPartialFile)
{
    Plant("big.bin", "older");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100000, 100000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int status = 1;
        try {
            ExtractToFolder(m_buffer, m_dir.string(), {0, "big.bin", "0", "300000"});
        } catch (const EWriteError&) {
            status = 0;
        } catch (...) {
            status = 2;
        }
        ::_exit(status);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Content("big.bin"), "older");
    EXPECT_EQ(Entries(), std::vector<std::string>{"big.bin"});
}

}  // namespace
}  // namespace kestrix
