#pragma once

#include <QSortFilterProxyModel>
#include <QStringView>

namespace kestrix {

// The gallery's rows in the order the user picked with a click on a column
// header (PictureGalleryModel::SortRole): numbers as numbers, texts by
// NaturalCompare. Rows of equal keys, and all rows while unsorted (column -1),
// keep the search's order.
class PictureSortModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit PictureSortModel(QObject* parent = nullptr);

    // -1, 0 or 1 as a sorts before, with or after b: runs of digits compare as
    // numbers ("Картинка (2)" before "Картинка (10)"), the text between them
    // character by character, case ignored.
    static int NaturalCompare(QStringView a, QStringView b);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

}  // namespace kestrix
