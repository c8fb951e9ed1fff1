#include "file_dialog.h"

#include "file_dialog_texts.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStringList>
#include <QTreeView>

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

namespace {

std::unique_ptr<QFileDialog> MakeDialog(QWidget* owner, const FileDialog& dialog)
{
    auto box = std::make_unique<QFileDialog>(owner, dialog.Title, dialog.StartFolder(), dialog.QtFilter());
    // Qt's own dialog opens so small, with fixed column widths, that sizes
    // and dates are cut; a desktop's dialog has neither part.
    box->resize(760, 460);
    // Qt's own dialog only: a desktop's native dialog speaks the desktop's language.
    box->setProxyModel(new FileDialogTexts(box.get()));
    if (auto* list = box->findChild<QTreeView*>(QStringLiteral("treeView"))) {
        list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    return box;
}

QString Execute(QFileDialog& box)
{
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return {};
    return box.selectedFiles().front();
}

}  // namespace

std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* owner, const FileDialog& dialog)
{
    auto box = MakeDialog(owner, dialog);
    box->setAcceptMode(QFileDialog::AcceptOpen);
    box->setFileMode(QFileDialog::ExistingFile);
    return box;
}

QString ExecuteOpenDialog(QWidget* owner, const FileDialog& dialog)
{
    return Execute(*MakeOpenDialog(owner, dialog));
}

std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* owner, const FileDialog& dialog)
{
    auto box = MakeDialog(owner, dialog);
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
    return Execute(*MakeSaveDialog(owner, dialog));
}

QString FolderWithSeparator(const QString& path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

}  // namespace kestrix
