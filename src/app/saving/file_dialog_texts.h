#pragma once

#include <QIdentityProxyModel>
#include <QString>

#include <cstdint>

namespace kestrix {

// A file's size as our window writes it in Russian: bytes with the noun that
// agrees with the number ("1 байт", "3 байта", "6 байт", "11 байт"), larger
// sizes in КБ, МБ or ГБ of 1024 with one decimal ("1,5 КБ").
QString RussianFileSize(int64_t bytes);

// The file dialog's list over Qt's file-system model with our Russian where
// Qt's own texts come through in English or with a wrong plural: sizes
// (RussianFileSize), types ("Папка", "Файл BIN") and dates ("11.12.2026 07:38").
class FileDialogTexts : public QIdentityProxyModel {
    Q_OBJECT
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override;
};

}  // namespace kestrix
