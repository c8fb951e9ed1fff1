#include "code_page.h"
#include "form_fixture.h"
#include "picture_view.h"
#include "progress_gauge.h"
#include "result_list_view.h"

#include <QTabWidget>
#include <QToolButton>

namespace kestrix::test_support {
namespace {

const QString kSection = QStringLiteral("Kestrix");
const QString kKey = QStringLiteral("Path");

TResultRow Row(const std::string& caption)
{
    return {caption, {"gif", "0", "1", "1"}, kPictureRowIcon};
}

TEST_F(FormTest, StartsEmptyWithThePlaceholderShown)
{
    TForm1& f = Form();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Kestrix 1.2"));
    EXPECT_EQ(f.size(), QSize(862, 586));
    EXPECT_EQ(f.StatusText(), QStringLiteral("Kestrix"));
    EXPECT_EQ(f.ActivePage(), TForm1::kFilesPage);
    EXPECT_EQ(f.Page->count(), 4);
    EXPECT_FALSE(f.GaugeShown());
    EXPECT_EQ(f.ProgressBar->Min(), 0);
    EXPECT_EQ(f.ProgressBar->Max(), 100);
    EXPECT_EQ(f.ProgressBar->Position(), 0);
    EXPECT_EQ(f.Hex1.DataSize(), 0);
    EXPECT_TRUE(f.FileListRows().empty());
    EXPECT_TRUE(f.FindedRows().empty());
    EXPECT_TRUE(f.InfoListRows().empty());
    EXPECT_EQ(f.PictureView1->Picture().Width(), 16);
    EXPECT_EQ(f.PictureView1->Picture().Height(), 16);
    EXPECT_EQ(f.Save->objectName(), QStringLiteral("Save"));
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
        {"tool bar", &TForm1::OpenButtonClick, true},
    };
    QDir(m_dir.path()).mkpath(QStringLiteral("images"));
    const QString good = Path(QStringLiteral("images/phone.bin"));
    FlashImageBuilder(110000, 0x20).PutFact(kPdsFact, "ab.12.c").WriteTo(QFile::encodeName(good).toStdString());
    const QString missing = Path(QStringLiteral("gone/none.bin"));

    for (const auto& c : commands) {
        SCOPED_TRACE(c.name);
        auto form = MakeForm();
        TForm1& f = *form;
        f.RegIniStore1.WriteString(kSection, kKey, QStringLiteral("before"));
        f.FileList->Model().SetRows({Row("old file")});
        f.Finded->Model().SetRows({Row("old picture")});
        m_errors.clear();

        (f.*c.open)();  // cancelled
        EXPECT_EQ(f.StatusText(), QStringLiteral("Kestrix"));
        EXPECT_EQ(f.RegIniStore1.ReadString(kSection, kKey, {}), QStringLiteral("before"));
        EXPECT_TRUE(f.OpenDialog1.FileName.isEmpty());

        m_openAnswers = {missing};
        (f.*c.open)();
        ASSERT_EQ(m_errors.size(), 1u);
        EXPECT_TRUE(m_errors[0].contains(missing)) << m_errors[0].toStdString();
        EXPECT_EQ(f.StatusText(), QStringLiteral("Kestrix"));
        EXPECT_EQ(f.RegIniStore1.ReadString(kSection, kKey, {}),
                  c.remembersFailedFolder ? Path(QStringLiteral("gone/")) : QStringLiteral("before"));
        EXPECT_EQ(f.FileListRows().size(), 1u);
        EXPECT_EQ(f.FindedRows().size(), 1u);
        EXPECT_TRUE(f.InfoListRows().empty());

        m_openAnswers = {good};
        (f.*c.open)();
        EXPECT_EQ(m_errors.size(), 1u);
        EXPECT_EQ(f.Hex1.DataSize(), 110000);
        EXPECT_EQ(f.StatusText(), QStringLiteral("phone.bin"));
        EXPECT_EQ(f.RegIniStore1.ReadString(kSection, kKey, {}), Path(QStringLiteral("images/")));
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
    EXPECT_TRUE(form->OpenDialog1.InitialDir.isEmpty());
    form->close();
    EXPECT_FALSE(form->RegIniStore1.ValueExists(kSection, kKey));
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
        MakeForm()->RegIniStore1.WriteString(kSection, kKey, c.stored);
        auto form = MakeForm();
        EXPECT_EQ(form->OpenDialog1.InitialDir, c.initialDir);
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
        EXPECT_FALSE(form->RegIniStore1.ValueExists(kSection, kKey));
        form->close();
        EXPECT_EQ(form->RegIniStore1.ReadString(kSection, kKey, {}), Path(QStringLiteral("elsewhere/")));
    }
    auto next = MakeForm();
    EXPECT_EQ(next->OpenDialog1.InitialDir, Path(QStringLiteral("elsewhere/")));
    next->N2Click();
    ASSERT_EQ(m_openStartFolders.size(), 2u);
    EXPECT_EQ(m_openStartFolders[1], Path(QStringLiteral("elsewhere/")));
}

TEST_F(FormTest, ADamagedStoreIsReportedAndTheWindowStaysUsable)
{
    const QString folder = Path(QStringLiteral("config/kestrix/registry"));
    QDir().mkpath(folder);
    QFile store(folder + QStringLiteral("/HKEY_CURRENT_USER.kreg"));
    ASSERT_TRUE(store.open(QIODevice::WriteOnly));
    store.write("\x01 this is not a settings file {{{\n");
    store.close();

    TForm1& f = Form();
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_TRUE(f.OpenDialog1.InitialDir.isEmpty());

    // The menu Open loads before it remembers the folder, so the image is in.
    OpenImage(FlashImageBuilder(2000));
    EXPECT_EQ(f.Hex1.DataSize(), 2000);
    EXPECT_EQ(f.StatusText(), QStringLiteral("phone.bin"));
    EXPECT_EQ(m_errors.size(), 2u);
}

// A blank image: the PDS and the phone model have no stop byte and run to
// the image's end; the list shows their beginning and their length.
TEST_F(FormTest, AFactWithoutAStopByteShowsItsBeginningAndLength)
{
    OpenImage(FlashImageBuilder(2 * 1024 * 1024, 0x00));
    const ResultListModel& info = Form().InfoList->Model();
    ASSERT_EQ(info.rowCount(), 5);
    const QString pds = info.data(info.index(0, 1)).toString();
    EXPECT_EQ(pds, QString(4096, QChar(0x2423)) + QStringLiteral("… (%1 bytes)").arg(2 * 1024 * 1024 - 102976));
    EXPECT_EQ(info.data(info.index(3, 1)).toString(), QString());
    EXPECT_TRUE(m_errors.empty());
}

}  // namespace
}  // namespace kestrix::test_support
