#include "overwrite_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>

namespace kestrix {

QString OverwriteQuestionText(const QString& folder, const OverwriteQuestion& question)
{
    QString text = QStringLiteral("В папке «%1» уже есть файл «%2» с другим содержимым.")
                       .arg(QDir::toNativeSeparators(folder), QString::fromStdString(question.FileName));
    if (question.Left > 1)
        text += QStringLiteral("\nТаких файлов в этом сохранении: %1.").arg(question.Left);
    return text;
}

OverwriteAnswer AskOverwrite(QWidget* parent, const QString& folder, const OverwriteQuestion& question)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Файл уже существует"),
                    OverwriteQuestionText(folder, question), QMessageBox::NoButton, parent);
    QPushButton* replace = box.addButton(QStringLiteral("Заменить"), QMessageBox::AcceptRole);
    QPushButton* skip = box.addButton(QStringLiteral("Пропустить"), QMessageBox::RejectRole);
    QPushButton* both = box.addButton(QStringLiteral("Сохранить обе"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    box.setDefaultButton(skip);
    box.setEscapeButton(cancel);
    QCheckBox* forAll = nullptr;
    if (question.Left > 1) {
        forAll = new QCheckBox(QStringLiteral("Для всех (%1)").arg(question.Left), &box);
        box.setCheckBox(forAll);
    }
    box.exec();
    OverwriteAnswer answer;
    answer.ForAll = forAll != nullptr && forAll->isChecked();
    const QAbstractButton* clicked = box.clickedButton();
    answer.Choice = clicked == replace ? OverwriteChoice::Replace
                    : clicked == skip  ? OverwriteChoice::Skip
                    : clicked == both  ? OverwriteChoice::KeepBoth
                                       : OverwriteChoice::CancelSave;
    return answer;
}

}  // namespace kestrix
