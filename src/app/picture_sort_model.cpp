#include "picture_sort_model.h"

#include "picture_gallery_model.h"

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
        const int order = a.sliced(startA, i - startA).compare(b.sliced(startB, j - startB), Qt::CaseInsensitive);
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

PictureSortModel::PictureSortModel(QObject* parent)
    : QSortFilterProxyModel(parent), m_statusRole(PictureGalleryModel::PictureStatusRole)
{
    setSortRole(PictureGalleryModel::SortRole);
}

void PictureSortModel::SetNameFilter(const QString& text)
{
    const QString name = text.trimmed();
    if (name == m_name)
        return;
    m_name = name;
    invalidateRowsFilter();
}

void PictureSortModel::SetOnlyFlawed(bool value)
{
    if (value == m_onlyFlawed)
        return;
    m_onlyFlawed = value;
    invalidateRowsFilter();
}

void PictureSortModel::SetStatusRole(int role)
{
    m_statusRole = role;
    invalidateRowsFilter();
}

bool PictureSortModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const QAbstractItemModel* source = sourceModel();
    if (m_onlyFlawed) {
        const auto status =
            static_cast<PictureStatus>(source->index(sourceRow, 0, sourceParent).data(m_statusRole).toInt());
        if (status != PictureStatus::Truncated && status != PictureStatus::Damaged)
            return false;
    }
    return m_name.isEmpty() || source->index(sourceRow, 0, sourceParent)
                                   .data(Qt::DisplayRole)
                                   .toString()
                                   .contains(m_name, Qt::CaseInsensitive);
}

bool PictureSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
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
