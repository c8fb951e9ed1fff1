#include "code_page.h"
#include "form_fixture.h"
#include "image_digests_label.h"
#include "picture_view.h"
#include "progress_gauge.h"
#include "result_list_view.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QToolButton>

#include <functional>

namespace kestrix::test_support {
namespace {

const QString kSection = QStringLiteral("Kestrix");
const QString kKey = QStringLiteral("Path");

ResultRow Row(const std::string& caption)
{
    return {caption, {"gif", "0", "1", "1"}, kPictureRowIcon};
}

TEST_F(FormTest, StartsEmptyWithThePlaceholderShown)
{
    TForm1& f = Form();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Kestrix 1.2"));
    // A first start is widened from 862 until every page's tab shows.
    EXPECT_EQ(f.height(), 586);
    EXPECT_GE(f.width(), 862);
    EXPECT_EQ(f.StatusText(), QStringLiteral("Kestrix"));
    EXPECT_EQ(f.ActivePage(), TForm1::kFilesPage);
    EXPECT_EQ(f.Page()->count(), 8);
    EXPECT_EQ(f.Page()->tabText(TForm1::kPicturesPage), QStringLiteral("Все картинки"));
    EXPECT_EQ(f.Page()->tabText(TForm1::kSoundsPage), QStringLiteral("Звуки"));
    EXPECT_EQ(f.Page()->tabText(TForm1::kApplicationsPage), QStringLiteral("Приложения"));
    EXPECT_EQ(f.Page()->tabText(TForm1::kPhoneFilesPage), QStringLiteral("Файлы телефона"));
    EXPECT_FALSE(f.GaugeShown());
    EXPECT_EQ(f.ProgressBar()->Min(), 0);
    EXPECT_EQ(f.ProgressBar()->Max(), 100);
    EXPECT_EQ(f.ProgressBar()->Position(), 0);
    EXPECT_EQ(f.Hex1().DataSize(), 0);
    EXPECT_TRUE(f.FileListRows().empty());
    EXPECT_TRUE(f.FindedRows().empty());
    EXPECT_TRUE(f.InfoListRows().empty());
    EXPECT_EQ(f.PictureView1()->Picture().Width(), 16);
    EXPECT_EQ(f.PictureView1()->Picture().Height(), 16);
    EXPECT_EQ(f.Save()->objectName(), QStringLiteral("Save"));
    f.show();
    QApplication::processEvents();
    EXPECT_EQ(f.menuBar()->height(), 22);
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(FormTest, AboutOnlySwitchesToTheAboutPage)
{
    TForm1& f = Form();
    f.N6Click();
    EXPECT_EQ(f.ActivePage(), TForm1::kAboutPage);
    f.N6Click();
    EXPECT_EQ(f.ActivePage(), TForm1::kAboutPage);
    EXPECT_EQ(f.StatusText(), QStringLiteral("Kestrix"));
}

// Both open commands: cancel, a failing load and a good one. The tool bar
// remembers the folder before loading, the menu only after a good load; a good
// load drops the rows found in the previous image, a failing one keeps them.
TEST_F(FormTest, OpenCommandsInTheirOrder)
{
    const struct {
        const char* name;
        void (TForm1::*open)();
        bool remembersFailedFolder;
    } commands[] = {
        {"menu", &TForm1::N2Click, false},
        {"tool bar", &TForm1::OpenFromToolButton, true},
    };
    QDir(m_dir.path()).mkpath(QStringLiteral("images"));
    const QString good = Path(QStringLiteral("images/phone.bin"));
    FlashImageBuilder(110000, 0x20).PutFact(kPdsFact, "ab.12.c").WriteTo(QFile::encodeName(good).toStdString());
    const QString missing = Path(QStringLiteral("gone/none.bin"));

    for (const auto& c : commands) {
        SCOPED_TRACE(c.name);
        auto form = MakeForm();
        TForm1& f = *form;
        Settings().WriteString(kSection, kKey, QStringLiteral("before"));
        f.FileList()->Model().SetRows({Row("old file")});
        f.Finded()->Model().SetRows({Row("old picture")});
        m_errors.clear();

        (f.*c.open)();  // cancelled
        EXPECT_EQ(f.StatusText(), QStringLiteral("Kestrix"));
        EXPECT_EQ(Settings().ReadString(kSection, kKey, {}), QStringLiteral("before"));
        EXPECT_TRUE(f.OpenDialog1().FileName.isEmpty());

        m_openAnswers = {missing};
        (f.*c.open)();
        ASSERT_EQ(m_errors.size(), 1u);
        EXPECT_TRUE(m_errors[0].contains(missing)) << m_errors[0].toStdString();
        EXPECT_EQ(f.StatusText(), QStringLiteral("Kestrix"));
        EXPECT_EQ(Settings().ReadString(kSection, kKey, {}),
                  c.remembersFailedFolder ? Path(QStringLiteral("gone/")) : QStringLiteral("before"));
        EXPECT_EQ(f.FileListRows().size(), 1u);
        EXPECT_EQ(f.FindedRows().size(), 1u);
        EXPECT_TRUE(f.InfoListRows().empty());

        m_openAnswers = {good};
        (f.*c.open)();
        EXPECT_EQ(m_errors.size(), 1u);
        EXPECT_EQ(f.Hex1().DataSize(), 110000);
        EXPECT_EQ(f.StatusText(), QStringLiteral("phone.bin"));
        EXPECT_EQ(Settings().ReadString(kSection, kKey, {}), Path(QStringLiteral("images/")));
        EXPECT_TRUE(f.FileListRows().empty());
        EXPECT_TRUE(f.FindedRows().empty());
        ASSERT_EQ(f.InfoListRows().size(), 5u);
        EXPECT_EQ(f.InfoListRows()[0].Cell(0), "AB12C");
        EXPECT_EQ(f.ActivePage(), TForm1::kFilesPage);
    }
}

TEST_F(FormTest, FirstRunWithoutAChoiceStoresNothing)
{
    auto form = MakeForm();
    EXPECT_TRUE(form->OpenDialog1().InitialDir.isEmpty());
    form->close();
    EXPECT_FALSE(Settings().ValueExists(kSection, kKey));
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(FormTest, StartUpUsesOnlyAStoredFolderThatExists)
{
    QDir(m_dir.path()).mkpath(QStringLiteral("kept"));
    FlashImageBuilder(16).WriteTo(QFile::encodeName(Path(QStringLiteral("a-file"))).toStdString());
    const struct {
        QString stored;
        QString initialDir;
    } cases[] = {
        {Path(QStringLiteral("kept/")), Path(QStringLiteral("kept/"))},
        {Path(QStringLiteral("a-file")), {}},
        {Path(QStringLiteral("deleted/")), {}},
        {QString(), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.toStdString());
        Settings().WriteString(kSection, kKey, c.stored);
        auto form = MakeForm();
        EXPECT_EQ(form->OpenDialog1().InitialDir, c.initialDir);
    }
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(FormTest, CloseStoresTheFolderOfTheChosenFileEvenWhenItFailedToLoad)
{
    QDir(m_dir.path()).mkpath(QStringLiteral("elsewhere"));
    {
        auto form = MakeForm();
        m_openAnswers = {Path(QStringLiteral("elsewhere/broken.bin"))};
        form->N2Click();
        EXPECT_EQ(m_errors.size(), 1u);
        EXPECT_FALSE(Settings().ValueExists(kSection, kKey));
        form->close();
        EXPECT_EQ(Settings().ReadString(kSection, kKey, {}), Path(QStringLiteral("elsewhere/")));
    }
    auto next = MakeForm();
    EXPECT_EQ(next->OpenDialog1().InitialDir, Path(QStringLiteral("elsewhere/")));
    next->N2Click();
    ASSERT_EQ(m_openStartFolders.size(), 2u);
    EXPECT_EQ(m_openStartFolders[1], Path(QStringLiteral("elsewhere/")));
}

// The last-folder memory is a convenience: with a damaged store or a settings
// folder that cannot be made, both open commands load the image and show its
// facts, and the store's error follows once, after them.
TEST_F(FormTest, ASettingsFaultIsReportedAfterTheImageIsIn)
{
    const QString registryFolder = Path(QStringLiteral("config/kestrix/registry"));
    const auto damageStore = [&] {
        QDir().mkpath(registryFolder);
        QFile store(registryFolder + QStringLiteral("/HKEY_CURRENT_USER.kreg"));
        ASSERT_TRUE(store.open(QIODevice::WriteOnly));
        store.write("\x01 this is not a settings file {{{\n");
    };
    // A file where the settings folder belongs: no user, root included, can write there.
    const auto blockFolder = [&] {
        QFile blocker(Path(QStringLiteral("config/kestrix")));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    };
    const struct {
        const char* name;
        std::function<void()> fault;
        void (TForm1::*open)();
        std::size_t errorsAtStart;
    } cases[] = {
        {"damaged store, menu", damageStore, &TForm1::N2Click, 1},
        {"damaged store, tool bar", damageStore, &TForm1::OpenFromToolButton, 1},
        {"unwritable folder, menu", blockFolder, &TForm1::N2Click, 0},
        {"unwritable folder, tool bar", blockFolder, &TForm1::OpenFromToolButton, 0},
    };
    const QString image = Path(QStringLiteral("phone.bin"));
    FlashImageBuilder(110000, 0x20).PutFact(kPdsFact, "ab.12.c").WriteTo(QFile::encodeName(image).toStdString());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(Path(QStringLiteral("config"))).removeRecursively();
        QDir().mkpath(Path(QStringLiteral("config")));
        c.fault();
        m_errors.clear();
        auto form = MakeForm();
        TForm1& f = *form;
        EXPECT_EQ(m_errors.size(), c.errorsAtStart);
        EXPECT_TRUE(f.OpenDialog1().InitialDir.isEmpty());

        std::vector<std::size_t> factsAtError;
        f.Seams().ErrorBox = [&](const QString& text) {
            m_errors.push_back(text);
            factsAtError.push_back(f.InfoListRows().size());
        };
        m_openAnswers = {image};
        (f.*c.open)();
        EXPECT_EQ(f.Hex1().DataSize(), 110000);
        EXPECT_EQ(f.StatusText(), QStringLiteral("phone.bin"));
        ASSERT_EQ(f.InfoListRows().size(), 5u);
        EXPECT_EQ(f.InfoListRows()[0].Cell(0), "AB12C");
        EXPECT_EQ(m_errors.size(), c.errorsAtStart + 1);
        EXPECT_EQ(factsAtError, std::vector<std::size_t>{5});
    }
}

// Файл / Недавние образы lists the opened images most recent first, each once,
// drops those deleted since and opens a chosen one; the status bar's own
// section names the open image.
TEST_F(FormTest, RecentImagesMenuAndTheImageNameInTheStatusBar)
{
    TForm1& f = Form();
    const auto menuTexts = [&] {
        f.FillRecentMenu();
        QStringList texts;
        for (const QAction* item : f.RecentMenu()->actions())
            texts << item->text() + (item->isEnabled() ? QString() : QStringLiteral(" (off)"));
        return texts;
    };
    EXPECT_EQ(menuTexts(), QStringList{QStringLiteral("Список пуст (off)")});
    const QList<QAction*> fileMenu = f.menuBar()->actions().front()->menu()->actions();
    // Above the separator before "Выход" (the whole menu: keys_test.cpp).
    ASSERT_GE(fileMenu.size(), 3);
    EXPECT_EQ(fileMenu[fileMenu.size() - 3]->menu(), f.RecentMenu());

    const FlashImageBuilder image = FlashImageBuilder(110000, 0x20).PutFact(kPdsFact, "ab.12.c");
    const QString a = OpenImage(image, QStringLiteral("a.bin"));
    const QString b = OpenImage(image, QStringLiteral("b&c.bin"));
    OpenImage(image, QStringLiteral("a.bin"));
    EXPECT_EQ(f.ImageName()->text(), QStringLiteral("a.bin"));
    EXPECT_EQ(f.ImageName()->toolTip(), QDir::toNativeSeparators(a));
    EXPECT_EQ(menuTexts(), (QStringList{QStringLiteral("&1  a.bin"), QStringLiteral("&2  b&&c.bin")}));

    // The name stays in sight when a search writes its count where the name was.
    f.SearchAllPictures();
    EXPECT_EQ(f.ImageName()->text(), QStringLiteral("a.bin"));

    f.RecentMenu()->actions()[1]->trigger();
    EXPECT_EQ(f.ImageName()->text(), QStringLiteral("b&c.bin"));
    EXPECT_EQ(f.OpenDialog1().FileName, b);
    EXPECT_EQ(menuTexts(), (QStringList{QStringLiteral("&1  b&&c.bin"), QStringLiteral("&2  a.bin")}));

    ASSERT_TRUE(QFile::remove(a));
    EXPECT_EQ(menuTexts(), QStringList{QStringLiteral("&1  b&&c.bin")});
    // Forgotten in the store too, not only hidden.
    EXPECT_TRUE(Settings()
                    .ReadString(QStringLiteral("KestrixRecent"), QStringLiteral("Image2"), QStringLiteral("x"))
                    .isEmpty());
    EXPECT_TRUE(m_errors.empty());
}

// A load that fails while reading empties the buffer: the rows, facts and
// preview of the image before go with it. A file that cannot be opened leaves
// everything as it was; a good load drops the old preview too.
TEST_F(FormTest, AFailedReadDropsWhatWasFoundInTheImageBefore)
{
    TForm1& f = Form();
    const auto showPicture = [&f] {
        const std::vector<uint8_t> gif = BuildGif({.height = 8});
        MemoryStream stream;
        stream.WriteBuffer(gif.data(), static_cast<int32_t>(gif.size()));
        f.PictureView1()->Picture().LoadFromStream(&stream);
        ASSERT_NE(f.PictureView1()->Picture().Width(), 16);
    };
    const auto fill = [&] {
        f.FileList()->Model().SetRows({Row("old file")});
        f.Finded()->Model().SetRows({Row("old picture")});
        f.Stat()->setText(QStringLiteral("Всего файлов: 1"));
        showPicture();
    };
    OpenImage(FlashImageBuilder(110000, 0x20).PutFact(kPdsFact, "ab.12.c"));
    fill();

    m_openAnswers = {Path(QStringLiteral("missing.bin"))};
    f.N2Click();
    EXPECT_EQ(f.Hex1().DataSize(), 110000);
    EXPECT_EQ(f.FileListRows().size(), 1u);
    EXPECT_EQ(f.FindedRows().size(), 1u);
    EXPECT_EQ(f.InfoListRows().size(), 5u);
    EXPECT_NE(f.PictureView1()->Picture().Width(), 16);

    // 2 GiB, too large to load: the buffer is emptied on the way.
    QFile huge(Path(QStringLiteral("huge.bin")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(int64_t{1} << 31));
    huge.close();
    for (void (TForm1::*open)() : {&TForm1::N2Click, &TForm1::OpenFromToolButton}) {
        OpenImage(FlashImageBuilder(110000, 0x20).PutFact(kPdsFact, "ab.12.c"));
        fill();
        m_errors.clear();
        m_openAnswers = {huge.fileName()};
        (f.*open)();
        EXPECT_EQ(m_errors.size(), 1u);
        EXPECT_EQ(f.Hex1().DataSize(), 0);
        EXPECT_TRUE(f.FileListRows().empty());
        EXPECT_TRUE(f.FindedRows().empty());
        EXPECT_TRUE(f.InfoListRows().empty());
        EXPECT_EQ(f.PictureView1()->Picture().Width(), 16);
        EXPECT_EQ(f.StatusText(), QStringLiteral("Kestrix"));
    }

    showPicture();
    OpenImage(FlashImageBuilder(5000));
    EXPECT_EQ(f.PictureView1()->Picture().Width(), 16);
}

// A blank image: the PDS and the phone model have no stop byte and run to
// the image's end; the list shows their beginning and their length.
TEST_F(FormTest, AFactWithoutAStopByteShowsItsBeginningAndLength)
{
    OpenImage(FlashImageBuilder(2 * 1024 * 1024, 0x00));
    const ResultListModel& info = Form().InfoList()->Model();
    ASSERT_EQ(info.rowCount(), 5);
    const QString pds = info.data(info.index(0, 1)).toString();
    EXPECT_EQ(pds, QString(4096, QChar(0x2423)) + QStringLiteral("… (%1 байт)").arg(2 * 1024 * 1024 - 102976));
    // Its tooltip is wrapped to lines a screen can show.
    const QStringList tip = info.data(info.index(0, 1), Qt::ToolTipRole).toString().split(QLatin1Char('\n'));
    EXPECT_GT(tip.size(), 40);
    EXPECT_TRUE(std::all_of(tip.begin(), tip.end(), [](const QString& line) { return line.size() <= 100; }));
    EXPECT_EQ(tip.join(QString()), pds);
    EXPECT_EQ(info.data(info.index(3, 1)).toString(), QString());
    EXPECT_TRUE(m_errors.empty());
}

}  // namespace
}  // namespace kestrix::test_support

namespace kestrix::test_support {
namespace {

// The image's digests come from a thread of their own after each load and
// name the image open now, never one opened before it.
TEST_F(FormTest, ImageDigestsFollowEachLoad)
{
    const auto digestsOf = [](const QString& path, QCryptographicHash::Algorithm algorithm) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QCryptographicHash::hash(file.readAll(), algorithm).toHex().toStdString();
    };
    OpenImage(FlashImageBuilder(3 * 1024 * 1024, 0x11), QStringLiteral("first.bin"));
    const QString second = OpenImage(FlashImageBuilder(5 * 1024 * 1024 + 7, 0x22), QStringLiteral("second.bin"));
    ImageDigestsLabel* label = Form().ImageDigestsView();
    QSignalSpy ready(label, &ImageDigestsLabel::Ready);
    ASSERT_TRUE(label->Digests().has_value() || ready.wait(10000));
    EXPECT_EQ(label->Digests()->Sha256, digestsOf(second, QCryptographicHash::Sha256));
    EXPECT_EQ(label->Digests()->Md5, digestsOf(second, QCryptographicHash::Md5));
    EXPECT_TRUE(label->text().contains(QString::fromStdString(label->Digests()->Sha256)));
    // The design's table keeps its five rows.
    EXPECT_EQ(Form().InfoListRows().size(), 5u);
}

}  // namespace
}  // namespace kestrix::test_support
