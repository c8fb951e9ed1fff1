#include "content_list_model.h"

#include "digest.h"
#include "picture_gallery_model.h"

#include "code_page.h"
#include "scratch_copy.h"
#include "sound_player_bar.h"
#include "window_text.h"

#include <QApplication>
#include <QColor>
#include <QMimeData>
#include <QPixmap>
#include <QStyle>
#include <QUrl>

#include <algorithm>

namespace kestrix {
namespace {

enum Column { kName, kType, kStart, kEnd, kSize, kStatus, kEntry, kFirstDetail };

QString Text(const std::string& cp1251)
{
    return QString::fromStdString(Cp1251ToUtf8(cp1251));
}

}  // namespace

ContentListModel::ContentListModel(ContentKind kind, QObject* parent) : QAbstractTableModel(parent), m_kind(kind)
{
    m_headers = {QStringLiteral("Имя"),     QStringLiteral("Тип"),    QStringLiteral("Начало"),
                 QStringLiteral("Конец"),   QStringLiteral("Размер"), QStringLiteral("Состояние"),
                 QStringLiteral("Имя в ФС")};
    if (kind == ContentKind::Sound)
        m_headers << QStringLiteral("Длительность") << QStringLiteral("Частота, Гц") << QStringLiteral("Каналы")
                  << QStringLiteral("Дорожки");
    else if (kind == ContentKind::Application)
        m_headers << QStringLiteral("Название") << QStringLiteral("Производитель") << QStringLiteral("Версия")
                  << QStringLiteral("Архив");
    m_headers << QStringLiteral("SHA-256");
    if (kind == ContentKind::Application) {
        m_iconDecoder = std::make_unique<ThumbnailDecoder>();
        m_iconDecoder->SetThumbnailSide(kIconSide);
        m_iconDecoder->OnThumbnailChanged = [this](int32_t midlet) { IconDecoded(midlet); };
    }
}

void ContentListModel::SetResults(std::shared_ptr<const ContentResults> results)
{
    beginResetModel();
    m_results = std::move(results);
    m_rows.clear();
    m_digests.clear();
    if (m_results)
        for (std::size_t i = 0; i < m_results->Found.Items.size(); ++i)
            if (KindOf(m_results->Found.Items[i].Type) == m_kind)
                m_rows.push_back(i);
    ResetIcons();
    endResetModel();
}

void ContentListModel::ResetIcons()
{
    if (!m_iconDecoder)
        return;
    m_iconDecoder->Reset({}, {});
    m_iconRows.clear();
    m_iconBytes.clear();
    m_rowsOfMidlet.clear();
    if (!m_results)
        return;
    const std::vector<MidletInfo>& midlets = m_results->Found.Midlets;
    m_rowsOfMidlet.resize(midlets.size());
    for (std::size_t row = 0; row < m_rows.size(); ++row)
        if (const int32_t midlet = m_results->Found.Items[m_rows[row]].Midlet; midlet >= 0)
            m_rowsOfMidlet[static_cast<std::size_t>(midlet)].push_back(static_cast<int32_t>(row));
    for (const MidletInfo& midlet : midlets) {
        FoundItem icon;
        const std::span<const uint8_t> bytes(midlet.Icon);
        for (const ItemType type : {ItemType::Png, ItemType::Gif, ItemType::Bmp, ItemType::Jpeg}) {
            if (bytes.size() >= 2 && bytes[0] == TraitsOf(type).Lead[0] && bytes[1] == TraitsOf(type).Lead[1]) {
                icon.Type = type;
                icon.Start = static_cast<int64_t>(m_iconBytes.size());
                m_iconBytes.insert(m_iconBytes.end(), bytes.begin(), bytes.end());
                icon.End = static_cast<int64_t>(m_iconBytes.size());
                break;
            }
        }
        m_iconRows.push_back(icon);
    }
    m_iconDecoder->Reset(m_iconRows, m_iconBytes);
}

void ContentListModel::IconDecoded(int32_t midlet)
{
    if (midlet < 0 || static_cast<std::size_t>(midlet) >= m_rowsOfMidlet.size())
        return;
    for (const int32_t row : m_rowsOfMidlet[static_cast<std::size_t>(midlet)])
        emit dataChanged(index(row, kName), index(row, kName), {Qt::DecorationRole});
}

void ContentListModel::SetHexOffsets(bool value)
{
    if (value == m_hexOffsets)
        return;
    m_hexOffsets = value;
    if (!m_rows.empty())
        emit dataChanged(index(0, kStart), index(rowCount() - 1, kEnd), {Qt::DisplayRole});
}

int ContentListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ContentListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QString ContentListModel::StatusText(ContentKind kind, ItemStatus status)
{
    // The adjective agrees with the noun of the kind: masculine, feminine or neuter.
    struct Words {
        const char16_t* Noun;
        const char16_t* Endings[4];  // whole, truncated, damaged, unchecked
    };
    static const Words kMasculine[] = {{u"звук", {u"Целый", u"Обрезанный", u"Повреждённый", u"Непроверенный"}},
                                       {u"файл", {u"Целый", u"Обрезанный", u"Повреждённый", u"Непроверенный"}}};
    static const Words kPicture = {u"картинка", {u"Целая", u"Обрезанная", u"Повреждённая", u"Непроверенная"}};
    static const Words kApplication = {u"приложение", {u"Целое", u"Обрезанное", u"Повреждённое", u"Непроверенное"}};
    const Words& words = kind == ContentKind::Picture       ? kPicture
                         : kind == ContentKind::Application ? kApplication
                         : kind == ContentKind::Sound       ? kMasculine[0]
                                                            : kMasculine[1];
    int which = 0;
    switch (status) {
    case ItemStatus::Complete: which = 0; break;
    case ItemStatus::Truncated: which = 1; break;
    case ItemStatus::Damaged: which = 2; break;
    case ItemStatus::Unchecked: which = 3; break;
    }
    return QString::fromUtf16(words.Endings[which]) + u' ' + QString::fromUtf16(words.Noun);
}

std::size_t ContentListModel::RowOfItem(std::size_t itemIndex) const
{
    return static_cast<std::size_t>(std::lower_bound(m_rows.begin(), m_rows.end(), itemIndex) - m_rows.begin());
}

QString ContentListModel::DigestOf(const FoundItem& item, std::size_t row) const
{
    // Computed when first shown or copied: most rows are never looked at.
    QString& digest = m_digests[row];
    if (digest.isEmpty())
        digest = Digest(item);
    return digest;
}

QString ContentListModel::Digest(const FoundItem& item) const
{
    if (item.Start < 0 || item.End < item.Start || static_cast<std::size_t>(item.End) > m_image.size())
        return {};
    return QString::fromLatin1(
        Sha256Hex(m_image.subspan(static_cast<std::size_t>(item.Start), static_cast<std::size_t>(item.Size())))
            .c_str());
}

QString ContentListModel::Cell(const FoundItem& item, std::size_t index, int column) const
{
    const ContentFound& found = m_results->Found;
    const MidletInfo* midlet = item.Midlet >= 0 ? &found.Midlets[static_cast<std::size_t>(item.Midlet)] : nullptr;
    switch (column) {
    case kName: return Text(m_results->Captions[index]);
    case kType: return Text(ItemTypeName(item));
    case kStart: return OffsetText(item.Start, m_hexOffsets);
    case kEnd: return OffsetText(item.End, m_hexOffsets);
    case kSize: return QString::number(item.Size());
    case kStatus: return StatusText(KindOf(item.Type), item.Status);
    case kEntry: return Text(item.EntryName);
    default: break;
    }
    if (column == DigestColumn())
        return DigestOf(item, RowOfItem(index));
    const int detail = column - kFirstDetail;
    if (m_kind == ContentKind::Sound) {
        switch (detail) {
        case 0: return item.DurationMs > 0 ? PlayTimeText(item.DurationMs) : QString();
        case 1: return item.SampleRate > 0 ? QString::number(item.SampleRate) : QString();
        case 2: return item.Channels > 0 ? QString::number(item.Channels) : QString();
        case 3: return item.Tracks > 0 ? QString::number(item.Tracks) : QString();
        default: return {};
        }
    }
    if (m_kind == ContentKind::Application && midlet != nullptr) {
        switch (detail) {
        case 0: return QString::fromUtf8(midlet->Name.c_str());
        case 1: return QString::fromUtf8(midlet->Vendor.c_str());
        case 2: return QString::fromUtf8(midlet->Version.c_str());
        case 3: return JarText(item);
        default: return {};
        }
    }
    return {};
}

QString ContentListModel::JarText(const FoundItem& item) const
{
    if (item.Jar < 0)
        return {};
    const QString caption = Text(m_results->Captions[static_cast<std::size_t>(item.Jar)]);
    switch (item.JarFit) {
    case JarMatch::Cut: return caption + QStringLiteral(" (обрезан)");
    case JarMatch::OtherSize: return caption + QStringLiteral(" (другого размера)");
    default: return caption;
    }
}

bool ContentListModel::NumberKey(const FoundItem& item, int column, qlonglong& key) const
{
    switch (column) {
    case kStart: key = item.Start; return true;
    case kEnd: key = item.End; return true;
    case kSize: key = item.Size(); return true;
    case kStatus: key = static_cast<int>(item.Status); return true;
    default: break;
    }
    if (m_kind == ContentKind::Sound) {
        switch (column - kFirstDetail) {
        case 0: key = item.DurationMs; return true;
        case 1: key = item.SampleRate; return true;
        case 2: key = item.Channels; return true;
        case 3: key = item.Tracks; return true;
        default: break;
        }
    }
    return false;
}

QVariant ContentListModel::SortKey(const FoundItem& item, std::size_t index, int column) const
{
    qlonglong number = 0;
    if (NumberKey(item, column, number))
        return number;
    return Cell(item, index, column).toLower();
}

SortKeySource::Reader ContentListModel::StatusKeys() const
{
    return SortKeys(kStatus);
}

SortKeySource::Reader ContentListModel::SortKeys(int column) const
{
    // The reader runs on another thread: it reads only what stays unchanged
    // until the next reset (the results, the rows, the image), never the
    // digests kept for showing.
    Reader reader;
    if (!m_results)
        return reader;
    const auto itemAt = [this](int32_t row) -> const FoundItem& {
        return m_results->Found.Items[m_rows[static_cast<std::size_t>(row)]];
    };
    qlonglong probe = 0;
    if (NumberKey(FoundItem{}, column, probe)) {
        reader.Number = [this, itemAt, column](int32_t row) {
            qlonglong key = 0;
            NumberKey(itemAt(row), column, key);
            return key;
        };
    } else if (column == DigestColumn()) {
        reader.Text = [this, itemAt](int32_t row) { return Digest(itemAt(row)).toLower(); };
    } else {
        reader.Text = [this, itemAt, column](int32_t row) {
            return Cell(itemAt(row), m_rows[static_cast<std::size_t>(row)], column).toLower();
        };
    }
    return reader;
}

QIcon ContentListModel::IconOf(const FoundItem& item) const
{
    // Until its icon is decoded, or when it has none, an application shows a file's icon.
    const QImage icon = item.Midlet >= 0 ? m_iconDecoder->Thumbnail(item.Midlet) : QImage();
    return icon.isNull() ? QApplication::style()->standardIcon(QStyle::SP_FileIcon) : QIcon(QPixmap::fromImage(icon));
}

QVariant ContentListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_results || index.row() >= rowCount())
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    const std::size_t itemIndex = m_rows[row];
    const FoundItem& item = m_results->Found.Items[itemIndex];
    switch (role) {
    case Qt::DisplayRole: return Cell(item, itemIndex, index.column());
    case SortRole: return SortKey(item, itemIndex, index.column());
    case ItemRole: return static_cast<qulonglong>(itemIndex);
    case PictureGalleryModel::PictureStatusRole: return static_cast<int>(item.Status);
    case Qt::DecorationRole:
        if (index.column() != kName || m_kind != ContentKind::Application)
            return {};
        return IconOf(item);
    case Qt::ForegroundRole:
        if (index.column() != kStatus)
            return {};
        if (item.Status == ItemStatus::Truncated)
            return QColor(0xB0, 0x5A, 0x00);
        if (item.Status == ItemStatus::Damaged)
            return QColor(0xC0, 0x20, 0x20);
        if (item.Status == ItemStatus::Unchecked)
            return QColor(0x60, 0x60, 0x60);
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(
            (index.column() == kName || index.column() == kEntry ? Qt::AlignLeft : Qt::AlignHCenter) |
            Qt::AlignVCenter);
    default: return {};
    }
}

Qt::ItemFlags ContentListModel::flags(const QModelIndex& index) const
{
    return QAbstractTableModel::flags(index) | (index.isValid() ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}

QStringList ContentListModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QString ContentListModel::ScratchCopy(int row) const
{
    if (!m_results || row < 0 || row >= rowCount())
        return {};
    const std::size_t index = m_rows[static_cast<std::size_t>(row)];
    const FoundItem& item = m_results->Found.Items[index];
    if (item.End > static_cast<int64_t>(m_image.size()))
        return {};
    return WriteScratchCopy(
        QStringLiteral("items"), Text(m_results->Captions[index]),
        m_image.subspan(static_cast<std::size_t>(item.Start), static_cast<std::size_t>(item.Size())));
}

QMimeData* ContentListModel::mimeData(const QModelIndexList& indexes) const
{
    return ScratchCopiesMimeData(this, indexes, [this](int row) { return ScratchCopy(row); });
}

QVariant ContentListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_headers.size())
        return {};
    return m_headers[section];
}

}  // namespace kestrix
