#pragma once

#include <cstdint>
#include <vector>

namespace kestrix::test_support {

// Decode bombs: small pictures whose structure is whole but whose headers
// declare a canvas (or a scan count) far beyond what their bytes hold, so that a
// decoder without a bound spends seconds on a few bytes. Each one is walked to its
// end by the picture search like any other picture of its kind.
enum class BombKind {
    // An RLE8 bitmap whose pixel data say only "end of bitmap".
    EmptyRleBitmap,
    // A GIF whose single image has no colour table of its own nor of the screen.
    ColourlessGif,
    // A progressive JPEG whose last scan is repeated.
    RepeatedScanJpeg,
    // A valid progressive JPEG of 127 scans: its DC scan, then each AC
    // coefficient on its own, first at half precision and then refined.
    ManyScansJpeg,
    // A baseline JPEG whose frame header declares the canvas; the scan is tiny.
    HugeCanvasJpeg,
    // A PNG of the canvas in 8-bit grey, every pixel zero, compressed by zlib.
    ZeroPng,
};

// A bomb of the given kind. side is the canvas's width and height (at most 4096;
// unused by RepeatedScanJpeg); repeats is RepeatedScanJpeg's scan count.
std::vector<uint8_t> BuildBomb(BombKind kind, uint16_t side = 4096, int repeats = 10000);

}  // namespace kestrix::test_support
