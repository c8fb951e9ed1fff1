#include "about_memo.h"

namespace kestrix {

TAboutMemo::TAboutMemo(const QString& text, QWidget* parent) : QPlainTextEdit(text, parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    HideCaret();
}

void TAboutMemo::HideCaret()
{
    setCursorWidth(0);
}

void TAboutMemo::mousePressEvent(QMouseEvent* event)
{
    QPlainTextEdit::mousePressEvent(event);
    HideCaret();
}

void TAboutMemo::mouseMoveEvent(QMouseEvent* event)
{
    QPlainTextEdit::mouseMoveEvent(event);
    HideCaret();
}

}  // namespace kestrix
