#include "about_memo.h"

namespace kestrix {

AboutMemo::AboutMemo(const QString& text, QWidget* parent) : QPlainTextEdit(text, parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    // A file dropped here goes on to the window, which opens it.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    HideCaret();
}

void AboutMemo::HideCaret()
{
    setCursorWidth(0);
}

void AboutMemo::mousePressEvent(QMouseEvent* event)
{
    QPlainTextEdit::mousePressEvent(event);
    HideCaret();
}

void AboutMemo::mouseMoveEvent(QMouseEvent* event)
{
    QPlainTextEdit::mouseMoveEvent(event);
    HideCaret();
}

}  // namespace kestrix
