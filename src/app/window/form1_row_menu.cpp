#include "form1.h"

#include "content_page.h"
#include "picture_gallery.h"
#include "result_list_view.h"
#include "row_menu.h"
#include "sound_decoder.h"
#include "sound_player_bar.h"
#include "status_message.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QListView>
#include <QMenu>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>

namespace kestrix {
namespace {

const QString kSave = QStringLiteral("Сохранить\tCtrl+S");
const QString kOpen = QStringLiteral("Открыть");
const QString kShowInFolder = QStringLiteral("Показать в папке");
const QString kCopy = QStringLiteral("Копировать\tCtrl+C");

bool AnyPlayableSelected(const ContentPage& page)
{
    const ContentResults* results = page.Results();
    if (results == nullptr)
        return false;
    const std::vector<bool> selected = page.SelectedItems();
    for (std::size_t i = 0; i < selected.size(); ++i) {
        const FoundItem& item = results->Found.Items[i];
        if (selected[i] && CanPlay(item.Type, page.ItemBytes(item)))
            return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<QMenu> TForm1::RowMenu(QAbstractItemView* list)
{
    auto menu = std::make_unique<QMenu>(list);
    const auto save = [this](bool can) { return RowMenuEntry{kSave, can, [this] { SaveClick(); }}; };
    const auto copy = [this](bool can) { return RowMenuEntry{kCopy, can, [this] { CopySelectedRows(); }}; };
    std::vector<RowMenuEntry> entries;
    if (list == m_allPictures->Grid() || list == m_allPictures->Details()) {
        const std::vector<int32_t> rows = m_allPictures->SelectedRows();
        const int32_t one = rows.size() == 1 ? rows.front() : -1;
        entries = {save(!rows.empty()),
                   {kOpen, one >= 0, [this, one] { m_allPictures->OpenPicture(one); }},
                   {kShowInFolder, one >= 0, [this, one] { ShowInFolder(m_allPictures->Model().ScratchCopy(one)); }},
                   copy(!rows.empty())};
    } else if (ContentPage* page = qobject_cast<ContentPage*>(list->parentWidget())) {
        const int selected = page->SelectedCount();
        const int one = page->SingleSelectedRow();
        entries.push_back(save(selected > 0));
        if (SoundPlayerBar* player = page->Player()) {
            entries.push_back(
                {QStringLiteral("Воспроизвести\tПробел"), one >= 0 && player->PlayButton()->isEnabled(), [player] {
                     if (!player->Player().Playing())
                         player->TogglePlay();
                 }});
            entries.push_back({QStringLiteral("Сохранить как WAV"), AnyPlayableSelected(*page),
                               [this] { SaveSoundsAsWavFiles(true); }});
        }
        entries.push_back({kOpen, one >= 0, [page, one] { page->OpenItem(one); }});
        entries.push_back({kShowInFolder, one >= 0, [this, page, one] { ShowInFolder(page->ScratchCopy(one)); }});
        entries.push_back(copy(selected > 0));
    } else if (auto* rows = qobject_cast<ResultListView*>(list)) {
        // The information table has nothing to save.
        if (rows != m_infoList)
            entries.push_back(save(rows->SelCount() > 0));
        entries.push_back(copy(rows->SelCount() > 0));
    }
    FillRowMenu(*menu, entries, list->actions(), {m_copyRows});
    return menu;
}

void TForm1::ShowRowMenu(QAbstractItemView* list, const QPoint& pos)
{
    if (m_scan.Running())
        return;
    const std::unique_ptr<QMenu> menu = RowMenu(list);
    menu->exec(list->viewport()->mapToGlobal(pos));
}

void TForm1::ShowInFolder(const QString& copy)
{
    if (copy.isEmpty()) {
        m_saveResult->SetMessage(QStringLiteral("Не удалось записать копию, чтобы показать её в папке"));
        return;
    }
    const QString folder = QFileInfo(copy).path();
    const QUrl url = QUrl::fromLocalFile(folder);
    if (!(m_seams.OpenUrl ? m_seams.OpenUrl(url) : QDesktopServices::openUrl(url))) {
        const QString shown = QDir::toNativeSeparators(folder);
        m_saveResult->SetMessage(QStringLiteral("Нет программы, чтобы показать папку %1").arg(shown), shown);
    }
}

}  // namespace kestrix
