#pragma once

#include <QStyleOptionProgressBar>
#include <QWidget>

#include <cstdint>

namespace kestrix {

// The window's progress gauge: a bar without text with its own minimum,
// maximum and position. A position outside [Min, Max] is clamped into it; when
// Min and Max are equal (or Max is below Min) the bar is drawn empty.
// Changes repaint with the next event round (or at once with repaint()), so
// moving the gauge once per scan hit costs next to nothing.
class ProgressGauge : public QWidget {
    Q_OBJECT
public:
    // Created with minimum 0, maximum 100, position 0.
    explicit ProgressGauge(QWidget* parent = nullptr);

    int32_t Min() const noexcept { return m_min; }
    int32_t Max() const noexcept { return m_max; }
    int32_t Position() const noexcept { return m_position; }
    // Each setter clamps the position into the new range.
    void SetMin(int32_t value);
    void SetMax(int32_t value);
    void SetPosition(int32_t value);

    // How the bar is drawn now: an empty range becomes 0..1 at 0, never
    // the style's busy indicator.
    QStyleOptionProgressBar StyleOption() const;

    QSize sizeHint() const override;

    // How far the position is from Min to Max, 0 to 100 (0 for an empty range).
    int32_t Percent() const noexcept;

signals:
    // The whole percent changed.
    void PercentChanged(int32_t percent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Changed();
    // The filled width in pixels for the current values.
    int FilledWidth() const;

    int32_t m_min = 0;
    int32_t m_max = 100;
    int32_t m_position = 0;
    int m_paintedWidth = -1;
    int32_t m_percent = 0;
};

}  // namespace kestrix
