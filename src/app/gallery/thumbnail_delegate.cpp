#include "thumbnail_delegate.h"

#include "picture_gallery_model.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

#include <QStyle>
#include <algorithm>

namespace kestrix {
namespace {

// A faint frame while the thumbnail is on its way; a crossed frame when there
// will be none.
void DrawPlaceholder(QPainter& painter, const QStyleOptionViewItem& option, const QRect& box, ThumbnailState state)
{
    painter.save();
    const bool failed = state == ThumbnailState::Undecodable || state == ThumbnailState::TooLarge ||
                        state == ThumbnailState::OutsideImage;
    QRect frame(0, 0, box.width() / 2, box.height() / 2);
    frame.moveCenter(box.center());
    painter.setPen(option.palette.color(failed ? QPalette::Mid : QPalette::Midlight));
    painter.drawRect(frame);
    if (failed) {
        painter.drawLine(frame.topLeft(), frame.bottomRight());
        painter.drawLine(frame.topRight(), frame.bottomLeft());
    }
    painter.restore();
}

void DrawBadge(QPainter& painter, const QRect& box, ItemStatus status)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect badge(box.right() - 17, box.top(), 18, 18);
    painter.setPen(QPen(Qt::white, 1.5));
    const bool unchecked = status == ItemStatus::Unchecked;
    painter.setBrush(status == ItemStatus::Truncated ? QColor(0xE0, 0x8A, 0x00)
                     : unchecked                     ? QColor(0x70, 0x70, 0x70)
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

QSize ThumbnailDelegate::GridSize(const QFontMetrics& metrics, int side)
{
    return {side + 24 + 4, kPadding * 3 + side + metrics.height() + 4};
}

void ThumbnailDelegate::SetSide(int side)
{
    m_side = std::clamp(side, kMinSide, kMaxSide);
}

QSize ThumbnailDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {m_side + 24, kPadding + m_side + kPadding + option.fontMetrics.height() + kPadding};
}

void ThumbnailDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QPalette::ColorGroup group = (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    const QRect textRect(option.rect.x() + 2, option.rect.y() + kPadding + m_side + kPadding, option.rect.width() - 4,
                         option.fontMetrics.height());
    // The whole cell is tinted and the caption highlighted in full, so a
    // selected picture stays recognisable.
    if (selected) {
        QColor tint = option.palette.color(group, QPalette::Highlight);
        tint.setAlpha(60);
        painter->fillRect(option.rect, tint);
        painter->fillRect(textRect, option.palette.brush(group, QPalette::Highlight));
    }

    const QRect box(option.rect.x() + (option.rect.width() - m_side) / 2, option.rect.y() + kPadding, m_side, m_side);
    const QImage image = index.data(PictureGalleryModel::ThumbnailRole).value<QImage>();
    if (!image.isNull()) {
        QRect target(QPoint(), m_side == ThumbnailDecoder::kThumbnailSide
                                   ? image.size()
                                   : (image.size() * m_side / ThumbnailDecoder::kThumbnailSide).expandedTo({1, 1}));
        target.moveCenter(box.center());
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform, target.width() < image.width());
        painter->drawImage(target, image);
        painter->restore();
    } else {
        DrawPlaceholder(*painter, option, box,
                        static_cast<ThumbnailState>(index.data(PictureGalleryModel::ThumbnailStateRole).toInt()));
    }
    const auto status = static_cast<ItemStatus>(index.data(PictureGalleryModel::PictureStatusRole).toInt());
    if (status != ItemStatus::Complete)
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
