#pragma once

#include <QPlainTextEdit>

namespace kestrix {

// The about page's read-only text: selectable, never editable, and without a
// blinking caret (hidden again on every click and mouse move over it).
class AboutMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit AboutMemo(const QString& text, QWidget* parent = nullptr);

    // Hides the text caret.
    void HideCaret();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};

}  // namespace kestrix
