// The habits of a desktop program around the window's own commands: Qt's
// texts in Russian, opening from the command line and by dropping a file.
#include "code_page.h"
#include "command_line.h"
#include "file_drop.h"
#include "form_fixture.h"
#include "qt_translations.h"
#include "result_list_view.h"
#include "user_guide.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTranslator>
#include <QUrl>

namespace kestrix::test_support {
namespace {

const QString kSection = QStringLiteral("Kestrix");
const QString kKey = QStringLiteral("Path");

QString CancelText()
{
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    return box.button(QDialogButtonBox::Cancel)->text();
}

TEST(QtTranslations, FollowTheSystemLanguageOrFallBackToRussian)
{
    const struct {
        QLocale locale;
        QString cancel;
    } cases[] = {
        {QLocale::c(), QStringLiteral("Отмена")},
        {QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("Отмена")},
        {QLocale(QLocale::German, QLocale::Germany), QStringLiteral("Abbrechen")},
        // No catalogue of Qt's for Tongan.
        {QLocale(QLocale::Tongan), QStringLiteral("Отмена")},
    };
    ASSERT_EQ(CancelText(), QStringLiteral("Cancel"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        QTranslator* translator = InstallQtTranslations(*QCoreApplication::instance(), c.locale);
        ASSERT_NE(translator, nullptr);
        EXPECT_EQ(CancelText(), c.cancel);
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    EXPECT_EQ(CancelText(), QStringLiteral("Cancel"));
}

TEST_F(FormTest, TheImageNamedOnTheCommandLineOpensAsFromTheMenu)
{
    QDir(m_dir.path()).mkpath(QStringLiteral("images"));
    const QString image = Path(QStringLiteral("images/phone.bin"));
    FlashImageBuilder(110000).PutFact(kPdsFact, "ab.12.c").WriteTo(QFile::encodeName(image).toStdString());
    EXPECT_EQ(ImageArgument({QStringLiteral("kestrix")}), QString());
    const QString named = ImageArgument({QStringLiteral("kestrix"), QStringLiteral("images/phone.bin")});
    ASSERT_EQ(named, image);

    TForm1& f = Form();
    f.OpenFile(named);
    EXPECT_TRUE(m_errors.empty());
    EXPECT_EQ(f.Hex1().DataSize(), 110000);
    EXPECT_EQ(f.StatusText(), QStringLiteral("phone.bin"));
    EXPECT_EQ(f.Stat()->toolTip(), image);
    ASSERT_EQ(f.InfoListRows().size(), 5u);
    EXPECT_EQ(f.InfoListRows()[0].Cell(0), "AB12C");
    EXPECT_EQ(Settings().ReadString(kSection, kKey, {}), Path(QStringLiteral("images/")));
    EXPECT_EQ(f.OpenDialog1().FileName, image);
    EXPECT_TRUE(m_openStartFolders.empty());

    f.OpenFile(Path(QStringLiteral("missing.bin")));
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(m_errors[0].contains(QStringLiteral("missing.bin"))) << m_errors[0].toStdString();
    EXPECT_EQ(f.Hex1().DataSize(), 110000);
}

TEST_F(FormTest, AFileDroppedOnTheWindowOpens)
{
    const QString image = Path(QStringLiteral("dropped.bin"));
    FlashImageBuilder(2500).WriteTo(QFile::encodeName(image).toStdString());
    const auto mime = [](const std::vector<QString>& paths) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data->setUrls(urls);
        return data;
    };
    // A source that offers only a move may delete its file after the drop.
    const Qt::DropActions copy = Qt::CopyAction, move = Qt::MoveAction;
    const struct {
        const char* name;
        std::vector<QString> paths;
        Qt::DropActions offered;
        bool taken;
    } drags[] = {
        {"a folder", {m_dir.path()}, copy, false},
        {"two files", {image, image}, copy, false},
        {"a missing file", {Path(QStringLiteral("none.bin"))}, copy, false},
        {"one file offered only as a move", {image}, move, false},
        {"one file offered as a move or a copy", {image}, move | copy | Qt::LinkAction, true},
    };
    TForm1& f = Form();
    for (const auto& d : drags) {
        SCOPED_TRACE(d.name);
        const auto data = mime(d.paths);
        QDragEnterEvent enter(QPoint(200, 200), d.offered, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f, &enter);
        EXPECT_EQ(enter.isAccepted(), d.taken);
        QDropEvent drop(QPointF(200, 200), d.offered, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f, &drop);
        EXPECT_EQ(drop.isAccepted(), d.taken);
        if (d.taken) {
            EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
        }
        QApplication::processEvents();
        EXPECT_EQ(f.Hex1().DataSize(), d.taken ? 2500 : 0);
    }
    EXPECT_EQ(f.StatusText(), QStringLiteral("dropped.bin"));
    EXPECT_EQ(Settings().ReadString(kSection, kKey, {}), FolderWithSeparator(image));
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(FormTest, TheOpenDialogAlsoOffersEveryFile)
{
    TForm1& f = Form();
    FileDialog dialog = f.OpenDialog1();
    dialog.InitialDir = m_dir.path();
    const std::unique_ptr<QFileDialog> box = MakeOpenDialog(&f, dialog);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Open file"));
    EXPECT_EQ(box->nameFilters(),
              (QStringList{QStringLiteral("Motorola Flash File (*.bin)"), QStringLiteral("Все файлы (*)")}));
    EXPECT_EQ(box->selectedNameFilter(), QStringLiteral("Motorola Flash File (*.bin)"));
    EXPECT_EQ(box->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(box->directory().absolutePath(), m_dir.path());
}

// Every command with a key: the menu's Alt letters keep the captions' text,
// and each key runs its command in the shown window.
TEST_F(FormTest, KeysRunTheirCommands)
{
    TForm1& f = Form();
    const struct {
        QAction* action;
        QString caption;
        QKeySequence alt;
    } menu[] = {
        {f.menuBar()->actions()[0], QStringLiteral("Файл"), QKeySequence(Qt::ALT | Qt::Key(u'Ф'))},
        {f.N2(), QStringLiteral("Открыть"), QKeySequence(Qt::ALT | Qt::Key(u'О'))},
        {f.N4(), QStringLiteral("Выход"), QKeySequence(Qt::ALT | Qt::Key(u'В'))},
        {f.menuBar()->actions()[1], QStringLiteral("Утилиты"), QKeySequence(Qt::ALT | Qt::Key(u'У'))},
        {f.gif1(), QStringLiteral("Поиск DRM графики"), QKeySequence(Qt::ALT | Qt::Key(u'Г'))},
        {f.N7(), QStringLiteral("Поиск файлов"), QKeySequence(Qt::ALT | Qt::Key(u'Ф'))},
        {f.N6(), QStringLiteral("О Программе"), QKeySequence(Qt::ALT | Qt::Key(u'О'))},
    };
    for (const auto& m : menu) {
        EXPECT_EQ(QString(m.action->text()).remove(u'&'), m.caption);
        EXPECT_EQ(QKeySequence::mnemonic(m.action->text()), m.alt) << m.caption.toStdString();
    }

    FlashImageBuilder image(20000, 0x11);
    image.PutFileEntry(1000, "first.bin", 16)
        .PutFileEntry(2000, "second.txt", 20)
        .Put(9000, BuildBmp(SmallBmpPlan(8, 8)));
    OpenImage(image);
    f.show();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));

    QTest::keyClick(&f, Qt::Key_F5);
    EXPECT_EQ(f.StatusText(), QStringLiteral("Всего файлов: %1").arg(f.FileListRows().size()));
    EXPECT_GE(f.FileListRows().size(), 2u);
    QTest::keyClick(&f, Qt::Key_F6);
    EXPECT_EQ(f.FindedRows().size(), 1u);

    QTest::keyClick(&f, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(m_openStartFolders.size(), 2u);

    // A tool button's key presses it visibly: the click follows a moment later.
    f.FileList()->SelectRows({1});
    QTest::keyClick(&f, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([this] { return m_gaugeAtSaveDialog.size() == 1; }));
    QTest::keyClick(&f, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(QTest::qWaitFor([this] { return m_gaugeAtSaveDialog.size() == 2; }));
    EXPECT_TRUE(f.Save()->toolTip().contains(QStringLiteral("Ctrl+S"))) << f.Save()->toolTip().toStdString();

    QTest::sendKeyEvent(QTest::Click, &f, Qt::Key(u'О'), QStringLiteral("о"), Qt::AltModifier);
    EXPECT_EQ(f.ActivePage(), TForm1::kAboutPage);

    QTest::keyClick(&f, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(m_errors.empty());
}

// Ctrl+C copies the selected rows of the active page's list, whole rows also
// where only the first column can be selected; without a selection the
// clipboard keeps what it had.
TEST_F(FormTest, CopyPutsTheSelectedRowsOnTheClipboard)
{
    TForm1& f = Form();
    f.FileList()->Model().SetRows({
        {"a.txt", {"txt", "10", "20", "10"}, kFileRowIcon},
        {"b.txt", {"txt", "30", "", "999"}, kFileRowIcon},
        {"c\tx.txt", {"txt", "40", "45", "5"}, kFileRowIcon},
    });
    f.InfoList()->Model().SetRows({{"PDS", {"AB12C"}, -1}, {"Model", {"E398"}, -1}});
    f.show();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QClipboard* clipboard = QGuiApplication::clipboard();

    const struct {
        int page;
        std::vector<int32_t> selected;
        QString text;
    } cases[] = {
        {TForm1::kFilesPage, {2, 0}, QStringLiteral("a.txt\ttxt\t10\t20\t10\nc x.txt\ttxt\t40\t45\t5\n")},
        {TForm1::kInfoPage, {1}, QStringLiteral("Model\tE398\n")},
        {TForm1::kFilesPage, {}, QStringLiteral("before")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        clipboard->setText(QStringLiteral("before"));
        f.Page()->setCurrentIndex(c.page);
        f.ActiveList()->SelectRows(c.selected);
        f.ActiveList()->setFocus();
        QTest::keyClick(f.ActiveList(), Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(clipboard->text(), c.text);
    }
    f.Page()->setCurrentIndex(TForm1::kAboutPage);
    clipboard->setText(QStringLiteral("before"));
    f.CopySelectedRows();
    EXPECT_EQ(clipboard->text(), QStringLiteral("before"));
}

// The about page's link opens the README page made at build time, found
// beside the program as an installed one would be, with every picture it
// shows; nothing outside this machine's own folders is offered.
TEST_F(FormTest, TheAboutPageLinksToTheUserGuide)
{
    const QStringList candidates = UserGuideCandidates();
    ASSERT_GE(candidates.size(), 2);
    EXPECT_TRUE(candidates[0].endsWith(QStringLiteral("/share/doc/Kestrix/README.html")))
        << candidates[0].toStdString();
    for (const QString& candidate : candidates)
        EXPECT_TRUE(candidate.endsWith(QStringLiteral("/doc/Kestrix/README.html"))) << candidate.toStdString();
    const QUrl guide = UserGuideUrl();
    EXPECT_EQ(guide, QUrl::fromLocalFile(candidates[0]));

    QFile page(guide.toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    EXPECT_TRUE(html.contains(QStringLiteral("<title>Kestrix</title>")));
    EXPECT_TRUE(html.contains(QStringLiteral("kestrix-cli info IMAGE")));
    int pictures = 0;
    auto found = QRegularExpression(QStringLiteral("<img src=\"([^\"]+)\"")).globalMatch(html);
    while (found.hasNext()) {
        const QString picture = found.next().captured(1);
        ++pictures;
        EXPECT_TRUE(QFileInfo(QFileInfo(guide.toLocalFile()).dir(), picture).isFile()) << picture.toStdString();
    }
    EXPECT_GE(pictures, 3);

    const auto* link = Form().findChild<QLabel*>(QStringLiteral("GuideLink"));
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->openExternalLinks());
    EXPECT_FALSE(link->isHidden());
    EXPECT_TRUE(link->text().contains(QStringLiteral("href='%1'").arg(guide.toString(QUrl::FullyEncoded))))
        << link->text().toStdString();

    // Where no guide is found there is no link to follow.
    EXPECT_TRUE(UserGuideUrl({Path(QStringLiteral("missing/README.html"))}).isEmpty());
}

}  // namespace
}  // namespace kestrix::test_support

namespace kestrix::test_support {
namespace {

// Windows-1251 names are common on these users' disks; a newline in a name is
// drawn as its picture, never as a line break.
TEST_F(FormTest, AnImageWhoseNameIsNotUtf8OpensFromTheCommandLineAndByADrop)
{
    const QByteArray folder = QFile::encodeName(m_dir.path());
    const QByteArray name = QByteArray::fromStdString(Utf8ToCp1251("Прошивка\n.bin"));
    const QByteArray path = folder + '/' + name;
    FlashImageBuilder(2500).WriteTo(path.toStdString());
    const QByteArray relative = "./" + name;
    const char* argv[] = {"kestrix", relative.constData()};
    const QString parsed = ImageArgument({QStringLiteral("kestrix"), QFile::decodeName(relative)});
    EXPECT_EQ(ImageArgumentBytes(parsed, 2, argv), folder + "/./" + name);

    const QString shown = QStringLiteral("Прошивка\u240A.bin");
    TForm1& f = Form();
    f.OpenLocalFile(ImageArgumentBytes(parsed, 2, argv));
    EXPECT_EQ(f.Hex1().DataSize(), 2500);
    EXPECT_EQ(f.StatusText(), shown);
    EXPECT_EQ(f.ImageName()->text(), shown);

    FlashImageBuilder(3000).WriteTo(path.toStdString());
    QMimeData data;
    data.setUrls({QUrl::fromEncoded("file://" + path.toPercentEncoding("/"))});
    QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &enter);
    QDropEvent drop(QPointF(200, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &drop);
    EXPECT_TRUE(drop.isAccepted());
    QApplication::processEvents();
    EXPECT_EQ(f.Hex1().DataSize(), 3000);
    EXPECT_EQ(f.ImageName()->text(), shown);
    EXPECT_TRUE(m_errors.empty());
}

}  // namespace
}  // namespace kestrix::test_support
