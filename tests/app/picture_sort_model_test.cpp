#include "content_list_model.h"
#include "picture_gallery_model.h"
#include "picture_sort_model.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <vector>

namespace kestrix {
namespace {

// The order the pages had when the window's thread sorted them: every key
// read through the sort role, texts compared naturally, numbers as numbers,
// equal keys in the search's order.
class OldOrder : public QSortFilterProxyModel {
protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override
    {
        const QVariant a = left.data(sortRole());
        const QVariant b = right.data(sortRole());
        int order = 0;
        if (a.typeId() == QMetaType::QString)
            order = PictureSortModel::NaturalCompare(a.toString(), b.toString());
        else
            order = a.toLongLong() < b.toLongLong() ? -1 : (b.toLongLong() < a.toLongLong() ? 1 : 0);
        return order != 0 ? order < 0 : left.row() < right.row();
    }
};

std::vector<int> SourceRows(const QAbstractProxyModel& model)
{
    std::vector<int> rows;
    for (int r = 0; r < model.rowCount(); ++r)
        rows.push_back(model.mapToSource(model.index(r, 0)).row());
    return rows;
}

// Pictures whose keys tie and differ in every column: names that sort
// naturally ("b9" before "b10", "B9" equal to "b9"), numbered captions,
// repeated sizes and statuses, bytes to digest.
struct PictureRows {
    std::vector<uint8_t> image;
    std::vector<FoundItem> rows;

    PictureRows()
    {
        struct Row {
            const char* name;
            ItemType type;
            int32_t size;
            ItemStatus status;
            int32_t frames;
        };
        const Row kRows[] = {
            {"b10.gif", ItemType::Gif, 30, ItemStatus::Complete, 2},
            {"", ItemType::Png, 12, ItemStatus::Damaged, 0},
            {"a.gif", ItemType::Gif, 30, ItemStatus::Truncated, 1},
            {"B9.gif", ItemType::Gif, 7, ItemStatus::Complete, 3},
            {"", ItemType::Bmp, 12, ItemStatus::Complete, 0},
            {"b9.gif", ItemType::Gif, 50, ItemStatus::Unchecked, 1},
            {"", ItemType::Jpeg, 7, ItemStatus::Truncated, 0},
            {"", ItemType::Png, 40, ItemStatus::Complete, 0},
        };
        int32_t at = 0;
        for (const Row& r : kRows) {
            FoundItem row;
            row.EntryName = r.name;
            row.Type = r.type;
            row.Status = r.status;
            row.Frames = r.frames;
            // Starts out of order; a picture lying past the image has no digest.
            row.Start = (at * 37) % 200;
            row.End = row.Start + r.size;
            row.Width = r.size % 9;
            row.Height = 3;
            rows.push_back(row);
            ++at;
        }
        rows.back().Start = 5000;
        rows.back().End = 5040;
        for (int i = 0; i < 300; ++i)
            image.push_back(static_cast<uint8_t>(i * 13 + 7));
    }
};

// Sounds and their neighbours of one content search, for the page "Звуки".
std::shared_ptr<ContentResults> SoundResults()
{
    auto results = std::make_shared<ContentResults>();
    struct Row {
        ItemType type;
        int32_t start;
        int32_t size;
        int64_t duration;
        int32_t rate;
        const char* entry;
    };
    const Row kRows[] = {
        {ItemType::Amr, 100, 40, 2000, 8000, "Запись 10.amr"},
        {ItemType::Midi, 10, 40, 500, 0, "Звонок.mid"},
        {ItemType::Gif, 20, 5, 0, 0, ""},
        {ItemType::Mp3, 60, 12, 2000, 44100, "Запись 9.amr"},
        {ItemType::Wav, 30, 9, 0, 8000, ""},
        {ItemType::Amr, 80, 12, 1000, 8000, "запись 9.AMR"},
    };
    for (const Row& r : kRows) {
        FoundItem item;
        item.Type = r.type;
        item.Start = r.start;
        item.End = r.start + r.size;
        item.DurationMs = r.duration;
        item.SampleRate = r.rate;
        item.Channels = r.rate > 0 ? 1 : 0;
        item.EntryName = r.entry;
        results->Found.Items.push_back(item);
    }
    results->Captions = ContentCaptions(results->Found.Items);
    return results;
}

// Every column in both directions, sorted at once and off the window's
// thread, gives the order the window's thread gave.
TEST(PictureSortModel, GivesTheOldOrderForEveryColumnOnAndOffTheWindowsThread)
{
    PictureRows pictures;
    PictureGalleryModel gallery;
    gallery.SetPictures(pictures.rows, pictures.image);
    const std::vector<uint8_t> image(200, 0x5A);
    ContentListModel sounds(ContentKind::Sound);
    sounds.SetImage(image);
    sounds.SetResults(SoundResults());
    struct Source {
        const char* name;
        QAbstractItemModel* model;
        int sortRole;
    };
    const Source sources[] = {{"pictures", &gallery, PictureGalleryModel::SortRole},
                              {"sounds", &sounds, ContentListModel::SortRole}};
    for (const Source& source : sources) {
        OldOrder old;
        old.setSortRole(source.sortRole);
        old.setSourceModel(source.model);
        for (const int background : {1000, 1}) {
            PictureSortModel sorted;
            sorted.setSortRole(source.sortRole);
            sorted.SetBackgroundFrom(background);
            sorted.setSourceModel(source.model);
            for (int column = 0; column < source.model->columnCount(); ++column) {
                for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
                    SCOPED_TRACE(testing::Message() << source.name << ", column " << column << ", order " << order
                                                    << ", background from " << background);
                    old.sort(column, order);
                    sorted.sort(column, order);
                    EXPECT_EQ(sorted.Sorting(), background == 1);
                    ASSERT_TRUE(QTest::qWaitFor([&] { return !sorted.Sorting(); }));
                    EXPECT_EQ(SourceRows(sorted), SourceRows(old));
                }
            }
            sorted.sort(-1);
            std::vector<int> searchOrder(static_cast<std::size_t>(source.model->rowCount()));
            std::iota(searchOrder.begin(), searchOrder.end(), 0);
            EXPECT_EQ(SourceRows(sorted), searchOrder);
        }
    }
    // Natural order by name, and equal names in the search's order both ways.
    PictureSortModel sorted;
    sorted.SetBackgroundFrom(1);
    sorted.setSourceModel(&gallery);
    sorted.sort(PictureGalleryModel::kNameColumn, Qt::AscendingOrder);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sorted.Sorting(); }));
    QStringList names;
    for (int r = 0; r < sorted.rowCount(); ++r)
        names << sorted.index(r, 0).data().toString();
    EXPECT_EQ(names, QStringList({"a.gif", "B9.gif", "b9.gif", "b10.gif", "Картинка (2).png", "Картинка (5).bmp",
                                  "Картинка (7).jpg", "Картинка (8).png"}));
}

// A newer sort stops the one in progress: only its order is shown, in one
// layout change; the selection and the current row follow their rows.
TEST(PictureSortModel, ANewerSortWinsAndTheSelectionFollowsItsRows)
{
    PictureRows pictures;
    PictureGalleryModel gallery;
    gallery.SetPictures(pictures.rows, pictures.image);
    PictureSortModel sorted;
    sorted.SetBackgroundFrom(1);
    sorted.setSourceModel(&gallery);
    QItemSelectionModel selection(&sorted);
    const auto selectSource = [&](int row) {
        selection.select(sorted.mapFromSource(gallery.index(row, 0)),
                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    selectSource(2);
    selectSource(6);
    selection.setCurrentIndex(sorted.mapFromSource(gallery.index(6, 3)), QItemSelectionModel::NoUpdate);
    QSignalSpy layouts(&sorted, &QAbstractItemModel::layoutChanged);
    QSignalSpy sorting(&sorted, &PictureSortModel::SortingChanged);

    sorted.sort(PictureGalleryModel::kNameColumn, Qt::DescendingOrder);
    sorted.sort(PictureGalleryModel::kSizeColumn, Qt::AscendingOrder);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sorted.Sorting(); }));
    // Sizes 7, 7, 12, 12, 30, 30, 40, 50; ties in the search's order.
    EXPECT_EQ(SourceRows(sorted), (std::vector<int>{3, 6, 1, 4, 0, 2, 7, 5}));
    EXPECT_EQ(layouts.size(), 1);
    ASSERT_EQ(sorting.size(), 4);
    EXPECT_EQ(sorting.last().front().toBool(), false);

    std::vector<int> selected;
    for (const QModelIndex& index : selection.selectedRows())
        selected.push_back(sorted.mapToSource(index).row());
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (std::vector<int>{2, 6}));
    EXPECT_EQ(sorted.mapToSource(selection.currentIndex()), gallery.index(6, 3));
}

// A new list drops the order being worked out for the old one and is sorted
// by the same column itself. A filter changed while a sort runs is worked out
// with it: the rows stay as they were until both are shown at once.
TEST(PictureSortModel, ANewListDropsAPendingSortAndTheFilterAppliesToItsOrder)
{
    PictureRows pictures;
    PictureGalleryModel gallery;
    gallery.SetPictures(pictures.rows, pictures.image);
    PictureSortModel sorted;
    sorted.SetBackgroundFrom(1);
    sorted.setSourceModel(&gallery);
    QSignalSpy layouts(&sorted, &QAbstractItemModel::layoutChanged);

    sorted.sort(PictureGalleryModel::kSizeColumn, Qt::DescendingOrder);
    std::vector<FoundItem> fewer(pictures.rows.begin(), pictures.rows.begin() + 3);
    gallery.SetPictures(fewer, pictures.image);
    EXPECT_TRUE(sorted.Sorting());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sorted.Sorting(); }));
    // Sizes 30, 12, 30: down by size, ties reversed.
    EXPECT_EQ(SourceRows(sorted), (std::vector<int>{2, 0, 1}));
    EXPECT_EQ(layouts.size(), 1);

    gallery.SetPictures(pictures.rows, pictures.image);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sorted.Sorting(); }));
    sorted.sort(PictureGalleryModel::kNameColumn, Qt::AscendingOrder);
    sorted.SetNameFilter(QStringLiteral("b"));
    EXPECT_TRUE(sorted.Sorting());
    EXPECT_EQ(SourceRows(sorted), (std::vector<int>{5, 7, 2, 0, 4, 1, 6, 3}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sorted.Sorting(); }));
    EXPECT_EQ(SourceRows(sorted), (std::vector<int>{3, 5, 0, 4}));
    // A filter alone, off the window's thread too; a command that needs the
    // rows it shows waits for it.
    sorted.SetOnlyFlawed(true);
    EXPECT_TRUE(sorted.Sorting());
    sorted.Settle();
    EXPECT_FALSE(sorted.Sorting());
    EXPECT_EQ(SourceRows(sorted), std::vector<int>{});
    sorted.SetNameFilter({});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sorted.Sorting(); }));
    EXPECT_EQ(SourceRows(sorted), (std::vector<int>{2, 1, 6}));
}

}  // namespace
}  // namespace kestrix
