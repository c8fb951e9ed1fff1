#pragma once

#include "result_list_model.h"

#include <QTableView>

#include <cstdint>
#include <functional>
#include <vector>

namespace kestrix {

// A report-style list of result rows: fixed columns with widths and limits,
// grid lines, row icons, never sorted and never edited. rowSelect highlights
// whole rows; otherwise only the first column can be selected. Rows all have
// one height and the view keeps no state per row beyond a few bytes, so a
// list of tens of millions of rows stays small.
class ResultListView : public QTableView {
    Q_OBJECT
public:
    ResultListView(std::vector<ListColumn> columns, bool multiSelect, bool rowSelect, QWidget* parent = nullptr);

    ResultListModel& Model() noexcept { return *m_model; }
    const ResultListModel& Model() const noexcept { return *m_model; }
    // Every row as text.
    std::vector<ResultRow> Rows() const { return m_model->Rows(); }

    // Number of selected rows.
    int32_t SelCount() const;
    // Indices of the selected rows, ascending.
    std::vector<int32_t> SelectedRows() const;
    // One flag per row: whether it is selected.
    std::vector<bool> SelectedFlags() const;
    // Selects exactly the given rows (indices outside the list are ignored).
    void SelectRows(const std::vector<int32_t>& rows);
    // Adds one row to the selection or removes it, leaving the others.
    void SetRowSelected(int32_t row, bool selected);

    // Turns selecting by the user off (the selection stays as it is) or back on.
    void SetSelectable(bool value);

    // Raised once per row whose selection changed, after the change.
    std::function<void(int32_t row, bool selected)> OnSelectItem;

private:
    void ClampSection(int section, int newSize);
    void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);

    ResultListModel* m_model;
    QAbstractItemView::SelectionMode m_selectionMode;
    // Selected rows, ascending, computed on demand and dropped when the
    // selection or the rows change: a large selection raises one event per
    // row and each event asks for the count.
    mutable std::vector<int32_t> m_selectedCache;
    mutable bool m_cacheValid = false;
};

}  // namespace kestrix
