#include "map_strip.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace kestrix {
namespace {

constexpr int32_t kStripWidth = 22;
constexpr int32_t kGap = 3;

}  // namespace

MapStrip::MapStrip(QWidget* parent) : QWidget(parent)
{
    setFixedWidth(64);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
}

void MapStrip::SetMap(FlashMap map)
{
    m_map = std::move(map);
    update();
}

void MapStrip::SetViewRange(int64_t start, int64_t end)
{
    m_viewStart = start;
    m_viewEnd = end;
    update();
}

int32_t MapStrip::CellAtY(int32_t y) const
{
    const int64_t cells = m_map.CellCount();
    const int32_t h = std::max(1, height());
    return static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(y) * cells / h, 0, cells - 1));
}

int64_t MapStrip::OffsetAtY(int32_t y) const
{
    if (m_map.CellCount() == 0)
        return -1;
    return m_map.CellStart(CellAtY(y));
}

void MapStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const int64_t cells = m_map.CellCount();
    if (cells == 0)
        return;
    const int32_t h = height();
    const int32_t plotX = kStripWidth + kGap;
    const int32_t plotWidth = width() - plotX - 1;
    painter.fillRect(plotX, 0, plotWidth, h, QColor(245, 245, 245));
    for (int32_t y = 0; y < h; ++y) {
        // Each pixel row shows the cells it covers: the class of its first
        // cell, and the highest entropy among them, as analysts read peaks.
        const int32_t first = CellAtY(y);
        const int32_t last = std::max(first, CellAtY(y + 1) - 1);
        const auto rgb = MapColour(m_map.Classes[static_cast<std::size_t>(first)]);
        painter.fillRect(0, y, kStripWidth, 1, QColor(rgb[0], rgb[1], rgb[2]));
        uint8_t peak = 0;
        for (int32_t c = first; c <= last; ++c)
            peak = std::max(peak, m_map.Entropy[static_cast<std::size_t>(c)]);
        painter.fillRect(plotX, y, plotWidth * peak / 255, 1, QColor(30, 30, 30));
    }
    if (m_viewEnd > m_viewStart && m_map.ImageSize > 0) {
        const auto y0 = static_cast<int32_t>(m_viewStart * h / m_map.ImageSize);
        const auto y1 = static_cast<int32_t>(m_viewEnd * h / m_map.ImageSize);
        painter.setPen(QPen(QColor(255, 200, 0), 2));
        painter.drawRect(1, y0, kStripWidth - 2, std::max(2, y1 - y0));
    }
}

void MapStrip::mousePressEvent(QMouseEvent* event)
{
    const int64_t offset = OffsetAtY(static_cast<int32_t>(event->position().y()));
    if (offset >= 0 && event->button() == Qt::LeftButton)
        emit OffsetChosen(offset);
}

bool MapStrip::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int64_t offset = OffsetAtY(help->pos().y());
        const QString text = offset >= 0 && DescribeOffset ? DescribeOffset(offset) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

}  // namespace kestrix
