#pragma once

#include "thumbnail_decoder.h"

#include <QStyledItemDelegate>

class QFontMetrics;

namespace kestrix {

// One cell of the gallery's grid: the thumbnail (PictureGalleryModel::ThumbnailRole)
// centred in a square, a badge in its corner for a truncated or damaged picture, a
// placeholder while there is no thumbnail, and the caption on one line below.
class ThumbnailDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kSide = ThumbnailDecoder::kThumbnailSide;
    static constexpr int kPadding = 4;
    static constexpr int kCellWidth = kSide + 24;

    // The caption as it fits width: a caption too wide loses the start of its
    // name, so the end, which holds a row's number and the extension, stays
    // ("…инка (1001).bmp").
    static QString ElidedCaption(const QFontMetrics& metrics, const QString& caption, int width);
    // The grid's cell size for a font of metrics, spacing included.
    static QSize GridSize(const QFontMetrics& metrics);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace kestrix
