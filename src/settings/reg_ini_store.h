#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace kestrix {

enum TStorePathType : uint8_t { ptIniFile = 0, ptRegistry = 1 };
enum TRegRootKey : uint8_t {
    hkeyClassesRoot = 0, hkeyCurrentUser, hkeyLocalMachine, hkeyUsers, hkeyPerformanceData, hkeyCurrentConfig, hkeyDynData
};
enum TRegAccessKey : uint8_t {
    keyQueryValue = 0, keySetValue, keyCreateSubKey, keyEnumerateSubKeys, keyNotify, keyCreateLink,
    keyRead, keyWrite, keyExecute, keyAllAccess
};
// A set of TRegAccessKey, one bit per key (bit k = key k).
using TRegAccess = uint16_t;

// Named text settings in sections, kept in a per-user registry-like store or an
// ini file. Failures raise kestrix::Exception with the store's messages.
class TRegIniStore {
public:
    TRegIniStore();
    ~TRegIniStore();

    QString Path() const;
    void SetPath(const QString& value);
    TStorePathType PathType() const;
    void SetPathType(TStorePathType value);
    TRegRootKey RegKey() const;
    void SetRegKey(TRegRootKey value);
    TRegAccess RegAccess() const;
    void SetRegAccess(TRegAccess value);

    bool ValueExists(const QString& section, const QString& ident);
    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue);
    void WriteString(const QString& section, const QString& ident, const QString& value);

private:
    struct State;
    std::unique_ptr<State> m;
};

}  // namespace kestrix
