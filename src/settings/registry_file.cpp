#include "registry_file.h"

#include "registry_text.h"
#include "settings_exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

namespace kestrix {

namespace {

// Long enough for another window's read-modify-write, short enough not to freeze the window.
constexpr int kLockTimeoutMs = 10000;

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
        throw ERegistryException(FormatMessage("Cannot read the settings file %s: %s",
                                               {fileName.toStdString(), file.errorString().toStdString()}));
    }
    try {
        return RegistryText::Parse(bytes);
    } catch (const ERegistryException& e) {
        throw ERegistryException(
            FormatMessage("The settings file %s is damaged: %s", {fileName.toStdString(), e.what()}));
    }
}

bool RegistryFile::Update(const QString& fileName, const Change& change)
{
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return false;
    QLockFile lock(fileName + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockTimeoutMs))
        return false;
    const std::unique_ptr<RegistryKey> root = Load(fileName);
    bool modified = false;
    change(*root, modified);
    if (!modified)
        return true;
    const QByteArray bytes = RegistryText::Serialize(*root);
    QSaveFile out(fileName);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return false;
    return out.commit();
}

}  // namespace kestrix
