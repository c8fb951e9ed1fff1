#pragma once

#include "picture_search.h"

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSize>
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

// The outcome of one gallery decode: a picture fitted to a box, or the reason there is none.
struct GalleryPicture {
    // Ready, Undecodable, TooLarge or OutsideImage.
    ThumbnailState State = ThumbnailState::Undecodable;
    // The first frame, ARGB32 premultiplied; null unless State is Ready.
    QImage Image;
    // The picture's own size; invalid when unknown.
    QSize SourceSize;
};

// Decodes the first frame of a picture of type held in bytes with the strict
// decoder (DecodePicture) and scales it down to fit box, keeping its aspect; a
// picture inside box, or an invalid box, keeps its size. declaredSize (the
// search's width and height; empty when unknown) above kMaxPicturePixels is
// TooLarge before any pixel is decoded, and so is a picture the decoder refuses
// as too large. Empty bytes are Undecodable. Safe to call on any thread.
GalleryPicture DecodeToFit(ItemType type, std::span<const uint8_t> bytes, QSize box, QSize declaredSize = {});

// Decodes the thumbnails and the large view of a list of found pictures off the
// window's thread.
//
// A thumbnail is asked for through Thumbnail (what the grid paints); the request
// is queued and decoded on one worker of a pool the decoder owns, newest request
// first, so the rows in view come first and the window never waits for a decoder.
// A request whose row is no longer wanted (RowWanted) when the worker is free is
// dropped. Decoded thumbnails live in a cache bounded in bytes; a thumbnail
// dropped from it is decoded again when asked for. The rows and image bytes are
// read on the worker: they must stay alive and unchanged until the next Reset or
// the decoder's destruction, each of which waits for the decode in progress; a
// result of a decode started before a Reset is dropped (generation counter).
class ThumbnailDecoder : public QObject {
    Q_OBJECT
public:
    // Thumbnails fit a square of this side.
    static constexpr int kThumbnailSide = 96;
    // Default cache bound: about 2,000 thumbnails of full size.
    static constexpr int64_t kDefaultCacheBytes = 64LL << 20;

    explicit ThumbnailDecoder(QObject* parent = nullptr);
    ~ThumbnailDecoder() override;

    // Starts over with rows whose offsets point into image; waits for the decode in
    // progress and forgets every request and thumbnail.
    void Reset(std::span<const FoundItem> rows, std::span<const uint8_t> image);

    // The bytes of row; empty when row does not exist or its range is not inside the image.
    std::span<const uint8_t> PictureBytes(int32_t row) const noexcept;

    // The cached thumbnail of row; otherwise a null image, and the thumbnail is
    // asked for (OnThumbnailChanged reports when its state settles).
    QImage Thumbnail(int32_t row);
    // ThumbnailState of row (NotDecoded for a row that does not exist); asks for nothing.
    ThumbnailState State(int32_t row) const;

    // Decodes row to fit box, ahead of every thumbnail; replaces an earlier preview
    // request that has not started. OnPreviewDecoded reports the result.
    void RequestPreview(int32_t row, QSize box);
    // Drops a preview request that has not started.
    void CancelPreview() noexcept { m_previewRequest.reset(); }

    // The side of the square thumbnails fit (kThumbnailSide unless set); set
    // before the first request.
    void SetThumbnailSide(int side) noexcept { m_side = side; }

    // The thumbnail cache's bound in bytes; never below one full-size thumbnail.
    void SetCacheLimit(int64_t bytes);
    int64_t CacheLimit() const noexcept { return m_cache.maxCost(); }
    // Bytes held by the cached thumbnails, and how many there are.
    int64_t CacheCost() const noexcept { return m_cache.totalCost(); }
    int32_t CachedCount() const noexcept { return static_cast<int32_t>(m_cache.count()); }
    // Thumbnail decodes started since the last Reset.
    int32_t DecodeCount() const noexcept { return m_decodeCount; }
    // No decode running or waiting.
    bool Idle() const noexcept;

    // Whether row is still worth decoding when the worker gets to it (is in view).
    // Empty: every request is decoded.
    std::function<bool(int32_t row)> RowWanted;
    // The thumbnail state of row settled (Ready, or a reason there is none).
    std::function<void(int32_t row)> OnThumbnailChanged;
    std::function<void(int32_t row, const GalleryPicture& picture)> OnPreviewDecoded;

private:
    struct Job {
        int32_t Row = -1;
        bool Preview = false;
        QSize Box;
    };

    void Request(int32_t row);
    void PostDispatch();
    void Dispatch();
    void Start(const Job& job);
    void Finished(uint32_t generation, const Job& job, const GalleryPicture& picture);
    void StopWorkers();

    std::span<const FoundItem> m_rows;
    std::span<const uint8_t> m_image;
    std::vector<ThumbnailState> m_states;
    std::vector<int32_t> m_queue;
    QCache<int32_t, QImage> m_cache;
    std::optional<Job> m_previewRequest;
    bool m_dispatchPosted = false;
    bool m_busy = false;
    uint32_t m_generation = 0;
    int m_side = kThumbnailSide;
    int32_t m_decodeCount = 0;
    QThreadPool m_pool;
};

}  // namespace kestrix
