#pragma once

#include <QString>

class QWidget;

namespace kestrix {

// The settings of an open or save dialog that outlive one showing of it.
// Filter holds description|mask pairs separated by "|", e.g.
// "Motorola Flash File (*.bin)|*.bin".
struct FileDialog {
    QString Title;
    QString Filter;
    // The folder the dialog starts in when FileName is empty; empty = the default.
    QString InitialDir;
    // The file chosen the last time the dialog was confirmed; empty when never.
    QString FileName;

    // The filter as Qt writes it ("desc (mask);;desc (mask)"); a description
    // that already ends with its mask in brackets is kept as it is, and the
    // mask "*.*" means every file.
    QString QtFilter() const;
    // The folder the dialog opens in: FileName's folder, else InitialDir.
    QString StartFolder() const;
};

// Shows dialog as a modal open-file dialog; the chosen path, or an empty text
// when cancelled. Does not change dialog.
QString ExecuteOpenDialog(QWidget* owner, const FileDialog& dialog);
// The same as a save-file dialog (an existing file may be chosen without a question).
QString ExecuteSaveDialog(QWidget* owner, const FileDialog& dialog);

// The folder part of a path: everything up to and including its last "/";
// an empty text when it has none.
QString FolderWithSeparator(const QString& path);

}  // namespace kestrix
