// Writes a flash-like image packed with decode bombs of every kind the picture
// search meets (bomb_bench.sh): each one small, structurally whole, and
// declaring a canvas or a scan count far beyond its bytes; erased flash between
// them, at odd offsets.
//
//   bomb_image OUTPUT [SIZE_BYTES]    (default 1.6 MB)
//   bomb_image --each FOLDER          every bomb on its own, as fuzz seeds
#include "bomb_builders.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--each") == 0) {
        using kestrix::test_support::BombKind;
        const std::pair<const char*, BombKind> kinds[] = {
            {"bomb-empty-rle.bmp", BombKind::EmptyRleBitmap},       {"bomb-colourless.gif", BombKind::ColourlessGif},
            {"bomb-repeated-scan.jpg", BombKind::RepeatedScanJpeg}, {"bomb-many-scans.jpg", BombKind::ManyScansJpeg},
            {"bomb-huge-canvas.jpg", BombKind::HugeCanvasJpeg},     {"bomb-zeros.png", BombKind::ZeroPng}};
        for (const auto& [name, kind] : kinds) {
            const std::vector<uint8_t> bomb = kestrix::test_support::BuildBomb(kind, 4096, 300);
            std::ofstream out(std::string(argv[2]) + "/" + name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bomb.data()), static_cast<std::streamsize>(bomb.size()));
            if (!out)
                return 1;
        }
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: bomb_image OUTPUT [SIZE_BYTES]\n");
        return 2;
    }
    const std::size_t size = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1600 * 1000;
    using kestrix::test_support::BombKind;
    using kestrix::test_support::BuildBomb;
    // A few large bombs, then small ones to the end: the small ones cost a
    // decoder without a bound the most for their bytes.
    const std::vector<std::vector<uint8_t>> large = {
        BuildBomb(BombKind::RepeatedScanJpeg), BuildBomb(BombKind::ManyScansJpeg), BuildBomb(BombKind::ZeroPng),
        BuildBomb(BombKind::ZeroPng, 2048), BuildBomb(BombKind::ZeroPng, 1024)};
    const std::vector<std::vector<uint8_t>> small = {
        BuildBomb(BombKind::EmptyRleBitmap), BuildBomb(BombKind::ColourlessGif), BuildBomb(BombKind::HugeCanvasJpeg)};
    std::vector<uint8_t> image(1001, 0xFF);
    for (std::size_t k = 0; image.size() < size; ++k) {
        const std::vector<uint8_t>& bomb = k < large.size() ? large[k] : small[k % small.size()];
        image.resize(image.size() + 16 + k % 7, 0xFF);
        image.insert(image.end(), bomb.begin(), bomb.end());
    }
    image.resize(size, 0xFF);
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return out ? 0 : 1;
}
