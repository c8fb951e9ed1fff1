// The GIF check (every image's LZW codes counted to the last pixel) over the
// GIFs the content search finds in a phone-like sample image, the pictures
// check's largest share of the content search's time, and over GIFs of a real
// encoder (codes of up to 12 bits; the sample's are 3-bit literals between
// clear codes).
//
//   gif_check_bench [IMAGE] [benchmark flags]
// IMAGE defaults to $TMPDIR/kestrix-bench-268435456.bin (bench/content_speed.sh
// makes it).
#include "content_search.h"
#include "custom_hex_buffer.h"
#include "gif_walk.h"
#include "picture_builders.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace kestrix;

std::string g_imagePath;

const std::vector<std::span<const uint8_t>>& WholeGifs()
{
    static THexBuffer buffer;
    static const std::vector<std::span<const uint8_t>> gifs = [] {
        buffer.LoadFromFile(g_imagePath);
        std::vector<std::span<const uint8_t>> found;
        const std::optional<ContentFound> content =
            FindAllContent(buffer.Bytes(), {}, {}, ContentKinds::Only(ContentKind::Picture));
        for (const FoundItem& item : content->Items)
            if (item.Type == ItemType::Gif && item.Status == ItemStatus::Complete)
                found.push_back(buffer.Bytes().subspan(static_cast<std::size_t>(item.Start),
                                                       static_cast<std::size_t>(item.FormatSize())));
        return found;
    }();
    return gifs;
}

const std::vector<std::span<const uint8_t>>& EncodedGifs()
{
    static const std::vector<std::vector<uint8_t>> kept = [] {
        std::vector<std::vector<uint8_t>> made;
        uint32_t seed = 1;
        for (int k = 0; k < 400; ++k) {
            test_support::GifImage image{.width = 120, .height = 100, .style = test_support::LzwStyle::ClearWhenFull};
            // Runs of one colour of random lengths, as in a drawn picture.
            for (std::size_t i = 0; i < std::size_t{120} * 100;) {
                seed = seed * 1103515245u + 12345u;
                const std::size_t run = 1 + (seed >> 16) % 6;
                for (std::size_t j = 0; j < run && i < std::size_t{120} * 100; ++j, ++i)
                    image.pixels.push_back(static_cast<uint8_t>(seed >> 28 & 3));
            }
            made.push_back(test_support::BuildGif({.width = 120, .height = 100, .images = {image}}));
        }
        return made;
    }();
    static const std::vector<std::span<const uint8_t>> gifs(kept.begin(), kept.end());
    return gifs;
}

void CountGifPixels(benchmark::State& state, const std::vector<std::span<const uint8_t>>& (*corpus)())
{
    const std::vector<std::span<const uint8_t>>& gifs = corpus();
    int64_t bytes = 0;
    for (const auto& gif : gifs)
        bytes += static_cast<int64_t>(gif.size());
    int64_t faults = 0;
    for (auto _ : state)
        for (const auto& gif : gifs)
            faults += ReadGifLayout(gif).Fault != PictureFault::None;
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["gifs"] = static_cast<double>(gifs.size());
    state.counters["faults"] = static_cast<double>(faults) / static_cast<double>(state.iterations());
}

BENCHMARK_CAPTURE(CountGifPixels, sample, WholeGifs)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CountGifPixels, encoder, EncodedGifs)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    const char* folder = std::getenv("TMPDIR");
    g_imagePath = std::string(folder ? folder : "/tmp") + "/kestrix-bench-268435456.bin";
    if (argc > 1 && argv[1][0] != '-') {
        g_imagePath = argv[1];
        --argc;
        ++argv;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
