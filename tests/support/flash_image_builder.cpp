#include "flash_image_builder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kestrix::test_support {
namespace {

void PutLe16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v)
{
    PutLe16(out, static_cast<uint16_t>(v));
    PutLe16(out, static_cast<uint16_t>(v >> 16));
}

// LZW data for 2-bit pixels that never lets the code table grow: a clear code
// before every pair of literals keeps every code 3 bits wide.
std::vector<uint8_t> EncodePixels(const std::vector<uint8_t>& pixels)
{
    std::vector<uint8_t> packed;
    uint32_t bits = 0;
    int bitCount = 0;
    auto emit = [&](uint32_t code) {
        bits |= code << bitCount;
        bitCount += 3;
        while (bitCount >= 8) {
            packed.push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            bitCount -= 8;
        }
    };
    constexpr uint32_t kClear = 4;
    constexpr uint32_t kEnd = 5;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i % 2 == 0)
            emit(kClear);
        emit(pixels[i] & 3u);
    }
    emit(kEnd);
    if (bitCount > 0)
        packed.push_back(static_cast<uint8_t>(bits));

    std::vector<uint8_t> blocks{2};  // minimum code size
    for (std::size_t i = 0; i < packed.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, packed.size() - i);
        blocks.push_back(static_cast<uint8_t>(n));
        blocks.insert(blocks.end(), packed.begin() + static_cast<std::ptrdiff_t>(i),
                      packed.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    blocks.push_back(0);
    return blocks;
}

}  // namespace

FlashImageBuilder::FlashImageBuilder(std::size_t size, uint8_t fill) : m_bytes(size, fill) {}

FlashImageBuilder& FlashImageBuilder::Fill(std::size_t offset, std::size_t count, uint8_t value)
{
    if (offset + count > m_bytes.size())
        throw std::out_of_range("Fill past the image end");
    std::fill_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset), count, value);
    return *this;
}

FlashImageBuilder& FlashImageBuilder::Put(std::size_t offset, std::string_view bytes)
{
    if (offset + bytes.size() > m_bytes.size())
        throw std::out_of_range("Put past the image end");
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

FlashImageBuilder& FlashImageBuilder::Put(std::size_t offset, const std::vector<uint8_t>& bytes)
{
    return Put(offset, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

FlashImageBuilder& FlashImageBuilder::PutFact(FactLayout fact, std::string_view text)
{
    Put(static_cast<std::size_t>(fact.offset), text);
    m_bytes.at(static_cast<std::size_t>(fact.offset) + text.size()) = fact.stop;
    return *this;
}

FlashImageBuilder& FlashImageBuilder::PutFileEntry(std::size_t h, std::string_view name, uint32_t size,
                                                   std::string_view data)
{
    if (h < 89 || name.empty() || name.size() > 45)
        throw std::invalid_argument("file entry out of layout");
    Fill(h - 89, 89, 0x00);
    for (std::size_t i = 0; i < name.size(); ++i)
        m_bytes.at(h - 89 + 2 * i) = static_cast<uint8_t>(name[i]);
    Put(h, std::string_view("\x00\x00\x01\xFF\x00\x00\x00", 7));
    Fill(h + 7, 31, 0x00);
    const uint8_t sizeBytes[4] = {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                                  static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
    Put(h + 22, std::string_view(reinterpret_cast<const char*>(sizeBytes), 4));
    Put(h + 38, data);
    return *this;
}

std::string_view FlashImageBuilder::View() const noexcept
{
    return {reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size()};
}

void FlashImageBuilder::WriteTo(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(m_bytes.data()), static_cast<std::streamsize>(m_bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> MakeGif(const GifOptions& options)
{
    std::vector<uint8_t> gif{'G', 'I', 'F', '8', '9', 'a'};
    PutLe16(gif, options.width);
    PutLe16(gif, options.height);
    gif.push_back(0x81);  // global colour table of 4 entries
    gif.push_back(0);
    gif.push_back(0);
    const uint8_t palette[12] = {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF};
    gif.insert(gif.end(), std::begin(palette), std::end(palette));
    if (options.frames > 1) {
        const char loop[] = "\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00";
        gif.insert(gif.end(), loop, loop + sizeof loop - 1);
    }
    if (!options.comment.empty()) {
        gif.push_back(0x21);
        gif.push_back(0xFE);
        for (std::size_t i = 0; i < options.comment.size(); i += 255) {
            const std::size_t n = std::min<std::size_t>(255, options.comment.size() - i);
            gif.push_back(static_cast<uint8_t>(n));
            gif.insert(gif.end(), options.comment.begin() + static_cast<std::ptrdiff_t>(i),
                       options.comment.begin() + static_cast<std::ptrdiff_t>(i + n));
        }
        gif.push_back(0);
    }
    for (int frame = 0; frame < options.frames; ++frame) {
        if (options.graphicControl) {
            gif.insert(gif.end(), {0x21, 0xF9, 0x04, 0x04});
            PutLe16(gif, options.delay);
            gif.insert(gif.end(), {0x00, 0x00});
        }
        gif.push_back(0x2C);
        PutLe16(gif, 0);
        PutLe16(gif, 0);
        PutLe16(gif, options.width);
        PutLe16(gif, options.height);
        gif.push_back(0);
        std::vector<uint8_t> pixels(static_cast<std::size_t>(options.width) * options.height);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] =
                static_cast<uint8_t>((i / options.width + i % options.width + static_cast<std::size_t>(frame)) % 4);
        const auto data = EncodePixels(pixels);
        gif.insert(gif.end(), data.begin(), data.end());
    }
    gif.push_back(0x3B);
    return gif;
}

std::vector<uint8_t> MakeSmallBmp(uint16_t width, uint16_t height)
{
    const uint32_t rowBytes = (width + 31u) / 32u * 4u;
    const uint32_t fileSize = 62 + rowBytes * height;
    if (fileSize > 255)
        throw std::invalid_argument("small bitmap must stay below 256 bytes");
    std::vector<uint8_t> bmp{'B', 'M'};
    PutLe32(bmp, fileSize);
    PutLe32(bmp, 0);
    PutLe32(bmp, 62);
    PutLe32(bmp, 40);
    PutLe32(bmp, width);
    PutLe32(bmp, height);
    PutLe16(bmp, 1);
    PutLe16(bmp, 1);
    PutLe32(bmp, 0);
    PutLe32(bmp, rowBytes * height);
    PutLe32(bmp, 2835);
    PutLe32(bmp, 2835);
    PutLe32(bmp, 2);
    PutLe32(bmp, 0);
    PutLe32(bmp, 0x00000000);
    PutLe32(bmp, 0x00FFFFFF);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < rowBytes; ++x)
            bmp.push_back(static_cast<uint8_t>((y & 1) ? 0xAA : 0x55));
    return bmp;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace kestrix::test_support
