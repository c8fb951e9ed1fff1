#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kestrix::test_support {

// Points XDG_CONFIG_HOME at a fresh temporary folder for each test, so that no
// test reads or writes the user's real settings.
class TempConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        m_oldConfigHome = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", ConfigHome().toUtf8());
    }

    void TearDown() override
    {
        if (m_hadConfigHome)
            qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    QString ConfigHome() const { return m_dir.path() + QStringLiteral("/config"); }
    QString TempPath(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QString RootFile(const char* root = "HKEY_CURRENT_USER") const
    {
        return ConfigHome() + QStringLiteral("/kestrix/registry/") + QLatin1String(root) + QStringLiteral(".kreg");
    }

    static void WriteFile(const QString& path, const QByteArray& bytes)
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    static QByteArray ReadFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
    bool m_hadConfigHome = false;
    QByteArray m_oldConfigHome;
};

}  // namespace kestrix::test_support
