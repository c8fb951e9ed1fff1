#pragma once

#include "picture_holder.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace kestrix {

enum TPicturePosition : uint8_t {
    bpTopLeft = 0,
    bpTopRight,
    bpBottomLeft,
    bpBottomRight,
    bpCenter,
    bpTiled,
    bpStretched,
    bpStretchedWithAspect
};
enum TStretchMode : uint8_t { smNever = 0, smShrink = 1 };

class TTimerWnd;

// The preview pane: paints its holder's picture on the parent's background
// (the widget itself is transparent), placed by PicturePosition and StretchMode.
// It reacts to its holder's notifications: a new picture resets the frame to 0
// (whole data), a frame change repaints by the recorded disposal method, a
// clear erases the view.
class TPictureView : public QWidget {
    Q_OBJECT
public:
    // 100 x 100, empty holder, bpTopLeft, smNever, no animation.
    explicit TPictureView(QWidget* parent = nullptr);
    ~TPictureView() override;

    TPictureHolder& Picture() noexcept;
    // Copies the given holder's bytes (Assign) and repaints.
    void SetPicture(const TPictureHolder* picture);

    TPicturePosition PicturePosition() const noexcept;
    // Stores a differing value and repaints.
    void SetPicturePosition(TPicturePosition value);
    TStretchMode StretchMode() const noexcept;
    // Stores a differing value and repaints.
    void SetStretchMode(TStretchMode value);
    bool AutoSize() const noexcept;
    // Stores the value; when true and the holder is not Empty the view takes
    // the holder's pixel size.
    void SetAutoSize(bool value);
    bool Animate() const noexcept;
    // Switching on starts the animation clock (by default a 10 ms TTimerWnd)
    // driving AnimationTick with TickCount and NextFrameTick at 0; switching
    // off stops it, keeping the frame shown.
    void SetAnimate(bool value);

    // Starts a clock that calls tick every TTimerWnd::kIntervalMs on the
    // user-interface thread until the object it returns is destroyed.
    using AnimationClock = std::function<std::unique_ptr<QObject>(std::function<void()> tick)>;
    // The clock SetAnimate starts from now on (a test's clock advanced by
    // hand); an empty one restores the timer.
    void SetAnimationClock(AnimationClock clock);
    // "1.3.0.0"; writing does nothing.
    QString Version() const;
    void SetVersion(const QString&) {}

    // To be called once the view and its stored picture are set up: gives the
    // holder this surface's logical resolution and recomputes IsAnimated.
    void Loaded();

    // Erases the view's area and paints the current picture at once.
    void Refresh();
    // The rectangle (in view coordinates) the picture is drawn into now, or
    // an empty rect when nothing is drawn; for smNever corner/centre placements
    // it has the holder's pixel size. For bpTiled, the first tile.
    QRect PictureRect() const;
    // Every rectangle Paint draws the picture into, in drawing order (one per
    // tile for bpTiled); empty when nothing is drawn.
    std::vector<QRect> PictureRects() const;

    // One animation step: does nothing unless IsAnimated and the holder has a
    // picture; when TickCount reaches NextFrameTick shows the next frame
    // (wrapping to 1) and adds its delay to NextFrameTick; counts the tick.
    // Decoding errors of the holder propagate.
    void AnimationTick();
    int32_t TickCount() const noexcept;
    int32_t NextFrameTick() const noexcept;
    // True when the holder's data is a GIF with more than one frame start.
    bool IsAnimated() const noexcept;

    std::function<void(TPictureView& Sender)> OnFrameChange;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct State;
    std::unique_ptr<State> m;

    template <typename Visit>
    void ForEachPictureRect(Visit&& visit) const;
    void PictureChanged();
    void FrameChanged();
    void PictureCleared();
    void PaintNowWithoutErase();
};

}  // namespace kestrix
