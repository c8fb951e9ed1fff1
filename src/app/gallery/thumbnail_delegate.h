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
    // The sides a thumbnail can be shown at; kSide is the decoded one.
    static constexpr int kMinSide = 48;
    static constexpr int kMaxSide = 192;

    // The caption as it fits width: a caption too wide loses the start of its
    // name, so the end, which holds a row's number and the extension, stays
    // ("…инка (1001).bmp").
    static QString ElidedCaption(const QFontMetrics& metrics, const QString& caption, int width);
    // The grid's cell size for a font of metrics and thumbnails of side, spacing included.
    static QSize GridSize(const QFontMetrics& metrics, int side = kSide);

    // The side thumbnails are shown at (clamped to kMinSide..kMaxSide): a
    // thumbnail is scaled from its decoded size, enlarged pixels kept sharp.
    int Side() const noexcept { return m_side; }
    void SetSide(int side);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int m_side = kSide;
};

}  // namespace kestrix
