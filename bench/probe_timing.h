#pragma once

// Timing helpers of the window probes: letting the event loop run, and timing
// a command while a 1 ms timer tells how long the window did not answer.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace kestrix::bench {

// Lets the event loop run for about ms milliseconds.
inline void RunEventsFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

inline double Milliseconds(qint64 nanoseconds)
{
    return static_cast<double>(nanoseconds) / 1e6;
}

// Runs command with a 1 ms timer firing around it; returns the command's time
// and stores the longest stretch without a firing in longestGap (ns).
inline qint64 TimeWithPing(const std::function<void()>& command, qint64& longestGap)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    bool recording = false;
    longestGap = 0;
    QTimer ping;
    ping.setTimerType(Qt::PreciseTimer);
    ping.setInterval(1);
    QObject::connect(&ping, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (recording)
            longestGap = std::max(longestGap, now - last);
        last = now;
    });
    ping.start();
    RunEventsFor(20);

    const qint64 start = clock.nsecsElapsed();
    last = start;
    recording = true;
    command();
    const qint64 end = clock.nsecsElapsed();
    recording = false;
    longestGap = std::max(longestGap, end - last);
    ping.stop();
    return end - start;
}

// The hex view's probe (window_probe_hex.cpp): window_probe --hex ... IMAGE.
int RunHexProbe(int argc, char** argv);
// The sorts' and the close's probe (window_probe_sorts.cpp): window_probe
// --sorts IMAGE, --close-times IMAGE (and --close-after CASE IMAGE, its child).
int RunSortProbe(int argc, char** argv);

}  // namespace kestrix::bench
