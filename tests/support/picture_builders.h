#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix::test_support {

// Pictures of the four formats the picture search knows, built byte by byte
// with the structures (and the traps) a test needs. Every one decodes (bitmap
// info headers of 52 and 56 bytes are not read by every decoder).

// A GIF of width x height 2-bit pixels. globalPalette holds 4 RGB entries (12
// bytes; put 00 3B there for the palette trap). Each frame gets a graphic control
// extension with delay (00 3Bh = 15104 plants 00 3B); frames > 1 adds a looping
// application extension; comment, when not empty, goes into a comment extension
// before the first frame; localPaletteFrame >= 0 gives that frame its own table.
struct GifPlan {
    bool gif87a = false;
    uint16_t width = 8;
    uint16_t height = 6;
    int frames = 1;
    uint16_t delay = 10;
    std::string comment = {};
    std::vector<uint8_t> globalPalette{0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xC0, 0x20, 0x20, 0x20, 0x20, 0xC0};
    int localPaletteFrame = -1;
};
std::vector<uint8_t> BuildGif(const GifPlan& plan);

// A bitmap file: info header of headerSize (12, 40, 52, 56, 108 or 124) bytes,
// bits per pixel 1/4/8 (with a palette), 16/24/32 (16 and 32 with bit-field
// masks); height < 0 stores the rows top-down. fileSizeField < 0 writes the true
// size, otherwise that value (0 or too small to exercise the computed end).
struct BmpPlan {
    uint32_t headerSize = 40;
    uint16_t bits = 24;
    int32_t width = 5;
    int32_t height = 3;
    int64_t fileSizeField = -1;
};
std::vector<uint8_t> BuildBmp(const BmpPlan& plan);

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
