#include "registry.h"

#include "registry_file.h"
#include "registry_key.h"

#include <QStandardPaths>

namespace kestrix {

namespace {

constexpr const char* kRootNames[] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};

// Performance data is produced on demand by the system and the dynamic-data root
// existed only on old systems: neither holds stored keys.
bool IsKept(TRegRootKey root)
{
    return root <= hkeyDynData && root != hkeyPerformanceData && root != hkeyDynData;
}

// Splits a key path into key names; one trailing backslash is allowed.
RegResult SplitPath(const QString& subKey, qsizetype baseDepth, QStringList* names)
{
    names->clear();
    if (subKey.isEmpty())
        return RegResult::Success;
    QStringList parts = subKey.split(QLatin1Char('\\'));
    if (parts.size() > 1 && parts.back().isEmpty())
        parts.removeLast();
    if (RegistryKey::CheckPath(parts, baseDepth) != KeyPathFault::None)
        return RegResult::BadPath;
    *names = parts;
    return RegResult::Success;
}

}  // namespace

Registry::Registry(QString folder) : m_folder(std::move(folder)) {}

QString Registry::DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kestrix/registry");
}

QString Registry::FileName(TRegRootKey root) const
{
    if (!IsKept(root))
        return {};
    return m_folder + QLatin1Char('/') + QLatin1String(kRootNames[root]) + QStringLiteral(".kreg");
}

RegHandle Registry::RootKey(TRegRootKey root) const
{
    RegHandle handle;
    handle.Root = root;
    handle.Valid = IsKept(root);
    handle.Access = handle.Valid ? KEY_ALL_ACCESS : 0;
    return handle;
}

RegResult Registry::OpenKey(const RegHandle& parent, const QString& subKey, uint32_t access, RegHandle* key) const
{
    if (!parent.Valid)
        return RegResult::InvalidHandle;
    QStringList names;
    if (const RegResult split = SplitPath(subKey, parent.Path.size(), &names); split != RegResult::Success)
        return split;
    const QStringList path = parent.Path + names;
    const std::unique_ptr<RegistryKey> root = RegistryFile::Load(FileName(parent.Root));
    const RegistryKey* found = root->FindPath(path);
    if (found == nullptr)
        return RegResult::NotFound;
    if ((access & ~found->Access()) != 0)
        return RegResult::AccessDenied;
    *key = RegHandle{true, parent.Root, path, access};
    return RegResult::Success;
}

RegResult Registry::CreateKey(const RegHandle& parent, const QString& subKey, uint32_t access, RegHandle* key,
                              bool dryRun)
{
    if (!parent.Valid)
        return RegResult::InvalidHandle;
    QStringList names;
    if (const RegResult split = SplitPath(subKey, parent.Path.size(), &names); split != RegResult::Success)
        return split;
    const QStringList path = parent.Path + names;

    // Walks the path as far as it exists and decides whether the rest may be made.
    const auto check = [&](RegistryKey& root, bool* create) {
        *create = false;
        RegistryKey* deepest = &root;
        qsizetype depth = 0;
        for (; depth < path.size(); ++depth) {
            RegistryKey* next = deepest->FindSubKey(path[depth]);
            if (next == nullptr)
                break;
            deepest = next;
        }
        if (depth < parent.Path.size())
            return RegResult::NotFound;
        if (depth == path.size())
            return (access & ~deepest->Access()) != 0 ? RegResult::AccessDenied : RegResult::Success;
        if ((parent.Access & KEY_CREATE_SUB_KEY) == 0 || (deepest->Access() & KEY_CREATE_SUB_KEY) == 0 ||
            (access & ~KEY_ALL_ACCESS) != 0)
            return RegResult::AccessDenied;
        *create = true;
        return RegResult::Success;
    };

    const QString fileName = FileName(parent.Root);
    bool create = false;
    RegResult result = check(*RegistryFile::Load(fileName), &create);
    if (result == RegResult::Success && create && !dryRun) {
        const auto make = [&](RegistryKey& root, bool& modified) {
            result = check(root, &create);
            if (result != RegResult::Success || !create)
                return;
            RegistryKey* made = &root;
            for (const QString& name : path)
                made = &made->SubKey(name);
            modified = true;
        };
        if (!RegistryFile::Update(fileName, make, &m_lastWriteFault))
            return RegResult::WriteFault;
    }
    if (result == RegResult::Success)
        *key = RegHandle{true, parent.Root, path, access};
    return result;
}

RegResult Registry::QueryValue(const RegHandle& key, const QString& name, uint32_t* type, QByteArray* data) const
{
    if (!key.Valid)
        return RegResult::InvalidHandle;
    if ((key.Access & KEY_QUERY_VALUE) == 0)
        return RegResult::AccessDenied;
    const std::unique_ptr<RegistryKey> root = RegistryFile::Load(FileName(key.Root));
    const RegistryKey* found = root->FindPath(key.Path);
    const RegValue* value = found != nullptr ? found->FindValue(name) : nullptr;
    if (value == nullptr)
        return RegResult::NotFound;
    *type = value->Type;
    *data = value->Data;
    return RegResult::Success;
}

RegResult Registry::ValueNames(const RegHandle& key, QStringList* names) const
{
    if (!key.Valid)
        return RegResult::InvalidHandle;
    if ((key.Access & KEY_QUERY_VALUE) == 0)
        return RegResult::AccessDenied;
    const std::unique_ptr<RegistryKey> root = RegistryFile::Load(FileName(key.Root));
    const RegistryKey* found = root->FindPath(key.Path);
    if (found == nullptr)
        return RegResult::NotFound;
    names->clear();
    for (const RegValue& value : found->Values())
        names->append(value.Name);
    return RegResult::Success;
}

RegResult Registry::SetValue(const RegHandle& key, const QString& name, uint32_t type, const QByteArray& data)
{
    if (!key.Valid)
        return RegResult::InvalidHandle;
    if ((key.Access & KEY_SET_VALUE) == 0)
        return RegResult::AccessDenied;
    RegResult result = RegResult::Success;
    const auto set = [&](RegistryKey& root, bool& modified) {
        RegistryKey* found = root.FindPath(key.Path);
        if (found == nullptr) {
            result = RegResult::NotFound;
            return;
        }
        const RegValue* old = found->FindValue(name);
        if (old != nullptr && old->Type == type && old->Data == data)
            return;
        found->SetValue(name, type, data);
        modified = true;
    };
    return RegistryFile::Update(FileName(key.Root), set, &m_lastWriteFault) ? result : RegResult::WriteFault;
}

}  // namespace kestrix
