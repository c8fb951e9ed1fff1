#pragma once

#include <QString>

class QWidget;

namespace kestrix {

// The text the error box shows for an error message: the message with a "."
// appended when it is not empty and its last character lies above "." (2Eh),
// so a message ending in ".", ")", "!" or a quote stays as it is while one
// ending in a letter or a digit gets its full stop.
QString ErrorBoxText(const QString& message);

// Shows text in a modal message box captioned "Kestrix" with an error icon
// and one OK button; returns when the user closes it.
void ShowErrorBox(QWidget* owner, const QString& text);

}  // namespace kestrix
