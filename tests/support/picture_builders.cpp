#include "picture_builders.h"

#include <algorithm>
#include <stdexcept>

namespace kestrix::test_support {
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

void Le16(Bytes& out, uint32_t v)
{
    Append(out, {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
}

void Le32(Bytes& out, uint32_t v)
{
    Le16(out, v);
    Le16(out, v >> 16);
}

void Be16(Bytes& out, uint32_t v)
{
    Append(out, {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
}

void Be32(Bytes& out, uint32_t v)
{
    Be16(out, v >> 16);
    Be16(out, v);
}

// LZW data whose code width never grows: a clear code comes before the table
// would need a wider code.
Bytes LzwSubBlocks(const Bytes& pixels, int minCodeSize)
{
    const uint32_t clear = 1u << minCodeSize;
    const int width = minCodeSize + 1;
    const std::size_t literalsPerClear = std::max<std::size_t>(1, clear - 2);
    Bytes packed;
    uint32_t bits = 0;
    int bitCount = 0;
    auto emit = [&](uint32_t code) {
        bits |= code << bitCount;
        bitCount += width;
        while (bitCount >= 8) {
            packed.push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            bitCount -= 8;
        }
    };
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i % literalsPerClear == 0)
            emit(clear);
        emit(pixels[i]);
    }
    emit(clear + 1);
    if (bitCount > 0)
        packed.push_back(static_cast<uint8_t>(bits));

    Bytes blocks{static_cast<uint8_t>(minCodeSize)};
    for (std::size_t i = 0; i < packed.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, packed.size() - i);
        blocks.push_back(static_cast<uint8_t>(n));
        blocks.insert(blocks.end(), packed.begin() + static_cast<std::ptrdiff_t>(i),
                      packed.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    blocks.push_back(0);
    return blocks;
}

void SubBlocks(Bytes& out, const std::string& data)
{
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    out.push_back(0);
}

void PngChunk(Bytes& out, const char* type, const Bytes& data)
{
    Be32(out, static_cast<uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    Append(typed, data);
    Append(out, typed);
    Be32(out, PlainCrc32(typed.data(), typed.size()));
}

void JpegSegment(Bytes& out, uint8_t marker, const Bytes& body)
{
    Append(out, {0xFF, marker});
    Be16(out, static_cast<uint32_t>(body.size() + 2));
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

std::vector<uint8_t> BuildGif(const GifPlan& plan)
{
    if (plan.globalPalette.size() != 12)
        throw std::invalid_argument("the global palette has 4 entries");
    Bytes gif;
    Append(gif, std::string(plan.gif87a ? "GIF87a" : "GIF89a"));
    Le16(gif, plan.width);
    Le16(gif, plan.height);
    Append(gif, {0x81, 0x00, 0x00});  // global table of 4 colours
    Append(gif, plan.globalPalette);
    if (!plan.gif87a && plan.frames > 1) {
        Append(gif, {0x21, 0xFF, 0x0B});
        Append(gif, std::string("NETSCAPE2.0"));
        Append(gif, {0x03, 0x01, 0x00, 0x00, 0x00});
    }
    if (!plan.gif87a && !plan.comment.empty()) {
        Append(gif, {0x21, 0xFE});
        SubBlocks(gif, plan.comment);
    }
    for (int frame = 0; frame < plan.frames; ++frame) {
        if (!plan.gif87a) {
            Append(gif, {0x21, 0xF9, 0x04, 0x04});
            Le16(gif, plan.delay);
            Append(gif, {0x00, 0x00});
        }
        gif.push_back(0x2C);
        Le16(gif, 0);
        Le16(gif, 0);
        Le16(gif, plan.width);
        Le16(gif, plan.height);
        if (frame == plan.localPaletteFrame) {
            gif.push_back(0x81);
            Append(gif, Bytes(plan.globalPalette.rbegin(), plan.globalPalette.rend()));
        } else {
            gif.push_back(0x00);
        }
        Bytes pixels(static_cast<std::size_t>(plan.width) * plan.height);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<uint8_t>((i / plan.width + i % plan.width + static_cast<std::size_t>(frame)) % 4);
        Append(gif, LzwSubBlocks(pixels, 2));
    }
    gif.push_back(0x3B);
    return gif;
}

std::vector<uint8_t> BuildBmp(const BmpPlan& plan)
{
    const bool core = plan.headerSize == 12;
    const bool masks = !core && (plan.bits == 16 || plan.bits == 32);
    const uint32_t colours = plan.bits <= 8 ? 1u << plan.bits : 0;
    const uint32_t paletteBytes = colours * (core ? 3 : 4);
    const uint32_t maskBytes = masks && plan.headerSize == 40 ? 12 : 0;
    const uint32_t offset = 14 + plan.headerSize + maskBytes + paletteBytes;
    const uint32_t rowBytes = (static_cast<uint32_t>(plan.width) * plan.bits + 31) / 32 * 4;
    const uint32_t rows = static_cast<uint32_t>(plan.height < 0 ? -plan.height : plan.height);
    const uint32_t fileSize = offset + rowBytes * rows;

    Bytes bmp{'B', 'M'};
    Le32(bmp, plan.fileSizeField < 0 ? fileSize : static_cast<uint32_t>(plan.fileSizeField));
    Le32(bmp, 0);
    Le32(bmp, offset);
    Bytes header;
    Le32(header, plan.headerSize);
    if (core) {
        Le16(header, static_cast<uint32_t>(plan.width));
        Le16(header, static_cast<uint32_t>(plan.height));
        Le16(header, 1);
        Le16(header, plan.bits);
    } else {
        Le32(header, static_cast<uint32_t>(plan.width));
        Le32(header, static_cast<uint32_t>(plan.height));
        Le16(header, 1);
        Le16(header, plan.bits);
        Le32(header, masks ? 3 : 0);
        Le32(header, rowBytes * rows);
        Le32(header, 2835);
        Le32(header, 2835);
        Le32(header, 0);
        Le32(header, 0);
        Bytes maskValues;
        if (masks) {
            const bool wide = plan.bits == 32;
            Le32(maskValues, wide ? 0x00FF0000 : 0xF800);
            Le32(maskValues, wide ? 0x0000FF00 : 0x07E0);
            Le32(maskValues, wide ? 0x000000FF : 0x001F);
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
        const auto level = static_cast<uint8_t>(c * 255 / (colours - 1));
        Append(bmp, {level, static_cast<uint8_t>(255 - level), level});
        if (!core)
            bmp.push_back(0);
    }
    for (uint32_t y = 0; y < rows; ++y)
        for (uint32_t x = 0; x < rowBytes; ++x)
            bmp.push_back(static_cast<uint8_t>(0x11 * ((x + y) % 15)));
    if (bmp.size() != fileSize)
        throw std::logic_error("bitmap layout");
    return bmp;
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
        Le16(zlib, static_cast<uint32_t>(n));
        Le16(zlib, static_cast<uint32_t>(~n & 0xFFFF));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(i),
                    raw.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    Be32(zlib, PlainAdler32(raw.data(), raw.size()));

    Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    Be32(header, plan.width);
    Be32(header, plan.height);
    Append(header, {8, 2, 0, 0, 0});
    PngChunk(png, "IHDR", header);
    if (!plan.text.empty()) {
        Bytes text;
        Append(text, std::string("Comment"));
        text.push_back(0);
        Append(text, plan.text);
        PngChunk(png, "tEXt", text);
    }
    const std::size_t parts = static_cast<std::size_t>(std::max(1, plan.idatChunks));
    const std::size_t step = (zlib.size() + parts - 1) / parts;
    for (std::size_t i = 0; i < zlib.size(); i += step)
        PngChunk(png, "IDAT",
                 Bytes(zlib.begin() + static_cast<std::ptrdiff_t>(i),
                       zlib.begin() + static_cast<std::ptrdiff_t>(std::min(zlib.size(), i + step))));
    PngChunk(png, "IEND", {});
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
