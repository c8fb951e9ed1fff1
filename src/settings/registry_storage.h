#pragma once

#include "registry.h"
#include "settings_storage.h"

namespace kestrix {

// Settings in the registry: a section is a subkey of the base key, an ident a
// value name in it, a setting a REG_SZ value (UTF-8 text and a terminating NUL).
class RegistryStorage : public SettingsStorage {
public:
    // Keeps the settings below root\basePath (basePath without a leading
    // backslash) in the registry kept in folder, opening keys with access.
    // When that base key neither exists with those rights nor can be made,
    // the sections are looked up directly under the root. The base key itself
    // is made by the first write. Raises RegistryError for a damaged or
    // unreadable store file.
    RegistryStorage(const QString& folder, TRegRootKey root, uint32_t access, const QString& basePath);

    // False also when the section cannot be opened with the access rights.
    bool ValueExists(const QString& section, const QString& ident) override;
    // defaultValue when the section cannot be opened or the value not queried;
    // REG_SZ and REG_EXPAND_SZ text up to its first NUL, unexpanded. Raises
    // "Invalid data type for '<ident>'" for other types and "Failed to get data
    // for '<ident>'" for text that is not UTF-8.
    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue) override;
    // Makes a missing section with all rights, opens it with the access rights
    // and sets the value. Raises "Failed to create key <section>" or "Failed to
    // set data for '<ident>'" (also when the section cannot be opened); when the
    // store file could not be written, ": " and Registry::LastWriteFault follow.
    void WriteString(const QString& section, const QString& ident, const QString& value) override;

private:
    bool OpenSection(const QString& section, RegHandle* key) const;
    // Raises format with name unless result is Success.
    void Check(RegResult result, const char* format, const QString& name) const;

    Registry m_registry;
    RegHandle m_root;
    QString m_basePath;
    uint32_t m_access;
    bool m_underRoot = false;
};

}  // namespace kestrix
