#include "flash_like_data.h"
#include "hex_text.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

using kestrix::THexBuffer;

constexpr std::size_t kImageSize = 256u << 20;

// The image with long erased runs, and one whose erased runs never reach 13
// bytes (a search for the 13-byte FFh run there has to pass the whole image).
THexBuffer& Image(bool shortErasedRuns)
{
    static std::unique_ptr<THexBuffer> images[2];
    auto& image = images[shortErasedRuns ? 1 : 0];
    if (!image) {
        image = std::make_unique<THexBuffer>();
        kestrix::bench::LoadBytes(*image, kestrix::bench::FlashLikeBytes(kImageSize, 1, shortErasedRuns ? 12 : 0));
    }
    return *image;
}

// Walks the whole image from hit to hit, each search resuming one byte after
// the previous hit, as the scans do.
void WalkAllHits(benchmark::State& state, const char* hexText, bool shortErasedRuns, bool ignoreCase, bool reporting)
{
    THexBuffer& buffer = Image(shortErasedRuns);
    const std::string text = hexText;
    std::string bytes(text.size() / 2, '\0');
    int32_t count = 0;
    kestrix::HexTextToBytes(text.data(), reinterpret_cast<uint8_t*>(bytes.data()), static_cast<int32_t>(text.size()),
                            false, count);
    bytes.resize(static_cast<std::size_t>(count));
    kestrix::ByteString prepared;
    buffer.PrepareFindData(bytes, ignoreCase, false, prepared);
    buffer.SetFindProgress(reporting);
    buffer.OnProgress =
        reporting ? [](kestrix::TCustomHexBuffer&, kestrix::TProgressKind, const std::string&, uint8_t, bool&) {}
                  : kestrix::TProgressEvent{};
    const auto* pattern = reinterpret_cast<const uint8_t*>(prepared.data());
    const auto length = static_cast<int32_t>(prepared.size());
    int64_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (int32_t at = buffer.FindBytes(pattern, length, 0, buffer.DataSize() - 1, ignoreCase); at >= 0;
             at = buffer.FindBytes(pattern, length, at + 1, buffer.DataSize() - 1, ignoreCase))
            ++hits;
        benchmark::DoNotOptimize(hits);
    }
    buffer.SetFindProgress(false);
    buffer.OnProgress = nullptr;
    state.counters["hits"] = static_cast<double>(hits);
    state.counters["bytes_per_second"] = benchmark::Counter(
        static_cast<double>(buffer.DataSize()) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void FileEntrySignature(benchmark::State& s)
{
    WalkAllHits(s, "000001FF000000", false, false, false);
}
void GifHeader(benchmark::State& s)
{
    WalkAllHits(s, "4749463839", false, false, false);
}
void ErasedRunOfThirteen(benchmark::State& s)
{
    WalkAllHits(s, "FFFFFFFFFFFFFFFFFFFFFFFFFF", true, false, false);
}
void GifTrailer(benchmark::State& s)
{
    WalkAllHits(s, "003B", false, false, false);
}
void BmpHeader(benchmark::State& s)
{
    WalkAllHits(s, "000000000000003E0000002800", false, false, false);
}
void GifHeaderIgnoreCase(benchmark::State& s)
{
    WalkAllHits(s, "4749463839", false, true, false);
}
void FileEntrySignatureByteByByte(benchmark::State& s)
{
    WalkAllHits(s, "000001FF000000", false, false, true);
}

BENCHMARK(FileEntrySignature)->Unit(benchmark::kMillisecond);
BENCHMARK(GifHeader)->Unit(benchmark::kMillisecond);
BENCHMARK(ErasedRunOfThirteen)->Unit(benchmark::kMillisecond);
BENCHMARK(GifTrailer)->Unit(benchmark::kMillisecond);
BENCHMARK(BmpHeader)->Unit(benchmark::kMillisecond);
BENCHMARK(GifHeaderIgnoreCase)->Unit(benchmark::kMillisecond);
BENCHMARK(FileEntrySignatureByteByByte)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
