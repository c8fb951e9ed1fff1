#include "file_dialog_texts.h"

#include <QFileSystemModel>
#include <QLocale>

namespace kestrix {
namespace {

// The columns of Qt's file-system model.
constexpr int kSizeColumn = 1;
constexpr int kTypeColumn = 2;
constexpr int kDateColumn = 3;

QString BytesNoun(int64_t count)
{
    // "Байт" is both the singular and the plural of five and more; "байта" goes with 2, 3, 4 but not 12, 13, 14.
    const int64_t last = count % 10;
    const int64_t lastTwo = count % 100;
    return last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14) ? QStringLiteral("байта") : QStringLiteral("байт");
}

}  // namespace

QString RussianFileSize(int64_t bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 %2").arg(bytes).arg(BytesNoun(bytes));
    static const QString kUnits[] = {QStringLiteral("КБ"), QStringLiteral("МБ"), QStringLiteral("ГБ"),
                                     QStringLiteral("ТБ")};
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(QLocale(QLocale::Russian).toString(value, 'f', 1), kUnits[unit]);
}

QVariant FileDialogTexts::data(const QModelIndex& index, int role) const
{
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || files == nullptr || index.column() < kSizeColumn || index.column() > kDateColumn)
        return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    const bool folder = files->isDir(source);
    switch (index.column()) {
    case kSizeColumn:
        return folder ? QIdentityProxyModel::data(index, role) : QVariant(RussianFileSize(files->size(source)));
    case kTypeColumn: {
        // Qt names a folder and an unknown type in English.
        const QString suffix = files->fileInfo(source).suffix().toUpper();
        return folder             ? QStringLiteral("Папка")
               : suffix.isEmpty() ? QStringLiteral("Файл")
                                  : QStringLiteral("Файл %1").arg(suffix);
    }
    default: return QLocale(QLocale::Russian).toString(files->lastModified(source), QStringLiteral("dd.MM.yyyy HH:mm"));
    }
}

}  // namespace kestrix
