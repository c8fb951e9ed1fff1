#include "png_encoder.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>
#include <string_view>

namespace kestrix {
namespace {

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, std::string_view type, std::span<const uint8_t> data)
{
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
    PutBigEndian(out, static_cast<uint32_t>(crc));
}

}  // namespace

std::vector<uint8_t> EncodeRgbPng(int32_t width, int32_t height, std::span<const uint8_t> rgb)
{
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    // Each row is stored after a filter byte 1 (Sub): the map's long runs of
    // one colour become runs of zeros.
    std::vector<uint8_t> rows;
    rows.reserve((stride + 1) * static_cast<std::size_t>(height));
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = rgb.data() + stride * static_cast<std::size_t>(y);
        rows.push_back(1);
        for (std::size_t i = 0; i < stride; ++i)
            rows.push_back(static_cast<uint8_t>(row[i] - (i >= 3 ? row[i - 3] : 0)));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, rows.data(), static_cast<uLong>(rows.size()), 6) != Z_OK)
        throw std::runtime_error("the picture could not be compressed");
    packed.resize(packedSize);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no interlace
    PutChunk(out, "IHDR", header);
    PutChunk(out, "IDAT", packed);
    PutChunk(out, "IEND", {});
    return out;
}

}  // namespace kestrix
