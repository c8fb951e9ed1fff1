#pragma once

#include "image_list.h"
#include "result_row.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <array>
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
// caption with the row's icon, column k + 1 shows cell k. Text is decoded
// from Windows-1251 when shown; a zero byte inside a value shows as U+2423
// (a visible open box), so a value never ends early on screen.
class ResultListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ResultListModel(std::vector<ListColumn> columns, QObject* parent = nullptr);

    const std::vector<TResultRow>& Rows() const noexcept { return m_rows; }
    const std::vector<ListColumn>& Columns() const noexcept { return m_columns; }
    // Replaces every row at once.
    void SetRows(std::vector<TResultRow> rows);
    // Appends rows at the end.
    void AppendRows(std::vector<TResultRow> rows);
    void Clear() { SetRows({}); }

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
    std::vector<TResultRow> m_rows;
    bool m_firstColumnOnly = false;
};

}  // namespace kestrix
