#include "scratch_copy.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QMimeData>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace kestrix {

QString WriteScratchCopy(const QString& folder, QString name, std::span<const uint8_t> bytes)
{
    const QString where = QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)).filePath(folder);
    if (!QDir().mkpath(where))
        return {};
    // An entry name may hold separators; the copy stays inside the folder.
    name.replace(u'/', u'_').replace(u'\\', u'_');
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral(".."))
        name = QStringLiteral("item");
    const QString path = QDir(where).filePath(name);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.commit())
        return {};
    return path;
}

QMimeData* ScratchCopiesMimeData(const QAbstractItemModel* model, const QModelIndexList& indexes,
                                 const std::function<QString(int row)>& copyOf)
{
    std::vector<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.isValid() && index.model() == model)
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<QUrl> urls;
    for (const int row : rows)
        if (const QString path = copyOf(row); !path.isEmpty())
            urls.append(QUrl::fromLocalFile(path));
    if (urls.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

}  // namespace kestrix
