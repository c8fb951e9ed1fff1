#include "result_list_model.h"

#include "window_text.h"

#include "code_page.h"

namespace kestrix {
namespace {

// U+2423 OPEN BOX: common fonts have it, unlike the control pictures
// (U+2400), and no Windows-1251 character looks like it.
constexpr QChar kZeroByteSymbol(0x2423);

}  // namespace

ResultListModel::ResultListModel(std::vector<ListColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(std::move(columns))
{
}

ResultRow ResultListModel::Row(std::size_t index) const
{
    return m_text != nullptr ? m_text(m_found, index) : m_rows[index];
}

std::vector<ResultRow> ResultListModel::Rows() const
{
    std::vector<ResultRow> rows;
    rows.reserve(m_shown);
    for (std::size_t i = 0; i < m_shown; ++i)
        rows.push_back(Row(i));
    return rows;
}

void ResultListModel::SetRows(std::vector<ResultRow> rows)
{
    beginResetModel();
    m_found.Clear();
    m_text = nullptr;
    m_rows = std::move(rows);
    m_shown = m_rows.size();
    m_filling = false;
    endResetModel();
}

void ResultListModel::SetFoundRows(FoundRows rows, RowText text)
{
    beginResetModel();
    m_rows.clear();
    m_found = std::move(rows);
    m_text = text;
    m_shown = m_found.Count();
    m_filling = false;
    endResetModel();
}

FoundRows& ResultListModel::BeginFill(RowText text)
{
    SetFoundRows({}, text);
    m_filling = true;
    return m_found;
}

void ResultListModel::ShowFilled()
{
    const std::size_t count = m_found.Count();
    if (!m_filling || count <= m_shown)
        return;
    beginInsertRows({}, static_cast<int>(m_shown), static_cast<int>(count) - 1);
    m_shown = count;
    endInsertRows();
}

void ResultListModel::EndFill()
{
    if (!m_filling)
        return;
    beginResetModel();
    m_shown = m_found.Count();
    m_filling = false;
    endResetModel();
}

QString ResultListModel::DisplayText(const std::string& bytes)
{
    QString text = QString::fromStdU16String(Cp1251ToUtf16(bytes));
    text.replace(QChar(u'\0'), kZeroByteSymbol);
    return text;
}

int ResultListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown);
}

int ResultListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        const ResultRow row = Row(static_cast<std::size_t>(index.row()));
        const QString text = DisplayText(column == 0 ? row.Caption : row.Cell(static_cast<std::size_t>(column - 1)));
        return role == Qt::ToolTipRole ? WrappedToolTip(text) : text;
    }
    case Qt::DecorationRole: {
        if (column != 0)
            return {};
        const ResultRow row = Row(static_cast<std::size_t>(index.row()));
        if (row.ImageIndex >= 0 && row.ImageIndex < ImageList::kCount) {
            QIcon& icon = m_icons[static_cast<std::size_t>(row.ImageIndex)];
            if (icon.isNull())
                icon = ImageList::Icon(row.ImageIndex);
            return icon;
        }
        return {};
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_columns[static_cast<std::size_t>(column)].Alignment | Qt::AlignVCenter);
    default: return {};
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
