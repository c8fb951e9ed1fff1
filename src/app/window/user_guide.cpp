#include "user_guide.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kestrix {

QStringList UserGuideCandidates()
{
    const QDir programFolder(QCoreApplication::applicationDirPath());
    QStringList candidates = {QDir::cleanPath(programFolder.filePath(QStringLiteral(KESTRIX_GUIDE_FROM_PROGRAM)))};
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        candidates << QDir(folder).filePath(QStringLiteral("doc/Kestrix/README.html"));
    candidates.removeDuplicates();
    return candidates;
}

QUrl UserGuideUrl(const QStringList& candidates)
{
    for (const QString& path : candidates) {
        if (QFileInfo(path).isFile())
            return QUrl::fromLocalFile(path);
    }
    return {};
}

QUrl UserGuideUrl()
{
    return UserGuideUrl(UserGuideCandidates());
}

}  // namespace kestrix
