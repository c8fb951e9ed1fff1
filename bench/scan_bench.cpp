#include "file_entry_scan.h"
#include "flash_image_builder.h"
#include "flash_like_data.h"
#include "graphics_scan.h"
#include "picture_builders.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

using kestrix::THexBuffer;

constexpr std::size_t kImageSize = 256u << 20;

// Flash-like content with a few hundred file entries, GIFs and bitmaps.
THexBuffer& Image()
{
    static std::unique_ptr<THexBuffer> image;
    if (!image) {
        std::vector<uint8_t> bytes = kestrix::bench::FlashLikeBytes(kImageSize, 2);
        auto put = [&bytes](std::size_t at, const std::vector<uint8_t>& item) {
            std::copy(item.begin(), item.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        };
        const auto gif = kestrix::test_support::BuildGif({.height = 8});
        const auto bmp = kestrix::test_support::BuildBmp(kestrix::test_support::SmallBmpPlan(8, 8));
        kestrix::test_support::FlashImageBuilder entries(4096, 0x00);
        for (int k = 0; k < 400; ++k) {
            const std::size_t at = (static_cast<std::size_t>(k) + 1) * (kImageSize / 402);
            entries.PutFileEntry(100, "file" + std::to_string(k) + ".bin", static_cast<uint32_t>(k * 3));
            put(at, std::vector<uint8_t>(entries.Bytes().begin(), entries.Bytes().begin() + 200));
            put(at + 1000, gif);
            put(at + 2000, bmp);
        }
        image = std::make_unique<THexBuffer>();
        kestrix::bench::LoadBytes(*image, bytes);
    }
    return *image;
}

void FileEntryScan(benchmark::State& state)
{
    THexBuffer& buffer = Image();
    kestrix::FoundRows rows;
    for (auto _ : state)
        kestrix::ScanFileEntries(buffer, {}, rows);
    state.counters["rows"] = static_cast<double>(rows.Count());
}

void GraphicsScan(benchmark::State& state)
{
    THexBuffer& buffer = Image();
    kestrix::FoundRows rows;
    for (auto _ : state)
        kestrix::ScanGraphics(buffer, {}, rows);
    state.counters["rows"] = static_cast<double>(rows.Count());
}

// 512 MiB without a single hit: every search runs to the end of the image.
THexBuffer& LargeImageWithoutHits()
{
    static std::unique_ptr<THexBuffer> image;
    if (!image) {
        image = std::make_unique<THexBuffer>();
        kestrix::bench::LoadBytes(*image, kestrix::bench::FlashLikeBytes(512u << 20, 3, 12));
    }
    return *image;
}

// The longest stretch without a chance for the front end to process events.
template <typename Scan>
void LongestPause(benchmark::State& state, Scan scan)
{
    THexBuffer& buffer = LargeImageWithoutHits();
    using Clock = std::chrono::steady_clock;
    double longest = 0;
    for (auto _ : state) {
        Clock::time_point last = Clock::now();
        kestrix::ScanHooks hooks;
        hooks.KeepGoing = [&] {
            const Clock::time_point now = Clock::now();
            longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
            return true;
        };
        scan(buffer, hooks);
        longest = std::max(longest, std::chrono::duration<double, std::milli>(Clock::now() - last).count());
    }
    state.counters["longest_pause_ms"] = longest;
}

void FileEntryScanPause(benchmark::State& state)
{
    LongestPause(state, [](THexBuffer& b, const kestrix::ScanHooks& h) {
        kestrix::FoundRows rows;
        kestrix::ScanFileEntries(b, h, rows);
    });
}

void GraphicsScanPause(benchmark::State& state)
{
    LongestPause(state, [](THexBuffer& b, const kestrix::ScanHooks& h) {
        kestrix::FoundRows rows;
        kestrix::ScanGraphics(b, h, rows);
    });
}

BENCHMARK(FileEntryScan)->Unit(benchmark::kMillisecond);
BENCHMARK(GraphicsScan)->Unit(benchmark::kMillisecond);
BENCHMARK(FileEntryScanPause)->Unit(benchmark::kMillisecond);
BENCHMARK(GraphicsScanPause)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
