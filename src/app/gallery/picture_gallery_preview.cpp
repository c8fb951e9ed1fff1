#include "picture_gallery_preview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

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
    m_zoom = 0;
    m_pan = {};
    update();
}

void PictureGalleryPreview::SetFrame(const QImage& frame)
{
    m_picture = frame;
    m_message.clear();
    update();
}

QSize PictureGalleryPreview::OwnSize() const
{
    return m_sourceSize.isValid() ? m_sourceSize : m_picture.size();
}

void PictureGalleryPreview::SetZoom(double factor)
{
    if (m_picture.isNull())
        return;
    m_zoom = std::clamp(factor, kMinZoom, kMaxZoom);
    update();
    emit ZoomChanged();
}

void PictureGalleryPreview::ZoomToFit()
{
    m_zoom = 0;
    m_pan = {};
    update();
    emit ZoomChanged();
}

void PictureGalleryPreview::ZoomIn()
{
    SetZoom(ShownScale() * 1.25);
}

void PictureGalleryPreview::ZoomOut()
{
    SetZoom(ShownScale() / 1.25);
}

double PictureGalleryPreview::ShownScale() const
{
    if (m_picture.isNull() || OwnSize().isEmpty())
        return 0;
    if (!Fitted())
        return m_zoom;
    return static_cast<double>(PictureRect().width()) / OwnSize().width();
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
    if (!Fitted()) {
        const QSize own = OwnSize();
        const QSize shown(std::max(1, qRound(own.width() * m_zoom)), std::max(1, qRound(own.height() * m_zoom)));
        return {QPoint((area.width() - shown.width()) / 2, (area.height() - shown.height()) / 2) + m_pan, shown};
    }
    return {QPoint((area.width() - FittedSize().width()) / 2, (area.height() - FittedSize().height()) / 2),
            FittedSize()};
}

QSize PictureGalleryPreview::FittedSize() const
{
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
    return shown;
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
    // Enlarged pixels stay square and sharp; only a reduction is smoothed.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, target.width() < m_picture.width());
    painter.drawImage(target, m_picture);
}

void PictureGalleryPreview::wheelEvent(QWheelEvent* event)
{
    if (m_picture.isNull() || event->angleDelta().y() == 0) {
        event->ignore();
        return;
    }
    if (event->angleDelta().y() > 0)
        ZoomIn();
    else
        ZoomOut();
    event->accept();
}

void PictureGalleryPreview::mousePressEvent(QMouseEvent* event)
{
    m_dragFrom = event->position().toPoint();
    QWidget::mousePressEvent(event);
}

void PictureGalleryPreview::mouseMoveEvent(QMouseEvent* event)
{
    if (Fitted() || !(event->buttons() & Qt::LeftButton))
        return;
    m_pan += event->position().toPoint() - m_dragFrom;
    m_dragFrom = event->position().toPoint();
    update();
}

void PictureGalleryPreview::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit Resized();
}

}  // namespace kestrix
