#include "result_list_view.h"

#include "grid_delegate.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include <algorithm>
#include <set>

namespace kestrix {

ResultListView::ResultListView(std::vector<ListColumn> columns, bool multiSelect, bool rowSelect, QWidget* parent)
    : QTableView(parent), m_model(new ResultListModel(std::move(columns), this)),
      m_selectionMode(multiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection)
{
    m_model->SetFirstColumnSelectable(!rowSelect);
    setModel(m_model);
    auto* delegate = new GridDelegate(this);
    setItemDelegate(delegate);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(m_selectionMode);
    setSelectionBehavior(rowSelect ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setIconSize(QSize(16, 16));
    setTextElideMode(Qt::ElideRight);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

    // Every row is as high as a row with an icon and one line of text.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(GridDelegate::RowHeight(this));

    QHeaderView* head = horizontalHeader();
    head->setHighlightSections(false);
    head->setSectionsMovable(false);
    head->setStretchLastSection(false);
    head->setMinimumSectionSize(24);
    const auto& cols = m_model->Columns();
    for (int i = 0; i < static_cast<int>(cols.size()); ++i) {
        const ListColumn& c = cols[static_cast<std::size_t>(i)];
        if (c.AutoSize) {
            head->setSectionResizeMode(i, QHeaderView::Stretch);
            continue;
        }
        const bool fixed = c.MinWidth > 0 && c.MinWidth == c.MaxWidth;
        head->setSectionResizeMode(i, fixed ? QHeaderView::Fixed : QHeaderView::Interactive);
        head->resizeSection(i, c.Width);
    }
    connect(head, &QHeaderView::sectionResized, this,
            [this](int section, int, int newSize) { ClampSection(section, newSize); });

    const auto invalidate = [this] { m_cacheValid = false; };
    connect(m_model, &QAbstractItemModel::modelReset, this, invalidate);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, invalidate);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, invalidate);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &ResultListView::SelectionChanged);
}

void ResultListView::ClampSection(int section, int newSize)
{
    const auto& cols = m_model->Columns();
    if (section < 0 || section >= static_cast<int>(cols.size()))
        return;
    const ListColumn& c = cols[static_cast<std::size_t>(section)];
    int size = newSize;
    if (c.MinWidth > 0)
        size = std::max(size, c.MinWidth);
    if (c.MaxWidth > 0)
        size = std::min(size, c.MaxWidth);
    if (size != newSize && !c.AutoSize)
        horizontalHeader()->resizeSection(section, size);
}

int32_t ResultListView::SelCount() const
{
    return static_cast<int32_t>(SelectedRows().size());
}

std::vector<int32_t> ResultListView::SelectedRows() const
{
    if (!m_cacheValid) {
        m_selectedCache.clear();
        for (const QItemSelectionRange& range : selectionModel()->selection())
            for (int r = range.top(); r <= range.bottom(); ++r)
                m_selectedCache.push_back(r);
        std::sort(m_selectedCache.begin(), m_selectedCache.end());
        m_selectedCache.erase(std::unique(m_selectedCache.begin(), m_selectedCache.end()), m_selectedCache.end());
        m_cacheValid = true;
    }
    return m_selectedCache;
}

std::vector<bool> ResultListView::SelectedFlags() const
{
    std::vector<bool> flags(m_model->RowCount(), false);
    for (const int32_t r : SelectedRows())
        if (r >= 0 && static_cast<std::size_t>(r) < flags.size())
            flags[static_cast<std::size_t>(r)] = true;
    return flags;
}

void ResultListView::SelectRows(const std::vector<int32_t>& rows)
{
    QItemSelection selection;
    const int count = m_model->rowCount();
    const int lastColumn = selectionBehavior() == QAbstractItemView::SelectRows ? m_model->columnCount() - 1 : 0;
    for (const int32_t r : rows)
        if (r >= 0 && r < count)
            selection.select(m_model->index(r, 0), m_model->index(r, lastColumn));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void ResultListView::SetRowSelected(int32_t row, bool selected)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const int lastColumn = selectionBehavior() == QAbstractItemView::SelectRows ? m_model->columnCount() - 1 : 0;
    const QItemSelection selection(m_model->index(row, 0), m_model->index(row, lastColumn));
    selectionModel()->select(selection, selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

void ResultListView::SetSelectable(bool value)
{
    setSelectionMode(value ? m_selectionMode : QAbstractItemView::NoSelection);
}

void ResultListView::SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    m_cacheValid = false;
    if (!OnSelectItem)
        return;
    const auto rowsOf = [](const QItemSelection& selection) {
        std::set<int32_t> rows;
        for (const QItemSelectionRange& range : selection)
            for (int r = range.top(); r <= range.bottom(); ++r)
                rows.insert(r);
        return rows;
    };
    const std::set<int32_t> gone = rowsOf(deselected);
    const std::set<int32_t> come = rowsOf(selected);
    const std::vector<int32_t> now = SelectedRows();
    for (const int32_t r : gone)
        if (!std::binary_search(now.begin(), now.end(), r))
            OnSelectItem(r, false);
    for (const int32_t r : come)
        OnSelectItem(r, true);
}

}  // namespace kestrix
