#pragma once

#include <QSortFilterProxyModel>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace kestrix {

// The rows of the gallery and of the content pages in the order the user
// picked with a click on a column header (the sort role: PictureGalleryModel::SortRole
// unless set otherwise): numbers as numbers, texts by
// NaturalCompare. Rows of equal keys, and all rows while unsorted (column -1),
// keep the search's order. Rows can be filtered by a part of their name (the
// display text of column 0, case ignored) and to the truncated and damaged
// ones: any source model that answers PictureGalleryModel::PictureStatusRole
// with an ItemStatus (as an int) can be shown through it.
class PictureSortModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit PictureSortModel(QObject* parent = nullptr);

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
    void setSourceModel(QAbstractItemModel* model) override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_name;
    bool m_onlyFlawed = false;
    // The place of row's caption in the natural order of all captions (equal
    // captions share one), made at the first need after each reset of the source.
    int32_t NameRank(int row) const;

    // The source when it is the gallery's own model: its keys are read without QVariant.
    const class PictureGalleryModel* m_pictures = nullptr;
    mutable std::vector<int32_t> m_nameRanks;
};

}  // namespace kestrix
