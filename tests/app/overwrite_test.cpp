// Saving on our pages never replaces a file of the user's without asking.

#include "code_page.h"
#include "content_page.h"
#include "flash_image_builder.h"
#include "form_fixture.h"
#include "result_list_view.h"
#include "save_summary.h"
#include "sound_builders.h"

#include <QFile>

#include <map>

namespace kestrix::test_support {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes AsBytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

class OverwriteTest : public FormTest {
protected:
    // Two sounds: "Звонок.mid" (named by its entry) and "Звук (2).amr".
    void OpenSounds()
    {
        FlashImageBuilder image(64 * 1024, 0xFF);
        image
            .PutFileEntry(3000, Utf8ToCp1251("Звонок.mid"), static_cast<uint32_t>(m_midi.size()),
                          test_support::AsText(m_midi))
            .Put(5003, m_amr)
            .PutFileEntry(30000, "notes.txt", 5, "hello");
        OpenImage(image);
        Form().SearchAllContent();
        ASSERT_EQ(Form().SoundsPage()->RowCount(), 2);
    }

    QString Folder(const std::map<QString, Bytes>& files)
    {
        const QString folder = Path(QStringLiteral("out"));
        QDir().mkpath(folder);
        for (const auto& [name, bytes] : files) {
            QFile file(QDir(folder).filePath(name));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        }
        return folder;
    }

    static std::map<QString, Bytes> FilesIn(const QString& folder)
    {
        std::map<QString, Bytes> files;
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            files[name] = ReadFileBytes(QFile::encodeName(QDir(folder).filePath(name)).toStdString());
        return files;
    }

    void SaveAllInto(const QString& folder)
    {
        m_saveAnswers = {folder + QStringLiteral("/any name")};
        Form().SaveAllRows();
    }

    Bytes m_midi = BuildMidi({});
    Bytes m_amr = BuildAmr({});
    const Bytes m_mine = AsBytes("my own notes");
};

TEST_F(OverwriteTest, AFileThatDiffersIsAskedAboutOnceAndAnIdenticalOneNever)
{
    const QString kept = QStringLiteral("Звонок (2).mid");
    const struct {
        const char* name;
        OverwriteChoice choice;
        std::map<QString, Bytes> after;  // besides "Звук (2).amr", identical before and after
        const char* summary;
    } cases[] = {
        {"replace",
         OverwriteChoice::Replace,
         {{QStringLiteral("Звонок.mid"), m_midi}, {kept, m_mine}},
         "Сохранено 2 файла в %1; заменён 1 прежний файл"},
        {"skip",
         OverwriteChoice::Skip,
         {{QStringLiteral("Звонок.mid"), m_mine}, {kept, m_mine}},
         "Сохранён 1 файл в %1; оставлен 1 прежний файл"},
        {"keep both, past a name that is taken",
         OverwriteChoice::KeepBoth,
         {{QStringLiteral("Звонок.mid"), m_mine}, {kept, m_mine}, {QStringLiteral("Звонок (3).mid"), m_midi}},
         "Сохранено 2 файла в %1; из них 1 файл под новым именем рядом с прежним"},
        {"cancel", OverwriteChoice::CancelSave, {{QStringLiteral("Звонок.mid"), m_mine}, {kept, m_mine}}, ""},
    };
    OpenSounds();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder =
            Folder({{QStringLiteral("Звонок.mid"), m_mine}, {kept, m_mine}, {QStringLiteral("Звук (2).amr"), m_amr}});
        m_overwriteAsked.clear();
        m_overwriteAnswers = {{c.choice, false}};
        SaveAllInto(folder);
        std::map<QString, Bytes> after = c.after;
        after[QStringLiteral("Звук (2).amr")] = m_amr;
        EXPECT_EQ(FilesIn(folder), after);
        EXPECT_EQ(m_overwriteAsked, std::vector<std::string>{"Звонок.mid"});
        const QString summary = QString::fromUtf8(c.summary);
        EXPECT_EQ(Form().SaveSummaryText(),
                  summary.isEmpty() ? summary : summary.arg(QDir::toNativeSeparators(folder)));
        QDir(folder).removeRecursively();
    }
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(OverwriteTest, AnAnswerForAllIsGivenOnceAndSavingAgainAsksNothing)
{
    OpenSounds();
    const QString folder = Folder({{QStringLiteral("Звонок.mid"), m_mine}, {QStringLiteral("Звук (2).amr"), m_mine}});
    m_overwriteAnswers = {{OverwriteChoice::Replace, true}};
    SaveAllInto(folder);
    EXPECT_EQ(m_overwriteAsked, std::vector<std::string>{"Звонок.mid"});
    EXPECT_EQ(FilesIn(folder), (std::map<QString, Bytes>{{QStringLiteral("Звонок.mid"), m_midi},
                                                         {QStringLiteral("Звук (2).amr"), m_amr}}));
    EXPECT_TRUE(Form().SaveSummaryText().endsWith(QStringLiteral("; заменено 2 прежних файла")))
        << Form().SaveSummaryText().toStdString();

    SaveAllInto(folder);
    EXPECT_EQ(m_overwriteAsked.size(), 1u);
    EXPECT_EQ(Form().SaveSummaryText(), QStringLiteral("Сохранено 2 файла в ") + QDir::toNativeSeparators(folder));
}

TEST_F(OverwriteTest, TheDesignsFilesPageReplacesWithoutAsking)
{
    OpenSounds();
    TForm1& f = Form();
    f.N7Click();
    f.Page()->setCurrentIndex(TForm1::kFilesPage);
    const QString folder = Folder({{QStringLiteral("notes.txt"), m_mine}});
    SaveAllInto(folder);
    EXPECT_TRUE(m_overwriteAsked.empty());
    EXPECT_EQ(FilesIn(folder)[QStringLiteral("notes.txt")], AsBytes("hello"));
}

}  // namespace
}  // namespace kestrix::test_support
