#include "picture_sort_model.h"

#include "picture_gallery_model.h"

#include <QMetaObject>

#include <algorithm>
#include <numeric>
#include <utility>

namespace kestrix {
namespace {

// The digits of text from at on, without leading zeros.
QStringView DigitRun(QStringView text, qsizetype& at)
{
    while (at < text.size() && text[at] == u'0' && at + 1 < text.size() && text[at + 1].isDigit())
        ++at;
    const qsizetype start = at;
    while (at < text.size() && text[at].isDigit())
        ++at;
    return text.sliced(start, at - start);
}

// Thrown out of a sort's comparison when the sort is to stop.
struct Stopped {};

// Sorts rows stably by less; false, the rows in no particular order, when
// cancel was set meanwhile (it is looked at every thousand comparisons).
template <class Less>
bool StableSortRows(std::vector<int32_t>& rows, const Less& less, const std::atomic<bool>& cancel)
{
    uint32_t calls = 0;
    try {
        std::stable_sort(rows.begin(), rows.end(), [&](int32_t a, int32_t b) {
            if ((++calls & 0x3FFu) == 0 && cancel.load(std::memory_order_relaxed))
                throw Stopped{};
            return less(a, b);
        });
    } catch (const Stopped&) {
        return false;
    }
    return true;
}

// The numbers of rows 0..count-1 read by key; false when cancel was set meanwhile.
bool ReadNumbers(std::vector<qlonglong>& keys, int32_t count, const std::function<qlonglong(int32_t)>& key,
                 const std::atomic<bool>& cancel)
{
    keys.resize(static_cast<std::size_t>(count));
    for (int32_t row = 0; row < count; ++row) {
        if (cancel.load(std::memory_order_relaxed))
            return false;
        keys[static_cast<std::size_t>(row)] = key(row);
    }
    return true;
}

// The texts of rows 0..count-1 read by key, one after another in text: row's
// from starts[row] to starts[row + 1]. Two blocks rather than a million
// strings: the thread's allocations stay out of the window's way.
bool ReadTexts(std::vector<char16_t>& text, std::vector<std::size_t>& starts, int32_t count,
               const std::function<QString(int32_t)>& key, const std::atomic<bool>& cancel)
{
    starts.resize(static_cast<std::size_t>(count) + 1);
    for (int32_t row = 0; row < count; ++row) {
        if (cancel.load(std::memory_order_relaxed))
            return false;
        starts[static_cast<std::size_t>(row)] = text.size();
        const QString value = key(row);
        text.insert(text.end(), value.utf16(), value.utf16() + value.size());
    }
    starts.back() = text.size();
    return true;
}

}  // namespace

// The order of every source row by one column, or the filter's verdict on
// every row, or both, worked out on the window's thread or a thread of its
// own. Sorted stays empty for the search's order, Accepted when every row passes.
struct PictureSortModel::Job {
    int32_t Rows = 0;
    // What is worked out: the order (by Keys when set) and the verdicts (by Accept when set).
    bool Sort = false;
    bool Filter = false;
    Qt::SortOrder Order = Qt::AscendingOrder;
    SortKeySource::Reader Keys;
    std::function<bool(int32_t row)> Accept;
    std::atomic<bool> Cancel{false};
    std::vector<int32_t> Sorted;
    std::vector<uint8_t> Accepted;
    // Set by the thread when Run has worked everything out; read once it has ended.
    bool Done = false;

    bool Busy() const { return Keys.Number || Keys.Text || Accept; }

    // False when cancelled.
    bool Run() { return RunFilter() && RunSort(); }

    bool RunFilter()
    {
        if (!Accept)
            return true;
        Accepted.resize(static_cast<std::size_t>(Rows));
        for (int32_t row = 0; row < Rows; ++row) {
            if (Cancel.load(std::memory_order_relaxed))
                return false;
            Accepted[static_cast<std::size_t>(row)] = Accept(row) ? 1 : 0;
        }
        return true;
    }

    bool RunSort()
    {
        if (!Keys.Number && !Keys.Text)
            return true;
        std::vector<int32_t> rows(static_cast<std::size_t>(Rows));
        std::iota(rows.begin(), rows.end(), 0);
        bool done = false;
        if (Keys.Number) {
            std::vector<qlonglong> keys;
            done = ReadNumbers(keys, Rows, Keys.Number, Cancel) &&
                   StableSortRows(
                       rows,
                       [&keys](int32_t a, int32_t b) {
                           return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
                       },
                       Cancel);
        } else {
            std::vector<char16_t> text;
            std::vector<std::size_t> starts;
            const auto key = [&](int32_t row) {
                const std::size_t start = starts[static_cast<std::size_t>(row)];
                return QStringView(text.data() + start, starts[static_cast<std::size_t>(row) + 1] - start);
            };
            done = ReadTexts(text, starts, Rows, Keys.Text, Cancel) &&
                   StableSortRows(
                       rows, [&key](int32_t a, int32_t b) { return NaturalCompare(key(a), key(b)) < 0; }, Cancel);
        }
        if (!done)
            return false;
        // Rows of equal keys keep the search's order going up, and the reverse going down.
        if (Order == Qt::DescendingOrder)
            std::reverse(rows.begin(), rows.end());
        Sorted = std::move(rows);
        return true;
    }
};

int PictureSortModel::NaturalCompare(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const QStringView x = DigitRun(a, i);
            const QStringView y = DigitRun(b, j);
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            if (const int order = x.compare(y); order != 0)
                return order < 0 ? -1 : 1;
            continue;
        }
        const qsizetype startA = i;
        const qsizetype startB = j;
        while (i < a.size() && !a[i].isDigit())
            ++i;
        while (j < b.size() && !b[j].isDigit())
            ++j;
        const QStringView runA = a.sliced(startA, i - startA);
        const QStringView runB = b.sliced(startB, j - startB);
        // Most names share their words: an exact match skips the slower caseless compare.
        if (runA == runB)
            continue;
        const int order = runA.compare(runB, Qt::CaseInsensitive);
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

PictureSortModel::PictureSortModel(QObject* parent)
    : QAbstractProxyModel(parent), m_sortRole(PictureGalleryModel::SortRole)
{
}

PictureSortModel::~PictureSortModel()
{
    StopJob();
}

void PictureSortModel::SetNameFilter(const QString& text)
{
    const QString name = text.trimmed();
    if (name == m_name)
        return;
    m_name = name;
    Request(false, true, false);
}

void PictureSortModel::SetOnlyFlawed(bool value)
{
    if (value == m_onlyFlawed)
        return;
    m_onlyFlawed = value;
    Request(false, true, false);
}

std::function<bool(int32_t row)> PictureSortModel::AcceptOf() const
{
    if (!Filtering())
        return {};
    std::function<QString(int32_t)> name;
    std::function<qlonglong(int32_t)> status;
    if (m_keys != nullptr) {
        if (!m_name.isEmpty())
            name = m_keys->SortKeys(0).Text;
        if (m_onlyFlawed)
            status = m_keys->StatusKeys().Number;
    } else {
        // Another model's data are read here, on the window's thread: the thread gets a copy.
        const QAbstractItemModel& source = *sourceModel();
        auto names = std::make_shared<std::vector<QString>>();
        auto statuses = std::make_shared<std::vector<qlonglong>>();
        for (int row = 0; row < source.rowCount(); ++row) {
            const QModelIndex first = source.index(row, 0);
            names->push_back(first.data().toString());
            statuses->push_back(first.data(PictureGalleryModel::PictureStatusRole).toLongLong());
        }
        name = [names](int32_t row) { return (*names)[static_cast<std::size_t>(row)]; };
        status = [statuses](int32_t row) { return (*statuses)[static_cast<std::size_t>(row)]; };
    }
    return [text = m_name, onlyFlawed = m_onlyFlawed, name, status](int32_t row) {
        if (onlyFlawed) {
            const auto flaw = static_cast<ItemStatus>(status(row));
            if (flaw != ItemStatus::Truncated && flaw != ItemStatus::Damaged)
                return false;
        }
        return text.isEmpty() || name(row).contains(text, Qt::CaseInsensitive);
    };
}

int PictureSortModel::SourceRows() const
{
    return sourceModel() != nullptr ? sourceModel()->rowCount() : 0;
}

void PictureSortModel::Map()
{
    const auto rows = static_cast<std::size_t>(SourceRows());
    m_fromSource.assign(rows, -1);
    m_toSource.clear();
    const bool filtered = m_accepted.size() == rows;
    const auto place = [&](int32_t row) {
        if (filtered && m_accepted[static_cast<std::size_t>(row)] == 0)
            return;
        m_fromSource[static_cast<std::size_t>(row)] = static_cast<int32_t>(m_toSource.size());
        m_toSource.push_back(row);
    };
    if (m_sorted.size() == rows) {
        for (const int32_t row : m_sorted)
            place(row);
    } else {
        for (std::size_t row = 0; row < rows; ++row)
            place(static_cast<int32_t>(row));
    }
}

void PictureSortModel::Relayout(QAbstractItemModel::LayoutChangeHint hint)
{
    emit layoutAboutToBeChanged({}, hint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::pair<int32_t, int>> sources;
    sources.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before) {
        const auto row = static_cast<std::size_t>(index.row());
        sources.emplace_back(row < m_toSource.size() ? m_toSource[row] : -1, index.column());
    }
    Map();
    QModelIndexList after;
    after.reserve(before.size());
    for (const auto& [row, column] : sources) {
        const int32_t shown = row >= 0 ? m_fromSource[static_cast<std::size_t>(row)] : -1;
        after.push_back(shown >= 0 ? createIndex(shown, column) : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, hint);
}

SortKeySource::Reader PictureSortModel::KeysOf(int column) const
{
    if (m_keys != nullptr)
        return m_keys->SortKeys(column);
    // Another model's data are read here, on the window's thread: the thread gets a copy.
    const int rows = SourceRows();
    const QAbstractItemModel& source = *sourceModel();
    SortKeySource::Reader reader;
    if (rows > 0 && source.index(0, column).data(m_sortRole).typeId() == QMetaType::QString) {
        auto keys = std::make_shared<std::vector<QString>>();
        for (int row = 0; row < rows; ++row)
            keys->push_back(source.index(row, column).data(m_sortRole).toString());
        reader.Text = [keys](int32_t row) { return (*keys)[static_cast<std::size_t>(row)]; };
    } else {
        auto keys = std::make_shared<std::vector<qlonglong>>();
        for (int row = 0; row < rows; ++row)
            keys->push_back(source.index(row, column).data(m_sortRole).toLongLong());
        reader.Number = [keys](int32_t row) { return (*keys)[static_cast<std::size_t>(row)]; };
    }
    return reader;
}

bool PictureSortModel::Ordering() const noexcept
{
    return m_job && (m_job->Keys.Number || m_job->Keys.Text);
}

void PictureSortModel::sort(int column, Qt::SortOrder order)
{
    m_column = column;
    m_order = order;
    Request(true, false, false);
}

void PictureSortModel::Request(bool sort, bool filter, bool quiet)
{
    // What the job in progress was to work out is worked out again, with what is asked now.
    if (m_job) {
        sort = sort || m_job->Sort;
        filter = filter || m_job->Filter;
        StopJob();
    }
    const int rows = SourceRows();
    auto job = std::make_shared<Job>();
    job->Rows = rows;
    job->Sort = sort;
    job->Filter = filter;
    job->Order = m_order;
    if (sort && rows > 0 && m_column >= 0 && m_column < sourceModel()->columnCount())
        job->Keys = KeysOf(m_column);
    if (filter && rows > 0)
        job->Accept = AcceptOf();
    if (rows >= m_backgroundFrom && job->Busy()) {
        m_job = job;
        m_thread = std::thread([this, job] {
            try {
                job->Done = job->Run();
            } catch (...) {
                // Out of memory for the keys: the rows stay as they are.
            }
            if (!job->Cancel.load())
                QMetaObject::invokeMethod(
                    this, [this, job] { Finish(job); }, Qt::QueuedConnection);
        });
        // Until the job is done, a new list shows unsorted and unfiltered, an old one as it was.
        if (quiet)
            Map();
        emit SortingChanged(true);
        return;
    }
    job->Run();
    Apply(*job, quiet);
}

void PictureSortModel::Apply(Job& job, bool quiet)
{
    if (job.Sort)
        m_sorted = std::move(job.Sorted);
    if (job.Filter)
        m_accepted = std::move(job.Accepted);
    if (quiet)
        Map();
    else
        Relayout(job.Filter ? QAbstractItemModel::NoLayoutChangeHint : QAbstractItemModel::VerticalSortHint);
}

void PictureSortModel::Finish(const std::shared_ptr<Job>& job)
{
    // What was posted just before its job was stopped is dropped.
    if (job != m_job)
        return;
    Settle();
}

void PictureSortModel::Settle()
{
    if (!m_job)
        return;
    m_thread.join();
    const std::shared_ptr<Job> job = std::move(m_job);
    m_job.reset();
    if (job->Done)
        Apply(*job, false);
    emit SortingChanged(false);
}

void PictureSortModel::StopJob()
{
    if (!m_job)
        return;
    // The thread looks at the flag every row it reads and every thousand
    // comparisons: the wait is short.
    m_job->Cancel.store(true);
    if (m_thread.joinable())
        m_thread.join();
    m_job.reset();
    emit SortingChanged(false);
}

void PictureSortModel::setSourceModel(QAbstractItemModel* model)
{
    StopJob();
    beginResetModel();
    if (sourceModel() != nullptr)
        disconnect(sourceModel(), nullptr, this, nullptr);
    QAbstractProxyModel::setSourceModel(model);
    m_keys = dynamic_cast<const SortKeySource*>(model);
    m_sorted.clear();
    m_accepted.clear();
    if (model != nullptr) {
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &PictureSortModel::SourceAboutToBeReset);
        connect(model, &QAbstractItemModel::modelReset, this, &PictureSortModel::SourceReset);
        connect(model, &QAbstractItemModel::dataChanged, this, &PictureSortModel::SourceDataChanged);
        connect(model, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
        // The pages' models only reset; rows or columns that come, go or
        // move in another source are shown as a reset.
        for (const auto signal :
             {&QAbstractItemModel::rowsAboutToBeInserted, &QAbstractItemModel::rowsAboutToBeRemoved,
              &QAbstractItemModel::columnsAboutToBeInserted, &QAbstractItemModel::columnsAboutToBeRemoved})
            connect(model, signal, this, &PictureSortModel::SourceAboutToBeReset);
        for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved,
                                  &QAbstractItemModel::columnsInserted, &QAbstractItemModel::columnsRemoved})
            connect(model, signal, this, &PictureSortModel::SourceReset);
        connect(model, &QAbstractItemModel::rowsAboutToBeMoved, this, &PictureSortModel::SourceAboutToBeReset);
        connect(model, &QAbstractItemModel::rowsMoved, this, &PictureSortModel::SourceReset);
        connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, &PictureSortModel::SourceAboutToBeReset);
        connect(model, &QAbstractItemModel::layoutChanged, this, &PictureSortModel::SourceReset);
        Request(true, true, true);
    } else {
        Map();
    }
    endResetModel();
}

void PictureSortModel::SourceAboutToBeReset()
{
    // The sort reads the source's rows, which are about to go.
    StopJob();
    beginResetModel();
}

void PictureSortModel::SourceReset()
{
    m_sorted.clear();
    m_accepted.clear();
    Request(true, true, true);
    endResetModel();
}

void PictureSortModel::SourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                         const QList<int>& roles)
{
    if (!topLeft.isValid() || m_toSource.empty())
        return;
    if (topLeft.row() == bottomRight.row()) {
        const QModelIndex at = mapFromSource(topLeft);
        if (at.isValid())
            emit dataChanged(at, index(at.row(), bottomRight.column()), roles);
        return;
    }
    // The changed rows lie anywhere in the order shown.
    emit dataChanged(index(0, topLeft.column()), index(rowCount() - 1, bottomRight.column()), roles);
}

QModelIndex PictureSortModel::mapToSource(const QModelIndex& proxyIndex) const
{
    if (!proxyIndex.isValid() || sourceModel() == nullptr)
        return {};
    const auto row = static_cast<std::size_t>(proxyIndex.row());
    return row < m_toSource.size() ? sourceModel()->index(m_toSource[row], proxyIndex.column()) : QModelIndex();
}

QModelIndex PictureSortModel::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid())
        return {};
    const auto row = static_cast<std::size_t>(sourceIndex.row());
    const int32_t shown = row < m_fromSource.size() ? m_fromSource[row] : -1;
    return shown >= 0 ? createIndex(shown, sourceIndex.column()) : QModelIndex();
}

QModelIndex PictureSortModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex PictureSortModel::parent(const QModelIndex&) const
{
    return {};
}

int PictureSortModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_toSource.size());
}

int PictureSortModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || sourceModel() == nullptr ? 0 : sourceModel()->columnCount();
}

bool PictureSortModel::hasChildren(const QModelIndex& parent) const
{
    return !parent.isValid() && rowCount() > 0 && columnCount() > 0;
}

QVariant PictureSortModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (sourceModel() == nullptr)
        return {};
    if (orientation == Qt::Horizontal)
        return sourceModel()->headerData(section, orientation, role);
    const auto row = static_cast<std::size_t>(section);
    return section >= 0 && row < m_toSource.size() ? sourceModel()->headerData(m_toSource[row], orientation, role)
                                                   : QVariant();
}

}  // namespace kestrix
