#include "picture_gallery_model.h"

#include "digest.h"

#include "image_list.h"
#include "picture_list.h"
#include "result_list_model.h"
#include "scratch_copy.h"
#include "window_text.h"

#include <QColor>
#include <QDir>
#include <QMimeData>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <array>

namespace kestrix {
namespace {

// The status's plain meaning, or for a flawed picture the search's own reason.
QString StatusExplanation(const FoundItem& picture)
{
    const QString detail = QString::fromStdString(StatusDetail(picture));
    switch (picture.Status) {
    case ItemStatus::Complete:
        return QStringLiteral("Целая: картинка прочитана до конца и раскодируется полностью") +
               (detail.isEmpty() ? QString() : QStringLiteral("; ") + detail);
    case ItemStatus::Truncated: return QStringLiteral("Обрезана: данные кончились раньше конца картинки");
    case ItemStatus::Damaged:
        return QStringLiteral("Повреждена: ") +
               (detail.isEmpty() ? QStringLiteral("строение цело, но точки не раскодируются") : detail);
    case ItemStatus::Unchecked:
        return QStringLiteral("Не проверена: строение цело, но раскодировать её дороже, чем позволяет её размер");
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

QString TypeName(ItemType type)
{
    return QString::fromLatin1(ContentTypeName(type));
}

QString Dimensions(const FoundItem& picture)
{
    if (picture.Width <= 0 || picture.Height <= 0)
        return {};
    return QStringLiteral("%1 × %2").arg(picture.Width).arg(picture.Height);
}

}  // namespace

PictureGalleryModel::PictureGalleryModel(QObject* parent)
    : QAbstractTableModel(parent), m_decoder(new ThumbnailDecoder(this)), m_rowIcon(ImageList::Icon(5))
{
    m_decoder->OnThumbnailChanged = [this](int32_t row) { ThumbnailChanged(row); };
}

PictureGalleryModel::~PictureGalleryModel()
{
    // The decoder reads m_rows on its worker: it stops before they go.
    m_decoder->Reset({}, {});
}

void PictureGalleryModel::SetPictures(std::vector<FoundItem> rows, std::span<const uint8_t> image)
{
    beginResetModel();
    m_decoder->Reset({}, {});
    m_rows = std::move(rows);
    m_captions.clear();
    m_digests.clear();
    m_image = image;
    m_decoder->Reset(m_rows, m_image);
    endResetModel();
}

QString PictureGalleryModel::Caption(const FoundItem& picture, int32_t row)
{
    return ResultListModel::DisplayText(PictureCaption(picture, static_cast<std::size_t>(std::max(row, 0))));
}

const QString& PictureGalleryModel::RowCaption(int32_t row) const
{
    if (m_captions.size() != m_rows.size()) {
        m_captions.resize(m_rows.size());
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            m_captions[i] = Caption(m_rows[i], static_cast<int32_t>(i));
    }
    return m_captions[static_cast<std::size_t>(row)];
}

qlonglong PictureGalleryModel::NumberKey(int32_t row, int column) const
{
    return NumberKeyOf(m_rows[static_cast<std::size_t>(row)], column);
}

SortKeySource::Reader PictureGalleryModel::SortKeys(int column) const
{
    // The reader runs on another thread: it reads only what stays unchanged
    // until the next reset (the rows, the image, captions already made).
    const std::vector<FoundItem>* rows = &m_rows;
    Reader reader;
    switch (column) {
    case kNameColumn:
        if (m_captions.size() == m_rows.size())
            reader.Text = [captions = &m_captions](int32_t row) { return (*captions)[static_cast<std::size_t>(row)]; };
        else
            reader.Text = [rows](int32_t row) { return Caption((*rows)[static_cast<std::size_t>(row)], row); };
        break;
    case kTypeColumn:
        reader.Text = [rows](int32_t row) { return TypeName((*rows)[static_cast<std::size_t>(row)].Type); };
        break;
    case kDigestColumn:
        reader.Text = [rows, image = m_image](int32_t row) {
            return DigestOf((*rows)[static_cast<std::size_t>(row)], image);
        };
        break;
    default:
        reader.Number = [rows, column](int32_t row) {
            return NumberKeyOf((*rows)[static_cast<std::size_t>(row)], column);
        };
    }
    return reader;
}

qlonglong PictureGalleryModel::NumberKeyOf(const FoundItem& picture, int column)
{
    switch (column) {
    case kStartColumn: return picture.Start;
    case kEndColumn: return picture.End;
    case kSizeColumn: return picture.Size();
    case kDimensionsColumn: return qlonglong{picture.Width} * picture.Height;
    case kFramesColumn: return picture.Frames;
    case kStatusColumn: return static_cast<int>(picture.Status);
    default: return 0;
    }
}

QString PictureGalleryModel::StatusText(ItemStatus status)
{
    switch (status) {
    case ItemStatus::Complete: return QStringLiteral("Целая");
    case ItemStatus::Truncated: return QStringLiteral("Обрезана");
    case ItemStatus::Damaged: return QStringLiteral("Повреждена");
    case ItemStatus::Unchecked: return QStringLiteral("Не проверена");
    }
    return {};
}

QString PictureGalleryModel::Description(const FoundItem& picture, int32_t row, bool hexOffsets)
{
    QString kind = TypeName(picture.Type);
    const QString dimensions = Dimensions(picture);
    if (!dimensions.isEmpty())
        kind += QStringLiteral(", ") + dimensions;
    if (picture.Type == ItemType::Gif)
        kind += QStringLiteral(", кадров: %1").arg(picture.Frames);
    return Caption(picture, row) + QLatin1Char('\n') + kind + QLatin1Char('\n') +
           QStringLiteral("%1 байт с %2").arg(picture.Size()).arg(OffsetText(picture.Start, hexOffsets));
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
    const FoundItem& picture = m_rows[static_cast<std::size_t>(row)];
    switch (role) {
    case Qt::DisplayRole: return CellText(row, column);
    case Qt::ToolTipRole: return ToolTip(row);
    case Qt::DecorationRole: return column == kNameColumn ? QVariant(m_rowIcon) : QVariant();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue((column == kNameColumn ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (column == kStatusColumn && picture.Status == ItemStatus::Truncated)
            return QColor(0xB0, 0x5A, 0x00);
        if (column == kStatusColumn && picture.Status == ItemStatus::Damaged)
            return QColor(0xC0, 0x20, 0x20);
        if (column == kStatusColumn && picture.Status == ItemStatus::Unchecked)
            return QColor(0x60, 0x60, 0x60);
        return {};
    case ThumbnailRole: return column == kNameColumn ? QVariant(m_decoder->Thumbnail(row)) : QVariant();
    case ThumbnailStateRole: return static_cast<int>(m_decoder->State(row));
    case PictureStatusRole: return static_cast<int>(picture.Status);
    case SortRole: return SortKey(row, column);
    default: return {};
    }
}

QVariant PictureGalleryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const std::array<QString, kColumnCount> kCaptions = {
        QStringLiteral("Имя файла"),   QStringLiteral("Тип"),       QStringLiteral("Начало файла"),
        QStringLiteral("Конец файла"), QStringLiteral("Размер"),    QStringLiteral("Ширина × высота"),
        QStringLiteral("Кадров"),      QStringLiteral("Состояние"), QStringLiteral("SHA-256"),
    };
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return kCaptions[static_cast<std::size_t>(section)];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((section == kNameColumn ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags PictureGalleryModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled : Qt::NoItemFlags;
}

QString PictureGalleryModel::ScratchCopy(int32_t row) const
{
    const std::span<const uint8_t> bytes = m_decoder->PictureBytes(row);
    if (bytes.empty())
        return {};
    QString name = Caption(m_rows[static_cast<std::size_t>(row)], row);
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral(".."))
        name = QStringLiteral("picture");
    return WriteScratchCopy(QStringLiteral("pictures"), name, bytes);
}

QStringList PictureGalleryModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData* PictureGalleryModel::mimeData(const QModelIndexList& indexes) const
{
    return ScratchCopiesMimeData(this, indexes, [this](int row) { return ScratchCopy(static_cast<int32_t>(row)); });
}

void PictureGalleryModel::SetHexOffsets(bool value)
{
    if (value == m_hexOffsets)
        return;
    m_hexOffsets = value;
    if (!m_rows.empty())
        emit dataChanged(index(0, kStartColumn), index(rowCount() - 1, kEndColumn), {Qt::DisplayRole});
}

QString PictureGalleryModel::Offset(int32_t offset) const
{
    return OffsetText(offset, m_hexOffsets);
}

QString PictureGalleryModel::CellText(int32_t row, int column) const
{
    const FoundItem& picture = m_rows[static_cast<std::size_t>(row)];
    switch (column) {
    case kNameColumn: return RowCaption(row);
    case kTypeColumn: return TypeName(picture.Type);
    case kStartColumn: return Offset(picture.Start);
    case kEndColumn: return Offset(picture.End);
    case kSizeColumn: return QString::number(picture.Size());
    case kDimensionsColumn: return Dimensions(picture);
    case kFramesColumn: return picture.Type == ItemType::Gif ? QString::number(picture.Frames) : QString();
    case kStatusColumn: return StatusText(picture.Status);
    case kDigestColumn: return Digest(row);
    default: return {};
    }
}

const QString& PictureGalleryModel::Digest(int32_t row) const
{
    QString& digest = m_digests[static_cast<std::size_t>(row)];
    if (digest.isEmpty())
        digest = DigestOf(m_rows[static_cast<std::size_t>(row)], m_image);
    return digest;
}

QString PictureGalleryModel::DigestOf(const FoundItem& picture, std::span<const uint8_t> image)
{
    if (picture.Start < 0 || picture.End < picture.Start || static_cast<std::size_t>(picture.End) > image.size())
        return {};
    return QString::fromLatin1(
        Sha256Hex(image.subspan(static_cast<std::size_t>(picture.Start), static_cast<std::size_t>(picture.Size())))
            .c_str());
}

QVariant PictureGalleryModel::SortKey(int32_t row, int column) const
{
    const FoundItem& picture = m_rows[static_cast<std::size_t>(row)];
    switch (column) {
    case kNameColumn: return Caption(picture, row);
    case kTypeColumn: return TypeName(picture.Type);
    case kStartColumn: return qlonglong{picture.Start};
    case kEndColumn: return qlonglong{picture.End};
    case kSizeColumn: return qlonglong{picture.Size()};
    case kDimensionsColumn: return qlonglong{picture.Width} * picture.Height;
    case kFramesColumn: return qlonglong{picture.Frames};
    case kStatusColumn: return static_cast<int>(picture.Status);
    case kDigestColumn: return Digest(row);
    default: return {};
    }
}

QString PictureGalleryModel::ToolTip(int32_t row) const
{
    QString text = Description(m_rows[static_cast<std::size_t>(row)], row) + QLatin1Char('\n') +
                   StatusExplanation(m_rows[static_cast<std::size_t>(row)]);
    const QString note = ThumbnailNote(m_decoder->State(row));
    if (!note.isEmpty())
        text += QLatin1Char('\n') + note;
    return WrappedToolTip(text);
}

void PictureGalleryModel::ThumbnailChanged(int32_t row)
{
    const QModelIndex at = index(row, kNameColumn);
    emit dataChanged(at, at, {ThumbnailRole, ThumbnailStateRole, Qt::ToolTipRole});
}

}  // namespace kestrix
