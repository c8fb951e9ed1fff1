#include "grid_delegate.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace kestrix {

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(option.palette.color(QPalette::Midlight).darker(108));
    const QRect r = option.rect;
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->restore();
}

QSize GridDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), kMinRowHeight));
    return size;
}

int GridDelegate::RowHeight(const QAbstractItemView* view)
{
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.decorationSize = view->iconSize();
    option.text = QStringLiteral("Xg");
    const QStyle* style = view->style();
    return std::max(style->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), view).height(), kMinRowHeight);
}

}  // namespace kestrix
