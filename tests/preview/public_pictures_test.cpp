// The holder against real GIF and BMP files from public test suites.
#include "exceptions.h"
#include "exercise_picture_holder.h"
#include "flash_image_builder.h"
#include "picture_holder.h"

#include <QBuffer>
#include <QImageReader>
#include <QLoggingCategory>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace kestrix {
namespace {

namespace fs = std::filesystem;

const fs::path kTestData = KESTRIX_TESTDATA_DIR;

int32_t Le32(const std::vector<uint8_t>& bytes, std::size_t at)
{
    return bytes.size() < at + 4
               ? 0
               : static_cast<int32_t>(static_cast<uint32_t>(bytes[at]) | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                      static_cast<uint32_t>(bytes[at + 3]) << 24);
}

// The info header size of a bitmap file; 0 for anything else.
int32_t BitmapInfoHeaderSize(const std::vector<uint8_t>& bytes)
{
    return bytes.size() > 18 && bytes[0] == 'B' && bytes[1] == 'M' ? Le32(bytes, 14) : 0;
}

std::vector<fs::path> PublicPictures()
{
    std::vector<fs::path> files;
    if (!fs::is_directory(kTestData))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(kTestData)) {
        if (!entry.is_regular_file())
            continue;
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (ext == ".gif" || ext == ".bmp")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct GifFrameStart {
    int delay;
    int disposal;
    bool transparent;
};

// Frame starts found by searching for the graphic control label run and then
// checking the image separator, written apart from the holder's own scan.
std::vector<GifFrameStart> FindFrameStarts(const std::vector<uint8_t>& bytes)
{
    std::vector<GifFrameStart> starts;
    const uint8_t label[] = {0x21, 0xF9, 0x04};
    auto it = bytes.begin();
    while ((it = std::search(it, bytes.end(), std::begin(label), std::end(label))) != bytes.end()) {
        const auto p = static_cast<std::size_t>(it - bytes.begin());
        if (p + 9 < bytes.size() && bytes[p + 8] == 0x2C)
            starts.push_back({bytes[p + 4] | (bytes[p + 5] << 8), (bytes[p + 3] >> 2) & 7, (bytes[p + 3] & 1) != 0});
        ++it;
    }
    return starts;
}

bool StartsWithGif8(const std::vector<uint8_t>& bytes)
{
    return bytes.size() > 4 && std::memcmp(bytes.data(), "GIF8", 4) == 0;
}

// What Qt's readers make of the whole file, used as the reference decode.
QImage ReferenceDecode(const std::vector<uint8_t>& bytes)
{
    QByteArray raw(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    for (const char* format : {"gif", "bmp"}) {
        QBuffer buffer(&raw);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, format);
        reader.setAutoDetectImageFormat(false);
        if (reader.canRead())
            return reader.read();
    }
    return {};
}

void LoadBytes(TPictureHolder& holder, const std::vector<uint8_t>& bytes)
{
    MemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    holder.LoadFromStream(&stream);
}

const std::set<std::string> kHolderMessages = {
    "Could not allocate memory for image",  "Could not create image stream", "Empty image stream created",
    "Could not load image. Invalid format", "Could not load image",
};

TEST(PublicPictures, EveryFileLoadsOrFailsWithTheHolderMessageAndSurvivesEveryOperation)
{
    const auto files = PublicPictures();
    if (files.empty())
        GTEST_SKIP() << "no public pictures under " << kTestData;
    // Qt reports every picture its allocation limit refuses; those refusals are expected here.
    QLoggingCategory::setFilterRules("qt.gui.imageio.warning=false");

    int decoded = 0;
    int refused = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        const auto bytes = test_support::ReadFileBytes(file.string());

        TPictureHolder holder;
        try {
            LoadBytes(holder, bytes);
            ++decoded;
            const QImage reference = ReferenceDecode(bytes);
            if (reference.isNull() && BitmapInfoHeaderSize(bytes) >= 52 && BitmapInfoHeaderSize(bytes) <= 56) {
                // Qt reads no 52- or 56-byte info header; the holder widens it.
                EXPECT_EQ(holder.Width(), Le32(bytes, 18));
                EXPECT_EQ(holder.Height(), std::abs(Le32(bytes, 22)));
                continue;
            }
            EXPECT_FALSE(reference.isNull());
            EXPECT_EQ(holder.Width(), reference.width());
            EXPECT_EQ(holder.Height(), reference.height());
        } catch (const Exception& e) {
            ++refused;
            EXPECT_TRUE(kHolderMessages.count(e.what())) << e.what();
            EXPECT_FALSE(holder.Empty());
            EXPECT_EQ(holder.Width(), 0);
            EXPECT_EQ(holder.DisplayWidth(), 0);
        }

        const auto starts = FindFrameStarts(bytes);
        if (StartsWithGif8(bytes)) {
            EXPECT_EQ(holder.FrameCount(), static_cast<int32_t>(starts.size()));
            for (std::size_t i = 0; i < std::min<std::size_t>(starts.size(), kExerciseFrameCap); ++i) {
                EXPECT_EQ(holder.FrameDelay(static_cast<int32_t>(i + 1)), starts[i].delay);
                EXPECT_EQ(holder.FrameDisposal(), starts[i].disposal);
                EXPECT_EQ(holder.FrameTransparent(), starts[i].transparent);
            }
        } else {
            EXPECT_EQ(holder.FrameCount(), -1);
        }

        EXPECT_NO_THROW(ExercisePictureHolder(bytes.data(), bytes.size()));
    }
    // Of the 1138 files, the 678 refused are the cut, damaged and fuzzer-made
    // ones: data that stop short, broken RLE and LZW (also past a GIF image's
    // last pixel), signatures other than GIF87a and GIF89a, pixels the reader
    // leaves unwritten, and GIFs with an image that has no colour table at all.
    EXPECT_EQ(decoded, 460);
    EXPECT_EQ(refused, 678);
    RecordProperty("decoded", decoded);
    RecordProperty("refused", refused);
}

// The public pictures' pixel hashes, printed by a child process whose
// allocator fills fresh and freed memory with pattern.
QStringList PixelHashes(int pattern)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MALLOC_PERTURB_"), QString::number(pattern));
    // AddressSanitizer's allocator ignores MALLOC_PERTURB_ and has its own fill byte.
    QStringList asan = environment.value(QStringLiteral("ASAN_OPTIONS")).split(':', Qt::SkipEmptyParts);
    asan << QStringLiteral("malloc_fill_byte=%1").arg(pattern) << QStringLiteral("max_malloc_fill_size=2147483647");
    environment.insert(QStringLiteral("ASAN_OPTIONS"), asan.join(':'));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(KESTRIX_PIXEL_HASHES), {QString::fromStdString(kTestData.string())});
    const bool finished = process.waitForFinished(-1);
    EXPECT_TRUE(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        << "pattern " << pattern << ": " << process.errorString().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// Whatever the memory held before, every picture is either refused or shown
// with the same pixels: nothing is taken from memory the decoder never wrote.
TEST(PublicPictures, EveryPictureShowsTheSamePixelsWhateverMemoryHeldBefore)
{
    const auto files = PublicPictures();
    if (files.empty())
        GTEST_SKIP() << "no public pictures under " << kTestData;
    const QStringList first = PixelHashes(0x55);
    const QStringList second = PixelHashes(0xAA);
    ASSERT_EQ(first.size(), static_cast<qsizetype>(files.size()));
    ASSERT_EQ(second.size(), first.size());
    int differing = 0;
    for (qsizetype i = 0; i < first.size(); ++i)
        if (first[i] != second[i] && ++differing <= 10)
            ADD_FAILURE() << first[i].toStdString() << "\n" << second[i].toStdString();
    EXPECT_EQ(differing, 0);
}

// A few files whose frame starts are known: counts and delays by the
// label-then-separator rule, not by the GIF block structure.
TEST(PublicPictures, KnownFilesFrameStarts)
{
    struct Case {
        const char* path;
        int32_t frames;
        std::vector<int32_t> delays;
        uint16_t lastDisposal;
        bool lastTransparent;
    };
    const Case cases[] = {
        {"peterdn-gif-test-suite/gifs/animated_loop_variable_delay.gif", 3, {100, 10, 100}, 1, false},
        {"peterdn-gif-test-suite/gifs/animated_transparent_frame_restorebackground_loop.gif",
         3,
         {100, 100, 100},
         2,
         true},
        {"peterdn-gif-test-suite/gifs/static_nontransparent.gif", 1, {0}, 1, false},
        // GIF87a without graphic control extensions: no frame start at all.
        {"giflib/pic/treescap-interlaced.gif", 0, {}, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const fs::path file = kTestData / c.path;
        if (!fs::exists(file))
            GTEST_SKIP() << "missing " << file;
        TPictureHolder holder;
        LoadBytes(holder, test_support::ReadFileBytes(file.string()));
        EXPECT_EQ(holder.FrameCount(), c.frames);
        for (std::size_t i = 0; i < c.delays.size(); ++i)
            EXPECT_EQ(holder.FrameDelay(static_cast<int32_t>(i + 1)), c.delays[i]);
        EXPECT_EQ(holder.FrameDelay(c.frames + 1), -1);
        EXPECT_EQ(holder.FrameDisposal(), c.lastDisposal);
        EXPECT_EQ(holder.FrameTransparent(), c.lastTransparent);
    }
}

}  // namespace
}  // namespace kestrix
