#pragma once

// Qt's side of the imaging tests' pictures: the builders' four colours as Qt
// colours, and JPEG and PNG files written by Qt.
#include "picture_builders.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrix::test_support {

using Bytes = std::vector<uint8_t>;

// kFourColours as Qt colours, by colour index: the GIF's default table and the
// palette of the bitmaps built with .palette = FourColourPalette().
inline const QRgb kPalette[4] = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};

// kFourColours as a BmpPlan palette.
inline std::vector<uint32_t> FourColourPalette()
{
    return {std::begin(kFourColours), std::end(kFourColours)};
}

// A picture Qt writes in format ("jpeg", "png"): a gradient that compresses
// into several blocks.
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
