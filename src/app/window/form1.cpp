#include "form1.h"

#include "content_extraction.h"
#include "content_list.h"
#include "content_page.h"
#include "error_box.h"
#include "exceptions.h"
#include "existing_files.h"
#include "extraction.h"
#include "file_drop.h"
#include "filter_bar.h"
#include "firmware_info.h"
#include "hex_dock.h"
#include "hex_text.h"
#include "overwrite_dialog.h"
#include "pattern_search.h"
#include "picture_check.h"
#include "picture_gallery.h"
#include "picture_list.h"
#include "picture_view.h"
#include "progress_gauge.h"
#include "recent_images.h"
#include "result_list_view.h"
#include "row_copy.h"
#include "save_summary.h"
#include "sound_decoder.h"
#include "sound_player.h"
#include "sound_player_bar.h"
#include "sound_plugin.h"
#include "status_message.h"
#include "stream.h"
#include "user_guide.h"
#include "wav_file.h"
#include "window_layout.h"
#include "window_text.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QStandardPaths>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
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
namespace {

const QString kSettingsSection = QStringLiteral("Kestrix");
const QString kSettingsKey = QStringLiteral("Path");
const QString kRecentSection = QStringLiteral("KestrixRecent");
const QString kLayoutSection = QStringLiteral("KestrixWindow");

}  // namespace

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

void TForm1::SaveSoundsAsWavFiles(bool selectedOnly)
{
    RunCommand([this, selectedOnly] {
        SaveOutcome outcome;
        try {
            SaveContent(*m_sounds, selectedOnly, true, outcome);
        } catch (...) {
            outcome.End = SaveEnd::Failed;
            ShowSaveSummary(outcome);
            throw;
        }
        ShowSaveSummary(outcome);
    });
}

ContentPage* TForm1::ContentPageAt(int32_t page) const
{
    switch (page) {
    case kSoundsPage: return m_sounds;
    case kApplicationsPage: return m_applications;
    case kPhoneFilesPage: return m_phoneFiles;
    default: return nullptr;
    }
}

void TForm1::SaveContent(ContentPage& page, bool selectedOnly, bool wav, SaveOutcome& outcome)
{
    const ContentResults* results = page.Results();
    if (results == nullptr || page.RowCount() == 0 || (selectedOnly && page.SelectedCount() == 0)) {
        outcome.End = results == nullptr || page.RowCount() == 0 ? SaveEnd::EmptyList : SaveEnd::NoSelection;
        return;
    }
    // "Сохранить все" saves what the filter shows.
    const std::vector<ExtractItem> plan = PlanContentExtraction(
        results->Found.Items, results->Captions, page.Kind(), selectedOnly ? page.SelectedItems() : page.ShownItems());
    const bool shownOnly = !selectedOnly && page.ShownCount() < page.RowCount();
    outcome.Scope = selectedOnly ? SaveScope::Selected : (shownOnly ? SaveScope::Shown : SaveScope::All);
    outcome.Considered = selectedOnly ? page.SelectedCount() : page.ShownCount();
    if (plan.empty()) {
        outcome.End = shownOnly ? SaveEnd::NoneShown : SaveEnd::EmptyList;
        return;
    }
    const QString target = m_seams.SaveFile ? m_seams.SaveFile(m_saveDialog1) : ExecuteSaveDialog(this, m_saveDialog1);
    if (target.isEmpty()) {
        outcome.End = SaveEnd::Cancelled;
        return;
    }
    m_saveDialog1.FileName = target;
    outcome.Folder = QFileInfo(target).path();
    if (wav) {
        outcome.Reason = SkipReason::NotPlayable;
        SaveWavFiles(results->Found.Items, PlanWavFiles(plan), outcome);
        return;
    }
    WriteOurItems(
        plan,
        [results](const ExtractItem& item) {
            const FoundItem& found = results->Found.Items[static_cast<std::size_t>(item.Row)];
            return ItemRange{found.Start, found.End};
        },
        outcome);
}

namespace {

// Thrown from a save's hooks on the worker thread to end the save after the file just written.
struct SaveStoppedByUser {};

AfterFailure GoOnPastKeptImage(const ExtractItem&, const std::exception& failure)
{
    // The open image is kept and the other rows go on; the refusal is told
    // at the end. Any other failure ends the save.
    return dynamic_cast<const ReplacesImageError*>(&failure) != nullptr ? AfterFailure::GoOn : AfterFailure::Stop;
}

}  // namespace

std::optional<std::vector<ExtractItem>> TForm1::ResolveOurItems(const std::vector<ExtractItem>& items,
                                                                const ItemBytesFunction& bytesOf, SaveOutcome& outcome)
{
    const std::string folder = QFile::encodeName(outcome.Folder).toStdString();
    std::vector<Existing> existing;
    const bool compared = m_scan.RunInBackground(*m_progressBar, [&](BackgroundWork& work) {
        work.Total = static_cast<int64_t>(items.size());
        existing = CompareWithFolder(folder, items, bytesOf, &work.Cancel);
    });
    if (!compared) {
        outcome.End = SaveEnd::Stopped;
        return std::nullopt;
    }
    const OverwriteAsk ask = [this, &outcome](const OverwriteQuestion& question) {
        return m_seams.AskOverwrite ? m_seams.AskOverwrite(outcome.Folder, question)
                                    : AskOverwrite(this, outcome.Folder, question);
    };
    ResolvedSave resolved = ResolveExisting(folder, items, existing, ask);
    if (resolved.Cancelled) {
        outcome.End = SaveEnd::Cancelled;
        return std::nullopt;
    }
    outcome.Written = resolved.Identical;
    outcome.Replaced = resolved.Replaced;
    outcome.KeptExisting = resolved.Skipped;
    outcome.KeptBoth = resolved.KeptBoth;
    return std::move(resolved.Write);
}

void TForm1::WriteOurItems(const std::vector<ExtractItem>& items, const ItemRangeFunction& rangeOf,
                           SaveOutcome& outcome)
{
    const std::span<const uint8_t> image = m_hex1.Bytes();
    const auto bytesOf = [&](const ExtractItem& item) -> std::optional<std::span<const uint8_t>> {
        const ItemRange range = rangeOf(item);
        if (range.Start < 0 || range.Count() < 0 ||
            static_cast<std::size_t>(range.Start) + static_cast<std::size_t>(range.Count()) > image.size())
            return std::nullopt;
        return image.subspan(static_cast<std::size_t>(range.Start), static_cast<std::size_t>(range.Count()));
    };
    const std::optional<std::vector<ExtractItem>> write = ResolveOurItems(items, bytesOf, outcome);
    if (!write)
        return;
    const std::string folder = QFile::encodeName(outcome.Folder).toStdString();
    const int32_t already = outcome.Written;
    std::atomic<int32_t> written{0};
    std::atomic<bool> stopped{false};
    SaveReport report;
    m_scan.RunInBackground(*m_progressBar, [&](BackgroundWork& work) {
        int64_t total = 0;
        for (const ExtractItem& item : *write)
            total += std::max(1, rangeOf(item).Count());
        work.Total = total;
        SaveHooks hooks;
        hooks.Written = [&](const ExtractItem& item, std::size_t count) {
            written = static_cast<int32_t>(count);
            work.Done += std::max(1, rangeOf(item).Count());
            if (work.Cancel && count < write->size())
                throw SaveStoppedByUser{};
        };
        hooks.Failed = GoOnPastKeptImage;
        try {
            report = SaveToFolder(m_hex1, folder, *write, rangeOf, hooks);
        } catch (const SaveStoppedByUser&) {
            stopped = true;
        }
    });
    outcome.Written = already + written;
    if (stopped)
        outcome.End = SaveEnd::Stopped;
    if (report.FirstFailure)
        std::rethrow_exception(report.FirstFailure);
}

void TForm1::SaveWavFiles(const std::vector<FoundItem>& found, const std::vector<ExtractItem>& wavFiles,
                          SaveOutcome& outcome)
{
    // A WAV file's bytes are known only once its sound is decoded: every file
    // of that name is a question.
    const std::optional<std::vector<ExtractItem>> write = ResolveOurItems(
        wavFiles, [](const ExtractItem&) { return std::nullopt; }, outcome);
    if (!write)
        return;
    const std::string folder = QFile::encodeName(outcome.Folder).toStdString();
    const int32_t already = outcome.Written;
    std::atomic<int32_t> written{0};
    std::atomic<int32_t> skipped{0};
    std::atomic<bool> stopped{false};
    m_scan.RunInBackground(*m_progressBar, [&](BackgroundWork& work) {
        work.Total = static_cast<int64_t>(write->size());
        int64_t wavLeft = WavBudgetOf(m_hex1.Bytes().size());
        const WavStreamer toWav = [&work, &wavLeft](ItemType type, std::span<const uint8_t> sound, Stream& out,
                                                    std::string& why) {
            return SoundToWav(type, sound, out, wavLeft, why, &work.Cancel);
        };
        SaveHooks hooks;
        hooks.Written = [&](const ExtractItem&, std::size_t count) {
            written = static_cast<int32_t>(count);
            ++work.Done;
            if (work.Cancel && work.Done < work.Total)
                throw SaveStoppedByUser{};
        };
        hooks.Failed = GoOnPastKeptImage;
        const auto passedOver = [&](const ExtractItem&, const std::string&) {
            if (work.Cancel)
                throw SaveStoppedByUser{};
            ++skipped;
            ++work.Done;
        };
        try {
            StreamSoundsAsWav(m_hex1, found, *write, folder, toWav, hooks, passedOver);
        } catch (const SaveStoppedByUser&) {
            stopped = true;
        }
    });
    outcome.Written = already + written;
    outcome.Skipped += skipped;
    if (stopped)
        outcome.End = SaveEnd::Stopped;
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

std::unique_ptr<WindowLayout> TForm1::MakeLayout()
{
    const auto flag = [](QAction* action) {
        return LayoutValue{QString(), [action] { return QString::number(action->isChecked() ? 1 : 0); },
                           [action](const QString& text) { action->setChecked(text == QStringLiteral("1")); }};
    };
    std::vector<LayoutValue> values;
    values.push_back({QStringLiteral("PicturesView"),
                      [this] {
                          return m_allPictures->Mode() == PictureGallery::ViewMode::Details ? QStringLiteral("table")
                                                                                            : QStringLiteral("grid");
                      },
                      [this](const QString& text) {
                          m_allPictures->SetMode(text == QStringLiteral("table")
                                                     ? PictureGallery::ViewMode::Details
                                                     : PictureGallery::ViewMode::Thumbnails);
                      }});
    values.push_back({QStringLiteral("ThumbnailSide"),
                      [this] { return QString::number(m_allPictures->ThumbnailSide()); },
                      [this](const QString& text) {
                          bool ok = false;
                          if (const int side = text.toInt(&ok); ok)
                              m_allPictures->SetThumbnailSide(side);
                      }});
    LayoutValue picturesHex = flag(m_allPictures->HexOffsetsAction());
    picturesHex.Key = QStringLiteral("AllPictures/HexOffsets");
    values.push_back(picturesHex);
    for (ContentPage* page : {m_sounds, m_applications, m_phoneFiles}) {
        if (auto* hex = page->findChild<QAction*>(QStringLiteral("HexOffsets"))) {
            LayoutValue value = flag(hex);
            value.Key = page->objectName() + QStringLiteral("/HexOffsets");
            values.push_back(value);
        }
    }
    if (m_sounds->Player() != nullptr) {
        if (auto* volume = m_sounds->Player()->findChild<QSlider*>(QStringLiteral("PlayVolume"))) {
            values.push_back({QStringLiteral("Volume"), [volume] { return QString::number(volume->value()); },
                              [volume](const QString& text) {
                                  bool ok = false;
                                  if (const int value = text.toInt(&ok); ok)
                                      volume->setValue(value);
                              }});
        }
    }
    return std::make_unique<WindowLayout>(*this, kLayoutSection, std::move(values));
}

void TForm1::RestoreLayout()
{
    bool restored = false;
    try {
        restored = MakeLayout()->Restore(m_regIniStore1);
    } catch (const std::exception&) {
        // A layout that cannot be read leaves the window as on a first start.
    }
    if (!restored) {
        // Wide enough for every page's tab, so that none hides behind the tab bar's arrows.
        const int tabs =
            m_page->tabBar()->sizeHint().width() + 2 * style()->pixelMetric(QStyle::PM_TabBarScrollButtonWidth);
        resize(std::max(width(), tabs), height());
    }
}

void TForm1::SaveLayout()
{
    try {
        MakeLayout()->Save(m_regIniStore1);
    } catch (const std::exception&) {
        // The layout is a convenience: a store that cannot be written must not keep the window open.
    }
}

// Command bodies --------------------------------------------------------------

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
    const ItemRange range = RangeOfCells(rows.Row(static_cast<std::size_t>(m_finded->SelectedRows().front())));
    // Written under a temporary name and renamed, so a link planted under the
    // scratch name is replaced rather than followed.
    WriteRangeToFileAtomically(m_hex1, ScratchFile(), range.Start, range.Count());
    FileStream scratch(ScratchFile(), FileMode::OpenRead);
    m_pictureView1->Picture().LoadFromStream(&scratch);
    m_pictureView1->Refresh();
}

void TForm1::SaveRows(bool selectedOnly)
{
    if (ContentPage* page = ContentPageAt(ActivePage())) {
        SaveOutcome outcome;
        try {
            SaveContent(*page, selectedOnly, false, outcome);
        } catch (...) {
            outcome.End = SaveEnd::Failed;
            ShowSaveSummary(outcome);
            throw;
        }
        ShowSaveSummary(outcome);
        return;
    }
    const auto kind = ListOfPage(ActivePage());
    SaveOutcome outcome;
    outcome.Reason = kind == ListKind::Files ? SkipReason::NoEndAddress : SkipReason::NoName;
    try {
        if (kind)
            SaveList(*kind, selectedOnly, outcome);
        else
            outcome.End = SaveEnd::NoList;
    } catch (...) {
        outcome.End = SaveEnd::Failed;
        ShowSaveSummary(outcome);
        throw;
    }
    ShowSaveSummary(outcome);
}

void TForm1::ShowSaveSummary(const SaveOutcome& outcome)
{
    m_saveResult->SetMessage(SaveSummary(outcome), QDir::toNativeSeparators(outcome.Folder));
}

void TForm1::SaveList(ListKind kind, bool selectedOnly, SaveOutcome& outcome)
{
    const ListTraits& traits = TraitsOf(kind);
    const SaveSource rows = SaveSourceOf(kind);
    if (rows.Count == 0 || (selectedOnly && rows.SelCount == 0)) {
        outcome.End = rows.Count == 0 ? SaveEnd::EmptyList : SaveEnd::NoSelection;
        return;
    }
    // Save all of a filtered list saves what the filter shows.
    const bool shownOnly = !selectedOnly && rows.Filtered;
    if (shownOnly && rows.ShownCount == 0) {
        outcome.End = SaveEnd::NoneShown;
        return;
    }
    const std::vector<ExtractItem> items = PlanExtraction(
        kind, rows.Count, rows.Text, selectedOnly ? rows.Selected : (shownOnly ? rows.Shown : std::vector<bool>{}));
    const std::size_t considered = selectedOnly ? rows.SelCount : (shownOnly ? rows.ShownCount : rows.Count);
    if (kind == ListKind::Pictures) {
        outcome.Scope = selectedOnly ? SaveScope::Selected : (shownOnly ? SaveScope::Shown : SaveScope::All);
        outcome.Considered = static_cast<int32_t>(considered);
    }
    outcome.Skipped = static_cast<int32_t>(considered - items.size());
    if (kind == ListKind::Pictures && items.empty()) {
        // On our page the dialog is not shown for a save that can write nothing.
        outcome.End = shownOnly ? SaveEnd::NoneShown : SaveEnd::EmptyList;
        return;
    }
    const bool showGauge = traits.SaveShowsProgress;
    if (showGauge) {
        m_progressBar->SetMin(0);
        m_progressBar->SetMax(static_cast<int32_t>(items.size()));
        m_progressBar->SetPosition(0);
        m_progressBar->show();
    }
    const QString target = m_seams.SaveFile ? m_seams.SaveFile(m_saveDialog1) : ExecuteSaveDialog(this, m_saveDialog1);
    const auto rangeOf = [&rows](const ExtractItem& item) {
        return RangeOfCells(rows.Text(static_cast<std::size_t>(item.Row)));
    };
    if (!target.isEmpty() && kind == ListKind::Pictures) {
        m_saveDialog1.FileName = target;
        outcome.Folder = QFileInfo(target).path();
        WriteOurItems(items, rangeOf, outcome);
        m_progressBar->hide();
        return;
    }
    SaveReport report;
    if (!target.isEmpty()) {
        m_saveDialog1.FileName = target;
        outcome.Folder = QFileInfo(target).path();
        SaveHooks hooks;
        hooks.Written = [&](const ExtractItem&, std::size_t written) {
            outcome.Written = static_cast<int32_t>(written);
            if (showGauge) {
                m_progressBar->SetPosition(outcome.Written);
                // No events are processed while saving; show the step now.
                m_progressBar->repaint();
            }
        };
        hooks.Failed = GoOnPastKeptImage;
        report = SaveToFolder(m_hex1, QFile::encodeName(outcome.Folder).toStdString(), items, rangeOf, hooks);
    } else {
        outcome.End = SaveEnd::Cancelled;
    }
    if (showGauge)
        m_progressBar->hide();
    if (report.FirstFailure)
        std::rethrow_exception(report.FirstFailure);
}

TForm1::SaveSource TForm1::SaveSourceOf(ListKind kind) const
{
    if (kind == ListKind::Pictures) {
        const std::vector<FoundItem>& pictures = PictureRows();
        std::vector<bool> selected(pictures.size(), false);
        const std::vector<int32_t> rows = m_allPictures->SelectedRows();
        for (const int32_t row : rows)
            selected[static_cast<std::size_t>(row)] = true;
        SaveSource source;
        source.Count = pictures.size();
        source.Text = [&pictures](std::size_t i) { return AllPicturesRowText(pictures[i], i); };
        source.Selected = std::move(selected);
        source.SelCount = rows.size();
        if (m_allPictures->Filtering()) {
            source.Filtered = true;
            source.Shown.assign(pictures.size(), false);
            const std::vector<int32_t> shown = m_allPictures->ShownRows();
            for (const int32_t row : shown)
                source.Shown[static_cast<std::size_t>(row)] = true;
            source.ShownCount = shown.size();
        }
        return source;
    }
    const ResultListView& list = ListView(kind);
    const ResultListModel& rows = list.Model();
    SaveSource source;
    source.Count = rows.RowCount();
    source.Text = [&rows](std::size_t i) { return rows.Row(i); };
    source.Selected = list.SelectedFlags();
    source.SelCount = static_cast<std::size_t>(list.SelCount());
    return source;
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
