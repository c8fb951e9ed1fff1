// The deep picture search over a 256 MiB flash-like image with pictures of every
// kind sprinkled in, beside loading the same image from a file and reading its
// facts (what `kestrix-cli info` does), page cache warm. The search should take
// well under the load: the whole command is to stay within twice `info`.
#include "custom_hex_buffer.h"
#include "firmware_info.h"
#include "flash_image_builder.h"
#include "flash_like_data.h"
#include "picture_builders.h"
#include "picture_search.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace kestrix;

constexpr std::size_t kImageSize = 256u << 20;
constexpr int kPicturesOfEachKind = 500;

std::vector<uint8_t> MakeImage()
{
    std::vector<uint8_t> bytes = bench::FlashLikeBytes(kImageSize, 4);
    const std::vector<std::vector<uint8_t>> pictures = {
        test_support::BuildGif({.width = 60, .height = 40}),
        test_support::BuildGif({.frames = 4, .comment = std::string("\0\x3B", 2)}),
        test_support::BuildBmp({.bits = 24, .width = 40, .height = 30}),
        test_support::BuildBmp({.headerSize = 124, .bits = 8, .width = 16, .height = -16}),
        test_support::BuildJpeg({.thumbnail = true}),
        test_support::BuildPng({.width = 64, .height = 64, .idatChunks = 2}),
    };
    test_support::FlashImageBuilder entry(200, 0x00);
    const std::size_t step = kImageSize / (kPicturesOfEachKind * pictures.size() + 1);
    std::size_t at = step;
    for (int k = 0; k < kPicturesOfEachKind; ++k)
        for (const auto& picture : pictures) {
            // Every fourth picture is the data of a named file-system entry.
            if (k % 4 == 0) {
                entry.PutFileEntry(100, "picture" + std::to_string(k), static_cast<uint32_t>(picture.size()));
                std::copy_n(entry.Bytes().begin(), 138, bytes.begin() + static_cast<std::ptrdiff_t>(at - 138));
            }
            std::copy(picture.begin(), picture.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
            at += step;
        }
    return bytes;
}

std::string ImagePath()
{
    static const std::string kPath = [] {
        const char* folder = std::getenv("TMPDIR");
        const std::string file = std::string(folder ? folder : "/tmp") + "/kestrix-picture-bench.bin";
        const std::vector<uint8_t> bytes = MakeImage();
        FILE* out = std::fopen(file.c_str(), "wb");
        if (out) {
            std::fwrite(bytes.data(), 1, bytes.size(), out);
            std::fclose(out);
        }
        return file;
    }();
    return kPath;
}

THexBuffer& LoadedImage()
{
    static std::unique_ptr<THexBuffer> image;
    if (!image) {
        image = std::make_unique<THexBuffer>();
        image->LoadFromFile(ImagePath());
    }
    return *image;
}

void LoadAndReadFacts(benchmark::State& state)
{
    const std::string path = ImagePath();
    for (auto _ : state) {
        THexBuffer buffer;
        buffer.LoadFromFile(path);
        benchmark::DoNotOptimize(ReadFirmwareInfo(buffer.Bytes()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kImageSize));
}

void FindAllPicturesInImage(benchmark::State& state)
{
    const THexBuffer& buffer = LoadedImage();
    std::size_t rows = 0;
    std::size_t named = 0;
    for (auto _ : state) {
        const auto found = FindAllPictures(buffer.Bytes(), {});
        rows = found->size();
        named = static_cast<std::size_t>(
            std::count_if(found->begin(), found->end(), [](const FoundItem& p) { return !p.EntryName.empty(); }));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kImageSize));
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["named"] = static_cast<double>(named);
}

// The longest stretch in which the front end gets no chance to run.
void FindAllPicturesLongestPause(benchmark::State& state)
{
    const THexBuffer& buffer = LoadedImage();
    using Clock = std::chrono::steady_clock;
    double longest = 0;
    for (auto _ : state) {
        Clock::time_point last = Clock::now();
        ScanHooks hooks;
        hooks.KeepGoing = [&] {
            const Clock::time_point now = Clock::now();
            longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
            return true;
        };
        FindAllPictures(buffer.Bytes(), hooks);
        longest = std::max(longest, std::chrono::duration<double, std::milli>(Clock::now() - last).count());
    }
    state.counters["longest_pause_ms"] = longest;
}

BENCHMARK(LoadAndReadFacts)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(FindAllPicturesInImage)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(FindAllPicturesLongestPause)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
