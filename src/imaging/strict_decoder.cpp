#include "strict_decoder.h"

#include "bmp_walk.h"
#include "decode_limits.h"
#include "gif_walk.h"
#include "jpeg_decoder.h"
#include "png_decoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <cstring>

namespace kestrix {
namespace {

constexpr QImage::Format kFrameFormat = QImage::Format_ARGB32_Premultiplied;
// Qt's own ceiling for one image allocation, in megabytes; the pixel-count
// checks refuse earlier, this guards sizes known only while decoding.
constexpr int kAllocationLimitMb = 128;

bool TooLarge(const QSize& size) noexcept
{
    return size.isValid() && int64_t{size.width()} * size.height() > kMaxPicturePixels;
}

DecodedPicture Refuse(PictureFault fault)
{
    DecodedPicture picture;
    picture.Fault = fault;
    return picture;
}

// A Qt image reader over bytes that stay the caller's (nothing is copied).
class PictureReader {
public:
    PictureReader(std::span<const uint8_t> bytes, const char* format)
    {
        m_device.setData(
            QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
        m_device.open(QIODevice::ReadOnly);
        m_reader.setDevice(&m_device);
        m_reader.setFormat(format);
        m_reader.setAutoDetectImageFormat(false);
        m_reader.setAllocationLimit(kAllocationLimitMb);
    }

    QImageReader& operator*() noexcept { return m_reader; }
    QImageReader* operator->() noexcept { return &m_reader; }

private:
    QBuffer m_device;
    QImageReader m_reader;
};

// Which pixels of the logical screen the images of a GIF have drawn on so far,
// following each image's disposal: restoring to the background uncovers its
// rectangle again, restoring to the previous state brings back the coverage
// from before it.
class ScreenCoverage {
public:
    // Shows image upTo of images after those before it, on a screen of size.
    void Show(const QSize& size, const std::vector<GifImageRect>& images, std::size_t upTo)
    {
        if (size != m_size) {
            m_size = size;
            m_covered.assign(static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(size.height()), 0);
            for (std::size_t i = 0; i < upTo; ++i)
                Draw(images, i);
        }
        Draw(images, upTo);
    }

    // Makes every pixel of frame (of the screen's size) that is not covered now transparent.
    void ClearUncovered(QImage& frame) const
    {
        const int width = m_size.width();
        for (int y = 0; y < m_size.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(frame.scanLine(y));
            const uint8_t* covered = m_covered.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
            for (int x = 0; x < width; ++x)
                if (covered[x] == 0)
                    line[x] = 0;
        }
    }

private:
    void Draw(const std::vector<GifImageRect>& images, std::size_t k)
    {
        if (k > 0) {
            const uint8_t disposal = images[k - 1].Disposal;
            if (disposal == 2)
                Fill(images[k - 1], 0);
            else if (disposal == 3)
                m_covered = m_beforePrevious;
        }
        if (images[k].Disposal == 3)
            m_beforePrevious = m_covered;
        Fill(images[k], 1);
    }

    void Fill(const GifImageRect& image, uint8_t value)
    {
        const int left = std::min(image.Left, m_size.width());
        const int top = std::min(image.Top, m_size.height());
        const int right = std::min(image.Left + image.Width, m_size.width());
        const int bottom = std::min(image.Top + image.Height, m_size.height());
        for (int y = top; y < bottom; ++y) {
            uint8_t* row = m_covered.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_size.width());
            std::fill(row + left, row + right, value);
        }
    }

    QSize m_size;
    std::vector<uint8_t> m_covered;
    std::vector<uint8_t> m_beforePrevious;
};

DecodedPicture DecodeGif(std::span<const uint8_t> bytes, int32_t maxFrames)
{
    const GifLayout layout = ReadGifLayout(bytes);
    if (layout.Fault != PictureFault::None)
        return Refuse(layout.Fault);
    if (int64_t{layout.ScreenWidth} * layout.ScreenHeight > kMaxPicturePixels)
        return Refuse(PictureFault::TooLarge);
    if (CanvasTooCostly(layout.ScreenWidth, layout.ScreenHeight, bytes.size()))
        return Refuse(PictureFault::TooCostly);
    for (const GifImageRect& image : layout.Images)
        if (int64_t{image.Width} * image.Height > kMaxPicturePixels)
            return Refuse(PictureFault::TooLarge);
    PictureReader reader(bytes, "gif");
    if (!reader->canRead())
        return Refuse(PictureFault::DecoderFailed);
    if (TooLarge(reader->size()))
        return Refuse(PictureFault::TooLarge);

    DecodedPicture picture;
    ScreenCoverage coverage;
    const auto frames = std::min<std::size_t>(static_cast<std::size_t>(maxFrames), layout.Images.size());
    for (std::size_t k = 0; k < frames; ++k) {
        // Qt gives every image already placed on the screen and composed over
        // the frames before it; the screen outside them is filled by Qt.
        QImage frame;
        if (!reader->read(&frame) || frame.isNull())
            return Refuse(PictureFault::DecoderFailed);
        if (TooLarge(frame.size()))
            return Refuse(PictureFault::TooLarge);
        coverage.Show(frame.size(), layout.Images, k);
        QImage shown = frame.convertToFormat(kFrameFormat);
        coverage.ClearUncovered(shown);
        picture.Frames.push_back(std::move(shown));
    }
    return picture;
}

// Reads a bitmap into a canvas filled with fill beforehand, so that the pixels
// the reader leaves unwritten hold a known value. Qt reads into the given image
// when it already has the picture's size and format; the size and format the
// reader announces are tried first, then those of what it actually read.
PictureFault ReadIntoFilledCanvas(std::span<const uint8_t> bytes, uint fill, QImage& canvas)
{
    QSize size;
    QImage::Format format = QImage::Format_Invalid;
    for (int attempt = 0; attempt < 2; ++attempt) {
        PictureReader reader(bytes, "bmp");
        if (!reader->canRead())
            return PictureFault::DecoderFailed;
        if (attempt == 0) {
            size = reader->size();
            format = reader->imageFormat();
        }
        if (TooLarge(size))
            return PictureFault::TooLarge;
        canvas = size.isValid() && format != QImage::Format_Invalid ? QImage(size, format) : QImage();
        canvas.fill(fill);
        const uchar* before = canvas.constBits();
        if (!reader->read(&canvas) || canvas.isNull())
            return PictureFault::DecoderFailed;
        if (TooLarge(canvas.size()))
            return PictureFault::TooLarge;
        if (before != nullptr && canvas.constBits() == before)
            return PictureFault::None;
        size = canvas.size();
        format = canvas.format();
    }
    // The reader would not read into a prepared canvas: its pixels cannot be vouched for.
    return PictureFault::DecoderFailed;
}

// Whether two reads of one bitmap into differently filled canvases differ in
// a pixel: the reader wrote neither.
bool AnyPixelUnwritten(const QImage& low, const QImage& high)
{
    const int width = low.width();
    const int depth = low.depth();
    const auto rowBytes = (static_cast<std::size_t>(width) * static_cast<std::size_t>(depth) + 7) / 8;
    for (int y = 0; y < low.height(); ++y) {
        if (std::memcmp(low.constScanLine(y), high.constScanLine(y), rowBytes) == 0)
            continue;
        // Below 8 bits a pixel's bits share their byte with the row's padding.
        if (depth % 8 == 0)
            return true;
        for (int x = 0; x < width; ++x)
            if (low.pixelIndex(x, y) != high.pixelIndex(x, y))
                return true;
    }
    return false;
}

// Qt reads the 40-byte info header and the 108- and 124-byte ones, but not the
// 52- and 56-byte ones in between, which add only the colour masks (and alpha
// mask) at the place the 108-byte header keeps them. Such a bitmap is read as
// the same picture with its header widened to 108 bytes; empty for any other.
std::vector<uint8_t> WidenedBitmapHeader(std::span<const uint8_t> bytes)
{
    constexpr std::size_t kFileHeader = 14;
    constexpr uint32_t kWide = 108;
    if (bytes.size() < kFileHeader + 4)
        return {};
    const auto le32 = [&bytes](std::size_t at) {
        return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
               static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
    };
    const uint32_t infoSize = le32(kFileHeader);
    if ((infoSize != 52 && infoSize != 56) || bytes.size() < kFileHeader + infoSize)
        return {};
    const uint32_t grow = kWide - infoSize;
    std::vector<uint8_t> wide(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kFileHeader + infoSize));
    wide.insert(wide.end(), grow, 0);
    wide.insert(wide.end(), bytes.begin() + static_cast<std::ptrdiff_t>(kFileHeader + infoSize), bytes.end());
    const auto put32 = [&wide](std::size_t at, uint32_t value) {
        for (int k = 0; k < 4; ++k)
            wide[at + static_cast<std::size_t>(k)] = static_cast<uint8_t>(value >> (8 * k));
    };
    if (const uint32_t fileSize = le32(2); fileSize != 0)
        put32(2, fileSize + grow);
    put32(10, le32(10) + grow);
    put32(kFileHeader, kWide);
    return wide;
}

// An RLE bitmap shows only the runs its codes draw: moves and early line ends
// leave the rest transparent. The runs come from the walk, so one read by Qt
// does, however large the canvas the few codes leave empty.
DecodedPicture DecodeRleBmp(std::span<const uint8_t> bytes, std::vector<BmpRun> runs)
{
    QImage canvas;
    if (const PictureFault fault = ReadIntoFilledCanvas(bytes, 0x00000000u, canvas); fault != PictureFault::None)
        return Refuse(fault);
    QImage shown = canvas.convertToFormat(kFrameFormat);
    std::sort(runs.begin(), runs.end(),
              [](const BmpRun& a, const BmpRun& b) { return a.Row != b.Row ? a.Row < b.Row : a.X < b.X; });
    const int width = shown.width();
    auto run = runs.begin();
    for (int stored = 0; stored < shown.height(); ++stored) {
        // Rows are stored bottom-up.
        auto* line = reinterpret_cast<QRgb*>(shown.scanLine(shown.height() - 1 - stored));
        int x = 0;
        for (; run != runs.end() && run->Row == stored; ++run) {
            std::fill(line + std::min(x, width), line + std::min(run->X, width), QRgb{0});
            x = std::max(x, run->XEnd);
        }
        std::fill(line + std::min(x, width), line + width, QRgb{0});
    }
    DecodedPicture picture;
    picture.Frames.push_back(std::move(shown));
    return picture;
}

DecodedPicture DecodeBmp(std::span<const uint8_t> bytes)
{
    std::vector<BmpRun> runs;
    const BmpLayout layout = ReadBmpLayout(bytes, &runs);
    if (layout.Fault != PictureFault::None)
        return Refuse(layout.Fault);
    const std::vector<uint8_t> widened = WidenedBitmapHeader(bytes);
    if (!widened.empty())
        bytes = widened;
    if (layout.Rle && CanvasTooCostly(layout.Width, std::abs(int64_t{layout.Height}), bytes.size()))
        return Refuse(PictureFault::TooCostly);
    if (layout.Rle)
        return DecodeRleBmp(bytes, std::move(runs));
    QImage low;
    QImage high;
    if (const PictureFault fault = ReadIntoFilledCanvas(bytes, 0x00000000u, low); fault != PictureFault::None)
        return Refuse(fault);
    if (const PictureFault fault = ReadIntoFilledCanvas(bytes, 0xFFFFFFFFu, high); fault != PictureFault::None)
        return Refuse(fault);
    if (low.size() != high.size() || low.format() != high.format())
        return Refuse(PictureFault::DecoderFailed);
    // A pixel left unwritten means the reader ran out of data.
    if (AnyPixelUnwritten(low, high))
        return Refuse(PictureFault::UndefinedPixels);
    DecodedPicture picture;
    picture.Frames.push_back(low.convertToFormat(kFrameFormat));
    return picture;
}

// JPEG and PNG pixels come from the same decoders as the search's verdict.
DecodedPicture DecodeRaster(ItemType type, std::span<const uint8_t> bytes)
{
    Raster raster;
    const DecodeLimits limits;
    const PictureFault fault =
        type == ItemType::Jpeg ? DecodeJpeg(bytes, limits, &raster) : DecodePng(bytes, limits, &raster);
    if (fault != PictureFault::None)
        return Refuse(fault);
    const QImage view(raster.Bgra.data(), raster.Width, raster.Height, raster.Width * 4, QImage::Format_ARGB32);
    DecodedPicture picture;
    picture.Frames.push_back(view.convertToFormat(kFrameFormat));
    return picture;
}

}  // namespace

DecodedPicture DecodePicture(ItemType type, std::span<const uint8_t> bytes, int32_t maxFrames)
{
    switch (type) {
    case ItemType::Gif: return DecodeGif(bytes, std::max(maxFrames, 1));
    case ItemType::Bmp: return DecodeBmp(bytes);
    case ItemType::Jpeg:
    case ItemType::Png: return DecodeRaster(type, bytes);
    default: return Refuse(PictureFault::NotRecognised);
    }
}

std::optional<ItemType> PreviewPictureType(std::span<const uint8_t> bytes) noexcept
{
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "GIF8", 4) == 0)
        return ItemType::Gif;
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        return ItemType::Bmp;
    return std::nullopt;
}

}  // namespace kestrix
