// How long the window takes to open a large image against a plain read of the
// file into a 2 MiB-aligned block advised for huge pages, how well it answers
// while it scans the image, and what the scans cost inside the window against
// the same scans called directly.
//
//   window_probe [--runs N] IMAGE
//   window_probe [--screenshot PNG] [--open-dialog PNG] [--pictures PNG] [--sounds PNG]
//                [--applications PNG] IMAGE
//   window_probe [--filtered PNG] [--zoomed PNG] [--recent-menu PNG] IMAGE
//   window_probe --memory IMAGE
//
// The window is shown on whatever platform Qt picks (under Xvfb: xcb) and the
// image is opened through the open dialog's seam. A 1 ms timer runs during each
// scan; the longest time between two of its firings (counting from the scan's
// start to the first firing and from the last firing to the scan's end) is how
// long the window did not answer. With --screenshot the window instead shows
// both scans' results with a picture previewed and is saved as a PNG; with
// --open-dialog the open dialog, in Russian, in a folder holding the image is
// saved as a PNG; with --pictures the page "Все картинки" after the deep
// picture search, its thumbnails decoded and one picture shown large;
// --filtered that page's table sorted by size, filtered by a name part and
// showing offsets in hex; --zoomed a picture there zoomed in; --recent-menu
// the screen around the window with Файл / Недавние образы open, after three
// images were opened; --sounds and --applications those pages after the
// content search, a voice note playing. Without any of them the content search
// is timed like the scans.
// With --memory the window runs each scan once and the probe reports the rows
// listed and the process's peak memory.
//
// The probe works in a temporary folder with its own settings and cache homes,
// so neither the user's settings nor the user's cache (the preview's scratch
// file) are touched.
#include "content_page.h"
#include "content_search.h"
#include "file_dialog.h"
#include "file_entry_scan.h"
#include "filter_bar.h"
#include "form1.h"
#include "graphics_scan.h"
#include "picture_check.h"
#include "picture_gallery.h"
#include "picture_gallery_preview.h"
#include "probe_timing.h"
#include "qt_translations.h"
#include "read_baseline.h"
#include "result_list_view.h"
#include "sound_decoder.h"
#include "sound_player_bar.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>

namespace {

using kestrix::TForm1;
using kestrix::bench::Milliseconds;
using kestrix::bench::RunEventsFor;
using kestrix::bench::TimeWithPing;

struct ScanFigures {
    double LongestGapMs = 0;
    double WindowMs = std::numeric_limits<double>::max();
    double PlainMs = std::numeric_limits<double>::max();
};

qint64 TimePlain(const std::function<void()>& command)
{
    QElapsedTimer clock;
    clock.start();
    command();
    return clock.nsecsElapsed();
}

// The process's peak resident memory in KiB, or -1.
long PeakKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

int Fail(const char* message)
{
    std::fprintf(stderr, "window_probe: %s\n", message);
    return 1;
}

// The GIF row among the first ones whose picture is largest, or -1.
int32_t LargeGifRow(TForm1& form)
{
    const kestrix::FoundRows* rows = form.Finded()->Model().Found();
    int32_t best = -1;
    int32_t bestArea = 0;
    for (std::size_t i = 0; rows != nullptr && i < rows->Count() && i < 40; ++i) {
        if ((*rows)[i].Type != kestrix::ItemType::Gif)
            continue;
        const int32_t start = (*rows)[i].Start;
        if (start < 0 || start + 10 > form.Hex1().DataSize())
            continue;
        const int32_t width = form.Hex1().ByteAt(start + 6) | form.Hex1().ByteAt(start + 7) << 8;
        const int32_t height = form.Hex1().ByteAt(start + 8) | form.Hex1().ByteAt(start + 9) << 8;
        if (width * height > bestArea && width <= 160 && height <= 160) {
            bestArea = width * height;
            best = static_cast<int32_t>(i);
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--hex")
        return kestrix::bench::RunHexProbe(argc, argv);
    if (argc > 1 && (QByteArray(argv[1]) == "--sorts" || QByteArray(argv[1]).startsWith("--close-")))
        return kestrix::bench::RunSortProbe(argc, argv);
    QString screenshot;
    QString openDialog;
    QString pictures;
    QString sounds;
    QString applications;
    QString filtered;
    QString zoomed;
    QString recentMenu;
    QString image;
    int runs = 3;
    bool memory = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QStringLiteral("--screenshot") && i + 1 < argc)
            screenshot = QString::fromLocal8Bit(argv[++i]);
        else if (arg == QStringLiteral("--open-dialog") && i + 1 < argc)
            openDialog = QString::fromLocal8Bit(argv[++i]);
        else if (arg == QStringLiteral("--pictures") && i + 1 < argc)
            pictures = QString::fromLocal8Bit(argv[++i]);
        else if (arg == QStringLiteral("--sounds") && i + 1 < argc)
            sounds = QFileInfo(QString::fromLocal8Bit(argv[++i])).absoluteFilePath();
        else if (arg == QStringLiteral("--applications") && i + 1 < argc)
            applications = QFileInfo(QString::fromLocal8Bit(argv[++i])).absoluteFilePath();
        else if (arg == QStringLiteral("--filtered") && i + 1 < argc)
            filtered = QFileInfo(QString::fromLocal8Bit(argv[++i])).absoluteFilePath();
        else if (arg == QStringLiteral("--zoomed") && i + 1 < argc)
            zoomed = QFileInfo(QString::fromLocal8Bit(argv[++i])).absoluteFilePath();
        else if (arg == QStringLiteral("--recent-menu") && i + 1 < argc)
            recentMenu = QFileInfo(QString::fromLocal8Bit(argv[++i])).absoluteFilePath();
        else if (arg == QStringLiteral("--memory"))
            memory = true;
        else if (arg == QStringLiteral("--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (!arg.startsWith(QLatin1Char('-')) && image.isEmpty())
            image = arg;
        else
            image.clear(), i = argc;
    }
    if (image.isEmpty()) {
        std::fprintf(stderr, "usage: window_probe [--runs N] IMAGE\n"
                             "       window_probe [--screenshot PNG] [--open-dialog PNG] [--pictures PNG] "
                             "[--sounds PNG] [--applications PNG] IMAGE\n"
                             "       window_probe [--filtered PNG] [--zoomed PNG] [--recent-menu PNG] IMAGE\n"
                             "       window_probe --memory IMAGE\n");
        return 2;
    }
    image = QFileInfo(image).absoluteFilePath();
    if (!screenshot.isEmpty())
        screenshot = QFileInfo(screenshot).absoluteFilePath();
    if (!openDialog.isEmpty())
        openDialog = QFileInfo(openDialog).absoluteFilePath();
    if (!pictures.isEmpty())
        pictures = QFileInfo(pictures).absoluteFilePath();

    QTemporaryDir home;
    if (!home.isValid())
        return Fail("cannot make a temporary folder");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path()));
    QDir::setCurrent(home.path());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrix"));
    // Whatever the machine's language, the pictures show the Russian window.
    kestrix::InstallQtTranslations(app, QLocale(QLocale::Russian, QLocale::Russia));

    QString error;
    kestrix::FormSeams seams;
    seams.OpenFile = [&image](const kestrix::FileDialog&) { return image; };
    seams.SaveFile = [](const kestrix::FileDialog&) { return QString(); };
    seams.ErrorBox = [&error](const QString& text) { error = text; };
    TForm1 form(seams);
    form.show();
    RunEventsFor(200);

    form.N2Click();
    if (!error.isEmpty())
        return Fail(error.toLocal8Bit().constData());
    RunEventsFor(100);

    if (!screenshot.isEmpty()) {
        form.N7Click();
        form.gif1Click();
        form.Page()->setCurrentIndex(TForm1::kGraphicsPage);
        RunEventsFor(100);
        const int32_t row = LargeGifRow(form);
        if (row >= 0) {
            form.Finded()->SelectRows({row});
            form.Finded()->scrollTo(form.Finded()->Model().index(row, 0));
        }
        RunEventsFor(500);
        if (!error.isEmpty())
            return Fail(error.toLocal8Bit().constData());
        if (!form.grab().save(screenshot, "PNG"))
            return Fail("cannot write the screenshot");
        std::printf("%s: %dx%d, %zu files, %zu pictures, preview of row %d\n", screenshot.toLocal8Bit().constData(),
                    form.width(), form.height(), form.FileList()->Model().RowCount(), form.Finded()->Model().RowCount(),
                    row);
    }

    if (!pictures.isEmpty()) {
        form.SearchAllPictures();
        // The JPEG the sample holds among its first rows, shown large.
        const auto& rows = form.AllPictures()->Rows();
        const auto jpeg = std::find_if(rows.begin(), rows.end(), [](const kestrix::FoundItem& row) {
            return row.Type == kestrix::ItemType::Jpeg;
        });
        if (jpeg != rows.end())
            form.AllPictures()->SelectRows({static_cast<int32_t>(jpeg - rows.begin())});
        RunEventsFor(1500);
        if (!error.isEmpty())
            return Fail(error.toLocal8Bit().constData());
        if (!form.grab().save(pictures, "PNG"))
            return Fail("cannot write the pictures page");
        std::printf("%s: %zu pictures\n", pictures.toLocal8Bit().constData(), rows.size());
    }

    if (!sounds.isEmpty() || !applications.isEmpty()) {
        form.SearchAllContent();
        if (!applications.isEmpty()) {
            form.Page()->setCurrentIndex(kestrix::TForm1::kApplicationsPage);
            RunEventsFor(500);
            if (!form.grab().save(applications, "PNG"))
                return Fail("cannot write the applications page");
            std::printf("%s: %d applications\n", applications.toLocal8Bit().constData(),
                        form.ApplicationsPage()->RowCount());
        }
        if (!sounds.isEmpty()) {
            form.Page()->setCurrentIndex(kestrix::TForm1::kSoundsPage);
            // The voice note plays: the bar shows it moving.
            QTableView* table = form.SoundsPage()->Table();
            table->setFocus();
            table->selectRow(1);
            kestrix::SoundPlayerBar* bar = form.SoundsPage()->Player();
            bar->TogglePlay();
            // Until the bar has moved a second into the sound (the audio
            // output takes a moment to start).
            for (int wait = 0; wait < 50 && bar->Position()->value() < 1000; ++wait)
                RunEventsFor(100);
            std::printf("%s: playing %s, %s\n", sounds.toLocal8Bit().constData(),
                        bar->Player().Playing() ? "yes" : "no", bar->TimeText()->text().toUtf8().constData());
            if (!form.grab().save(sounds, "PNG"))
                return Fail("cannot write the sounds page");
        }
    }

    if (!filtered.isEmpty() || !zoomed.isEmpty()) {
        if (form.PictureRows().empty())
            form.SearchAllPictures();
        kestrix::PictureGallery& gallery = *form.AllPictures();
        gallery.ClearSelection();
        const auto& rows = gallery.Rows();
        if (!filtered.isEmpty()) {
            gallery.SetMode(kestrix::PictureGallery::ViewMode::Details);
            gallery.Details()->sortByColumn(kestrix::PictureGalleryModel::kSizeColumn, Qt::DescendingOrder);
            gallery.SetHexOffsets(true);
            gallery.Filter()->SetText(QStringLiteral("(1"));
            if (gallery.Details()->model()->rowCount() > 0)
                gallery.Details()->setCurrentIndex(gallery.Details()->model()->index(0, 0));
            RunEventsFor(1000);
            if (!form.grab().save(filtered, "PNG"))
                return Fail("cannot write the filtered list");
            std::printf("%s: %d of %zu pictures shown\n", filtered.toLocal8Bit().constData(),
                        gallery.Details()->model()->rowCount(), rows.size());
            gallery.Filter()->SetText({});
            gallery.SetHexOffsets(false);
            gallery.Details()->sortByColumn(-1, Qt::AscendingOrder);
            gallery.SetMode(kestrix::PictureGallery::ViewMode::Thumbnails);
        }
        if (!zoomed.isEmpty()) {
            // The largest whole picture, zoomed to twice its fitted scale: its pixels show.
            int32_t best = -1;
            for (std::size_t i = 0; i < rows.size(); ++i)
                if (rows[i].Status == kestrix::ItemStatus::Complete &&
                    (best < 0 ||
                     int64_t{rows[i].Width} * rows[i].Height > int64_t{rows[static_cast<std::size_t>(best)].Width} *
                                                                   rows[static_cast<std::size_t>(best)].Height))
                    best = static_cast<int32_t>(i);
            if (best >= 0) {
                gallery.SelectRows({best});
                const QModelIndexList chosen = gallery.Grid()->selectionModel()->selectedIndexes();
                if (!chosen.isEmpty())
                    gallery.Grid()->scrollTo(chosen.front());
            }
            RunEventsFor(800);
            gallery.Preview()->SetZoom(gallery.Preview()->ShownScale() * 2);
            RunEventsFor(800);
            if (!form.grab().save(zoomed, "PNG"))
                return Fail("cannot write the zoomed view");
            std::printf("%s: row %d at %.0f %%\n", zoomed.toLocal8Bit().constData(), best,
                        gallery.Preview()->ShownScale() * 100);
        }
    }

    if (!recentMenu.isEmpty()) {
        // Images as a user keeps them, under their phones' names, opened in turn.
        const QString folder = QDir::temp().filePath(QStringLiteral("Прошивки"));
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        const QString names[] = {QStringLiteral("V3i_R4441D_G_08.01.03R.bin"),
                                 QStringLiteral("K1_R452F_G_08.03.08R.bin"),
                                 QStringLiteral("E398_R373_G_0E.30.49R.bin")};
        for (const QString& name : names) {
            if (!QFile::copy(image, folder + u'/' + name))
                return Fail("cannot copy the image for the recent menu");
            form.OpenFile(folder + u'/' + name);
        }
        RunEventsFor(200);
        QMenu* file = form.menuBar()->actions().front()->menu();
        file->popup(form.mapToGlobal(form.menuBar()->actionGeometry(form.menuBar()->actions().front()).bottomLeft()));
        RunEventsFor(300);
        file->setActiveAction(form.RecentMenu()->menuAction());
        form.RecentMenu()->popup(file->mapToGlobal(file->actionGeometry(form.RecentMenu()->menuAction()).topRight()));
        RunEventsFor(600);
        const QRect around = form.frameGeometry();
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, around.x(), around.y(), around.width(),
                                                                          std::min(around.height(), 300));
        file->hide();
        QDir(folder).removeRecursively();
        if (!shot.save(recentMenu, "PNG"))
            return Fail("cannot write the recent menu's picture");
        std::printf("%s: %dx%d\n", recentMenu.toLocal8Bit().constData(), shot.width(), shot.height());
    }

    if (memory) {
        const long loaded = PeakKib();
        form.N7Click();
        form.gif1Click();
        RunEventsFor(100);
        if (!error.isEmpty())
            return Fail(error.toLocal8Bit().constData());
        std::printf("image: %s (%d MiB), platform %s\n", image.toLocal8Bit().constData(), form.Hex1().DataSize() >> 20,
                    QApplication::platformName().toLocal8Bit().constData());
        std::printf("rows: %zu files, %zu pictures\n", form.FileList()->Model().RowCount(),
                    form.Finded()->Model().RowCount());
        std::printf("peak memory: %ld MiB with the image open, %ld MiB after both scans\n", loaded / 1024,
                    PeakKib() / 1024);
        return 0;
    }
    if (!openDialog.isEmpty()) {
        // A folder as a user keeps it: two images under their phones' names.
        // Its path shows in the picture, so it is not a random one.
        const QString folder = QDir::temp().filePath(QStringLiteral("Прошивки"));
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        for (const QString& name :
             {QStringLiteral("E398_R373_G_0E.30.49R.bin"), QStringLiteral("V3i_R4441D_G_08.01.03R.bin")}) {
            if (!QFile::copy(image, folder + u'/' + name))
                return Fail("cannot copy the image for the open dialog");
        }
        kestrix::FileDialog chosen = form.OpenDialog1();
        chosen.FileName = folder + QStringLiteral("/V3i_R4441D_G_08.01.03R.bin");
        const auto dialog = kestrix::MakeOpenDialog(&form, chosen);
        dialog->show();
        // The folder's files are listed by a background thread.
        RunEventsFor(1000);
        if (!dialog->grab().save(openDialog, "PNG"))
            return Fail("cannot write the open dialog's picture");
        std::printf("%s: %dx%d\n", openDialog.toLocal8Bit().constData(), dialog->width(), dialog->height());
        QDir(folder).removeRecursively();
    }
    if (!screenshot.isEmpty() || !openDialog.isEmpty() || !pictures.isEmpty() || !sounds.isEmpty() ||
        !applications.isEmpty() || !filtered.isEmpty() || !zoomed.isEmpty() || !recentMenu.isEmpty())
        return 0;

    // Opening again through the menu, taking turns with the plain read.
    double openMs = std::numeric_limits<double>::max();
    double readMs = std::numeric_limits<double>::max();
    const std::string imagePath = QFile::encodeName(image).toStdString();
    for (int run = 0; run < runs; ++run) {
        readMs = std::min(readMs, Milliseconds(TimePlain([&imagePath] {
                              kestrix::bench::ReadWhole(imagePath, kestrix::bench::ReadBlock::HugePages);
                          })));
        openMs = std::min(openMs, Milliseconds(TimePlain([&form] { form.N2Click(); })));
        RunEventsFor(50);
    }
    if (!error.isEmpty())
        return Fail(error.toLocal8Bit().constData());

    // The plain scans select their matches in the buffer they search, so they
    // run over a copy of the image of their own.
    kestrix::THexBuffer plainImage;
    plainImage.LoadFromFile(imagePath);
    ScanFigures files;
    ScanFigures graphics;
    ScanFigures content;
    std::size_t fileRows = 0;
    std::size_t pictureRows = 0;
    std::size_t contentRows = 0;
    const auto measure = [&form](ScanFigures& figures, void (TForm1::*command)(),
                                 const std::function<std::size_t()>& plainScan, std::size_t& rows) {
        figures.PlainMs = std::min(figures.PlainMs, Milliseconds(TimePlain([&] { rows = plainScan(); })));
        qint64 gap = 0;
        const qint64 window = TimeWithPing([&] { (form.*command)(); }, gap);
        figures.WindowMs = std::min(figures.WindowMs, Milliseconds(window));
        figures.LongestGapMs = std::max(figures.LongestGapMs, Milliseconds(gap));
        RunEventsFor(50);
    };
    for (int run = 0; run < runs; ++run) {
        measure(
            files, &TForm1::N7Click,
            [&plainImage] {
                kestrix::FoundRows rows;
                kestrix::ScanFileEntries(plainImage, {}, rows);
                return rows.Count();
            },
            fileRows);
        measure(
            graphics, &TForm1::gif1Click,
            [&plainImage] {
                kestrix::FoundRows rows;
                kestrix::ScanGraphics(plainImage, {}, rows);
                return rows.Count();
            },
            pictureRows);
        measure(
            content, &TForm1::SearchAllContent,
            [&plainImage] {
                kestrix::ScanHooks hooks;
                hooks.DecodeCheck = kestrix::CheckPicture;
                return kestrix::FindAllContent(plainImage.Bytes(), hooks, kestrix::CheckSound)->Items.size();
            },
            contentRows);
    }
    if (!error.isEmpty())
        return Fail(error.toLocal8Bit().constData());
    if (form.FileList()->Model().RowCount() != fileRows || form.Finded()->Model().RowCount() != pictureRows)
        return Fail("the window's rows differ from the plain scans' rows");

    std::printf("image: %s (%d MiB), platform %s, best of %d runs, longest gap of all\n",
                image.toLocal8Bit().constData(), form.Hex1().DataSize() >> 20,
                QApplication::platformName().toLocal8Bit().constData(), runs);
    std::printf("open: %.1f ms in the window, %.1f ms read into a block on huge pages, ratio %.2f\n", openMs, readMs,
                readMs > 0 ? openMs / readMs : 0.0);
    std::printf("%-9s %8s %15s %11s %10s %7s\n", "scan", "rows", "longest_gap_ms", "window_ms", "plain_ms", "ratio");
    const auto line = [](const char* name, std::size_t rows, const ScanFigures& figures) {
        std::printf("%-9s %8zu %15.1f %11.1f %10.1f %7.2f\n", name, rows, figures.LongestGapMs, figures.WindowMs,
                    figures.PlainMs, figures.PlainMs > 0 ? figures.WindowMs / figures.PlainMs : 0.0);
    };
    line("files", fileRows, files);
    line("graphics", pictureRows, graphics);
    line("content", contentRows, content);
    return 0;
}
