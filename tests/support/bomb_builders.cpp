#include "bomb_builders.h"

#include "picture_builders.h"

#include <zlib.h>

#include <stdexcept>

namespace kestrix::test_support {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes EmptyRleBitmap(uint16_t side)
{
    constexpr uint32_t kOffset = 14 + 40 + 4 * 2;
    Bytes out{'B', 'M'};
    PutLe32(out, kOffset + 2);
    PutLe32(out, 0);
    PutLe32(out, kOffset);
    PutLe32(out, 40);
    PutLe32(out, side);
    PutLe32(out, side);
    PutLe16(out, 1);
    PutLe16(out, 8);
    PutLe32(out, 1);  // RLE8
    PutLe32(out, 2);
    PutLe32(out, 2835);
    PutLe32(out, 2835);
    PutLe32(out, 2);
    PutLe32(out, 0);
    out.insert(out.end(), {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00});
    out.insert(out.end(), {0x00, 0x01});
    return out;
}

Bytes ColourlessGif(uint16_t side)
{
    Bytes out{'G', 'I', 'F', '8', '9', 'a'};
    PutLe16(out, side);
    PutLe16(out, side);
    out.insert(out.end(), {0x00, 0x00, 0x00});
    out.push_back(0x2C);
    PutLe16(out, 0);
    PutLe16(out, 0);
    PutLe16(out, side);
    PutLe16(out, side);
    out.push_back(0x00);
    // Code size 2: a clear code (4), then the end code (5).
    out.insert(out.end(), {0x02, 0x01, 0x2C, 0x00, 0x3B});
    return out;
}

Bytes RepeatedScanJpeg(int repeats)
{
    const Bytes jpeg = BuildJpeg({.progressive = true});
    // The second scan with the table before it: DHT ... up to the end marker.
    const std::size_t scan = Find(jpeg, {0xFF, 0xC4}, 1);
    Bytes out(jpeg.begin(), jpeg.end() - 2);
    const Bytes repeated(jpeg.begin() + static_cast<std::ptrdiff_t>(scan), jpeg.end() - 2);
    for (int k = 1; k < repeats; ++k)
        out.insert(out.end(), repeated.begin(), repeated.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

Bytes ManyScansJpeg()
{
    const Bytes jpeg = BuildJpeg({.progressive = true});
    const std::size_t secondScan = Find(jpeg, {0xFF, 0xDA}, 1);
    Bytes out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(secondScan));
    // Every block of a one-coefficient scan ends at once; the restart interval
    // of two blocks puts a marker between the two pairs.
    const auto scan = [&out](uint8_t coefficient, uint8_t approximation) {
        out.insert(out.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, coefficient, coefficient, approximation});
        out.insert(out.end(), {0x3F, 0xFF, 0xD0, 0x3F});
    };
    for (uint8_t k = 1; k <= 63; ++k) {
        scan(k, 0x01);
        scan(k, 0x10);
    }
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

Bytes HugeCanvasJpeg(uint16_t side)
{
    Bytes jpeg = BuildJpeg({});
    const std::size_t frame = Find(jpeg, {0xFF, 0xC0});
    jpeg[frame + 5] = static_cast<uint8_t>(side >> 8);
    jpeg[frame + 6] = static_cast<uint8_t>(side);
    jpeg[frame + 7] = static_cast<uint8_t>(side >> 8);
    jpeg[frame + 8] = static_cast<uint8_t>(side);
    return jpeg;
}

Bytes ZeroPng(uint16_t side)
{
    const Bytes raw(static_cast<std::size_t>(side) * (side + 1u), 0);
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
        throw std::runtime_error("zlib failed");
    packed.resize(packedSize);
    Bytes out{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    PutBe32(header, side);
    PutBe32(header, side);
    header.insert(header.end(), {8, 0, 0, 0, 0});  // 8-bit grey, deflate, no filter method, no interlace
    PutPngChunk(out, "IHDR", header);
    PutPngChunk(out, "IDAT", packed);
    PutPngChunk(out, "IEND", {});
    return out;
}

}  // namespace

std::vector<uint8_t> BuildBomb(BombKind kind, uint16_t side, int repeats)
{
    switch (kind) {
    case BombKind::EmptyRleBitmap: return EmptyRleBitmap(side);
    case BombKind::ColourlessGif: return ColourlessGif(side);
    case BombKind::RepeatedScanJpeg: return RepeatedScanJpeg(repeats);
    case BombKind::ManyScansJpeg: return ManyScansJpeg();
    case BombKind::HugeCanvasJpeg: return HugeCanvasJpeg(side);
    case BombKind::ZeroPng: return ZeroPng(side);
    }
    return {};
}

}  // namespace kestrix::test_support
