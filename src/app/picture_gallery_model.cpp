#include "picture_gallery_model.h"

#include "image_list.h"
#include "picture_list.h"
#include "result_list_model.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImageReader>

#include <algorithm>
#include <array>

namespace kestrix {
namespace {

// Fast scrolling paints many rows that are gone before the worker reaches them;
// the oldest requests are dropped past this many.
constexpr std::size_t kMaxQueued = 512;

// The cache never holds less than one thumbnail of full size, or a decoded
// thumbnail could not be kept and would be asked for again at every repaint.
constexpr int64_t kMinCacheBytes =
    int64_t{PictureGalleryModel::kThumbnailSide} * PictureGalleryModel::kThumbnailSide * 4;

bool AboveGuard(QSize size)
{
    return int64_t{size.width()} * size.height() > kMaxDecodedPixels;
}

QSize FitInto(QSize size, QSize box)
{
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

bool LargerThan(QSize size, QSize box)
{
    return size.width() > box.width() || size.height() > box.height();
}

QString StatusExplanation(PictureStatus status)
{
    switch (status) {
    case PictureStatus::Complete: return QStringLiteral("Целая: картинка прочитана до конца и раскодируется полностью");
    case PictureStatus::Truncated: return QStringLiteral("Обрезана: данные кончились раньше конца картинки");
    case PictureStatus::Damaged: return QStringLiteral("Повреждена: строение цело, но точки не раскодируются");
    }
    return {};
}

QString ThumbnailNote(ThumbnailState state)
{
    switch (state) {
    case ThumbnailState::Undecodable: return QStringLiteral("Эскиз не раскодируется");
    case ThumbnailState::TooLarge: return QStringLiteral("Картинка слишком велика для эскиза");
    case ThumbnailState::OutsideImage: return QStringLiteral("Картинка лежит вне образа");
    default: return {};
    }
}

}  // namespace

GalleryPicture DecodeGalleryPicture(std::span<const uint8_t> bytes, QSize box, QSize declaredSize)
{
    GalleryPicture result;
    if (bytes.empty())
        return result;
    if (!declaredSize.isEmpty() && AboveGuard(declaredSize)) {
        result.State = ThumbnailState::TooLarge;
        result.SourceSize = declaredSize;
        return result;
    }

    QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(kDecodeAllocationLimitMb);
    const QSize size = reader.size();
    if (size.isValid()) {
        result.SourceSize = size;
        if (size.isEmpty())
            return result;
        if (AboveGuard(size)) {
            result.State = ThumbnailState::TooLarge;
            return result;
        }
        // Decoders that can (JPEG) then decode at the smaller size directly.
        if (box.isValid() && LargerThan(size, box))
            reader.setScaledSize(FitInto(size, box));
    }

    QImage image;
    if (!reader.read(&image) || image.isNull())
        return result;
    if (box.isValid() && LargerThan(image.size(), box))
        image = image.scaled(FitInto(image.size(), box), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    result.Image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    result.State = ThumbnailState::Ready;
    return result;
}

PictureGalleryModel::PictureGalleryModel(QObject* parent) : QAbstractTableModel(parent)
{
    m_cache.setMaxCost(static_cast<qsizetype>(kDefaultCacheBytes));
    // One worker: the machine's other core belongs to the window and the scans.
    m_pool.setMaxThreadCount(1);
}

PictureGalleryModel::~PictureGalleryModel()
{
    ++m_generation;
    m_pool.clear();
    m_pool.waitForDone();
}

void PictureGalleryModel::SetPictures(std::vector<FoundPicture> rows, std::span<const uint8_t> image)
{
    beginResetModel();
    ++m_generation;
    m_pool.clear();
    m_pool.waitForDone();
    m_busy = false;
    m_queue.clear();
    m_previewRequest.reset();
    m_cache.clear();
    m_rows = std::move(rows);
    m_image = image;
    m_states.assign(m_rows.size(), ThumbnailState::NotDecoded);
    m_decodeCount = 0;
    endResetModel();
}

std::span<const uint8_t> PictureGalleryModel::PictureBytes(int32_t row) const noexcept
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return {};
    const FoundPicture& picture = m_rows[static_cast<std::size_t>(row)];
    if (picture.Start < 0 || picture.End <= picture.Start || static_cast<std::size_t>(picture.End) > m_image.size())
        return {};
    return m_image.subspan(static_cast<std::size_t>(picture.Start), static_cast<std::size_t>(picture.Size()));
}

QString PictureGalleryModel::Caption(const FoundPicture& picture, int32_t row)
{
    return ResultListModel::DisplayText(
        PictureCaption(picture.EntryName, picture.Type, static_cast<std::size_t>(std::max(row, 0))));
}

QString PictureGalleryModel::TypeText(PictureType type)
{
    switch (type) {
    case PictureType::Gif: return QStringLiteral("gif");
    case PictureType::Bmp: return QStringLiteral("bmp");
    case PictureType::Jpeg: return QStringLiteral("jpg");
    case PictureType::Png: return QStringLiteral("png");
    }
    return {};
}

QString PictureGalleryModel::StatusText(PictureStatus status)
{
    switch (status) {
    case PictureStatus::Complete: return QStringLiteral("Целая");
    case PictureStatus::Truncated: return QStringLiteral("Обрезана");
    case PictureStatus::Damaged: return QStringLiteral("Повреждена");
    }
    return {};
}

void PictureGalleryModel::SetCacheLimit(int64_t bytes)
{
    m_cache.setMaxCost(static_cast<qsizetype>(std::max(bytes, kMinCacheBytes)));
}

ThumbnailState PictureGalleryModel::State(int32_t row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_states.size())
        return ThumbnailState::NotDecoded;
    const ThumbnailState state = m_states[static_cast<std::size_t>(row)];
    if (state == ThumbnailState::Ready && !m_cache.contains(row))
        return ThumbnailState::NotDecoded;
    return state;
}

bool PictureGalleryModel::DecoderIdle() const noexcept
{
    return !m_busy && !m_previewRequest && m_queue.empty() && !m_dispatchPosted;
}

void PictureGalleryModel::RequestPreview(int32_t row, QSize box)
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return;
    if (PictureBytes(row).empty()) {
        m_previewRequest.reset();
        GalleryPicture outside;
        outside.State = ThumbnailState::OutsideImage;
        if (OnPreviewDecoded)
            OnPreviewDecoded(row, outside);
        return;
    }
    m_previewRequest = Job{row, true, box};
    PostDispatch();
}

int PictureGalleryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int PictureGalleryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant PictureGalleryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount)
        return {};
    const int32_t row = index.row();
    const int column = index.column();
    const FoundPicture& picture = m_rows[static_cast<std::size_t>(row)];
    switch (role) {
    case Qt::DisplayRole: return CellText(row, column);
    case Qt::ToolTipRole: return ToolTip(row);
    case Qt::DecorationRole:
        if (column != kNameColumn)
            return {};
        if (m_rowIcon.isNull())
            m_rowIcon = ImageList::Icon(5);
        return m_rowIcon;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue((column == kNameColumn ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (column == kStatusColumn && picture.Status == PictureStatus::Truncated)
            return QColor(0xB0, 0x5A, 0x00);
        if (column == kStatusColumn && picture.Status == PictureStatus::Damaged)
            return QColor(0xC0, 0x20, 0x20);
        return {};
    case ThumbnailRole: return column == kNameColumn ? Thumbnail(row) : QVariant();
    case ThumbnailStateRole: return static_cast<int>(State(row));
    case PictureStatusRole: return static_cast<int>(picture.Status);
    default: return {};
    }
}

QVariant PictureGalleryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const std::array<QString, kColumnCount> captions = {
        QStringLiteral("Имя файла"),   QStringLiteral("Тип"),       QStringLiteral("Начало файла"),
        QStringLiteral("Конец файла"), QStringLiteral("Размер"),    QStringLiteral("Ширина × высота"),
        QStringLiteral("Кадров"),      QStringLiteral("Состояние"),
    };
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return captions[static_cast<std::size_t>(section)];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((section == kNameColumn ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags PictureGalleryModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QString PictureGalleryModel::CellText(int32_t row, int column) const
{
    const FoundPicture& picture = m_rows[static_cast<std::size_t>(row)];
    switch (column) {
    case kNameColumn: return Caption(picture, row);
    case kTypeColumn: return TypeText(picture.Type);
    case kStartColumn: return QString::number(picture.Start);
    case kEndColumn: return QString::number(picture.End);
    case kSizeColumn: return QString::number(picture.Size());
    case kDimensionsColumn:
        if (picture.Width <= 0 || picture.Height <= 0)
            return {};
        return QStringLiteral("%1 × %2").arg(picture.Width).arg(picture.Height);
    case kFramesColumn: return picture.Type == PictureType::Gif ? QString::number(picture.Frames) : QString();
    case kStatusColumn: return StatusText(picture.Status);
    default: return {};
    }
}

QString PictureGalleryModel::ToolTip(int32_t row) const
{
    const FoundPicture& picture = m_rows[static_cast<std::size_t>(row)];
    QString kind = TypeText(picture.Type);
    const QString dimensions = CellText(row, kDimensionsColumn);
    if (!dimensions.isEmpty())
        kind += QStringLiteral(", ") + dimensions;
    if (picture.Type == PictureType::Gif)
        kind += QStringLiteral(", кадров: %1").arg(picture.Frames);
    kind += QStringLiteral(", %1 байт").arg(picture.Size());
    QString text =
        Caption(picture, row) + QLatin1Char('\n') + kind + QLatin1Char('\n') + StatusExplanation(picture.Status);
    const QString note = ThumbnailNote(State(row));
    if (!note.isEmpty())
        text += QLatin1Char('\n') + note;
    return text;
}

QVariant PictureGalleryModel::Thumbnail(int32_t row) const
{
    if (const QImage* image = m_cache.object(row))
        return *image;
    ThumbnailState& state = m_states[static_cast<std::size_t>(row)];
    if (state == ThumbnailState::Ready || state == ThumbnailState::NotDecoded)
        RequestThumbnail(row);
    return QImage();
}

void PictureGalleryModel::RequestThumbnail(int32_t row) const
{
    ThumbnailState& state = m_states[static_cast<std::size_t>(row)];
    if (PictureBytes(row).empty()) {
        state = ThumbnailState::OutsideImage;
        return;
    }
    state = ThumbnailState::Queued;
    m_queue.push_back(row);
    if (m_queue.size() > kMaxQueued) {
        const auto dropped = m_queue.begin() + static_cast<std::ptrdiff_t>(m_queue.size() - kMaxQueued / 2);
        for (auto it = m_queue.begin(); it != dropped; ++it)
            if (m_states[static_cast<std::size_t>(*it)] == ThumbnailState::Queued)
                m_states[static_cast<std::size_t>(*it)] = ThumbnailState::NotDecoded;
        m_queue.erase(m_queue.begin(), dropped);
    }
    PostDispatch();
}

void PictureGalleryModel::PostDispatch() const
{
    if (m_dispatchPosted || m_busy)
        return;
    m_dispatchPosted = true;
    auto* self = const_cast<PictureGalleryModel*>(this);
    QMetaObject::invokeMethod(
        self, [self] { self->Dispatch(); }, Qt::QueuedConnection);
}

void PictureGalleryModel::Dispatch()
{
    m_dispatchPosted = false;
    if (m_busy)
        return;
    if (m_previewRequest) {
        const Job job = *m_previewRequest;
        m_previewRequest.reset();
        Start(job);
        return;
    }
    while (!m_queue.empty()) {
        const int32_t row = m_queue.back();
        m_queue.pop_back();
        if (static_cast<std::size_t>(row) >= m_states.size())
            continue;
        ThumbnailState& state = m_states[static_cast<std::size_t>(row)];
        if (state != ThumbnailState::Queued)
            continue;
        if (RowWanted && !RowWanted(row)) {
            state = ThumbnailState::NotDecoded;
            continue;
        }
        state = ThumbnailState::Decoding;
        ++m_decodeCount;
        Start(Job{row, false, QSize(kThumbnailSide, kThumbnailSide)});
        return;
    }
}

void PictureGalleryModel::Start(const Job& job)
{
    const std::span<const uint8_t> bytes = PictureBytes(job.Row);
    const FoundPicture& picture = m_rows[static_cast<std::size_t>(job.Row)];
    const QSize declared(picture.Width, picture.Height);
    const uint32_t generation = m_generation;
    m_busy = true;
    m_pool.start([this, bytes, declared, job, generation] {
        const GalleryPicture decoded = DecodeGalleryPicture(bytes, job.Box, declared);
        QMetaObject::invokeMethod(
            this, [this, generation, job, decoded] { Finished(generation, job, decoded); }, Qt::QueuedConnection);
    });
}

void PictureGalleryModel::Finished(uint32_t generation, const Job& job, const GalleryPicture& picture)
{
    if (generation != m_generation)
        return;
    m_busy = false;
    if (job.Preview) {
        if (OnPreviewDecoded)
            OnPreviewDecoded(job.Row, picture);
    } else if (static_cast<std::size_t>(job.Row) < m_states.size()) {
        ThumbnailState& state = m_states[static_cast<std::size_t>(job.Row)];
        if (picture.State == ThumbnailState::Ready) {
            const auto cost = std::max<qsizetype>(1, picture.Image.sizeInBytes());
            state = m_cache.insert(job.Row, new QImage(picture.Image), cost) ? ThumbnailState::Ready
                                                                             : ThumbnailState::NotDecoded;
        } else {
            state = picture.State;
        }
        const QModelIndex at = index(job.Row, kNameColumn);
        emit dataChanged(at, at, {ThumbnailRole, ThumbnailStateRole, Qt::ToolTipRole});
    }
    if (!m_busy)
        Dispatch();
}

}  // namespace kestrix
