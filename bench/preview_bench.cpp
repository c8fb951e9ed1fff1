// Showing a selected picture row: the picture's bytes copied to the scratch
// file, read back into the picture holder, decoded (twice, as the view resets
// the frame on every change) and drawn.
#include "custom_hex_buffer.h"
#include "extraction.h"
#include "flash_image_builder.h"
#include "image_loading.h"
#include "picture_builders.h"
#include "picture_check.h"
#include "picture_holder.h"
#include "strict_decoder.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

namespace {

using namespace kestrix;

void BmPreviewRow(benchmark::State& state)
{
    test_support::GifPlan options;
    options.width = static_cast<uint16_t>(state.range(0));
    options.height = static_cast<uint16_t>(state.range(0));
    options.frames = static_cast<int>(state.range(1));
    const auto gif = test_support::BuildGif(options);
    test_support::FlashImageBuilder image(gif.size() + 8192, 0x00);
    image.Put(4096, gif);
    THexBuffer buffer;
    test_support::LoadImage(buffer, image.Bytes());

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

BENCHMARK(BmPreviewRow)->Args({48, 1})->Args({48, 3})->Args({180, 1})->Unit(benchmark::kMicrosecond);

const char* FormatName(ItemType type)
{
    const char* names[] = {"gif", "bmp", "jpeg", "png"};
    return names[static_cast<int>(type)];
}

// A picture of the given type, side x side pixels: a GIF animation of
// three frames, an 8-bit bitmap, a photo-like JPEG or PNG written by Qt.
std::vector<uint8_t> SamplePicture(ItemType type, int side)
{
    if (type == ItemType::Gif) {
        test_support::GifPlan options;
        options.width = options.height = static_cast<uint16_t>(side);
        options.frames = 3;
        return test_support::BuildGif(options);
    }
    QImage image(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image.setPixel(x, y, qRgb(x * 255 / side, y * 255 / side, (x * y) & 0xFF));
    if (type == ItemType::Bmp)
        image = image.convertToFormat(QImage::Format_Indexed8);
    QByteArray raw;
    QBuffer buffer(&raw);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, FormatName(type)).write(image);
    return std::vector<uint8_t>(raw.begin(), raw.end());
}

// The decode check the deep picture search runs on every picture it finds.
void BmCheckPicture(benchmark::State& state)
{
    const auto type = static_cast<ItemType>(state.range(0));
    const auto bytes = SamplePicture(type, static_cast<int>(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize((CheckPictureFault(type, bytes) == PictureFault::None));
    state.SetLabel(std::string(FormatName(type)) + ", " + std::to_string(bytes.size()) + " bytes");
}

// Qt's reader alone over the same pictures, every frame: what the checks cost on top.
void BmQtReadOnly(benchmark::State& state)
{
    const auto type = static_cast<ItemType>(state.range(0));
    const auto bytes = SamplePicture(type, static_cast<int>(state.range(1)));
    const QByteArray raw =
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    for (auto _ : state) {
        QBuffer device;
        device.setData(raw);
        device.open(QIODevice::ReadOnly);
        QImageReader reader(&device, FormatName(type));
        QImage image;
        while (reader.read(&image))
            benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(std::string(FormatName(type)) + ", " + std::to_string(bytes.size()) + " bytes");
}

void PictureArgs(benchmark::internal::Benchmark* benchmark)
{
    for (const ItemType type : {ItemType::Gif, ItemType::Bmp, ItemType::Jpeg, ItemType::Png})
        benchmark->Args({static_cast<int64_t>(type), 176})->Args({static_cast<int64_t>(type), 640});
}

BENCHMARK(BmCheckPicture)->Apply(PictureArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BmQtReadOnly)->Apply(PictureArgs)->Unit(benchmark::kMicrosecond);

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
