#pragma once

#include "custom_hex_buffer.h"
#include "existing_files.h"
#include "extraction.h"
#include "file_dialog.h"
#include "found_rows.h"
#include "list_kind.h"
#include "reg_ini_store.h"
#include "result_row.h"
#include "scan_session.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QAbstractItemView;
class QAction;
class QLabel;
class QMenu;
class QTabWidget;
class QToolButton;

namespace kestrix {

class TPictureView;
class PictureGallery;
class ContentPage;
struct ContentResults;
class ProgressGauge;
class ImageDigestsLabel;
class StatusMessage;
struct SaveOutcome;
struct RowsToSave;
class ResultListView;
class WindowLayout;

// Makes a new folder "Отчёт <imageName>" in parent (" (2)", " (3)"... added
// when the name is taken) and returns its path; empty when none could be made.
QString NewReportFolder(const QString& parent, const QString& imageName);

// How the window asks the user: replaceable so that the commands run without
// modal dialogs. Empty members fall back to the real dialogs.
struct FormSeams {
    // Shows the dialog; returns the chosen path, or an empty text for cancel.
    std::function<QString(const FileDialog& dialog)> OpenFile;
    std::function<QString(const FileDialog& dialog)> SaveFile;
    // Shows the error box with the final text (full stop already applied).
    std::function<void(const QString& text)> ErrorBox;
    // Opens url with the desktop's program; false when none could. Empty:
    // QDesktopServices::openUrl.
    std::function<bool(const QUrl& url)> OpenUrl;
    // Whether the machine has an audio output; empty: ask Qt Multimedia.
    std::function<bool()> AudioOutput;
    // What to do with a file of folder that a save on our pages would
    // replace with other bytes; empty: AskOverwrite's box.
    std::function<OverwriteAnswer(const QString& folder, const OverwriteQuestion& question)> AskOverwrite;
    // The folder a report goes into (a new folder is made inside it); an
    // empty text for cancel. Empty: the desktop's folder dialog.
    std::function<QString()> ReportFolder;
};

// The main window: menu, tool bar, progress gauge, the pages of found files,
// found pictures with their preview, firmware information, about and every
// picture of the deep picture search, and the status panel. Every command runs
// on the user-interface thread; a failure ends the command where it occurs and
// shows its message in the error box.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // The pages' indices: the order in which BuildPages adds the tabs, which
    // it checks against these at compile time.
    static constexpr int32_t kFilesPage = 0;
    static constexpr int32_t kGraphicsPage = 1;
    static constexpr int32_t kInfoPage = 2;
    static constexpr int32_t kAboutPage = 3;
    // Every picture of the deep picture search, after the four pages above.
    static constexpr int32_t kPicturesPage = 4;
    // Our pages of the content search, after "Все картинки".
    static constexpr int32_t kSoundsPage = 5;
    static constexpr int32_t kApplicationsPage = 6;
    static constexpr int32_t kPhoneFilesPage = 7;
    // The preview's scratch file "temp.tmp" in the user's cache folder
    // (created when missing), as a local path.
    std::string ScratchFile() const;

    // Builds the window and runs FormCreate.
    explicit TForm1(FormSeams seams = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // The owned components, read-only: the widgets are handed out for reading
    // their state and for driving them as the user would.
    const THexBuffer& Hex1() const noexcept { return m_hex1; }
    const TRegIniStore& RegIniStore1() const noexcept { return m_regIniStore1; }
    const FileDialog& OpenDialog1() const noexcept { return m_openDialog1; }
    const FileDialog& SaveDialog1() const noexcept { return m_saveDialog1; }
    QTabWidget* Page() const noexcept { return m_page; }
    ResultListView* FileList() const noexcept { return m_fileList; }
    ResultListView* Finded() const noexcept { return m_finded; }
    ResultListView* InfoList() const noexcept { return m_infoList; }
    ImageDigestsLabel* ImageDigestsView() const noexcept { return m_imageDigests; }
    ProgressGauge* ProgressBar() const noexcept { return m_progressBar; }
    // Beside the gauge while a scan or save runs: its percentage and the button that stops it.
    QLabel* ProgressText() const noexcept { return m_progressText; }
    QToolButton* CancelButton() const noexcept { return m_cancelButton; }
    // Esc: stops the running scan or save.
    QAction* CancelAction() const noexcept { return m_cancelAction; }
    QLabel* Stat() const noexcept { return m_stat; }
    // Right of Stat: what the last save did.
    StatusMessage* SaveResult() const noexcept { return m_saveResult; }
    TPictureView* PictureView1() const noexcept { return m_pictureView1; }
    PictureGallery* AllPictures() const noexcept { return m_allPictures; }  // the page "Все картинки"
    QToolButton* OpenButton() const noexcept { return m_openButton; }
    QToolButton* Save() const noexcept { return m_save; }
    QToolButton* SaveAllButton() const noexcept { return m_saveAllButton; }
    QAction* N2() const noexcept { return m_n2; }      // Файл / Открыть
    QAction* N4() const noexcept { return m_n4; }      // Файл / Выход
    QAction* N6() const noexcept { return m_n6; }      // О Программе
    QAction* N7() const noexcept { return m_n7; }      // Утилиты / Поиск файлов
    QAction* gif1() const noexcept { return m_gif1; }  // Утилиты / Поиск DRM графики
    // Утилиты / Поиск всех картинок
    QAction* AllPicturesSearch() const noexcept { return m_allPicturesSearch; }
    // Утилиты / Поиск всего содержимого
    QAction* ContentSearch() const noexcept { return m_contentSearch; }
    QAction* CopyRows() const noexcept { return m_copyRows; }  // Ctrl+C and the lists' context menu
    // The pages "Звуки", "Приложения", "Файлы телефона".
    ContentPage* SoundsPage() const noexcept { return m_sounds; }
    ContentPage* ApplicationsPage() const noexcept { return m_applications; }
    ContentPage* PhoneFilesPage() const noexcept { return m_phoneFiles; }
    // Файл / Недавние образы: the images opened last, most recent first.
    QMenu* RecentMenu() const noexcept { return m_recentMenu; }
    // The permanent section at the right of the status bar: the open image's file name.
    QLabel* ImageName() const noexcept { return m_imageName; }

    // How the window asks the user; replaceable at any time.
    FormSeams& Seams() noexcept { return m_seams; }
    // Файл / Сохранить and Файл / Сохранить все.
    QAction* SaveItem() const noexcept { return m_saveItem; }
    QAction* SaveAllItem() const noexcept { return m_saveAllItem; }
    QAction* SaveReportItem() const noexcept { return m_saveReportItem; }

    // The context menu of list, one of the pages' lists: what its selected
    // rows can do ("Сохранить", "Воспроизвести", "Сохранить как WAV",
    // "Открыть", "Показать в папке", "Копировать"; greyed out where they
    // cannot), then the list's own actions. Built, not shown.
    std::unique_ptr<QMenu> RowMenu(QAbstractItemView* list);
    // Opens the folder holding copy (a scratch copy of an item) with the
    // desktop's program; where none can, or copy is empty, the status bar says so.
    void ShowInFolder(const QString& copy);

    // Read access to the window's state.
    std::vector<ResultRow> FileListRows() const;
    std::vector<ResultRow> FindedRows() const;
    std::vector<ResultRow> InfoListRows() const;
    // The rows of the page "Все картинки", in the gallery's order: the one list
    // of found pictures, which the gallery holds.
    const std::vector<FoundItem>& PictureRows() const noexcept;
    QString StatusText() const;
    // The whole account of the last save on the status bar; empty before any.
    QString SaveSummaryText() const;
    int32_t ActivePage() const;
    // The list of the active page; nullptr on the about page.
    ResultListView* ActiveList() const;
    // Whether the gauge is shown (whether or not the window is on screen).
    bool GaugeShown() const;
    bool ScanRunning() const noexcept { return m_scan.Running(); }

    // The least time between two event-processing rounds of a scan, in ms.
    void SetYieldInterval(int32_t milliseconds) noexcept { m_scan.SetYieldInterval(milliseconds); }

    // Pattern search over Hex1 and the hex helpers (see pattern_search.h).
    int32_t FindHexPattern(std::string_view pattern, int32_t from, int32_t to);
    static std::string IntToHexText(uint32_t value, int32_t width);
    static uint32_t HexTextToInt(const std::string& text);

    // Refills InfoList with the five facts of the loaded image.
    void ShowFirmwareInfo();

    // Opens the image at path as Файл / Открыть does after its dialog: used
    // for the image named on the command line and for a file dropped on the
    // window. The path becomes the open dialog's chosen file.
    void OpenFile(const QString& path);
    // The same for a path given as the system's bytes (the command line, a
    // drop), which need not be UTF-8: a name in Windows-1251 opens too.
    void OpenLocalFile(const QByteArray& localPath);

public slots:
    // Файл / Открыть: choose an image, load it, show its name, remember its
    // folder, fill the information table. Cancel changes nothing. A load
    // drops the rows, facts and preview of the image before.
    void N2Click();
    // Tool button "Открыть": the same, with the folder remembered before loading.
    void OpenFromToolButton();
    // Файл / Выход: closes the window.
    void N4Click();
    // О Программе: makes the about page active.
    void N6Click();
    // Утилиты / Поиск файлов: lists the image's file entries in FileList and
    // shows their count; an image of 1000 bytes or less changes nothing.
    void N7Click();
    // Утилиты / Поиск DRM графики: lists the image's GIF and BMP pictures in
    // Finded; an image of 1000 bytes or less changes nothing.
    void gif1Click();
    // Утилиты / Поиск всех картинок: finds every GIF, BMP, JPEG and PNG picture
    // of the image (strictly decoded to tell whole ones from damaged ones) and
    // shows them on the page "Все картинки"; images of any size are searched.
    void SearchAllPictures();
    // Утилиты / Поиск всего содержимого: finds every picture, sound, Java
    // application and file of the phone in one search and fills "Все
    // картинки", "Звуки", "Приложения" and "Файлы телефона".
    void SearchAllContent();
    // "Сохранить как WAV" on "Звуки": the selected (or all) sounds as 16-bit
    // WAV files into the folder chosen in the save dialog.
    void SaveSoundsAsWavFiles(bool selectedOnly);
    // Tool button "Сохранить": writes the selected rows of the active page's
    // list as files into the folder chosen in the save dialog.
    void SaveClick();
    // Tool button "Сохранить все": the same for every row of that list.
    void SaveAllRows();
    // Файл / Сохранить отчёт…: the report of the content search (WriteReport)
    // into a new folder "Отчёт <image>" inside the folder chosen, off the
    // window's thread with the gauge and its cancel.
    void SaveReportClick();
    // Ctrl+C: puts the selected rows of the active page's list on the
    // clipboard as tab-separated text; without selected rows nothing changes.
    void CopySelectedRows();
    // The selection of Finded's row changed to selected: previews the row when
    // it is the only selected one (through the scratch file, see ScratchFile).
    void FindedSelectItem(int32_t row, bool selected);
    // Refills Файл / Недавние образы from the settings store, dropping (and
    // forgetting) the images that no longer exist; a choice opens its image as
    // Файл / Открыть does.
    void FillRecentMenu();
    // An item's copy that no desktop program opened: the status bar says so
    // and names the copy's folder (its tooltip holds the whole path).
    void TellOpenFailed(const QString& path);
    // F10: opens the menu bar at its first menu.
    void OpenMenuBar();
    // Ctrl+F: puts the focus in the filter box of the page shown, if it has one.
    void FocusFilter();
    // F1: opens the user guide with the desktop's program; where none can,
    // the status bar says so and where the guide lies.
    void OpenGuide();
    // Esc and the button beside the gauge: stops the running scan or save at
    // its next step; what was found or written by then stays.
    void CancelTask();
    // Points the open dialog at the remembered folder when it still exists.
    void FormCreate();
    // Stores the folder of the file last chosen in the open dialog, if any;
    // CanClose stays true.
    void FormCloseQuery(bool& CanClose);

protected:
    // Runs FormCloseQuery; a close asked for while a scan runs ends the scan
    // at its next yield and closes afterwards.
    void closeEvent(QCloseEvent* event) override;

private:
    enum class OpenOrder { RememberAfterLoad, RememberBeforeLoad };

    // The window's construction (form1_layout.cpp): the components' settings,
    // then the bands from the menu down to the status bar.
    void ConfigureComponents();
    void BuildLayout();
    void BuildMenu();
    void BuildToolBar();
    void BuildPages();
    void BuildStatusBar();
    void BuildCopyAction();
    void ShowRowMenu(QAbstractItemView* list, const QPoint& pos);
    QWidget* BuildProgressStrip(QWidget* parent);
    // One page each, in the order of the tabs (kPageTabs in form1_layout.cpp).
    QWidget* BuildFilesPage();
    QWidget* BuildGraphicsPage();
    QWidget* BuildInfoPage();
    QWidget* BuildAboutPage();
    QWidget* BuildPicturesPage();
    QWidget* BuildSoundsPage();
    QWidget* BuildApplicationsPage();
    QWidget* BuildPhoneFilesPage();
    void LoadPlaceholder();

    // Runs command, showing any failure in the error box; does nothing while
    // a scan runs.
    void RunCommand(const std::function<void()>& command);
    void ReportError(const QString& message);

    void OpenImage(OpenOrder order);
    // Opens fileName in the given order. Load errors and a fault of the
    // settings store are reported here, the settings fault last, so that it
    // never stops the image from loading or its facts from showing.
    void OpenChosenFile(const QString& fileName, OpenOrder order);
    // Loads fileName into Hex1 and drops the old image's rows, facts and
    // preview; a failed load drops them too when it has emptied the buffer.
    void LoadImage(const QString& fileName);
    void LoadImageFrom(const std::string& localPath);
    void ForgetImageResults();
    // Shows the placeholder picture, as at start.
    void ClearPreview();
    void PreviewOrClear(int32_t row, bool selected);
    void RememberFolder(const QString& folder);
    void RememberImage(const QString& fileName);
    void ShowImageName(const QString& fileName);
    void RestoreOpenFolder();
    void PreviewRow(int32_t row, bool selected);
    void SaveRows(bool selectedOnly);
    void WriteImageReport();
    // The rows a save of a list reads (SaveRowsTo): how many, which are
    // selected, which the filter shows; each row as the list shows it, and
    // its range read from the row's data.
    RowsToSave RowsToSaveOf(ListKind kind) const;
    std::size_t ListRowCount(ListKind kind) const;
    RowTextFunction RowTextOf(ListKind kind) const;
    ItemRangeFunction RangeOfListRow(ListKind kind) const;
    void SaveList(ListKind kind, bool selectedOnly, SaveOutcome& outcome);
    // The save dialog's file name (remembered for the next save); empty when
    // it was cancelled.
    QString ChooseSaveTarget();
    void ShowSaveSummary(const SaveOutcome& outcome);

    // The list a page shows, if any, and the view of a list.
    static std::optional<ListKind> ListOfPage(int32_t page);
    ResultListView& ListView(ListKind kind) const;

    // Runs the scan of a list, which fills its view as it goes. The number
    // of rows, or nothing when the image is too small to scan.
    std::optional<std::size_t> RunScan(ListKind kind);
    // Empties the page "Все картинки"; before the image is replaced, the
    // gallery's decoders must be done with it.
    void ForgetPictures();
    // The content page shown as page, or null.
    ContentPage* ContentPageAt(int32_t page) const;
    // Saves the selected or all items of a content page, as files or (wav)
    // as WAV files of its sounds.
    void SaveContent(ContentPage& page, bool selectedOnly, bool wav, SaveOutcome& outcome);
    // Our pages' saves into outcome.Folder, off the window's thread, each
    // after asking about the files there that it would replace with other
    // bytes. ResolveOurItems: the items left to write (renamed for keep
    // both), or none when the user cancelled or stopped (outcome says which).
    std::optional<std::vector<ExtractItem>> ResolveOurItems(const std::vector<ExtractItem>& items,
                                                            const ItemBytesFunction& bytesOf, SaveOutcome& outcome);
    // Runs save off the window's thread with the gauge at the weight of the
    // files written (weightOf) out of total; hooks count the files written
    // into outcome, and passedOver is a step for a file passed over. A stop
    // asked for ends the save after the file just written (outcome.End
    // Stopped).
    using BackgroundSave =
        std::function<void(BackgroundWork& work, const SaveHooks& hooks, const std::function<void()>& passedOver)>;
    void WriteInBackground(int64_t total, const std::function<int64_t(const ExtractItem& item)>& weightOf,
                           const BackgroundSave& save, SaveOutcome& outcome);
    void WriteOurItems(const std::vector<ExtractItem>& items, const ItemRangeFunction& rangeOf, SaveOutcome& outcome);
    void SaveWavFiles(const std::vector<FoundItem>& found, const std::vector<ExtractItem>& wavFiles,
                      SaveOutcome& outcome);
    // Before F7 and F8: false, saying so, without an image; otherwise clears
    // our status message.
    bool ReadyForOurSearch();
    // After a scan: when the user stopped it, says so on the status bar; true then.
    bool TellIfStopped();
    // Our remembered layout (WindowLayout) in its own section of the store;
    // without one, a first start sized so that every page's tab shows.
    std::unique_ptr<WindowLayout> MakeLayout();
    void RestoreLayout();
    void SaveLayout();
    // Switches the commands that change the image or the lists, and the
    // selection of the two result lists, on or off.
    void SetInteractive(bool enabled);

    THexBuffer m_hex1;
    TRegIniStore m_regIniStore1;
    FileDialog m_openDialog1;
    FileDialog m_saveDialog1;
    QTabWidget* m_page = nullptr;
    ResultListView* m_fileList = nullptr;
    ResultListView* m_finded = nullptr;
    ResultListView* m_infoList = nullptr;
    ImageDigestsLabel* m_imageDigests = nullptr;
    ProgressGauge* m_progressBar = nullptr;
    QWidget* m_progressStrip = nullptr;
    QLabel* m_progressText = nullptr;
    QToolButton* m_cancelButton = nullptr;
    QAction* m_cancelAction = nullptr;
    QLabel* m_stat = nullptr;
    StatusMessage* m_saveResult = nullptr;
    TPictureView* m_pictureView1 = nullptr;
    QToolButton* m_openButton = nullptr;
    QToolButton* m_save = nullptr;
    QToolButton* m_saveAllButton = nullptr;
    QAction* m_n2 = nullptr;
    QAction* m_n4 = nullptr;
    QAction* m_n6 = nullptr;
    QAction* m_n7 = nullptr;
    QAction* m_gif1 = nullptr;
    QAction* m_allPicturesSearch = nullptr;
    PictureGallery* m_allPictures = nullptr;
    QAction* m_contentSearch = nullptr;
    ContentPage* m_sounds = nullptr;
    ContentPage* m_applications = nullptr;
    ContentPage* m_phoneFiles = nullptr;
    QAction* m_copyRows = nullptr;
    QMenu* m_recentMenu = nullptr;
    QAction* m_saveItem = nullptr;
    QAction* m_saveAllItem = nullptr;
    QAction* m_saveReportItem = nullptr;
    QLabel* m_imageName = nullptr;
    FormSeams m_seams;
    ScanSession m_scan;
};

}  // namespace kestrix
