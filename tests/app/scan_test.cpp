#include "code_page.h"
#include "form_fixture.h"
#include "graphics_scan.h"
#include "progress_gauge.h"
#include "result_list_view.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QTimer>
#include <QToolButton>

#include <new>

namespace kestrix::test_support {
namespace {

std::vector<std::string> Captions(const std::vector<ResultRow>& rows)
{
    std::vector<std::string> captions;
    for (const ResultRow& row : rows)
        captions.push_back(row.Caption);
    return captions;
}

FlashImageBuilder ImageWithEntries()
{
    FlashImageBuilder image(20000, 0x11);
    image.PutFileEntry(1000, "first.bin", 16)
        .PutFileEntry(2000, "readme.txt", 384)
        .PutFileEntry(3000, "main.c", 385)
        .PutFileEntry(4000, "readme.txt", 10)
        .PutFileEntry(5000, "noext", 5);
    return image;
}

TEST_F(FormTest, FileScanRefusesSmallImagesAndFillsTheListOtherwise)
{
    const struct {
        std::size_t size;
        bool scanned;
    } cases[] = {{1000, false}, {1001, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        OpenImage(FlashImageBuilder(c.size));
        Form().FileList()->Model().SetRows({{"left over", {}, kFileRowIcon}});
        Form().Stat()->setText(QStringLiteral("before"));
        Form().N7Click();
        EXPECT_EQ(Form().FileListRows().size(), c.scanned ? 0u : 1u);
        EXPECT_EQ(Form().StatusText(), c.scanned ? QStringLiteral("Всего файлов: 0") : QStringLiteral("before"));
    }

    OpenImage(ImageWithEntries());
    Form().N7Click();
    const auto& rows = Form().FileListRows();
    EXPECT_EQ(Captions(rows), (std::vector<std::string>{"first.bin", "readme.txt", "main.c", "noext"}));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].Cells, (std::vector<std::string>{"txt", "2038", "2422", "384"}));
    EXPECT_EQ(rows[0].ImageIndex, kFileRowIcon);
    EXPECT_EQ(Form().StatusText(), QStringLiteral("Всего файлов: 4"));
    EXPECT_FALSE(Form().GaugeShown());
    EXPECT_TRUE(Form().N7()->isEnabled());
    EXPECT_TRUE(m_errors.empty());
}

// While a scan runs the window keeps processing events: rows appear as they
// are found, and the commands that touch the lists or the image are off.
TEST_F(FormTest, ScanShowsRowsAsFoundAndBlocksOtherCommands)
{
    OpenImage(ImageWithEntries());
    TForm1& f = Form();
    struct {
        bool ran = false;
        bool running = false;
        bool openEnabled = true;
        bool saveEnabled = true;
        bool gaugeShown = false;
        bool picturesSelectable = true;
        int32_t gaugeMax = 0;
        std::size_t rows = 0;
    } seen;
    QTimer::singleShot(0, &f, [&] {
        seen.ran = true;
        seen.running = f.ScanRunning();
        seen.openEnabled = f.N2()->isEnabled() || f.OpenButton()->isEnabled();
        seen.saveEnabled = f.Save()->isEnabled() || f.SaveAllButton()->isEnabled() || f.gif1()->isEnabled();
        seen.gaugeShown = f.GaugeShown();
        seen.picturesSelectable = f.Finded()->selectionMode() != QAbstractItemView::NoSelection;
        seen.gaugeMax = f.ProgressBar()->Max();
        seen.rows = static_cast<std::size_t>(f.FileList()->Model().rowCount());
        f.N2Click();  // must not run: nothing is chosen
    });
    // The other list keeps its selection through the scan.
    f.Finded()->OnSelectItem = nullptr;
    f.Finded()->Model().SetRows({{"picture", {"gif", "0", "1", "1"}, kPictureRowIcon}});
    f.Finded()->SelectRows({0});
    m_openAnswers = {Path(QStringLiteral("never-opened.bin"))};
    f.N7Click();
    ASSERT_TRUE(seen.ran);
    EXPECT_TRUE(seen.running);
    EXPECT_FALSE(seen.openEnabled);
    EXPECT_FALSE(seen.saveEnabled);
    EXPECT_TRUE(seen.gaugeShown);
    EXPECT_FALSE(seen.picturesSelectable);
    EXPECT_EQ(seen.gaugeMax, 20000);
    EXPECT_GE(seen.rows, 1u);
    EXPECT_LT(seen.rows, 4u);
    EXPECT_EQ(m_openAnswers.size(), 1u);
    EXPECT_EQ(f.FileListRows().size(), 4u);
    EXPECT_TRUE(f.N2()->isEnabled());
    EXPECT_TRUE(f.OpenButton()->isEnabled());
    EXPECT_FALSE(f.ScanRunning());
    EXPECT_EQ(f.Finded()->SelectedRows(), std::vector<int32_t>{0});
    EXPECT_NE(f.Finded()->selectionMode(), QAbstractItemView::NoSelection);
}

TEST_F(FormTest, CloseDuringAScanEndsTheScanThenCloses)
{
    OpenImage(ImageWithEntries());
    TForm1& f = Form();
    f.show();
    QTimer::singleShot(0, &f, &QWidget::close);
    f.N7Click();
    EXPECT_FALSE(f.ScanRunning());
    EXPECT_LT(f.FileListRows().size(), 4u);
    EXPECT_TRUE(f.isVisible());
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(Settings().ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), {}),
              FolderWithSeparator(Path(QStringLiteral("phone.bin"))));
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(FormTest, GraphicsScanListsBitmapsWithoutGifs)
{
    FlashImageBuilder image(6000, 0x00);
    image.Fill(0, 6000, 0x55).Put(1000, BuildBmp(SmallBmpPlan(8, 8))).Put(3000, BuildBmp(SmallBmpPlan(8, 8)));
    OpenImage(image);
    Form().gif1Click();
    const auto& rows = Form().FindedRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Caption, Utf8ToCp1251("Файл (0)"));
    EXPECT_EQ(rows[1].Caption, Utf8ToCp1251("Файл (1)"));
    EXPECT_EQ(rows[1].Cell(RowCell::Type), "bmp");
    EXPECT_EQ(rows[1].Cell(RowCell::Start), "3000");
    EXPECT_FALSE(Form().GaugeShown());
    EXPECT_TRUE(Form().gif1()->isEnabled());
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(FormTest, RunningOutOfMemoryShowsAnErrorBoxAndTheWindowGoesOn)
{
    auto form = MakeForm();
    form->Seams().OpenFile = [](const FileDialog&) -> QString { throw std::bad_alloc(); };
    form->N2Click();
    EXPECT_EQ(m_errors, std::vector<QString>{QStringLiteral("Out of memory.")});
    EXPECT_EQ(form->StatusText(), QStringLiteral("Kestrix"));
    EXPECT_TRUE(form->N2()->isEnabled());
}

}  // namespace
}  // namespace kestrix::test_support
