#include "picture_gallery_preview.h"

#include <QPainter>

#include <algorithm>

namespace kestrix {
namespace {

constexpr int kMaxEnlargement = 8;

}  // namespace

PictureGalleryPreview::PictureGalleryPreview(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void PictureGalleryPreview::SetPicture(const QImage& picture, QSize sourceSize)
{
    m_picture = picture;
    m_sourceSize = sourceSize;
    m_message.clear();
    update();
}

void PictureGalleryPreview::SetMessage(const QString& text)
{
    m_picture = QImage();
    m_sourceSize = QSize();
    m_message = text;
    update();
}

bool PictureGalleryPreview::Reduced() const noexcept
{
    return !m_picture.isNull() && m_sourceSize.isValid() &&
           (m_sourceSize.width() > m_picture.width() || m_sourceSize.height() > m_picture.height());
}

QRect PictureGalleryPreview::PictureRect() const
{
    if (m_picture.isNull())
        return {};
    const QSize area = size();
    const QSize own = m_picture.size();
    QSize shown = own;
    if (own.width() > area.width() || own.height() > area.height()) {
        shown = own.scaled(area, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    } else {
        const int factor =
            std::clamp(std::min(area.width() / own.width(), area.height() / own.height()), 1, kMaxEnlargement);
        shown = own * factor;
    }
    return {QPoint((area.width() - shown.width()) / 2, (area.height() - shown.height()) / 2), shown};
}

void PictureGalleryPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_picture.isNull()) {
        painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, m_message);
        return;
    }
    const QRect target = PictureRect();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, target.width() < m_picture.width());
    painter.drawImage(target, m_picture);
}

void PictureGalleryPreview::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit Resized();
}

}  // namespace kestrix
