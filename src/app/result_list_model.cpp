#include "result_list_model.h"

#include "code_page.h"

#include <iterator>

namespace kestrix {
namespace {

// U+2423 OPEN BOX: common fonts have it, unlike the control pictures
// (U+2400), and no Windows-1251 character looks like it.
constexpr QChar kZeroByteSymbol(0x2423);

// A value read up to a stop byte can run to the end of a large image; the list
// shows its beginning so that painting a row stays cheap.
constexpr std::size_t kMaxShownBytes = 4096;

}  // namespace

ResultListModel::ResultListModel(std::vector<ListColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(std::move(columns))
{
}

void ResultListModel::SetRows(std::vector<TResultRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void ResultListModel::AppendRows(std::vector<TResultRow> rows)
{
    if (rows.empty())
        return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
}

QString ResultListModel::DisplayText(const std::string& bytes)
{
    const bool cut = bytes.size() > kMaxShownBytes;
    QString text = QString::fromStdU16String(
        Cp1251ToUtf16(std::string_view(bytes).substr(0, cut ? kMaxShownBytes : bytes.size())));
    text.replace(QChar(u'\0'), kZeroByteSymbol);
    if (cut)
        text += QStringLiteral("… (%1 bytes)").arg(bytes.size());
    return text;
}

int ResultListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const TResultRow& row = m_rows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return DisplayText(column == 0 ? row.Caption : row.Cell(static_cast<std::size_t>(column - 1)));
    case Qt::DecorationRole:
        if (column == 0 && row.ImageIndex >= 0 && row.ImageIndex < ImageList::kCount) {
            QIcon& icon = m_icons[static_cast<std::size_t>(row.ImageIndex)];
            if (icon.isNull())
                icon = ImageList::Icon(row.ImageIndex);
            return icon;
        }
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_columns[static_cast<std::size_t>(column)].Alignment | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    const ListColumn& column = m_columns[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole)
        return column.Caption;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(column.Alignment | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (m_firstColumnOnly && index.column() != 0)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace kestrix
