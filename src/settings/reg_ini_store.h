#pragma once

#include "store_types.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace kestrix {

class SettingsStorage;

// Named text settings in sections, kept in a per-user registry-like store or an
// ini file. Failures raise kestrix::Exception with the store's messages
// (RegistryError for the registry, IniFileError for the ini file).
// Nothing is cached: every operation reads the store afresh.
class TRegIniStore {
public:
    TRegIniStore();
    ~TRegIniStore();
    TRegIniStore(const TRegIniStore&) = delete;
    TRegIniStore& operator=(const TRegIniStore&) = delete;

    // Where the settings live: for ptRegistry a key path taken from the root
    // (one leading backslash is dropped), for ptIniFile a file name. Empty by
    // default; the first operation fills in the default location.
    QString Path() const;
    void SetPath(const QString& value);
    // ptIniFile by default.
    TStorePathType PathType() const;
    void SetPathType(TStorePathType value);
    // The registry root; hkeyCurrentUser by default.
    TRegRootKey RegKey() const;
    void SetRegKey(TRegRootKey value);
    // Rights the registry keys are opened with; {keyAllAccess} by default.
    TRegAccess RegAccess() const;
    void SetRegAccess(TRegAccess value);
    // True after creation and after a property was given a different value;
    // the next operation then rebuilds the storage. Writing a property with its
    // current value leaves it unchanged.
    bool RefreshNeeded() const;

    // Rebuilds the storage when RefreshNeeded: for ptRegistry an empty Path
    // becomes "\Software\Temp\" + the application name (or the program file's
    // name without extension when that is empty); for ptIniFile the program
    // file's path with the extension ".ini". Raises when the store file is
    // damaged or unreadable (RefreshNeeded then stays true).
    void PrepareStorage();

    // True when the section exists and holds a value named ident (letter case
    // ignored). A missing store, section or value gives false.
    bool ValueExists(const QString& section, const QString& ident);
    // The stored text, or defaultValue when the section or value is missing.
    // Registry: raises "Invalid data type for '<ident>'" for a value that is
    // not a string, "Failed to get data for '<ident>'" for text that cannot be
    // decoded. Ini file: at most 2047 characters.
    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue);
    // Stores value under ident, creating the section when missing. Registry:
    // raises "Failed to create key <section>" or "Failed to set data for
    // '<ident>'", followed, when the store file could not be written, by the
    // folder or file that could not be used and the system's reason (e.g.
    // "Failed to create key Kestrix: cannot create the settings folder
    // /home/me/.config/kestrix/registry: Not a directory"); ini file: "Unable
    // to write to <file name>".
    void WriteString(const QString& section, const QString& ident, const QString& value);
    // Each (ident, value) of values as WriteString writes it; an ini file is
    // read and replaced once for all of them.
    void WriteStrings(const QString& section, const QList<QPair<QString, QString>>& values);

private:
    struct State;
    std::unique_ptr<State> m;
};

}  // namespace kestrix
