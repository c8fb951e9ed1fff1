// Файл / Сохранить отчёт…: the report of the content search, written off the
// window's thread.
#include "content_list_model.h"
#include "content_page.h"
#include "form1.h"
#include "kestrix_version.h"
#include "progress_gauge.h"
#include "report_writer.h"
#include "sound_plugin.h"
#include "status_message.h"
#include "wav_file.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>

namespace kestrix {

QString NewReportFolder(const QString& parent, const QString& imageName)
{
    const QString base = QStringLiteral("Отчёт ") + (imageName.isEmpty() ? QStringLiteral("образа") : imageName);
    QDir folder(parent);
    // A folder made here is ours alone: nothing of the user's is in it.
    for (int copy = 1; copy <= 1000; ++copy) {
        const QString name = copy == 1 ? base : QStringLiteral("%1 (%2)").arg(base).arg(copy);
        if (!folder.exists(name) && folder.mkdir(name))
            return folder.filePath(name);
    }
    return {};
}

void TForm1::SaveReportClick()
{
    RunCommand([this] { WriteImageReport(); });
}

void TForm1::WriteImageReport()
{
    const ContentResults* results = m_sounds->Results();
    if (results == nullptr) {
        m_saveResult->SetMessage(
            QStringLiteral("Отчёт пишется по всему содержимому: сначала Утилиты / Поиск всего содержимого"));
        return;
    }
    const QString parent = m_seams.ReportFolder
                               ? m_seams.ReportFolder()
                               : QFileDialog::getExistingDirectory(this, QStringLiteral("Папка для отчёта"),
                                                                   QFileInfo(m_saveDialog1.FileName).path());
    if (parent.isEmpty())
        return;
    const QString imageName = QFileInfo(m_stat->toolTip()).fileName();
    const QString folder = NewReportFolder(parent, imageName);
    if (folder.isEmpty()) {
        m_saveResult->SetMessage(QStringLiteral("Не удалось создать папку для отчёта в %1").arg(parent), parent);
        return;
    }
    ReportOptions options;
    options.ImageName = imageName.toStdString();
    options.Version = kVersion;
    int64_t wavLeft = WavBudgetOf(m_hex1.Bytes().size());
    options.ToWav = [&wavLeft](ItemType type, std::span<const uint8_t> sound, Stream& out, std::string& why) {
        const bool whole = WriteWavFile(type, sound, out, wavLeft, why);
        if (whole)
            wavLeft -= out.Position();
        return whole;
    };
    ReportOutcome outcome;
    m_scan.RunInBackground(*m_progressBar, [&](BackgroundWork& work) {
        work.Total = 100;
        options.Cancel = &work.Cancel;
        options.Progress = [&work](int percent) { work.Done = percent; };
        outcome = WriteReport(m_hex1, results->Found, results->Found.Items, results->Captions,
                              QFile::encodeName(folder).toStdString(), options);
    });
    const QString shown = QDir::toNativeSeparators(folder);
    if (outcome.Cancelled)
        m_saveResult->SetMessage(QStringLiteral("Отчёт прерван; записанное лежит в %1").arg(shown), folder);
    else if (!outcome.Failed.empty())
        m_saveResult->SetMessage(
            QStringLiteral("Отчёт записан не весь (не записано файлов: %1) в %2").arg(outcome.Failed.size()).arg(shown),
            folder);
    else
        m_saveResult->SetMessage(
            QStringLiteral("Отчёт записан в %1 (файлов: %2)").arg(shown).arg(outcome.Written.size()), folder);
}

}  // namespace kestrix
