#include "content_page.h"

#include "filter_bar.h"
#include "name_column_stretch.h"
#include "picture_sort_model.h"
#include "sort_busy_hint.h"
#include "sound_player_bar.h"
#include "window_text.h"

#include <QAction>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace kestrix {

ContentPage::ContentPage(ContentKind kind, bool audioOutput, QWidget* parent)
    : QWidget(parent), m_model(new ContentListModel(kind, this)), m_sorted(new PictureSortModel(this)),
      m_filter(new FilterBar), m_table(new QTableView), m_count(new QLabel)
{
    connect(m_filter, &FilterBar::Changed, this, [this] { SetFilter(m_filter->Text(), m_filter->OnlyFlawed()); });
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(ContentListModel::SortRole);
    // A long list is filtered off the window's thread: what it shows changes later.
    connect(m_sorted, &QAbstractItemModel::layoutChanged, this, [this] {
        ShowCount();
        SelectionChanged();
    });
    m_table->setModel(m_sorted);
    m_table->setSortingEnabled(true);
    new SortBusyHint(m_table->horizontalHeader(), m_sorted);
    m_table->sortByColumn(2, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 8);
    // The name takes the spare width, not the last column.
    m_nameStretch = new NameColumnStretch(m_table->horizontalHeader(), 0, 160);
    // The middle goes, so that the number and the extension of a name stay.
    m_table->setTextElideMode(Qt::ElideMiddle);
    // Column widths from the first rows: measuring thousands of rows would
    // keep the window from answering.
    m_table->horizontalHeader()->setResizeContentsPrecision(64);
    m_table->setColumnWidth(0, 220);
    m_table->setIconSize(QSize(24, 24));
    m_table->setObjectName(QStringLiteral("ContentTable"));
    // The window remembers this table's columns and sort (WindowLayout).
    m_table->setProperty("kestrixKeepHeader", true);
    auto* hex = new QAction(QStringLiteral("Смещения в hex"), this);
    hex->setObjectName(QStringLiteral("HexOffsets"));
    hex->setCheckable(true);
    connect(hex, &QAction::toggled, m_model, &ContentListModel::SetHexOffsets);
    m_table->addAction(hex);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_filter);
    layout->addWidget(m_table, 1);
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(4, 0, 4, 2);
    footer->addWidget(m_count, 1);
    if (kind == ContentKind::Sound) {
        m_player = new SoundPlayerBar(audioOutput);
        layout->addWidget(m_player);
        m_saveWav = new QToolButton;
        m_saveWav->setObjectName(QStringLiteral("SaveWavButton"));
        m_saveWav->setText(QStringLiteral("Сохранить как WAV"));
        m_saveWav->setToolTip(QStringLiteral("Сохранить выделенные звуки (или все, если ничего не выделено) как "
                                             "файлы WAV (16 бит), которые играет любой компьютер"));
        connect(m_saveWav, &QToolButton::clicked, this, [this] { emit SaveWavRequested(SelectedCount() > 0); });
        footer->addWidget(m_saveWav);
        connect(m_table, &QTableView::doubleClicked, this, [this] { m_player->TogglePlay(); });
        auto* space = new QShortcut(QKeySequence(Qt::Key_Space), m_table);
        space->setContext(Qt::WidgetShortcut);
        connect(space, &QShortcut::activated, this, [this] { m_player->TogglePlay(); });
    }
    layout->addLayout(footer);
    m_table->setDragEnabled(true);
    m_table->setDragDropMode(QAbstractItemView::DragOnly);
    if (kind != ContentKind::Sound)
        connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { OpenItem(index.row()); });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ContentPage::SelectionChanged);
}

ContentPage::~ContentPage()
{
    StopPlaying();
    // The model goes first among the children: a sort in progress reads it.
    m_sorted->setSourceModel(nullptr);
}

void ContentPage::SetResults(std::shared_ptr<const ContentResults> results, std::span<const uint8_t> image)
{
    StopPlaying();
    m_image = image;
    m_model->SetImage(image);
    m_model->SetResults(std::move(results));
    m_table->resizeColumnsToContents();
    m_nameStretch->Fit();
    ShowCount();
    SelectionChanged();
}

void ContentPage::SetFilter(const QString& text, bool onlyFaulty)
{
    m_sorted->SetNameFilter(text);
    m_sorted->SetOnlyFlawed(onlyFaulty);
    ShowCount();
}

void ContentPage::ShowCount()
{
    // As shown now: a filter still being worked out counts when it is shown.
    m_filter->SetCounts(m_sorted->rowCount(), RowCount());
    // The filter bar tells how many are shown; here only how many were found.
    if (RowCount() == 0)
        m_count->clear();
    else
        m_count->setText(QStringLiteral("Найдено: %1").arg(GroupedNumber(RowCount())));
}

int ContentPage::ShownCount() const
{
    m_sorted->Settle();
    return m_sorted->rowCount();
}

std::vector<bool> ContentPage::ShownItems() const
{
    std::vector<bool> shown(Results() != nullptr ? Results()->Found.Items.size() : 0, false);
    m_sorted->Settle();
    for (int row = 0; row < m_sorted->rowCount(); ++row)
        shown[m_model->ItemOf(m_sorted->mapToSource(m_sorted->index(row, 0)).row())] = true;
    return shown;
}

std::vector<bool> ContentPage::SelectedItems() const
{
    std::vector<bool> selected(Results() != nullptr ? Results()->Found.Items.size() : 0, false);
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        selected[m_model->ItemOf(m_sorted->mapToSource(index).row())] = true;
    return selected;
}

int ContentPage::SelectedCount() const
{
    return static_cast<int>(m_table->selectionModel()->selectedRows().size());
}

int ContentPage::RowCount() const
{
    return m_model->rowCount();
}

int ContentPage::SingleSelectedRow() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.front().row() : -1;
}

QString ContentPage::ScratchCopy(int row) const
{
    return m_model->ScratchCopy(m_sorted->mapToSource(m_sorted->index(row, 0)).row());
}

bool ContentPage::OpenItem(int row)
{
    const QString path = ScratchCopy(row);
    const QUrl url = QUrl::fromLocalFile(path);
    if (path.isEmpty() || !(m_openUrl ? m_openUrl(url) : QDesktopServices::openUrl(url))) {
        emit OpenFailed(path);
        return false;
    }
    return true;
}

void ContentPage::StopPlaying()
{
    if (m_player != nullptr)
        m_player->Stop();
}

void ContentPage::SelectionChanged()
{
    if (m_player == nullptr)
        return;
    const QModelIndex current = m_table->selectionModel()->currentIndex();
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    const QModelIndex chosen = current.isValid() && m_table->selectionModel()->isRowSelected(current.row())
                                   ? current
                                   : (rows.isEmpty() ? QModelIndex() : rows.front());
    if (!chosen.isValid() || Results() == nullptr) {
        m_player->SetSound(ItemType::File, {});
        return;
    }
    const FoundItem& item = Results()->Found.Items[m_model->ItemOf(m_sorted->mapToSource(chosen).row())];
    m_player->SetSound(item.Type, ItemBytes(item));
}

}  // namespace kestrix
