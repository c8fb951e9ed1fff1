#include "progress_gauge.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace kestrix {

ProgressGauge::ProgressGauge(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ProgressGauge::SetMin(int32_t value)
{
    m_min = value;
    Changed();
}

void ProgressGauge::SetMax(int32_t value)
{
    m_max = value;
    Changed();
}

void ProgressGauge::SetPosition(int32_t value)
{
    m_position = value;
    Changed();
}

void ProgressGauge::Changed()
{
    m_position = m_max > m_min ? std::clamp(m_position, m_min, m_max) : m_min;
    if (FilledWidth() != m_paintedWidth)
        update();
    if (const int32_t percent = Percent(); percent != m_percent) {
        m_percent = percent;
        emit PercentChanged(percent);
    }
}

int32_t ProgressGauge::Percent() const noexcept
{
    if (m_max <= m_min)
        return 0;
    return static_cast<int32_t>((static_cast<int64_t>(m_position) - m_min) * 100 /
                                (static_cast<int64_t>(m_max) - m_min));
}

int ProgressGauge::FilledWidth() const
{
    if (m_max <= m_min)
        return 0;
    return static_cast<int>((static_cast<int64_t>(m_position) - m_min) * width() /
                            (static_cast<int64_t>(m_max) - m_min));
}

QStyleOptionProgressBar ProgressGauge::StyleOption() const
{
    QStyleOptionProgressBar option;
    option.initFrom(this);
    const bool ranged = m_max > m_min;
    option.minimum = ranged ? m_min : 0;
    option.maximum = ranged ? m_max : 1;
    option.progress = ranged ? m_position : 0;
    option.textVisible = false;
    option.state |= QStyle::State_Horizontal;
    return option;
}

QSize ProgressGauge::sizeHint() const
{
    return {100, 5};
}

void ProgressGauge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QStyleOptionProgressBar option = StyleOption();
    style()->drawControl(QStyle::CE_ProgressBar, &option, &painter, this);
    m_paintedWidth = FilledWidth();
}

}  // namespace kestrix
