#include "file_dialog.h"

#include <QFileDialog>
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

QString ExecuteSaveDialog(QWidget* owner, const FileDialog& dialog)
{
    // The chosen name only points at a folder; the files written there carry
    // their own names, so overwriting it is not asked about.
    return QFileDialog::getSaveFileName(owner, dialog.Title, dialog.StartFolder(), dialog.QtFilter(), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString FolderWithSeparator(const QString& path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

}  // namespace kestrix
