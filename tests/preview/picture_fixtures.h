#pragma once

// Small pictures for the holder and view tests, built on the shared builders.
#include "flash_image_builder.h"
#include "picture_builders.h"
#include "stream.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace kestrix::test_support {

using namespace kestrix::test_support;

using Bytes = std::vector<uint8_t>;

// The default palette of BuildGif (kFourColours), by colour index.
inline const QRgb kGifPalette[4] = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};

// colour as the 0xRRGGBB value the bitmap builder takes.
inline uint32_t Rgb(QColor colour)
{
    return colour.rgb() & 0xFFFFFFu;
}

// Offsets of the graphic control extensions BuildGif wrote, one per frame.
inline std::vector<std::size_t> GraphicControlOffsets(const Bytes& gif)
{
    std::vector<std::size_t> offsets;
    for (std::size_t p = 0; p + 9 < gif.size(); ++p)
        if (gif[p] == 0x21 && gif[p + 1] == 0xF9 && gif[p + 2] == 0x04 && gif[p + 8] == 0x2C)
            offsets.push_back(p);
    return offsets;
}

inline void PutLe16At(Bytes& bytes, std::size_t offset, uint16_t value)
{
    bytes.at(offset) = static_cast<uint8_t>(value);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

// Rewrites frame (0-based) of a BuildGif picture: its delay, packed byte
// (disposal << 2 | transparent flag; the transparent index is 0, black) and
// its image position.
struct FramePatch {
    uint16_t delay = 10;
    uint8_t packed = 0x04;
    uint16_t left = 0;
    uint16_t top = 0;
};
inline void PatchFrame(Bytes& gif, std::size_t frame, const FramePatch& patch)
{
    const std::size_t p = GraphicControlOffsets(gif).at(frame);
    gif[p + 3] = patch.packed;
    PutLe16At(gif, p + 4, patch.delay);
    PutLe16At(gif, p + 9, patch.left);
    PutLe16At(gif, p + 11, patch.top);
}

inline void SetScreenSize(Bytes& gif, uint16_t width, uint16_t height)
{
    PutLe16At(gif, 6, width);
    PutLe16At(gif, 8, height);
}

// A BuildGif animation whose frames carry the given delays.
inline Bytes MakeGifWithDelays(uint16_t width, uint16_t height, const std::vector<uint16_t>& delays)
{
    Bytes gif = BuildGif({.width = width, .height = height, .frames = static_cast<int>(delays.size()), .delay = 0});
    for (std::size_t i = 0; i < delays.size(); ++i)
        PatchFrame(gif, i, {delays[i], 0x04, 0, 0});
    return gif;
}

inline void FillStream(MemoryStream& stream, const Bytes& bytes)
{
    stream.Clear();
    if (!bytes.empty())
        stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
}

// Loads bytes through LoadFromStream; the holder's own errors propagate.
template <typename Holder>
void Load(Holder& holder, const Bytes& bytes)
{
    MemoryStream stream;
    FillStream(stream, bytes);
    holder.LoadFromStream(&stream);
}

}  // namespace kestrix::test_support
