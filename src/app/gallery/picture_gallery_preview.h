#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>

namespace kestrix {

// The large view of one gallery picture: the picture centred, scaled down to fit
// when larger than the widget, enlarged by a whole factor (up to 8, pixels kept
// square and sharp) when it fits at least twice; or, without a picture, a
// centred message. The wheel zooms (the fitted scale is left for a scale of the
// picture's own size, enlarged pixels kept sharp) and a drag moves a zoomed
// picture; a new picture or message goes back to the fitted view.
class PictureGalleryPreview : public QWidget {
    Q_OBJECT
public:
    explicit PictureGalleryPreview(QWidget* parent = nullptr);

    // Shows picture; sourceSize is the picture's own size (the picture may have
    // been decoded smaller to fit the widget).
    void SetPicture(const QImage& picture, QSize sourceSize);
    // Shows text instead of a picture; an empty text leaves the area blank.
    void SetMessage(const QString& text);
    void Clear() { SetMessage({}); }
    // Replaces the picture shown by another of the same picture (a frame of
    // an animation, or a larger decode), keeping the zoom and the position.
    void SetFrame(const QImage& frame);

    static constexpr double kMinZoom = 1.0 / 16;
    static constexpr double kMaxZoom = 32;
    // Shows the picture at factor times its own size (clamped to kMinZoom..kMaxZoom).
    void SetZoom(double factor);
    // Back to the fitted view.
    void ZoomToFit();
    // One step larger or smaller (×1.25) from the scale shown now.
    void ZoomIn();
    void ZoomOut();
    // Whether the fitted view is shown.
    bool Fitted() const noexcept { return m_zoom <= 0; }
    // The scale of the picture's own size shown now, in the fitted view too;
    // 0 without a picture.
    double ShownScale() const;

    const QImage& Picture() const noexcept { return m_picture; }
    QSize SourceSize() const noexcept { return m_sourceSize; }
    QString Message() const { return m_message; }
    // Whether the picture shown was decoded smaller than its own size.
    bool Reduced() const noexcept;
    // Where the picture is drawn inside the widget (empty without a picture).
    QRect PictureRect() const;

    QSize sizeHint() const override { return {280, 280}; }
    QSize minimumSizeHint() const override { return {32, 32}; }

signals:
    // The widget's size changed: a reduced picture may be decoded again to fit.
    void Resized();
    // The zoom changed (a picture decoded smaller than its own size may be
    // decoded whole for it).
    void ZoomChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QImage m_picture;
    QSize m_sourceSize;
    QString m_message;
    // 0 for the fitted view, else the scale of the picture's own size.
    double m_zoom = 0;
    // How far a zoomed picture was moved from the centre.
    QPoint m_pan;
    QPoint m_dragFrom;
    QSize FittedSize() const;
    QSize OwnSize() const;
};

}  // namespace kestrix
