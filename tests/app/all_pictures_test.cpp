#include "code_page.h"
#include "filter_bar.h"
#include "form_fixture.h"
#include "picture_builders.h"
#include "picture_gallery.h"
#include "picture_gallery_preview.h"
#include "picture_list.h"
#include "thumbnail_delegate.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QMovie>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QWheelEvent>

#include <algorithm>
#include <map>
#include <set>

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

// A GIF whose screen and image claim 60 rows while its LZW data give 6: whole
// in structure, but only the strict decode check finds its pixels short.
Bytes ShortPixelsGif()
{
    Bytes gif = BuildGif({});
    gif[8] = 60;
    const Bytes descriptor{0x2C, 0x00, 0x00, 0x00, 0x00};
    const auto image = std::search(gif.begin() + 13, gif.end(), descriptor.begin(), descriptor.end());
    image[7] = 60;
    return gif;
}

class AllPicturesTest : public FormTest {
protected:
    // Pictures of every kind among erased flash, one the data of the entry
    // "Заставка.gif", one cut short, one damaged. m_expected holds each row's
    // file name and bytes, in list order.
    FlashImageBuilder PicturesImage(std::size_t size = 64 * 1024)
    {
        FlashImageBuilder image(size, 0xFF);
        const Bytes gif87 = BuildGif({.gif87a = true});
        const Bytes jpeg = BuildJpeg({.thumbnail = true});
        const Bytes png = BuildPng({.width = 30, .height = 20, .idatChunks = 3});
        const Bytes named = BuildGif({.frames = 2});
        const Bytes bmp = BuildBmp({.bits = 24});
        const std::size_t cut = 60;
        image.Put(1001, gif87).Put(5003, jpeg).Put(9000, Bytes(png.begin(), png.begin() + cut));
        image.PutFileEntry(12000, Utf8ToCp1251("Заставка.gif"), static_cast<uint32_t>(named.size()),
                           std::string_view(reinterpret_cast<const char*>(named.data()), named.size()));
        image.Put(16000, ShortPixelsGif()).Put(20000, bmp);
        m_expected = {
            {QStringLiteral("Картинка (1).gif"), gif87}, {QStringLiteral("Картинка (2).jpg"), jpeg},
            {QStringLiteral("Картинка (3).png"), {}},  // truncated: its bytes are checked by the CLI tests
            {QStringLiteral("Заставка.gif"), named},     {QStringLiteral("Картинка (5).gif"), ShortPixelsGif()},
            {QStringLiteral("Картинка (6).bmp"), bmp},
        };
        return image;
    }

    // The window with PicturesImage opened and searched for every picture.
    TForm1& Searched()
    {
        OpenImage(PicturesImage());
        Form().SearchAllPictures();
        return Form();
    }

    std::vector<std::pair<QString, Bytes>> m_expected;
};

TEST_F(AllPicturesTest, MenuItemFillsThePageWithEveryPictureStrictlyChecked)
{
    OpenImage(PicturesImage());
    TForm1& f = Form();
    EXPECT_EQ(f.AllPicturesSearch()->text(), QStringLiteral("Поиск всех &картинок"));
    EXPECT_EQ(f.AllPicturesSearch()->shortcut(), QKeySequence(Qt::Key_F7));
    f.AllPicturesSearch()->trigger();

    EXPECT_EQ(f.ActivePage(), TForm1::kPicturesPage);
    const std::vector<FoundItem>& rows = f.AllPictures()->Rows();
    ASSERT_EQ(rows.size(), m_expected.size());
    EXPECT_EQ(&f.PictureRows(), &rows);
    std::vector<ItemStatus> statuses;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        statuses.push_back(rows[i].Status);
        EXPECT_EQ(PictureGalleryModel::Caption(rows[i], static_cast<int32_t>(i)), m_expected[i].first);
    }
    using enum ItemStatus;
    EXPECT_EQ(statuses, (std::vector<ItemStatus>{Complete, Complete, Truncated, Complete, Damaged, Complete}));
    EXPECT_EQ(f.StatusText(), QStringLiteral("Всего картинок: 6"));
    EXPECT_TRUE(f.AllPictures()->Selectable());
    EXPECT_FALSE(f.GaugeShown());
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(AllPicturesTest, SaveAndSaveAllWriteThePicturesBytesUnderTheirCaptions)
{
    OpenImage(PicturesImage());
    TForm1& f = Form();
    f.SearchAllPictures();
    const auto bytesOf = [this](std::size_t row) {
        const FoundItem& found = Form().PictureRows()[row];
        const auto& image = Form().Hex1().Bytes();
        return Bytes(image.begin() + found.Start, image.begin() + found.End);
    };

    const QString some = Path(QStringLiteral("some"));
    QDir().mkpath(some);
    f.AllPictures()->SelectRows({1, 3, 4});
    m_saveAnswers = {some + QStringLiteral("/any name")};
    f.SaveClick();
    const auto saved = FilesIn(some);
    ASSERT_EQ(saved.size(), 3u);
    for (const std::size_t row : {1u, 3u, 4u}) {
        EXPECT_EQ(saved.at(m_expected[row].first), m_expected[row].second) << row;
        EXPECT_EQ(saved.at(m_expected[row].first), bytesOf(row)) << row;
    }
    EXPECT_EQ(m_gaugeAtSaveDialog, std::vector<int>{3});
    EXPECT_TRUE(f.SaveSummaryText().startsWith(QStringLiteral("Сохранено 3 файла")))
        << f.SaveSummaryText().toStdString();

    const QString all = Path(QStringLiteral("all"));
    QDir().mkpath(all);
    m_saveAnswers = {all + QStringLiteral("/any name")};
    f.SaveAllRows();
    const auto everything = FilesIn(all);
    ASSERT_EQ(everything.size(), m_expected.size());
    for (std::size_t row = 0; row < m_expected.size(); ++row)
        EXPECT_EQ(everything.at(m_expected[row].first), bytesOf(row)) << row;
    EXPECT_TRUE(f.SaveSummaryText().startsWith(QStringLiteral("Сохранено 6 файлов")))
        << f.SaveSummaryText().toStdString();
    EXPECT_FALSE(f.GaugeShown());
    EXPECT_TRUE(m_errors.empty());
}

// The search yields every few MiB: meanwhile the commands are off and the
// gallery cannot be selected in; afterwards all is back.
TEST_F(AllPicturesTest, CommandsAreBlockedWhileTheSearchRuns)
{
    OpenImage(PicturesImage(12 * 1024 * 1024));
    TForm1& f = Form();
    struct {
        bool ran = false;
        bool running = false;
        bool anyEnabled = true;
        bool selectable = true;
        bool gaugeShown = false;
    } seen;
    QTimer::singleShot(0, &f, [&] {
        seen.ran = true;
        seen.running = f.ScanRunning();
        seen.anyEnabled = f.N2()->isEnabled() || f.N7()->isEnabled() || f.gif1()->isEnabled() ||
                          f.AllPicturesSearch()->isEnabled() || f.Save()->isEnabled() ||
                          f.SaveAllButton()->isEnabled() || f.OpenButton()->isEnabled();
        seen.selectable = f.AllPictures()->Selectable();
        seen.gaugeShown = f.GaugeShown();
        f.N2Click();  // must not run
        f.N7Click();
    });
    m_openAnswers = {Path(QStringLiteral("never-opened.bin"))};
    f.SearchAllPictures();
    ASSERT_TRUE(seen.ran);
    EXPECT_TRUE(seen.running);
    EXPECT_FALSE(seen.anyEnabled);
    EXPECT_FALSE(seen.selectable);
    EXPECT_TRUE(seen.gaugeShown);
    EXPECT_EQ(m_openAnswers.size(), 1u);
    EXPECT_TRUE(f.FileListRows().empty());
    EXPECT_EQ(f.AllPictures()->Rows().size(), m_expected.size());
    EXPECT_TRUE(f.AllPicturesSearch()->isEnabled());
    EXPECT_TRUE(f.AllPictures()->Selectable());
}

TEST_F(AllPicturesTest, PageIsClearedWhenTheImageIsReplacedOrALoadFails)
{
    OpenImage(PicturesImage());
    TForm1& f = Form();
    f.SearchAllPictures();
    ASSERT_FALSE(f.AllPictures()->Rows().empty());
    OpenImage(PicturesImage(), QStringLiteral("second.bin"));
    EXPECT_TRUE(f.AllPictures()->Rows().empty());
    EXPECT_TRUE(f.AllPictures()->Image().empty());
    EXPECT_TRUE(f.PictureRows().empty());

    f.SearchAllPictures();
    ASSERT_FALSE(f.AllPictures()->Rows().empty());
    m_openAnswers = {Path(QStringLiteral("missing.bin"))};
    f.N2Click();
    EXPECT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(f.AllPictures()->Rows().empty());
    EXPECT_TRUE(f.PictureRows().empty());
}

// Ctrl+C and the context menu's "Копировать" copy the selected pictures' rows
// from the grid and from the table alike (both show one selection).
TEST_F(AllPicturesTest, CopyWorksOnTheGridAndTheTable)
{
    OpenImage(PicturesImage());
    TForm1& f = Form();
    f.SearchAllPictures();
    f.show();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QClipboard* clipboard = QGuiApplication::clipboard();
    PictureGallery& gallery = *f.AllPictures();

    for (const auto mode : {PictureGallery::ViewMode::Thumbnails, PictureGallery::ViewMode::Details}) {
        gallery.SetMode(mode);
        QAbstractItemView* view = mode == PictureGallery::ViewMode::Thumbnails
                                      ? static_cast<QAbstractItemView*>(gallery.Grid())
                                      : static_cast<QAbstractItemView*>(gallery.Details());
        SCOPED_TRACE(view->objectName().toStdString());
        EXPECT_EQ(view->contextMenuPolicy(), Qt::CustomContextMenu);
        EXPECT_TRUE(view->actions().contains(f.CopyRows()));

        clipboard->setText(QStringLiteral("before"));
        gallery.SelectRows({4, 1});
        view->setFocus();
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = clipboard->text().split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 3) << clipboard->text().toStdString();
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Картинка (2).jpg\tjpg\t5003\t"))) << lines[0].toStdString();
        EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\tЦелая"))) << lines[0].toStdString();
        EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Картинка (5).gif\tgif\t16000\t"))) << lines[1].toStdString();
        EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\tПовреждена"))) << lines[1].toStdString();
        EXPECT_EQ(lines[2], QString());
    }
    gallery.ClearSelection();
    clipboard->setText(QStringLiteral("before"));
    f.CopyRows()->trigger();
    EXPECT_EQ(clipboard->text(), QStringLiteral("before"));
}

// Passing over pictures that do not decode opens no box: the preview says so.
TEST_F(AllPicturesTest, AnUndecodablePictureIsToldInThePreviewPane)
{
    OpenImage(PicturesImage());
    TForm1& f = Form();
    f.SearchAllPictures();
    f.show();
    PictureGallery& gallery = *f.AllPictures();
    for (const int32_t row : {4, 2, 4, 0}) {
        gallery.SelectRows({row});
        const QString expected = row == 0 ? QString() : QStringLiteral("Картинка не раскодируется");
        EXPECT_TRUE(QTest::qWaitFor([&] { return gallery.Preview()->Message() == expected; }))
            << row << ": " << gallery.Preview()->Message().toStdString();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !gallery.Preview()->Picture().isNull(); }));
    EXPECT_TRUE(m_errors.empty());
}

// "Сохранить все" saves the rows the filter shows, "Сохранить" the selected
// ones among them, and the summary says which.
TEST_F(AllPicturesTest, SavingFollowsTheFilterAndTheSummarySaysWhich)
{
    TForm1& f = Searched();
    PictureGallery& gallery = *f.AllPictures();
    FilterBar& filter = *gallery.Filter();
    const auto saveAllInto = [&](const QString& name) {
        const QString folder = Path(name);
        QDir().mkpath(folder);
        m_saveAnswers = {folder + QStringLiteral("/any name")};
        f.SaveAllRows();
        std::vector<QString> names;
        for (const auto& [file, bytes] : FilesIn(folder))
            names.push_back(file);
        return names;
    };

    filter.SetText(QStringLiteral("  заСТАвка "));
    EXPECT_EQ(gallery.ShownRows(), std::vector<int32_t>{3});
    EXPECT_EQ(filter.CountLabel()->text(), QStringLiteral("показано 1 из 6"));
    EXPECT_EQ(saveAllInto(QStringLiteral("named")), std::vector<QString>{QStringLiteral("Заставка.gif")});
    EXPECT_TRUE(f.SaveSummaryText().startsWith(QStringLiteral("Сохранён 1 файл из 1 показанной фильтром в ")))
        << f.SaveSummaryText().toStdString();

    filter.SetText({});
    filter.SetOnlyFlawed(true);
    EXPECT_EQ(gallery.ShownRows(), (std::vector<int32_t>{2, 4}));
    EXPECT_EQ(saveAllInto(QStringLiteral("flawed")),
              (std::vector<QString>{QStringLiteral("Картинка (3).png"), QStringLiteral("Картинка (5).gif")}));
    EXPECT_TRUE(f.SaveSummaryText().startsWith(QStringLiteral("Сохранено 2 файла из 2 показанных фильтром")))
        << f.SaveSummaryText().toStdString();

    // A hidden row cannot stay selected.
    gallery.SelectRows({0, 4});
    EXPECT_EQ(gallery.SelectedRows(), std::vector<int32_t>{4});
    const QString some = Path(QStringLiteral("selected"));
    QDir().mkpath(some);
    m_saveAnswers = {some + QStringLiteral("/any name")};
    f.SaveClick();
    EXPECT_EQ(FilesIn(some).size(), 1u);
    EXPECT_TRUE(f.SaveSummaryText().startsWith(QStringLiteral("Сохранён 1 файл из 1 выбранной в ")))
        << f.SaveSummaryText().toStdString();

    filter.SetText(QStringLiteral("нет такого"));
    EXPECT_TRUE(saveAllInto(QStringLiteral("none")).empty());
    EXPECT_EQ(f.SaveSummaryText(), QStringLiteral("Ничего не сохранено: фильтр скрывает все строки"));

    filter.SetText({});
    filter.SetOnlyFlawed(false);
    EXPECT_EQ(filter.CountLabel()->text(), QString());
    EXPECT_EQ(saveAllInto(QStringLiteral("all")).size(), m_expected.size());
    EXPECT_TRUE(f.SaveSummaryText().startsWith(QStringLiteral("Сохранено 6 файлов в ")))
        << f.SaveSummaryText().toStdString();
    EXPECT_TRUE(m_errors.empty());
}

// The table's start and end read in hex when asked; the order stays numeric
// and Ctrl+C copies what the table shows.
TEST_F(AllPicturesTest, HexOffsetsChangeTheTableTextButNotItsOrder)
{
    TForm1& f = Searched();
    PictureGallery& gallery = *f.AllPictures();
    QTreeView& table = *gallery.Details();
    EXPECT_TRUE(table.actions().contains(gallery.HexOffsetsAction()));
    const auto cell = [&](int row, int column) { return table.model()->index(row, column).data().toString(); };
    EXPECT_EQ(cell(0, PictureGalleryModel::kStartColumn), QStringLiteral("1001"));

    gallery.HexOffsetsAction()->trigger();
    EXPECT_TRUE(gallery.HexOffsets());
    table.sortByColumn(PictureGalleryModel::kStartColumn, Qt::DescendingOrder);
    QStringList starts;
    for (int r = 0; r < table.model()->rowCount(); ++r)
        starts << cell(r, PictureGalleryModel::kStartColumn);
    // 20000, 16000, 12000 + 38 (the entry's data), 9000, 5003, 1001.
    EXPECT_EQ(starts.join(u' '), QStringLiteral("0x4E20 0x3E80 0x2F06 0x2328 0x138B 0x3E9"));
    EXPECT_EQ(cell(5, PictureGalleryModel::kSizeColumn), QString::number(m_expected[0].second.size()));

    gallery.SelectRows({1});
    QGuiApplication::clipboard()->clear();
    f.CopyRows()->trigger();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("Картинка (2).jpg\tjpg\t0x138B\t")))
        << QGuiApplication::clipboard()->text().toStdString();

    gallery.SetHexOffsets(false);
    EXPECT_EQ(cell(5, PictureGalleryModel::kStartColumn), QStringLiteral("1001"));
}

// "Копировать картинку" puts the shown picture's pixels on the clipboard; a
// picture that does not decode leaves the clipboard as it was.
TEST_F(AllPicturesTest, CopyPicturePutsThePixelsOnTheClipboard)
{
    TForm1& f = Searched();
    PictureGallery& gallery = *f.AllPictures();
    QClipboard* clipboard = QGuiApplication::clipboard();
    EXPECT_TRUE(gallery.Grid()->actions().contains(gallery.CopyPictureAction()));

    gallery.SelectRows({5});
    clipboard->setText(QStringLiteral("before"));
    gallery.CopyPictureAction()->trigger();
    const QImage copied = clipboard->image();
    const FoundItem& bmp = f.PictureRows()[5];
    ASSERT_EQ(copied.size(), QSize(bmp.Width, bmp.Height));
    const QImage own = QImage::fromData(m_expected[5].second.data(), static_cast<int>(m_expected[5].second.size()));
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32), own.convertToFormat(QImage::Format_RGB32));

    for (const int32_t row : {2, 4}) {
        gallery.SelectRows({row});
        clipboard->setText(QStringLiteral("before"));
        EXPECT_FALSE(gallery.CopyPicture()) << row;
        EXPECT_EQ(clipboard->text(), QStringLiteral("before")) << row;
        // The context menu's item is greyed out once the large view knows.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !gallery.CopyPictureAction()->isEnabled(); })) << row;
    }
}

// The large view zooms by steps, to 1:1 and back to fit; enlarged pixels stay
// square blocks of one colour; an animated GIF plays.
TEST_F(AllPicturesTest, LargeViewZoomsSharplyAndPlaysAnimations)
{
    TForm1& f = Searched();
    f.show();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    PictureGallery& gallery = *f.AllPictures();
    PictureGalleryPreview& preview = *gallery.Preview();
    gallery.SelectRows({5});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !preview.Picture().isNull(); }));
    EXPECT_TRUE(preview.Fitted());
    EXPECT_EQ(gallery.Movie(), nullptr);

    gallery.ZoomActualButton()->click();
    EXPECT_EQ(preview.PictureRect().size(), QSize(5, 3));
    EXPECT_EQ(gallery.ZoomLabel()->text(), QStringLiteral("100 %"));
    preview.ZoomIn();
    EXPECT_DOUBLE_EQ(preview.ShownScale(), 1.25);
    QWheelEvent down(QPointF(5, 5), preview.mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&preview, &down);
    EXPECT_DOUBLE_EQ(preview.ShownScale(), 1.0);

    preview.SetZoom(20);
    const QRect shown = preview.PictureRect();
    ASSERT_EQ(shown.size(), QSize(100, 60));
    const QImage grabbed = preview.grab().toImage();
    std::set<QRgb> colours;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x) {
            const QRgb block = grabbed.pixel(shown.left() + x / 20 * 20, shown.top() + y / 20 * 20);
            ASSERT_EQ(grabbed.pixel(shown.left() + x, shown.top() + y), block) << x << ", " << y;
            colours.insert(block);
        }
    EXPECT_GT(colours.size(), 1u);

    gallery.Grid()->setFocus();
    QTest::keyClick(gallery.Grid(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_TRUE(preview.Fitted());
    QTest::keyClick(gallery.Grid(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(preview.ShownScale(), 1.0);
    gallery.ZoomFitButton()->click();
    EXPECT_TRUE(preview.Fitted());

    gallery.SelectRows({3});
    ASSERT_TRUE(QTest::qWaitFor([&] { return gallery.Movie() != nullptr; }));
    EXPECT_EQ(gallery.Movie()->state(), QMovie::Running);
    EXPECT_EQ(gallery.Movie()->frameCount(), 2);
    gallery.SelectRows({0});
    EXPECT_EQ(gallery.Movie(), nullptr);
}

// Ctrl+wheel over the grid and the slider size the thumbnails, within bounds.
TEST_F(AllPicturesTest, ThumbnailSizeFollowsCtrlWheelAndTheSlider)
{
    TForm1& f = Searched();
    PictureGallery& gallery = *f.AllPictures();
    QWidget* viewport = gallery.Grid()->viewport();
    const auto wheel = [&](int delta, Qt::KeyboardModifiers keys) {
        QWheelEvent event(QPointF(5, 5), viewport->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, delta), Qt::NoButton, keys,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    };
    const int start = gallery.ThumbnailSide();
    const int cell = gallery.Grid()->gridSize().width();
    wheel(120, Qt::ControlModifier);
    EXPECT_EQ(gallery.ThumbnailSide(), start + 16);
    EXPECT_EQ(gallery.Grid()->gridSize().width(), cell + 16);
    EXPECT_EQ(gallery.ThumbnailSlider()->value(), start + 16);
    wheel(-120, Qt::NoModifier);  // scrolls, sizes nothing
    EXPECT_EQ(gallery.ThumbnailSide(), start + 16);

    gallery.ThumbnailSlider()->setValue(ThumbnailDelegate::kMinSide);
    EXPECT_EQ(gallery.ThumbnailSide(), ThumbnailDelegate::kMinSide);
    wheel(-120, Qt::ControlModifier);
    EXPECT_EQ(gallery.ThumbnailSide(), ThumbnailDelegate::kMinSide);
    gallery.SetThumbnailSide(1000);
    EXPECT_EQ(gallery.ThumbnailSide(), ThumbnailDelegate::kMaxSide);
}

// A double click opens a scratch copy of the picture with the desktop's
// program; a drag carries scratch copies' file URLs. Each copy holds exactly
// the picture's bytes, in the cache folder, under the picture's caption.
TEST_F(AllPicturesTest, DoubleClickAndDragHandOutScratchCopies)
{
    TForm1& f = Searched();
    f.show();
    PictureGallery& gallery = *f.AllPictures();
    std::vector<QUrl> opened;
    gallery.SetUrlOpener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    const QString cache = Path(QStringLiteral("cache"));
    const auto bytesAt = [](const QUrl& url) {
        return ReadFileBytes(QFile::encodeName(url.toLocalFile()).toStdString());
    };

    gallery.SetMode(PictureGallery::ViewMode::Details);
    QTreeView& table = *gallery.Details();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    const QRect cell = table.visualRect(table.model()->index(3, 0));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].toLocalFile().startsWith(cache)) << opened[0].toLocalFile().toStdString();
    EXPECT_TRUE(opened[0].toLocalFile().endsWith(QStringLiteral("/Заставка.gif")));
    EXPECT_EQ(bytesAt(opened[0]), m_expected[3].second);

    QAbstractItemModel& shown = *table.model();
    std::unique_ptr<QMimeData> dragged(shown.mimeData({shown.index(5, 0), shown.index(1, 2), shown.index(1, 0)}));
    ASSERT_NE(dragged, nullptr);
    const QList<QUrl> urls = dragged->urls();
    ASSERT_EQ(urls.size(), 2);
    EXPECT_EQ(bytesAt(urls[0]), m_expected[1].second);
    EXPECT_EQ(bytesAt(urls[1]), m_expected[5].second);
    EXPECT_TRUE(table.dragEnabled() && gallery.Grid()->dragEnabled());
}

}  // namespace
}  // namespace kestrix::test_support
