// Every scan and save of the window can be stopped and shows how far it is.

#include "code_page.h"
#include "content_page.h"
#include "form_fixture.h"
#include "sound_builders.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <map>

namespace kestrix::test_support {
namespace {

using Bytes = std::vector<uint8_t>;

class TaskTest : public FormTest {
protected:
    // Many small sounds, so that a save takes many steps, in erased flash
    // large enough for a search to yield to the window a few times.
    void OpenManySounds(int count)
    {
        FlashImageBuilder image(std::size_t{9} << 20, 0xFF);
        for (int i = 0; i < count; ++i)
            image.Put(static_cast<std::size_t>(i) * 512 + 1024, m_amr);
        OpenImage(image);
    }

    Bytes m_amr = BuildAmr({});
};

TEST_F(TaskTest, AScanStopsByEscOrTheButtonAndShowsItsPercentageMeanwhile)
{
    const struct {
        const char* name;
        bool byButton;
    } ways[] = {{"Esc", false}, {"the button beside the gauge", true}};
    OpenManySounds(200);
    TForm1& f = Form();
    EXPECT_EQ(f.CancelAction()->shortcut(), QKeySequence(Qt::Key_Escape));
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        struct {
            bool ran = false;
            bool stopShown = false;
            bool percentShown = false;
            bool busyCursor = false;
            bool recentEnabled = true;
        } seen;
        QTimer::singleShot(0, &f, [&] {
            seen.ran = true;
            seen.stopShown = f.CancelButton()->isVisibleTo(&f) && f.CancelAction()->isEnabled();
            seen.percentShown = f.ProgressText()->isVisibleTo(&f) && f.ProgressText()->text().endsWith(u'%');
            seen.busyCursor =
                QApplication::overrideCursor() != nullptr && QApplication::overrideCursor()->shape() == Qt::BusyCursor;
            seen.recentEnabled = f.RecentMenu()->isEnabled();
            if (way.byButton)
                f.CancelButton()->click();
            else
                f.CancelAction()->trigger();
        });
        f.SearchAllContent();
        ASSERT_TRUE(seen.ran);
        EXPECT_TRUE(seen.stopShown);
        EXPECT_TRUE(seen.percentShown);
        EXPECT_TRUE(seen.busyCursor);
        EXPECT_FALSE(seen.recentEnabled);
        EXPECT_FALSE(f.ScanRunning());
        EXPECT_EQ(f.SoundsPage()->RowCount(), 0);
        EXPECT_EQ(f.SaveSummaryText(), QStringLiteral("Поиск остановлен"));
        EXPECT_FALSE(f.CancelButton()->isVisibleTo(&f));
        EXPECT_FALSE(f.CancelAction()->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(f.RecentMenu()->isEnabled());
    }
    f.SearchAllContent();
    EXPECT_EQ(f.SoundsPage()->RowCount(), 200);
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(TaskTest, ADropDuringAScanIsRefusedAndSaysWhy)
{
    OpenManySounds(50);
    TForm1& f = Form();
    const QString other = Path(QStringLiteral("other.bin"));
    FlashImageBuilder(2500).WriteTo(QFile::encodeName(other).toStdString());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(other)});
    bool accepted = true;
    QString said;
    QTimer::singleShot(0, &f, [&] {
        QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f, &enter);
        accepted = enter.isAccepted();
        said = f.SaveSummaryText();
        f.CancelTask();
    });
    f.SearchAllContent();
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(said.startsWith(QStringLiteral("Образ не открыт: идёт поиск"))) << said.toStdString();
    EXPECT_NE(f.Hex1().DataSize(), 2500);
}

// However far a stopped save got, every file in the folder is whole and no
// temporary is left; the status bar counts what is there.
TEST_F(TaskTest, AStoppedSaveLeavesOnlyWholeFiles)
{
    OpenManySounds(200);
    TForm1& f = Form();
    f.SearchAllContent();
    ASSERT_EQ(f.SoundsPage()->RowCount(), 200);
    const QString folder = Path(QStringLiteral("out"));
    QDir().mkpath(folder);
    // Stops in the first step of the save, before any file is written.
    QTimer::singleShot(0, &f, [&] { f.CancelTask(); });
    m_saveAnswers = {folder + QStringLiteral("/any name")};
    f.SaveAllRows();
    EXPECT_TRUE(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_EQ(f.SaveSummaryText(), QStringLiteral("Ничего не сохранено; сохранение остановлено"));

    // Stops while the files are written: the answer about the one file there
    // comes between comparing and writing.
    QFile mine(QDir(folder).filePath(QStringLiteral("Звук (200).amr")));
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
    mine.write("mine");
    mine.close();
    m_overwriteAnswers = {{OverwriteChoice::Skip, false}};
    f.Seams().AskOverwrite = [&](const QString&, const OverwriteQuestion&) {
        QTimer::singleShot(0, &f, [&] { f.CancelTask(); });
        return OverwriteAnswer{OverwriteChoice::Skip, false};
    };
    m_saveAnswers = {folder + QStringLiteral("/any name")};
    f.SaveAllRows();
    const Bytes mineBytes{'m', 'i', 'n', 'e'};
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const Bytes bytes = ReadFileBytes(QFile::encodeName(QDir(folder).filePath(name)).toStdString());
        EXPECT_EQ(bytes, name == QStringLiteral("Звук (200).amr") ? mineBytes : m_amr);
    }
    const int32_t written = static_cast<int32_t>(names.size()) - 1;
    const QString summary = f.SaveSummaryText();
    EXPECT_TRUE(summary.contains(QStringLiteral(" %1 файл").arg(written)) ||
                (written == 0 && summary.startsWith(QStringLiteral("Ничего"))))
        << summary.toStdString();
    EXPECT_TRUE(summary.endsWith(QStringLiteral("оставлен 1 прежний файл; сохранение остановлено")) ||
                (written == 199 && summary.endsWith(QStringLiteral("оставлен 1 прежний файл"))))
        << summary.toStdString();
    EXPECT_TRUE(m_errors.empty());
}

}  // namespace
}  // namespace kestrix::test_support
