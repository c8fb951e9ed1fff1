#pragma once

#include "flash_image_builder.h"
#include "form1.h"
#include "picture_builders.h"
#include "progress_gauge.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Failure messages show texts rather than their UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace kestrix::test_support {

// A main window driven without dialogs, in a temporary working folder with
// its own settings and cache homes: the open and save dialogs answer with the next
// queued path (an empty text cancels) and the error box only records.
class FormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldCwd = QDir::currentPath();
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        m_oldCache = qgetenv("XDG_CACHE_HOME");
        QDir(m_dir.path()).mkpath(QStringLiteral("config"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Path("config")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(Path("cache")));
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    }

    void TearDown() override
    {
        m_form.reset();
        m_settings.reset();
        QDir::setCurrent(m_oldCwd);
        for (const auto& [name, old] : {std::pair{"XDG_CONFIG_HOME", m_oldConfig}, {"XDG_CACHE_HOME", m_oldCache}}) {
            if (old.isNull())
                qunsetenv(name);
            else
                qputenv(name, old);
        }
    }

    TForm1& Form()
    {
        if (!m_form)
            m_form = MakeForm();
        return *m_form;
    }

    std::unique_ptr<TForm1> MakeForm()
    {
        FormSeams seams;
        seams.OpenFile = [this](const FileDialog& dialog) {
            m_openStartFolders.push_back(dialog.StartFolder());
            return Next(m_openAnswers);
        };
        seams.SaveFile = [this](const FileDialog&) {
            m_gaugeAtSaveDialog.push_back(m_current && m_current->GaugeShown() ? m_current->ProgressBar()->Max() : -1);
            return Next(m_saveAnswers);
        };
        seams.ReportFolder = [this] { return Next(m_saveAnswers); };
        seams.ErrorBox = [this](const QString& text) { m_errors.push_back(text); };
        seams.AskOverwrite = [this](const QString&, const OverwriteQuestion& question) {
            m_overwriteAsked.push_back(question.FileName);
            if (m_overwriteAnswers.empty())
                return OverwriteAnswer{OverwriteChoice::CancelSave, false};
            const OverwriteAnswer answer = m_overwriteAnswers.front();
            m_overwriteAnswers.erase(m_overwriteAnswers.begin());
            return answer;
        };
        // The tests never reach a sound card: Play stays off, as on a machine without one.
        seams.AudioOutput = [] { return false; };
        auto form = std::make_unique<TForm1>(seams);
        form->SetYieldInterval(0);
        m_current = form.get();
        return form;
    }

    // The settings store where the window keeps its folder, set up as the
    // window sets up its own; it reads the store afresh at every call.
    TRegIniStore& Settings()
    {
        if (!m_settings) {
            m_settings = std::make_unique<TRegIniStore>();
            m_settings->SetPathType(ptRegistry);
            m_settings->SetPath(QStringLiteral("\\Software\\"));
        }
        return *m_settings;
    }

    // Path of name inside the temporary folder.
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    // Writes image under name and opens it through the menu.
    QString OpenImage(const FlashImageBuilder& image, const QString& name = QStringLiteral("phone.bin"))
    {
        const QString path = Path(name);
        image.WriteTo(QFile::encodeName(path).toStdString());
        m_openAnswers.push_back(path);
        Form().N2Click();
        return path;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<TForm1> m_form;
    // The form made last.
    TForm1* m_current = nullptr;
    std::vector<QString> m_openAnswers;
    std::vector<QString> m_saveAnswers;
    std::vector<QString> m_openStartFolders;
    // Per save dialog shown: the gauge's maximum while it was open, -1 when hidden.
    std::vector<int> m_gaugeAtSaveDialog;
    std::vector<QString> m_errors;
    // The overwrite question: the answers given in turn (then Cancel), and
    // the file names asked about.
    std::vector<OverwriteAnswer> m_overwriteAnswers;
    std::vector<std::string> m_overwriteAsked;

private:
    std::unique_ptr<TRegIniStore> m_settings;

    static QString Next(std::vector<QString>& answers)
    {
        if (answers.empty())
            return {};
        QString answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }

    QString m_oldCwd;
    QByteArray m_oldConfig;
    QByteArray m_oldCache;
};

}  // namespace kestrix::test_support
