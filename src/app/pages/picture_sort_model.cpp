#include "picture_sort_model.h"

#include "picture_gallery_model.h"

#include <algorithm>
#include <numeric>

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

}  // namespace

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

PictureSortModel::PictureSortModel(QObject* parent) : QSortFilterProxyModel(parent)
{
    setSortRole(PictureGalleryModel::SortRole);
}

void PictureSortModel::SetNameFilter(const QString& text)
{
    const QString name = text.trimmed();
    if (name == m_name)
        return;
    m_name = name;
    invalidate();
}

void PictureSortModel::SetOnlyFlawed(bool value)
{
    if (value == m_onlyFlawed)
        return;
    m_onlyFlawed = value;
    invalidate();
}

bool PictureSortModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const QModelIndex first = sourceModel()->index(sourceRow, 0, sourceParent);
    if (m_onlyFlawed) {
        const auto status = static_cast<ItemStatus>(first.data(PictureGalleryModel::PictureStatusRole).toInt());
        if (status != ItemStatus::Truncated && status != ItemStatus::Damaged)
            return false;
    }
    if (m_name.isEmpty())
        return true;
    const QString name = m_pictures != nullptr ? m_pictures->RowCaption(sourceRow) : first.data().toString();
    return name.contains(m_name, Qt::CaseInsensitive);
}

void PictureSortModel::setSourceModel(QAbstractItemModel* model)
{
    if (sourceModel() != nullptr)
        disconnect(sourceModel(), nullptr, this, nullptr);
    m_pictures = qobject_cast<const PictureGalleryModel*>(model);
    m_nameRanks.clear();
    if (model != nullptr)
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_nameRanks.clear(); });
    QSortFilterProxyModel::setSourceModel(model);
}

int32_t PictureSortModel::NameRank(int row) const
{
    const std::size_t count = m_pictures->Rows().size();
    if (m_nameRanks.size() != count) {
        std::vector<int32_t> order(count);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [this](int32_t a, int32_t b) {
            return NaturalCompare(m_pictures->RowCaption(a), m_pictures->RowCaption(b)) < 0;
        });
        m_nameRanks.assign(count, 0);
        int32_t rank = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (i > 0 && NaturalCompare(m_pictures->RowCaption(order[i - 1]), m_pictures->RowCaption(order[i])) != 0)
                ++rank;
            m_nameRanks[static_cast<std::size_t>(order[i])] = rank;
        }
    }
    return m_nameRanks[static_cast<std::size_t>(row)];
}

bool PictureSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    // A click on a header of a long list compares rows some million times.
    if (m_pictures != nullptr && sortRole() == PictureGalleryModel::SortRole) {
        const int column = left.column();
        int order = 0;
        if (column == PictureGalleryModel::kNameColumn) {
            // Ranked once, so that refiltering a list sorted by name does not compare texts again.
            const int32_t a = NameRank(left.row());
            const int32_t b = NameRank(right.row());
            order = a < b ? -1 : (b < a ? 1 : 0);
        } else if (!PictureGalleryModel::IsTextColumn(column)) {
            const qlonglong a = m_pictures->NumberKey(left.row(), column);
            const qlonglong b = m_pictures->NumberKey(right.row(), column);
            order = a < b ? -1 : (b < a ? 1 : 0);
        } else {
            order = NaturalCompare(left.data(sortRole()).toString(), right.data(sortRole()).toString());
        }
        return order != 0 ? order < 0 : left.row() < right.row();
    }
    const QVariant a = left.data(sortRole());
    const QVariant b = right.data(sortRole());
    int order = 0;
    if (a.typeId() == QMetaType::QString)
        order = NaturalCompare(a.toString(), b.toString());
    else
        order = a.toLongLong() < b.toLongLong() ? -1 : (b.toLongLong() < a.toLongLong() ? 1 : 0);
    // Equal keys keep the search's order.
    return order != 0 ? order < 0 : left.row() < right.row();
}

}  // namespace kestrix
