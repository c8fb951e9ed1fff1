#pragma once

#include "content_list_model.h"

#include <QUrl>
#include <QWidget>

#include <functional>

#include <memory>
#include <span>
#include <vector>

class QLabel;
class QTableView;
class QToolButton;

namespace kestrix {

class PictureSortModel;
class FilterBar;
class NameColumnStretch;
class SoundPlayerBar;

// One of our pages for a kind the content search finds ("Звуки",
// "Приложения", "Файлы телефона"): a sortable table of the kind's items and,
// for sounds, the bar that plays the selected one and the button that saves
// sounds as WAV files.
class ContentPage : public QWidget {
    Q_OBJECT
public:
    // audioOutput: whether Play can play (sounds only).
    ContentPage(ContentKind kind, bool audioOutput, QWidget* parent = nullptr);
    ~ContentPage() override;

    ContentKind Kind() const noexcept { return m_model->Kind(); }
    // Shows results (whose items lie in image, kept alive by the caller);
    // null clears the page. Stops what plays.
    void SetResults(std::shared_ptr<const ContentResults> results, std::span<const uint8_t> image);
    const ContentResults* Results() const noexcept { return m_model->Results(); }
    // The bytes of one of the results' items.
    std::span<const uint8_t> ItemBytes(const FoundItem& item) const
    {
        return m_image.subspan(static_cast<std::size_t>(item.Start), static_cast<std::size_t>(item.Size()));
    }

    // One flag per item of the results: the selected rows of this page.
    std::vector<bool> SelectedItems() const;
    // One flag per item of the results: the rows the filter shows (once a
    // filter being worked out off the window's thread is done).
    std::vector<bool> ShownItems() const;
    int SelectedCount() const;
    int RowCount() const;
    // The rows the filter shows (once a filter being worked out is done).
    int ShownCount() const;

    // The filter: rows whose name holds text (any case) and, with onlyFaulty,
    // only truncated and damaged ones.
    void SetFilter(const QString& text, bool onlyFaulty);
    FilterBar* Filter() const noexcept { return m_filter; }

    QTableView* Table() const noexcept { return m_table; }
    ContentListModel* Model() const noexcept { return m_model; }
    // Sounds only (null for the other kinds).
    SoundPlayerBar* Player() const noexcept { return m_player; }
    QToolButton* SaveWavButton() const noexcept { return m_saveWav; }

    void StopPlaying();

    // Opens the item at a row of the table (as shown) with the desktop's
    // program for its type, through a copy in the cache folder; false when
    // the copy could not be written or the desktop refused it. Sounds play
    // on a double click instead.
    bool OpenItem(int row);
    // The table row (as shown) of the one selected row; -1 unless exactly one is selected.
    int SingleSelectedRow() const;
    // Writes the item at a row of the table (as shown) to its copy in the
    // cache folder; its path, or empty when it could not be written.
    QString ScratchCopy(int row) const;
    // How an item's copy is opened; QDesktopServices::openUrl unless set.
    void SetUrlOpener(std::function<bool(const QUrl&)> opener) { m_openUrl = std::move(opener); }

signals:
    // No desktop program opened the copy at path (empty: no copy could be written).
    void OpenFailed(const QString& path);
    // "Сохранить как WAV": selected (true) or all sounds.
    void SaveWavRequested(bool selectedOnly);

private:
    void SelectionChanged();

    void ShowCount();

    ContentListModel* m_model;
    PictureSortModel* m_sorted;
    FilterBar* m_filter;
    QTableView* m_table;
    QLabel* m_count;
    NameColumnStretch* m_nameStretch = nullptr;
    SoundPlayerBar* m_player = nullptr;
    QToolButton* m_saveWav = nullptr;
    std::span<const uint8_t> m_image;
    std::function<bool(const QUrl&)> m_openUrl;
};

}  // namespace kestrix
