#include "hex_dock.h"

#include "code_page.h"
#include "content_list_model.h"
#include "content_page.h"
#include "file_entry_layout.h"
#include "firmware_info.h"
#include "form1.h"
#include "hex_page.h"
#include "hex_view.h"
#include "picture_gallery.h"
#include "picture_gallery_model.h"
#include "result_list_view.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTimer>

namespace kestrix {
namespace {

// How long the item list waits after a list changed: a scan appends rows
// all the time, and the items are gathered once for a burst of them.
constexpr int kRefreshDelayMs = 300;

// A list's row as a range: its bytes, or for a file entry whose data lie
// elsewhere, the entry's header before its stated start.
HexItem RowItem(const FoundRow& row, MapClass kind, int32_t source, int32_t index)
{
    const int32_t end = row.HasEnd() ? row.End : row.Start;
    const int32_t start = row.HasEnd() ? row.Start : row.Start - static_cast<int32_t>(kFileEntryDataOffset);
    return {start, std::max(end, start + 1), kind, source, index};
}

}  // namespace

HexDock::HexDock(TForm1& form, THexBuffer& buffer)
    : QDockWidget(QStringLiteral("Байты и карта образа"), &form), m_form(form), m_buffer(buffer)
{
    setObjectName(QStringLiteral("HexDock"));
    m_page = new HexPage(buffer, this);
    m_page->ItemCaption = [this](const HexItem& item) { return Caption(item.Source, item.Index); };
    m_page->Busy = [this] { return m_form.ScanRunning(); };
    setWidget(m_page);
    m_refresh = new QTimer(this);
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(kRefreshDelayMs);
    connect(m_refresh, &QTimer::timeout, this, &HexDock::RefreshWhenShown);
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool shown) {
        if (shown && m_stale)
            RefreshItems();
    });
    Watch();
}

void HexDock::Watch()
{
    auto later = [this] {
        if (!m_refresh->isActive())
            m_refresh->start();
    };
    auto watchModel = [&](QAbstractItemModel* model) {
        connect(model, &QAbstractItemModel::modelReset, this, later);
        connect(model, &QAbstractItemModel::rowsInserted, this, later);
        connect(model, &QAbstractItemModel::layoutChanged, this, later);
    };
    watchModel(&m_form.FileList()->Model());
    watchModel(&m_form.Finded()->Model());
    watchModel(&m_form.AllPictures()->Model());
    for (ContentPage* page : {m_form.SoundsPage(), m_form.ApplicationsPage(), m_form.PhoneFilesPage()})
        watchModel(page->Model());
    // The facts are read afresh after every load: the image may be another one.
    connect(&m_form.InfoList()->Model(), &QAbstractItemModel::modelReset, this, [this, later] {
        m_page->RefreshImage();
        m_facts = m_buffer.DataSize() > 0 ? FirmwareFactRanges(m_buffer.Bytes()) : std::vector<FactRange>{};
        later();
    });

    auto watchList = [this](ResultListView* list, Source source) {
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, list, source] {
            const std::vector<int32_t> rows = list->SelectedRows();
            if (!rows.empty())
                ShowRow(source, rows.front());
        });
    };
    watchList(m_form.FileList(), Files);
    watchList(m_form.Finded(), Graphics);
    watchList(m_form.InfoList(), Facts);
    connect(m_form.AllPictures(), &PictureGallery::PictureSelected, this, [this](int32_t row) {
        if (row >= 0)
            ShowRow(Pictures, row);
    });
    const std::pair<ContentPage*, Source> pages[] = {{m_form.SoundsPage(), Sounds},
                                                     {m_form.ApplicationsPage(), Applications},
                                                     {m_form.PhoneFilesPage(), PhoneFiles}};
    for (const auto& [page, source] : pages) {
        connect(page->Table()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, page = page, source = source] {
                    const std::vector<bool> selected = page->SelectedItems();
                    const auto first = std::find(selected.begin(), selected.end(), true);
                    if (first != selected.end())
                        ShowRow(source, static_cast<int32_t>(first - selected.begin()));
                });
    }

    // A row already selected on a page gives no selection signal when the
    // user comes back to that page: switching pages shows its selected row.
    connect(m_form.Page(), &QTabWidget::currentChanged, this, &HexDock::ShowSelectionOfPage);

    for (QAction* action : m_form.findChildren<QAction*>(QStringLiteral("HexOffsets"))) {
        connect(action, &QAction::toggled, m_page, &HexPage::SetHexOffsets);
        m_page->SetHexOffsets(action->isChecked());
    }
}

int32_t HexDock::CountOf(Source source) const
{
    switch (source) {
    case Files: return static_cast<int32_t>(m_form.FileList()->Model().RowCount());
    case Graphics: return static_cast<int32_t>(m_form.Finded()->Model().RowCount());
    case Facts: return static_cast<int32_t>(m_facts.size());
    case Pictures: return static_cast<int32_t>(m_form.AllPictures()->Rows().size());
    case Sounds:
    case Applications:
    case PhoneFiles: {
        const ContentResults* results = m_form.SoundsPage()->Results();
        return results == nullptr ? 0 : static_cast<int32_t>(results->Found.Items.size());
    }
    }
    return 0;
}

std::optional<HexItem> HexDock::ItemOf(Source source, int32_t index) const
{
    const auto i = static_cast<std::size_t>(index);
    switch (source) {
    case Files:
    case Graphics: {
        const FoundRows* rows = (source == Files ? m_form.FileList() : m_form.Finded())->Model().Found();
        if (rows == nullptr || i >= rows->Count())
            return std::nullopt;
        return RowItem((*rows)[i], source == Files ? MapClass::File : MapClass::Picture, source, index);
    }
    case Facts:
        if (i >= m_facts.size() || m_facts[i].Start >= m_buffer.DataSize())
            return std::nullopt;
        return HexItem{m_facts[i].Start, std::max(m_facts[i].End, m_facts[i].Start + 1), MapClass::Facts, source,
                       index};
    case Pictures: {
        const std::vector<FoundItem>& pictures = m_form.AllPictures()->Rows();
        if (i >= pictures.size())
            return std::nullopt;
        return HexItem{pictures[i].Start, pictures[i].End, MapClass::Picture, source, index};
    }
    case Sounds:
    case Applications:
    case PhoneFiles: {
        const ContentResults* results = m_form.SoundsPage()->Results();
        if (results == nullptr || i >= results->Found.Items.size())
            return std::nullopt;
        const FoundItem& item = results->Found.Items[i];
        const ContentKind kind = KindOf(item.Type);
        // Pictures of the content search are the rows of "Все картинки".
        const Source wanted = kind == ContentKind::Sound         ? Sounds
                              : kind == ContentKind::Application ? Applications
                              : kind == ContentKind::File        ? PhoneFiles
                                                                 : Pictures;
        if (wanted != source)
            return std::nullopt;
        return HexItem{item.Start, item.End, MapClassOf(kind), source, index};
    }
    }
    return std::nullopt;
}

void HexDock::RefreshItems()
{
    m_stale = false;
    std::vector<HexItem> items;
    for (const Source source : {Files, Graphics, Facts, Pictures, Sounds, Applications, PhoneFiles}) {
        const int32_t count = CountOf(source);
        for (int32_t i = 0; i < count; ++i)
            if (const std::optional<HexItem> item = ItemOf(source, i))
                items.push_back(*item);
    }
    m_page->SetItems(std::move(items));
}

void HexDock::RefreshWhenShown()
{
    // A scan appends rows all the time and a hidden dock shows nothing:
    // the items are gathered once the scan is over and the dock is shown.
    if (m_form.ScanRunning()) {
        m_refresh->start();
        return;
    }
    if (isVisible())
        RefreshItems();
    else
        m_stale = true;
}

void HexDock::ShowRow(Source source, int32_t row)
{
    if (const std::optional<HexItem> item = ItemOf(source, row))
        m_page->ShowRange(item->Start, item->End);
}

void HexDock::ShowSelectionOfPage(int page)
{
    auto firstOf = [](const std::vector<int32_t>& rows) { return rows.empty() ? -1 : rows.front(); };
    auto firstItem = [](const ContentPage* content) {
        const std::vector<bool> selected = content->SelectedItems();
        const auto first = std::find(selected.begin(), selected.end(), true);
        return first == selected.end() ? -1 : static_cast<int32_t>(first - selected.begin());
    };
    int32_t row = -1;
    Source source = Files;
    switch (page) {
    case TForm1::kFilesPage: row = firstOf(m_form.FileList()->SelectedRows()); break;
    case TForm1::kGraphicsPage:
        row = firstOf(m_form.Finded()->SelectedRows());
        source = Graphics;
        break;
    case TForm1::kInfoPage:
        row = firstOf(m_form.InfoList()->SelectedRows());
        source = Facts;
        break;
    case TForm1::kPicturesPage:
        row = firstOf(m_form.AllPictures()->SelectedRows());
        source = Pictures;
        break;
    case TForm1::kSoundsPage:
        row = firstItem(m_form.SoundsPage());
        source = Sounds;
        break;
    case TForm1::kApplicationsPage:
        row = firstItem(m_form.ApplicationsPage());
        source = Applications;
        break;
    case TForm1::kPhoneFilesPage:
        row = firstItem(m_form.PhoneFilesPage());
        source = PhoneFiles;
        break;
    default: break;
    }
    if (row >= 0)
        ShowRow(source, row);
}

QString HexDock::Caption(int32_t source, int32_t index) const
{
    const auto i = static_cast<std::size_t>(index);
    switch (static_cast<Source>(source)) {
    case Files:
    case Graphics:
    case Facts: {
        const ResultListView* list = source == Files      ? m_form.FileList()
                                     : source == Graphics ? m_form.Finded()
                                                          : m_form.InfoList();
        if (i >= list->Model().RowCount())
            return {};
        const ResultRow row = list->Model().Row(i);
        const QString caption = ResultListModel::DisplayText(row.Caption);
        return source == Facts
                   ? QStringLiteral("%1 (сведения о прошивке)").arg(caption)
                   : QStringLiteral("%1 (%2)").arg(caption, ResultListModel::DisplayText(row.Cell(RowCell::Type)));
    }
    case Pictures: {
        const std::vector<FoundItem>& pictures = m_form.AllPictures()->Rows();
        if (i >= pictures.size())
            return {};
        const FoundItem& picture = pictures[i];
        const QString name = picture.EntryName.empty()
                                 ? QString::fromStdString(Cp1251ToUtf8(NumberedCaption(picture, i + 1)))
                                 : QString::fromStdString(Cp1251ToUtf8(picture.EntryName));
        return QStringLiteral("%1 (%2, %3×%4): %5")
            .arg(name, QString::fromStdString(ItemTypeName(picture)))
            .arg(picture.Width)
            .arg(picture.Height)
            .arg(PictureGalleryModel::StatusText(picture.Status));
    }
    case Sounds:
    case Applications:
    case PhoneFiles: {
        const ContentResults* results = m_form.SoundsPage()->Results();
        if (results == nullptr || i >= results->Found.Items.size())
            return {};
        const FoundItem& item = results->Found.Items[i];
        return QStringLiteral("%1 (%2): %3")
            .arg(QString::fromStdString(Cp1251ToUtf8(results->Captions[i])),
                 QString::fromLatin1(ContentTypeName(item.Type)),
                 ContentListModel::StatusText(KindOf(item.Type), item.Status));
    }
    }
    return {};
}

HexDock* InstallHexDock(TForm1& form, THexBuffer& buffer)
{
    auto* dock = new HexDock(form, buffer);
    form.addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->hide();
    QAction* show = dock->toggleViewAction();
    show->setText(QStringLiteral("Байты и карта образа"));
    show->setShortcut(QKeySequence(Qt::Key_F9));
    auto* goTo = new QAction(QStringLiteral("Перейти к смещению…"), dock);
    goTo->setObjectName(QStringLiteral("GoToOffset"));
    goTo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    QObject::connect(goTo, &QAction::triggered, dock, [dock] {
        dock->show();
        dock->Page()->AskGoTo();
    });
    for (QMenu* menu : form.menuBar()->findChildren<QMenu*>()) {
        if (menu->title() == QStringLiteral("&Утилиты")) {
            menu->addAction(show);
            menu->addAction(goTo);
        }
    }
    return dock;
}

}  // namespace kestrix
