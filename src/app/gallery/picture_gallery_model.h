#pragma once

#include "picture_search.h"
#include "picture_sort_model.h"
#include "thumbnail_decoder.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace kestrix {

// The found pictures as a read-only table (name, type, start, end, size,
// width × height, frames, status). It holds the one list of found pictures; the
// thumbnails come from its ThumbnailDecoder, asked only through ThumbnailRole
// (what the grid paints). The image bytes must stay alive and unchanged until the
// next SetPictures or Clear, or until the model is destroyed.
class PictureGalleryModel : public QAbstractTableModel, public SortKeySource {
    Q_OBJECT
public:
    // The columns of the detailed list; the grid shows the name column.
    static constexpr int kNameColumn = 0;
    static constexpr int kTypeColumn = 1;
    static constexpr int kStartColumn = 2;
    static constexpr int kEndColumn = 3;
    static constexpr int kSizeColumn = 4;
    static constexpr int kDimensionsColumn = 5;
    static constexpr int kFramesColumn = 6;
    static constexpr int kStatusColumn = 7;
    // The SHA-256 of the picture's bytes, computed when first shown, copied or sorted.
    static constexpr int kDigestColumn = 8;
    static constexpr int kColumnCount = 9;
    enum Role : int {
        // QImage: the decoded thumbnail, or a null image while there is none.
        ThumbnailRole = Qt::UserRole + 1,
        // int: the ThumbnailState (asking for it does not request a decode).
        ThumbnailStateRole,
        // int: the row's ItemStatus.
        PictureStatusRole,
        // What a column sorts by: the caption (QString) for the name, the type
        // name, numbers (qlonglong) for start, end, size, frames and the pixel
        // count, the ItemStatus for the status.
        SortRole,
    };

    explicit PictureGalleryModel(QObject* parent = nullptr);
    ~PictureGalleryModel() override;

    // Replaces every row; image is the buffer the rows' offsets point into. Waits
    // for the decode in progress and forgets every thumbnail.
    void SetPictures(std::vector<FoundItem> rows, std::span<const uint8_t> image);
    // No rows, no image.
    void Clear() { SetPictures({}, {}); }

    const std::vector<FoundItem>& Rows() const noexcept { return m_rows; }
    std::span<const uint8_t> Image() const noexcept { return m_image; }

    // Start and end as "0x1A2B" in the display text, or decimal (the default).
    void SetHexOffsets(bool value);
    bool HexOffsets() const noexcept { return m_hexOffsets; }

    ThumbnailDecoder& Decoder() noexcept { return *m_decoder; }
    const ThumbnailDecoder& Decoder() const noexcept { return *m_decoder; }

    // The caption under a thumbnail and in the name column: PictureCaption (the
    // entry name, or "Картинка (row + 1).ext"), decoded from Windows-1251; also the
    // name the picture is saved under.
    static QString Caption(const FoundItem& picture, int32_t row);
    // Caption(Rows()[row], row), made once per row and kept until the next
    // SetPictures: sorting and filtering read it many times. row must exist.
    const QString& RowCaption(int32_t row) const;
    // The number a numeric column sorts by (start, end, size, pixel count,
    // frames, status); 0 for the text columns. row must exist.
    qlonglong NumberKey(int32_t row, int column) const;
    static bool IsTextColumn(int column) { return column == kNameColumn || column == kTypeColumn; }
    // The keys SortRole gives, for sorting off the window's thread: the
    // caption, the type's name and the SHA-256 as texts, the rest as NumberKey.
    Reader SortKeys(int column) const override;
    Reader StatusKeys() const override { return SortKeys(kStatusColumn); }

    // "Целая", "Обрезана", "Повреждена".
    static QString StatusText(ItemStatus status);
    // What the page tells of a picture, in three lines: its caption; its type,
    // width × height (when known), frames (of a GIF); its size and start
    // (as OffsetText gives it, hex or decimal).
    static QString Description(const FoundItem& picture, int32_t row, bool hexOffsets = false);

    // Writes row's bytes to a scratch copy named after its caption in the
    // "pictures" folder of the user's cache folder (created when missing) and
    // returns its path; an empty text when row does not exist, its range is
    // not inside the image or the file cannot be written.
    QString ScratchCopy(int32_t row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A drag carries the file URLs of scratch copies of the dragged rows.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    QString ToolTip(int32_t row) const;
    QString CellText(int32_t row, int column) const;
    const QString& Digest(int32_t row) const;
    // The SHA-256 of picture's bytes in image; empty when they lie outside it.
    static QString DigestOf(const FoundItem& picture, std::span<const uint8_t> image);
    static qlonglong NumberKeyOf(const FoundItem& picture, int column);
    QString Offset(int32_t offset) const;
    QVariant SortKey(int32_t row, int column) const;
    void ThumbnailChanged(int32_t row);

    std::vector<FoundItem> m_rows;
    std::span<const uint8_t> m_image;
    // Asking for a thumbnail from data() queues a decode: the decoder is not const there.
    ThumbnailDecoder* m_decoder = nullptr;
    QIcon m_rowIcon;
    bool m_hexOffsets = false;
    // RowCaption's texts; an empty vector until first asked.
    mutable std::vector<QString> m_captions;
    // The digests shown or copied so far, by row: most rows are never looked at.
    mutable std::unordered_map<std::size_t, QString> m_digests;
};

}  // namespace kestrix
