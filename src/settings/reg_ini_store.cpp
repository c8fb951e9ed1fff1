#include "reg_ini_store.h"

#include "ini_file_storage.h"
#include "registry.h"
#include "registry_storage.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace kestrix {

namespace {

QString ProgramFilePath()
{
    if (QCoreApplication::instance() != nullptr)
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString ApplicationTitle()
{
    const QString title = QCoreApplication::applicationName();
    return title.isEmpty() ? QFileInfo(ProgramFilePath()).completeBaseName() : title;
}

QString DefaultIniFile()
{
    const QFileInfo program(ProgramFilePath());
    return program.path() + QLatin1Char('/') + program.completeBaseName() + QStringLiteral(".ini");
}

}  // namespace

uint32_t RegAccessMask(TRegAccess access)
{
    static constexpr uint32_t kRights[] = {
        KEY_QUERY_VALUE, KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_ENUMERATE_SUB_KEYS, KEY_NOTIFY,
        KEY_CREATE_LINK, KEY_READ,      KEY_WRITE,          KEY_EXECUTE,            KEY_ALL_ACCESS,
    };
    uint32_t mask = 0;
    for (int key = keyQueryValue; key <= keyAllAccess; ++key) {
        if ((access & (1u << key)) != 0)
            mask |= kRights[key];
    }
    return mask;
}

struct TRegIniStore::State {
    QString path;
    TStorePathType pathType = ptIniFile;
    TRegRootKey regKey = hkeyCurrentUser;
    TRegAccess regAccess = RegAccessOf(keyAllAccess);
    bool refreshNeeded = true;
    std::unique_ptr<SettingsStorage> storage;

    template <typename T>
    void Assign(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        refreshNeeded = true;
    }
};

TRegIniStore::TRegIniStore() : m(std::make_unique<State>()) {}

TRegIniStore::~TRegIniStore() = default;

QString TRegIniStore::Path() const
{
    return m->path;
}

void TRegIniStore::SetPath(const QString& value)
{
    m->Assign(m->path, value);
}

TStorePathType TRegIniStore::PathType() const
{
    return m->pathType;
}

void TRegIniStore::SetPathType(TStorePathType value)
{
    m->Assign(m->pathType, value);
}

TRegRootKey TRegIniStore::RegKey() const
{
    return m->regKey;
}

void TRegIniStore::SetRegKey(TRegRootKey value)
{
    m->Assign(m->regKey, value);
}

TRegAccess TRegIniStore::RegAccess() const
{
    return m->regAccess;
}

void TRegIniStore::SetRegAccess(TRegAccess value)
{
    m->Assign(m->regAccess, value);
}

bool TRegIniStore::RefreshNeeded() const
{
    return m->refreshNeeded;
}

void TRegIniStore::PrepareStorage()
{
    if (!m->refreshNeeded)
        return;
    m->storage.reset();
    QString path = m->path;
    if (m->pathType == ptRegistry) {
        if (path.isEmpty())
            path = QStringLiteral("\\Software\\Temp\\") + ApplicationTitle();
        const QString keyPath = path.startsWith(QLatin1Char('\\')) ? path.mid(1) : path;
        m->storage = std::make_unique<RegistryStorage>(Registry::DefaultFolder(), m->regKey,
                                                        RegAccessMask(m->regAccess), keyPath);
    } else {
        if (path.isEmpty())
            path = DefaultIniFile();
        m->storage = std::make_unique<IniFileStorage>(path);
    }
    m->path = path;
    m->refreshNeeded = false;
}

bool TRegIniStore::ValueExists(const QString& section, const QString& ident)
{
    PrepareStorage();
    return m->storage->ValueExists(section, ident);
}

QString TRegIniStore::ReadString(const QString& section, const QString& ident, const QString& defaultValue)
{
    PrepareStorage();
    return m->storage->ReadString(section, ident, defaultValue);
}

void TRegIniStore::WriteString(const QString& section, const QString& ident, const QString& value)
{
    PrepareStorage();
    m->storage->WriteString(section, ident, value);
}

}  // namespace kestrix
