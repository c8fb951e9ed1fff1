#pragma once

#include <QProgressBar>

#include <cstdint>

namespace kestrix {

// The window's progress gauge: a bar without text with its own minimum,
// maximum and position. A position outside [Min, Max] is clamped into it; when
// Min and Max are equal (or Max is below Min) the bar is drawn empty.
class TProgressGauge : public QProgressBar {
    Q_OBJECT
public:
    // Created with minimum 0, maximum 100, position 0.
    explicit TProgressGauge(QWidget* parent = nullptr);

    int32_t Min() const noexcept { return m_min; }
    int32_t Max() const noexcept { return m_max; }
    int32_t Position() const noexcept { return m_position; }
    // Each setter clamps the position into the new range.
    void SetMin(int32_t value);
    void SetMax(int32_t value);
    void SetPosition(int32_t value);

private:
    void Apply();

    int32_t m_min = 0;
    int32_t m_max = 100;
    int32_t m_position = 0;
};

}  // namespace kestrix
