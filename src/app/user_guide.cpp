#include "user_guide.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace kestrix {

QStringList UserGuideCandidates()
{
    const QDir programFolder(QCoreApplication::applicationDirPath());
    return {
        QDir::cleanPath(programFolder.filePath(QStringLiteral(KESTRIX_GUIDE_FROM_PROGRAM))),
        QStringLiteral(KESTRIX_SOURCE_README),
    };
}

QUrl UserGuideUrl()
{
    const QStringList candidates = UserGuideCandidates();
    for (const QString& path : candidates) {
        if (QFileInfo(path).isFile())
            return QUrl::fromLocalFile(path);
    }
    return QUrl::fromLocalFile(candidates.back());
}

}  // namespace kestrix
