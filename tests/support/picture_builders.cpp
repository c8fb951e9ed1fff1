#include "picture_builders.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <utility>

namespace kestrix::test_support {

std::vector<uint8_t> DefaultGifPalette()
{
    return {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF};
}

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& out, std::initializer_list<uint8_t> bytes)
{
    out.insert(out.end(), bytes);
}

void Append(Bytes& out, const Bytes& bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void Append(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

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

Bytes GifScreen(const GifPlan& plan)
{
    if (plan.globalPalette.size() != 12)
        throw std::invalid_argument("the global palette has 4 entries");
    Bytes gif;
    Append(gif, std::string(plan.gif87a ? "GIF87a" : "GIF89a"));
    PutLe16(gif, plan.width);
    PutLe16(gif, plan.height);
    Append(gif, {0x81, plan.background, 0x00});  // global table of 4 colours
    Append(gif, plan.globalPalette);
    return gif;
}

Bytes ImageHead(const GifPlan& plan, const GifImage& image, bool localPalette)
{
    Bytes out;
    if (!plan.gif87a && plan.graphicControl) {
        Append(out, {0x21, 0xF9, 0x04});
        out.push_back(static_cast<uint8_t>((image.disposal << 2) | (image.transparentIndex >= 0 ? 1 : 0)));
        PutLe16(out, plan.delay);
        out.push_back(static_cast<uint8_t>(image.transparentIndex >= 0 ? image.transparentIndex : 0));
        out.push_back(0x00);
    }
    out.push_back(0x2C);
    PutLe16(out, image.left);
    PutLe16(out, image.top);
    PutLe16(out, image.width);
    PutLe16(out, image.height);
    if (localPalette) {
        out.push_back(0x81);
        Append(out, Bytes(plan.globalPalette.rbegin(), plan.globalPalette.rend()));
    } else {
        out.push_back(0x00);
    }
    out.push_back(2);  // minimum code size
    return out;
}

void JpegSegment(Bytes& out, uint8_t marker, const Bytes& body)
{
    Append(out, {0xFF, marker});
    PutBe16(out, static_cast<uint32_t>(body.size() + 2));
    Append(out, body);
}

}  // namespace

uint32_t PlainCrc32(const uint8_t* data, std::size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xEDB88320u : 0);
    }
    return ~crc;
}

uint32_t PlainAdler32(const uint8_t* data, std::size_t size)
{
    uint32_t a = 1;
    uint32_t b = 0;
    for (std::size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

void PutLe16(std::vector<uint8_t>& out, uint32_t value)
{
    Append(out, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
}

void PutLe32(std::vector<uint8_t>& out, uint32_t value)
{
    PutLe16(out, value & 0xFFFF);
    PutLe16(out, value >> 16);
}

void PutBe16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void PutBe32(std::vector<uint8_t>& out, uint32_t value)
{
    PutBe16(out, value >> 16);
    PutBe16(out, value & 0xFFFF);
}

void PutPngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data)
{
    PutBe32(out, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBe32(out, PlainCrc32(typed.data(), typed.size()));
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        Append(out, part);
    return out;
}

std::vector<uint8_t> EncodeLzw(const std::vector<uint8_t>& pixels, int minCodeSize, LzwStyle style, bool endCode)
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

std::vector<uint8_t> SubBlocks(const std::vector<uint8_t>& data, bool terminator)
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

std::vector<uint8_t> PatternPixels(int width, int height, int shift)
{
    const auto w = static_cast<std::size_t>(width);
    Bytes pixels(w * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i / w + i % w + static_cast<std::size_t>(shift)) % 4);
    return pixels;
}

std::vector<uint8_t> BuildGif(const GifPlan& plan)
{
    Bytes gif = GifScreen(plan);
    std::vector<GifImage> images = plan.images;
    if (images.empty())
        images.assign(static_cast<std::size_t>(std::max(plan.frames, 0)), GifImage{0, 0, plan.width, plan.height});
    if (!plan.gif87a && plan.frames > 1) {
        Append(gif, {0x21, 0xFF, 0x0B});
        Append(gif, std::string("NETSCAPE2.0"));
        Append(gif, {0x03, 0x01, 0x00, 0x00, 0x00});
    }
    if (!plan.gif87a && !plan.comment.empty()) {
        Append(gif, {0x21, 0xFE});
        Append(gif, SubBlocks(Bytes(plan.comment.begin(), plan.comment.end())));
    }
    for (std::size_t frame = 0; frame < images.size(); ++frame) {
        const GifImage& image = images[frame];
        Append(gif, ImageHead(plan, image, static_cast<int>(frame) == plan.localPaletteFrame));
        const Bytes pixels = image.pixels.empty() ? PatternPixels(image.width, image.height,
                                                                  plan.images.empty() ? static_cast<int>(frame) : 0)
                                                  : image.pixels;
        Append(gif, SubBlocks(EncodeLzw(pixels, 2, image.style)));
    }
    gif.push_back(0x3B);
    return gif;
}

std::vector<uint8_t> GifHeader(uint16_t width, uint16_t height)
{
    return GifScreen({.width = width, .height = height});
}

std::vector<uint8_t> GifImageHead(const GifImage& image)
{
    return ImageHead({}, image, false);
}

std::vector<uint8_t> BuildBmp(const BmpPlan& plan)
{
    const bool core = plan.headerSize == 12;
    const uint32_t compression = plan.compression.value_or(!core && (plan.bits == 16 || plan.bits == 32) ? 3 : 0);
    const bool masks = !core && compression == 3;
    const auto colours = static_cast<uint32_t>(!plan.palette.empty() ? plan.palette.size()
                                               : plan.bits <= 8      ? 1u << plan.bits
                                                                     : 0);
    const uint32_t paletteBytes = colours * (core ? 3 : 4);
    const uint32_t maskBytes = masks && plan.headerSize == 40 ? 12 : 0;
    const uint32_t offset = 14 + plan.headerSize + maskBytes + paletteBytes;
    const uint32_t rowBytes = (static_cast<uint32_t>(plan.width) * plan.bits + 31) / 32 * 4;
    const uint32_t rows = static_cast<uint32_t>(plan.height < 0 ? -plan.height : plan.height);
    Bytes pixelData;
    if (plan.pixelData) {
        pixelData = *plan.pixelData;
    } else {
        for (uint32_t y = 0; y < rows; ++y)
            for (uint32_t x = 0; x < rowBytes; ++x)
                pixelData.push_back(static_cast<uint8_t>(0x11 * ((x + y) % 15)));
    }
    const auto fileSize = static_cast<uint32_t>(offset + pixelData.size());

    Bytes bmp{'B', 'M'};
    PutLe32(bmp, plan.fileSizeField < 0 ? fileSize : static_cast<uint32_t>(plan.fileSizeField));
    PutLe32(bmp, 0);
    PutLe32(bmp, offset);
    Bytes header;
    PutLe32(header, plan.headerSize);
    if (core) {
        PutLe16(header, static_cast<uint32_t>(plan.width));
        PutLe16(header, static_cast<uint32_t>(plan.height));
        PutLe16(header, 1);
        PutLe16(header, plan.bits);
    } else {
        PutLe32(header, static_cast<uint32_t>(plan.width));
        PutLe32(header, static_cast<uint32_t>(plan.height));
        PutLe16(header, 1);
        PutLe16(header, plan.bits);
        PutLe32(header, compression);
        PutLe32(header, static_cast<uint32_t>(pixelData.size()));
        PutLe32(header, 2835);
        PutLe32(header, 2835);
        PutLe32(header, plan.palette.empty() ? 0 : colours);
        PutLe32(header, 0);
        Bytes maskValues;
        if (masks) {
            const bool wide = plan.bits == 32;
            PutLe32(maskValues, wide ? 0x00FF0000 : 0xF800);
            PutLe32(maskValues, wide ? 0x0000FF00 : 0x07E0);
            PutLe32(maskValues, wide ? 0x000000FF : 0x001F);
        }
        if (plan.headerSize == 40) {
            Append(header, maskValues);
        } else {
            maskValues.resize(16, 0);
            Append(header, maskValues);
            header.resize(plan.headerSize, 0);
            if (plan.headerSize >= 108)
                std::copy_n("BGRs", 4, header.begin() + 56);  // LCS_sRGB
            if (plan.headerSize == 124)
                header[108] = 4;  // perceptual intent
        }
    }
    Append(bmp, header);
    for (uint32_t c = 0; c < colours; ++c) {
        uint32_t rgb = 0;
        if (!plan.palette.empty()) {
            rgb = plan.palette[c];
        } else {
            const uint32_t level = colours > 1 ? c * 255 / (colours - 1) : 0;
            rgb = level << 16 | (255 - level) << 8 | level;
        }
        Append(bmp, {static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb >> 16)});
        if (!core)
            bmp.push_back(0);
    }
    Append(bmp, pixelData);
    if (bmp.size() != fileSize)
        throw std::logic_error("bitmap layout");
    return bmp;
}

BmpPlan SmallBmpPlan(uint16_t width, uint16_t height)
{
    const uint32_t rowBytes = (width + 31u) / 32u * 4u;
    if (62 + rowBytes * height > 255)
        throw std::invalid_argument("small bitmap must stay below 256 bytes");
    Bytes rows;
    for (uint32_t y = 0; y < height; ++y)
        rows.insert(rows.end(), rowBytes, static_cast<uint8_t>((y & 1) ? 0xAA : 0x55));
    return {.bits = 1, .width = width, .height = height, .pixelData = rows, .palette = {0x000000, 0xFFFFFF}};
}

BmpPlan SolidBmpPlan(int32_t width, int32_t height, uint32_t colour)
{
    const auto rowBytes = static_cast<std::size_t>((width * 3 + 3) / 4 * 4);
    Bytes rows;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x)
            Append(rows, {static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8),
                          static_cast<uint8_t>(colour >> 16)});
        rows.resize(rows.size() + rowBytes - static_cast<std::size_t>(width) * 3, 0);
    }
    return {.bits = 24, .width = width, .height = height, .pixelData = rows};
}

std::vector<uint8_t> PatternRows8(int width, int height)
{
    Bytes out;
    const int stride = (width + 3) / 4 * 4;
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < stride; ++x)
            out.push_back(static_cast<uint8_t>(x < width ? (x + y) % 4 : 0));
    return out;
}

std::vector<uint8_t> BuildPng(const PngPlan& plan)
{
    Bytes raw;
    for (uint32_t y = 0; y < plan.height; ++y) {
        raw.push_back(0);  // filter: none
        for (uint32_t x = 0; x < plan.width; ++x)
            Append(raw, {static_cast<uint8_t>(x * 40), static_cast<uint8_t>(y * 60), 0x3B});
    }
    Bytes zlib{0x78, 0x01};
    for (std::size_t i = 0; i == 0 || i < raw.size(); i += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - i);
        zlib.push_back(i + n >= raw.size() ? 1 : 0);  // stored block, final or not
        PutLe16(zlib, static_cast<uint32_t>(n));
        PutLe16(zlib, static_cast<uint32_t>(~n & 0xFFFF));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(i),
                    raw.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    PutBe32(zlib, PlainAdler32(raw.data(), raw.size()));

    Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    PutBe32(header, plan.width);
    PutBe32(header, plan.height);
    Append(header, {8, 2, 0, 0, 0});
    PutPngChunk(png, "IHDR", header);
    if (!plan.text.empty()) {
        Bytes text;
        Append(text, std::string("Comment"));
        text.push_back(0);
        Append(text, plan.text);
        PutPngChunk(png, "tEXt", text);
    }
    const std::size_t parts = static_cast<std::size_t>(std::max(1, plan.idatChunks));
    const std::size_t step = (zlib.size() + parts - 1) / parts;
    for (std::size_t i = 0; i < zlib.size(); i += step)
        PutPngChunk(png, "IDAT",
                    Bytes(zlib.begin() + static_cast<std::ptrdiff_t>(i),
                          zlib.begin() + static_cast<std::ptrdiff_t>(std::min(zlib.size(), i + step))));
    PutPngChunk(png, "IEND", {});
    return png;
}

std::vector<uint8_t> BuildJpeg(const JpegPlan& plan)
{
    Bytes jpeg{0xFF, 0xD8};
    Bytes jfif;
    Append(jfif, std::string("JFIF"));
    Append(jfif, {0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00});
    JpegSegment(jpeg, 0xE0, jfif);
    if (plan.thumbnail) {
        Bytes exif;
        Append(exif, std::string("Exif"));
        Append(exif, {0x00, 0x00});
        Append(exif, BuildJpeg({}));
        JpegSegment(jpeg, 0xE1, exif);
    }
    if (!plan.comment.empty())
        JpegSegment(jpeg, 0xFE, Bytes(plan.comment.begin(), plan.comment.end()));
    Bytes quantisation{0x00};
    quantisation.resize(65, 0x01);
    JpegSegment(jpeg, 0xDB, quantisation);
    // 8 high, 32 wide, one grey component sampled 1 x 1 with table 0.
    JpegSegment(jpeg, plan.progressive ? 0xC2 : 0xC0, {0x08, 0x00, 0x08, 0x00, 0x20, 0x01, 0x01, 0x11, 0x00});
    // DC: category 0 is "0", category 8 is "100000"; AC: end of block is "0".
    Bytes dcTable{0x00, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x08};
    Bytes acTable{0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00};
    Bytes tables = dcTable;
    Append(tables, acTable);
    JpegSegment(jpeg, 0xC4, plan.progressive ? dcTable : tables);
    JpegSegment(jpeg, 0xDD, {0x00, 0x02});  // restart every two blocks
    // Each restart interval: a block with DC difference 0, then one with +255,
    // whose eight 1 bits fill a byte that is stuffed as FF 00.
    if (plan.progressive) {
        JpegSegment(jpeg, 0xDA, {0x01, 0x01, 0x00, 0x00, 0x00, 0x00});
        Append(jpeg, {0x41, 0xFF, 0x00, 0xFF, 0xD0, 0x41, 0xFF, 0x00});
        JpegSegment(jpeg, 0xC4, acTable);
        JpegSegment(jpeg, 0xDA, {0x01, 0x01, 0x00, 0x01, 0x3F, 0x00});
        Append(jpeg, {0x3F, 0xFF, 0xD0, 0x3F});
    } else {
        JpegSegment(jpeg, 0xDA, {0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
        Append(jpeg, {0x20, 0xFF, 0x00, 0x7F, 0xFF, 0xD0, 0x20, 0xFF, 0x00, 0x7F});
    }
    Append(jpeg, {0xFF, 0xD9});
    return jpeg;
}

std::vector<uint8_t> Cut(const std::vector<uint8_t>& bytes, std::size_t count)
{
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(count, bytes.size()))};
}

std::vector<uint8_t> Then(std::vector<uint8_t> bytes, const std::vector<uint8_t>& more)
{
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}

std::vector<uint8_t> Garbage(std::size_t count, uint32_t seed)
{
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

std::size_t Find(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& pattern, int n)
{
    auto at = bytes.begin();
    for (;; ++at) {
        at = std::search(at, bytes.end(), pattern.begin(), pattern.end());
        if (at == bytes.end())
            throw std::logic_error("pattern not in the picture");
        if (n-- == 0)
            return static_cast<std::size_t>(at - bytes.begin());
    }
}

}  // namespace kestrix::test_support
