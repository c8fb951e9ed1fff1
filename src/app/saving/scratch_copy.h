#pragma once

#include <QModelIndexList>
#include <QString>

#include <functional>

#include <cstdint>
#include <span>

class QAbstractItemModel;
class QMimeData;

namespace kestrix {

// Writes bytes as folder/name under the cache folder (created when missing),
// for the desktop's programs and file managers to take an item from. The name
// is made safe by the rules of extraction (SafeUtf8FileName: no separators,
// control characters or leading dot); inside ScratchCopiesMimeData's copyOf,
// a name an earlier row of the same drag took gets " (2)", " (3)"... as in a
// save (FolderNames). The file is written under a temporary name and renamed,
// so a link planted under the name is replaced rather than followed. The path
// written, or an empty text when it could not be written. Window's thread only.
QString WriteScratchCopy(const QString& folder, QString name, std::span<const uint8_t> bytes);

// Drag data for the distinct rows of indexes (those of model): the file URLs
// of the copies copyOf writes for them (WriteScratchCopy, each under a name
// of its own), in row order, skipping rows it cannot write; null when none
// was written.
QMimeData* ScratchCopiesMimeData(const QAbstractItemModel* model, const QModelIndexList& indexes,
                                 const std::function<QString(int row)>& copyOf);

}  // namespace kestrix
