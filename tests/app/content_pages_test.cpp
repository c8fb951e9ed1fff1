#include "code_page.h"
#include "content_page.h"
#include "filter_bar.h"
#include "flash_image_builder.h"
#include "form_fixture.h"
#include "jar_builders.h"
#include "picture_builders.h"
#include "picture_gallery.h"
#include "result_list_view.h"
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
#include <QMenu>
#include <QMimeData>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <functional>
#include <map>
#include <memory>

#include <zlib.h>

namespace kestrix::test_support {
namespace {

using Bytes = std::vector<uint8_t>;

std::map<QString, Bytes> FilesIn(const QString& folder)
{
    std::map<QString, Bytes> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        files[name] = ReadFileBytes(QFile::encodeName(QDir(folder).filePath(name)).toStdString());
    return files;
}

// A grey PNG of side x side, its pixels deflated: a few kilobytes.
Bytes LargeGreyPng(uint32_t side)
{
    const Bytes raw(std::size_t{side} * (side + 1), 0);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes zlib(size);
    EXPECT_EQ(compress2(zlib.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9), Z_OK);
    zlib.resize(size);
    Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    PutBe32(header, side);
    PutBe32(header, side);
    header.insert(header.end(), {8, 0, 0, 0, 0});
    PutPngChunk(png, "IHDR", header);
    PutPngChunk(png, "IDAT", zlib);
    PutPngChunk(png, "IEND", {});
    return png;
}

// One item of each kind among erased flash: a picture, two sounds (one named
// by its entry), a Java application with its icon, a file of the phone.
class ContentPagesTest : public FormTest {
protected:
    FlashImageBuilder ContentImage()
    {
        FlashImageBuilder image(64 * 1024, 0xFF);
        image.Put(1001, m_gif)
            .PutFileEntry(3000, Utf8ToCp1251("Звонок.mid"), static_cast<uint32_t>(m_midi.size()),
                          test_support::AsText(m_midi))
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

// The menu as "text+" (can) or "text-" (greyed), keys left out, "|" for a separator.
QString MenuState(const QMenu& menu)
{
    QStringList parts;
    for (const QAction* action : menu.actions())
        parts << (action->isSeparator() ? QStringLiteral("|")
                                        : action->text().section(u'\t', 0, 0) + (action->isEnabled() ? u'+' : u'-'));
    return parts.join(u' ');
}

// Every list's context menu offers what its selected rows can do, and only that.
TEST_F(ContentPagesTest, ContextMenusOfferWhatTheSelectedRowsCanDo)
{
    OpenImage(ContentImage());
    TForm1& f = Form();
    f.SearchAllContent();
    struct Case {
        const char* Name;
        std::function<QAbstractItemView*()> List;
        std::function<void()> Select;
        QString Expected;
    };
    const auto selectRows = [](ContentPage* page, std::vector<int> rows) {
        return [page, rows] {
            page->Table()->clearSelection();
            for (const int row : rows)
                page->Table()->selectionModel()->select(page->Table()->model()->index(row, 0),
                                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        };
    };
    const Case cases[] = {
        {"one sound, no audio output", [&]() -> QAbstractItemView* { return f.SoundsPage()->Table(); },
         selectRows(f.SoundsPage(), {0}),
         QStringLiteral("Сохранить+ Воспроизвести- Сохранить как WAV+ Открыть+ Показать в папке+ Копировать+ | "
                        "Смещения в hex+")},
        {"two sounds", [&]() -> QAbstractItemView* { return f.SoundsPage()->Table(); },
         selectRows(f.SoundsPage(), {0, 1}),
         QStringLiteral("Сохранить+ Воспроизвести- Сохранить как WAV+ Открыть- Показать в папке- Копировать+ | "
                        "Смещения в hex+")},
        {"nothing selected", [&]() -> QAbstractItemView* { return f.ApplicationsPage()->Table(); },
         selectRows(f.ApplicationsPage(), {}),
         QStringLiteral("Сохранить- Открыть- Показать в папке- Копировать- | Смещения в hex+")},
        {"one picture", [&]() -> QAbstractItemView* { return f.AllPictures()->Details(); },
         [&] { f.AllPictures()->SelectRows({0}); },
         QStringLiteral("Сохранить+ Открыть+ Показать в папке+ Копировать+ | Копировать картинку+ Смещения в hex+")},
        {"the design's list", [&]() -> QAbstractItemView* { return f.FileList(); }, [] {},
         QStringLiteral("Сохранить- Копировать-")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        c.Select();
        EXPECT_EQ(MenuState(*f.RowMenu(c.List())), c.Expected);
    }

    // "Показать в папке" opens the folder of the item's copy; where nothing can, the status bar says so.
    QList<QUrl> opened;
    bool opens = true;
    f.Seams().OpenUrl = [&](const QUrl& url) {
        opened << url;
        return opens;
    };
    const auto showInFolder = [&] {
        const std::unique_ptr<QMenu> menu = f.RowMenu(f.PhoneFilesPage()->Table());
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Показать в папке"))
                action->trigger();
    };
    selectRows(f.PhoneFilesPage(), {0})();
    showInFolder();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(
        ReadFileBytes(QFile::encodeName(QDir(opened[0].toLocalFile()).filePath(CellText(f.PhoneFilesPage(), 0, 0)))
                          .toStdString()),
        TextBytes("hello"));
    opens = false;
    showInFolder();
    EXPECT_TRUE(f.SaveSummaryText().startsWith(QStringLiteral("Нет программы, чтобы показать папку ")))
        << f.SaveSummaryText().toStdString();
}

// Sixty applications whose icons are 4096 x 4096: sizing the table decodes
// none of them on the window's thread (a file's icon stands in meanwhile);
// they are decoded off it to the side drawn, into the bounded cache.
TEST_F(ContentPagesTest, ApplicationIconsAreDecodedSmallOffTheWindowsThread)
{
    JarPlan plan = MidletPlan("Big");
    for (JarFile& file : plan.files)
        if (file.name == "icon.png")
            file.data = LargeGreyPng(4096);
    const Bytes jar = BuildJar(plan);
    const std::size_t step = jar.size() + 4096;
    FlashImageBuilder image(60 * step + 8192, 0xFF);
    for (std::size_t i = 0; i < 60; ++i)
        image.Put(4096 + i * step, jar);
    OpenImage(image);
    TForm1& f = Form();
    f.SearchAllContent();
    ContentPage* apps = f.ApplicationsPage();
    ASSERT_EQ(apps->RowCount(), 60);
    const ThumbnailDecoder* decoder = apps->Model()->IconDecoder();
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(decoder->CachedCount(), 0);
    // The newest request is decoded first: wait for the first icon, whichever it is.
    ASSERT_TRUE(QTest::qWaitFor([&] { return decoder->CachedCount() > 0; }, 60000));
    int ready = -1;
    for (int row = 0; row < apps->RowCount() && ready < 0; ++row)
        if (decoder->State(apps->Results()->Found.Items[apps->Model()->ItemOf(row)].Midlet) == ThumbnailState::Ready)
            ready = row;
    ASSERT_GE(ready, 0);
    const QIcon icon = apps->Model()->data(apps->Model()->index(ready, 0), Qt::DecorationRole).value<QIcon>();
    ASSERT_FALSE(icon.availableSizes().isEmpty());
    EXPECT_EQ(icon.availableSizes().front(), QSize(ContentListModel::kIconSide, ContentListModel::kIconSide));
    EXPECT_LE(decoder->CacheCost(), int64_t{60} * ContentListModel::kIconSide * ContentListModel::kIconSide * 4);
}

}  // namespace
}  // namespace kestrix::test_support
