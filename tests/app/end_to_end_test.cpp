// The window driven as a user would: a flash image of about 10 MiB opened
// through the menu, both scans, a picture previewed by clicking its row, and
// every found item saved from both pages.
#include "code_page.h"
#include "form_fixture.h"
#include "graphics_scan.h"
#include "picture_view.h"
#include "result_list_view.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include <map>

namespace kestrix::test_support {
namespace {

constexpr std::size_t kImageSize = 10 * 1024 * 1024;
constexpr uint8_t kGifGapFill = 0x5A;

struct Entry {
    std::size_t h;     // offset of the entry signature
    const char* name;  // UTF-8
    uint32_t size;
};

// Listed in the scan once per name; saved when their size (384 at most) gives
// them an end.
constexpr Entry kEntries[] = {
    {200000, "boot.cfg", 16},     {230000, "Мелодия.mid", 240},
    {260000, "Звонок.amr", 5000},                                  // too large to know its end
    {300000, "readme.txt", 384},  {330000, "readme.txt", 12},      // same name at once: not listed
    {2000000, "a.gz", 385},       {3000000, "Обои/фон.jpg", 100},  // a separator in the name
    {5000000, "readme.txt", 20},                                   // same name later: removed
    {8000000, "noext", 1},        {9000000, "Я", 3},
};

// A picture written into the image at an offset.
struct Placed {
    int32_t at;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> EntryData(std::size_t index, uint32_t size)
{
    std::vector<uint8_t> data(std::min<uint32_t>(size, 384));
    for (std::size_t k = 0; k < data.size(); ++k)
        data[k] = static_cast<uint8_t>('A' + (index * 7 + k) % 26);
    return data;
}

// File name (UTF-8) -> contents.
using FileMap = std::map<std::string, std::vector<uint8_t>>;

FileMap FilesIn(const QString& folder)
{
    FileMap files;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
        files[info.fileName().toStdString()] = ReadFileBytes(QFile::encodeName(info.filePath()).toStdString());
    return files;
}

void ExpectFiles(const FileMap& actual, const FileMap& expected)
{
    std::vector<std::string> actualNames;
    for (const auto& [name, bytes] : actual)
        actualNames.push_back(name);
    std::vector<std::string> expectedNames;
    for (const auto& [name, bytes] : expected)
        expectedNames.push_back(name);
    EXPECT_EQ(actualNames, expectedNames);
    for (const auto& [name, bytes] : expected) {
        if (actual.count(name) != 0) {
            EXPECT_TRUE(actual.at(name) == bytes)
                << name << ": " << actual.at(name).size() << " bytes written, " << bytes.size() << " expected";
        }
    }
}

void Click(QWidget* widget, QPoint at)
{
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

class EndToEndTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        FlashImageBuilder image(kImageSize);
        image.Fill(80000, 24000, 0x00)
            .PutFact(kPhoneModelFact, "E398")
            .PutFact(kSerialNumberFact, Utf8ToCp1251("ЗН-0042"))
            .PutFact(kFlexVersionFact, "R373_G_0E.30.49R_A")
            .Put(static_cast<std::size_t>(kPdsFact.offset), std::string_view("pds.e398.r1\xFF", 12))
            .PutFact(kFirmwareVersionFact, "r373_g_0e.30.49r");

        for (std::size_t i = 0; i < std::size(kEntries); ++i) {
            const std::vector<uint8_t> data = EntryData(i, kEntries[i].size);
            image.PutFileEntry(kEntries[i].h, Utf8ToCp1251(kEntries[i].name), kEntries[i].size,
                               std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
        }

        // Never listed: below the GIF pass and at its very start.
        image.Put(7000000, BuildGif({.height = 8}));
        image.Put(static_cast<std::size_t>(kGifPassStart), BuildGif({.height = 8}));

        const GifPlan gifOptions[] = {
            {.width = 20, .height = 10},
            {.width = 48, .height = 32, .frames = 3, .delay = 20},  // animated
            {.width = 60, .height = 40},                            // the one previewed
            {.width = 9, .height = 9, .graphicControl = false},
            {.width = 33, .height = 17, .comment = std::string("made\x00\x3B", 6)},  // 00 3B inside, last
        };
        int32_t at = 9700000;
        image.Fill(static_cast<std::size_t>(at), 100000, kGifGapFill);
        for (const GifPlan& options : gifOptions) {
            m_gifs.push_back({at, BuildGif(options)});
            image.Put(static_cast<std::size_t>(at), m_gifs.back().bytes);
            at += static_cast<int32_t>(m_gifs.back().bytes.size()) + 300;
        }

        m_bmps = {{150000, BuildBmp(SmallBmpPlan(8, 8))},
                  {6000000, BuildBmp(SmallBmpPlan(16, 4))},
                  {10200000, BuildBmp(SmallBmpPlan(32, 12))}};
        for (const Placed& bmp : m_bmps)
            image.Put(static_cast<std::size_t>(bmp.at), bmp.bytes);

        m_image = image.Bytes();
        m_imagePath = Path(QStringLiteral("прошивка.bin"));
        image.WriteTo(QFile::encodeName(m_imagePath).toStdString());
    }

    std::vector<uint8_t> Range(int64_t start, int64_t end) const
    {
        return {m_image.begin() + start, m_image.begin() + end};
    }

    std::vector<uint8_t> m_image;
    QString m_imagePath;
    std::vector<Placed> m_gifs;
    std::vector<Placed> m_bmps;
};

TEST_F(EndToEndTest, OpenScanPreviewAndSaveEverything)
{
    TForm1& f = Form();
    f.show();
    QApplication::processEvents();

    // Open through the menu: the file's name in the status panel, the facts table.
    m_openAnswers = {m_imagePath};
    f.N2()->trigger();
    ASSERT_TRUE(m_errors.empty()) << m_errors.front().toStdString();
    EXPECT_EQ(f.Hex1().DataSize(), static_cast<int32_t>(kImageSize));
    EXPECT_EQ(f.StatusText(), QStringLiteral("прошивка.bin"));
    const QString facts[][2] = {
        {QStringLiteral("PDS"), QStringLiteral("PDSE398R1")},
        {QStringLiteral("Версия прошивки"), QStringLiteral("R373_G_0E.30.49R")},
        {QStringLiteral("Модель телефона"), QStringLiteral("E398")},
        {QStringLiteral("Заводской номер"), QStringLiteral("ЗН-0042")},
        {QStringLiteral("Версия Flex"), QStringLiteral("R373_G_0E.30.49R_A")},
    };
    const ResultListModel& info = f.InfoList()->Model();
    ASSERT_EQ(info.rowCount(), 5);
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(info.data(info.index(row, 0)).toString(), facts[row][0]);
        EXPECT_EQ(info.data(info.index(row, 1)).toString(), facts[row][1]);
    }

    // File scan from the menu: one row per name, the count in the status panel.
    f.N7()->trigger();
    std::vector<std::string> captions;
    for (const ResultRow& row : f.FileListRows())
        captions.push_back(row.Caption);
    std::vector<std::string> names;
    for (const char* name :
         {"boot.cfg", "Мелодия.mid", "Звонок.amr", "readme.txt", "a.gz", "Обои/фон.jpg", "noext", "Я"})
        names.push_back(Utf8ToCp1251(name));
    EXPECT_EQ(captions, names);
    EXPECT_EQ(f.StatusText(), QStringLiteral("Всего файлов: 8"));
    EXPECT_EQ(f.FileList()->Model().data(f.FileList()->Model().index(1, 0)).toString(), QStringLiteral("Мелодия.mid"));

    // Graphics scan: the GIFs above the pass start in order, then the bitmaps.
    f.gif1()->trigger();
    const auto& pictures = f.FindedRows();
    ASSERT_EQ(pictures.size(), m_gifs.size() + m_bmps.size());
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const bool gif = i < m_gifs.size();
        EXPECT_EQ(pictures[i].Caption, Utf8ToCp1251("Файл (" + std::to_string(i) + ")"));
        EXPECT_EQ(pictures[i].Cell(RowCell::Type), gif ? "gif" : "bmp");
        EXPECT_EQ(pictures[i].Cell(RowCell::Start), std::to_string(gif ? m_gifs[i].at : m_bmps[i - m_gifs.size()].at));
    }
    EXPECT_FALSE(f.GaugeShown());
    EXPECT_TRUE(m_errors.empty());

    // Preview: click the tab, then the row; the picture is drawn centred.
    QTabBar* tabs = f.Page()->tabBar();
    Click(tabs, tabs->tabRect(TForm1::kGraphicsPage).center());
    ASSERT_EQ(f.ActivePage(), TForm1::kGraphicsPage);
    QApplication::processEvents();
    const int previewed = 2;
    const QModelIndex index = f.Finded()->Model().index(previewed, 0);
    f.Finded()->scrollTo(index);
    Click(f.Finded()->viewport(), f.Finded()->visualRect(index).center());
    ASSERT_EQ(f.Finded()->SelectedRows(), std::vector<int32_t>{previewed});
    const std::vector<uint8_t> previewBytes =
        Range(std::stoi(pictures[previewed].Cell(RowCell::Start)), std::stoi(pictures[previewed].Cell(RowCell::End)));
    EXPECT_EQ(ReadFileBytes(f.ScratchFile()), previewBytes);
    EXPECT_FALSE(QFile::exists(QStringLiteral("temp.tmp")));

    const QImage decoded = QImage::fromData(previewBytes.data(), static_cast<int>(previewBytes.size()))
                               .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(decoded.size(), QSize(60, 40));
    EXPECT_EQ(decoded.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(decoded.pixel(1, 0), qRgb(255, 0, 0));
    const QImage shown = f.PictureView1()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint origin((shown.width() - decoded.width()) / 2, (shown.height() - decoded.height()) / 2);
    ASSERT_GE(origin.x(), 0);
    ASSERT_GE(origin.y(), 0);
    int mismatches = 0;
    for (int y = 0; y < decoded.height(); ++y)
        for (int x = 0; x < decoded.width(); ++x)
            mismatches += shown.pixel(origin + QPoint(x, y)) != decoded.pixel(x, y);
    EXPECT_EQ(mismatches, 0);

    // Save all from each page; a row's file holds exactly its range.
    const QString filesFolder = Path(QStringLiteral("files"));
    const QString picturesFolder = Path(QStringLiteral("pictures"));
    QDir().mkpath(filesFolder);
    QDir().mkpath(picturesFolder);
    m_saveAnswers = {picturesFolder + QStringLiteral("/any")};
    f.SaveAllButton()->click();
    Click(tabs, tabs->tabRect(TForm1::kFilesPage).center());
    m_saveAnswers = {filesFolder + QStringLiteral("/any")};
    f.SaveAllButton()->click();
    EXPECT_TRUE(m_errors.empty());

    const auto entryRange = [this](std::size_t i) {
        const auto start = static_cast<int64_t>(kEntries[i].h) + 38;
        return Range(start, start + kEntries[i].size);
    };
    ExpectFiles(FilesIn(filesFolder), {
                                          {"boot.cfg", entryRange(0)},
                                          {"Мелодия.mid", entryRange(1)},
                                          {"readme.txt", entryRange(3)},
                                          {"Обои_фон.jpg", entryRange(6)},
                                          {"noext", entryRange(8)},
                                          {"Я", entryRange(9)},
                                      });
    EXPECT_EQ(entryRange(1), EntryData(1, 240));

    // A GIF runs to the next one, the last one to its trailer; a bitmap to its size.
    FileMap expectedPictures;
    for (std::size_t i = 0; i < m_gifs.size(); ++i) {
        const int32_t end =
            i + 1 < m_gifs.size() ? m_gifs[i + 1].at : m_gifs[i].at + static_cast<int32_t>(m_gifs[i].bytes.size());
        expectedPictures["Файл (" + std::to_string(i) + ").gif"] = Range(m_gifs[i].at, end);
    }
    for (std::size_t i = 0; i < m_bmps.size(); ++i)
        expectedPictures["Файл (" + std::to_string(m_gifs.size() + i) + ").bmp"] = m_bmps[i].bytes;
    ExpectFiles(FilesIn(picturesFolder), expectedPictures);
    EXPECT_TRUE(expectedPictures["Файл (4).gif"] == m_gifs.back().bytes);
}

}  // namespace
}  // namespace kestrix::test_support
