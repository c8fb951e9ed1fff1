#pragma once

#include "picture_search.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QIcon>
#include <QImage>
#include <QSize>
#include <QString>
#include <QThreadPool>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace kestrix {

// What the gallery holds of one picture's decoded pixels.
enum class ThumbnailState : uint8_t {
    NotDecoded,    // never asked for, or dropped from the cache since
    Queued,        // asked for, waiting for the decoder
    Decoding,      // the decoder works on it now
    Ready,         // decoded and in the cache
    Undecodable,   // the decoder refused the bytes
    TooLarge,      // the picture is above the decode guard and is never decoded
    OutsideImage,  // the row's range does not lie inside the image
};

// Pictures of more pixels than this are never decoded, whatever their bytes claim.
inline constexpr int64_t kMaxDecodedPixels = 4096LL * 4096;
// No decoder may allocate more than this for one picture (a header that hides its
// size until decoding is stopped here).
inline constexpr int kDecodeAllocationLimitMb = 128;

// The outcome of one gallery decode: a thumbnail or the reason there is none.
struct GalleryPicture {
    // Ready, Undecodable, TooLarge or OutsideImage.
    ThumbnailState State = ThumbnailState::Undecodable;
    // The first frame, ARGB32 premultiplied; null unless State is Ready.
    QImage Image;
    // The picture's own size as its header gives it; invalid when unknown.
    QSize SourceSize;
};

// Decodes the first frame of the picture held in bytes. A picture larger than box
// is scaled down to fit it, keeping its aspect; an invalid box keeps the size.
// declaredSize (the search's width and height; invalid or empty when unknown) and
// the header's size are both checked against kMaxDecodedPixels before any pixel is
// decoded. Empty bytes are Undecodable. Safe to call on any thread.
GalleryPicture DecodeGalleryPicture(std::span<const uint8_t> bytes, QSize box, QSize declaredSize = {});

// The found pictures as a read-only table (name, type, start, end, size,
// width × height, frames, status) with thumbnails decoded on demand.
//
// A thumbnail is asked for only through ThumbnailRole (what the grid paints); the
// request is queued and decoded on one worker thread, newest request first, so the
// rows in view come first and the window never waits for a decoder. A request whose
// row has gone out of view (RowWanted) by the time the worker is free is dropped.
// Decoded thumbnails live in a cache bounded in bytes; a thumbnail dropped from it is
// decoded again when asked for. The image bytes are read on the worker thread: they
// must stay alive and unchanged until the next SetPictures or Clear, or until the
// model is destroyed (each of which waits for the decode in progress).
class PictureGalleryModel : public QAbstractTableModel {
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
    static constexpr int kColumnCount = 8;
    enum Role : int {
        // QImage: the decoded thumbnail, or a null image while there is none.
        ThumbnailRole = Qt::UserRole + 1,
        // int: the ThumbnailState (asking for it does not request a decode).
        ThumbnailStateRole,
        // int: the row's PictureStatus.
        PictureStatusRole,
    };
    // Thumbnails fit a square of this side.
    static constexpr int kThumbnailSide = 96;
    // Default cache bound: about 2,000 thumbnails of full size.
    static constexpr int64_t kDefaultCacheBytes = 64LL << 20;

    explicit PictureGalleryModel(QObject* parent = nullptr);
    ~PictureGalleryModel() override;

    // Replaces every row; image is the buffer the rows' offsets point into. Waits for
    // the decode in progress and forgets every thumbnail.
    void SetPictures(std::vector<FoundPicture> rows, std::span<const uint8_t> image);
    // No rows, no image.
    void Clear() { SetPictures({}, {}); }

    const std::vector<FoundPicture>& Rows() const noexcept { return m_rows; }
    std::span<const uint8_t> Image() const noexcept { return m_image; }
    // The bytes of row; empty when row does not exist or its range is not inside the image.
    std::span<const uint8_t> PictureBytes(int32_t row) const noexcept;

    // The caption under a thumbnail and in the name column: PictureCaption (the
    // entry name, or "Картинка (row + 1).ext"), decoded from Windows-1251; also the
    // name the picture is saved under.
    static QString Caption(const FoundPicture& picture, int32_t row);
    // "gif", "bmp", "jpg", "png".
    static QString TypeText(PictureType type);
    // "Целая", "Обрезана", "Повреждена".
    static QString StatusText(PictureStatus status);

    // The thumbnail cache's bound in bytes; never below one full-size thumbnail.
    void SetCacheLimit(int64_t bytes);
    int64_t CacheLimit() const noexcept { return m_cache.maxCost(); }
    // Bytes held by the cached thumbnails, and how many there are.
    int64_t CacheCost() const noexcept { return m_cache.totalCost(); }
    int32_t CachedCount() const noexcept { return static_cast<int32_t>(m_cache.count()); }
    // Thumbnail decodes started since the last SetPictures.
    int32_t DecodeCount() const noexcept { return m_decodeCount; }
    // ThumbnailState of row (NotDecoded for a row that does not exist).
    ThumbnailState State(int32_t row) const;
    // No decode running or waiting.
    bool DecoderIdle() const noexcept;

    // Whether row is still worth decoding when the worker gets to it (is in view).
    // Empty: every request is decoded.
    std::function<bool(int32_t row)> RowWanted;

    // Decodes row to fit box, ahead of every thumbnail; replaces an earlier preview
    // request that has not started. OnPreviewDecoded reports the result.
    void RequestPreview(int32_t row, QSize box);
    // Drops a preview request that has not started.
    void CancelPreview() noexcept { m_previewRequest.reset(); }
    std::function<void(int32_t row, const GalleryPicture& picture)> OnPreviewDecoded;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Job {
        int32_t Row = -1;
        bool Preview = false;
        QSize Box;
    };

    QVariant Thumbnail(int32_t row) const;
    QString ToolTip(int32_t row) const;
    QString CellText(int32_t row, int column) const;
    void RequestThumbnail(int32_t row) const;
    void PostDispatch() const;
    void Dispatch();
    void Start(const Job& job);
    void Finished(uint32_t generation, const Job& job, const GalleryPicture& picture);

    std::vector<FoundPicture> m_rows;
    std::span<const uint8_t> m_image;
    // Asking for a thumbnail from data() queues work: the bookkeeping is mutable.
    mutable std::vector<ThumbnailState> m_states;
    mutable std::vector<int32_t> m_queue;
    mutable QCache<int32_t, QImage> m_cache;
    mutable bool m_dispatchPosted = false;
    mutable QIcon m_rowIcon;
    std::optional<Job> m_previewRequest;
    bool m_busy = false;
    // Results of a decode started before the last SetPictures are dropped.
    uint32_t m_generation = 0;
    int32_t m_decodeCount = 0;
    QThreadPool m_pool;
};

}  // namespace kestrix
