#include "registry_key.h"

namespace kestrix {

namespace {

QString Fold(const QString& name)
{
    return name.toCaseFolded();
}

bool HasControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

}  // namespace

RegistryKey::RegistryKey(QString name) : m_name(std::move(name)) {}

KeyPathFault RegistryKey::CheckPath(const QStringList& names, qsizetype depth)
{
    if (depth + names.size() > kMaxKeyDepth)
        return KeyPathFault::TooDeep;
    for (const QString& name : names) {
        if (name.isEmpty())
            return KeyPathFault::EmptyName;
        if (name.size() > kMaxKeyNameLength)
            return KeyPathFault::NameTooLong;
        if (HasControlCharacter(name))
            return KeyPathFault::ControlCharacter;
    }
    return KeyPathFault::None;
}

const RegValue* RegistryKey::FindValue(const QString& name) const
{
    const auto it = m_valueIndex.constFind(Fold(name));
    return it == m_valueIndex.cend() ? nullptr : &m_values[static_cast<size_t>(*it)];
}

void RegistryKey::SetValue(const QString& name, uint32_t type, const QByteArray& data)
{
    const QString folded = Fold(name);
    const auto it = m_valueIndex.constFind(folded);
    if (it != m_valueIndex.cend()) {
        RegValue& value = m_values[static_cast<size_t>(*it)];
        value.Type = type;
        value.Data = data;
        return;
    }
    m_valueIndex.insert(folded, static_cast<int32_t>(m_values.size()));
    m_values.push_back(RegValue{name, type, data});
}

RegistryKey* RegistryKey::FindSubKey(const QString& name) const
{
    const auto it = m_subKeyIndex.constFind(Fold(name));
    return it == m_subKeyIndex.cend() ? nullptr : m_subKeys[static_cast<size_t>(*it)].get();
}

RegistryKey& RegistryKey::SubKey(const QString& name)
{
    if (RegistryKey* existing = FindSubKey(name))
        return *existing;
    m_subKeyIndex.insert(Fold(name), static_cast<int32_t>(m_subKeys.size()));
    m_subKeys.push_back(std::make_unique<RegistryKey>(name));
    return *m_subKeys.back();
}

RegistryKey* RegistryKey::FindPath(const QStringList& path)
{
    RegistryKey* key = this;
    for (const QString& name : path) {
        key = key->FindSubKey(name);
        if (key == nullptr)
            return nullptr;
    }
    return key;
}

bool RegistryKey::operator==(const RegistryKey& other) const
{
    if (m_name != other.m_name || m_access != other.m_access || m_values != other.m_values ||
        m_subKeys.size() != other.m_subKeys.size())
        return false;
    for (size_t i = 0; i < m_subKeys.size(); ++i) {
        if (!(*m_subKeys[i] == *other.m_subKeys[i]))
            return false;
    }
    return true;
}

}  // namespace kestrix
