#include "thumbnail_decoder.h"

#include "strict_decoder.h"

#include <QMetaObject>

#include <algorithm>

namespace kestrix {
namespace {

// Fast scrolling paints many rows that are gone before the worker reaches them;
// the oldest requests are dropped past this many.
constexpr std::size_t kMaxQueued = 512;

// The cache never holds less than one thumbnail of full size, or a decoded
// thumbnail could not be kept and would be asked for again at every repaint.
constexpr int64_t kMinCacheBytes = int64_t{ThumbnailDecoder::kThumbnailSide} * ThumbnailDecoder::kThumbnailSide * 4;

QSize FitInto(QSize size, QSize box)
{
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

bool LargerThan(QSize size, QSize box)
{
    return size.width() > box.width() || size.height() > box.height();
}

}  // namespace

GalleryPicture DecodeToFit(ItemType type, std::span<const uint8_t> bytes, QSize box, QSize declaredSize)
{
    GalleryPicture result;
    if (bytes.empty())
        return result;
    if (!declaredSize.isEmpty() && int64_t{declaredSize.width()} * declaredSize.height() > kMaxPicturePixels) {
        result.State = ThumbnailState::TooLarge;
        result.SourceSize = declaredSize;
        return result;
    }
    DecodedPicture decoded = DecodePicture(type, bytes, 1);
    if (decoded.Fault == PictureFault::TooLarge || decoded.Fault == PictureFault::TooCostly) {
        result.State = ThumbnailState::TooLarge;
        return result;
    }
    if (!decoded.Ok() || decoded.Frames.empty() || decoded.Frames.front().isNull())
        return result;
    QImage image = std::move(decoded.Frames.front());
    result.SourceSize = image.size();
    if (box.isValid() && LargerThan(image.size(), box))
        image = image.scaled(FitInto(image.size(), box), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    result.Image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    result.State = ThumbnailState::Ready;
    return result;
}

ThumbnailDecoder::ThumbnailDecoder(QObject* parent) : QObject(parent)
{
    m_cache.setMaxCost(static_cast<qsizetype>(kDefaultCacheBytes));
    // One worker: requests are served newest first, so that the rows in view come
    // first; more workers would mostly decode rows already scrolled past, and the
    // other cores are left to the window and the searches.
    m_pool.setMaxThreadCount(1);
}

ThumbnailDecoder::~ThumbnailDecoder()
{
    StopWorkers();
}

void ThumbnailDecoder::StopWorkers()
{
    ++m_generation;
    m_pool.clear();
    m_pool.waitForDone();
    m_busy = false;
}

void ThumbnailDecoder::Reset(std::span<const FoundItem> rows, std::span<const uint8_t> image)
{
    StopWorkers();
    m_queue.clear();
    m_previewRequest.reset();
    m_cache.clear();
    m_rows = rows;
    m_image = image;
    m_states.assign(rows.size(), ThumbnailState::NotDecoded);
    m_decodeCount = 0;
}

std::span<const uint8_t> ThumbnailDecoder::PictureBytes(int32_t row) const noexcept
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return {};
    const FoundItem& picture = m_rows[static_cast<std::size_t>(row)];
    if (picture.Start < 0 || picture.End <= picture.Start || static_cast<std::size_t>(picture.End) > m_image.size())
        return {};
    return m_image.subspan(static_cast<std::size_t>(picture.Start), static_cast<std::size_t>(picture.Size()));
}

QImage ThumbnailDecoder::Thumbnail(int32_t row)
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_states.size())
        return {};
    if (const QImage* image = m_cache.object(row))
        return *image;
    const ThumbnailState state = m_states[static_cast<std::size_t>(row)];
    if (state == ThumbnailState::Ready || state == ThumbnailState::NotDecoded)
        Request(row);
    return {};
}

ThumbnailState ThumbnailDecoder::State(int32_t row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_states.size())
        return ThumbnailState::NotDecoded;
    const ThumbnailState state = m_states[static_cast<std::size_t>(row)];
    if (state == ThumbnailState::Ready && !m_cache.contains(row))
        return ThumbnailState::NotDecoded;
    return state;
}

bool ThumbnailDecoder::Idle() const noexcept
{
    return !m_busy && !m_previewRequest && m_queue.empty() && !m_dispatchPosted;
}

void ThumbnailDecoder::SetCacheLimit(int64_t bytes)
{
    m_cache.setMaxCost(static_cast<qsizetype>(std::max(bytes, kMinCacheBytes)));
}

void ThumbnailDecoder::RequestPreview(int32_t row, QSize box)
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return;
    if (PictureBytes(row).empty()) {
        m_previewRequest.reset();
        GalleryPicture outside;
        outside.State = ThumbnailState::OutsideImage;
        if (OnPreviewDecoded)
            OnPreviewDecoded(row, outside);
        return;
    }
    m_previewRequest = Job{row, true, box};
    PostDispatch();
}

void ThumbnailDecoder::Request(int32_t row)
{
    ThumbnailState& state = m_states[static_cast<std::size_t>(row)];
    if (PictureBytes(row).empty()) {
        state = ThumbnailState::OutsideImage;
        return;
    }
    state = ThumbnailState::Queued;
    m_queue.push_back(row);
    if (m_queue.size() > kMaxQueued) {
        const auto dropped = m_queue.begin() + static_cast<std::ptrdiff_t>(m_queue.size() - kMaxQueued / 2);
        for (auto it = m_queue.begin(); it != dropped; ++it)
            if (m_states[static_cast<std::size_t>(*it)] == ThumbnailState::Queued)
                m_states[static_cast<std::size_t>(*it)] = ThumbnailState::NotDecoded;
        m_queue.erase(m_queue.begin(), dropped);
    }
    PostDispatch();
}

void ThumbnailDecoder::PostDispatch()
{
    if (m_dispatchPosted || m_busy)
        return;
    m_dispatchPosted = true;
    QMetaObject::invokeMethod(
        this, [this] { Dispatch(); }, Qt::QueuedConnection);
}

void ThumbnailDecoder::Dispatch()
{
    m_dispatchPosted = false;
    if (m_busy)
        return;
    if (m_previewRequest) {
        const Job job = *m_previewRequest;
        m_previewRequest.reset();
        Start(job);
        return;
    }
    while (!m_queue.empty()) {
        const int32_t row = m_queue.back();
        m_queue.pop_back();
        if (static_cast<std::size_t>(row) >= m_states.size())
            continue;
        ThumbnailState& state = m_states[static_cast<std::size_t>(row)];
        if (state != ThumbnailState::Queued)
            continue;
        if (RowWanted && !RowWanted(row)) {
            state = ThumbnailState::NotDecoded;
            continue;
        }
        state = ThumbnailState::Decoding;
        ++m_decodeCount;
        Start(Job{row, false, QSize(m_side, m_side)});
        return;
    }
}

void ThumbnailDecoder::Start(const Job& job)
{
    const std::span<const uint8_t> bytes = PictureBytes(job.Row);
    const FoundItem& picture = m_rows[static_cast<std::size_t>(job.Row)];
    const ItemType type = picture.Type;
    const QSize declared(picture.Width, picture.Height);
    const uint32_t generation = m_generation;
    m_busy = true;
    m_pool.start([this, type, bytes, declared, job, generation] {
        const GalleryPicture decoded = DecodeToFit(type, bytes, job.Box, declared);
        QMetaObject::invokeMethod(
            this, [this, generation, job, decoded] { Finished(generation, job, decoded); }, Qt::QueuedConnection);
    });
}

void ThumbnailDecoder::Finished(uint32_t generation, const Job& job, const GalleryPicture& picture)
{
    if (generation != m_generation)
        return;
    m_busy = false;
    if (job.Preview) {
        if (OnPreviewDecoded)
            OnPreviewDecoded(job.Row, picture);
    } else if (static_cast<std::size_t>(job.Row) < m_states.size()) {
        ThumbnailState& state = m_states[static_cast<std::size_t>(job.Row)];
        if (picture.State == ThumbnailState::Ready) {
            const auto cost = std::max<qsizetype>(1, picture.Image.sizeInBytes());
            state = m_cache.insert(job.Row, new QImage(picture.Image), cost) ? ThumbnailState::Ready
                                                                             : ThumbnailState::NotDecoded;
        } else {
            state = picture.State;
        }
        if (OnThumbnailChanged)
            OnThumbnailChanged(job.Row);
    }
    if (!m_busy)
        Dispatch();
}

}  // namespace kestrix
