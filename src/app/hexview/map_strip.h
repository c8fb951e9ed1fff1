#pragma once

#include "flash_map.h"

#include <QWidget>

#include <cstdint>
#include <functional>

namespace kestrix {

// The map of the flash beside the hex view: the whole image from top to
// bottom, each pixel row a range of bytes coloured by its class, with the
// entropy plot beside it and a frame around the part the hex view shows.
// A click chooses the offset under it; hovering shows the offset and item.
class MapStrip : public QWidget {
    Q_OBJECT
public:
    explicit MapStrip(QWidget* parent = nullptr);

    void SetMap(FlashMap map);
    const FlashMap& Map() const noexcept { return m_map; }
    // The part of the image the hex view shows, [start, end).
    void SetViewRange(int64_t start, int64_t end);
    // The first offset of the pixel row at y (clamped to the strip); -1 without a map.
    int64_t OffsetAtY(int32_t y) const;

    // The tooltip for offset; empty text shows none.
    std::function<QString(int64_t offset)> DescribeOffset;

    QSize sizeHint() const override { return {64, 200}; }

signals:
    void OffsetChosen(qint64 offset);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The cell shown at pixel row y.
    int32_t CellAtY(int32_t y) const;

    FlashMap m_map;
    int64_t m_viewStart = 0;
    int64_t m_viewEnd = 0;
};

}  // namespace kestrix
