#include "code_page.h"
#include "content_page.h"
#include "filter_bar.h"
#include "form_fixture.h"
#include "jar_builders.h"
#include "picture_builders.h"
#include "sound_builders.h"
#include "sound_player_bar.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QTableView>
#include <QToolButton>

#include <map>
#include <memory>

namespace kestrix::test_support {
namespace {

using Bytes = std::vector<uint8_t>;

std::string_view Text(const Bytes& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::map<QString, Bytes> FilesIn(const QString& folder)
{
    std::map<QString, Bytes> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        files[name] = ReadFileBytes(QFile::encodeName(QDir(folder).filePath(name)).toStdString());
    return files;
}

// One item of each kind among erased flash: a picture, two sounds (one named
// by its entry), a Java application with its icon, a file of the phone.
class ContentPagesTest : public FormTest {
protected:
    FlashImageBuilder ContentImage()
    {
        FlashImageBuilder image(64 * 1024, 0xFF);
        image.Put(1001, m_gif)
            .PutFileEntry(3000, Utf8ToCp1251("Звонок.mid"), static_cast<uint32_t>(m_midi.size()), Text(m_midi))
            .Put(5003, m_amr)
            .Put(9000, m_jar)
            .PutFileEntry(30000, "notes.txt", 5, "hello");
        return image;
    }

    QString CellText(ContentPage* page, int row, int column) const
    {
        const QAbstractItemModel* model = page->Table()->model();
        return model->data(model->index(row, column)).toString();
    }

    Bytes m_gif = BuildGif({});
    Bytes m_midi = BuildMidi({});
    Bytes m_amr = BuildAmr({});
    Bytes m_jar = BuildJar(MidletPlan("Snake"));
};

TEST_F(ContentPagesTest, OneSearchFillsEveryPage)
{
    OpenImage(ContentImage());
    TForm1& f = Form();
    EXPECT_EQ(f.ContentSearch()->shortcut(), QKeySequence(Qt::Key_F8));
    f.ContentSearch()->trigger();

    EXPECT_EQ(f.ActivePage(), TForm1::kSoundsPage);
    ASSERT_EQ(f.PictureRows().size(), 1u);
    EXPECT_EQ(f.PictureRows()[0].Start, 1001);
    ASSERT_EQ(f.SoundsPage()->RowCount(), 2);
    EXPECT_EQ(CellText(f.SoundsPage(), 0, 0), QStringLiteral("Звонок.mid"));
    EXPECT_EQ(CellText(f.SoundsPage(), 0, 5), QStringLiteral("Целый звук"));
    EXPECT_EQ(CellText(f.SoundsPage(), 1, 0), QStringLiteral("Звук (2).amr"));
    EXPECT_EQ(CellText(f.SoundsPage(), 1, 7), QStringLiteral("0:00.1"));
    ASSERT_EQ(f.ApplicationsPage()->RowCount(), 1);
    EXPECT_EQ(CellText(f.ApplicationsPage(), 0, 7), QStringLiteral("Snake"));
    const QAbstractItemModel* apps = f.ApplicationsPage()->Table()->model();
    const QIcon icon = apps->data(apps->index(0, 0), Qt::DecorationRole).value<QIcon>();
    EXPECT_FALSE(icon.isNull());
    ASSERT_EQ(f.PhoneFilesPage()->RowCount(), 1);
    EXPECT_EQ(CellText(f.PhoneFilesPage(), 0, 0), QStringLiteral("notes.txt"));
    EXPECT_EQ(CellText(f.PhoneFilesPage(), 0, 5), QStringLiteral("Непроверенный файл"));
    EXPECT_EQ(f.StatusText(), QStringLiteral("Всего найдено: 5"));
    // Without an audio output Play is off and says why.
    EXPECT_FALSE(f.SoundsPage()->Player()->PlayButton()->isEnabled());
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(ContentPagesTest, SortingIsNumericAndSavingWritesTheBytesUnderTheCaptions)
{
    OpenImage(ContentImage());
    TForm1& f = Form();
    f.SearchAllContent();
    QTableView* table = f.SoundsPage()->Table();
    table->sortByColumn(4, Qt::DescendingOrder);  // size: 101 against 174 bytes
    EXPECT_EQ(CellText(f.SoundsPage(), 0, 0), QStringLiteral("Звук (2).amr"));
    table->sortByColumn(4, Qt::AscendingOrder);
    EXPECT_EQ(CellText(f.SoundsPage(), 0, 0), QStringLiteral("Звонок.mid"));
    // Offsets in hex from the context menu; the order stays numeric.
    f.SoundsPage()->Model()->SetHexOffsets(true);
    EXPECT_EQ(CellText(f.SoundsPage(), 0, 2), QStringLiteral("0xBDE"));
    f.SoundsPage()->Model()->SetHexOffsets(false);

    const QString all = Path(QStringLiteral("all"));
    QDir().mkpath(all);
    m_saveAnswers = {all + QStringLiteral("/any name")};
    f.SaveAllRows();
    EXPECT_EQ(FilesIn(all), (std::map<QString, Bytes>{{QStringLiteral("Звонок.mid"), m_midi},
                                                      {QStringLiteral("Звук (2).amr"), m_amr}}));

    table->selectRow(1);
    const QString wav = Path(QStringLiteral("wav"));
    QDir().mkpath(wav);
    m_saveAnswers = {wav + QStringLiteral("/any name")};
    f.SoundsPage()->SaveWavButton()->click();
    const std::map<QString, Bytes> wavFiles = FilesIn(wav);
    ASSERT_EQ(wavFiles.size(), 1u);
    EXPECT_EQ(wavFiles.begin()->first, QStringLiteral("Звук (2).amr.wav"));
    EXPECT_EQ(std::string(wavFiles.begin()->second.begin(), wavFiles.begin()->second.begin() + 4), "RIFF");
    EXPECT_TRUE(m_errors.empty());

    f.Page()->setCurrentIndex(TForm1::kApplicationsPage);
    f.ApplicationsPage()->Table()->selectAll();
    f.CopySelectedRows();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(QStringLiteral("Snake")));
}

// The last column of a content page is the SHA-256 of the row's bytes, also
// in Ctrl+C; the report goes into a new folder of its own each time.
TEST_F(ContentPagesTest, DigestColumnAndReportIntoANewFolder)
{
    OpenImage(ContentImage());
    TForm1& f = Form();
    const QString reports = Path(QStringLiteral("reports"));
    QDir().mkpath(reports);
    m_saveAnswers = {reports};
    f.SaveReportItem()->trigger();
    EXPECT_TRUE(QDir(reports).isEmpty()) << "no report before the content search";
    EXPECT_EQ(m_saveAnswers.size(), 1u);

    f.SearchAllContent();
    ContentPage* files = f.PhoneFilesPage();
    const int digest = files->Model()->DigestColumn();
    EXPECT_EQ(files->Model()->headerData(digest, Qt::Horizontal, Qt::DisplayRole).toString(), "SHA-256");
    const QString hello = QString::fromLatin1(QCryptographicHash::hash("hello", QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(CellText(files, 0, digest), hello);
    f.Page()->setCurrentIndex(TForm1::kPhoneFilesPage);
    files->Table()->selectAll();
    f.CopySelectedRows();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(hello));

    m_saveAnswers = {reports, reports};
    f.SaveReportItem()->trigger();
    f.SaveReportItem()->trigger();
    const QStringList made = QDir(reports).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    ASSERT_EQ(made.size(), 2) << made.join(u',').toStdString();
    EXPECT_TRUE(made[0].startsWith(QStringLiteral("Отчёт "))) << made[0].toStdString();
    EXPECT_EQ(made[1], made[0] + QStringLiteral(" (2)"));
    const QDir report(QDir(reports).filePath(made[0]));
    for (const char* file : {"index.html", "items.csv", "report.xml", "files/notes.txt", "sounds/Звонок.mid.wav"})
        EXPECT_TRUE(report.exists(QString::fromUtf8(file))) << file;
    QFile csv(report.filePath(QStringLiteral("items.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.readAll().contains(hello.toLatin1()));
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(ContentPagesTest, SaveAllSavesWhatTheFilterShows)
{
    OpenImage(ContentImage());
    TForm1& f = Form();
    f.SearchAllContent();
    ContentPage* sounds = f.SoundsPage();
    sounds->Filter()->SetText(QStringLiteral("ЗВОН"));
    EXPECT_EQ(sounds->ShownCount(), 1);
    EXPECT_EQ(CellText(sounds, 0, 0), QStringLiteral("Звонок.mid"));
    const QString shown = Path(QStringLiteral("shown"));
    QDir().mkpath(shown);
    m_saveAnswers = {shown + QStringLiteral("/any name")};
    f.SaveAllRows();
    EXPECT_EQ(FilesIn(shown), (std::map<QString, Bytes>{{QStringLiteral("Звонок.mid"), m_midi}}));
    EXPECT_TRUE(f.SaveSummaryText().contains(QStringLiteral("из 1 показанной фильтром")))
        << f.SaveSummaryText().toStdString();

    sounds->Filter()->SetText({});
    sounds->Filter()->SetOnlyFlawed(true);
    EXPECT_EQ(sounds->ShownCount(), 0);
    sounds->Filter()->SetOnlyFlawed(false);
    EXPECT_EQ(sounds->ShownCount(), 2);
}

TEST_F(ContentPagesTest, ADoubleClickOpensAndADragCarriesTheItemsBytes)
{
    OpenImage(ContentImage());
    TForm1& f = Form();
    f.SearchAllContent();
    ContentPage* apps = f.ApplicationsPage();
    QUrl opened;
    apps->SetUrlOpener([&opened](const QUrl& url) {
        opened = url;
        return true;
    });
    ASSERT_TRUE(apps->OpenItem(0));
    EXPECT_TRUE(opened.toLocalFile().endsWith(QStringLiteral("Приложение (1).jar")));
    EXPECT_EQ(ReadFileBytes(QFile::encodeName(opened.toLocalFile()).toStdString()), m_jar);
    // Where no desktop program opens it, the window says so and where the copy is.
    apps->SetUrlOpener([](const QUrl&) { return false; });
    EXPECT_FALSE(apps->OpenItem(0));
    EXPECT_TRUE(f.SaveSummaryText().startsWith(QStringLiteral("Нет программы, чтобы открыть «Приложение (1).jar»")))
        << f.SaveSummaryText().toStdString();

    const QAbstractItemModel* files = f.PhoneFilesPage()->Table()->model();
    std::unique_ptr<QMimeData> drag(files->mimeData({files->index(0, 0)}));
    ASSERT_TRUE(drag);
    ASSERT_EQ(drag->urls().size(), 1);
    EXPECT_EQ(ReadFileBytes(QFile::encodeName(drag->urls()[0].toLocalFile()).toStdString()), TextBytes("hello"));
}

TEST_F(ContentPagesTest, PagesAreClearedWhenAnotherImageIsOpened)
{
    OpenImage(ContentImage());
    TForm1& f = Form();
    f.SearchAllContent();
    ASSERT_EQ(f.SoundsPage()->RowCount(), 2);
    OpenImage(FlashImageBuilder(4096, 0xFF), QStringLiteral("other.bin"));
    EXPECT_EQ(f.SoundsPage()->RowCount(), 0);
    EXPECT_EQ(f.ApplicationsPage()->RowCount(), 0);
    EXPECT_EQ(f.PhoneFilesPage()->RowCount(), 0);
}

}  // namespace
}  // namespace kestrix::test_support
