#pragma once

#include <QString>

#include <cstdint>
#include <span>

namespace kestrix {

// Writes bytes as folder/name under the cache folder (created when missing),
// for the desktop's programs and file managers to take an item from: the
// name's separators become "_", and the file is written under a temporary
// name and renamed, so a link planted under the name is replaced rather than
// followed. The path written, or an empty text when it could not be written.
QString WriteScratchCopy(const QString& folder, QString name, std::span<const uint8_t> bytes);

}  // namespace kestrix
