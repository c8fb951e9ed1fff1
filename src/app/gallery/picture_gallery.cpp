#include "picture_gallery.h"

#include "filter_bar.h"
#include "grid_delegate.h"
#include "name_column_stretch.h"
#include "picture_gallery_preview.h"
#include "picture_sort_model.h"
#include "sort_busy_hint.h"
#include "thumbnail_delegate.h"

#include <QAction>
#include <QBuffer>
#include <QButtonGroup>
#include <QClipboard>
#include <QDesktopServices>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMovie>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

namespace kestrix {
namespace {

constexpr int kPreviewWidth = 270;
constexpr int kPageWidth = 862;

}  // namespace

PictureGallery::PictureGallery(QWidget* parent)
    : QWidget(parent), m_model(new PictureGalleryModel(this)), m_sorted(new PictureSortModel(this))
{
    m_sorted->setSourceModel(m_model);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 0);
    bar->setSpacing(2);
    const auto toggle = [this, bar](const QString& name, const QString& caption, QStyle::StandardPixmap icon) {
        auto* button = new QToolButton(this);
        button->setObjectName(name);
        button->setText(caption);
        button->setIcon(style()->standardIcon(icon));
        button->setIconSize(QSize(16, 16));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setCheckable(true);
        button->setAutoRaise(true);
        bar->addWidget(button);
        return button;
    };
    m_thumbnailsButton =
        toggle(QStringLiteral("ThumbnailsButton"), QStringLiteral("Эскизы"), QStyle::SP_FileDialogContentsView);
    m_detailsButton =
        toggle(QStringLiteral("DetailsButton"), QStringLiteral("Таблица"), QStyle::SP_FileDialogDetailedView);
    m_thumbnailsButton->setChecked(true);
    auto* toggles = new QButtonGroup(this);
    toggles->setExclusive(true);
    toggles->addButton(m_thumbnailsButton);
    toggles->addButton(m_detailsButton);
    connect(m_thumbnailsButton, &QToolButton::clicked, this, [this] { SetMode(ViewMode::Thumbnails); });
    connect(m_detailsButton, &QToolButton::clicked, this, [this] { SetMode(ViewMode::Details); });
    m_sizeSlider = new QSlider(Qt::Horizontal, this);
    m_sizeSlider->setObjectName(QStringLiteral("ThumbnailSize"));
    m_sizeSlider->setRange(ThumbnailDelegate::kMinSide, ThumbnailDelegate::kMaxSide);
    m_sizeSlider->setValue(ThumbnailDelegate::kSide);
    m_sizeSlider->setFixedWidth(80);
    m_sizeSlider->setToolTip(QStringLiteral("Размер эскизов (Ctrl+колесо мыши)"));
    bar->addWidget(m_sizeSlider);
    connect(m_sizeSlider, &QSlider::valueChanged, this, [this](int side) { SetThumbnailSide(side); });
    bar->addSpacing(12);
    m_filter = new FilterBar(this);
    m_filter->setObjectName(QStringLiteral("PictureFilter"));
    bar->addWidget(m_filter, 1);
    layout->addLayout(bar);
    connect(m_filter, &FilterBar::Changed, this, [this] { FilterChanged(); });
    FollowShownRows();

    m_stack = new QStackedWidget(this);
    BuildGrid();
    BuildDetails();
    m_stack->addWidget(m_grid);
    m_stack->addWidget(m_details);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("GallerySplitter"));
    m_splitter->setHandleWidth(10);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(m_stack);
    m_splitter->addWidget(BuildPreviewGroup());
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 0);
    m_splitter->setSizes({kPageWidth - kPreviewWidth - 10, kPreviewWidth});
    layout->addWidget(m_splitter, 1);

    // Both views show one selection, so switching keeps what the user picked.
    m_selection = m_grid->selectionModel();
    QItemSelectionModel* detailsOwn = m_details->selectionModel();
    m_details->setSelectionModel(m_selection);
    delete detailsOwn;
    connect(m_selection, &QItemSelectionModel::selectionChanged, this, [this] { UpdatePreviewRow(); });
    connect(m_selection, &QItemSelectionModel::currentChanged, this, [this] { UpdatePreviewRow(); });
    BuildActions();

    ThumbnailDecoder& decoder = m_model->Decoder();
    decoder.RowWanted = [this](int32_t row) { return RowInView(row); };
    decoder.OnPreviewDecoded = [this](int32_t row, const GalleryPicture& picture) { PreviewDecoded(row, picture); };
}

PictureGallery::~PictureGallery()
{
    // The model goes first among the children: a sort in progress reads it.
    m_sorted->setSourceModel(nullptr);
    m_model->Decoder().OnPreviewDecoded = nullptr;
    m_model->Decoder().RowWanted = nullptr;
}

void PictureGallery::FollowShownRows()
{
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_sorted, signal, this, [this] { UpdateCounts(); });
    connect(m_sorted, &QAbstractItemModel::modelReset, this, [this] { UpdateCounts(); });
    // A long list is filtered off the window's thread: what it shows changes later.
    connect(m_sorted, &QAbstractItemModel::layoutChanged, this, [this] {
        UpdateCounts();
        if (m_selection != nullptr)
            UpdatePreviewRow();
    });
}

void PictureGallery::BuildGrid()
{
    m_grid = new QListView(this);
    m_grid->setObjectName(QStringLiteral("PictureGrid"));
    auto* delegate = new ThumbnailDelegate(m_grid);
    m_grid->setItemDelegate(delegate);
    m_grid->setViewMode(QListView::IconMode);
    m_grid->setMovement(QListView::Static);
    m_grid->setResizeMode(QListView::Adjust);
    m_grid->setFlow(QListView::LeftToRight);
    m_grid->setWrapping(true);
    m_grid->setUniformItemSizes(true);
    m_grid->setWordWrap(false);
    m_grid->setModel(m_sorted);
    m_grid->setModelColumn(PictureGalleryModel::kNameColumn);
    m_grid->setGridSize(ThumbnailDelegate::GridSize(m_grid->fontMetrics()));
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionRectVisible(true);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_grid->verticalScrollBar()->setSingleStep(m_grid->gridSize().height() / 3);
    m_grid->viewport()->installEventFilter(this);
}

int PictureGallery::ThumbnailSide() const
{
    return static_cast<ThumbnailDelegate*>(m_grid->itemDelegate())->Side();
}

void PictureGallery::SetThumbnailSide(int side)
{
    auto* delegate = static_cast<ThumbnailDelegate*>(m_grid->itemDelegate());
    delegate->SetSide(side);
    m_sizeSlider->setValue(delegate->Side());
    m_grid->setGridSize(ThumbnailDelegate::GridSize(m_grid->fontMetrics(), delegate->Side()));
    m_grid->verticalScrollBar()->setSingleStep(m_grid->gridSize().height() / 3);
}

bool PictureGallery::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_grid->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if ((wheel->modifiers() & Qt::ControlModifier) && wheel->angleDelta().y() != 0) {
            SetThumbnailSide(ThumbnailSide() + (wheel->angleDelta().y() > 0 ? 16 : -16));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PictureGallery::BuildDetails()
{
    m_details = new QTreeView(this);
    m_details->setObjectName(QStringLiteral("PictureDetails"));
    // The window remembers this table's columns and sort (WindowLayout).
    m_details->setProperty("kestrixKeepHeader", true);
    m_details->setModel(m_sorted);
    m_details->setItemDelegate(new GridDelegate(m_details));
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setUniformRowHeights(true);
    m_details->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_details->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_details->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_details->setAllColumnsShowFocus(true);
    m_details->setIconSize(QSize(16, 16));
    // The middle goes, so that the number and the extension of a name stay.
    m_details->setTextElideMode(Qt::ElideMiddle);

    QHeaderView* head = m_details->header();
    head->setSectionsMovable(false);
    // The name takes the spare width, keeping a readable one when the table is wider than its share of the page.
    new NameColumnStretch(head, PictureGalleryModel::kNameColumn, 160);
    head->setMinimumSectionSize(40);
    struct Width {
        int Column;
        int Pixels;
    };
    static constexpr Width kWidths[] = {
        {PictureGalleryModel::kNameColumn, 160},  {PictureGalleryModel::kTypeColumn, 45},
        {PictureGalleryModel::kStartColumn, 100}, {PictureGalleryModel::kEndColumn, 100},
        {PictureGalleryModel::kSizeColumn, 70},   {PictureGalleryModel::kDimensionsColumn, 115},
        {PictureGalleryModel::kFramesColumn, 60}, {PictureGalleryModel::kStatusColumn, 90},
    };
    for (const Width& w : kWidths) {
        head->setSectionResizeMode(w.Column, QHeaderView::Interactive);
        head->resizeSection(w.Column, w.Pixels);
    }
    // Unsorted at first, in the search's order; a click on a header sorts, a
    // third click on it goes back to that order.
    head->setSortIndicatorClearable(true);
    head->setSortIndicator(-1, Qt::AscendingOrder);
    m_details->setSortingEnabled(true);
    new SortBusyHint(head, m_sorted);
}

void PictureGallery::BuildActions()
{
    m_hexOffsets = new QAction(QStringLiteral("Смещения в hex"), this);
    m_hexOffsets->setObjectName(QStringLiteral("HexOffsets"));
    m_hexOffsets->setCheckable(true);
    connect(m_hexOffsets, &QAction::toggled, this, [this](bool on) {
        m_model->SetHexOffsets(on);
        // The caption of the large view tells the start as the table does.
        if (m_previewRow >= 0)
            ShowPreview(m_previewRow);
    });
    m_copyPicture = new QAction(QStringLiteral("Копировать картинку"), this);
    m_copyPicture->setObjectName(QStringLiteral("CopyPicture"));
    m_copyPicture->setEnabled(false);
    connect(m_copyPicture, &QAction::triggered, this, [this] { CopyPicture(); });
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_grid), static_cast<QAbstractItemView*>(m_details)}) {
        view->addAction(m_copyPicture);
        view->addAction(m_hexOffsets);
        view->setContextMenuPolicy(Qt::ActionsContextMenu);
        // A row dragged out, to a file manager for one, is a scratch copy of the picture.
        view->setDragEnabled(true);
        view->setDragDropMode(QAbstractItemView::DragOnly);
        view->setDefaultDropAction(Qt::CopyAction);
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex& index) { OpenPicture(SourceRow(index)); });
    }
}

void PictureGallery::FilterChanged()
{
    m_sorted->SetNameFilter(m_filter->Text());
    m_sorted->SetOnlyFlawed(m_filter->OnlyFlawed());
    UpdateCounts();
    // A picture the filter hides is no longer selected, nor shown large.
    UpdatePreviewRow();
}

void PictureGallery::UpdateCounts()
{
    m_filter->SetCounts(m_sorted->rowCount(), m_model->rowCount());
}

std::vector<int32_t> PictureGallery::ShownRows() const
{
    std::vector<int32_t> rows;
    m_sorted->Settle();
    const int count = m_sorted->rowCount();
    rows.reserve(static_cast<std::size_t>(count));
    for (int r = 0; r < count; ++r)
        rows.push_back(SourceRow(m_sorted->index(r, 0)));
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool PictureGallery::Filtering() const
{
    return m_sorted->Filtering();
}

void PictureGallery::SetHexOffsets(bool value)
{
    m_hexOffsets->setChecked(value);
}

bool PictureGallery::HexOffsets() const
{
    return m_hexOffsets->isChecked();
}

QImage PictureGallery::FullPicture(int32_t row) const
{
    const std::span<const uint8_t> bytes = m_model->Decoder().PictureBytes(row);
    if (bytes.empty())
        return {};
    const FoundItem& picture = m_model->Rows()[static_cast<std::size_t>(row)];
    const GalleryPicture decoded = DecodeToFit(picture.Type, bytes, QSize(), QSize(picture.Width, picture.Height));
    return decoded.State == ThumbnailState::Ready ? decoded.Image : QImage();
}

bool PictureGallery::OpenPicture(int32_t row)
{
    const QString path = m_model->ScratchCopy(row);
    const QUrl url = QUrl::fromLocalFile(path);
    if (path.isEmpty() || !(m_openUrl ? m_openUrl(url) : QDesktopServices::openUrl(url))) {
        emit OpenFailed(path);
        return false;
    }
    return true;
}

bool PictureGallery::CopyPicture()
{
    const QImage image = FullPicture(m_previewRow);
    if (image.isNull())
        return false;
    QGuiApplication::clipboard()->setImage(image);
    return true;
}

void PictureGallery::SetPictures(std::vector<FoundItem> rows, std::span<const uint8_t> image)
{
    StopMovie();
    m_model->SetPictures(std::move(rows), image);
    m_selection->clear();
    UpdatePreviewRow();
}

void PictureGallery::Clear()
{
    SetPictures({}, {});
}

const std::vector<FoundItem>& PictureGallery::Rows() const noexcept
{
    return m_model->Rows();
}

std::span<const uint8_t> PictureGallery::Image() const noexcept
{
    return m_model->Image();
}

void PictureGallery::SetMode(ViewMode mode)
{
    m_mode = mode;
    QAbstractItemView* shown = mode == ViewMode::Thumbnails ? static_cast<QAbstractItemView*>(m_grid) : m_details;
    m_stack->setCurrentWidget(shown);
    m_thumbnailsButton->setChecked(mode == ViewMode::Thumbnails);
    m_detailsButton->setChecked(mode == ViewMode::Details);
    // The slider sizes thumbnails, which the table does not show.
    m_sizeSlider->setVisible(mode == ViewMode::Thumbnails);
    if (m_selection->currentIndex().isValid())
        shown->scrollTo(m_selection->currentIndex());
}

QModelIndex PictureGallery::ViewIndex(int32_t row) const
{
    return m_sorted->mapFromSource(m_model->index(row, 0));
}

int32_t PictureGallery::SourceRow(const QModelIndex& viewIndex) const
{
    return viewIndex.isValid() ? m_sorted->mapToSource(viewIndex.siblingAtColumn(0)).row() : -1;
}

std::vector<int32_t> PictureGallery::SelectedRows() const
{
    std::vector<int32_t> rows;
    for (const QItemSelectionRange& range : m_selection->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.push_back(SourceRow(m_sorted->index(r, 0)));
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void PictureGallery::SelectRows(const std::vector<int32_t>& rows)
{
    std::vector<int32_t> wanted;
    const int32_t count = m_model->rowCount();
    for (const int32_t r : rows)
        if (r >= 0 && r < count)
            wanted.push_back(ViewIndex(r).row());
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());

    QItemSelection selection;
    const int lastColumn = PictureGalleryModel::kColumnCount - 1;
    for (std::size_t i = 0; i < wanted.size();) {
        std::size_t j = i;
        while (j + 1 < wanted.size() && wanted[j + 1] == wanted[j] + 1)
            ++j;
        selection.select(m_sorted->index(wanted[i], 0), m_sorted->index(wanted[j], lastColumn));
        i = j + 1;
    }
    m_selection->select(selection, QItemSelectionModel::ClearAndSelect);
}

void PictureGallery::ClearSelection()
{
    m_selection->clear();
}

void PictureGallery::SetSelectable(bool value)
{
    m_selectable = value;
    const auto mode = value ? QAbstractItemView::ExtendedSelection : QAbstractItemView::NoSelection;
    m_grid->setSelectionMode(mode);
    m_details->setSelectionMode(mode);
}

}  // namespace kestrix
