#include "thumbnail_delegate.h"

#include "picture_gallery_model.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace kestrix {
namespace {

// A faint frame while the thumbnail is on its way; a crossed frame when there
// will be none.
void DrawPlaceholder(QPainter& painter, const QStyleOptionViewItem& option, const QRect& box, ThumbnailState state)
{
    painter.save();
    const bool failed = state == ThumbnailState::Undecodable || state == ThumbnailState::TooLarge ||
                        state == ThumbnailState::OutsideImage;
    QRect frame(0, 0, ThumbnailDelegate::kSide / 2, ThumbnailDelegate::kSide / 2);
    frame.moveCenter(box.center());
    painter.setPen(option.palette.color(failed ? QPalette::Mid : QPalette::Midlight));
    painter.drawRect(frame);
    if (failed) {
        painter.drawLine(frame.topLeft(), frame.bottomRight());
        painter.drawLine(frame.topRight(), frame.bottomLeft());
    }
    painter.restore();
}

void DrawBadge(QPainter& painter, const QRect& box, PictureStatus status)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect badge(box.right() - 17, box.top(), 18, 18);
    painter.setPen(QPen(Qt::white, 1.5));
    const bool unchecked = status == PictureStatus::Unchecked;
    painter.setBrush(status == PictureStatus::Truncated ? QColor(0xE0, 0x8A, 0x00)
                     : unchecked                        ? QColor(0x70, 0x70, 0x70)
                                                        : QColor(0xD0, 0x30, 0x30));
    painter.drawEllipse(badge.adjusted(1, 1, -1, -1));
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(12);
    painter.setFont(font);
    painter.drawText(badge, Qt::AlignCenter, unchecked ? QStringLiteral("?") : QStringLiteral("!"));
    painter.restore();
}

}  // namespace

QString ThumbnailDelegate::ElidedCaption(const QFontMetrics& metrics, const QString& caption, int width)
{
    return metrics.elidedText(caption, Qt::ElideLeft, width);
}

QSize ThumbnailDelegate::GridSize(const QFontMetrics& metrics)
{
    return {kCellWidth + 4, kPadding * 3 + kSide + metrics.height() + 4};
}

QSize ThumbnailDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {kCellWidth, kPadding + kSide + kPadding + option.fontMetrics.height() + kPadding};
}

void ThumbnailDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QPalette::ColorGroup group = (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    const QRect textRect(option.rect.x() + 2, option.rect.y() + kPadding + kSide + kPadding, option.rect.width() - 4,
                         option.fontMetrics.height());
    // The whole cell is tinted and the caption highlighted in full, so a
    // selected picture stays recognisable.
    if (selected) {
        QColor tint = option.palette.color(group, QPalette::Highlight);
        tint.setAlpha(60);
        painter->fillRect(option.rect, tint);
        painter->fillRect(textRect, option.palette.brush(group, QPalette::Highlight));
    }

    const QRect box(option.rect.x() + (option.rect.width() - kSide) / 2, option.rect.y() + kPadding, kSide, kSide);
    const QImage image = index.data(PictureGalleryModel::ThumbnailRole).value<QImage>();
    if (!image.isNull()) {
        QRect target(QPoint(), image.size());
        target.moveCenter(box.center());
        painter->drawImage(target.topLeft(), image);
    } else {
        DrawPlaceholder(*painter, option, box,
                        static_cast<ThumbnailState>(index.data(PictureGalleryModel::ThumbnailStateRole).toInt()));
    }
    const auto status = static_cast<PictureStatus>(index.data(PictureGalleryModel::PictureStatusRole).toInt());
    if (status != PictureStatus::Complete)
        DrawBadge(*painter, box, status);

    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(textRect, Qt::AlignHCenter | Qt::AlignTop,
                      ElidedCaption(option.fontMetrics, index.data(Qt::DisplayRole).toString(), textRect.width()));
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = option.rect.adjusted(1, 1, -1, -1);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

}  // namespace kestrix
