// The holder against real GIF and BMP files from public test suites.
#include "exceptions.h"
#include "exercise_picture_holder.h"
#include "flash_image_builder.h"
#include "picture_holder.h"

#include <QBuffer>
#include <QImageReader>
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace kestrix {
namespace {

namespace fs = std::filesystem;

const fs::path kTestData = KESTRIX_TESTDATA_DIR;

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
    "Could not allocate memory for image", "Could not create image stream", "Empty image stream created",
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
    // Both outcomes must occur in suites built to contain good and bad files.
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
    RecordProperty("decoded", decoded);
    RecordProperty("refused", refused);
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
        {"peterdn-gif-test-suite/gifs/animated_transparent_frame_restorebackground_loop.gif", 3, {100, 100, 100}, 2,
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
