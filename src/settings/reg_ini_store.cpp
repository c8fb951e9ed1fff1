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
        KEY_QUERY_VALUE, KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_ENUMERATE_SUB_KEYS, KEY_NOTIFY, KEY_CREATE_LINK,
        KEY_READ,        KEY_WRITE,     KEY_EXECUTE,        KEY_ALL_ACCESS,
    };
    uint32_t mask = 0;
    for (int key = keyQueryValue; key <= keyAllAccess; ++key) {
        if ((access & (1u << key)) != 0)
            mask |= kRights[key];
    }
    return mask;
}

struct TRegIniStore::State {
    QString Path;
    TStorePathType PathType = ptIniFile;
    TRegRootKey RegKey = hkeyCurrentUser;
    TRegAccess RegAccess = RegAccessOf(keyAllAccess);
    bool RefreshNeeded = true;
    std::unique_ptr<SettingsStorage> Storage;

    template <typename T>
    void Assign(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        RefreshNeeded = true;
    }
};

TRegIniStore::TRegIniStore() : m(std::make_unique<State>()) {}

TRegIniStore::~TRegIniStore() = default;

QString TRegIniStore::Path() const
{
    return m->Path;
}

void TRegIniStore::SetPath(const QString& value)
{
    m->Assign(m->Path, value);
}

TStorePathType TRegIniStore::PathType() const
{
    return m->PathType;
}

void TRegIniStore::SetPathType(TStorePathType value)
{
    m->Assign(m->PathType, value);
}

TRegRootKey TRegIniStore::RegKey() const
{
    return m->RegKey;
}

void TRegIniStore::SetRegKey(TRegRootKey value)
{
    m->Assign(m->RegKey, value);
}

TRegAccess TRegIniStore::RegAccess() const
{
    return m->RegAccess;
}

void TRegIniStore::SetRegAccess(TRegAccess value)
{
    m->Assign(m->RegAccess, value);
}

bool TRegIniStore::RefreshNeeded() const
{
    return m->RefreshNeeded;
}

void TRegIniStore::PrepareStorage()
{
    if (!m->RefreshNeeded)
        return;
    m->Storage.reset();
    QString path = m->Path;
    if (m->PathType == ptRegistry) {
        if (path.isEmpty())
            path = QStringLiteral("\\Software\\Temp\\") + ApplicationTitle();
        const QString keyPath = path.startsWith(QLatin1Char('\\')) ? path.mid(1) : path;
        m->Storage = std::make_unique<RegistryStorage>(Registry::DefaultFolder(), m->RegKey,
                                                       RegAccessMask(m->RegAccess), keyPath);
    } else {
        if (path.isEmpty())
            path = DefaultIniFile();
        m->Storage = std::make_unique<IniFileStorage>(path);
    }
    m->Path = path;
    m->RefreshNeeded = false;
}

bool TRegIniStore::ValueExists(const QString& section, const QString& ident)
{
    PrepareStorage();
    return m->Storage->ValueExists(section, ident);
}

QString TRegIniStore::ReadString(const QString& section, const QString& ident, const QString& defaultValue)
{
    PrepareStorage();
    return m->Storage->ReadString(section, ident, defaultValue);
}

void TRegIniStore::WriteString(const QString& section, const QString& ident, const QString& value)
{
    PrepareStorage();
    m->Storage->WriteString(section, ident, value);
}

void TRegIniStore::WriteStrings(const QString& section, const QList<QPair<QString, QString>>& values)
{
    PrepareStorage();
    m->Storage->WriteStrings(section, values);
}

}  // namespace kestrix
