// window_probe --hex [--view PNG] [--runs N] IMAGE
//
// Opens IMAGE in the real main window, runs the content search, then shows
// the dock "Байты и карта образа" and reports: the time until its map is
// measured and the longest time the window did not answer meanwhile;
// scrolling the hex view from the first row to the last in 4000 steps, each
// drawn, and its longest gap; a find of bytes the image does not hold (so
// across the whole image), forward and back, in hex and in UTF-16LE, with
// their times and longest gaps. With --view the window with the dock showing
// a highlighted sound is saved as a PNG instead (a screenshot for the guide).
#include "content_page.h"
#include "form1.h"
#include "hex_dock.h"
#include "hex_page.h"
#include "hex_view.h"
#include "probe_timing.h"
#include "qt_translations.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

namespace kestrix::bench {
namespace {

int HexFail(const char* message)
{
    std::fprintf(stderr, "window_probe --hex: %s\n", message);
    return 1;
}

struct Gauged {
    double Ms = 0;
    double GapMs = 0;
};

Gauged Gauge(const std::function<void()>& command)
{
    qint64 gap = 0;
    const qint64 time = TimeWithPing(command, gap);
    return {Milliseconds(time), Milliseconds(gap)};
}

}  // namespace

int RunHexProbe(int argc, char** argv)
{
    QString view;
    QString image;
    int runs = 3;
    for (int i = 2; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QStringLiteral("--view") && i + 1 < argc)
            view = QFileInfo(QString::fromLocal8Bit(argv[++i])).absoluteFilePath();
        else if (arg == QStringLiteral("--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (!arg.startsWith(QLatin1Char('-')) && image.isEmpty())
            image = QFileInfo(arg).absoluteFilePath();
        else
            return HexFail("usage: window_probe --hex [--view PNG] [--runs N] IMAGE");
    }
    if (image.isEmpty())
        return HexFail("usage: window_probe --hex [--view PNG] [--runs N] IMAGE");

    QTemporaryDir home;
    if (!home.isValid())
        return HexFail("cannot make a temporary folder");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path()));
    QDir::setCurrent(home.path());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrix"));
    InstallQtTranslations(app, QLocale(QLocale::Russian, QLocale::Russia));

    QString error;
    FormSeams seams;
    seams.OpenFile = [&image](const FileDialog&) { return image; };
    seams.SaveFile = [](const FileDialog&) { return QString(); };
    seams.ErrorBox = [&error](const QString& text) { error = text; };
    TForm1 form(seams);
    form.resize(1200, 980);
    form.show();
    RunEventsFor(200);
    form.N2Click();
    if (!error.isEmpty())
        return HexFail(error.toLocal8Bit().constData());
    form.SearchAllContent();
    RunEventsFor(100);
    auto* dock = form.findChild<HexDock*>(QStringLiteral("HexDock"));
    if (dock == nullptr)
        return HexFail("the window has no hex dock");
    HexPage& page = *dock->Page();
    HexView& hex = *page.View();

    if (!view.isEmpty()) {
        dock->show();
        form.resizeDocks({dock}, {560}, Qt::Vertical);
        form.Page()->setCurrentIndex(TForm1::kSoundsPage);
        form.SoundsPage()->Table()->selectRow(0);
        RunEventsFor(1500);
        if (!form.grab().save(view, "PNG"))
            return HexFail("cannot write the screenshot");
        std::printf("%s: highlight %lld..%lld\n", view.toLocal8Bit().constData(),
                    static_cast<long long>(hex.HighlightStart()), static_cast<long long>(hex.HighlightEnd()));
        return 0;
    }

    std::printf("image: %s (%d MiB), platform %s\n", image.toLocal8Bit().constData(), form.Hex1().DataSize() >> 20,
                QApplication::platformName().toLocal8Bit().constData());
    Gauged open;
    Gauged scroll;
    Gauged find[4];
    for (int run = 0; run < runs; ++run) {
        dock->hide();
        RunEventsFor(50);
        const Gauged opened = Gauge([&] {
            dock->show();
            page.RefreshImage();
            while (!page.MapReady())
                QApplication::processEvents(QEventLoop::AllEvents, 5);
        });
        QScrollBar* bar = hex.verticalScrollBar();
        const Gauged scrolled = Gauge([&] {
            constexpr int kSteps = 4000;
            for (int step = 0; step <= kSteps; ++step) {
                bar->setValue(static_cast<int>(static_cast<int64_t>(bar->maximum()) * step / kSteps));
                hex.viewport()->repaint();
                QApplication::processEvents();
            }
        });
        struct FindCase {
            const char* Text;
            FindEncoding Encoding;
            bool Forward;
        };
        const FindCase cases[] = {{"DE AD BE EF 01 23 45 67", FindEncoding::Hex, true},
                                  {"DE AD BE EF 01 23 45 67", FindEncoding::Hex, false},
                                  {"Kestrix probe text", FindEncoding::Utf16Le, true},
                                  {"Kestrix probe text", FindEncoding::Utf16Le, false}};
        for (int k = 0; k < 4; ++k) {
            page.FindField()->setText(QString::fromUtf8(cases[k].Text));
            page.SetFindEncoding(cases[k].Encoding);
            hex.GoTo(cases[k].Forward ? 0 : form.Hex1().DataSize() - 1);
            const Gauged found = Gauge([&] { cases[k].Forward ? page.FindNext() : page.FindPrevious(); });
            if (run == 0 || found.Ms < find[k].Ms)
                find[k] = found;
        }
        if (run == 0 || opened.Ms < open.Ms)
            open = opened;
        if (run == 0 || scrolled.Ms < scroll.Ms)
            scroll = scrolled;
    }
    std::printf("opening the hex view and measuring its map: %.0f ms, longest gap %.1f ms\n", open.Ms, open.GapMs);
    std::printf("scrolling end to end in 4000 drawn steps: %.0f ms, longest gap %.1f ms\n", scroll.Ms, scroll.GapMs);
    const char* names[] = {"find hex forward", "find hex back", "find UTF-16LE forward", "find UTF-16LE back"};
    for (int k = 0; k < 4; ++k)
        std::printf("%s over the whole image: %.0f ms, longest gap %.1f ms\n", names[k], find[k].Ms, find[k].GapMs);
    return 0;
}

}  // namespace kestrix::bench
