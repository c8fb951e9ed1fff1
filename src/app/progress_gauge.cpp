#include "progress_gauge.h"

#include <algorithm>

namespace kestrix {

TProgressGauge::TProgressGauge(QWidget* parent) : QProgressBar(parent)
{
    setTextVisible(false);
    Apply();
}

void TProgressGauge::SetMin(int32_t value)
{
    m_min = value;
    Apply();
}

void TProgressGauge::SetMax(int32_t value)
{
    m_max = value;
    Apply();
}

void TProgressGauge::SetPosition(int32_t value)
{
    m_position = value;
    Apply();
}

void TProgressGauge::Apply()
{
    m_position = m_max > m_min ? std::clamp(m_position, m_min, m_max) : m_min;
    if (m_max > m_min) {
        setRange(m_min, m_max);
        setValue(m_position);
    } else {
        // QProgressBar turns an empty range into a busy indicator; an empty
        // range here means an empty bar.
        setRange(0, 1);
        setValue(0);
    }
}

}  // namespace kestrix
