#pragma once

#include <QString>

#include <memory>

class QFileDialog;
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
    // The name the dialog's name field starts with; empty leaves it empty.
    QString ReadyName;
    // A line of explanation shown in the dialog under its fields; empty for none.
    QString Note;

    // The filter as Qt writes it ("desc (mask);;desc (mask)"); a description
    // that already ends with its mask in brackets is kept as it is, and the
    // mask "*.*" means every file.
    QString QtFilter() const;
    // The folder the dialog opens in: FileName's folder, else InitialDir.
    QString StartFolder() const;
};

// The open-file dialog for dialog, not yet shown: one existing file, starting
// in StartFolder() with the first filter entry selected.
std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* owner, const FileDialog& dialog);

// The save-file dialog for dialog, not yet shown: Qt's own dialog (which can
// carry the note), starting in StartFolder() with ReadyName in its name field,
// and not asking before an existing file is chosen.
std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* owner, const FileDialog& dialog);

// Shows MakeOpenDialog's dialog modally; the chosen path, or an empty text
// when cancelled. Does not change dialog.
QString ExecuteOpenDialog(QWidget* owner, const FileDialog& dialog);
// Shows MakeSaveDialog's dialog modally; the chosen path, or an empty text when cancelled.
QString ExecuteSaveDialog(QWidget* owner, const FileDialog& dialog);

// The folder part of a path: everything up to and including its last "/";
// an empty text when it has none.
QString FolderWithSeparator(const QString& path);

}  // namespace kestrix
