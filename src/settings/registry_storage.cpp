#include "registry_storage.h"

#include "settings_exceptions.h"

namespace kestrix {

namespace {

[[noreturn]] void Raise(const char* format, const QString& name, const QString& writeFault = {})
{
    std::string message = FormatMessage(format, {name.toStdString()});
    if (!writeFault.isEmpty())
        message += ": " + writeFault.toStdString();
    throw RegistryError(message);
}

}  // namespace

RegistryStorage::RegistryStorage(const QString& folder, TRegRootKey root, uint32_t access, const QString& basePath)
    : m_registry(folder), m_root(m_registry.RootKey(root)), m_basePath(basePath), m_access(access)
{
    // The base key is not made before the first write, so that reading a store
    // that was never written leaves nothing behind; a dry run decides now whether
    // it could be made, as the sections go under the root when it cannot.
    RegHandle base;
    RegResult result = m_registry.OpenKey(m_root, m_basePath, m_access, &base);
    if (result == RegResult::NotFound)
        result = m_registry.CreateKey(m_root, m_basePath, m_access, &base, true);
    m_underRoot = result != RegResult::Success;
}

bool RegistryStorage::OpenSection(const QString& section, RegHandle* key) const
{
    RegHandle base = m_root;
    if (!m_underRoot && m_registry.OpenKey(m_root, m_basePath, m_access, &base) != RegResult::Success)
        return false;
    return m_registry.OpenKey(base, section, m_access, key) == RegResult::Success;
}

bool RegistryStorage::ValueExists(const QString& section, const QString& ident)
{
    RegHandle key;
    QStringList names;
    if (!OpenSection(section, &key) || m_registry.ValueNames(key, &names) != RegResult::Success)
        return false;
    return names.contains(ident, Qt::CaseInsensitive);
}

QString RegistryStorage::ReadString(const QString& section, const QString& ident, const QString& defaultValue)
{
    RegHandle key;
    uint32_t type = REG_NONE;
    QByteArray data;
    if (!OpenSection(section, &key) || m_registry.QueryValue(key, ident, &type, &data) != RegResult::Success)
        return defaultValue;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        Raise("Invalid data type for '%s'", ident);
    const qsizetype nul = data.indexOf('\0');
    if (nul >= 0)
        data.truncate(nul);
    if (!data.isValidUtf8())
        Raise("Failed to get data for '%s'", ident);
    return QString::fromUtf8(data);
}

void RegistryStorage::Check(RegResult result, const char* format, const QString& name) const
{
    if (result != RegResult::Success)
        Raise(format, name, result == RegResult::WriteFault ? m_registry.LastWriteFault() : QString());
}

void RegistryStorage::WriteString(const QString& section, const QString& ident, const QString& value)
{
    RegHandle base = m_root;
    if (!m_underRoot)
        Check(m_registry.CreateKey(m_root, m_basePath, m_access, &base), "Failed to create key %s", section);
    RegHandle key;
    if (m_registry.OpenKey(base, section, 0, &key) != RegResult::Success)
        Check(m_registry.CreateKey(base, section, KEY_ALL_ACCESS, &key), "Failed to create key %s", section);
    // A section that cannot be opened with the access rights cannot take the
    // value: that is reported like any other failure to set it.
    if (m_registry.OpenKey(base, section, m_access, &key) != RegResult::Success)
        Raise("Failed to set data for '%s'", ident);
    QByteArray data = value.toUtf8();
    data += '\0';
    Check(m_registry.SetValue(key, ident, REG_SZ, data), "Failed to set data for '%s'", ident);
}

}  // namespace kestrix
