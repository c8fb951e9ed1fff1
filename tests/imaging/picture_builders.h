#pragma once

// Pictures built byte by byte for the strict decoder's tests: GIFs with images
// anywhere on their screen and LZW streams of either kind, bitmaps with any
// header, depth and RLE stream, and JPEG and PNG files written by Qt.
#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kestrix::test_support {

using Bytes = std::vector<uint8_t>;

inline void PutLe16(Bytes& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void PutLe32(Bytes& out, uint32_t v)
{
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// The 4-colour palette of BuildGif, by colour index.
inline const QRgb kPalette[4] = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};

// Packs LZW codes of growing width, least significant bit first.
class CodePacker {
public:
    void Put(uint32_t code, int width)
    {
        m_bits |= static_cast<uint64_t>(code) << m_count;
        m_count += width;
        while (m_count >= 8) {
            m_bytes.push_back(static_cast<uint8_t>(m_bits));
            m_bits >>= 8;
            m_count -= 8;
        }
    }
    Bytes Finish()
    {
        if (m_count > 0)
            m_bytes.push_back(static_cast<uint8_t>(m_bits));
        m_bits = 0;
        m_count = 0;
        return std::move(m_bytes);
    }

private:
    Bytes m_bytes;
    uint64_t m_bits = 0;
    int m_count = 0;
};

enum class LzwStyle {
    Literals,       // a clear code before every pair of literals: 3-bit codes only (minimum code size 2)
    ClearWhenFull,  // a real encoder that clears its table when 4096 codes are taken
    KeepFullTable,  // a real encoder that goes on with a full table and 12-bit codes
};

// The LZW code stream (no sub-blocks, no minimum code size byte) of pixels,
// ending with the end code unless endCode is false.
inline Bytes EncodeLzw(const Bytes& pixels, int minCodeSize, LzwStyle style, bool endCode = true)
{
    const uint32_t clear = 1u << minCodeSize;
    const uint32_t end = clear + 1;
    CodePacker packer;
    if (style == LzwStyle::Literals) {
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (i % 2 == 0)
                packer.Put(clear, minCodeSize + 1);
            packer.Put(pixels[i], minCodeSize + 1);
        }
        if (endCode)
            packer.Put(end, minCodeSize + 1);
        return packer.Finish();
    }
    std::map<std::pair<uint32_t, uint8_t>, uint32_t> table;
    uint32_t next = clear + 2;
    int width = minCodeSize + 1;
    packer.Put(clear, width);
    int64_t prefix = -1;
    // The decoder adds its first entry at the second code after a clear.
    int codesSinceClear = 0;
    for (uint8_t pixel : pixels) {
        if (prefix < 0) {
            prefix = pixel;
            continue;
        }
        const auto found = table.find({static_cast<uint32_t>(prefix), pixel});
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        packer.Put(static_cast<uint32_t>(prefix), width);
        ++codesSinceClear;
        if (next < 4096) {
            table[{static_cast<uint32_t>(prefix), pixel}] = next++;
            // The decoder adds this entry one code later and then widens once
            // its next free code reaches 1 << width.
            if (codesSinceClear >= 2 && next > (1u << width) && width < 12)
                ++width;
        } else if (style == LzwStyle::ClearWhenFull) {
            packer.Put(clear, width);
            table.clear();
            next = clear + 2;
            width = minCodeSize + 1;
            codesSinceClear = 0;
        }
        prefix = pixel;
    }
    if (prefix >= 0)
        packer.Put(static_cast<uint32_t>(prefix), width);
    if (endCode) {
        if (++codesSinceClear >= 2 && next < 4096 && next + 1 > (1u << width) && width < 12)
            ++width;
        packer.Put(end, width);
    }
    return packer.Finish();
}

// Splits data into sub-blocks of at most 255 bytes and ends them with 00.
inline Bytes SubBlocks(const Bytes& data, bool terminator = true)
{
    Bytes out;
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    if (terminator)
        out.push_back(0);
    return out;
}

// One image of BuildGif. pixels are colour indices, row by row; empty means
// the pattern (x + y) % 4.
struct GifImage {
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 4;
    uint16_t height = 4;
    Bytes pixels;
    int transparentIndex = -1;
    uint8_t disposal = 1;
    LzwStyle style = LzwStyle::Literals;
};

inline Bytes PatternPixels(int width, int height)
{
    const auto w = static_cast<std::size_t>(width);
    Bytes pixels(w * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i / w + i % w) % 4);
    return pixels;
}

inline Bytes GifHeader(uint16_t screenWidth, uint16_t screenHeight, uint8_t background = 0,
                       const char* signature = "GIF89a")
{
    Bytes out(signature, signature + 6);
    PutLe16(out, screenWidth);
    PutLe16(out, screenHeight);
    out.push_back(0x81);  // global colour table of 4 entries
    out.push_back(background);
    out.push_back(0);
    for (QRgb colour : kPalette) {
        out.push_back(static_cast<uint8_t>(qRed(colour)));
        out.push_back(static_cast<uint8_t>(qGreen(colour)));
        out.push_back(static_cast<uint8_t>(qBlue(colour)));
    }
    return out;
}

// Graphic control extension and image descriptor of image, up to and
// including the minimum code size byte (2).
inline Bytes GifImageHead(const GifImage& image)
{
    Bytes out{0x21, 0xF9, 0x04};
    out.push_back(static_cast<uint8_t>((image.disposal << 2) | (image.transparentIndex >= 0 ? 1 : 0)));
    PutLe16(out, 10);
    out.push_back(static_cast<uint8_t>(image.transparentIndex >= 0 ? image.transparentIndex : 0));
    out.push_back(0);
    out.push_back(0x2C);
    PutLe16(out, image.left);
    PutLe16(out, image.top);
    PutLe16(out, image.width);
    PutLe16(out, image.height);
    out.push_back(0);
    out.push_back(2);
    return out;
}

inline Bytes GifImagePixels(const GifImage& image)
{
    return image.pixels.empty() ? PatternPixels(image.width, image.height) : image.pixels;
}

inline Bytes BuildGif(uint16_t screenWidth, uint16_t screenHeight, const std::vector<GifImage>& images,
                      uint8_t background = 0)
{
    Bytes out = GifHeader(screenWidth, screenHeight, background);
    for (const GifImage& image : images) {
        const Bytes head = GifImageHead(image);
        const Bytes data = SubBlocks(EncodeLzw(GifImagePixels(image), 2, image.style));
        out.insert(out.end(), head.begin(), head.end());
        out.insert(out.end(), data.begin(), data.end());
    }
    out.push_back(0x3B);
    return out;
}

// A bitmap file with a 40-byte info header. pixelData is stored as given at
// the pixel offset (after the palette); rows are not padded here.
struct BmpFields {
    int32_t width = 4;
    int32_t height = 4;
    uint16_t bitsPerPixel = 8;
    uint32_t compression = 0;
    Bytes pixelData;
    std::vector<QRgb> palette = {kPalette[0], kPalette[1], kPalette[2], kPalette[3]};
};

inline Bytes BuildBmp(const BmpFields& fields)
{
    const auto paletteBytes = static_cast<uint32_t>(fields.palette.size() * 4);
    const uint32_t offset = 14 + 40 + paletteBytes;
    Bytes out{'B', 'M'};
    PutLe32(out, offset + static_cast<uint32_t>(fields.pixelData.size()));
    PutLe32(out, 0);
    PutLe32(out, offset);
    PutLe32(out, 40);
    PutLe32(out, static_cast<uint32_t>(fields.width));
    PutLe32(out, static_cast<uint32_t>(fields.height));
    PutLe16(out, 1);
    PutLe16(out, fields.bitsPerPixel);
    PutLe32(out, fields.compression);
    PutLe32(out, static_cast<uint32_t>(fields.pixelData.size()));
    PutLe32(out, 2835);
    PutLe32(out, 2835);
    PutLe32(out, static_cast<uint32_t>(fields.palette.size()));
    PutLe32(out, 0);
    for (QRgb colour : fields.palette) {
        out.push_back(static_cast<uint8_t>(qBlue(colour)));
        out.push_back(static_cast<uint8_t>(qGreen(colour)));
        out.push_back(static_cast<uint8_t>(qRed(colour)));
        out.push_back(0);
    }
    out.insert(out.end(), fields.pixelData.begin(), fields.pixelData.end());
    return out;
}

// Uncompressed 8-bit rows, bottom row first, each padded to 4 bytes: pixel
// (x, y) has index (x + y) % 4.
inline Bytes PatternRows8(int width, int height)
{
    Bytes out;
    const int stride = (width + 3) / 4 * 4;
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < stride; ++x)
            out.push_back(static_cast<uint8_t>(x < width ? (x + y) % 4 : 0));
    return out;
}

// A picture Qt writes in format ("jpeg", "png", "bmp"): a gradient that
// compresses into several blocks.
inline Bytes WriteWithQt(const char* format, int width = 64, int height = 48, bool progressive = false)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x * y) & 0xFF));
    QByteArray raw;
    QBuffer buffer(&raw);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        throw std::runtime_error("Qt cannot write " + std::string(format));
    return Bytes(raw.begin(), raw.end());
}

}  // namespace kestrix::test_support
