#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace kestrix::test_support {

// Pictures of the four formats the picture search knows, built byte by byte
// with the structures (and the traps) a test needs. Every one decodes (bitmap
// info headers of 52 and 56 bytes are not read by every decoder).

// Little- and big-endian writes, a PNG chunk (length, type, data, CRC) and
// joining, for pictures and sounds put together by hand.
void PutLe16(std::vector<uint8_t>& out, uint32_t value);
void PutLe32(std::vector<uint8_t>& out, uint32_t value);
void PutBe16(std::vector<uint8_t>& out, uint32_t value);
void PutBe32(std::vector<uint8_t>& out, uint32_t value);
void PutPngChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data);
std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts);

// Black, red, green and blue as 0xRRGGBB: the GIF's default colour table and
// the palette of the bitmaps tests decode pixel by pixel.
inline constexpr uint32_t kFourColours[4] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

// How the LZW code stream of a GIF image is written.
enum class LzwStyle {
    Literals,       // a clear code before every pair of literals: 3-bit codes only (minimum code size 2)
    ClearWhenFull,  // a real encoder that clears its table when 4096 codes are taken
    KeepFullTable,  // a real encoder that goes on with a full table and 12-bit codes
};

// The LZW code stream (no sub-blocks, no minimum code size byte) of pixels,
// ending with the end code unless endCode is false.
std::vector<uint8_t> EncodeLzw(const std::vector<uint8_t>& pixels, int minCodeSize, LzwStyle style,
                               bool endCode = true);
// data split into sub-blocks of at most 255 bytes, ended with 00 when terminator.
std::vector<uint8_t> SubBlocks(const std::vector<uint8_t>& data, bool terminator = true);
// width x height colour indices, row by row: pixel (x, y) is (x + y + shift) % 4.
std::vector<uint8_t> PatternPixels(int width, int height, int shift = 0);

// One image of a GIF: its place on the screen, its colour indices (empty: the
// pattern (x + y + frame number) % 4), transparency, disposal and LZW style.
struct GifImage {
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 4;
    uint16_t height = 4;
    std::vector<uint8_t> pixels = {};
    int transparentIndex = -1;
    uint8_t disposal = 1;
    LzwStyle style = LzwStyle::Literals;
};

// A GIF on a width x height screen with a 4-entry global colour table
// (globalPalette, 12 bytes; put 00 3B there for the palette trap) and
// background colour index background. Its images are images or, when that is
// empty, frames images covering the whole screen. frames > 1 adds a looping
// application extension; comment, when not empty, goes into a comment
// extension before the first image; with graphicControl every image gets a
// graphic control extension with delay (00 3Bh = 15104 plants 00 3B);
// localPaletteFrame >= 0 gives that image its own table (the global one
// reversed). A GIF87a has no extensions at all.
// The default global colour table of a GifPlan: black, red, green, blue.
std::vector<uint8_t> DefaultGifPalette();

struct GifPlan {
    bool gif87a = false;
    uint16_t width = 8;
    uint16_t height = 6;
    int frames = 1;
    uint16_t delay = 10;
    std::string comment = {};
    std::vector<uint8_t> globalPalette = DefaultGifPalette();
    int localPaletteFrame = -1;
    bool graphicControl = true;
    uint8_t background = 0;
    std::vector<GifImage> images = {};
};
std::vector<uint8_t> BuildGif(const GifPlan& plan);
// The start of BuildGif(plan) for a screen of width x height: signature,
// screen descriptor and global colour table.
std::vector<uint8_t> GifHeader(uint16_t width, uint16_t height);
// The graphic control extension (delay 10) and image descriptor BuildGif writes
// for image, up to and including the minimum code size byte (2).
std::vector<uint8_t> GifImageHead(const GifImage& image);

// A bitmap file: info header of headerSize (12, 40, 52, 56, 108 or 124) bytes,
// bits per pixel 1/4/8 (with a palette), 16/24/32 (16 and 32 with bit-field
// masks unless compression says otherwise); height < 0 stores the rows
// top-down. fileSizeField < 0 writes the true size, otherwise that value (0 or
// too small to exercise the computed end). compression, when set, is written
// as given (masks follow only for 3). pixelData, when set, is stored as given
// after the palette; otherwise rows of a repeating pattern. palette (0xRRGGBB
// entries), when not empty, is the colour table and its size the colours-used
// field; otherwise a ramp of 2^bits colours for bits <= 8.
struct BmpPlan {
    uint32_t headerSize = 40;
    uint16_t bits = 24;
    int32_t width = 5;
    int32_t height = 3;
    int64_t fileSizeField = -1;
    std::optional<uint32_t> compression = {};
    std::optional<std::vector<uint8_t>> pixelData = {};
    std::vector<uint32_t> palette = {};
};
std::vector<uint8_t> BuildBmp(const BmpPlan& plan);
// The 1-bit bottom-up black-and-white bitmap of width x height whose header
// carries the 13-byte pattern the graphics scan looks for (pixel data at 62);
// throws std::invalid_argument when its file would reach 256 bytes.
BmpPlan SmallBmpPlan(uint16_t width, uint16_t height);
// A 24-bit bottom-up bitmap of width x height, every pixel colour (0xRRGGBB).
BmpPlan SolidBmpPlan(int32_t width, int32_t height, uint32_t colour);
// Uncompressed 8-bit rows, bottom row first, each padded to 4 bytes: pixel
// (x, y) has index (x + y) % 4.
std::vector<uint8_t> PatternRows8(int width, int height);

// An 8-bit RGB PNG of width x height whose zlib stream uses stored deflate blocks
// (with its Adler-32), split over idatChunks IDAT chunks; text, when not empty,
// goes into a tEXt chunk before the first IDAT.
struct PngPlan {
    uint32_t width = 4;
    uint32_t height = 3;
    int idatChunks = 1;
    std::string text = {};
};
std::vector<uint8_t> BuildPng(const PngPlan& plan);

// A 32 x 8 grey JPEG: SOI, APP0 (JFIF), optionally an APP1 (Exif) holding a whole
// thumbnail JPEG with its own FF D9, optionally a comment, DQT, SOF0 (or SOF2),
// DHT, DRI, SOS, entropy-coded data holding FF 00 and an RST marker, EOI.
// Progressive pictures have two scans with a DHT between them.
struct JpegPlan {
    bool thumbnail = false;
    bool progressive = false;
    std::string comment = {};
};
std::vector<uint8_t> BuildJpeg(const JpegPlan& plan);

// CRC-32 (PNG, zip) and Adler-32 (zlib), written plainly as checks on the core's.
uint32_t PlainCrc32(const uint8_t* data, std::size_t size);
uint32_t PlainAdler32(const uint8_t* data, std::size_t size);

// Byte helpers for cut, padded and hostile pictures.
// The first count bytes of bytes (all of them when it has fewer).
std::vector<uint8_t> Cut(const std::vector<uint8_t>& bytes, std::size_t count);
// bytes followed by more.
std::vector<uint8_t> Then(std::vector<uint8_t> bytes, const std::vector<uint8_t>& more);
// count bytes of repeatable noise, the same for the same seed.
std::vector<uint8_t> Garbage(std::size_t count, uint32_t seed);
// Offset of the n-th (from 0) occurrence of pattern in bytes; throws
// std::logic_error when there is none.
std::size_t Find(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& pattern, int n = 0);

}  // namespace kestrix::test_support
