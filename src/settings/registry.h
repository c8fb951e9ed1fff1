#pragma once

#include "store_types.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace kestrix {

// Outcome of a registry operation.
enum class RegResult : uint8_t {
    Success,
    NotFound,       // the key or value does not exist
    AccessDenied,   // the handle or the key lacks a right the operation needs
    BadPath,        // an empty, too long or control-character key name, or a path too deep
    InvalidHandle,  // the handle is not open, or its root is not kept on this system
    WriteFault,     // the store file could not be locked or replaced: see Registry::LastWriteFault
};

// An open key: the root, the key names below it and the rights it was opened with.
struct RegHandle {
    bool Valid = false;
    TRegRootKey Root = hkeyCurrentUser;
    QStringList Path;
    uint32_t Access = 0;
};

// The per-user registry: every predefined root except HKEY_PERFORMANCE_DATA and
// HKEY_DYN_DATA is kept in a file of its own (RegistryFile) in one folder.
// Each operation reads the file afresh; each change is one locked, atomic
// rewrite of it. A handle grants the rights it was opened with, and a key can
// be opened only with rights its access line grants.
class Registry {
public:
    // folder holds the root files; it is made on the first change.
    explicit Registry(QString folder);

    // <per-user configuration folder>/kestrix/registry, honouring XDG_CONFIG_HOME.
    static QString DefaultFolder();
    // The file that holds root, e.g. <folder>/HKEY_CURRENT_USER.kreg; empty for a root not kept.
    QString FileName(TRegRootKey root) const;
    // The predefined handle of root, with all rights; not valid for a root not kept.
    RegHandle RootKey(TRegRootKey root) const;

    // Opens the key subKey below parent (an empty subKey opens parent again) with
    // the rights access. NotFound when a key on the way is missing, AccessDenied
    // when the key does not grant every right of access.
    RegResult OpenKey(const RegHandle& parent, const QString& subKey, uint32_t access, RegHandle* key) const;
    // As OpenKey, but makes the missing keys of the path first; that needs
    // KEY_CREATE_SUB_KEY on parent and on the deepest key that exists. With
    // dryRun nothing is written: the result tells whether the call would succeed.
    RegResult CreateKey(const RegHandle& parent, const QString& subKey, uint32_t access, RegHandle* key,
                        bool dryRun = false);
    // The type and data of the value name (letter case ignored); needs KEY_QUERY_VALUE.
    RegResult QueryValue(const RegHandle& key, const QString& name, uint32_t* type, QByteArray* data) const;
    // The names of the key's values, in the order they were made; needs KEY_QUERY_VALUE.
    RegResult ValueNames(const RegHandle& key, QStringList* names) const;
    // Stores a value, replacing one of that name; needs KEY_SET_VALUE.
    RegResult SetValue(const RegHandle& key, const QString& name, uint32_t type, const QByteArray& data);

    // Why the last CreateKey or SetValue that gave WriteFault failed: the folder
    // or file that could not be used and the system's reason (RegistryFile::Update).
    const QString& LastWriteFault() const { return m_lastWriteFault; }

private:
    QString m_folder;
    QString m_lastWriteFault;
};

}  // namespace kestrix
