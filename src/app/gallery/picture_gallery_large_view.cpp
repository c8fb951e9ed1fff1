#include "picture_gallery.h"

#include "filter_bar.h"
#include "picture_gallery_preview.h"
#include "picture_sort_model.h"
#include <QBuffer>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QMovie>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

namespace kestrix {
namespace {

QString PreviewMessage(ThumbnailState state, QSize sourceSize)
{
    switch (state) {
    case ThumbnailState::TooLarge:
        if (sourceSize.isValid())
            return QStringLiteral("Картинка слишком велика для просмотра (%1 × %2)")
                .arg(sourceSize.width())
                .arg(sourceSize.height());
        return QStringLiteral("Картинка слишком велика для просмотра");
    case ThumbnailState::OutsideImage: return QStringLiteral("Картинка лежит вне образа");
    default: return QStringLiteral("Картинка не раскодируется");
    }
}

}  // namespace

QWidget* PictureGallery::BuildPreviewGroup()
{
    auto* group = new QGroupBox(QStringLiteral("Просмотр"), this);
    group->setMinimumWidth(10);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(4, 4, 4, 4);
    m_preview = new PictureGalleryPreview(group);
    m_preview->setObjectName(QStringLiteral("PicturePreview"));
    layout->addWidget(m_preview, 1);

    auto* zoomBar = new QHBoxLayout;
    zoomBar->setSpacing(2);
    const auto zoomButton = [group, zoomBar](const QString& name, const QString& caption, const QString& hint) {
        auto* button = new QToolButton(group);
        button->setObjectName(name);
        button->setText(caption);
        button->setToolTip(hint);
        button->setAutoRaise(true);
        zoomBar->addWidget(button);
        return button;
    };
    m_zoomFit = zoomButton(QStringLiteral("ZoomFit"), QStringLiteral("По размеру окна"),
                           QStringLiteral("Картинка целиком (Ctrl+0)"));
    m_zoomActual =
        zoomButton(QStringLiteral("ZoomActual"), QStringLiteral("1:1"), QStringLiteral("Настоящий размер (Ctrl+1)"));
    zoomBar->addStretch(1);
    m_zoomLabel = new QLabel(group);
    m_zoomLabel->setObjectName(QStringLiteral("ZoomLabel"));
    zoomBar->addWidget(m_zoomLabel);
    layout->addLayout(zoomBar);
    connect(m_zoomFit, &QToolButton::clicked, m_preview, &PictureGalleryPreview::ZoomToFit);
    connect(m_zoomActual, &QToolButton::clicked, m_preview, [this] { m_preview->SetZoom(1); });
    connect(m_preview, &PictureGalleryPreview::ZoomChanged, this, [this] { PreviewZoomed(); });
    const auto shortcut = [this](const QKeySequence& keys, auto action) {
        auto* key = new QShortcut(keys, this);
        key->setContext(Qt::WidgetWithChildrenShortcut);
        connect(key, &QShortcut::activated, m_preview, action);
    };
    shortcut(QKeySequence::ZoomIn, [this] { m_preview->ZoomIn(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { m_preview->ZoomIn(); });
    shortcut(QKeySequence::ZoomOut, [this] { m_preview->ZoomOut(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { m_preview->ZoomToFit(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_1), [this] { m_preview->SetZoom(1); });

    m_previewInfo = new QLabel(group);
    m_previewInfo->setObjectName(QStringLiteral("PictureInfo"));
    m_previewInfo->setWordWrap(true);
    m_previewInfo->setTextFormat(Qt::PlainText);
    m_previewInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_previewInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_previewInfo);

    // A resize comes in many small steps while the splitter is dragged.
    m_previewResize = new QTimer(this);
    m_previewResize->setSingleShot(true);
    m_previewResize->setInterval(150);
    connect(m_previewResize, &QTimer::timeout, this, [this] { PreviewResized(); });
    connect(m_preview, &PictureGalleryPreview::Resized, m_previewResize, qOverload<>(&QTimer::start));
    return group;
}

bool PictureGallery::RowInView(int32_t row) const
{
    if (!m_grid->isVisible())
        return false;
    return m_grid->viewport()->rect().intersects(m_grid->visualRect(ViewIndex(row)));
}

int32_t PictureGallery::WantedPreviewRow() const
{
    const QModelIndex current = m_selection->currentIndex();
    if (current.isValid() && m_selection->isSelected(current.siblingAtColumn(0)))
        return SourceRow(current);
    int32_t first = -1;
    for (const QItemSelectionRange& range : m_selection->selection())
        if (first < 0 || range.top() < first)
            first = range.top();
    return first < 0 ? -1 : SourceRow(m_sorted->index(first, 0));
}

void PictureGallery::UpdatePreviewRow()
{
    const int32_t row = WantedPreviewRow();
    if (row == m_previewRow)
        return;
    m_previewRow = row;
    ShowPreview(row);
    emit PictureSelected(row);
}

void PictureGallery::ShowPreview(int32_t row)
{
    StopMovie();
    m_model->Decoder().CancelPreview();
    m_previewBox = QSize();
    m_copyPicture->setEnabled(false);
    if (row < 0) {
        m_preview->Clear();
        m_previewInfo->clear();
        return;
    }
    const FoundItem& picture = m_model->Rows()[static_cast<std::size_t>(row)];
    // Until the large view's decode tells, a damaged picture is taken for one that does not decode.
    m_copyPicture->setEnabled(picture.Status != ItemStatus::Damaged);
    m_previewInfo->setText(PictureGalleryModel::Description(picture, row, HexOffsets()) + QLatin1Char('\n') +
                           PictureGalleryModel::StatusText(picture.Status));
    m_preview->SetMessage(QStringLiteral("Загрузка…"));
    m_previewBox = m_preview->size().expandedTo(QSize(1, 1));
    m_model->Decoder().RequestPreview(row, m_previewBox);
}

void PictureGallery::PreviewDecoded(int32_t row, const GalleryPicture& picture)
{
    if (row != m_previewRow)
        return;
    m_copyPicture->setEnabled(picture.State == ThumbnailState::Ready);
    if (picture.State != ThumbnailState::Ready) {
        m_preview->SetMessage(PreviewMessage(picture.State, picture.SourceSize));
        PreviewZoomed();
        return;
    }
    if (m_preview->Picture().isNull())
        m_preview->SetPicture(picture.Image, picture.SourceSize);
    else if (!m_movie)
        m_preview->SetFrame(picture.Image);
    if (!m_movie)
        StartMovie(row);
    PreviewZoomed();
}

void PictureGallery::PreviewZoomed()
{
    const double scale = m_preview->ShownScale();
    m_zoomLabel->setText(scale > 0 ? QStringLiteral("%1 %").arg(qRound(scale * 100)) : QString());
    // A zoomed picture decoded to fit is decoded whole once.
    if (!m_preview->Fitted() && m_preview->Reduced() && m_previewRow >= 0 && m_previewBox != m_preview->SourceSize()) {
        m_previewBox = m_preview->SourceSize();
        m_model->Decoder().RequestPreview(m_previewRow, m_previewBox);
    }
}

void PictureGallery::StartMovie(int32_t row)
{
    const FoundItem& picture = m_model->Rows()[static_cast<std::size_t>(row)];
    if (picture.Type != ItemType::Gif || picture.Frames < 2)
        return;
    const std::span<const uint8_t> bytes = m_model->Decoder().PictureBytes(row);
    // The movie reads its own copy: the image may be replaced while it plays.
    m_movieBuffer = new QBuffer(this);
    m_movieBuffer->setData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    m_movieBuffer->open(QIODevice::ReadOnly);
    m_movie = new QMovie(m_movieBuffer, QByteArrayLiteral("gif"), this);
    m_movie->setCacheMode(QMovie::CacheAll);
    if (!m_movie->isValid()) {
        StopMovie();
        return;
    }
    connect(m_movie, &QMovie::frameChanged, this, [this] {
        const QImage frame = m_movie->currentImage();
        if (!frame.isNull())
            m_preview->SetFrame(frame);
    });
    m_movie->start();
}

void PictureGallery::StopMovie()
{
    delete m_movie;
    m_movie = nullptr;
    delete m_movieBuffer;
    m_movieBuffer = nullptr;
}

void PictureGallery::PreviewResized()
{
    const QSize box = m_preview->size().expandedTo(QSize(1, 1));
    if (m_previewRow < 0 || !m_preview->Reduced() || box == m_previewBox)
        return;
    m_previewBox = box;
    m_model->Decoder().RequestPreview(m_previewRow, box);
}

}  // namespace kestrix
