#include "code_page.h"
#include "form_fixture.h"
#include "graphics_scan.h"
#include "picture_view.h"
#include "progress_gauge.h"
#include "result_list_view.h"

#include <QFile>
#include <QFileInfo>
#include <QTabWidget>

#include <map>

namespace kestrix::test_support {
namespace {

std::vector<uint8_t> ReadQ(const QString& path)
{
    return ReadFileBytes(QFile::encodeName(path).toStdString());
}

// Save and Save all act on the active page's list: on the files page rows
// with an end cell, on the graphics page rows with a caption (and only there
// with the gauge, shown from before the dialog until the end).
class SaveTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        FlashImageBuilder image(4096);
        for (std::size_t i = 0; i < 4096; ++i)
            image.Fill(i, 1, static_cast<uint8_t>(i % 251));
        m_image = image.Bytes();
        OpenImage(image);
        // These ranges hold no pictures: selecting rows here is about saving only.
        Form().Finded()->OnSelectItem = nullptr;
        Form().FileList()->Model().SetRows({
            {"a.txt", {"txt", "10", "20", "10"}, kFileRowIcon},
            {"b.txt", {"txt", "30", "", "999"}, kFileRowIcon},
            {"c.txt", {"txt", "40", "45", "5"}, kFileRowIcon},
            {"d.txt", {"txt", "50", "60", "10"}, kFileRowIcon},
        });
        Form().Finded()->Model().SetRows({
            {Utf8ToCp1251("Файл (0)"), {"gif", "100", "110", "10"}, kPictureRowIcon},
            {Utf8ToCp1251("Файл (1)"), {"bmp", "200", "205", "-1"}, kPictureRowIcon},
            {Utf8ToCp1251("Файл (2)"), {"gif", "300", "301", "1"}, kPictureRowIcon},
        });
    }

    // The files in folder with their contents.
    std::map<QString, std::vector<uint8_t>> FilesIn(const QString& folder) const
    {
        std::map<QString, std::vector<uint8_t>> files;
        for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files))
            files[info.fileName()] = ReadQ(info.filePath());
        return files;
    }

    std::vector<uint8_t> Range(std::size_t start, std::size_t end) const
    {
        const auto begin = m_image.begin();
        return {begin + static_cast<std::ptrdiff_t>(start), begin + static_cast<std::ptrdiff_t>(end)};
    }

    std::vector<uint8_t> m_image;
};

TEST_F(SaveTest, EachPageSavesItsOwnRows)
{
    const QString gif0 = QStringLiteral("Файл (0).gif");
    const QString bmp1 = QStringLiteral("Файл (1).bmp");
    const QString gif2 = QStringLiteral("Файл (2).gif");
    const struct {
        const char* name;
        int page;
        std::vector<int32_t> selected;
        bool all;
        bool cancel;
        std::vector<QString> files;
        std::vector<int> gaugeAtDialog;  // one per dialog shown
    } cases[] = {
        {"files, Save", 0, {0, 1, 2}, false, false, {QStringLiteral("a.txt"), QStringLiteral("c.txt")}, {-1}},
        {"files, Save, none selected", 0, {}, false, false, {}, {}},
        {"files, Save all",
         0,
         {},
         true,
         false,
         {QStringLiteral("a.txt"), QStringLiteral("c.txt"), QStringLiteral("d.txt")},
         {-1}},
        {"graphics, Save, none selected", 1, {}, false, false, {}, {}},
        {"graphics, Save", 1, {0, 2}, false, false, {gif0, gif2}, {2}},
        {"graphics, Save all", 1, {1}, true, false, {gif0, bmp1, gif2}, {3}},
        {"graphics, Save, cancelled", 1, {1}, false, true, {}, {1}},
        {"information page", 2, {}, true, false, {}, {}},
        {"about page", 3, {}, true, false, {}, {}},
    };
    const std::map<QString, std::vector<uint8_t>> expected = {
        {QStringLiteral("a.txt"), Range(10, 20)},
        {QStringLiteral("c.txt"), Range(40, 45)},
        {QStringLiteral("d.txt"), Range(50, 60)},
        {gif0, Range(100, 110)},
        {bmp1, Range(200, 205)},
        {gif2, Range(300, 301)},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = Path(QStringLiteral("out%1").arg(++n));
        QDir().mkpath(folder);
        TForm1& f = Form();
        f.Page()->setCurrentIndex(c.page);
        f.FileList()->SelectRows(c.page == 0 ? c.selected : std::vector<int32_t>{});
        f.Finded()->SelectRows(c.page == 1 ? c.selected : std::vector<int32_t>{});
        m_saveAnswers = {c.cancel ? QString() : folder + QStringLiteral("/any name")};
        m_gaugeAtSaveDialog.clear();

        c.all ? f.SaveAllRows() : f.SaveClick();

        EXPECT_EQ(m_gaugeAtSaveDialog, c.gaugeAtDialog);
        const auto files = FilesIn(folder);
        std::vector<QString> names;
        for (const auto& [name, bytes] : files) {
            names.push_back(name);
            EXPECT_EQ(bytes, expected.at(name)) << name.toStdString();
        }
        std::vector<QString> wanted = c.files;
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(names, wanted);
        EXPECT_FALSE(f.GaugeShown());
        if (c.page == 1 && !c.cancel && !c.files.empty()) {
            EXPECT_EQ(f.ProgressBar()->Position(), f.ProgressBar()->Max());
        }
    }
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(SaveTest, SavingReplacesFilesAndStopsAtTheFirstFailingRow)
{
    TForm1& f = Form();
    const QString folder = Path(QStringLiteral("out"));
    QDir().mkpath(folder);
    QFile old(folder + QStringLiteral("/a.txt"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older and longer file");
    old.close();
    m_saveAnswers = {folder + QStringLiteral("/x")};
    f.SaveAllRows();
    EXPECT_EQ(ReadQ(folder + QStringLiteral("/a.txt")), Range(10, 20));

    f.Page()->setCurrentIndex(TForm1::kGraphicsPage);
    auto rows = f.FindedRows();
    rows[1].Cell(RowCell::Start) = "5000";  // beyond the 4096-byte image
    rows[1].Cell(RowCell::End) = "5010";
    f.Finded()->Model().SetRows(rows);
    m_saveAnswers = {folder + QStringLiteral("/x")};
    f.SaveAllRows();
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0], QStringLiteral("Stream read error."));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/Файл (0).gif")));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/Файл (1).bmp")));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/Файл (2).gif")));
    EXPECT_TRUE(f.GaugeShown());
    EXPECT_EQ(f.ProgressBar()->Position(), 1);

    rows[1].Cell(RowCell::End) = "12x";
    f.Finded()->Model().SetRows(rows);
    f.Finded()->SelectRows({1});
    m_saveAnswers = {folder + QStringLiteral("/x")};
    f.SaveClick();
    ASSERT_EQ(m_errors.size(), 2u);
    EXPECT_EQ(m_errors[1], QStringLiteral("'12x' is not a valid integer value."));
}

TEST_F(SaveTest, SavingBesideTheImageKeepsTheImageAndTheOtherRows)
{
    TForm1& f = Form();
    f.FileList()->Model().SetRows({
        {"a.txt", {"txt", "10", "20", "10"}, kFileRowIcon},
        {"phone.bin", {"bin", "30", "40", "10"}, kFileRowIcon},
        {"a.txt", {"txt", "40", "45", "5"}, kFileRowIcon},
    });
    m_saveAnswers = {Path(QStringLiteral("any"))};
    f.SaveAllRows();
    ASSERT_EQ(m_errors.size(), 1u);
    const QString image = Path(QStringLiteral("phone.bin"));
    EXPECT_EQ(m_errors[0], QStringLiteral("Нельзя заменить открытый образ «") + image + QStringLiteral("»."));
    EXPECT_EQ(ReadQ(image), m_image);
    EXPECT_EQ(ReadQ(Path(QStringLiteral("a.txt"))), Range(10, 20));
    EXPECT_EQ(ReadQ(Path(QStringLiteral("a (2).txt"))), Range(40, 45));
}

// Two GIF pictures back to back above the GIF pass start and a bitmap: the
// graphics scan lists them and selecting one row previews it.
class PreviewTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        GifPlan first;
        first.width = 20;
        first.height = 10;
        GifPlan second;
        second.width = 7;
        second.height = 5;
        m_first = BuildGif(first);
        m_second = BuildGif(second);
        m_a = kGifPassStart + 1000;
        m_b = m_a + static_cast<int32_t>(m_first.size());
        FlashImageBuilder image(static_cast<std::size_t>(kGifPassStart) + 8000, 0x00);
        image.Fill(static_cast<std::size_t>(kGifPassStart), 8000, 0x77)
            .Put(static_cast<std::size_t>(m_a), m_first)
            .Put(static_cast<std::size_t>(m_b), m_second)
            .Put(5000, BuildBmp(SmallBmpPlan(8, 8)));
        OpenImage(image);
        Form().gif1Click();
        Form().Page()->setCurrentIndex(TForm1::kGraphicsPage);
        m_scratch = QDir(m_dir.path()).relativeFilePath(QFile::decodeName(Form().ScratchFile().c_str()));
        ASSERT_TRUE(m_scratch.startsWith(QStringLiteral("cache/"))) << m_scratch.toStdString();
    }

    std::vector<uint8_t> m_first;
    std::vector<uint8_t> m_second;
    int32_t m_a = 0;
    int32_t m_b = 0;
    // The scratch file, in the cache folder, relative to the working folder.
    QString m_scratch;
};

TEST_F(PreviewTest, SelectingOneRowShowsItsPicture)
{
    TForm1& f = Form();
    const auto& rows = f.FindedRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].Cell(RowCell::Start), std::to_string(m_a));
    EXPECT_EQ(rows[0].Cell(RowCell::End), std::to_string(m_b));
    EXPECT_EQ(rows[2].Cell(RowCell::Type), "bmp");

    f.Finded()->SelectRows({0});
    EXPECT_EQ(ReadQ(Path(m_scratch)), m_first);
    EXPECT_EQ(f.PictureView1()->Picture().Width(), 20);

    // Growing the selection to two rows, or shrinking it back, shows nothing new.
    QFile::remove(Path(m_scratch));
    f.Finded()->SetRowSelected(1, true);
    f.Finded()->SetRowSelected(0, false);
    EXPECT_FALSE(QFile::exists(Path(m_scratch)));
    EXPECT_EQ(f.PictureView1()->Picture().Width(), 20);

    f.Finded()->SelectRows({2});
    EXPECT_EQ(ReadQ(Path(m_scratch)).size(), 62u + 8u * 4u);
    EXPECT_EQ(f.PictureView1()->Picture().Width(), 8);
    f.Finded()->SelectRows({1});
    EXPECT_EQ(ReadQ(Path(m_scratch)), m_second);
    EXPECT_EQ(f.PictureView1()->Picture().Width(), 7);
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(PreviewTest, ScratchFileReplacesAPlantedLinkAndSurvivesABadPicture)
{
    TForm1& f = Form();
    const QString outside = Path(QStringLiteral("outside.txt"));
    QFile target(outside);
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.write("keep");
    target.close();
    ASSERT_TRUE(QFile::link(outside, Path(m_scratch)));

    f.Finded()->SelectRows({0});
    EXPECT_EQ(ReadQ(outside), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(QFileInfo(Path(m_scratch)).isSymLink());
    EXPECT_EQ(ReadQ(Path(m_scratch)), m_first);

    auto rows = f.FindedRows();
    rows.push_back({"broken", {"gif", "0", "40", "40"}, kPictureRowIcon});
    f.Finded()->Model().SetRows(rows);
    f.Finded()->SelectRows({3});
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].startsWith(QStringLiteral("Could not load image"))) << m_errors[0].toStdString();
    EXPECT_EQ(ReadQ(Path(m_scratch)).size(), 40u);
    // The picture of the row before does not stay on screen: the placeholder shows.
    EXPECT_EQ(f.PictureView1()->Picture().Width(), 16);

    f.Finded()->SelectRows({1});
    EXPECT_EQ(ReadQ(Path(m_scratch)), m_second);
    EXPECT_EQ(m_errors.size(), 1u);
}

}  // namespace
}  // namespace kestrix::test_support
