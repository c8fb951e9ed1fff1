// Showing a selected picture row: the picture's bytes copied to the scratch
// file, read back into the picture holder, decoded (twice, as the view resets
// the frame on every change) and drawn.
#include "custom_hex_buffer.h"
#include "extraction.h"
#include "flash_image_builder.h"
#include "image_loading.h"
#include "picture_holder.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

namespace {

using namespace kestrix;

void BM_PreviewRow(benchmark::State& state)
{
    testing::GifOptions options;
    options.width = static_cast<uint16_t>(state.range(0));
    options.height = static_cast<uint16_t>(state.range(0));
    options.frames = static_cast<int>(state.range(1));
    const auto gif = testing::MakeGif(options);
    testing::FlashImageBuilder image(gif.size() + 8192, 0x00);
    image.Put(4096, gif);
    THexBuffer buffer;
    testing::LoadImage(buffer, image.Bytes());

    const auto folder = std::filesystem::temp_directory_path() / ("kestrix-preview-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string scratch = (folder / "temp.tmp").string();
    TPictureHolder holder;
    QImage canvas(188, 465, QImage::Format_ARGB32_Premultiplied);

    for (auto _ : state) {
        WriteRangeToFileAtomically(buffer, scratch, 4096, static_cast<int32_t>(gif.size()));
        FileStream stream(scratch, FileMode::OpenRead);
        holder.LoadFromStream(&stream);
        holder.SetFrame(0);
        QPainter painter(&canvas);
        holder.Draw(painter, QRect(0, 0, holder.Width(), holder.Height()));
    }
    std::filesystem::remove_all(folder);
    state.SetLabel(std::to_string(gif.size()) + " bytes");
}

BENCHMARK(BM_PreviewRow)->Args({48, 1})->Args({48, 3})->Args({180, 1})->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
