// What the status bar says after a save, and the save dialog's ready name.
#include "code_page.h"
#include "file_dialog.h"
#include "form_fixture.h"
#include "result_list_view.h"
#include "save_summary.h"
#include "status_message.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>

namespace kestrix::test_support {
namespace {

TEST(SaveSummary, CountsInTheirRussianForms)
{
    const struct {
        int32_t n;
        QString text;
    } cases[] = {
        {0, QStringLiteral("0 файлов")},    {1, QStringLiteral("1 файл")},       {2, QStringLiteral("2 файла")},
        {4, QStringLiteral("4 файла")},     {5, QStringLiteral("5 файлов")},     {11, QStringLiteral("11 файлов")},
        {12, QStringLiteral("12 файлов")},  {14, QStringLiteral("14 файлов")},   {21, QStringLiteral("21 файл")},
        {22, QStringLiteral("22 файла")},   {111, QStringLiteral("111 файлов")}, {112, QStringLiteral("112 файлов")},
        {774, QStringLiteral("774 файла")}, {1001, QStringLiteral("1001 файл")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RussianCount(c.n, QStringLiteral("файл"), QStringLiteral("файла"), QStringLiteral("файлов")), c.text);
}

TEST(SaveSummary, SaysWhatWasWrittenSkippedOrWhyNothing)
{
    const QString folder = QStringLiteral("/home/user/pictures");
    const struct {
        SaveOutcome outcome;
        QString text;
    } cases[] = {
        {{SaveEnd::Written, 774, 0, SkipReason::NoName, folder},
         QStringLiteral("Сохранено 774 файла в /home/user/pictures")},
        {{SaveEnd::Written, 21, 1, SkipReason::NoEndAddress, folder},
         QStringLiteral("Сохранён 21 файл в /home/user/pictures; пропущена 1 строка без конечного адреса")},
        {{SaveEnd::Written, 0, 3, SkipReason::NoEndAddress, folder},
         QStringLiteral("Ничего не сохранено; пропущено 3 строки без конечного адреса")},
        {{SaveEnd::Written, 5, 5, SkipReason::NoName, folder},
         QStringLiteral("Сохранено 5 файлов в /home/user/pictures; пропущено 5 строк без имени")},
        {{SaveEnd::Failed, 2, 0, SkipReason::NoName, folder},
         QStringLiteral("Сохранено 2 файла в /home/user/pictures; сохранение прервано ошибкой")},
        {{SaveEnd::Failed, 0, 0, SkipReason::NoName, folder},
         QStringLiteral("Ничего не сохранено; сохранение прервано ошибкой")},
        {{SaveEnd::Cancelled, 0, 2, SkipReason::NoName, {}}, QString()},
        {{SaveEnd::NoSelection, 0, 0, SkipReason::NoName, {}},
         QStringLiteral("Ничего не сохранено: не выбрано ни одной строки")},
        {{SaveEnd::EmptyList, 0, 0, SkipReason::NoName, {}}, QStringLiteral("Ничего не сохранено: список пуст")},
        {{SaveEnd::NoList, 0, 0, SkipReason::NoName, {}},
         QStringLiteral("Ничего не сохранено: на этой странице нечего сохранять")},
        {{SaveEnd::NoneShown, 0, 0, SkipReason::NoName, {}},
         QStringLiteral("Ничего не сохранено: фильтр скрывает все строки")},
        // Our lists say which rows were saved; the count after "из" picks the adjective's form.
        {{SaveEnd::Written, 3, 0, SkipReason::NoName, folder, SaveScope::Shown, 4},
         QStringLiteral("Сохранено 3 файла из 4 показанных фильтром в /home/user/pictures")},
        {{SaveEnd::Written, 21, 0, SkipReason::NoName, folder, SaveScope::Shown, 21},
         QStringLiteral("Сохранён 21 файл из 21 показанной фильтром в /home/user/pictures")},
        {{SaveEnd::Written, 2, 0, SkipReason::NoName, folder, SaveScope::Selected, 2},
         QStringLiteral("Сохранено 2 файла из 2 выбранных в /home/user/pictures")},
        {{SaveEnd::Written, 6, 0, SkipReason::NoName, folder, SaveScope::All, 6},
         QStringLiteral("Сохранено 6 файлов в /home/user/pictures")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SaveSummary(c.outcome), c.text);
}

TEST(StatusMessage, ShortensThePathFirstAndKeepsTheWholeTextAsItsTooltip)
{
    StatusMessage label;
    label.show();
    const QFontMetrics metrics = label.fontMetrics();
    const QString path = QStringLiteral("/home/user/a rather long folder name/another long one/pictures");
    const QString text = QStringLiteral("Сохранено 3 файла в ") + path;
    label.resize(metrics.horizontalAdvance(QStringLiteral("Сохранено 3 файла в /home/…/pictures")) + 40, 20);
    label.SetMessage(text, path);
    EXPECT_EQ(label.text(), QStringLiteral("Сохранено 3 файла в /home/…/pictures"));
    EXPECT_EQ(label.toolTip(), text);
    EXPECT_EQ(label.Message(), text);
    label.resize(2000, 20);
    EXPECT_EQ(label.text(), text);
    EXPECT_EQ(ElidePath(path, metrics, 100000), path);
    const QString cut = ElidePath(path, metrics, metrics.horizontalAdvance(QStringLiteral("/ho…res")));
    EXPECT_TRUE(cut.contains(QChar(0x2026))) << cut.toStdString();
    EXPECT_FALSE(cut.contains(QStringLiteral("/home/"))) << cut.toStdString();
}

class SaveSummaryTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        OpenImage(FlashImageBuilder(4096, 0x33));
        Form().Finded()->OnSelectItem = nullptr;
        Form().FileList()->Model().SetRows({
            {"a.txt", {"txt", "10", "20", "10"}, kFileRowIcon},
            {"b.txt", {"txt", "30", "", "999"}, kFileRowIcon},
            {"c.txt", {"txt", "40", "45", "5"}, kFileRowIcon},
        });
        Form().Finded()->Model().SetRows({
            {Utf8ToCp1251("Файл (0)"), {"gif", "100", "110", "10"}, kPictureRowIcon},
            {"", {"gif", "200", "205", "5"}, kPictureRowIcon},
            {Utf8ToCp1251("Файл (2)"), {"gif", "9000", "9010", "10"}, kPictureRowIcon},
        });
        QDir().mkpath(Path(QStringLiteral("out")));
    }
};

// Each save leaves its account on the status bar right of the status panel;
// a cancelled one leaves none, a failed one tells what was written before.
TEST_F(SaveSummaryTest, EachSaveSaysWhatItDid)
{
    TForm1& f = Form();
    const QString out = QDir::toNativeSeparators(Path(QStringLiteral("out")));
    const struct {
        const char* name;
        int page;
        std::vector<int32_t> selected;
        bool all;
        bool cancel;
        QString summary;
    } cases[] = {
        {"files, Save",
         0,
         {0, 1, 2},
         false,
         false,
         QStringLiteral("Сохранено 2 файла в %1; пропущена 1 строка без конечного адреса").arg(out)},
        {"files, Save of a row without an end",
         0,
         {1},
         false,
         false,
         QStringLiteral("Ничего не сохранено; пропущена 1 строка без конечного адреса")},
        {"files, Save all",
         0,
         {},
         true,
         false,
         QStringLiteral("Сохранено 2 файла в %1; пропущена 1 строка без конечного адреса").arg(out)},
        {"files, nothing selected",
         0,
         {},
         false,
         false,
         QStringLiteral("Ничего не сохранено: не выбрано ни одной строки")},
        {"files, cancelled", 0, {0}, false, true, QString()},
        {"graphics, Save",
         1,
         {0, 1},
         false,
         false,
         QStringLiteral("Сохранён 1 файл в %1; пропущена 1 строка без имени").arg(out)},
        {"graphics, Save all past the image end",
         1,
         {},
         true,
         false,
         QStringLiteral("Сохранён 1 файл в %1; пропущена 1 строка без имени; сохранение прервано ошибкой").arg(out)},
        {"information page",
         2,
         {},
         true,
         false,
         QStringLiteral("Ничего не сохранено: на этой странице нечего сохранять")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        f.SaveResult()->SetMessage(QStringLiteral("before"));
        f.Page()->setCurrentIndex(c.page);
        if (c.page < 2)
            f.ActiveList()->SelectRows(c.selected);
        m_saveAnswers = {c.cancel ? QString() : Path(QStringLiteral("out/Сохранить сюда"))};
        c.all ? f.SaveAllRows() : f.SaveClick();
        EXPECT_EQ(f.SaveSummaryText(), c.summary);
        EXPECT_EQ(f.SaveResult()->toolTip(), c.summary);
    }
    EXPECT_EQ(m_errors, std::vector<QString>{QStringLiteral("Stream read error.")});
    EXPECT_EQ(f.SaveResult()->parentWidget(), f.statusBar());
    f.show();
    QApplication::processEvents();
    EXPECT_GE(f.SaveResult()->x(), f.Stat()->x() + f.Stat()->width());
}

TEST_F(SaveSummaryTest, TheSaveDialogStartsWithAReadyNameAndSaysWhereFilesGo)
{
    TForm1& f = Form();
    EXPECT_EQ(f.SaveDialog1().ReadyName, QStringLiteral("Сохранить сюда"));
    FileDialog dialog = f.SaveDialog1();
    dialog.FileName = Path(QStringLiteral("out/earlier"));
    const std::unique_ptr<QFileDialog> box = MakeSaveDialog(&f, dialog);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Save file"));
    EXPECT_EQ(box->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(box->selectedFiles(), QStringList{Path(QStringLiteral("out/Сохранить сюда"))});
    const auto* note = box->findChild<QLabel*>(QStringLiteral("SaveNote"));
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), f.SaveDialog1().Note);
    EXPECT_TRUE(note->text().contains(QStringLiteral("в показанную папку")));
}

}  // namespace
}  // namespace kestrix::test_support
