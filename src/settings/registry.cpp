#include "registry.h"

#include "registry_file.h"

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
TRegResult SplitPath(const QString& subKey, qsizetype baseDepth, QStringList* names)
{
    names->clear();
    if (subKey.isEmpty())
        return rrSuccess;
    QStringList parts = subKey.split(QLatin1Char('\\'));
    if (parts.size() > 1 && parts.back().isEmpty())
        parts.removeLast();
    if (baseDepth + parts.size() > TRegistryFile::kMaxKeyDepth)
        return rrBadPath;
    for (const QString& name : parts) {
        if (name.isEmpty() || name.size() > TRegistryFile::kMaxKeyNameLength)
            return rrBadPath;
        for (const QChar c : name) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                return rrBadPath;
        }
    }
    *names = parts;
    return rrSuccess;
}

TRegKey* Find(TRegKey& root, const QStringList& path)
{
    TRegKey* key = &root;
    for (const QString& name : path) {
        key = key->FindSubKey(name);
        if (key == nullptr)
            return nullptr;
    }
    return key;
}

}  // namespace

TRegistry::TRegistry(QString folder) : m_folder(std::move(folder)) {}

QString TRegistry::DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kestrix/registry");
}

QString TRegistry::FileName(TRegRootKey root) const
{
    if (!IsKept(root))
        return {};
    return m_folder + QLatin1Char('/') + QLatin1String(kRootNames[root]) + QStringLiteral(".kreg");
}

TRegHandle TRegistry::RootKey(TRegRootKey root) const
{
    TRegHandle handle;
    handle.root = root;
    handle.valid = IsKept(root);
    handle.access = handle.valid ? KEY_ALL_ACCESS : 0;
    return handle;
}

TRegResult TRegistry::OpenKey(const TRegHandle& parent, const QString& subKey, uint32_t access,
                              TRegHandle* key) const
{
    if (!parent.valid)
        return rrInvalidHandle;
    QStringList names;
    if (const TRegResult split = SplitPath(subKey, parent.path.size(), &names); split != rrSuccess)
        return split;
    const QStringList path = parent.path + names;
    const std::unique_ptr<TRegKey> root = TRegistryFile::Load(FileName(parent.root));
    const TRegKey* found = Find(*root, path);
    if (found == nullptr)
        return rrNotFound;
    if ((access & ~found->Access()) != 0)
        return rrAccessDenied;
    *key = TRegHandle{true, parent.root, path, access};
    return rrSuccess;
}

TRegResult TRegistry::CreateKey(const TRegHandle& parent, const QString& subKey, uint32_t access, TRegHandle* key,
                                bool dryRun)
{
    if (!parent.valid)
        return rrInvalidHandle;
    QStringList names;
    if (const TRegResult split = SplitPath(subKey, parent.path.size(), &names); split != rrSuccess)
        return split;
    const QStringList path = parent.path + names;

    // Walks the path as far as it exists and decides whether the rest may be made.
    const auto check = [&](TRegKey& root, bool* create) {
        *create = false;
        TRegKey* deepest = &root;
        qsizetype depth = 0;
        for (; depth < path.size(); ++depth) {
            TRegKey* next = deepest->FindSubKey(path[depth]);
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
    TRegResult result = check(*TRegistryFile::Load(fileName), &create);
    if (result == rrSuccess && create && !dryRun) {
        const bool written = TRegistryFile::Update(fileName, [&](TRegKey& root, bool& modified) {
            result = check(root, &create);
            if (result != rrSuccess || !create)
                return;
            TRegKey* made = &root;
            for (const QString& name : path)
                made = &made->SubKey(name);
            modified = true;
        });
        if (!written)
            return rrWriteFault;
    }
    if (result == rrSuccess)
        *key = TRegHandle{true, parent.root, path, access};
    return result;
}

TRegResult TRegistry::QueryValue(const TRegHandle& key, const QString& name, uint32_t* type, QByteArray* data) const
{
    if (!key.valid)
        return rrInvalidHandle;
    if ((key.access & KEY_QUERY_VALUE) == 0)
        return rrAccessDenied;
    const std::unique_ptr<TRegKey> root = TRegistryFile::Load(FileName(key.root));
    const TRegKey* found = Find(*root, key.path);
    const TRegValue* value = found != nullptr ? found->FindValue(name) : nullptr;
    if (value == nullptr)
        return rrNotFound;
    *type = value->type;
    *data = value->data;
    return rrSuccess;
}

TRegResult TRegistry::ValueNames(const TRegHandle& key, QStringList* names) const
{
    if (!key.valid)
        return rrInvalidHandle;
    if ((key.access & KEY_QUERY_VALUE) == 0)
        return rrAccessDenied;
    const std::unique_ptr<TRegKey> root = TRegistryFile::Load(FileName(key.root));
    const TRegKey* found = Find(*root, key.path);
    if (found == nullptr)
        return rrNotFound;
    names->clear();
    for (const TRegValue& value : found->Values())
        names->append(value.name);
    return rrSuccess;
}

TRegResult TRegistry::SetValue(const TRegHandle& key, const QString& name, uint32_t type, const QByteArray& data)
{
    if (!key.valid)
        return rrInvalidHandle;
    if ((key.access & KEY_SET_VALUE) == 0)
        return rrAccessDenied;
    TRegResult result = rrSuccess;
    const bool written = TRegistryFile::Update(FileName(key.root), [&](TRegKey& root, bool& modified) {
        TRegKey* found = Find(root, key.path);
        if (found == nullptr) {
            result = rrNotFound;
            return;
        }
        const TRegValue* old = found->FindValue(name);
        if (old != nullptr && old->type == type && old->data == data)
            return;
        found->SetValue(name, type, data);
        modified = true;
    });
    return written ? result : rrWriteFault;
}

}  // namespace kestrix
