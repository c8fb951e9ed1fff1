#include "registry.h"

#include "registry_file.h"
#include "registry_key.h"

#include <QStandardPaths>

namespace kestrix {

namespace {

constexpr const char* kRootNames[] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
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
        return rrSuccess;
    QStringList parts = subKey.split(QLatin1Char('\\'));
    if (parts.size() > 1 && parts.back().isEmpty())
        parts.removeLast();
    if (RegistryKey::CheckPath(parts, baseDepth) != KeyPathFault::None)
        return rrBadPath;
    *names = parts;
    return rrSuccess;
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
    handle.root = root;
    handle.valid = IsKept(root);
    handle.access = handle.valid ? KEY_ALL_ACCESS : 0;
    return handle;
}

RegResult Registry::OpenKey(const RegHandle& parent, const QString& subKey, uint32_t access,
                              RegHandle* key) const
{
    if (!parent.valid)
        return rrInvalidHandle;
    QStringList names;
    if (const RegResult split = SplitPath(subKey, parent.path.size(), &names); split != rrSuccess)
        return split;
    const QStringList path = parent.path + names;
    const std::unique_ptr<RegistryKey> root = RegistryFile::Load(FileName(parent.root));
    const RegistryKey* found = root->FindPath(path);
    if (found == nullptr)
        return rrNotFound;
    if ((access & ~found->Access()) != 0)
        return rrAccessDenied;
    *key = RegHandle{true, parent.root, path, access};
    return rrSuccess;
}

RegResult Registry::CreateKey(const RegHandle& parent, const QString& subKey, uint32_t access, RegHandle* key,
                                bool dryRun)
{
    if (!parent.valid)
        return rrInvalidHandle;
    QStringList names;
    if (const RegResult split = SplitPath(subKey, parent.path.size(), &names); split != rrSuccess)
        return split;
    const QStringList path = parent.path + names;

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
        if (depth < parent.path.size())
            return rrNotFound;
        if (depth == path.size())
            return (access & ~deepest->Access()) != 0 ? rrAccessDenied : rrSuccess;
        if ((parent.access & KEY_CREATE_SUB_KEY) == 0 || (deepest->Access() & KEY_CREATE_SUB_KEY) == 0 ||
            (access & ~KEY_ALL_ACCESS) != 0)
            return rrAccessDenied;
        *create = true;
        return rrSuccess;
    };

    const QString fileName = FileName(parent.root);
    bool create = false;
    RegResult result = check(*RegistryFile::Load(fileName), &create);
    if (result == rrSuccess && create && !dryRun) {
        const bool written = RegistryFile::Update(fileName, [&](RegistryKey& root, bool& modified) {
            result = check(root, &create);
            if (result != rrSuccess || !create)
                return;
            RegistryKey* made = &root;
            for (const QString& name : path)
                made = &made->SubKey(name);
            modified = true;
        });
        if (!written)
            return rrWriteFault;
    }
    if (result == rrSuccess)
        *key = RegHandle{true, parent.root, path, access};
    return result;
}

RegResult Registry::QueryValue(const RegHandle& key, const QString& name, uint32_t* type, QByteArray* data) const
{
    if (!key.valid)
        return rrInvalidHandle;
    if ((key.access & KEY_QUERY_VALUE) == 0)
        return rrAccessDenied;
    const std::unique_ptr<RegistryKey> root = RegistryFile::Load(FileName(key.root));
    const RegistryKey* found = root->FindPath(key.path);
    const RegValue* value = found != nullptr ? found->FindValue(name) : nullptr;
    if (value == nullptr)
        return rrNotFound;
    *type = value->Type;
    *data = value->Data;
    return rrSuccess;
}

RegResult Registry::ValueNames(const RegHandle& key, QStringList* names) const
{
    if (!key.valid)
        return rrInvalidHandle;
    if ((key.access & KEY_QUERY_VALUE) == 0)
        return rrAccessDenied;
    const std::unique_ptr<RegistryKey> root = RegistryFile::Load(FileName(key.root));
    const RegistryKey* found = root->FindPath(key.path);
    if (found == nullptr)
        return rrNotFound;
    names->clear();
    for (const RegValue& value : found->Values())
        names->append(value.Name);
    return rrSuccess;
}

RegResult Registry::SetValue(const RegHandle& key, const QString& name, uint32_t type, const QByteArray& data)
{
    if (!key.valid)
        return rrInvalidHandle;
    if ((key.access & KEY_SET_VALUE) == 0)
        return rrAccessDenied;
    RegResult result = rrSuccess;
    const bool written = RegistryFile::Update(FileName(key.root), [&](RegistryKey& root, bool& modified) {
        RegistryKey* found = root.FindPath(key.path);
        if (found == nullptr) {
            result = rrNotFound;
            return;
        }
        const RegValue* old = found->FindValue(name);
        if (old != nullptr && old->Type == type && old->Data == data)
            return;
        found->SetValue(name, type, data);
        modified = true;
    });
    return written ? result : rrWriteFault;
}

}  // namespace kestrix
