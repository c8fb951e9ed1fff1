// Loading a flash image: THexBuffer::LoadFromFile against read() of the same
// file into one fresh block, from the free store and 2 MiB-aligned advised for
// huge pages, side by side, page cache warm.
//
//   load_bench [--image PATH]   (default: a 256 MiB file made in $TMPDIR)
#include "custom_hex_buffer.h"
#include "read_baseline.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::string gImage;

std::string MakeImage(std::size_t size)
{
    const char* folder = std::getenv("TMPDIR");
    const std::string path = std::string(folder ? folder : "/tmp") + "/kestrix-load-bench.bin";
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && static_cast<std::size_t>(info.st_size) == size)
        return path;
    std::vector<uint8_t> block(1 << 20);
    FILE* out = std::fopen(path.c_str(), "wb");
    for (std::size_t done = 0; out && done < size; done += block.size()) {
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<uint8_t>((done + i) * 2654435761u >> 13);
        std::fwrite(block.data(), 1, block.size(), out);
    }
    if (out)
        std::fclose(out);
    return path;
}

int64_t FileSize(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

void BmPlainRead(benchmark::State& state)
{
    const int64_t size = FileSize(gImage);
    for (auto _ : state)
        benchmark::DoNotOptimize(kestrix::bench::ReadWhole(gImage, kestrix::bench::ReadBlock::FreeStore));
    state.SetBytesProcessed(state.iterations() * size);
}

void BmHugePageRead(benchmark::State& state)
{
    const int64_t size = FileSize(gImage);
    for (auto _ : state)
        benchmark::DoNotOptimize(kestrix::bench::ReadWhole(gImage, kestrix::bench::ReadBlock::HugePages));
    state.SetBytesProcessed(state.iterations() * size);
}

void BmLoadFromFile(benchmark::State& state)
{
    const int64_t size = FileSize(gImage);
    for (auto _ : state) {
        kestrix::THexBuffer buffer;
        buffer.LoadFromFile(gImage);
        benchmark::DoNotOptimize(buffer.ByteAt(buffer.DataSize() - 1));
    }
    state.SetBytesProcessed(state.iterations() * size);
}

// Twice each, interleaved, so that drift over the run shows.
BENCHMARK(BmPlainRead)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BmHugePageRead)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BmLoadFromFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BmPlainRead)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BmHugePageRead)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BmLoadFromFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--image") == 0) {
            gImage = argv[i + 1];
            for (int k = i; k + 2 <= argc; ++k)
                argv[k] = argv[k + 2];
            argc -= 2;
            break;
        }
    if (gImage.empty())
        gImage = MakeImage(256u << 20);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
