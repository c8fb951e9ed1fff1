#pragma once

#include <QLabel>

class QFontMetrics;

namespace kestrix {

// path shortened to fit width pixels in metrics: the first folder, "…" and
// as many of the last parts as fit ("/home/…/pictures"), else cut in the
// middle; path itself when it fits.
QString ElidePath(const QString& path, const QFontMetrics& metrics, int width);

// A status bar text that fits its width by shortening the path inside it
// first; the whole text is its tooltip.
class StatusMessage : public QLabel {
    Q_OBJECT
public:
    explicit StatusMessage(QWidget* parent = nullptr);

    // Shows text; path, when not empty and inside text, is the part that is
    // shortened when the text is too wide.
    void SetMessage(const QString& text, const QString& path = {});
    // The whole text, as set.
    const QString& Message() const noexcept { return m_message; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Fit();

    QString m_message;
    QString m_path;
};

}  // namespace kestrix
