#include "filter_bar.h"
#include "picture_builders.h"
#include "picture_gallery.h"
#include "picture_gallery_model.h"
#include "picture_gallery_preview.h"
#include "picture_sort_model.h"
#include "thumbnail_delegate.h"

#include <QApplication>
#include <QBuffer>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSlider>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>

namespace kestrix {
namespace {

using Bytes = std::vector<uint8_t>;

QImage Pattern(int width, int height, int seed = 0)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7 + seed) & 255, (y * 5 + seed * 3) & 255, (x ^ y) & 255));
    return image;
}

Bytes Encode(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return Bytes(data.begin(), data.end());
}

// A four-colour GIF89a; Qt writes no GIF.
Bytes Gif(int width, int height)
{
    return test_support::BuildGif({.width = static_cast<uint16_t>(width), .height = static_cast<uint16_t>(height)});
}

uint32_t Crc32(std::span<const uint8_t> bytes)
{
    uint32_t crc = 0xFFFFFFFF;
    for (const uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

constexpr std::array<uint8_t, 2> kSof0 = {0xFF, 0xC0};

// Pictures laid among erased flash, each with the row the search would give it.
struct BuiltImage {
    Bytes image;
    std::vector<FoundItem> rows;

    FoundItem& Add(const Bytes& picture, ItemType type, QSize size = {})
    {
        image.insert(image.end(), 37, 0xFF);
        FoundItem row;
        row.Type = type;
        row.Start = static_cast<int32_t>(image.size());
        image.insert(image.end(), picture.begin(), picture.end());
        row.End = static_cast<int32_t>(image.size());
        row.Width = size.width();
        row.Height = size.height();
        row.Frames = type == ItemType::Gif ? 1 : 0;
        rows.push_back(row);
        return rows.back();
    }
};

std::vector<int32_t> RowsInView(const PictureGallery& gallery)
{
    std::vector<int32_t> rows;
    const QListView& grid = *gallery.Grid();
    for (int32_t r = 0; r < static_cast<int32_t>(gallery.Rows().size()); ++r)
        if (grid.viewport()->rect().intersects(grid.visualRect(grid.model()->index(r, 0))))
            rows.push_back(r);
    return rows;
}

bool Settled(ThumbnailState state)
{
    return state != ThumbnailState::NotDecoded && state != ThumbnailState::Queued && state != ThumbnailState::Decoding;
}

// Waits until every row in view has its thumbnail or its placeholder for good.
bool WaitForThumbnails(PictureGallery& gallery)
{
    return QTest::qWaitFor([&gallery] {
        if (!gallery.Model().Decoder().Idle())
            return false;
        const std::vector<int32_t> rows = RowsInView(gallery);
        return !rows.empty() && std::all_of(rows.begin(), rows.end(), [&gallery](int32_t r) {
            return Settled(gallery.Model().Decoder().State(r));
        });
    });
}

void Click(QAbstractItemView& view, int32_t row)
{
    const QPoint at = view.visualRect(view.model()->index(row, 0)).center();
    const QPoint global = view.viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &press);
    QApplication::sendEvent(view.viewport(), &release);
}

TEST(PictureGalleryModel, ShowsEachRowsCaptionCellsAndStatus)
{
    const struct {
        const char* name;
        FoundItem row;
        std::array<const char*, PictureGalleryModel::kColumnCount> cells;
    } cases[] = {
        {"named gif",
         {.Type = ItemType::Gif,
          .Status = ItemStatus::Complete,
          .Start = 100,
          .End = 350,
          .Width = 16,
          .Height = 8,
          .Frames = 3,
          .EntryName = "\xCB\xEE\xE3\xEE.gif"},
         {"Лого.gif", "gif", "100", "350", "250", "16 × 8", "3", "Целая"}},
        {"unnamed truncated jpeg",
         {.Type = ItemType::Jpeg,
          .Status = ItemStatus::Truncated,
          .Start = 4096,
          .End = 5000,
          .Width = 640,
          .Height = 480,
          .Frames = 0,
          .EntryName = ""},
         {"Картинка (2).jpg", "jpg", "4096", "5000", "904", "640 × 480", "", "Обрезана"}},
        {"damaged png of unknown size",
         {.Type = ItemType::Png,
          .Status = ItemStatus::Damaged,
          .Start = 7,
          .End = 8,
          .Width = 0,
          .Height = 0,
          .Frames = 0,
          .EntryName = ""},
         {"Картинка (3).png", "png", "7", "8", "1", "", "", "Повреждена"}},
        {"bmp named with a zero byte",
         {.Type = ItemType::Bmp,
          .Status = ItemStatus::Complete,
          .Start = 0,
          .End = 62,
          .Width = 1,
          .Height = 1,
          .Frames = 0,
          .EntryName = std::string("a\0b", 3)},
         {"a\u2423b", "bmp", "0", "62", "62", "1 × 1", "", "Целая"}},
    };
    PictureGalleryModel model;
    std::vector<FoundItem> rows;
    for (const auto& c : cases)
        rows.push_back(c.row);
    model.SetPictures(rows, {});
    ASSERT_EQ(model.rowCount(), static_cast<int>(std::size(cases)));
    // The last column, the SHA-256, is empty for pictures outside the (here empty) image.
    ASSERT_EQ(model.columnCount(), 9);

    for (int r = 0; r < model.rowCount(); ++r) {
        const auto& c = cases[r];
        for (int column = 0; column < model.columnCount(); ++column)
            EXPECT_EQ(model.data(model.index(r, column)).toString(), QString::fromUtf8(c.cells[column]))
                << c.name << ", column " << column;
        EXPECT_EQ(model.data(model.index(r, 0), PictureGalleryModel::PictureStatusRole).toInt(),
                  static_cast<int>(c.row.Status))
            << c.name;
        const QString tip = model.data(model.index(r, 3), Qt::ToolTipRole).toString();
        EXPECT_TRUE(tip.startsWith(QString::fromUtf8(c.cells[0]))) << c.name;
        EXPECT_TRUE(tip.contains(PictureGalleryModel::StatusText(c.row.Status) + QLatin1Char(':'))) << c.name;
        const bool marked = c.row.Status != ItemStatus::Complete;
        EXPECT_EQ(model.data(model.index(r, PictureGalleryModel::kStatusColumn), Qt::ForegroundRole).isValid(), marked)
            << c.name;
        EXPECT_FALSE(model.flags(model.index(r, 0)) & Qt::ItemIsEditable);
    }

    QStringList headers;
    for (int column = 0; column < model.columnCount(); ++column)
        headers << model.headerData(column, Qt::Horizontal).toString();
    EXPECT_EQ(headers, QStringList({"Имя файла", "Тип", "Начало файла", "Конец файла", "Размер", "Ширина × высота",
                                    "Кадров", "Состояние", "SHA-256"}));
    // Reading cells and tooltips never decodes a picture.
    EXPECT_EQ(model.Decoder().DecodeCount(), 0);
}

TEST(DecodeToFit, DecodesEachKindToFitAndRefusesWhatItMustNot)
{
    // Headers claiming 60000 x 60000 pixels.
    Bytes hugePng = Encode(Pattern(4, 4), "PNG");
    for (const int at : {16, 20})
        hugePng[at + 2] = 0xEA, hugePng[at + 3] = 0x60;
    const uint32_t crc = Crc32({hugePng.data() + 12, 17});
    for (int i = 0; i < 4; ++i)
        hugePng[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    Bytes hugeJpeg = Encode(Pattern(8, 8), "JPEG");
    const auto sof = std::search(hugeJpeg.begin(), hugeJpeg.end(), kSof0.begin(), kSof0.end());
    ASSERT_NE(sof, hugeJpeg.end());
    for (const int at : {5, 7})
        sof[at] = 0xEA, sof[at + 1] = 0x60;
    Bytes hugeGif = Gif(2, 2);
    hugeGif[6] = hugeGif[8] = 0x60;
    hugeGif[7] = hugeGif[9] = 0xEA;
    Bytes junk = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0};
    junk.insert(junk.end(), 300, 0xA5);
    const Bytes png = Encode(Pattern(300, 150), "PNG");
    const QSize box(96, 96);

    const struct {
        const char* name;
        ItemType type;
        Bytes bytes;
        QSize box;
        QSize declared;
        ThumbnailState state;
        QSize shown;
    } cases[] = {
        {"png larger than the box", ItemType::Png, png, box, {300, 150}, ThumbnailState::Ready, {96, 48}},
        {"tall jpeg", ItemType::Jpeg, Encode(Pattern(200, 400), "JPEG"), box, {}, ThumbnailState::Ready, {48, 96}},
        {"small bmp is not enlarged",
         ItemType::Bmp,
         Encode(Pattern(40, 30), "BMP"),
         box,
         {},
         ThumbnailState::Ready,
         {40, 30}},
        {"gif", ItemType::Gif, Gif(20, 10), box, {20, 10}, ThumbnailState::Ready, {20, 10}},
        {"no box keeps the size", ItemType::Png, png, QSize(), {}, ThumbnailState::Ready, {300, 150}},
        {"signature and garbage", ItemType::Gif, junk, box, {}, ThumbnailState::Undecodable, {}},
        {"no bytes", ItemType::Png, {}, box, {}, ThumbnailState::Undecodable, {}},
        // The strict decoder is the one judge: bytes of another type do not pass.
        {"png taken for a gif", ItemType::Gif, png, box, {}, ThumbnailState::Undecodable, {}},
        {"header of a huge png", ItemType::Png, hugePng, box, {}, ThumbnailState::TooLarge, {}},
        {"header of a huge jpeg", ItemType::Jpeg, hugeJpeg, box, {}, ThumbnailState::TooLarge, {}},
        {"header of a huge gif", ItemType::Gif, hugeGif, box, {}, ThumbnailState::TooLarge, {}},
        {"huge size from the search", ItemType::Png, png, box, {5000, 5000}, ThumbnailState::TooLarge, {}},
    };
    for (const auto& c : cases) {
        const GalleryPicture decoded = DecodeToFit(c.type, c.bytes, c.box, c.declared);
        EXPECT_EQ(decoded.State, c.state) << c.name;
        EXPECT_EQ(decoded.Image.size(), c.shown.isValid() ? c.shown : QSize(0, 0)) << c.name;
        if (c.state == ThumbnailState::Ready) {
            EXPECT_EQ(decoded.Image.format(), QImage::Format_ARGB32_Premultiplied) << c.name;
        }
    }
}

// Thumbnails come from the strict decoder, which reads every info header a
// bitmap of the search can have; the gallery draws what the search calls whole.
TEST(DecodeToFit, DrawsBitmapsOfEveryInfoHeaderAndDepth)
{
    for (const uint16_t bits : {16, 24, 32}) {
        for (const uint32_t headerSize : {40u, 52u, 56u, 108u}) {
            const Bytes bmp = test_support::BuildBmp({.headerSize = headerSize, .bits = bits, .width = 7, .height = 5});
            const GalleryPicture decoded = DecodeToFit(ItemType::Bmp, bmp, QSize(96, 96), {7, 5});
            EXPECT_EQ(decoded.State, ThumbnailState::Ready) << headerSize << " bytes, " << bits << " bits";
            EXPECT_EQ(decoded.Image.size(), QSize(7, 5)) << headerSize << " bytes, " << bits << " bits";
        }
    }
}

// A caption too wide for its cell keeps its end: the row's number and the extension.
TEST(ThumbnailDelegate, ElidedCaptionsKeepTheNumberAndTheExtension)
{
    const QFontMetrics metrics(QApplication::font());
    const QString wide = QStringLiteral("Картинка (1001).bmp");
    const int width = metrics.horizontalAdvance(wide) * 2 / 3;
    const QString shown = ThumbnailDelegate::ElidedCaption(metrics, wide, width);
    EXPECT_LE(metrics.horizontalAdvance(shown), width);
    EXPECT_TRUE(shown.endsWith(QStringLiteral("(1001).bmp"))) << shown.toStdString();
    EXPECT_NE(shown, ThumbnailDelegate::ElidedCaption(metrics, QStringLiteral("Картинка (101).bmp"), width));
    EXPECT_NE(shown, ThumbnailDelegate::ElidedCaption(metrics, QStringLiteral("Картинка (901).bmp"), width));
    EXPECT_EQ(ThumbnailDelegate::ElidedCaption(metrics, QStringLiteral("a.gif"), width), QStringLiteral("a.gif"));
}

TEST(PictureSortModel, NaturalCompareTakesDigitRunsAsNumbers)
{
    const struct {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        {"Картинка (9).gif", "Картинка (12).gif", -1},
        {"a10", "a2", 1},
        {"a007b", "a7b", 0},
        {"Лого.GIF", "лого.gif", 0},
        {"logo", "logo1", -1},
        {"b", "A", 1},
        {"x99999999999999999999", "x100000000000000000000", -1},
    };
    for (const auto& c : cases) {
        const QString a = QString::fromUtf8(c.a);
        const QString b = QString::fromUtf8(c.b);
        EXPECT_EQ(PictureSortModel::NaturalCompare(a, b), c.order) << c.a << " / " << c.b;
        EXPECT_EQ(PictureSortModel::NaturalCompare(b, a), -c.order) << c.b << " / " << c.a;
    }
}

class PictureGalleryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_gallery = std::make_unique<PictureGallery>();
        m_gallery->resize(900, 520);
        QObject::connect(m_gallery.get(), &PictureGallery::PictureSelected,
                         [this](int32_t row) { m_signalled.push_back(row); });
    }

    // Four decodable pictures of every kind and, when asked, rows the gallery
    // must refuse to decode.
    void FillFourKinds()
    {
        m_built.Add(Gif(24, 12), ItemType::Gif, {24, 12}).EntryName = "\xCB\xEE\xE3\xEE.gif";
        m_built.Add(Encode(Pattern(40, 30), "BMP"), ItemType::Bmp, {40, 30}).Status = ItemStatus::Truncated;
        m_built.Add(Encode(Pattern(200, 100), "JPEG"), ItemType::Jpeg, {200, 100});
        m_built.Add(Encode(Pattern(16, 16), "PNG"), ItemType::Png, {16, 16}).Status = ItemStatus::Damaged;
    }

    void Show()
    {
        m_gallery->SetPictures(m_built.rows, m_built.image);
        m_gallery->show();
    }

    BuiltImage m_built;
    std::unique_ptr<PictureGallery> m_gallery;
    std::vector<int32_t> m_signalled;
};

TEST_F(PictureGalleryTest, SwitchesBetweenThumbnailsAndDetailsKeepingTheSelection)
{
    FillFourKinds();
    Show();
    EXPECT_EQ(m_gallery->Mode(), PictureGallery::ViewMode::Thumbnails);
    EXPECT_EQ(m_gallery->Grid()->viewMode(), QListView::IconMode);
    m_gallery->SelectRows({1, 3});

    m_gallery->DetailsButton()->click();
    EXPECT_EQ(m_gallery->Mode(), PictureGallery::ViewMode::Details);
    EXPECT_TRUE(m_gallery->Details()->isVisible());
    EXPECT_FALSE(m_gallery->Grid()->isVisible());
    EXPECT_TRUE(m_gallery->DetailsButton()->isChecked());
    EXPECT_FALSE(m_gallery->ThumbnailsButton()->isChecked());
    EXPECT_EQ(m_gallery->SelectedRows(), (std::vector<int32_t>{1, 3}));
    EXPECT_TRUE(m_gallery->Details()->selectionModel()->isRowSelected(3, {}));

    // A click in the list selects there and stays selected in the grid.
    Click(*m_gallery->Details(), 2);
    EXPECT_EQ(m_gallery->SelectedRows(), (std::vector<int32_t>{2}));
    m_gallery->ThumbnailsButton()->click();
    EXPECT_EQ(m_gallery->Mode(), PictureGallery::ViewMode::Thumbnails);
    EXPECT_TRUE(m_gallery->Grid()->isVisible());
    EXPECT_EQ(m_gallery->SelectedRows(), (std::vector<int32_t>{2}));
    EXPECT_TRUE(m_gallery->Grid()->selectionModel()->isSelected(m_gallery->Grid()->model()->index(2, 0)));
}

// A click on a table header sorts both views, numbers as numbers (also those
// inside the captions); rows are still counted in the search's order, and a
// third click goes back to it.
TEST_F(PictureGalleryTest, AHeaderClickSortsBothViewsNumbersAsNumbers)
{
    const int32_t sizes[] = {5, 100, 20, 3000, 9, 250, 1, 70, 12, 400, 33, 2};
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        FoundItem row;
        row.Type = ItemType::Png;
        row.Start = static_cast<int32_t>(i) * 4000;
        row.End = row.Start + sizes[i];
        m_built.rows.push_back(row);
    }
    Show();
    m_gallery->SetMode(PictureGallery::ViewMode::Details);
    QTreeView& table = *m_gallery->Details();
    const auto clickHeader = [&table](int column) {
        QHeaderView& head = *table.header();
        QTest::mouseClick(head.viewport(), Qt::LeftButton, {},
                          QPoint(head.sectionViewportPosition(column) + 5, head.height() / 2));
    };
    const auto shown = [&table](int column) {
        QStringList cells;
        for (int r = 0; r < table.model()->rowCount(); ++r)
            cells << table.model()->index(r, column).data().toString();
        return cells;
    };
    const QStringList searchOrder = shown(PictureGalleryModel::kNameColumn);

    clickHeader(PictureGalleryModel::kSizeColumn);
    EXPECT_EQ(shown(PictureGalleryModel::kSizeColumn),
              QStringList({"1", "2", "5", "9", "12", "20", "33", "70", "100", "250", "400", "3000"}));
    EXPECT_EQ(m_gallery->Grid()->model()->index(0, 0).data().toString(), QStringLiteral("Картинка (7).png"));
    m_gallery->SelectRows({3, 6});
    EXPECT_EQ(m_gallery->SelectedRows(), (std::vector<int32_t>{3, 6}));
    EXPECT_TRUE(table.selectionModel()->isRowSelected(0, {}));
    EXPECT_TRUE(table.selectionModel()->isRowSelected(11, {}));
    EXPECT_EQ(m_gallery->PreviewRow(), 6);

    clickHeader(PictureGalleryModel::kNameColumn);
    clickHeader(PictureGalleryModel::kNameColumn);
    const QStringList descending = shown(PictureGalleryModel::kNameColumn);
    EXPECT_EQ(descending.front(), QStringLiteral("Картинка (12).png"));
    EXPECT_EQ(descending.mid(1, 3), QStringList({"Картинка (11).png", "Картинка (10).png", "Картинка (9).png"}));
    EXPECT_EQ(m_gallery->SelectedRows(), (std::vector<int32_t>{3, 6}));

    clickHeader(PictureGalleryModel::kNameColumn);
    EXPECT_EQ(shown(PictureGalleryModel::kNameColumn), searchOrder);
}

// The order by name is worked out once per list: a new list of as many rows is
// ordered by its own names, and a filter keeps the order.
TEST(PictureSortModel, NameOrderFollowsANewListAndTheFilter)
{
    const auto rowsNamed = [](std::initializer_list<const char*> names) {
        std::vector<FoundItem> rows;
        for (const char* name : names) {
            FoundItem row;
            row.EntryName = name;
            rows.push_back(row);
        }
        return rows;
    };
    PictureGallery gallery;
    const auto shownNames = [&gallery] {
        QStringList names;
        const QAbstractItemModel& shown = *gallery.Details()->model();
        for (int r = 0; r < shown.rowCount(); ++r)
            names << shown.index(r, PictureGalleryModel::kNameColumn).data().toString();
        return names.join(u' ');
    };
    gallery.SetPictures(rowsNamed({"b10.gif", "a.gif", "b9.gif"}), {});
    gallery.Details()->sortByColumn(PictureGalleryModel::kNameColumn, Qt::AscendingOrder);
    EXPECT_EQ(shownNames(), QStringLiteral("a.gif b9.gif b10.gif"));
    gallery.SetPictures(rowsNamed({"x2.gif", "z.gif", "y.gif"}), {});
    EXPECT_EQ(shownNames(), QStringLiteral("x2.gif y.gif z.gif"));
    gallery.Sorted().SetNameFilter(QStringLiteral("Z"));
    EXPECT_EQ(shownNames(), QStringLiteral("z.gif"));
    gallery.Sorted().SetNameFilter({});
    gallery.Details()->sortByColumn(PictureGalleryModel::kNameColumn, Qt::DescendingOrder);
    EXPECT_EQ(shownNames(), QStringLiteral("z.gif y.gif x2.gif"));
}

TEST_F(PictureGalleryTest, SelectingAPictureReportsItsRowAndShowsItLarge)
{
    FillFourKinds();
    Show();
    ASSERT_TRUE(WaitForThumbnails(*m_gallery));

    Click(*m_gallery->Grid(), 2);
    EXPECT_EQ(m_signalled, (std::vector<int32_t>{2}));
    EXPECT_EQ(m_gallery->SelectedRows(), (std::vector<int32_t>{2}));
    EXPECT_EQ(m_gallery->PreviewRow(), 2);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_gallery->Preview()->Picture().isNull(); }));
    EXPECT_EQ(m_gallery->Preview()->Picture().size(), QSize(200, 100));
    EXPECT_TRUE(m_gallery->PreviewInfo()->text().contains(QStringLiteral("200 × 100")));

    // A small picture is shown enlarged by a whole factor.
    m_gallery->SelectRows({0, 1});
    EXPECT_EQ(m_signalled.back(), 0);
    EXPECT_EQ(m_gallery->SelectedRows(), (std::vector<int32_t>{0, 1}));
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_gallery->Preview()->Picture().size() == QSize(24, 12); }));
    const QRect shown = m_gallery->Preview()->PictureRect();
    EXPECT_EQ(shown.width() % 24, 0);
    EXPECT_GE(shown.width(), 48);
    EXPECT_TRUE(m_gallery->PreviewInfo()->text().startsWith(QStringLiteral("Лого.gif")));

    m_gallery->ClearSelection();
    EXPECT_EQ(m_signalled.back(), -1);
    EXPECT_TRUE(m_gallery->SelectedRows().empty());
    EXPECT_TRUE(m_gallery->Preview()->Picture().isNull());

    // While a scan runs the user cannot select; the selection made before stays.
    m_gallery->SelectRows({3});
    m_gallery->SetSelectable(false);
    Click(*m_gallery->Grid(), 1);
    EXPECT_EQ(m_gallery->SelectedRows(), (std::vector<int32_t>{3}));
    m_gallery->SetSelectable(true);
    Click(*m_gallery->Grid(), 1);
    EXPECT_EQ(m_gallery->SelectedRows(), (std::vector<int32_t>{1}));

    // The large view's caption follows the hex toggle; the thumbnail slider
    // shows with the thumbnails only.
    EXPECT_EQ(m_gallery->PreviewRow(), 1);
    m_gallery->SetHexOffsets(true);
    EXPECT_TRUE(m_gallery->PreviewInfo()->text().contains(QStringLiteral(" байт с 0x")))
        << m_gallery->PreviewInfo()->text().toStdString();
    m_gallery->SetHexOffsets(false);
    EXPECT_FALSE(m_gallery->PreviewInfo()->text().contains(QStringLiteral(" байт с 0x")));
    m_gallery->SetMode(PictureGallery::ViewMode::Details);
    EXPECT_FALSE(m_gallery->ThumbnailSlider()->isVisibleTo(m_gallery.get()));
    m_gallery->SetMode(PictureGallery::ViewMode::Thumbnails);
    EXPECT_TRUE(m_gallery->ThumbnailSlider()->isVisibleTo(m_gallery.get()));

    // A filter that hides the selected picture also takes it from the large view.
    m_gallery->Filter()->SetText(QStringLiteral("нет такого имени"));
    EXPECT_EQ(m_gallery->PreviewRow(), -1);
    EXPECT_TRUE(m_gallery->SelectedRows().empty());
    m_gallery->Filter()->SetText({});

    // New rows drop the selection and the preview.
    m_gallery->SetPictures(m_built.rows, m_built.image);
    EXPECT_TRUE(m_gallery->SelectedRows().empty());
    EXPECT_EQ(m_gallery->PreviewRow(), -1);
    EXPECT_EQ(m_signalled.back(), -1);
}

TEST_F(PictureGalleryTest, DecodesOnlyTheRowsInViewAndKeepsTheCacheInItsBound)
{
    for (int i = 0; i < 300; ++i)
        m_built.Add(Encode(Pattern(64, 64, i), "PNG"), ItemType::Png, {64, 64});
    m_gallery->SetPictures(m_built.rows, m_built.image);
    const int64_t thumbnail = 64 * 64 * 4;
    m_gallery->Model().Decoder().SetCacheLimit(40 * thumbnail);
    QTest::qWait(50);
    EXPECT_EQ(m_gallery->Model().Decoder().DecodeCount(), 0);

    m_gallery->show();
    ASSERT_TRUE(WaitForThumbnails(*m_gallery));
    const std::vector<int32_t> first = RowsInView(*m_gallery);
    ASSERT_GE(first.size(), 6u);
    EXPECT_EQ(m_gallery->Model().Decoder().DecodeCount(), static_cast<int32_t>(first.size()));
    for (const int32_t r : first)
        EXPECT_EQ(m_gallery->Model().Decoder().State(r), ThumbnailState::Ready) << r;
    EXPECT_EQ(m_gallery->Model().Decoder().State(299), ThumbnailState::NotDecoded);

    QScrollBar& scroll = *m_gallery->Grid()->verticalScrollBar();
    while (scroll.value() < scroll.maximum()) {
        scroll.setValue(scroll.value() + scroll.pageStep());
        ASSERT_TRUE(WaitForThumbnails(*m_gallery)) << scroll.value();
        EXPECT_LE(m_gallery->Model().Decoder().CacheCost(), 40 * thumbnail);
    }
    EXPECT_GE(m_gallery->Model().Decoder().DecodeCount(), 300);
    EXPECT_EQ(m_gallery->Model().Decoder().State(299), ThumbnailState::Ready);
    EXPECT_EQ(m_gallery->Model().Decoder().State(0), ThumbnailState::NotDecoded);
    EXPECT_LE(m_gallery->Model().Decoder().CachedCount(), 40);

    // Pictures dropped from the cache come back when scrolled to again.
    scroll.setValue(0);
    ASSERT_TRUE(WaitForThumbnails(*m_gallery));
    EXPECT_EQ(m_gallery->Model().Decoder().State(0), ThumbnailState::Ready);
}

TEST_F(PictureGalleryTest, ShowsPlaceholdersForPicturesItMustNotDecode)
{
    Bytes junk = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    junk.insert(junk.end(), 200, 0x5A);
    m_built.Add(junk, ItemType::Png, {10, 10}).Status = ItemStatus::Damaged;
    m_built.Add(Encode(Pattern(20, 20), "PNG"), ItemType::Png, {70000, 70000});
    m_built.Add(Encode(Pattern(20, 20), "PNG"), ItemType::Png, {20, 20});
    FoundItem outside = m_built.rows.back();
    outside.Start = static_cast<int32_t>(m_built.image.size()) - 10;
    outside.End = static_cast<int32_t>(m_built.image.size()) + 100;
    m_built.rows.push_back(outside);
    FoundItem negative = outside;
    negative.Start = -5;
    negative.End = 40;
    m_built.rows.push_back(negative);
    Show();
    ASSERT_TRUE(WaitForThumbnails(*m_gallery));

    const ThumbnailState expected[] = {ThumbnailState::Undecodable, ThumbnailState::TooLarge, ThumbnailState::Ready,
                                       ThumbnailState::OutsideImage, ThumbnailState::OutsideImage};
    for (int32_t r = 0; r < 5; ++r) {
        EXPECT_EQ(m_gallery->Model().Decoder().State(r), expected[r]) << r;
        if (expected[r] != ThumbnailState::Ready) {
            EXPECT_TRUE(m_gallery->Model()
                            .data(m_gallery->Model().index(r, 0), PictureGalleryModel::ThumbnailRole)
                            .value<QImage>()
                            .isNull());
        }
    }
    EXPECT_TRUE(m_gallery->Model()
                    .data(m_gallery->Model().index(1, 0), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("слишком велика")));
    // The placeholders paint.
    EXPECT_FALSE(m_gallery->Grid()->grab().isNull());

    const struct {
        int32_t row;
        const char* message;
    } previews[] = {
        {0, "Картинка не раскодируется"},
        {1, "Картинка слишком велика для просмотра (70000 × 70000)"},
        {3, "Картинка лежит вне образа"},
    };
    for (const auto& p : previews) {
        m_gallery->SelectRows({p.row});
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_gallery->Preview()->Message() == QString::fromUtf8(p.message); }))
            << p.row << ": " << m_gallery->Preview()->Message().toStdString();
        EXPECT_TRUE(m_gallery->Preview()->Picture().isNull());
    }
}

TEST_F(PictureGalleryTest, NewRowsWaitForTheDecodeInProgressBeforeTheOldImageGoes)
{
    for (int i = 0; i < 12; ++i)
        m_built.Add(Encode(Pattern(900, 900, i), "PNG"), ItemType::Png, {900, 900});
    Show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_gallery->Model().Decoder().DecodeCount() > 0; }));
    m_gallery->SelectRows({0});

    // The old image is freed as soon as the rows are replaced.
    auto replacement = std::make_unique<BuiltImage>();
    replacement->Add(Encode(Pattern(8, 8), "PNG"), ItemType::Png, {8, 8});
    m_gallery->SetPictures(replacement->rows, replacement->image);
    m_built = BuiltImage{};
    m_built.image.shrink_to_fit();
    ASSERT_TRUE(WaitForThumbnails(*m_gallery));
    EXPECT_EQ(m_gallery->Model().Decoder().State(0), ThumbnailState::Ready);
    EXPECT_EQ(m_gallery->PreviewRow(), -1);

    m_gallery->Clear();
    EXPECT_EQ(m_gallery->Model().rowCount(), 0);
}

}  // namespace
}  // namespace kestrix
