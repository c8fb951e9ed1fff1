// How well the window answers while it sorts, filters and saves the long
// lists of a content search, and how long the process takes to end after its
// window closes.
//
//   window_probe --sorts IMAGE [PNG]
//   window_probe --close-times IMAGE
//
// --sorts runs the content search, then on the page of most items (and on
// "Все картинки" when it holds pictures) sorts by name both ways, by size and
// by start, filters the names and saves what the filter shows, each with a
// 1 ms timer firing around it: the longest time between two firings is how
// long the window did not answer. A sort counts until its order is shown.
// With PNG, the window as the first sort runs is saved there.
//
// --close-times starts this program again for each case (nothing, each scan,
// a sound played), which opens the image, does what the case says, closes
// its window as the user would and tells when; the time from there to the
// end of its process is printed.
#include "content_page.h"
#include "file_dialog.h"
#include "filter_bar.h"
#include "form1.h"
#include "picture_gallery.h"
#include "picture_sort_model.h"
#include "probe_timing.h"
#include "qt_translations.h"
#include "sound_player.h"
#include "sound_player_bar.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>

#include <chrono>
#include <cstdio>
#include <functional>

namespace kestrix::bench {
namespace {

int64_t MonotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The settings and cache homes of a probe run, and the window on its image.
struct ProbeWindow {
    QTemporaryDir Home;
    QString Image;
    QString SaveTarget;
    QString Error;
    std::unique_ptr<QApplication> App;
    std::unique_ptr<TForm1> Form;

    // False, having said why, when the window could not open the image.
    bool Open(int& argc, char** argv, const QString& image)
    {
        Image = QFileInfo(image).absoluteFilePath();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Home.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(Home.path()));
        QDir::setCurrent(Home.path());
        App = std::make_unique<QApplication>(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Kestrix"));
        InstallQtTranslations(*App, QLocale(QLocale::Russian, QLocale::Russia));
        FormSeams seams;
        seams.OpenFile = [this](const FileDialog&) { return Image; };
        seams.SaveFile = [this](const FileDialog&) { return SaveTarget; };
        seams.ErrorBox = [this](const QString& text) { Error = text; };
        seams.AskOverwrite = [](const QString&, const OverwriteQuestion&) {
            return OverwriteAnswer{OverwriteChoice::Replace, true};
        };
        Form = std::make_unique<TForm1>(seams);
        Form->show();
        RunEventsFor(200);
        Form->N2Click();
        RunEventsFor(100);
        if (!Error.isEmpty())
            std::fprintf(stderr, "window_probe: %s\n", Error.toLocal8Bit().constData());
        return Error.isEmpty();
    }
};

struct Figure {
    const char* What;
    int Rows;
    double GapMs;
    double TimeMs;
};

void Print(const Figure& figure)
{
    std::printf("%-28s %9d %15.1f %10.1f\n", figure.What, figure.Rows, figure.GapMs, figure.TimeMs);
}

Figure Timed(const char* what, int rows, const std::function<void()>& command)
{
    qint64 gap = 0;
    const qint64 time = TimeWithPing(command, gap);
    return {what, rows, Milliseconds(gap), Milliseconds(time)};
}

// Sorts, filters and saves one page's list; view shows model. With shot, the
// window is saved there as the first sort runs.
void ProbeList(ProbeWindow& probe, QAbstractItemView& view, PictureSortModel& model, FilterBar& filter,
               const QString& shot)
{
    const int rows = model.rowCount();
    QString pending = shot;
    const auto sortBy = [&](int column, Qt::SortOrder order) {
        return [&view, &model, &probe, &pending, column, order] {
            if (auto* tree = qobject_cast<QTreeView*>(&view))
                tree->sortByColumn(column, order);
            else if (auto* table = qobject_cast<QTableView*>(&view))
                table->sortByColumn(column, order);
            RunEventsFor(100);
            if (!pending.isEmpty() && model.Sorting() && !probe.Form->grab().save(pending, "PNG"))
                std::fprintf(stderr, "window_probe: cannot write %s\n", pending.toLocal8Bit().constData());
            pending.clear();
            while (model.Sorting())
                QApplication::processEvents(QEventLoop::AllEvents, 5);
        };
    };
    view.selectionModel()->select(model.index(rows / 2, 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    Print(Timed("sort by name", rows, sortBy(0, Qt::AscendingOrder)));
    Print(Timed("sort by name, descending", rows, sortBy(0, Qt::DescendingOrder)));
    Print(Timed("sort by size", rows, sortBy(4, Qt::AscendingOrder)));
    Print(Timed("sort by start", rows, sortBy(2, Qt::AscendingOrder)));
    const auto filterBy = [&filter, &model](const QString& text) {
        return [&filter, &model, text] {
            filter.SetText(text);
            while (model.Sorting())
                QApplication::processEvents(QEventLoop::AllEvents, 5);
        };
    };
    Print(Timed("filter \"(1917\"", rows, filterBy(QStringLiteral("(1917"))));
    const QString folder = QDir(probe.Home.path()).filePath(QStringLiteral("saved"));
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    probe.SaveTarget = folder + QStringLiteral("/x");
    Print(Timed("save what the filter shows", model.rowCount(), [&probe] { probe.Form->SaveAllRows(); }));
    Print(Timed("filter cleared", rows, filterBy({})));
    Print(Timed("search's order", rows, sortBy(-1, Qt::AscendingOrder)));
}

int RunSorts(ProbeWindow& probe, const QString& shot)
{
    TForm1& form = *probe.Form;
    std::printf("image: %s (%d MiB), platform %s\n", probe.Image.toLocal8Bit().constData(),
                form.Hex1().DataSize() >> 20, QApplication::platformName().toLocal8Bit().constData());
    std::printf("%-28s %9s %15s %10s\n", "what", "rows", "longest_gap_ms", "time_ms");
    Print(Timed("content search (F8)", 0, [&form] { form.SearchAllContent(); }));
    RunEventsFor(100);
    ContentPage* largest = nullptr;
    for (ContentPage* page : {form.SoundsPage(), form.ApplicationsPage(), form.PhoneFilesPage()})
        if (largest == nullptr || page->RowCount() > largest->RowCount())
            largest = page;
    if (largest->RowCount() > 0) {
        form.Page()->setCurrentWidget(largest);
        RunEventsFor(100);
        std::printf("page %s\n", form.Page()->tabText(form.Page()->currentIndex()).toUtf8().constData());
        ProbeList(probe, *largest->Table(), *qobject_cast<PictureSortModel*>(largest->Table()->model()),
                  *largest->Filter(), shot);
    }
    PictureGallery& gallery = *form.AllPictures();
    if (!gallery.Rows().empty()) {
        form.Page()->setCurrentIndex(TForm1::kPicturesPage);
        gallery.SetMode(PictureGallery::ViewMode::Details);
        RunEventsFor(100);
        std::printf("page Все картинки\n");
        ProbeList(probe, *gallery.Details(), gallery.Sorted(), *gallery.Filter(), {});
    }
    return probe.Error.isEmpty() ? 0 : 1;
}

// The child of --close-times: does what runs, closes the window and prints
// when, then leaves as the program does.
int RunCloseCase(ProbeWindow& probe, const QString& what)
{
    TForm1& form = *probe.Form;
    if (what == QStringLiteral("files"))
        form.N7Click();
    else if (what == QStringLiteral("graphics"))
        form.gif1Click();
    else if (what == QStringLiteral("pictures"))
        form.SearchAllPictures();
    else if (what == QStringLiteral("content") || what == QStringLiteral("sound"))
        form.SearchAllContent();
    if (what == QStringLiteral("sound")) {
        ContentPage& sounds = *form.SoundsPage();
        form.Page()->setCurrentWidget(&sounds);
        sounds.Table()->selectRow(0);
        sounds.Player()->TogglePlay();
        for (int wait = 0; wait < 30 && !sounds.Player()->Player().Playing(); ++wait)
            RunEventsFor(100);
        RunEventsFor(500);
        std::fprintf(stderr, "playing: %s\n", sounds.Player()->Player().Playing() ? "yes" : "no");
    }
    RunEventsFor(100);
    QMetaObject::invokeMethod(
        &form,
        [&form] {
            std::printf("closing %lld\n", static_cast<long long>(MonotonicNs()));
            std::fflush(stdout);
            form.close();
        },
        Qt::QueuedConnection);
    const int code = QApplication::exec();
    const auto mark = [](const char* what) {
        std::printf("%s %lld\n", what, static_cast<long long>(MonotonicNs()));
        std::fflush(stdout);
    };
    mark("left-loop");
    probe.Form.reset();
    mark("window-gone");
    probe.App.reset();
    mark("application-gone");
    return code;
}

int RunCloseTimes(const QString& self, const QString& image)
{
    std::printf("%-10s %14s\n", "case", "close_to_exit_ms");
    for (const char* what : {"nothing", "files", "graphics", "pictures", "content", "sound"}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(self, {QStringLiteral("--close-after"), QString::fromLatin1(what), image});
        if (!child.waitForStarted() || !child.waitForFinished(600000)) {
            std::printf("%-10s %14s\n", what, "failed");
            continue;
        }
        const int64_t ended = MonotonicNs();
        int64_t closing = 0;
        QString steps;
        for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() != 2)
                continue;
            if (words[0] == "closing")
                closing = words[1].toLongLong();
            else if (closing != 0)
                steps += QStringLiteral(" %1 %2")
                             .arg(QString::fromLatin1(words[0]))
                             .arg(static_cast<double>(words[1].toLongLong() - closing) / 1e6, 0, 'f', 1);
        }
        const QByteArray said = child.readAllStandardError();
        const QString playing = said.contains("playing: yes")  ? QStringLiteral(" (played)")
                                : said.contains("playing: no") ? QStringLiteral(" (no audio output: not played)")
                                                               : QString();
        if (closing == 0)
            std::printf("%-10s %14s\n", what, "no close");
        else
            std::printf("%-10s %14.1f%s (from the close:%s)\n", what, static_cast<double>(ended - closing) / 1e6,
                        playing.toUtf8().constData(), steps.toUtf8().constData());
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int RunSortProbe(int argc, char** argv)
{
    const QString mode = QString::fromLocal8Bit(argv[1]);
    if (mode == QStringLiteral("--close-times") && argc == 3) {
        QCoreApplication app(argc, argv);
        return RunCloseTimes(QCoreApplication::applicationFilePath(), QString::fromLocal8Bit(argv[2]));
    }
    const bool closeCase = mode == QStringLiteral("--close-after") && argc == 4;
    const bool sorts = mode == QStringLiteral("--sorts") && (argc == 3 || argc == 4);
    if (!sorts && !closeCase) {
        std::fprintf(stderr, "usage: window_probe --sorts IMAGE [PNG]\n       window_probe --close-times IMAGE\n");
        return 2;
    }
    const QString image = QString::fromLocal8Bit(argv[closeCase ? 3 : 2]);
    const QString shot = sorts && argc == 4 ? QFileInfo(QString::fromLocal8Bit(argv[3])).absoluteFilePath() : QString();
    ProbeWindow probe;
    if (!probe.Home.isValid() || !probe.Open(argc, argv, image))
        return 1;
    return closeCase ? RunCloseCase(probe, QString::fromLocal8Bit(argv[2])) : RunSorts(probe, shot);
}

}  // namespace kestrix::bench
