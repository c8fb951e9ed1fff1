#include "form1.h"

#include "content_page.h"
#include "exceptions.h"
#include "extraction.h"
#include "hex_dock.h"
#include "picture_gallery.h"
#include "recent_images.h"
#include "result_list_view.h"
#include "status_message.h"
#include "stream.h"
#include "window_layout.h"
#include "window_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

#include <exception>

namespace kestrix {
namespace {

const QString kSettingsSection = QStringLiteral("Kestrix");
const QString kSettingsKey = QStringLiteral("Path");
const QString kRecentSection = QStringLiteral("KestrixRecent");

}  // namespace

void TForm1::OpenImage(OpenOrder order)
{
    const QString fileName =
        m_seams.OpenFile ? m_seams.OpenFile(m_openDialog1) : ExecuteOpenDialog(this, m_openDialog1);
    if (fileName.isEmpty())
        return;
    OpenChosenFile(fileName, order);
}

void TForm1::OpenChosenFile(const QString& fileName, OpenOrder order)
{
    m_openDialog1.FileName = fileName;
    const QString folder = FolderWithSeparator(fileName);
    // The last-folder memory is a convenience: a settings fault must not cost
    // the user the image, so it is reported after the open has done its work.
    QString settingsFault;
    const auto remember = [&] {
        try {
            RememberFolder(folder);
        } catch (const std::exception& e) {
            settingsFault = QString::fromUtf8(e.what());
        }
    };
    if (order == OpenOrder::RememberBeforeLoad)
        remember();
    try {
        LoadImage(fileName);
        m_stat->setText(VisibleText(QFileInfo(fileName).fileName()));
        m_stat->setToolTip(QDir::toNativeSeparators(fileName));
        ShowImageName(fileName);
        if (order == OpenOrder::RememberAfterLoad)
            remember();
        try {
            RememberImage(fileName);
        } catch (const std::exception& e) {
            if (settingsFault.isEmpty())
                settingsFault = QString::fromUtf8(e.what());
        }
        ShowFirmwareInfo();
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
    }
    if (!settingsFault.isEmpty())
        ReportError(settingsFault);
}

void TForm1::LoadImage(const QString& fileName)
{
    LoadImageFrom(QFile::encodeName(fileName).toStdString());
}

void TForm1::LoadImageFrom(const std::string& localPath)
{
    const bool hadImage = m_hex1.DataSize() > 0;
    ForgetPictures();
    try {
        m_hex1.LoadFromFile(localPath);
    } catch (...) {
        // A load that failed while reading has emptied the buffer: what was
        // found in the old image must not be shown or saved as if it were there.
        if (hadImage && m_hex1.DataSize() == 0) {
            ForgetImageResults();
            m_stat->setText(QStringLiteral("Kestrix"));
            m_stat->setToolTip({});
            ShowImageName({});
        }
        throw;
    }
    // Rows found in the previous image name ranges of that image; they go
    // with it rather than point into the new one, and so does our account
    // of the last save.
    ForgetImageResults();
    m_saveResult->SetMessage({});
}

void TForm1::ForgetImageResults()
{
    m_fileList->Model().Clear();
    m_finded->Model().Clear();
    m_infoList->Model().Clear();
    ForgetPictures();
    ClearPreview();
}

void TForm1::ForgetPictures()
{
    m_allPictures->Clear();
    for (ContentPage* page : {m_sounds, m_applications, m_phoneFiles})
        page->SetResults(nullptr, {});
}

const std::vector<FoundItem>& TForm1::PictureRows() const noexcept
{
    return m_allPictures->Rows();
}

void TForm1::ClearPreview()
{
    LoadPlaceholder();
}

void TForm1::RememberFolder(const QString& folder)
{
    m_regIniStore1.WriteString(kSettingsSection, kSettingsKey, folder);
}

void TForm1::RememberImage(const QString& fileName)
{
    RecentImages recent = RecentImages::Load(m_regIniStore1, kRecentSection);
    recent.Add(QFileInfo(fileName).absoluteFilePath());
    recent.Save(m_regIniStore1, kRecentSection);
}

void TForm1::ShowImageName(const QString& fileName)
{
    m_imageName->setText(VisibleText(QFileInfo(fileName).fileName()));
    m_imageName->setToolTip(QDir::toNativeSeparators(fileName));
}

void TForm1::FillRecentMenu()
{
    m_recentMenu->clear();
    RecentImages recent;
    try {
        recent = RecentImages::Load(m_regIniStore1, kRecentSection);
        if (recent.DropMissing() > 0)
            recent.Save(m_regIniStore1, kRecentSection);
    } catch (const std::exception&) {
        // An unreadable store only leaves the menu empty; opening an image reports it.
    }
    if (recent.Paths().isEmpty()) {
        m_recentMenu->addAction(QStringLiteral("Список пуст"))->setEnabled(false);
        return;
    }
    int place = 0;
    for (const QString& path : recent.Paths()) {
        ++place;
        // "&" would mark a letter for Alt: the names keep theirs doubled.
        const QString name = QFileInfo(path).fileName().replace(u'&', QStringLiteral("&&"));
        QAction* item = m_recentMenu->addAction(place < 10 ? QStringLiteral("&%1  %2").arg(place).arg(name)
                                                           : QStringLiteral("%1  %2").arg(place).arg(name));
        item->setToolTip(QDir::toNativeSeparators(path));
        item->setData(path);
        connect(item, &QAction::triggered, this, [this, path] { OpenFile(path); });
    }
}

void TForm1::RestoreOpenFolder()
{
    if (!m_regIniStore1.ValueExists(kSettingsSection, kSettingsKey))
        return;
    const QString folder = m_regIniStore1.ReadString(kSettingsSection, kSettingsKey, QStringLiteral("Str"));
    // Read a second time rather than reusing folder: the start-up's two reads of the value are fixed behaviour.
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        m_openDialog1.InitialDir = m_regIniStore1.ReadString(kSettingsSection, kSettingsKey, QStringLiteral("Str"));
}

}  // namespace kestrix
