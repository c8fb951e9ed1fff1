// Prints, for every GIF and BMP file under the folders named on the command
// line (in path order), one line: the path, then a hash of the pixels the
// picture holder draws at frame 0 and at each of its first frame starts and of
// every frame the strict decoder gives, or the holder's refusal. The
// pixel-stability test runs it with different allocator fill patterns and
// compares what it prints.
#include "exceptions.h"
#include "picture_holder.h"
#include "strict_decoder.h"

#include <QCryptographicHash>
#include <QGuiApplication>
#include <QImage>
#include <QLoggingCategory>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace kestrix;

constexpr int32_t kFramesHashed = 4;

std::vector<fs::path> PictureFiles(int argc, char** argv)
{
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i)
        for (const auto& entry : fs::recursive_directory_iterator(argv[i])) {
            std::string ext = entry.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
            if (entry.is_regular_file() && (ext == ".gif" || ext == ".bmp"))
                files.push_back(entry.path());
        }
    std::sort(files.begin(), files.end());
    return files;
}

std::string Hash(const QImage& image)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const auto rowBytes = static_cast<qsizetype>(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y)
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(image.constScanLine(y)), rowBytes));
    return hash.result().toHex().left(16).toStdString();
}

// What the preview shows: the holder drawn at its pixel size on a clear canvas.
std::string HashDrawn(const TPictureHolder& holder)
{
    QImage canvas(std::max(holder.Width(), 1), std::max(holder.Height(), 1), QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    holder.Draw(painter, QRect(0, 0, holder.Width(), holder.Height()));
    painter.end();
    return Hash(canvas);
}

std::string Describe(const std::vector<uint8_t>& bytes)
{
    std::string line;
    TPictureHolder holder;
    MemoryStream stream;
    if (!bytes.empty())
        stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    try {
        holder.LoadFromStream(&stream);
        holder.SetFrame(0);
        line.append(1, ' ').append(HashDrawn(holder));
    } catch (const Exception& e) {
        line = " refused: ";
        line += e.what();
        return line;
    }
    for (int32_t frame = 1; frame <= std::min(holder.FrameCount(), kFramesHashed); ++frame) {
        try {
            holder.SetFrame(frame);
            line.append(1, ' ').append(HashDrawn(holder));
        } catch (const Exception&) {
            line += " frame refused";
        }
    }
    if (const auto type = PreviewPictureType(bytes)) {
        for (const QImage& frame : DecodePicture(*type, bytes, kFramesHashed).Frames)
            line.append(1, ' ').append(Hash(frame));
    }
    return line;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.warning=false"));
    for (const fs::path& file : PictureFiles(argc, argv)) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::printf("%s%s\n", file.string().c_str(), Describe(bytes).c_str());
    }
    return 0;
}
