#include "file_dialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QStringList>

namespace kestrix {

QString FileDialog::QtFilter() const
{
    const QStringList parts = Filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        QString mask = parts[i + 1];
        mask.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        mask.replace(u';', u' ');
        if (description.endsWith(u')') && description.contains(u'('))
            entries << description;
        else
            entries << description + QStringLiteral(" (") + mask + u')';
    }
    return entries.join(QStringLiteral(";;"));
}

QString FileDialog::StartFolder() const
{
    const QString folder = FolderWithSeparator(FileName);
    return folder.isEmpty() ? InitialDir : folder;
}

QString ExecuteOpenDialog(QWidget* owner, const FileDialog& dialog)
{
    return QFileDialog::getOpenFileName(owner, dialog.Title, dialog.StartFolder(), dialog.QtFilter());
}

std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* owner, const FileDialog& dialog)
{
    auto box = std::make_unique<QFileDialog>(owner, dialog.Title, dialog.StartFolder(), dialog.QtFilter());
    box->setAcceptMode(QFileDialog::AcceptSave);
    // The chosen name only points at a folder; the files written there carry
    // their own names, so overwriting it is not asked about.
    box->setOption(QFileDialog::DontConfirmOverwrite);
    // A desktop's own dialog could not show the note.
    box->setOption(QFileDialog::DontUseNativeDialog);
    if (!dialog.ReadyName.isEmpty())
        box->selectFile(dialog.ReadyName);
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()); grid && !dialog.Note.isEmpty()) {
        auto* note = new QLabel(dialog.Note, box.get());
        note->setObjectName(QStringLiteral("SaveNote"));
        note->setWordWrap(true);
        grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

QString ExecuteSaveDialog(QWidget* owner, const FileDialog& dialog)
{
    const std::unique_ptr<QFileDialog> box = MakeSaveDialog(owner, dialog);
    if (box->exec() != QDialog::Accepted || box->selectedFiles().isEmpty())
        return {};
    return box->selectedFiles().front();
}

QString FolderWithSeparator(const QString& path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

}  // namespace kestrix
