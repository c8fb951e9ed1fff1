#pragma once

#include "found_rows.h"
#include "image_list.h"
#include "result_row.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrix {

// One column of a result list: its header caption, width and limits in
// pixels (0 = no limit), and the alignment of its header and cells.
struct ListColumn {
    QString Caption;
    int32_t Width = 100;
    Qt::Alignment Alignment = Qt::AlignLeft;
    int32_t MinWidth = 0;
    int32_t MaxWidth = 0;
    // The first column takes the width the others leave.
    bool AutoSize = false;
};

// The rows of one result list as a read-only table: column 0 shows the
// caption with the row's icon, column k + 1 shows cell k. The rows of a scan
// are kept typed and their text is made only when asked for; other lists keep
// text rows. Text is decoded from Windows-1251 when shown; a zero byte inside
// a value shows as U+2423 (a visible open box), so a value never ends early on
// screen.
class ResultListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Row index of typed rows as their list shows it.
    using RowText = ResultRow (*)(const FoundRows& rows, std::size_t index);

    explicit ResultListModel(std::vector<ListColumn> columns, QObject* parent = nullptr);

    const std::vector<ListColumn>& Columns() const noexcept { return m_columns; }
    // Number of rows shown.
    std::size_t RowCount() const noexcept { return m_shown; }
    // Row index as text: its caption, cells and icon.
    ResultRow Row(std::size_t index) const;
    // Every row as text.
    std::vector<ResultRow> Rows() const;
    // The typed rows shown, or null when the list holds text rows.
    const FoundRows* Found() const noexcept { return m_text != nullptr ? &m_found : nullptr; }

    // Replaces every row with text rows.
    void SetRows(std::vector<ResultRow> rows);
    // Replaces every row with typed rows shown through text.
    void SetFoundRows(FoundRows rows, RowText text);
    void Clear() { SetRows({}); }

    // Filling by a scan: BeginFill empties the list and hands out the typed
    // rows the scan appends to; ShowFilled shows the rows appended since it was
    // last called; EndFill shows the rows as the scan left them (it may have
    // removed some). Nothing else may change the list in between.
    FoundRows& BeginFill(RowText text);
    void ShowFilled();
    void EndFill();
    bool Filling() const noexcept { return m_filling; }

    // The display text of a Windows-1251 value.
    static QString DisplayText(const std::string& bytes);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Whether only the first column can be selected (the information list).
    void SetFirstColumnSelectable(bool value) noexcept { m_firstColumnOnly = value; }

private:
    // Row icons, made once per list rather than for every painted row.
    mutable std::array<QIcon, ImageList::kCount> m_icons;
    std::vector<ListColumn> m_columns;
    std::vector<ResultRow> m_rows;
    FoundRows m_found;
    // How m_found is shown; null while the list holds text rows.
    RowText m_text = nullptr;
    std::size_t m_shown = 0;
    bool m_filling = false;
    bool m_firstColumnOnly = false;
};

}  // namespace kestrix
