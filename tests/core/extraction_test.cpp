#include "code_page.h"
#include "custom_hex_buffer.h"
#include "error_of.h"
#include "exceptions.h"
#include "extraction.h"
#include "flash_image_builder.h"
#include "image_loading.h"
#include "temp_folder_test.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kestrix {
namespace {

namespace fs = std::filesystem;
using test_support::ErrorOf;
using test_support::ReadFileBytes;

ResultRow Row(const std::string& caption, const std::string& type, const std::string& start, const std::string& end)
{
    return {caption, {type, start, end, ""}, kFileRowIcon};
}

std::vector<ExtractItem> Plan(ListKind list, const std::vector<ResultRow>& rows, const std::vector<bool>& selected = {})
{
    return PlanExtraction(
        list, rows.size(), [&rows](std::size_t i) { return rows[i]; }, selected);
}

// Every name a save gives, in list order: cleaned, never hidden, never empty,
// and never the name of an earlier row of the same save.
TEST(PlanExtraction, NamesEveryFileSafelyAndOnce)
{
    const struct {
        std::string caption;  // Windows-1251
        std::string file;     // UTF-8
    } cases[] = {
        {"readme.txt", "readme.txt"},
        {Utf8ToCp1251("Звонок.amr"), "Звонок.amr"},
        {"../../.bashrc", "_.._.._.bashrc"},
        {".bashrc", "_.bashrc"},
        {".profile", "_.profile"},
        {"/etc/x", "_etc_x"},
        {std::string("nul\0in\x01side\x1F\x7F", 13), "nul_in_side__"},
        {"a\x98"
         "b",
         "a_b"},
        {"", "_"},
        {".", "_."},
        {"..", "_.."},
        {"...", "_..."},
        {"a/b.txt", "a_b.txt"},
        {"a\\b.txt", "a_b (2).txt"},
        {"a_b.txt", "a_b (3).txt"},
        {"a_b (2).txt", "a_b (2) (2).txt"},
        {"x.tar.gz", "x.tar.gz"},
        {"x.tar.gz", "x.tar (2).gz"},
        {"noext", "noext"},
        {"noext", "noext (2)"},
        {".bashrc", "_ (2).bashrc"},
        {"_", "_ (2)"},
        {"a.", "a."},
        {"a.", "a (2)."},
    };
    std::vector<ResultRow> rows;
    for (const auto& c : cases)
        rows.push_back(Row(c.caption, "x", "0", "1"));
    const auto items = Plan(ListKind::Files, rows);
    ASSERT_EQ(items.size(), std::size(cases));
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].Row, static_cast<int32_t>(i));
        EXPECT_EQ(items[i].FileName, cases[i].file) << "row " << i;
    }
    // A row left out takes no name from the rows after it.
    const auto some =
        Plan(ListKind::Files, rows,
             {false, false, false, false, false, false, false, false, false, false, false, false, false, true, true});
    ASSERT_EQ(some.size(), 2u);
    EXPECT_EQ(some[0].FileName, "a_b.txt");
    EXPECT_EQ(some[1].FileName, "a_b (2).txt");
}

TEST(PlanExtraction, FiltersRowsByPage)
{
    const std::vector<ResultRow> rows = {
        Row("first.txt", "txt", "100", "110"),
        Row("big.bin", "bin", "200", ""),
        Row("", "gif", "300", "320"),
        Row("x/y", "c", "400", "401"),
    };
    const auto files = Plan(ListKind::Files, rows);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].Row, 0);
    EXPECT_EQ(files[1].FileName, "_");
    EXPECT_EQ(files[2].FileName, "x_y");
    EXPECT_EQ(files[2].Row, 3);

    const auto pictures = Plan(ListKind::Graphics, rows);
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_EQ(pictures[0].FileName, "first.txt.txt");
    EXPECT_EQ(pictures[1].FileName, "big.bin.bin");
    EXPECT_EQ(pictures[2].Row, 3);

    const auto selected = Plan(ListKind::Files, rows, {false, true, true, true});
    ASSERT_EQ(selected.size(), 2u);
    EXPECT_EQ(selected[0].Row, 2);
}

TEST(RangeOfCells, ReadsTheEndCellThenTheStartCell)
{
    EXPECT_EQ(RangeOfCells(Row("a", "txt", "-3", "10")).Count(), 13);
    EXPECT_EQ(RangeOfCells(Row("a", "txt", "10", "4")).Count(), -6);
    EXPECT_EQ(RangeOfCells(Row("a", "txt", "-2147483648", "2147483647")).Count(), INT32_MAX);
    const struct {
        const char* start;
        const char* end;
        const char* error;
    } bad[] = {
        {"12a", "20", "EConvertError: '12a' is not a valid integer value"},
        {"1", "", "EConvertError: '' is not a valid integer value"},
        {"x", "y", "EConvertError: 'y' is not a valid integer value"},
    };
    for (const auto& c : bad)
        EXPECT_EQ(ErrorOf([&] { RangeOfCells(Row("a", "txt", c.start, c.end)); }), c.error);
}

// A folder to save into and an image of 300000 bytes counting 0 to 252 over and over.
class ExtractionFiles : public test_support::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        m_image.resize(300000);
        for (std::size_t i = 0; i < m_image.size(); ++i)
            m_image[i] = static_cast<uint8_t>(i % 253);
        test_support::LoadImage(m_buffer, m_image);
    }

    void Plant(const std::string& name, const std::string& content) const { Write(name, content); }
    // A hidden file as a writer of ours that was killed leaves it: marked with its name.
    void PlantAbandoned(const std::string& name, const std::string& content) const
    {
        Write(name, content);
        ASSERT_EQ(::setxattr(Path(name).c_str(), "user.kestrix.temporary", name.data(), name.size(), 0), 0);
    }
    std::string Content(const std::string& name) const
    {
        const auto bytes = ReadFileBytes(Path(name));
        return {bytes.begin(), bytes.end()};
    }

    std::vector<uint8_t> m_image;
    THexBuffer m_buffer;
};

TEST_F(ExtractionFiles, WritesTheRowsRangeAndReplacesAnOlderFile)
{
    Plant("a.bin", "old content");
    const std::string path = ExtractToFolder(m_buffer, m_dir.string(), "a.bin", {70000, 200000});
    EXPECT_EQ(path, Path("a.bin"));
    const auto written = ReadFileBytes(path);
    EXPECT_EQ(written, std::vector<uint8_t>(m_image.begin() + 70000, m_image.begin() + 200000));
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.bin"});
}

TEST_F(ExtractionFiles, AFailedRowLeavesNoNewFileAndTheOlderFileIntact)
{
    Plant("keep.bin", "older");
    const struct {
        const char* name;
        const char* file;
        ItemRange range;
    } cases[] = {
        {"range past the end", "keep.bin", {250000, 400000}},
        {"negative start", "keep.bin", {-3, 10}},
        {"new name, range past the end", "new.bin", {299999, 300001}},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(ExtractToFolder(m_buffer, m_dir.string(), c.file, c.range), Exception) << c.name;
        EXPECT_EQ(Content("keep.bin"), "older") << c.name;
        EXPECT_EQ(Entries(), std::vector<std::string>{"keep.bin"}) << c.name;
    }
}

TEST_F(ExtractionFiles, PlantedLinkIsReplacedNotFollowed)
{
    Plant("victim", "precious");
    fs::create_symlink(Path("victim"), Path("temp.tmp"));
    WriteRangeToFileAtomically(m_buffer, Path("temp.tmp"), 10, 5);
    EXPECT_EQ(Content("victim"), "precious");
    EXPECT_FALSE(fs::is_symlink(m_dir / "temp.tmp"));
    EXPECT_EQ(fs::file_size(m_dir / "temp.tmp"), 5u);
}

TEST_F(ExtractionFiles, MissingFolderIsACreateError)
{
    const std::string folder = Path("gone");
    EXPECT_EQ(ErrorOf([&] {
                  ExtractToFolder(m_buffer, folder, "x.bin", {0, 10});
              }),
              "FileCreateError: Cannot create file \"" + folder + "/x.bin\". No such file or directory");
}

TEST_F(ExtractionFiles, TheOpenImageIsNeverReplaced)
{
    const std::string image = Write("phone.bin", m_image);
    THexBuffer buffer;
    buffer.LoadFromFile(image);
    // The same file however its folder is spelt.
    for (const fs::path& folder : {m_dir, m_dir / "."}) {
        EXPECT_EQ(ErrorOf([&] {
                      ExtractToFolder(buffer, folder.string(), "phone.bin", {0, 64});
                  }),
                  "ReplacesImageError: Cannot replace the open image \"" + (folder / "phone.bin").string() + "\"");
    }
    EXPECT_EQ(ReadFileBytes(image), m_image);
    ExtractToFolder(buffer, m_dir.string(), "other.bin", {0, 64});
    EXPECT_EQ(Entries(), (std::vector<std::string>{"other.bin", "phone.bin"}));
}

// The one save loop: items in order, each success and failure told through the
// hooks, and the failure policy left to the caller.
TEST_F(ExtractionFiles, TheSaveLoopWritesInOrderAndLetsTheCallerDecideOnFailures)
{
    const std::vector<ExtractItem> items{{0, "a.bin"}, {1, "bad.bin"}, {2, "c.bin"}, {3, "bad2.bin"}};
    const std::vector<ItemRange> ranges{{0, 10}, {250000, 400000}, {5, 6}, {-1, 3}};
    const auto rangeOf = [&ranges](const ExtractItem& item) { return ranges[static_cast<std::size_t>(item.Row)]; };
    const struct {
        const char* name;
        std::optional<AfterFailure> policy;
        std::vector<std::string> files;
        std::string log;
    } cases[] = {
        {"go on", AfterFailure::GoOn, {"a.bin", "c.bin"}, "w0:1 f1 w2:2 f3 "},
        {"stop", AfterFailure::Stop, {"a.bin"}, "w0:1 f1 "},
        {"no failure hook", std::nullopt, {"a.bin"}, "w0:1 "},
    };
    for (const auto& c : cases) {
        // Left by a writer that was killed: the save sweeps it first.
        PlantAbandoned(".kestrix-Old123", "abandoned");
        std::string log;
        SaveHooks hooks;
        hooks.Written = [&log](const ExtractItem& item, std::size_t written) {
            log += "w" + std::to_string(item.Row) + ":" + std::to_string(written) + " ";
        };
        if (c.policy)
            hooks.Failed = [&log, &c](const ExtractItem& item, const std::exception& failure) {
                EXPECT_NE(dynamic_cast<const EReadError*>(&failure), nullptr) << failure.what();
                log += "f" + std::to_string(item.Row) + " ";
                return *c.policy;
            };
        SaveReport report;
        const std::string error =
            ErrorOf([&] { report = SaveToFolder(m_buffer, m_dir.string(), items, rangeOf, hooks); });
        EXPECT_EQ(log, c.log) << c.name;
        EXPECT_EQ(Entries(), c.files) << c.name;
        if (c.policy == AfterFailure::GoOn) {
            EXPECT_EQ(error, "no error") << c.name;
            EXPECT_EQ(report.Written, 2u);
            ASSERT_TRUE(report.FirstFailure);
            EXPECT_EQ(ErrorOf([&] { std::rethrow_exception(report.FirstFailure); }), "EReadError: Stream read error");
        } else {
            EXPECT_EQ(error, "EReadError: Stream read error") << c.name;
        }
        for (const std::string& file : c.files)
            fs::remove(m_dir / file);
    }
}

// No save replaces any image of a run, whatever name reaches it.
TEST_F(ExtractionFiles, NoKeptFileIsReplacedUnderAnyName)
{
    const std::string first = Write("first.bin", std::string("first image"));
    const std::string second = Write("second.bin", std::string("second image"));
    fs::create_hard_link(first, m_dir / "link.bin");
    fs::create_directory(m_dir / "sub");
    KeptFiles kept;
    kept.Add(first);
    kept.Add(second);
    kept.Add(Path("missing.bin"));
    const std::vector<ExtractItem> items{{0, "first.bin"}, {1, "link.bin"}, {2, "missing.bin"}, {3, "second.bin"}};
    std::vector<std::string> refused;
    SaveHooks hooks;
    hooks.Failed = [&refused](const ExtractItem& item, const std::exception& failure) {
        if (dynamic_cast<const ReplacesImageError*>(&failure) != nullptr)
            refused.push_back(item.FileName);
        return AfterFailure::GoOn;
    };
    const auto rangeOf = [](const ExtractItem&) { return ItemRange{0, 4}; };
    const SaveReport report = SaveToFolder(m_buffer, m_dir.string(), items, rangeOf, hooks, kept);
    EXPECT_EQ(refused, (std::vector<std::string>{"first.bin", "link.bin", "second.bin"}));
    EXPECT_EQ(report.Written, 1u);
    EXPECT_EQ(Content("first.bin"), "first image");
    EXPECT_EQ(Content("second.bin"), "second image");
    EXPECT_EQ(Content("missing.bin").size(), 4u);
    EXPECT_TRUE(kept.Holds(m_dir.string() + "/sub/../first.bin"));
    EXPECT_FALSE(kept.Holds(Path("missing.bin")));
    EXPECT_EQ(ErrorOf([&] { std::rethrow_exception(report.FirstFailure); }),
              "ReplacesImageError: Cannot replace the open image \"" + Path("first.bin") + "\"");
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
            ExtractToFolder(m_buffer, m_dir.string(), "big.bin", {0, 300000});
        } catch (const EWriteError& e) {
            const std::string expected = "Stream write error in file \"" + Path("big.bin") + "\". File too large";
            status = e.what() == expected ? 0 : 3;
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
