#include "form1.h"

#include "content_page.h"
#include "error_box.h"
#include "exceptions.h"
#include "extraction.h"
#include "file_drop.h"
#include "filter_bar.h"
#include "firmware_info.h"
#include "hex_dock.h"
#include "hex_text.h"
#include "image_digests_label.h"
#include "overwrite_dialog.h"
#include "pattern_search.h"
#include "picture_check.h"
#include "picture_gallery.h"
#include "picture_view.h"
#include "progress_gauge.h"
#include "result_list_view.h"
#include "row_copy.h"
#include "save_controller.h"
#include "sound_decoder.h"
#include "sound_player_bar.h"
#include "status_message.h"
#include "stream.h"
#include "user_guide.h"
#include "window_layout.h"
#include "window_text.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <atomic>
#include <exception>
#include <new>

// Resources compiled into a static library are registered by hand.
static void InitAppResources()
{
    Q_INIT_RESOURCE(kestrix);
}

namespace kestrix {
TForm1::TForm1(FormSeams seams, QWidget* parent)
    : QMainWindow(parent), m_seams(std::move(seams)),
      m_scan([this](bool enabled) { SetInteractive(enabled); },
             [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); })
{
    InitAppResources();
    ConfigureComponents();
    BuildLayout();
    InstallHexDock(*this, m_hex1);
    RestoreLayout();
    new FileDropFilter(
        this, [this](const QByteArray& path) { OpenLocalFile(path); }, [this] { return m_scan.Running(); },
        [this] {
            m_saveResult->SetMessage(
                QStringLiteral("Образ не открыт: идёт поиск или сохранение. Остановите его (Esc) и перетащите снова"));
        });
    FormCreate();
}

TForm1::~TForm1()
{
    // The buffer outlives this window's event handling; its notices must not.
    m_hex1.PostNotice = nullptr;
    // The gallery, a child widget, outlives m_hex1; its decoders must not.
    m_allPictures->Clear();
    m_imageDigests->Stop();
}

void TForm1::LoadPlaceholder()
{
    QFile file(QStringLiteral(":/icons/placeholder.bmp"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    MemoryStream stream;
    stream.WriteBuffer(bytes.constData(), static_cast<int32_t>(bytes.size()));
    stream.SetPosition(0);
    m_pictureView1->Picture().ReadData(&stream);
    m_pictureView1->Refresh();
}

std::vector<ResultRow> TForm1::FileListRows() const
{
    return m_fileList->Rows();
}

std::vector<ResultRow> TForm1::FindedRows() const
{
    return m_finded->Rows();
}

std::vector<ResultRow> TForm1::InfoListRows() const
{
    return m_infoList->Rows();
}

QString TForm1::StatusText() const
{
    return m_stat->text();
}

std::string TForm1::ScratchFile() const
{
    // The working folder may be read-only, or the user's home where a stray
    // file is unwelcome; the scratch file is cache.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(folder);
    return QFile::encodeName(QDir(folder).filePath(QStringLiteral("temp.tmp"))).toStdString();
}

QString TForm1::SaveSummaryText() const
{
    return m_saveResult->Message();
}

int32_t TForm1::ActivePage() const
{
    return m_page->currentIndex();
}

ResultListView* TForm1::ActiveList() const
{
    switch (ActivePage()) {
    case kFilesPage: return m_fileList;
    case kGraphicsPage: return m_finded;
    case kInfoPage: return m_infoList;
    default: return nullptr;
    }
}

bool TForm1::GaugeShown() const
{
    return !m_progressBar->isHidden();
}

int32_t TForm1::FindHexPattern(std::string_view pattern, int32_t from, int32_t to)
{
    return kestrix::FindHexPattern(m_hex1, pattern, from, to);
}

std::string TForm1::IntToHexText(uint32_t value, int32_t width)
{
    return kestrix::IntToHexText(value, width);
}

uint32_t TForm1::HexTextToInt(const std::string& text)
{
    return kestrix::HexTextToInt(text);
}

void TForm1::ShowFirmwareInfo()
{
    std::vector<ResultRow> rows;
    for (const FirmwareFact& fact : ReadFirmwareInfo(m_hex1.Bytes()))
        rows.push_back({fact.Caption, {WindowFactValue(fact)}, -1});
    m_infoList->Model().SetRows(std::move(rows));
    m_imageDigests->Start(m_hex1.Bytes());
}

// Commands ------------------------------------------------------------------

void TForm1::N2Click()
{
    RunCommand([this] { OpenImage(OpenOrder::RememberAfterLoad); });
}

void TForm1::OpenFromToolButton()
{
    RunCommand([this] { OpenImage(OpenOrder::RememberBeforeLoad); });
}

void TForm1::OpenFile(const QString& path)
{
    RunCommand([&] { OpenChosenFile(path, OpenOrder::RememberAfterLoad); });
}

void TForm1::OpenLocalFile(const QByteArray& localPath)
{
    const QString decoded = QFile::decodeName(localPath);
    if (QFile::encodeName(decoded) == localPath) {
        OpenFile(decoded);
        return;
    }
    // Qt's texts cannot carry this name's bytes: the image is loaded by them and
    // shown under its Windows-1251 reading, and neither its folder nor the image
    // is remembered, as the next start could not find them under that text.
    RunCommand([&] {
        try {
            LoadImageFrom(localPath.toStdString());
        } catch (const std::exception& e) {
            ReportError(QString::fromUtf8(e.what()));
            return;
        }
        const QString shown = ShownPath(localPath);
        m_stat->setText(VisibleText(QFileInfo(shown).fileName()));
        m_stat->setToolTip(shown);
        ShowImageName(shown);
        ShowFirmwareInfo();
    });
}

void TForm1::N4Click()
{
    close();
}

void TForm1::N6Click()
{
    m_page->setCurrentIndex(kAboutPage);
}

void TForm1::N7Click()
{
    RunCommand([this] {
        if (const auto count = RunScan(ListKind::Files))
            m_stat->setText(QStringLiteral("Всего файлов: %1").arg(*count));
        TellIfStopped();
    });
}

void TForm1::gif1Click()
{
    RunCommand([this] {
        RunScan(ListKind::Graphics);
        TellIfStopped();
    });
}

void TForm1::SearchAllPictures()
{
    RunCommand([this] {
        if (!ReadyForOurSearch())
            return;
        m_page->setCurrentIndex(kPicturesPage);
        ForgetPictures();
        m_allPictures->SetPictures(m_scan.RunPictures(m_hex1, *m_progressBar, CheckPicture), m_hex1.Bytes());
        if (TellIfStopped())
            return;
        m_stat->setText(
            QStringLiteral("Всего картинок: %1").arg(GroupedNumber(static_cast<int64_t>(PictureRows().size()))));
    });
}

void TForm1::SearchAllContent()
{
    RunCommand([this] {
        if (!ReadyForOurSearch())
            return;
        m_page->setCurrentIndex(kSoundsPage);
        ForgetPictures();
        const SoundDecodeCheck soundCheck = [](ItemType type, std::span<const uint8_t> bytes,
                                               const std::atomic<bool>& cancel) {
            return CheckSound(type, bytes, cancel);
        };
        std::optional<ContentFound> found = m_scan.RunContent(m_hex1, *m_progressBar, CheckPicture, soundCheck);
        if (TellIfStopped() || !found)
            return;
        auto results = std::make_shared<ContentResults>();
        results->Captions = ContentCaptions(found->Items);
        results->Found = std::move(*found);
        std::vector<FoundItem> pictures;
        for (const FoundItem& item : results->Found.Items)
            if (KindOf(item.Type) == ContentKind::Picture)
                pictures.push_back(item);
        m_allPictures->SetPictures(std::move(pictures), m_hex1.Bytes());
        for (ContentPage* page : {m_sounds, m_applications, m_phoneFiles})
            page->SetResults(results, m_hex1.Bytes());
        // Each page counts its own items; the status panel has room for the total.
        m_stat->setText(
            QStringLiteral("Всего найдено: %1").arg(GroupedNumber(static_cast<int64_t>(results->Found.Items.size()))));
    });
}

void TForm1::SaveClick()
{
    RunCommand([this] { SaveRows(true); });
}

void TForm1::SaveAllRows()
{
    RunCommand([this] { SaveRows(false); });
}

void TForm1::CopySelectedRows()
{
    // The gallery's grid and table share one selection; the table has every column.
    const ContentPage* content = ContentPageAt(ActivePage());
    const QAbstractItemView* list = ActivePage() == kPicturesPage
                                        ? static_cast<QAbstractItemView*>(m_allPictures->Details())
                                    : content != nullptr ? static_cast<QAbstractItemView*>(content->Table())
                                                         : ActiveList();
    const QString text = list ? SelectedRowsText(*list) : QString();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void TForm1::FindedSelectItem(int32_t row, bool selected)
{
    RunCommand([&] { PreviewOrClear(row, selected); });
}

void TForm1::TellOpenFailed(const QString& path)
{
    if (path.isEmpty()) {
        m_saveResult->SetMessage(QStringLiteral("Не удалось записать копию, чтобы открыть её"));
        return;
    }
    const QString folder = QDir::toNativeSeparators(QFileInfo(path).path());
    m_saveResult->SetMessage(
        QStringLiteral("Нет программы, чтобы открыть «%1»; копия лежит в %2").arg(QFileInfo(path).fileName(), folder),
        folder);
}

void TForm1::OpenMenuBar()
{
    const QList<QAction*> menus = menuBar()->actions();
    if (!menus.isEmpty())
        menuBar()->setActiveAction(menus.front());
}

void TForm1::FocusFilter()
{
    FilterBar* filter = ActivePage() == kPicturesPage ? m_allPictures->Filter() : nullptr;
    if (const ContentPage* content = ContentPageAt(ActivePage()))
        filter = content->Filter();
    if (filter == nullptr)
        return;
    filter->TextBox()->setFocus(Qt::ShortcutFocusReason);
    filter->TextBox()->selectAll();
}

void TForm1::OpenGuide()
{
    const QUrl guide = UserGuideUrl();
    if (guide.isEmpty()) {
        m_saveResult->SetMessage(QStringLiteral("Руководство не установлено: его нет рядом с программой"));
        return;
    }
    const bool opened = m_seams.OpenUrl ? m_seams.OpenUrl(guide) : QDesktopServices::openUrl(guide);
    if (!opened) {
        const QString file = QDir::toNativeSeparators(guide.toLocalFile());
        m_saveResult->SetMessage(QStringLiteral("Нет программы, чтобы открыть руководство: %1").arg(file), file);
    }
}

void TForm1::CancelTask()
{
    m_scan.Cancel();
}

bool TForm1::ReadyForOurSearch()
{
    if (m_hex1.DataSize() == 0) {
        m_saveResult->SetMessage(QStringLiteral("Сначала откройте образ"));
        return false;
    }
    // What the status bar said of the last save or search is about to go stale.
    m_saveResult->SetMessage({});
    return true;
}

bool TForm1::TellIfStopped()
{
    if (!m_scan.Cancelled())
        return false;
    m_saveResult->SetMessage(QStringLiteral("Поиск остановлен"));
    return true;
}

void TForm1::FormCreate()
{
    RunCommand([this] { RestoreOpenFolder(); });
}

void TForm1::FormCloseQuery(bool& CanClose)
{
    CanClose = true;
    if (!m_openDialog1.FileName.isEmpty())
        RememberFolder(FolderWithSeparator(m_openDialog1.FileName));
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (m_scan.Running()) {
        // The scan is inside an event-processing round: let it end at its
        // next yield, then close from a fresh event.
        m_scan.CloseWhenEnded();
        event->ignore();
        return;
    }
    bool canClose = true;
    RunCommand([&] { FormCloseQuery(canClose); });
    if (canClose)
        SaveLayout();
    event->setAccepted(canClose);
}

void TForm1::RunCommand(const std::function<void()>& command)
{
    // A scan lets events through; a command reaching here meanwhile (its
    // action is disabled, but a slot can still be called) would change the
    // lists or the image under the scan.
    if (m_scan.Running())
        return;
    try {
        command();
    } catch (const std::bad_alloc&) {
        ReportError(QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
    }
}

void TForm1::ReportError(const QString& message)
{
    const QString text = ErrorBoxText(OwnErrorInRussian(message));
    if (m_seams.ErrorBox)
        m_seams.ErrorBox(text);
    else
        ShowErrorBox(this, text);
}

void TForm1::PreviewOrClear(int32_t row, bool selected)
{
    try {
        PreviewRow(row, selected);
    } catch (...) {
        // The picture of the row before must not stand for a row that has none.
        ClearPreview();
        throw;
    }
}

void TForm1::PreviewRow(int32_t row, bool selected)
{
    if (!selected || m_finded->SelCount() != 1)
        return;
    const ResultListModel& rows = m_finded->Model();
    const auto index = static_cast<std::size_t>(row);
    if (row < 0 || index >= rows.RowCount() || rows.Row(index).Caption.empty())
        return;
    const auto shown = static_cast<std::size_t>(m_finded->SelectedRows().front());
    const FoundRows* found = rows.Found();
    const ItemRange range = found != nullptr ? RangeOfRow(*found, shown, [&rows](std::size_t i) { return rows.Row(i); })
                                             : RangeOfCells(rows.Row(shown));
    // Written under a temporary name and renamed, so a link planted under the
    // scratch name is replaced rather than followed.
    WriteRangeToFileAtomically(m_hex1, ScratchFile(), range.Start, range.Count());
    FileStream scratch(ScratchFile(), FileMode::OpenRead);
    m_pictureView1->Picture().LoadFromStream(&scratch);
    m_pictureView1->Refresh();
}

std::optional<ListKind> TForm1::ListOfPage(int32_t page)
{
    if (page == kFilesPage)
        return ListKind::Files;
    if (page == kGraphicsPage)
        return ListKind::Graphics;
    if (page == kPicturesPage)
        return ListKind::Pictures;
    return std::nullopt;
}

ResultListView& TForm1::ListView(ListKind kind) const
{
    return kind == ListKind::Files ? *m_fileList : *m_finded;
}

// Scans -----------------------------------------------------------------------

std::optional<std::size_t> TForm1::RunScan(ListKind kind)
{
    return m_scan.Run(kind, m_hex1, ListView(kind), *m_progressBar);
}

void TForm1::SetInteractive(bool enabled)
{
    for (QAction* action : {m_n2, m_n7, m_gif1, m_allPicturesSearch, m_contentSearch})
        action->setEnabled(enabled);
    for (QToolButton* button : {m_openButton, m_save, m_saveAllButton})
        button->setEnabled(enabled);
    m_saveItem->setEnabled(enabled);
    m_saveAllItem->setEnabled(enabled);
    m_fileList->SetSelectable(enabled);
    m_finded->SetSelectable(enabled);
    m_allPictures->SetSelectable(enabled);
    for (ContentPage* page : {m_sounds, m_applications, m_phoneFiles})
        page->setEnabled(enabled);
    // Choosing an image there would be ignored until the task ends.
    m_recentMenu->setEnabled(enabled);
    const bool busy = !enabled;
    m_cancelAction->setEnabled(busy);
    m_progressStrip->setFixedHeight(busy ? m_cancelButton->sizeHint().height() : 5);
    m_progressText->setText(QStringLiteral("0 %"));
    m_progressText->setVisible(busy);
    m_cancelButton->setVisible(busy);
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

}  // namespace kestrix
