#include "error_box.h"
#include "file_dialog.h"
#include "file_dialog_texts.h"
#include "name_column_stretch.h"
#include "picture_sort_model.h"
#include "progress_gauge.h"
#include "result_list_view.h"
#include "sort_busy_hint.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kestrix {
namespace {

TEST(ErrorBoxText, AddsAFullStopAfterCharactersAboveIt)
{
    const struct {
        QString message;
        QString shown;
    } cases[] = {
        {QString(), QString()},
        {QStringLiteral("Stream read error"), QStringLiteral("Stream read error.")},
        {QStringLiteral("'x' is not a valid integer value"), QStringLiteral("'x' is not a valid integer value.")},
        {QStringLiteral("Already ends."), QStringLiteral("Already ends.")},
        {QStringLiteral("Cannot create file \"a\". (b)"), QStringLiteral("Cannot create file \"a\". (b)")},
        {QStringLiteral("ends with 7"), QStringLiteral("ends with 7.")},
        {QStringLiteral("slash/"), QStringLiteral("slash/.")},
        {QStringLiteral("dash-"), QStringLiteral("dash-")},
        {QStringLiteral("Done!"), QStringLiteral("Done!")},
        {QStringLiteral("Ошибка"), QStringLiteral("Ошибка.")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorBoxText(c.message), c.shown) << c.message.toStdString();
}

TEST(ProgressGauge, ClampsThePositionIntoItsRange)
{
    ProgressGauge gauge;
    EXPECT_EQ(gauge.Min(), 0);
    EXPECT_EQ(gauge.Max(), 100);
    gauge.SetMax(10);
    gauge.SetPosition(15);
    EXPECT_EQ(gauge.Position(), 10);
    EXPECT_EQ(gauge.StyleOption().progress, 10);
    gauge.SetPosition(-3);
    EXPECT_EQ(gauge.Position(), 0);
    gauge.SetPosition(7);
    gauge.SetMax(5);
    EXPECT_EQ(gauge.Position(), 5);

    // An empty range draws an empty bar rather than the style's busy indicator.
    gauge.SetMax(0);
    EXPECT_EQ(gauge.Position(), 0);
    const QStyleOptionProgressBar option = gauge.StyleOption();
    EXPECT_LT(option.minimum, option.maximum);
    EXPECT_EQ(option.progress, option.minimum);
    EXPECT_FALSE(option.textVisible);
}

TEST(ResultListModel, ShowsWindows1251TextWithVisibleZeroBytes)
{
    ResultListModel model({{QStringLiteral("Name"), 0, Qt::AlignLeft, 0, 0, true},
                           {QStringLiteral("Value"), 100, Qt::AlignHCenter, 0, 0, false}});
    model.SetRows({{std::string("A\0B", 3), {"\xCF\xF0\xE8"}, 11}, {"x", {}, -1}});
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("A\u2423B"));
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("При"));
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), QString());
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(model.data(model.index(1, 0), Qt::DecorationRole).isValid());
    EXPECT_EQ(model.data(model.index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
}

TEST(ResultListModel, ShowsTypedRowsThroughTheirTextAndGrowsWhileFilled)
{
    ResultListModel model({{QStringLiteral("Name"), 0, Qt::AlignLeft, 0, 0, true},
                           {QStringLiteral("Type"), 100, Qt::AlignLeft, 0, 0, false},
                           {QStringLiteral("End"), 100, Qt::AlignLeft, 0, 0, false}});
    const auto text = [](const FoundRows& rows, std::size_t index) {
        const FoundRow& row = rows[index];
        return ResultRow{std::to_string(index), {std::string(rows.Name(index)), std::to_string(row.End)}, 5};
    };
    FoundRows& rows = model.BeginFill(text);
    std::vector<std::pair<int, int>> inserted;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) { inserted.emplace_back(first, last); });
    rows.Append({0, 10, 20}, "\xCF\xF0\xE8");
    rows.Append({0, 30, 40});
    EXPECT_EQ(model.rowCount(), 0) << "appended rows show only when asked";
    model.ShowFilled();
    rows.Append({0, 50, 60});
    model.ShowFilled();
    model.ShowFilled();
    EXPECT_EQ(inserted, (std::vector<std::pair<int, int>>{{0, 1}, {2, 2}}));
    model.EndFill();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("0"));
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("При"));
    EXPECT_EQ(model.data(model.index(2, 2)).toString(), QStringLiteral("60"));
    EXPECT_FALSE(model.data(model.index(1, 0), Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(model.Row(1), (ResultRow{"1", {"", "40"}, 5}));
    ASSERT_NE(model.Found(), nullptr);
    EXPECT_EQ(model.Found()->Count(), 3u);

    model.SetRows({{"text", {}, -1}});
    EXPECT_EQ(model.Found(), nullptr);
    EXPECT_EQ(model.Rows(), (std::vector<ResultRow>{{"text", {}, -1}}));
}

TEST(ResultListView, KeepsColumnsWithinTheirLimits)
{
    ResultListView view({{QStringLiteral("Name"), 0, Qt::AlignLeft, 0, 0, true},
                         {QStringLiteral("Fixed"), 100, Qt::AlignLeft, 100, 100, false},
                         {QStringLiteral("Wider"), 100, Qt::AlignLeft, 100, 0, false}},
                        true, true);
    QHeaderView* head = view.horizontalHeader();
    EXPECT_EQ(head->sectionSize(1), 100);
    head->resizeSection(2, 40);
    EXPECT_EQ(head->sectionSize(2), 100);
    head->resizeSection(2, 250);
    EXPECT_EQ(head->sectionSize(2), 250);
    head->resizeSection(1, 150);
    EXPECT_EQ(head->sectionSize(1), 100);
}

TEST(ResultListView, ReportsEachSelectionChangeOnce)
{
    ResultListView view({{QStringLiteral("Name"), 0, Qt::AlignLeft, 0, 0, true}}, true, true);
    view.Model().SetRows({{"a", {}, -1}, {"b", {}, -1}, {"c", {}, -1}});
    std::vector<std::pair<int32_t, bool>> events;
    view.OnSelectItem = [&](int32_t row, bool selected) { events.emplace_back(row, selected); };
    view.SelectRows({0, 2});
    EXPECT_EQ(view.SelectedRows(), (std::vector<int32_t>{0, 2}));
    view.SelectRows({1});
    EXPECT_EQ(view.SelCount(), 1);
    EXPECT_EQ(events, (std::vector<std::pair<int32_t, bool>>{{0, true}, {2, true}, {0, false}, {2, false}, {1, true}}));
    EXPECT_EQ(view.SelectedFlags(), (std::vector<bool>{false, true, false}));
    view.Model().Clear();
    EXPECT_EQ(view.SelCount(), 0);
}

// The name column takes what the other columns leave, down to its minimum,
// and follows the table's width and the other columns' resizing.
TEST(NameColumnStretch, GivesTheSpareWidthToTheNameColumn)
{
    QStandardItemModel model(2, 3);
    QTableView table;
    table.setModel(&model);
    QHeaderView* header = table.horizontalHeader();
    header->setStretchLastSection(true);
    table.setColumnWidth(1, 80);
    table.setColumnWidth(2, 90);
    auto* stretch = new NameColumnStretch(header, 0, 100);
    table.resize(600, 200);
    table.show();
    EXPECT_FALSE(header->stretchLastSection());
    EXPECT_GT(header->width(), 400);
    EXPECT_EQ(header->sectionSize(0), header->width() - 80 - 90);
    EXPECT_EQ(header->sectionSize(2), 90);
    header->resizeSection(1, 200);
    EXPECT_EQ(header->sectionSize(0), header->width() - 200 - 90);
    table.resize(250, 200);
    EXPECT_EQ(header->sectionSize(0), 100);
    header->setStretchLastSection(true);
    stretch->Fit();
    EXPECT_FALSE(header->stretchLastSection());
}

// While a long table is sorted off the window's thread, the cursor is busy
// and the status bar says so; both return with the new order. A short table
// is sorted at once and shows nothing.
TEST(SortBusyHint, ShowsTheSortOfALongTable)
{
    for (const int rows : {3, 2}) {
        SCOPED_TRACE(rows);
        QMainWindow window;
        QStandardItemModel model(rows, 1);
        for (int r = 0; r < rows; ++r)
            model.setItem(r, 0, new QStandardItem(QString::number(rows - r)));
        PictureSortModel sorted;
        sorted.setSortRole(Qt::DisplayRole);
        sorted.SetBackgroundFrom(3);
        sorted.setSourceModel(&model);
        auto* table = new QTableView;
        table->setModel(&sorted);
        table->setSortingEnabled(true);
        window.setCentralWidget(table);
        new SortBusyHint(table->horizontalHeader(), &sorted);
        window.show();
        QTest::mouseClick(table->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(QGuiApplication::overrideCursor() != nullptr, rows == 3);
        EXPECT_EQ(window.statusBar()->currentMessage(), rows == 3 ? QStringLiteral("Сортировка…") : QString());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !sorted.Sorting(); }));
        EXPECT_EQ(sorted.index(0, 0).data().toString(), QStringLiteral("1"));
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(window.statusBar()->currentMessage().isEmpty());
    }
}

TEST(FileDialog, FiltersAndFolders)
{
    FileDialog open{QStringLiteral("Open file"), QStringLiteral("Motorola Flash File (*.bin)|*.bin"), {}, {}, {}, {}};
    EXPECT_EQ(open.QtFilter(), QStringLiteral("Motorola Flash File (*.bin)"));
    FileDialog save{QStringLiteral("Save file"), QStringLiteral("All files|*.*"), QStringLiteral("/start"), {}, {}, {}};
    EXPECT_EQ(save.QtFilter(), QStringLiteral("All files (*)"));
    EXPECT_EQ(save.StartFolder(), QStringLiteral("/start"));
    save.FileName = QStringLiteral("/chosen/dir/name.bin");
    EXPECT_EQ(save.StartFolder(), QStringLiteral("/chosen/dir/"));
    EXPECT_EQ(FolderWithSeparator(QStringLiteral("name.bin")), QString());
}

TEST(RussianFileSize, NounAgreesWithTheNumberAndLargeSizesHaveUnits)
{
    const struct {
        int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 байт"},        {1, "1 байт"},
        {2, "2 байта"},       {4, "4 байта"},
        {6, "6 байт"},        {11, "11 байт"},
        {12, "12 байт"},      {21, "21 байт"},
        {22, "22 байта"},     {112, "112 байт"},
        {1023, "1023 байта"}, {1536, "1,5 КБ"},
        {5 << 20, "5,0 МБ"},  {int64_t{3} << 30, "3,0 ГБ"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RussianFileSize(c.bytes), QString::fromUtf8(c.text)) << c.bytes;
}

// Qt's own file dialog lists sizes and folders in our Russian.
TEST(FileDialogTexts, SizesAndFoldersInRussian)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    QFile file(dir.filePath(QStringLiteral("six.bin")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("123456");
    file.close();
    QFileSystemModel files;
    const QModelIndex root = files.setRootPath(dir.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return files.rowCount(root) == 2; }));
    FileDialogTexts texts;
    texts.setSourceModel(&files);
    const auto cell = [&](const QString& name, int column) {
        return texts.mapFromSource(files.index(dir.filePath(name), column)).data().toString();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return files.size(files.index(dir.filePath(QStringLiteral("six.bin")))) == 6; }));
    EXPECT_EQ(cell(QStringLiteral("six.bin"), 1), QStringLiteral("6 байт"));
    EXPECT_EQ(cell(QStringLiteral("sub"), 2), QStringLiteral("Папка"));
    EXPECT_EQ(cell(QStringLiteral("six.bin"), 2), QStringLiteral("Файл BIN"));
    EXPECT_EQ(
        cell(QStringLiteral("six.bin"), 3),
        QFileInfo(dir.filePath(QStringLiteral("six.bin"))).lastModified().toString(QStringLiteral("dd.MM.yyyy HH:mm")));
    EXPECT_EQ(cell(QStringLiteral("six.bin"), 0), QStringLiteral("six.bin"));

    const FileDialog save{QStringLiteral("Save file"), QStringLiteral("All files|*.*"), dir.path(), {}, {}, {}};
    EXPECT_NE(qobject_cast<FileDialogTexts*>(MakeSaveDialog(nullptr, save)->proxyModel()), nullptr);
}

}  // namespace
}  // namespace kestrix
