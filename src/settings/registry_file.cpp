#include "registry_file.h"

#include "registry_text.h"
#include "settings_exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace kestrix {

namespace {

// Long enough for another window's read-modify-write, short enough not to freeze the window.
constexpr int kLockTimeoutMs = 10000;

// Returns false after setting fault, when given, to format with name and reason.
bool Fail(QString* fault, const char* format, const QString& name, const std::string& reason = {})
{
    if (fault != nullptr)
        *fault = QString::fromStdString(FormatMessage(format, {name.toStdString(), reason}));
    return false;
}

bool MakeFolder(const QString& folder, QString* fault)
{
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (!error)
        return true;
    return Fail(fault, "cannot create the settings folder %s: %s", folder, SystemErrorText(error.value()));
}

// QLockFile keeps no system error; whether the folder may be written gives it
// for the usual causes (no permission, a read-only file system).
std::string LockFileError(const QString& folder)
{
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return SystemErrorText(errno);
    return "unknown error";
}

}  // namespace

std::unique_ptr<RegistryKey> RegistryFile::Load(const QString& fileName)
{
    QFile file(fileName);
    if (!file.exists())
        return std::make_unique<RegistryKey>();
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw RegistryError(FormatMessage("Cannot read the settings file %s: %s",
                                          {fileName.toStdString(), file.errorString().toStdString()}));
    }
    try {
        return RegistryText::Parse(bytes);
    } catch (const RegistryError& e) {
        throw RegistryError(FormatMessage("The settings file %s is damaged: %s", {fileName.toStdString(), e.what()}));
    }
}

bool RegistryFile::Update(const QString& fileName, const Change& change, QString* fault)
{
    const QString folder = QFileInfo(fileName).absolutePath();
    if (!MakeFolder(folder, fault))
        return false;
    const QString lockName = fileName + QStringLiteral(".lock");
    QLockFile lock(lockName);
    if (!lock.tryLock(kLockTimeoutMs)) {
        if (lock.error() == QLockFile::LockFailedError)
            return Fail(fault, "the settings file %s is locked by another program", fileName);
        return Fail(fault, "cannot create the lock file %s: %s", lockName, LockFileError(folder));
    }
    const std::unique_ptr<RegistryKey> root = Load(fileName);
    bool modified = false;
    change(*root, modified);
    if (!modified)
        return true;
    const QByteArray bytes = RegistryText::Serialize(*root);
    QSaveFile out(fileName);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        return Fail(fault, "cannot write the settings file %s: %s", fileName, out.errorString().toStdString());
    return true;
}

}  // namespace kestrix
