#pragma once

#include <QObject>

#include <functional>

class QTimer;

namespace kestrix {

// Drives the preview's animation: raises OnTimer every 10 ms on the
// user-interface thread from creation until destruction.
class TTimerWnd : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 10;

    explicit TTimerWnd(QObject* parent = nullptr);
    ~TTimerWnd() override;

    // True while the timer runs (from creation on).
    bool IsActive() const;

    std::function<void(TTimerWnd& Sender)> OnTimer;

private:
    QTimer* m_timer;
};

}  // namespace kestrix
