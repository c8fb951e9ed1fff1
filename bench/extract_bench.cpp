// Saving found items: a thousand rows of the graphics list written as files,
// each atomically (temporary file, then rename), as "Сохранить все" and
// kestrix-cli --extract do.
#include "custom_hex_buffer.h"
#include "extraction.h"
#include "flash_image_builder.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace kestrix;

void BmSaveThousandRows(benchmark::State& state)
{
    const auto rowCount = static_cast<int32_t>(state.range(0));
    const int32_t rowSize = static_cast<int32_t>(state.range(1));
    test_support::FlashImageBuilder image(static_cast<std::size_t>(rowCount) * rowSize + 4096, 0x5A);
    THexBuffer buffer;
    buffer.LoadFromBytes(image.Bytes());

    FoundRows rows;
    for (int32_t i = 0; i < rowCount; ++i) {
        FoundRow row;
        row.Type = ItemType::Gif;
        row.Start = i * rowSize;
        row.End = (i + 1) * rowSize;
        rows.Append(row);
    }
    const auto items = PlanExtraction(ListKind::Graphics, rows);
    const auto folder = std::filesystem::temp_directory_path() / ("kestrix-extract-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);

    const auto rangeOf = [&rows](const ExtractItem& item) {
        const FoundRow& row = rows[static_cast<std::size_t>(item.Row)];
        return ItemRange{row.Start, row.End};
    };
    for (auto _ : state)
        SaveToFolder(buffer, folder.string(), items, rangeOf, {});
    state.SetItemsProcessed(state.iterations() * rowCount);
    std::filesystem::remove_all(folder);
}

BENCHMARK(BmSaveThousandRows)->Args({1000, 1500})->Args({1000, 200})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
