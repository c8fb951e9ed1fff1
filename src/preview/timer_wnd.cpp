#include "timer_wnd.h"

#include <QTimer>

namespace kestrix {

TTimerWnd::TTimerWnd(QObject* parent) : QObject(parent), m_timer(new QTimer(this))
{
    // One tick stands for one GIF delay unit, so keep ticks as even as the platform allows.
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(kIntervalMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (OnTimer)
            OnTimer(*this);
    });
    m_timer->start();
}

TTimerWnd::~TTimerWnd()
{
    m_timer->stop();
}

bool TTimerWnd::IsActive() const
{
    return m_timer->isActive();
}

}  // namespace kestrix
