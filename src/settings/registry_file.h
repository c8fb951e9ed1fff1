#pragma once

#include "registry_key.h"

#include <QString>

#include <functional>
#include <memory>

namespace kestrix {

// The store file of one registry root on disk (its text: RegistryText). Readers
// take no lock and see either the old or the new file; writers hold the file's
// lock "<file>.lock" across their read-modify-write.
class RegistryFile {
public:
    // Runs on the root read from the file; sets modified when it changed it.
    using Change = std::function<void(RegistryKey& root, bool& modified)>;

    // Reads and parses fileName; a missing file is an empty root. Raises
    // RegistryError naming the file when it cannot be read or is damaged.
    static std::unique_ptr<RegistryKey> Load(const QString& fileName);
    // Read-modify-write under the file's lock: loads the file, runs change on its
    // root and, when change sets modified, replaces the file atomically. Returns
    // false when the folder, the lock or the new file could not be made (nothing
    // is changed then) and sets fault, when given, to what could not be done:
    // "cannot create the settings folder <folder>: <system's reason>", "cannot
    // create the lock file <file>.lock: <reason>", "the settings file <file> is
    // locked by another program" or "cannot write the settings file <file>:
    // <reason>". Raises like Load for a damaged file.
    static bool Update(const QString& fileName, const Change& change, QString* fault = nullptr);
};

}  // namespace kestrix
