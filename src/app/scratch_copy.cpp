#include "scratch_copy.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

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

}  // namespace kestrix
