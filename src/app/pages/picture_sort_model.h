#pragma once

#include <QAbstractProxyModel>
#include <QStringView>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace kestrix {

// Rows from which a table is sorted off the window's thread.
inline constexpr int kBusySortRows = 50000;

// A source model of PictureSortModel that hands out the keys of a column, so
// that a long list is sorted off the window's thread.
class SortKeySource {
public:
    // The key of each row of one column: a number, or a text compared by
    // PictureSortModel::NaturalCompare; exactly one of the two is set. It may
    // be called on any thread, for the rows the model has when the reader is
    // made, until the model is next reset or destroyed.
    struct Reader {
        std::function<qlonglong(int32_t row)> Number;
        std::function<QString(int32_t row)> Text;
    };
    virtual Reader SortKeys(int column) const = 0;
    // The ItemStatus of each row (as a number), read as SortKeys' are.
    virtual Reader StatusKeys() const = 0;

protected:
    ~SortKeySource() = default;
};

// The rows of the gallery and of the content pages in the order the user
// picked with a click on a column header: numbers as numbers, texts by
// NaturalCompare. Rows of equal keys, and all rows while unsorted (column -1),
// keep the search's order; descending is ascending reversed. Rows can be
// filtered by a part of their name (the display text of column 0, case
// ignored) and to the truncated and damaged ones: any flat source model that
// answers PictureGalleryModel::PictureStatusRole with an ItemStatus (as an int)
// can be shown through it.
//
// A list of BackgroundFrom() rows or more is sorted and filtered on a thread
// of its own, from its SortKeySource's keys (or, for another source, a copy of
// its data taken on the window's thread); the result is applied in one layout
// change, persistent indexes (selection, current row) following their rows.
// Until then the rows stay as they were and Sorting() is true. A newer sort or
// filter stops the job in progress and works out what it was to work out
// again with what is asked now; a reset of the source or the model's end stops
// it and drops its result.
class PictureSortModel : public QAbstractProxyModel {
    Q_OBJECT
public:
    explicit PictureSortModel(QObject* parent = nullptr);
    ~PictureSortModel() override;

    // -1, 0 or 1 as a sorts before, with or after b: runs of digits compare as
    // numbers ("Картинка (2)" before "Картинка (10)"), the text between them
    // character by character, case ignored.
    static int NaturalCompare(QStringView a, QStringView b);

    // Keeps only the rows whose name contains text, case ignored; spaces around
    // it are dropped and an empty text keeps every row.
    void SetNameFilter(const QString& text);
    // Keeps only the truncated and damaged rows (by PictureGalleryModel::PictureStatusRole), or every row.
    void SetOnlyFlawed(bool value);
    // Whether a filter may hide rows.
    bool Filtering() const { return !m_name.isEmpty() || m_onlyFlawed; }

    // The role a source that is no SortKeySource is sorted by
    // (PictureGalleryModel::SortRole unless set).
    void setSortRole(int role) { m_sortRole = role; }
    int sortRole() const noexcept { return m_sortRole; }
    // Lists of this many rows or more are sorted off the window's thread (kBusySortRows unless set).
    void SetBackgroundFrom(int rows) noexcept { m_backgroundFrom = rows; }
    int BackgroundFrom() const noexcept { return m_backgroundFrom; }
    // Whether a sort or a filter runs off the window's thread, its result not yet shown.
    bool Sorting() const noexcept { return m_job != nullptr; }
    // Whether that job orders the rows (otherwise it only filters them).
    bool Ordering() const noexcept;
    // Waits for the job in progress, if any, and shows its result: for a
    // command that acts on the rows as sorted and filtered.
    void Settle();
    // The column (-1: the search's order) and direction last asked for.
    int SortColumn() const noexcept { return m_column; }
    Qt::SortOrder SortOrder() const noexcept { return m_order; }

    void setSourceModel(QAbstractItemModel* model) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // A sort or filter off the window's thread started (true) or ended
    // (false), whether its result was shown or dropped.
    void SortingChanged(bool sorting);

private:
    struct Job;

    int SourceRows() const;
    SortKeySource::Reader KeysOf(int column) const;
    // The filter's verdict on a row, callable on any thread; empty without a filter.
    std::function<bool(int32_t row)> AcceptOf() const;
    // The mapping both ways from the order and the filter's verdicts; no signal.
    void Map();
    // Map() in one layout change, persistent indexes following their rows.
    void Relayout(QAbstractItemModel::LayoutChangeHint hint);
    // Works out the order (sort) or the filter's verdicts (filter) as now
    // asked for: at once for a short list, shown in a layout change unless
    // quiet, otherwise on a thread of its own.
    void Request(bool sort, bool filter, bool quiet);
    void Apply(Job& job, bool quiet);
    void Finish(const std::shared_ptr<Job>& job);
    // Stops the sort in progress, if any, and waits for its thread.
    void StopJob();
    void SourceAboutToBeReset();
    void SourceReset();
    void SourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles);

    QString m_name;
    bool m_onlyFlawed = false;
    int m_sortRole;
    int m_backgroundFrom = kBusySortRows;
    int m_column = -1;
    Qt::SortOrder m_order = Qt::AscendingOrder;
    const SortKeySource* m_keys = nullptr;
    // Every source row in the order shown (empty: the source's order), the
    // filter's verdicts (empty: every row passes), and the mapping both ways.
    std::vector<int32_t> m_sorted;
    std::vector<uint8_t> m_accepted;
    std::vector<int32_t> m_toSource;
    std::vector<int32_t> m_fromSource;
    std::shared_ptr<Job> m_job;
    std::thread m_thread;
};

}  // namespace kestrix
