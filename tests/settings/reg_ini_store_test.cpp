#include "reg_ini_store.h"

#include "registry_text.h"
#include "settings_exceptions.h"
#include "settings_test_support.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <functional>
#include <optional>
#include <string>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrix {
namespace {

using test_support::TempConfigTest;

// Even a test that forgets the fixture must not reach the user's settings.
class IsolatedConfigEnvironment : public ::testing::Environment {
public:
    void SetUp() override { qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8()); }

private:
    QTemporaryDir m_dir;
};
[[maybe_unused]] ::testing::Environment* const kIsolatedConfig =
    ::testing::AddGlobalTestEnvironment(new IsolatedConfigEnvironment);

const QByteArray kSignature = QByteArray(RegistryText::kSignature) + '\n';

// The main window's store: base key HKEY_CURRENT_USER\Software.
void UseMainWindowSettings(TRegIniStore& store)
{
    store.SetPath(QStringLiteral("\\Software\\"));
    store.SetPathType(ptRegistry);
}

std::string ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.ClassName() + ": " + e.Message();
    }
    return "no error";
}

// Runs call in a child process with an ordinary user's rights (as "nobody" when
// the tests run as root) and returns ErrorOf(call) there.
std::string ErrorOfUnprivileged(const std::function<void()>& call)
{
    int channel[2];
    if (pipe(channel) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child < 0)
        return "no child process";
    if (child == 0) {
        close(channel[0]);
        const passwd* nobody = getpwnam("nobody");
        std::string error = "root's rights could not be dropped";
        if (geteuid() != 0 || (nobody != nullptr && setgroups(0, nullptr) == 0 && setgid(nobody->pw_gid) == 0 &&
                               setuid(nobody->pw_uid) == 0))
            error = ErrorOf(call);
        const bool sent = write(channel[1], error.data(), error.size()) == static_cast<ssize_t>(error.size());
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    std::string error;
    char buffer[512];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;)
        error.append(buffer, static_cast<size_t>(got));
    close(channel[0]);
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? error : "the child process failed: " + error;
}

// r-x for everyone, and rwx for everyone.
constexpr QFile::Permissions kReadableFolder =
    QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
constexpr QFile::Permissions kWritableFolder =
    kReadableFolder | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;

class RegIniStoreTest : public TempConfigTest {};

TEST_F(RegIniStoreTest, PropertiesStartWithTheirDefaultsAndRebuildOnlyOnChange)
{
    TRegIniStore store;
    EXPECT_EQ(store.Path(), QString());
    EXPECT_EQ(store.PathType(), ptIniFile);
    EXPECT_EQ(store.RegKey(), hkeyCurrentUser);
    EXPECT_EQ(store.RegAccess(), RegAccessOf(keyAllAccess));
    EXPECT_TRUE(store.RefreshNeeded());

    UseMainWindowSettings(store);
    const struct {
        const char* property;
        std::function<void()> writeSame;
        std::function<void()> writeOther;
    } cases[] = {
        {"Path", [&] { store.SetPath(store.Path()); }, [&] { store.SetPath(QStringLiteral("\\Software\\Other")); }},
        {"PathType", [&] { store.SetPathType(ptRegistry); }, [&] { store.SetPathType(ptIniFile); }},
        {"RegKey", [&] { store.SetRegKey(hkeyCurrentUser); }, [&] { store.SetRegKey(hkeyLocalMachine); }},
        {"RegAccess", [&] { store.SetRegAccess(RegAccessOf(keyAllAccess)); },
         [&] { store.SetRegAccess(RegAccessOf(keyRead)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.property);
        UseMainWindowSettings(store);
        store.SetRegKey(hkeyCurrentUser);
        store.SetRegAccess(RegAccessOf(keyAllAccess));
        store.SetPath(QStringLiteral("\\Software\\"));
        store.PrepareStorage();
        ASSERT_FALSE(store.RefreshNeeded());
        c.writeSame();
        EXPECT_FALSE(store.RefreshNeeded());
        c.writeOther();
        EXPECT_TRUE(store.RefreshNeeded());
    }
}

TEST_F(RegIniStoreTest, AccessMaskOrsTheRightsOfTheSet)
{
    const struct {
        TRegAccess access;
        uint32_t mask;
    } cases[] = {
        {0, 0},
        {RegAccessOf(keyQueryValue), 0x1},
        {static_cast<TRegAccess>(RegAccessOf(keySetValue) | RegAccessOf(keyCreateLink)), 0x22},
        {RegAccessOf(keyRead), 0x20019},
        {static_cast<TRegAccess>(RegAccessOf(keyWrite) | RegAccessOf(keyExecute)), 0x2001F},
        {RegAccessOf(keyAllAccess), 0xF003F},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RegAccessMask(c.access), c.mask) << c.access;
}

TEST_F(RegIniStoreTest, FirstRunFindsNothingAndCreatesNothingUntilTheFirstWrite)
{
    TRegIniStore store;
    UseMainWindowSettings(store);
    EXPECT_FALSE(store.ValueExists(QStringLiteral("Kestrix"), QStringLiteral("Path")));
    EXPECT_EQ(store.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("Str")),
              QStringLiteral("Str"));
    EXPECT_FALSE(QFileInfo::exists(ConfigHome()));

    const QString folder = QStringLiteral("/home/user/Прошивки \"new\"/");
    store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Path"), folder);

    const QByteArray expected = kSignature + "\n[Software]\n\n[Software\\Kestrix]\n\"Path\" = sz \"" +
                                QStringLiteral("/home/user/Прошивки \\\"new\\\"/").toUtf8() + "\"\n";
    EXPECT_EQ(ReadFile(RootFile()), expected);

    TRegIniStore other;
    UseMainWindowSettings(other);
    EXPECT_TRUE(other.ValueExists(QStringLiteral("KESTRIX"), QStringLiteral("path")));
    EXPECT_EQ(other.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("Str")), folder);
    EXPECT_EQ(other.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Missing"), QStringLiteral("Str")),
              QStringLiteral("Str"));
    EXPECT_FALSE(other.ValueExists(QStringLiteral("Kestrix"), QStringLiteral("Missing")));

    // Every operation reads the file afresh: the first store sees the other's write.
    other.WriteString(QStringLiteral("kestrix"), QStringLiteral("PATH"), QStringLiteral("/b/"));
    EXPECT_EQ(store.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("Str")),
              QStringLiteral("/b/"));
    EXPECT_TRUE(ReadFile(RootFile()).contains("\"Path\" = sz \"/b/\""));
}

TEST_F(RegIniStoreTest, ReadsValuesByTheirStoredType)
{
    const struct {
        const char* value;   // the line of "Path" in [Software\Kestrix]
        const char* result;  // the text read, or the error
    } cases[] = {
        {"\"path\" = sz \"/lower/case/name/\"", "/lower/case/name/"},
        {"\"Path\" = expand_sz \"%HOME%/images\"", "%HOME%/images"},
        {"\"Path\" = sz <>", ""},
        {"\"Path\" = sz \"\"", ""},
        {"\"Path\" = sz \"up to\\x00the first NUL\"", "up to"},
        {"\"Path\" = type(2) <2f 61 00 ff>", "/a"},
        {"\"Path\" = dword 5", "RegistryError: Invalid data type for 'Path'"},
        {"\"Path\" = qword 5", "RegistryError: Invalid data type for 'Path'"},
        {"\"Path\" = binary <2f 00>", "RegistryError: Invalid data type for 'Path'"},
        {"\"Path\" = multi_sz \"/a\"", "RegistryError: Invalid data type for 'Path'"},
        {"\"Path\" = sz <2f ff fe 00>", "RegistryError: Failed to get data for 'Path'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        WriteFile(RootFile(), kSignature + "[Software\\Kestrix]\n" + c.value + '\n');
        TRegIniStore store;
        UseMainWindowSettings(store);
        EXPECT_TRUE(store.ValueExists(QStringLiteral("Kestrix"), QStringLiteral("Path")));
        std::string result;
        const std::string error = ErrorOf([&] {
            result = store.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("Str"))
                         .toStdString();
        });
        EXPECT_EQ(error == "no error" ? result : error, c.result);
    }
}

TEST_F(RegIniStoreTest, EmptyPathTakesTheDefaultLocationAndShowsIt)
{
    const QString savedName = QCoreApplication::applicationName();
    const struct {
        QString title;
        QString path;
    } cases[] = {
        {QStringLiteral("Kestrix"), QStringLiteral("\\Software\\Temp\\Kestrix")},
        {QString(), QStringLiteral("\\Software\\Temp\\settings_tests")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QCoreApplication::setApplicationName(c.title);
        TRegIniStore store;
        store.SetPathType(ptRegistry);
        store.WriteString(QStringLiteral("Sec"), QStringLiteral("Name"), QStringLiteral("v"));
        EXPECT_EQ(store.Path(), c.path);
        const QByteArray header = "[" + c.path.mid(1).toUtf8() + "\\Sec]\n\"Name\" = sz \"v\"\n";
        EXPECT_TRUE(ReadFile(RootFile()).contains(header)) << ReadFile(RootFile()).toStdString();
    }
    QCoreApplication::setApplicationName(savedName);

    TRegIniStore ini;
    EXPECT_FALSE(ini.ValueExists(QStringLiteral("Sec"), QStringLiteral("Name")));
    const QFileInfo program(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
    EXPECT_EQ(ini.Path(), program.path() + QStringLiteral("/settings_tests.ini"));
}

TEST_F(RegIniStoreTest, ChangedPropertiesTakeEffectAtTheNextOperation)
{
    TRegIniStore store;
    UseMainWindowSettings(store);
    store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("/a/"));

    store.SetPath(QStringLiteral("Software\\Elsewhere"));
    EXPECT_FALSE(store.ValueExists(QStringLiteral("Kestrix"), QStringLiteral("Path")));
    store.SetRegKey(hkeyLocalMachine);
    store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("/machine/"));
    EXPECT_TRUE(ReadFile(RootFile("HKEY_LOCAL_MACHINE")).contains("[Software\\Elsewhere\\Kestrix]"));

    store.SetRegKey(hkeyCurrentUser);
    store.SetPath(QStringLiteral("\\Software\\"));
    EXPECT_EQ(store.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QString()), QStringLiteral("/a/"));
}

TEST_F(RegIniStoreTest, RootsWithoutStoredKeysFailCleanly)
{
    for (const TRegRootKey root : {hkeyPerformanceData, hkeyDynData}) {
        SCOPED_TRACE(static_cast<int>(root));
        TRegIniStore store;
        UseMainWindowSettings(store);
        store.SetRegKey(root);
        EXPECT_FALSE(store.ValueExists(QStringLiteral("Kestrix"), QStringLiteral("Path")));
        EXPECT_EQ(store.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("Str")),
                  QStringLiteral("Str"));
        EXPECT_EQ(ErrorOf([&] { store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Path"), "/a/"); }),
                  "RegistryError: Failed to create key Kestrix");
    }
    EXPECT_FALSE(QFileInfo::exists(ConfigHome()));
}

TEST_F(RegIniStoreTest, AccessRightsDecideWhatMayBeWritten)
{
    const QByteArray existing = kSignature + "[Software\\Kestrix]\n\"Path\" = sz \"/old/\"\n";
    const QByteArray readOnlyKey = kSignature + "[Software\\Kestrix]\naccess = 0x00020019\n\"Path\" = sz \"/old/\"\n";
    const struct {
        const char* name;
        TRegAccess access;
        QByteArray file;  // empty: first run
        const char* writeError;
        bool readable;  // the value can be seen with these rights
    } cases[] = {
        {"read rights, first run", RegAccessOf(keyRead), {}, "RegistryError: Failed to create key Kestrix", false},
        {"read rights, section exists", RegAccessOf(keyRead), existing, "RegistryError: Failed to set data for 'Path'",
         true},
        // The section grants less than the store asks for, so it cannot be opened to take the value.
        {"read-only section, all rights", RegAccessOf(keyAllAccess), readOnlyKey,
         "RegistryError: Failed to set data for 'Path'", false},
        {"read-only section, read rights", RegAccessOf(keyRead), readOnlyKey,
         "RegistryError: Failed to set data for 'Path'", true},
        {"set rights only", RegAccessOf(keySetValue), existing, "no error", false},
        {"write rights, first run", RegAccessOf(keyWrite), {}, "no error", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(RootFile());
        if (!c.file.isEmpty())
            WriteFile(RootFile(), c.file);
        TRegIniStore store;
        UseMainWindowSettings(store);
        store.SetRegAccess(c.access);

        EXPECT_EQ(store.ValueExists(QStringLiteral("Kestrix"), QStringLiteral("Path")), c.readable);
        EXPECT_EQ(store.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("Str")),
                  c.readable ? QStringLiteral("/old/") : QStringLiteral("Str"));
        EXPECT_EQ(ErrorOf([&] { store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Path"), "/new/"); }),
                  c.writeError);

        TRegIniStore reader;
        UseMainWindowSettings(reader);
        reader.SetRegAccess(RegAccessOf(keyQueryValue));
        const QString expected = std::string(c.writeError) == "no error" ? QStringLiteral("/new/")
                                 : c.file.isEmpty()                      ? QStringLiteral("Str")
                                                                         : QStringLiteral("/old/");
        EXPECT_EQ(reader.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("Str")),
                  expected);
    }
}

TEST_F(RegIniStoreTest, SectionsGoUnderTheRootWhenTheBaseKeyCannotBeOpened)
{
    const struct {
        const char* name;
        QString path;
        QByteArray file;
    } cases[] = {
        {"empty key name in the path", QStringLiteral("\\\\Software"), {}},
        {"base key denies the rights", QStringLiteral("\\Locked"), kSignature + "[Locked]\naccess = 0x00020019\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(RootFile());
        if (!c.file.isEmpty())
            WriteFile(RootFile(), c.file);
        TRegIniStore store;
        store.SetPathType(ptRegistry);
        store.SetPath(c.path);
        store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("/a/"));
        EXPECT_TRUE(ReadFile(RootFile()).contains("\n[Kestrix]\n\"Path\" = sz \"/a/\"\n"));
        EXPECT_TRUE(store.ValueExists(QStringLiteral("Kestrix"), QStringLiteral("Path")));
    }
}

TEST_F(RegIniStoreTest, DamagedOrUnreadableStoreNamesTheFile)
{
    const struct {
        const char* name;
        std::function<void()> damage;
        std::string message;
    } cases[] = {
        {"not a store file", [&] { WriteFile(RootFile(), "Path=/a/\n"); },
         "The settings file " + RootFile().toStdString() +
             " is damaged: line 1: not a settings store file: the first line must be \"Kestrix registry 1\""},
        {"bad value line", [&] { WriteFile(RootFile(), kSignature + "[Software\\Kestrix]\n\"Path\" = sz \"/a/\n"); },
         "The settings file " + RootFile().toStdString() + " is damaged: line 3: quoted text without its closing '\"'"},
        {"a folder in its place", [&] { ASSERT_TRUE(QDir().mkpath(RootFile())); },
         "Cannot read the settings file " + RootFile().toStdString() + ": "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(RootFile());
        c.damage();
        TRegIniStore store;
        UseMainWindowSettings(store);
        for (const auto& operation : std::initializer_list<std::function<void()>>{
                 [&] { store.ValueExists(QStringLiteral("Kestrix"), QStringLiteral("Path")); },
                 [&] { store.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QString()); },
                 [&] { store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("/b/")); },
             }) {
            const std::string error = ErrorOf(operation);
            EXPECT_EQ(error.rfind("RegistryError: " + c.message, 0), 0u) << error;
        }
        EXPECT_TRUE(store.RefreshNeeded());

        // Once the file is mended the same store works again.
        QDir(RootFile()).removeRecursively();
        QFile::remove(RootFile());
        store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("/b/"));
        EXPECT_EQ(store.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QString()),
                  QStringLiteral("/b/"));
    }
}

// The folder or file that could not be used follows the store's message, with
// the system's reason. Permissions stop no one running as root, so the cases
// that need them run in a child process with an ordinary user's rights.
TEST_F(RegIniStoreTest, WriteFailureNamesTheFolderOrFileAndWhy)
{
    const QString plainFile = TempPath(QStringLiteral("plain-file"));
    const QString folder = ConfigHome() + QStringLiteral("/kestrix/registry");
    const std::string lockFile = RootFile().toStdString() + ".lock";
    const auto writeSection = [&] {
        WriteFile(RootFile(), kSignature + "[Software\\Kestrix]\n\"Path\" = sz \"/old/\"\n");
    };
    constexpr QFile::Permissions kPrivileged = {};
    const struct {
        const char* name;
        QString configHome;
        std::function<void()> prepare;
        QFile::Permissions folderRights;  // kPrivileged: written by this process, folder left as it is
        std::string error;
        const char* valueAfter;
    } cases[] = {
        {"configuration home is a file", plainFile, [] {}, kPrivileged,
         "Failed to create key Kestrix: cannot create the settings folder " + plainFile.toStdString() +
             "/kestrix/registry: Not a directory",
         "Str"},
        {"settings folder is a file", ConfigHome(), [&] { WriteFile(folder, "x"); }, kPrivileged,
         "Failed to create key Kestrix: cannot create the settings folder " + folder.toStdString() +
             ": Not a directory",
         "Str"},
        {"read-only settings folder, first run", ConfigHome(), [&] { QDir().mkpath(folder); }, kReadableFolder,
         "Failed to create key Kestrix: cannot create the lock file " + lockFile + ": Permission denied", "Str"},
        {"read-only settings folder, section exists", ConfigHome(), writeSection, kReadableFolder,
         "Failed to set data for 'Path': cannot create the lock file " + lockFile + ": Permission denied", "/old/"},
        {"read-only settings file", ConfigHome(), writeSection, kWritableFolder,
         "Failed to set data for 'Path': cannot write the settings file " + RootFile().toStdString() +
             ": Existing file " + RootFile().toStdString() + " is not writable",
         "/old/"},
    };
    WriteFile(plainFile, "x");
    // An ordinary user must reach the folder to be refused the write.
    ASSERT_TRUE(QFile::setPermissions(QFileInfo(plainFile).path(), kReadableFolder | QFile::WriteOwner));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::setPermissions(folder, kReadableFolder | QFile::WriteOwner);
        QDir(ConfigHome()).removeRecursively();
        c.prepare();
        const bool unprivileged = c.folderRights != kPrivileged;
        if (unprivileged) {
            ASSERT_TRUE(QFile::setPermissions(folder, c.folderRights));
        }
        qputenv("XDG_CONFIG_HOME", c.configHome.toUtf8());
        TRegIniStore store;
        UseMainWindowSettings(store);
        const auto write = [&] { store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Path"), "/a/"); };
        EXPECT_EQ(unprivileged ? ErrorOfUnprivileged(write) : ErrorOf(write), "RegistryError: " + c.error);
        EXPECT_EQ(store.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("Str")),
                  QString::fromUtf8(c.valueAfter));
    }
    QFile::setPermissions(folder, kReadableFolder | QFile::WriteOwner);
}

// Each storage is written by two processes at once; no value may be lost and
// the file must stay whole.
TEST_F(RegIniStoreTest, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kValues = 40;
    const struct {
        const char* name;
        TStorePathType type;
        QString path;
    } cases[] = {
        {"registry", ptRegistry, QStringLiteral("\\Software\\")},
        {"ini file", ptIniFile, TempPath(QStringLiteral("shared.ini"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto configure = [&](TRegIniStore& store) {
            store.SetPathType(c.type);
            store.SetPath(c.path);
        };
        pid_t children[2];
        for (int child = 0; child < 2; ++child) {
            children[child] = fork();
            ASSERT_GE(children[child], 0);
            if (children[child] == 0) {
                int status = 0;
                try {
                    TRegIniStore store;
                    configure(store);
                    for (int i = 0; i < kValues; ++i)
                        store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("V%1_%2").arg(child).arg(i),
                                          QString::number(i));
                } catch (...) {
                    status = 1;
                }
                _exit(status);
            }
        }
        for (const pid_t child : children) {
            int status = -1;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        TRegIniStore store;
        configure(store);
        int found = 0;
        for (int child = 0; child < 2; ++child) {
            for (int i = 0; i < kValues; ++i) {
                if (store.ReadString(QStringLiteral("Kestrix"), QStringLiteral("V%1_%2").arg(child).arg(i),
                                     QString()) == QString::number(i))
                    ++found;
            }
        }
        EXPECT_EQ(found, 2 * kValues);
    }
}

class IniFileStoreTest : public TempConfigTest {
protected:
    void SetUp() override
    {
        TempConfigTest::SetUp();
        m_store.SetPath(TempPath(QStringLiteral("settings.ini")));
    }

    QString Read(const char* section, const char* ident)
    {
        return m_store.ReadString(QLatin1String(section), QLatin1String(ident), QStringLiteral("Str"));
    }

    TRegIniStore m_store;
};

TEST_F(IniFileStoreTest, FirstRunCreatesNothingAndWritesKeepOtherLines)
{
    EXPECT_FALSE(m_store.ValueExists(QStringLiteral("Kestrix"), QStringLiteral("Path")));
    EXPECT_EQ(Read("Kestrix", "Path"), QStringLiteral("Str"));
    EXPECT_FALSE(QFileInfo::exists(m_store.Path()));

    WriteFile(m_store.Path(), "; kept comment\r\n[Other]\r\nPath=/other/\r\n\r\n[KESTRIX]\r\n  path = /old/\r\n\r\n"
                              "[Last]\r\nx=1\r\n");
    m_store.WriteString(QStringLiteral("kestrix"), QStringLiteral("Path"), QStringLiteral("/new/"));
    m_store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Added"), QStringLiteral("A"));
    m_store.WriteString(QStringLiteral("New"), QStringLiteral("Key"), QStringLiteral("Значение"));
    EXPECT_EQ(ReadFile(m_store.Path()),
              QStringLiteral("; kept comment\r\n[Other]\r\nPath=/other/\r\n\r\n[KESTRIX]\r\npath=/new/\r\nAdded=A\r\n"
                             "\r\n[Last]\r\nx=1\r\n[New]\r\nKey=Значение\r\n")
                  .toUtf8());
    EXPECT_TRUE(m_store.ValueExists(QStringLiteral("kestrix"), QStringLiteral("PATH")));
    EXPECT_EQ(Read("Kestrix", "Path"), QStringLiteral("/new/"));
    EXPECT_EQ(Read("Other", "Path"), QStringLiteral("/other/"));
}

// Several values written at once land as one write each would put them, in
// one replacement of the file; one value that cannot be held writes none.
TEST_F(IniFileStoreTest, ValuesWrittenAtOnceLandAsSingleWritesWould)
{
    WriteFile(m_store.Path(), "[KESTRIX]\r\n  path = /old/\r\n\r\n[Last]\r\nx=1\r\n");
    m_store.WriteStrings(QStringLiteral("kestrix"), {{QStringLiteral("Path"), QStringLiteral("/new/")},
                                                     {QStringLiteral("Added"), QStringLiteral("A")}});
    m_store.WriteStrings(QStringLiteral("New"), {{QStringLiteral("One"), QStringLiteral("1")},
                                                 {QStringLiteral("Two"), QStringLiteral("Два")}});
    const QByteArray expected = QStringLiteral("[KESTRIX]\r\npath=/new/\r\nAdded=A\r\n\r\n[Last]\r\nx=1\r\n"
                                               "[New]\r\nOne=1\r\nTwo=Два\r\n")
                                    .toUtf8();
    EXPECT_EQ(ReadFile(m_store.Path()), expected);
    EXPECT_EQ(ErrorOf([&] {
                  m_store.WriteStrings(QStringLiteral("New"), {{QStringLiteral("One"), QStringLiteral("changed")},
                                                               {QStringLiteral("a=b"), QStringLiteral("x")}});
              }),
              "IniFileError: Unable to write to " + m_store.Path().toStdString());
    EXPECT_EQ(ReadFile(m_store.Path()), expected);
}

TEST_F(IniFileStoreTest, ReadsValuesAsTheProfileFunctionsDo)
{
    WriteFile(m_store.Path(), "top=before any section\n"
                              "[ Kestrix ]\n"
                              "  Spaced  =   a b   \n"
                              "Quoted=\"  kept  \"\n"
                              "Single=' x '\n"
                              "Uneven=\"x'\n"
                              ";Comment=no\n"
                              "no equals sign\n"
                              "Empty=\n"
                              "Twice=first\n"
                              "twice=second\n"
                              "[kestrix]\n"
                              "Later=section seen second\n");
    const struct {
        const char* ident;
        const char* value;
    } cases[] = {
        {"Spaced", "a b"},         {"Quoted", "  kept  "}, {"Single", " x "},  {"Uneven", "\"x'"}, {"Comment", "Str"},
        {";Comment", "Str"},       {"Empty", ""},          {"TWICE", "first"}, {"Later", "Str"},   {"top", "Str"},
        {"no equals sign", "Str"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Read("Kestrix", c.ident), QString::fromUtf8(c.value)) << c.ident;
}

TEST_F(IniFileStoreTest, ReadReturnsAtMost2047Characters)
{
    const QString longValue(3000, QLatin1Char('x'));
    m_store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Path"), longValue);
    EXPECT_TRUE(ReadFile(m_store.Path()).contains(longValue.toUtf8()));
    EXPECT_EQ(Read("Kestrix", "Path"), longValue.left(2047));
    EXPECT_EQ(m_store.ReadString(QStringLiteral("Kestrix"), QStringLiteral("Missing"), longValue),
              longValue.left(2047));

    const QString pair = QStringLiteral("\U0001F600");
    m_store.WriteString(QStringLiteral("Kestrix"), QStringLiteral("Pairs"), QString(2046, QLatin1Char('x')) + pair);
    EXPECT_EQ(Read("Kestrix", "Pairs"), QString(2046, QLatin1Char('x')));
}

TEST_F(IniFileStoreTest, FailedWriteRaisesUnableToWrite)
{
    const QString missingFolder = TempPath(QStringLiteral("no-such-folder/settings.ini"));
    const struct {
        const char* name;
        QString file;
        QString section;
        QString ident;
        QString value;
    } cases[] = {
        {"missing folder", missingFolder, QStringLiteral("Kestrix"), QStringLiteral("Path"), QStringLiteral("/a/")},
        {"line break in the value", TempPath(QStringLiteral("a.ini")), QStringLiteral("Kestrix"),
         QStringLiteral("Path"), QStringLiteral("/a/\n[Injected]")},
        {"'=' in the key", TempPath(QStringLiteral("a.ini")), QStringLiteral("Kestrix"), QStringLiteral("a=b"),
         QStringLiteral("v")},
        {"']' in the section", TempPath(QStringLiteral("a.ini")), QStringLiteral("a]b"), QStringLiteral("Path"),
         QStringLiteral("v")},
        {"empty key", TempPath(QStringLiteral("a.ini")), QStringLiteral("Kestrix"), QStringLiteral(" "),
         QStringLiteral("v")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRegIniStore store;
        store.SetPath(c.file);
        EXPECT_EQ(ErrorOf([&] { store.WriteString(c.section, c.ident, c.value); }),
                  "IniFileError: Unable to write to " + c.file.toStdString());
        EXPECT_FALSE(QFileInfo::exists(c.file));
    }

    ASSERT_TRUE(QDir().mkpath(TempPath(QStringLiteral("folder.ini"))));
    TRegIniStore unreadable;
    unreadable.SetPath(TempPath(QStringLiteral("folder.ini")));
    EXPECT_EQ(ErrorOf([&] { unreadable.ValueExists(QStringLiteral("Kestrix"), QStringLiteral("Path")); }),
              "IniFileError: Unable to read " + TempPath(QStringLiteral("folder.ini")).toStdString());
}

}  // namespace
}  // namespace kestrix
