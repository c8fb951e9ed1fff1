#pragma once

#include "picture_holder.h"

#include <QWidget>

#include <functional>
#include <memory>

class QTimer;

namespace kestrix {

enum TPicturePosition : uint8_t {
    bpTopLeft = 0, bpTopRight, bpBottomLeft, bpBottomRight, bpCenter, bpTiled, bpStretched, bpStretchedWithAspect
};
enum TStretchMode : uint8_t { smNever = 0, smShrink = 1 };

// The preview pane: paints its holder's picture on the parent's background
// (the widget itself is transparent), placed by PicturePosition and StretchMode.
class TPictureView : public QWidget {
    Q_OBJECT
public:
    explicit TPictureView(QWidget* parent = nullptr);
    ~TPictureView() override;

    TPictureHolder& Picture() noexcept;
    // Copies the given holder's bytes (Assign) and repaints.
    void SetPicture(const TPictureHolder* picture);

    TPicturePosition PicturePosition() const noexcept;
    void SetPicturePosition(TPicturePosition value);
    TStretchMode StretchMode() const noexcept;
    void SetStretchMode(TStretchMode value);
    bool AutoSize() const noexcept;
    void SetAutoSize(bool value);
    bool Animate() const noexcept;
    void SetAnimate(bool value);
    // "1.3.0.0"; writing does nothing.
    QString Version() const;
    void SetVersion(const QString&) {}

    // Erases the view's area and paints the current picture at once.
    void Refresh();
    // The rectangle (in view coordinates) the picture is drawn into now, or
    // an empty rect when nothing is drawn; for smNever corner/centre placements
    // it has the holder's pixel size.
    QRect PictureRect() const;

    std::function<void(TPictureView& Sender)> OnFrameChange;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct State;
    std::unique_ptr<State> m;
};

}  // namespace kestrix
