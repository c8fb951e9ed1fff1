#pragma once

#include "existing_files.h"

#include <QString>

class QWidget;

namespace kestrix {

// The question's text for a file of folder that a save would replace.
QString OverwriteQuestionText(const QString& folder, const OverwriteQuestion& question);

// Asks, in a modal box over parent, what to do with the file of folder that
// exists with other bytes: "Заменить", "Пропустить", "Сохранить обе" or
// "Отмена" (also Esc and closing the box), with "Для всех" when more such
// files follow.
OverwriteAnswer AskOverwrite(QWidget* parent, const QString& folder, const OverwriteQuestion& question);

}  // namespace kestrix
