#include "form1.h"

#include "about_memo.h"
#include "error_box.h"
#include "exceptions.h"
#include "extraction.h"
#include "file_drop.h"
#include "firmware_info.h"
#include "hex_text.h"
#include "image_list.h"
#include "kestrix_version.h"
#include "min_scan_size.h"
#include "pattern_search.h"
#include "picture_gallery.h"
#include "picture_list.h"
#include "picture_view.h"
#include "progress_gauge.h"
#include "result_list_view.h"
#include "row_copy.h"
#include "save_summary.h"
#include "status_message.h"
#include "stream.h"
#include "strict_decoder.h"
#include "user_guide.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
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

QString AboutText()
{
    return QStringLiteral(
        "Программа извлекает из образа прошивки телефона Motorola всё полезное: сведения о прошивке "
        "(PDS, версию прошивки, модель телефона, заводской номер и версию Flex), файлы файловой "
        "системы телефона и DRM графику (картинки GIF и BMP), которые можно просмотреть и сохранить.\n"
        "\n"
        "В найденных файлах, сохраняются те, в которых есть конечный адрес.\n"
        "\n"
        "Автор приглашает всех, кто хочет помочь в развитии программы, присоединиться к работе на "
        "веб-форуме программы.\n"
        "\n"
        "Просьба к тем, кто будет читать исходные тексты программы: не критикуйте их.");
}

}  // namespace

TForm1::TForm1(FormSeams seams, QWidget* parent) : QMainWindow(parent), Seams(std::move(seams))
{
    InitAppResources();
    setWindowTitle(QStringLiteral("Kestrix ") + QString::fromLatin1(kShortVersion));
    setWindowIcon(QIcon(QStringLiteral(":/icons/kestrix-64.png")));
    move(193, 132);
    resize(862, 586);

    Hex1.ResetToEmpty("Untitled");
    Hex1.PostNotice = [this](std::function<void()> notice) {
        QMetaObject::invokeMethod(this, std::move(notice), Qt::QueuedConnection);
    };
    RegIniStore1.SetPathType(ptRegistry);
    RegIniStore1.SetPath(QStringLiteral("\\Software\\"));
    OpenDialog1.Title = QStringLiteral("Open file");
    // The image filter comes first and is the one selected; the second entry
    // reaches images saved under other names.
    OpenDialog1.Filter = QStringLiteral("Motorola Flash File (*.bin)|*.bin|Все файлы|*");
    SaveDialog1.Title = QStringLiteral("Save file");
    SaveDialog1.Filter = QStringLiteral("All files|*.*");
    SaveDialog1.ReadyName = QStringLiteral("Сохранить сюда");
    SaveDialog1.Note = QStringLiteral("Файлы сохраняются под своими именами в показанную папку; "
                                      "имя в поле выше только выбирает папку.");

    BuildMenu();
    BuildToolBar();
    BuildPages();
    BuildCopyAction();

    Stat = new QLabel(QStringLiteral("Kestrix"), this);
    Stat->setObjectName(QStringLiteral("Stat"));
    Stat->setFixedWidth(193);
    Stat->setAlignment(Qt::AlignCenter);
    Stat->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addWidget(Stat);
    SaveResult = new StatusMessage(this);
    SaveResult->setObjectName(QStringLiteral("SaveResult"));
    statusBar()->addWidget(SaveResult, 1);
    statusBar()->setFixedHeight(21);
    statusBar()->setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));

    new FileDropFilter(this, [this](const QString& path) { OpenFile(path); });

    FormCreate();
}

TForm1::~TForm1()
{
    // The buffer outlives this window's event handling; its notices must not.
    Hex1.PostNotice = nullptr;
    // The gallery, a child widget, outlives Hex1; its decoders must not.
    AllPictures->Clear();
}

void TForm1::BuildMenu()
{
    // "&" marks the letter that opens an item with Alt; Qt underlines it and
    // shows the caption without it.
    QMenuBar* bar = menuBar();
    bar->setFixedHeight(22);
    QMenu* file = bar->addMenu(QStringLiteral("&Файл"));
    N2 = file->addAction(QStringLiteral("&Открыть"));
    file->addSeparator();
    N4 = file->addAction(QStringLiteral("&Выход"));
    QMenu* utilities = bar->addMenu(QStringLiteral("&Утилиты"));
    gif1 = utilities->addAction(ImageList::Icon(6), QStringLiteral("Поиск DRM &графики"));
    N7 = utilities->addAction(ImageList::Icon(6), QStringLiteral("Поиск &файлов"));
    AllPicturesSearch = utilities->addAction(ImageList::Icon(6), QStringLiteral("Поиск всех &картинок"));
    N6 = bar->addAction(QStringLiteral("&О Программе"));
    N2->setShortcut(QKeySequence::Open);
    N4->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    N7->setShortcut(QKeySequence(Qt::Key_F5));
    gif1->setShortcut(QKeySequence(Qt::Key_F6));
    AllPicturesSearch->setShortcut(QKeySequence(Qt::Key_F7));

    N2->setObjectName(QStringLiteral("N2"));
    N4->setObjectName(QStringLiteral("N4"));
    N6->setObjectName(QStringLiteral("N6"));
    N7->setObjectName(QStringLiteral("N7"));
    gif1->setObjectName(QStringLiteral("gif1"));
    AllPicturesSearch->setObjectName(QStringLiteral("AllPicturesSearch"));
    connect(N2, &QAction::triggered, this, &TForm1::N2Click);
    connect(N4, &QAction::triggered, this, &TForm1::N4Click);
    connect(N6, &QAction::triggered, this, &TForm1::N6Click);
    connect(N7, &QAction::triggered, this, &TForm1::N7Click);
    connect(gif1, &QAction::triggered, this, &TForm1::gif1Click);
    connect(AllPicturesSearch, &QAction::triggered, this, &TForm1::AllPicturesSearchClick);
}

void TForm1::BuildCopyAction()
{
    CopyRows = new QAction(QStringLiteral("Копировать"), this);
    CopyRows->setObjectName(QStringLiteral("CopyRows"));
    CopyRows->setShortcut(QKeySequence::Copy);
    addAction(CopyRows);
    for (ResultListView* list : {FileList, Finded, InfoList}) {
        list->addAction(CopyRows);
        list->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
    connect(CopyRows, &QAction::triggered, this, &TForm1::CopyClick);
}

void TForm1::BuildToolBar()
{
    QToolBar* bar = addToolBar(QStringLiteral("ToolBar1"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setFixedHeight(25);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->setStyleSheet(QStringLiteral("QToolBar { border: none; padding: 0px; spacing: 0px; }"
                                      "QToolButton { padding: 1px 2px; }"));
    bar->toggleViewAction()->setVisible(false);

    auto* gap = new QWidget(bar);
    gap->setFixedWidth(8);
    bar->addWidget(gap);

    // The buttons keep their fixed widths; a slightly smaller face lets the
    // longest caption fit beside its icon in common desktop fonts.
    QFont face = bar->font();
    face.setPointSizeF(std::min<qreal>(face.pointSizeF(), 8.0));
    const auto button = [bar, face](const QString& name, const QString& caption, int width, int icon) {
        auto* b = new QToolButton(bar);
        b->setFont(face);
        b->setObjectName(name);
        b->setText(caption);
        b->setIcon(ImageList::Icon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        b->setFixedSize(width, 23);
        bar->addWidget(b);
        return b;
    };
    OpenButton = button(QStringLiteral("OpenButton"), QStringLiteral("Открыть"), 80, 0);
    Save = button(QStringLiteral("Save"), QStringLiteral("Сохранить"), 88, 1);
    SaveAllButton = button(QStringLiteral("SaveAllButton"), QStringLiteral("Сохранить все"), 112, 2);
    Save->setShortcut(QKeySequence::Save);
    SaveAllButton->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    const auto hint = [](QToolButton* b, const QKeySequence& keys) {
        b->setToolTip(QStringLiteral("%1 (%2)").arg(b->text(), keys.toString(QKeySequence::NativeText)));
    };
    hint(OpenButton, QKeySequence::Open);
    hint(Save, Save->shortcut());
    hint(SaveAllButton, SaveAllButton->shortcut());
    connect(OpenButton, &QToolButton::clicked, this, &TForm1::OpenButtonClick);
    connect(Save, &QToolButton::clicked, this, &TForm1::SaveClick);
    connect(SaveAllButton, &QToolButton::clicked, this, &TForm1::SaveAllClick);
}

void TForm1::BuildPages()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* separator = new QFrame(central);
    separator->setObjectName(QStringLiteral("Separator"));
    separator->setFixedHeight(2);
    separator->setStyleSheet(QStringLiteral(
        "#Separator { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, "
        "stop:0 #7a8aa0, stop:0.5 #c8d2e0, stop:1 #eef1f5); }"));
    column->addWidget(separator);

    auto* strip = new QWidget(central);
    strip->setFixedHeight(5);
    auto* stripLayout = new QVBoxLayout(strip);
    stripLayout->setContentsMargins(0, 0, 0, 0);
    ProgressBar = new ProgressGauge(strip);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setFixedHeight(5);
    ProgressBar->hide();
    stripLayout->addWidget(ProgressBar);
    column->addWidget(strip);

    Page = new QTabWidget(central);
    Page->setObjectName(QStringLiteral("Page"));
    Page->setIconSize(QSize(16, 16));
    Page->setDocumentMode(false);
    column->addWidget(Page, 1);
    setCentralWidget(central);

    const Qt::Alignment centre = Qt::AlignHCenter;
    const Qt::Alignment left = Qt::AlignLeft;
    FileList = new ResultListView(
        {
            {QStringLiteral("Имя файла"), 0, left, 0, 0, true},
            {QStringLiteral("Тип"), 100, centre, 100, 0, false},
            {QStringLiteral("Начало файла"), 100, centre, 100, 0, false},
            {QStringLiteral("Конец файла"), 100, centre, 100, 0, false},
            {QStringLiteral("Размер"), 100, centre, 100, 0, false},
        },
        true, true);
    FileList->setObjectName(QStringLiteral("FileList"));
    Page->addTab(FileList, ImageList::Icon(10), QStringLiteral("Найденые файлы"));

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setHandleWidth(10);
    splitter->setOpaqueResize(false);
    splitter->setChildrenCollapsible(false);
    Finded = new ResultListView(
        {
            {QStringLiteral("Имя файла"), 0, left, 0, 0, true},
            {QStringLiteral("Тип"), 100, centre, 100, 100, false},
            {QStringLiteral("Начало файла"), 100, centre, 100, 0, false},
            {QStringLiteral("Конец файла"), 100, left, 100, 0, false},
            {QStringLiteral("Размер"), 100, left, 100, 100, false},
        },
        true, true);
    Finded->setObjectName(QStringLiteral("Finded"));
    Finded->setMinimumWidth(10);
    Finded->OnSelectItem = [this](int32_t row, bool selected) { FindedSelectItem(row, selected); };
    auto* group = new QGroupBox(QStringLiteral("Просмотр"));
    group->setMinimumWidth(10);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setContentsMargins(4, 4, 4, 4);
    PictureView1 = new TPictureView(group);
    PictureView1->setObjectName(QStringLiteral("PictureView1"));
    PictureView1->SetPicturePosition(bpCenter);
    PictureView1->SetStretchMode(smNever);
    groupLayout->addWidget(PictureView1);
    splitter->addWidget(Finded);
    splitter->addWidget(group);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({862 - 188 - 10, 188});
    Page->addTab(splitter, ImageList::Icon(8), QStringLiteral("DRM графика"));
    LoadPlaceholder();
    PictureView1->Loaded();

    InfoList = new ResultListView(
        {
            {QStringLiteral("Раздел"), 0, left, 0, 0, true},
            {QStringLiteral("Значение"), 300, left, 0, 0, false},
        },
        false, false);
    InfoList->setObjectName(QStringLiteral("InfoList"));
    Page->addTab(InfoList, ImageList::Icon(7), QStringLiteral("О Прошивке"));

    Page->addTab(BuildAboutPage(), ImageList::Icon(9), QStringLiteral("О Программе"));

    AllPictures = new PictureGallery;
    AllPictures->setObjectName(QStringLiteral("AllPictures"));
    Page->addTab(AllPictures, ImageList::Icon(8), QStringLiteral("Все картинки"));
    Page->setCurrentIndex(kFilesPage);
}

QWidget* TForm1::BuildAboutPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(10);

    auto* title = new QLabel(QStringLiteral("<div style='font-size:20pt; font-weight:bold'>Kestrix %1</div>"
                                            "<div style='font-size:11pt'>Автор: команда разработчиков Kestrix</div>")
                                 .arg(QString::fromLatin1(kShortVersion)),
                             page);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    auto* memo = new AboutMemo(AboutText(), page);
    memo->setObjectName(QStringLiteral("AboutMemo"));
    layout->addWidget(memo, 1);

    auto* link = new QLabel(QStringLiteral("<a href='%1'>Руководство пользователя</a>")
                                .arg(UserGuideUrl().toString(QUrl::FullyEncoded).toHtmlEscaped()),
                            page);
    link->setObjectName(QStringLiteral("GuideLink"));
    link->setAlignment(Qt::AlignCenter);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setOpenExternalLinks(true);
    layout->addWidget(link);
    return page;
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
    PictureView1->Picture().ReadData(&stream);
    PictureView1->Refresh();
}

std::vector<TResultRow> TForm1::FileListRows() const
{
    return FileList->Rows();
}

std::vector<TResultRow> TForm1::FindedRows() const
{
    return Finded->Rows();
}

std::vector<TResultRow> TForm1::InfoListRows() const
{
    return InfoList->Rows();
}

QString TForm1::StatusText() const
{
    return Stat->text();
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
    return SaveResult->Message();
}

int32_t TForm1::ActivePage() const
{
    return Page->currentIndex();
}

ResultListView* TForm1::ActiveList() const
{
    switch (ActivePage()) {
    case kFilesPage:
        return FileList;
    case kGraphicsPage:
        return Finded;
    case kInfoPage:
        return InfoList;
    default:
        return nullptr;
    }
}

bool TForm1::GaugeShown() const
{
    return !ProgressBar->isHidden();
}

int32_t TForm1::FindHexPattern(std::string_view pattern, int32_t from, int32_t to)
{
    return kestrix::FindHexPattern(Hex1, pattern, from, to);
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
    std::vector<TResultRow> rows;
    for (const FirmwareFact& fact : ReadFirmwareInfo(Hex1.Bytes()))
        rows.push_back({fact.Caption, {ShownFactValue(fact)}, -1});
    InfoList->Model().SetRows(std::move(rows));
}

// Commands ------------------------------------------------------------------

void TForm1::N2Click()
{
    RunCommand([this] { OpenImage(OpenOrder::RememberAfterLoad); });
}

void TForm1::OpenButtonClick()
{
    RunCommand([this] { OpenImage(OpenOrder::RememberBeforeLoad); });
}

void TForm1::OpenFile(const QString& path)
{
    RunCommand([&] { OpenChosenFile(path, OpenOrder::RememberAfterLoad); });
}

void TForm1::N4Click()
{
    close();
}

void TForm1::N6Click()
{
    Page->setCurrentIndex(kAboutPage);
}

void TForm1::N7Click()
{
    RunCommand([this] {
        if (const auto count = RunScan(ListKind::Files))
            Stat->setText(QStringLiteral("Всего файлов: %1").arg(*count));
    });
}

void TForm1::gif1Click()
{
    RunCommand([this] { RunScan(ListKind::Graphics); });
}

void TForm1::AllPicturesSearchClick()
{
    RunCommand([this] {
        Page->setCurrentIndex(kPicturesPage);
        Stat->setText(QStringLiteral("Всего картинок: %1").arg(RunPictureSearch()));
    });
}

void TForm1::SaveClick()
{
    RunCommand([this] { SaveRows(true); });
}

void TForm1::SaveAllClick()
{
    RunCommand([this] { SaveRows(false); });
}

void TForm1::CopyClick()
{
    const ResultListView* list = ActiveList();
    const QString text = list ? SelectedRowsText(*list) : QString();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void TForm1::FindedSelectItem(int32_t row, bool selected)
{
    RunCommand([&] { PreviewOrClear(row, selected); });
}

void TForm1::FormCreate()
{
    RunCommand([this] { RestoreOpenFolder(); });
}

void TForm1::FormCloseQuery(bool& CanClose)
{
    CanClose = true;
    if (!OpenDialog1.FileName.isEmpty())
        RememberFolder(FolderWithSeparator(OpenDialog1.FileName));
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (m_scanRunning) {
        // The scan is inside an event-processing round: let it end at its
        // next yield, then close from a fresh event.
        m_scanCancelled = true;
        m_closeAfterScan = true;
        event->ignore();
        return;
    }
    bool canClose = true;
    RunCommand([&] { FormCloseQuery(canClose); });
    event->setAccepted(canClose);
}

// Command bodies --------------------------------------------------------------

void TForm1::RunCommand(const std::function<void()>& command)
{
    // A scan lets events through; a command reaching here meanwhile (its
    // action is disabled, but a slot can still be called) would change the
    // lists or the image under the scan.
    if (m_scanRunning)
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
    const QString text = ErrorBoxText(message);
    if (Seams.ErrorBox)
        Seams.ErrorBox(text);
    else
        ShowErrorBox(this, text);
}

void TForm1::OpenImage(OpenOrder order)
{
    const QString fileName = Seams.OpenFile ? Seams.OpenFile(OpenDialog1) : ExecuteOpenDialog(this, OpenDialog1);
    if (fileName.isEmpty())
        return;
    OpenChosenFile(fileName, order);
}

void TForm1::OpenChosenFile(const QString& fileName, OpenOrder order)
{
    OpenDialog1.FileName = fileName;
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
        Stat->setText(QFileInfo(fileName).fileName());
        Stat->setToolTip(QDir::toNativeSeparators(fileName));
        if (order == OpenOrder::RememberAfterLoad)
            remember();
        ShowFirmwareInfo();
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
    }
    if (!settingsFault.isEmpty())
        ReportError(settingsFault);
}

void TForm1::LoadImage(const QString& fileName)
{
    const bool hadImage = Hex1.DataSize() > 0;
    ForgetPictures();
    try {
        Hex1.LoadFromFile(QFile::encodeName(fileName).toStdString());
    } catch (...) {
        // A load that failed while reading has emptied the buffer: what was
        // found in the old image must not be shown or saved as if it were there.
        if (hadImage && Hex1.DataSize() == 0) {
            ForgetImageResults();
            Stat->setText(QStringLiteral("Kestrix"));
            Stat->setToolTip({});
        }
        throw;
    }
    // Rows found in the previous image name ranges of that image; they go
    // with it rather than point into the new one.
    ForgetImageResults();
}

void TForm1::ForgetImageResults()
{
    FileList->Model().Clear();
    Finded->Model().Clear();
    InfoList->Model().Clear();
    ForgetPictures();
    ClearPreview();
}

void TForm1::ForgetPictures()
{
    AllPictures->Clear();
    m_pictureRows.Clear();
}

void TForm1::ClearPreview()
{
    LoadPlaceholder();
}

void TForm1::RememberFolder(const QString& folder)
{
    RegIniStore1.WriteString(kSettingsSection, kSettingsKey, folder);
}

void TForm1::RestoreOpenFolder()
{
    if (!RegIniStore1.ValueExists(kSettingsSection, kSettingsKey))
        return;
    const QString folder = RegIniStore1.ReadString(kSettingsSection, kSettingsKey, QStringLiteral("Str"));
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        OpenDialog1.InitialDir = RegIniStore1.ReadString(kSettingsSection, kSettingsKey, QStringLiteral("Str"));
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
    if (!selected || Finded->SelCount() != 1)
        return;
    const ResultListModel& rows = Finded->Model();
    const auto index = static_cast<std::size_t>(row);
    if (row < 0 || index >= rows.RowCount() || rows.Row(index).Caption.empty())
        return;
    const ItemRange range = RangeOfCells(rows.Row(static_cast<std::size_t>(Finded->SelectedRows().front())));
    // Written under a temporary name and renamed, so a link planted under the
    // scratch name is replaced rather than followed.
    WriteRangeToFileAtomically(Hex1, ScratchFile(), range.Start, range.Count());
    FileStream scratch(ScratchFile(), FileMode::OpenRead);
    PictureView1->Picture().LoadFromStream(&scratch);
    PictureView1->Refresh();
}

void TForm1::SaveRows(bool selectedOnly)
{
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
    SaveResult->SetMessage(SaveSummary(outcome), QDir::toNativeSeparators(outcome.Folder));
}

void TForm1::SaveList(ListKind kind, bool selectedOnly, SaveOutcome& outcome)
{
    const ListTraits& traits = TraitsOf(kind);
    const SaveSource rows = SaveSourceOf(kind);
    if (rows.Count == 0 || (selectedOnly && rows.SelCount == 0)) {
        outcome.End = rows.Count == 0 ? SaveEnd::EmptyList : SaveEnd::NoSelection;
        return;
    }
    const std::vector<ExtractItem> items =
        PlanExtraction(kind, rows.Count, rows.Text, selectedOnly ? rows.Selected : std::vector<bool>{});
    const std::size_t considered = selectedOnly ? rows.SelCount : rows.Count;
    outcome.Skipped = static_cast<int32_t>(considered - items.size());
    const bool showGauge = traits.SaveShowsProgress;
    std::exception_ptr refused;
    if (showGauge) {
        ProgressBar->SetMin(0);
        ProgressBar->SetMax(static_cast<int32_t>(items.size()));
        ProgressBar->SetPosition(0);
        ProgressBar->show();
    }
    const QString target = Seams.SaveFile ? Seams.SaveFile(SaveDialog1) : ExecuteSaveDialog(this, SaveDialog1);
    if (!target.isEmpty()) {
        SaveDialog1.FileName = target;
        outcome.Folder = QFileInfo(target).path();
        const std::string folder = QFile::encodeName(outcome.Folder).toStdString();
        for (const ExtractItem& item : items) {
            const ItemRange range = RangeOfCells(rows.Text(static_cast<std::size_t>(item.Row)));
            try {
                ExtractToFolder(Hex1, folder, item.FileName, range);
            } catch (const EReplacesImage&) {
                // The open image is kept and the other rows go on; the refusal is told at the end.
                refused = std::current_exception();
                continue;
            }
            ++outcome.Written;
            if (showGauge) {
                ProgressBar->SetPosition(outcome.Written);
                // No events are processed while saving; show the step now.
                ProgressBar->repaint();
            }
        }
    } else {
        outcome.End = SaveEnd::Cancelled;
    }
    if (showGauge)
        ProgressBar->hide();
    if (refused)
        std::rethrow_exception(refused);
}

TForm1::SaveSource TForm1::SaveSourceOf(ListKind kind) const
{
    if (kind == ListKind::Pictures) {
        std::vector<bool> selected(m_pictureRows.Count(), false);
        const std::vector<int32_t> rows = AllPictures->SelectedRows();
        for (const int32_t row : rows)
            selected[static_cast<std::size_t>(row)] = true;
        return {m_pictureRows.Count(), [this](std::size_t i) { return AllPicturesRowText(m_pictureRows, i); },
                std::move(selected), rows.size()};
    }
    const ResultListView& list = ListView(kind);
    const ResultListModel& rows = list.Model();
    return {rows.RowCount(), [&rows](std::size_t i) { return rows.Row(i); }, list.SelectedFlags(),
            static_cast<std::size_t>(list.SelCount())};
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
    return kind == ListKind::Files ? *FileList : *Finded;
}

// Scans -----------------------------------------------------------------------

std::optional<std::size_t> TForm1::RunScan(ListKind kind)
{
    const ListTraits& traits = TraitsOf(kind);
    ResultListView& list = ListView(kind);
    if (Hex1.DataSize() <= kMinScanSize)
        return std::nullopt;

    ScanScope scope{*this};
    BeginScan(&list);
    if (!traits.Scan(Hex1, MakeScanHooks(), list.Model().BeginFill(traits.Text)))
        return std::nullopt;
    list.Model().EndFill();
    return list.Model().RowCount();
}

std::size_t TForm1::RunPictureSearch()
{
    ScanScope scope{*this};
    BeginScan(nullptr);
    ForgetPictures();
    ScanHooks hooks = MakeScanHooks();
    hooks.DecodeCheck = DecodesInFull;
    TraitsOf(ListKind::Pictures).Scan(Hex1, hooks, m_pictureRows);
    AllPictures->SetPictures(PicturesOf(m_pictureRows), Hex1.Bytes());
    return m_pictureRows.Count();
}

void TForm1::BeginScan(ResultListView* list)
{
    m_scanRunning = true;
    m_scanCancelled = false;
    m_scanList = list;
    SetCommandsEnabled(false);
    FileList->SetSelectable(false);
    Finded->SetSelectable(false);
    AllPictures->SetSelectable(false);
    m_yieldClock.start();
}

ScanHooks TForm1::MakeScanHooks()
{
    ScanHooks hooks;
    hooks.GaugeShow = [this](int32_t maximum) {
        ProgressBar->SetMin(0);
        ProgressBar->SetMax(maximum);
        ProgressBar->SetPosition(0);
        ProgressBar->show();
    };
    hooks.GaugeValue = [this](int32_t value) { ProgressBar->SetPosition(value); };
    hooks.GaugeHide = [this] {
        ProgressBar->hide();
        ProgressBar->SetMin(0);
    };
    hooks.Yield = [this] { return ScanYield(); };
    return hooks;
}

bool TForm1::ScanYield()
{
    // Processing events costs far more than one search step; doing it at
    // most once per interval keeps the window answering without slowing the scan.
    if (m_yieldClock.elapsed() >= m_yieldIntervalMs) {
        if (m_scanList)
            m_scanList->Model().ShowFilled();
        QCoreApplication::processEvents();
        m_yieldClock.restart();
    }
    return !m_scanCancelled;
}

void TForm1::SetCommandsEnabled(bool enabled)
{
    for (QAction* action : {N2, N7, gif1, AllPicturesSearch})
        action->setEnabled(enabled);
    for (QToolButton* button : {OpenButton, Save, SaveAllButton})
        button->setEnabled(enabled);
}

void TForm1::EndScan()
{
    if (m_scanList)
        m_scanList->Model().EndFill();
    ProgressBar->hide();
    ProgressBar->SetMin(0);
    SetCommandsEnabled(true);
    FileList->SetSelectable(true);
    Finded->SetSelectable(true);
    AllPictures->SetSelectable(true);
    m_scanList = nullptr;
    m_scanRunning = false;
    if (m_closeAfterScan) {
        m_closeAfterScan = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

}  // namespace kestrix
