#pragma once

#include "store_types.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace kestrix {

// One named value of a registry key: its type and its raw data.
struct RegValue {
    QString Name;
    uint32_t Type = REG_NONE;
    QByteArray Data;

    bool operator==(const RegValue&) const = default;
};

// Why a list of key names cannot name a key.
enum class KeyPathFault : uint8_t {
    None,
    TooDeep,           // more than RegistryKey::kMaxKeyDepth keys below the root
    EmptyName,         // a name without characters
    NameTooLong,       // a name longer than RegistryKey::kMaxKeyNameLength characters
    ControlCharacter,  // a name holding a character below U+0020 or U+007F
};

// A registry key: its values and subkeys in the order they were made. Names of
// values and subkeys are looked up without regard to letter case and keep the
// spelling they were made with. Access is the set of rights granted on the key.
class RegistryKey {
public:
    // Longest key name and deepest key path accepted.
    static constexpr int32_t kMaxKeyNameLength = 255;
    static constexpr int32_t kMaxKeyDepth = 512;

    // An empty key granting all rights (KEY_ALL_ACCESS).
    explicit RegistryKey(QString name = {});

    // The first fault of names as a key path that starts depth keys below the
    // root: the depth is checked first, then each name in order. The one check
    // of key names, for the store file and for the registry's callers alike.
    static KeyPathFault CheckPath(const QStringList& names, qsizetype depth = 0);

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
    // The key that path names below this one, or nullptr when one on the way is missing.
    RegistryKey* FindPath(const QStringList& path);

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

}  // namespace kestrix
