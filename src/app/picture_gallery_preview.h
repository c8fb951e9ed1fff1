#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>

namespace kestrix {

// The large view of one gallery picture: the picture centred, scaled down to fit
// when larger than the widget, enlarged by a whole factor (up to 8, pixels kept
// square and sharp) when it fits at least twice; or, without a picture, a
// centred message.
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

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage m_picture;
    QSize m_sourceSize;
    QString m_message;
};

}  // namespace kestrix
