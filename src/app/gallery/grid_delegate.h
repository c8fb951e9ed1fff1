#pragma once

#include <QStyledItemDelegate>

namespace kestrix {

// Draws each cell of a list as usual, then its right and bottom grid line, and
// keeps rows at least 19 px high: the look of every list of the window.
class GridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The height of a row of view that shows an icon and one line of text.
    static int RowHeight(const QAbstractItemView* view);

    static constexpr int kMinRowHeight = 19;
};

}  // namespace kestrix
