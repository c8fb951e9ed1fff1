#include "form1.h"

#include "about_memo.h"
#include "content_page.h"
#include "image_list.h"
#include "kestrix_version.h"
#include "menu_keys.h"
#include "picture_gallery.h"
#include "picture_view.h"
#include "progress_gauge.h"
#include "result_list_view.h"
#include "sound_player.h"
#include "sound_player_bar.h"
#include "status_message.h"
#include "user_guide.h"
#include "window_layout.h"

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

// The construction of the main window: its components' settings and the bands
// from the menu bar down to the status bar.

namespace kestrix {
namespace {

const QString kLayoutSection = QStringLiteral("KestrixWindow");

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

void TForm1::ConfigureComponents()
{
    m_hex1.ResetToEmpty("Untitled");
    m_hex1.PostNotice = [this](std::function<void()> notice) {
        QMetaObject::invokeMethod(this, std::move(notice), Qt::QueuedConnection);
    };
    m_regIniStore1.SetPathType(ptRegistry);
    m_regIniStore1.SetPath(QStringLiteral("\\Software\\"));
    m_openDialog1.Title = QStringLiteral("Open file");
    // The image filter comes first and is the one selected; the second entry
    // reaches images saved under other names.
    m_openDialog1.Filter = QStringLiteral("Motorola Flash File (*.bin)|*.bin|Все файлы|*");
    m_saveDialog1.Title = QStringLiteral("Save file");
    m_saveDialog1.Filter = QStringLiteral("All files|*.*");
    m_saveDialog1.ReadyName = QStringLiteral("Сохранить сюда");
    m_saveDialog1.Note = QStringLiteral("Файлы сохраняются под своими именами в показанную папку; "
                                        "имя в поле выше только выбирает папку.");
}

void TForm1::BuildLayout()
{
    setWindowTitle(QStringLiteral("Kestrix ") + QString::fromLatin1(kShortVersion));
    setWindowIcon(QIcon(QStringLiteral(":/icons/kestrix-64.png")));
    move(193, 132);
    resize(862, 586);
    BuildMenu();
    BuildToolBar();
    BuildPages();
    BuildCopyAction();
    BuildStatusBar();
}

void TForm1::BuildMenu()
{
    // "&" marks the letter that opens an item with Alt; Qt underlines it and
    // shows the caption without it.
    QMenuBar* bar = menuBar();
    bar->setFixedHeight(22);
    QMenu* file = bar->addMenu(QStringLiteral("&Файл"));
    m_n2 = file->addAction(QStringLiteral("&Открыть"));
    // Our items stand between the design's two; the keys are shown, the
    // tool buttons hold the shortcuts.
    m_saveItem = file->addAction(QStringLiteral("&Сохранить\tCtrl+S"));
    m_saveItem->setObjectName(QStringLiteral("SaveItem"));
    m_saveAllItem = file->addAction(QStringLiteral("Сохранить вс&е\tCtrl+Shift+S"));
    m_saveAllItem->setObjectName(QStringLiteral("SaveAllItem"));
    connect(m_saveItem, &QAction::triggered, this, &TForm1::SaveClick);
    connect(m_saveAllItem, &QAction::triggered, this, &TForm1::SaveAllRows);
    m_recentMenu = file->addMenu(QStringLiteral("&Недавние образы"));
    file->addSeparator();
    m_n4 = file->addAction(QStringLiteral("&Выход"));
    m_recentMenu->setObjectName(QStringLiteral("RecentMenu"));
    m_recentMenu->setToolTipsVisible(true);
    connect(m_recentMenu, &QMenu::aboutToShow, this, &TForm1::FillRecentMenu);
    QMenu* utilities = bar->addMenu(QStringLiteral("&Утилиты"));
    m_gif1 = utilities->addAction(ImageList::Icon(6), QStringLiteral("Поиск DRM &графики"));
    m_n7 = utilities->addAction(ImageList::Icon(6), QStringLiteral("Поиск &файлов"));
    m_allPicturesSearch = utilities->addAction(ImageList::Icon(6), QStringLiteral("Поиск всех &картинок"));
    m_contentSearch = utilities->addAction(ImageList::Icon(6), QStringLiteral("Поиск всего &содержимого"));
    m_n6 = bar->addAction(QStringLiteral("&О Программе"));
    m_n2->setShortcut(QKeySequence::Open);
    m_n4->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_n7->setShortcut(QKeySequence(Qt::Key_F5));
    m_gif1->setShortcut(QKeySequence(Qt::Key_F6));
    m_allPicturesSearch->setShortcut(QKeySequence(Qt::Key_F7));
    m_contentSearch->setShortcut(QKeySequence(Qt::Key_F8));
    m_contentSearch->setToolTip(
        QStringLiteral("Найти в образе все картинки, звуки, Java-приложения и файлы телефона за один проход"));
    m_contentSearch->setObjectName(QStringLiteral("ContentSearch"));

    m_n2->setObjectName(QStringLiteral("N2"));
    m_n4->setObjectName(QStringLiteral("N4"));
    m_n6->setObjectName(QStringLiteral("N6"));
    m_n7->setObjectName(QStringLiteral("N7"));
    m_gif1->setObjectName(QStringLiteral("gif1"));
    m_allPicturesSearch->setObjectName(QStringLiteral("AllPicturesSearch"));
    connect(m_n2, &QAction::triggered, this, &TForm1::N2Click);
    connect(m_n4, &QAction::triggered, this, &TForm1::N4Click);
    connect(m_n6, &QAction::triggered, this, &TForm1::N6Click);
    connect(m_n7, &QAction::triggered, this, &TForm1::N7Click);
    connect(m_gif1, &QAction::triggered, this, &TForm1::gif1Click);
    connect(m_allPicturesSearch, &QAction::triggered, this, &TForm1::SearchAllPictures);
    connect(m_contentSearch, &QAction::triggered, this, &TForm1::SearchAllContent);

    new MenuKeys(bar);
    const auto key = [this](const char* name, const QKeySequence& keys, void (TForm1::*slot)()) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(keys);
        addAction(action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    key("OpenMenuBar", QKeySequence(Qt::Key_F10), &TForm1::OpenMenuBar);
    // Within the pages only: the bytes dock below them has a Ctrl+F of its own.
    QAction* focusFilter = key("FocusFilter", QKeySequence::Find, &TForm1::FocusFilter);
    removeAction(focusFilter);
    focusFilter->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    key("OpenGuide", QKeySequence(Qt::Key_F1), &TForm1::OpenGuide);
}

void TForm1::BuildCopyAction()
{
    m_copyRows = new QAction(QStringLiteral("Копировать"), this);
    m_copyRows->setObjectName(QStringLiteral("CopyRows"));
    m_copyRows->setShortcut(QKeySequence::Copy);
    addAction(m_copyRows);
    for (QAbstractItemView* list : std::initializer_list<QAbstractItemView*>{
             m_fileList, m_finded, m_infoList, m_allPictures->Grid(), m_allPictures->Details(), m_sounds->Table(),
             m_applications->Table(), m_phoneFiles->Table()}) {
        list->addAction(m_copyRows);
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint& pos) { ShowRowMenu(list, pos); });
    }
    connect(m_copyRows, &QAction::triggered, this, &TForm1::CopySelectedRows);
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
    m_openButton = button(QStringLiteral("OpenButton"), QStringLiteral("Открыть"), 80, 0);
    m_save = button(QStringLiteral("Save"), QStringLiteral("Сохранить"), 88, 1);
    m_saveAllButton = button(QStringLiteral("SaveAllButton"), QStringLiteral("Сохранить все"), 112, 2);
    m_save->setShortcut(QKeySequence::Save);
    m_saveAllButton->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    const auto hint = [](QToolButton* b, const QKeySequence& keys) {
        b->setToolTip(QStringLiteral("%1 (%2)").arg(b->text(), keys.toString(QKeySequence::NativeText)));
    };
    hint(m_openButton, QKeySequence::Open);
    hint(m_save, m_save->shortcut());
    hint(m_saveAllButton, m_saveAllButton->shortcut());
    connect(m_openButton, &QToolButton::clicked, this, &TForm1::OpenFromToolButton);
    connect(m_save, &QToolButton::clicked, this, &TForm1::SaveClick);
    connect(m_saveAllButton, &QToolButton::clicked, this, &TForm1::SaveAllRows);
}

namespace {

// A tab of the window: its index (one of TForm1's page constants), icon,
// title and the member that builds the page.
struct PageTab {
    int32_t Index;
    int Icon;
    const char* Title;
    QWidget* (TForm1::*Build)();
};

}  // namespace

void TForm1::BuildPages()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* separator = new QFrame(central);
    separator->setObjectName(QStringLiteral("Separator"));
    separator->setFixedHeight(2);
    separator->setStyleSheet(QStringLiteral("#Separator { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, "
                                            "stop:0 #7a8aa0, stop:0.5 #c8d2e0, stop:1 #eef1f5); }"));
    column->addWidget(separator);
    column->addWidget(BuildProgressStrip(central));

    m_page = new QTabWidget(central);
    m_page->setObjectName(QStringLiteral("Page"));
    m_page->addAction(findChild<QAction*>(QStringLiteral("FocusFilter")));
    m_page->setIconSize(QSize(16, 16));
    m_page->setDocumentMode(false);
    column->addWidget(m_page, 1);
    setCentralWidget(central);

    // The tabs in the order of their indices.
    static constexpr PageTab kPageTabs[] = {
        {TForm1::kFilesPage, 10, "Найденые файлы", &TForm1::BuildFilesPage},
        {TForm1::kGraphicsPage, 8, "DRM графика", &TForm1::BuildGraphicsPage},
        {TForm1::kInfoPage, 7, "О Прошивке", &TForm1::BuildInfoPage},
        {TForm1::kAboutPage, 9, "О Программе", &TForm1::BuildAboutPage},
        {TForm1::kPicturesPage, 8, "Все картинки", &TForm1::BuildPicturesPage},
        {TForm1::kSoundsPage, 8, "Звуки", &TForm1::BuildSoundsPage},
        {TForm1::kApplicationsPage, 8, "Приложения", &TForm1::BuildApplicationsPage},
        {TForm1::kPhoneFilesPage, 8, "Файлы телефона", &TForm1::BuildPhoneFilesPage},
    };
    static_assert(
        [] {
            for (std::size_t i = 0; i < std::size(kPageTabs); ++i)
                if (kPageTabs[i].Index != static_cast<int32_t>(i))
                    return false;
            return true;
        }(),
        "the tabs are added in the order of their indices");
    for (const PageTab& tab : kPageTabs)
        m_page->addTab((this->*tab.Build)(), ImageList::Icon(tab.Icon), QString::fromUtf8(tab.Title));
    connect(m_sounds, &ContentPage::SaveWavRequested, this, &TForm1::SaveSoundsAsWavFiles);
    connect(m_allPictures, &PictureGallery::OpenFailed, this, &TForm1::TellOpenFailed);
    for (ContentPage* page : {m_sounds, m_applications, m_phoneFiles})
        connect(page, &ContentPage::OpenFailed, this, &TForm1::TellOpenFailed);
    m_page->setCurrentIndex(kFilesPage);
}

// The gauge keeps its thin line; while a task runs, its percentage and a stop
// button stand beside it.
QWidget* TForm1::BuildProgressStrip(QWidget* parent)
{
    m_progressStrip = new QWidget(parent);
    m_progressStrip->setFixedHeight(5);
    auto* stripLayout = new QHBoxLayout(m_progressStrip);
    stripLayout->setContentsMargins(0, 0, 4, 0);
    stripLayout->setSpacing(6);
    m_progressBar = new ProgressGauge(m_progressStrip);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar"));
    m_progressBar->setFixedHeight(5);
    m_progressBar->hide();
    stripLayout->addWidget(m_progressBar, 1, Qt::AlignVCenter);
    m_progressText = new QLabel(m_progressStrip);
    m_progressText->setObjectName(QStringLiteral("ProgressText"));
    m_progressText->setMinimumWidth(m_progressText->fontMetrics().horizontalAdvance(QStringLiteral("100 %")));
    m_progressText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_progressText->hide();
    stripLayout->addWidget(m_progressText);
    m_cancelButton = new QToolButton(m_progressStrip);
    m_cancelButton->setObjectName(QStringLiteral("CancelTask"));
    m_cancelButton->setText(QStringLiteral("Остановить"));
    m_cancelButton->setToolTip(QStringLiteral("Остановить поиск или сохранение (Esc)"));
    m_cancelButton->setAutoRaise(true);
    m_cancelButton->hide();
    stripLayout->addWidget(m_cancelButton);
    connect(m_progressBar, &ProgressGauge::PercentChanged, m_progressText,
            [this](int32_t percent) { m_progressText->setText(QStringLiteral("%1 %").arg(percent)); });
    connect(m_cancelButton, &QToolButton::clicked, this, &TForm1::CancelTask);
    m_cancelAction = new QAction(QStringLiteral("Остановить"), this);
    m_cancelAction->setObjectName(QStringLiteral("CancelTaskAction"));
    m_cancelAction->setShortcut(QKeySequence(Qt::Key_Escape));
    m_cancelAction->setEnabled(false);
    addAction(m_cancelAction);
    connect(m_cancelAction, &QAction::triggered, this, &TForm1::CancelTask);
    return m_progressStrip;
}

QWidget* TForm1::BuildFilesPage()
{
    m_fileList = new ResultListView(
        {
            {QStringLiteral("Имя файла"), 0, Qt::AlignLeft, 0, 0, true},
            {QStringLiteral("Тип"), 100, Qt::AlignHCenter, 100, 0, false},
            {QStringLiteral("Начало файла"), 100, Qt::AlignHCenter, 100, 0, false},
            {QStringLiteral("Конец файла"), 100, Qt::AlignHCenter, 100, 0, false},
            {QStringLiteral("Размер"), 100, Qt::AlignHCenter, 100, 0, false},
        },
        true, true);
    m_fileList->setObjectName(QStringLiteral("FileList"));
    return m_fileList;
}

QWidget* TForm1::BuildGraphicsPage()
{
    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setHandleWidth(10);
    splitter->setOpaqueResize(false);
    splitter->setChildrenCollapsible(false);
    m_finded = new ResultListView(
        {
            {QStringLiteral("Имя файла"), 0, Qt::AlignLeft, 0, 0, true},
            {QStringLiteral("Тип"), 100, Qt::AlignHCenter, 100, 100, false},
            {QStringLiteral("Начало файла"), 100, Qt::AlignHCenter, 100, 0, false},
            {QStringLiteral("Конец файла"), 100, Qt::AlignLeft, 100, 0, false},
            {QStringLiteral("Размер"), 100, Qt::AlignLeft, 100, 100, false},
        },
        true, true);
    m_finded->setObjectName(QStringLiteral("Finded"));
    m_finded->setMinimumWidth(10);
    m_finded->OnSelectItem = [this](int32_t row, bool selected) { FindedSelectItem(row, selected); };
    auto* group = new QGroupBox(QStringLiteral("Просмотр"));
    group->setMinimumWidth(10);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setContentsMargins(4, 4, 4, 4);
    m_pictureView1 = new TPictureView(group);
    m_pictureView1->setObjectName(QStringLiteral("PictureView1"));
    m_pictureView1->SetPicturePosition(bpCenter);
    m_pictureView1->SetStretchMode(smNever);
    groupLayout->addWidget(m_pictureView1);
    splitter->addWidget(m_finded);
    splitter->addWidget(group);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({862 - 188 - 10, 188});
    LoadPlaceholder();
    m_pictureView1->Loaded();
    return splitter;
}

QWidget* TForm1::BuildInfoPage()
{
    m_infoList = new ResultListView(
        {
            {QStringLiteral("Раздел"), 0, Qt::AlignLeft, 0, 0, true},
            {QStringLiteral("Значение"), 300, Qt::AlignLeft, 0, 0, false},
        },
        false, false);
    m_infoList->setObjectName(QStringLiteral("InfoList"));
    return m_infoList;
}

QWidget* TForm1::BuildPicturesPage()
{
    m_allPictures = new PictureGallery;
    m_allPictures->setObjectName(QStringLiteral("AllPictures"));
    return m_allPictures;
}

QWidget* TForm1::BuildSoundsPage()
{
    const bool audioOutput = m_seams.AudioOutput ? m_seams.AudioOutput() : SoundPlayer::HasAudioOutput();
    m_sounds = new ContentPage(ContentKind::Sound, audioOutput);
    m_sounds->setObjectName(QStringLiteral("Sounds"));
    return m_sounds;
}

QWidget* TForm1::BuildApplicationsPage()
{
    m_applications = new ContentPage(ContentKind::Application, false);
    m_applications->setObjectName(QStringLiteral("Applications"));
    return m_applications;
}

QWidget* TForm1::BuildPhoneFilesPage()
{
    m_phoneFiles = new ContentPage(ContentKind::File, false);
    m_phoneFiles->setObjectName(QStringLiteral("PhoneFiles"));
    return m_phoneFiles;
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

    const QUrl guide = UserGuideUrl();
    auto* link = new QLabel(QStringLiteral("<a href='%1'>Руководство пользователя</a>")
                                .arg(guide.toString(QUrl::FullyEncoded).toHtmlEscaped()),
                            page);
    link->setObjectName(QStringLiteral("GuideLink"));
    // Without an installed guide there is nothing on this machine to open.
    link->setVisible(!guide.isEmpty());
    link->setAlignment(Qt::AlignCenter);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setOpenExternalLinks(true);
    layout->addWidget(link);
    return page;
}

void TForm1::BuildStatusBar()
{
    m_stat = new QLabel(QStringLiteral("Kestrix"), this);
    m_stat->setObjectName(QStringLiteral("Stat"));
    m_stat->setFixedWidth(193);
    m_stat->setAlignment(Qt::AlignCenter);
    m_stat->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addWidget(m_stat);
    m_saveResult = new StatusMessage(this);
    m_saveResult->setObjectName(QStringLiteral("SaveResult"));
    statusBar()->addWidget(m_saveResult, 1);
    m_imageName = new QLabel(this);
    m_imageName->setObjectName(QStringLiteral("ImageName"));
    m_imageName->setMaximumWidth(260);
    statusBar()->addPermanentWidget(m_imageName);
    statusBar()->setFixedHeight(21);
    statusBar()->setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
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

}  // namespace kestrix
