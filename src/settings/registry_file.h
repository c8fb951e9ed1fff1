#pragma once

#include "store_types.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kestrix {

// True when bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool IsValidUtf8(const QByteArray& bytes);

// One named value of a registry key: its type and its raw data.
struct RegValue {
    QString name;
    uint32_t type = REG_NONE;
    QByteArray data;

    bool operator==(const RegValue&) const = default;
};

// A registry key: its values and subkeys in the order they were made. Names of
// values and subkeys are looked up without regard to letter case and keep the
// spelling they were made with. Access is the set of rights granted on the key.
class RegistryKey {
public:
    // An empty key granting all rights (KEY_ALL_ACCESS).
    explicit RegistryKey(QString name = {});

    // The name as the key was made; empty for a root.
    const QString& Name() const { return m_name; }
    // The rights the key grants to whoever opens it (an access mask).
    uint32_t Access() const { return m_access; }
    void SetAccess(uint32_t access) { m_access = access; }

    // The values in the order they were made.
    const std::vector<RegValue>& Values() const { return m_values; }
    // The value named name, or nullptr.
    const RegValue* FindValue(const QString& name) const;
    // Replaces the data and type of the value named name (its spelling kept) or adds it.
    void SetValue(const QString& name, uint32_t type, const QByteArray& data);

    // The direct subkeys in the order they were made.
    const std::vector<std::unique_ptr<RegistryKey>>& SubKeys() const { return m_subKeys; }
    // The direct subkey named name, or nullptr.
    RegistryKey* FindSubKey(const QString& name) const;
    // The direct subkey named name, made (with all rights granted) when missing.
    RegistryKey& SubKey(const QString& name);

    // Same names, rights, values and subkeys, in the same order.
    bool operator==(const RegistryKey& other) const;

private:
    QString m_name;
    uint32_t m_access = KEY_ALL_ACCESS;
    std::vector<RegValue> m_values;
    QHash<QString, int32_t> m_valueIndex;
    std::vector<std::unique_ptr<RegistryKey>> m_subKeys;
    QHash<QString, int32_t> m_subKeyIndex;
};

// The text file that holds one registry root (UTF-8, one line per item):
//
//   Kestrix registry 1
//   ; comment
//   [Software\Kestrix]
//   access = 0x00020019          (rights granted on the key; all when absent)
//   "Path" = sz "/home/me/images/"
//   "Count" = dword 42
//   "Blob" = binary <01 02 ff>
//
// Keys are written by their full path below the root; a key implies its parents.
// Value names and text are quoted with the escapes \\ \" \n \r \t \xHH. The
// types are none, sz, expand_sz, binary, dword, dword_be, link, multi_sz, qword
// or type(N). Data is "text" (its UTF-8 bytes and one terminating NUL), a
// decimal or 0x number (dword, dword_be and qword only) or <hex bytes>.
class RegistryFile {
public:
    // The signature on the first line.
    static constexpr const char* kSignature = "Kestrix registry 1";
    // Longest key name and deepest key path accepted.
    static constexpr int32_t kMaxKeyNameLength = 255;
    static constexpr int32_t kMaxKeyDepth = 512;

    // Parses the bytes of a store file into its root key. A file of blanks only
    // is an empty root. Raises ERegistryException "line N: <what is wrong>" for
    // any malformed content; runs in time linear in the input.
    static std::unique_ptr<RegistryKey> Parse(const QByteArray& bytes);
    // The file text of a root key; Parse gives back an equal key.
    static QByteArray Serialize(const RegistryKey& root);

    // Reads and parses fileName; a missing file is an empty root. Raises
    // ERegistryException naming the file when it cannot be read or is damaged.
    static std::unique_ptr<RegistryKey> Load(const QString& fileName);
    // Read-modify-write under the file's lock: loads the file, runs change on its
    // root and, when change sets modified, replaces the file atomically. Returns
    // false when the folder, the lock or the new file could not be made (nothing
    // is changed then); raises like Load for a damaged file.
    static bool Update(const QString& fileName, const std::function<void(RegistryKey& root, bool& modified)>& change);
};

}  // namespace kestrix
