// map_bench IMAGE [RUNS]
//
// The map of the flash and the hex view's find on a loaded image, best of RUNS
// (default 5), in milliseconds: the map's cells (4096 of them, as beside the
// view) with the items of the content search painted on, the picture of
// kestrix-cli map (512 pixels wide) with its PNG, and a find of bytes the
// image does not hold, forward from the start and back from the end. The
// content search runs once before, untimed: these figures are "from the
// image and its rows". bench/hexview_bench.sh sets them against the
// whole-process time of kestrix-cli info.
#include "byte_find.h"
#include "content_search.h"
#include "flash_map.h"
#include "png_encoder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

double BestMs(int runs, const std::function<void()>& work)
{
    double best = 1e18;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: map_bench IMAGE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    kestrix::THexBuffer buffer;
    buffer.LoadFromFile(argv[1]);
    const auto found = kestrix::FindAllContent(buffer.Bytes(), {});
    const std::vector<kestrix::MapItem> items =
        kestrix::MapItemsOf(buffer.Bytes(), found ? found->Items : std::vector<kestrix::FoundItem>{});
    std::size_t sink = 0;
    const double cells =
        BestMs(runs, [&] { sink += kestrix::ComputeFlashMap(buffer.Bytes(), items, 4096).Entropy[0]; });
    const double picture = BestMs(runs, [&] {
        const kestrix::MapPicture map = kestrix::DrawFlashMap(buffer.Bytes(), items, 512);
        sink += kestrix::EncodeRgbPng(map.Width, map.Height, map.Rgb).size();
    });
    const uint8_t missing[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x23, 0x45, 0x67};
    const double forward = BestMs(runs, [&] { sink += kestrix::FindNextMatch(buffer, missing, 0, {}).Offset; });
    const double back =
        BestMs(runs, [&] { sink += kestrix::FindPreviousMatch(buffer, missing, buffer.DataSize(), {}).Offset; });
    std::printf("image: %d MiB, %zu items\n", buffer.DataSize() >> 20, items.size());
    std::printf("map cells: %.1f ms\nmap picture and PNG: %.1f ms\nfind forward: %.1f ms\nfind back: %.1f ms\n", cells,
                picture, forward, back);
    return sink == 42 ? 1 : 0;
}
