#include "scratch_copy.h"

#include "extraction.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QMimeData>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace kestrix {
namespace {

// The names given so far by the drag under way on the window's thread, so
// that its rows get distinct copies; null outside a drag.
FolderNames* gDragNames = nullptr;

}  // namespace

QString WriteScratchCopy(const QString& folder, QString name, std::span<const uint8_t> bytes)
{
    const QString where = QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)).filePath(folder);
    if (!QDir().mkpath(where))
        return {};
    std::string safe = SafeUtf8FileName(name.toStdString());
    if (gDragNames != nullptr)
        safe = gDragNames->ClaimSafe(safe);
    const QString path = QDir(where).filePath(QString::fromStdString(safe));
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
    FolderNames names;
    gDragNames = &names;
    for (const int row : rows)
        if (const QString path = copyOf(row); !path.isEmpty())
            urls.append(QUrl::fromLocalFile(path));
    gDragNames = nullptr;
    if (urls.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

}  // namespace kestrix
