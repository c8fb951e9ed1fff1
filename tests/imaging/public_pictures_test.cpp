// The strict decoder against public picture suites that ship their expected results.
#include "picture_check.h"
#include "strict_decoder.h"

#include <QFile>
#include <QImage>
#include <QSettings>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace kestrix {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const fs::path kTestData = KESTRIX_TESTDATA_DIR;

Bytes ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One frame as the suite expects it: a PNG, or raw 8-bit RGBA rows.
QImage ExpectedFrame(const fs::path& folder, const QString& png, const QString& rgba, QSize size)
{
    if (!png.isEmpty())
        return QImage(QString::fromStdString((folder / png.toStdString()).string()))
            .convertToFormat(QImage::Format_ARGB32);
    const Bytes raw = ReadBytes(folder / rgba.toStdString());
    QImage image(size, QImage::Format_ARGB32);
    if (raw.size() != static_cast<std::size_t>(size.width() * size.height() * 4))
        return {};
    const uint8_t* p = raw.data();
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x, p += 4)
            image.setPixel(x, y, qRgba(p[0], p[1], p[2], p[3]));
    return image;
}

// Pixels equal where shown; any colour under full transparency.
int CountDifferences(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return -1;
    int differences = 0;
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x) {
            const QRgb a = actual.pixel(x, y);
            const QRgb e = expected.pixel(x, y);
            differences += qAlpha(a) != qAlpha(e) || (qAlpha(e) != 0 && a != e);
        }
    return differences;
}

// Every GIF of the suite against the frames it expects: the last frame shows
// every image as composed, the screen they leave uncovered transparent.
TEST(PublicSuites, PygifFramesMatchTheSuite)
{
    const fs::path folder = kTestData / "pygif-test-suite";
    if (!fs::exists(folder / "TESTS"))
        GTEST_SKIP() << "no pygif suite under " << kTestData;
    // Where the strict decoder parts from the suite, on purpose.
    const std::map<std::string, bool> kAcceptedAgainstTheSuite = {
        {"no-data", false},           // no image at all
        {"image-zero-width", false},  // the image block ends without LZW data
        {"image-zero-height", false}, {"image-zero-size", false},
        {"plain-text", true},      // the suite gives no frame for a whole image
        {"invalid-colors", true},  // indices beyond the palette are not checked
    };
    std::ifstream tests(folder / "TESTS");
    std::string name;
    int compared = 0;
    while (std::getline(tests, name)) {
        if (name.empty())
            continue;
        SCOPED_TRACE(name);
        QSettings conf(QString::fromStdString((folder / (name + ".conf")).string()), QSettings::IniFormat);
        QStringList frames = conf.value("config/frames").toStringList();
        frames.removeAll(QString());
        const QSize size(conf.value("config/width").toInt(), conf.value("config/height").toInt());
        const DecodedPicture picture =
            DecodePicture(ItemType::Gif, ReadBytes(folder / conf.value("config/input").toString().toStdString()));

        const auto deliberate = kAcceptedAgainstTheSuite.find(name);
        const bool accepted = deliberate != kAcceptedAgainstTheSuite.end() ? deliberate->second : !frames.isEmpty();
        EXPECT_EQ(picture.Ok(), accepted) << PictureFaultName(picture.Fault);
        if (!picture.Ok() || frames.isEmpty())
            continue;
        const QImage expected = ExpectedFrame(folder, conf.value(frames.last() + "/image").toString(),
                                              conf.value(frames.last() + "/pixels").toString(), size);
        EXPECT_EQ(CountDifferences(picture.Frames.back(), expected), 0);
        ++compared;
    }
    EXPECT_GE(compared, 60);
}

// Files of the suites whose faults are known from their descriptions.
TEST(PublicSuites, KnownFaults)
{
    const struct {
        const char* path;
        ItemType type;
        PictureFault fault;
    } cases[] = {
        {"bmpsuite/g/pal8.bmp", ItemType::Bmp, PictureFault::None},
        {"bmpsuite/b/shortfile.bmp", ItemType::Bmp, PictureFault::CutShort},
        {"go-fuzz-corpus/bmp/34c93e0f1e82.bmp", ItemType::Bmp, PictureFault::CutShort},
        {"bmpsuite/b/badrle.bmp", ItemType::Bmp, PictureFault::Damaged},
        {"bmpsuite/b/badrle4bis.bmp", ItemType::Bmp, PictureFault::Damaged},
        {"bmpsuite/b/rletopdown.bmp", ItemType::Bmp, PictureFault::Damaged},
        {"image-rs-image/tests/images/bmp/images/lenient/rle_overflow.bmp", ItemType::Bmp, PictureFault::Damaged},
        // An OS/2 palette shorter than its depth: read whole, it would shift the pixels.
        {"bmpsuite/q/pal8os2sp.bmp", ItemType::Bmp, PictureFault::Damaged},
        {"bmpsuite/b/reallybig.bmp", ItemType::Bmp, PictureFault::TooLarge},
        {"wuffs/test/data/hippopotamus.interlaced.gif", ItemType::Gif, PictureFault::None},
        {"wuffs/test/data/hippopotamus.interlaced.truncated.gif", ItemType::Gif, PictureFault::CutShort},
        {"wuffs/test/data/artificial-gif/pixel-data-none.gif", ItemType::Gif, PictureFault::CutShort},
        {"wuffs/test/data/artificial-gif/pixel-data-not-enough.gif", ItemType::Gif, PictureFault::CutShort},
        {"wuffs/test/data/artificial-gif/pixel-data-too-much-good-lzw.gif", ItemType::Gif, PictureFault::None},
        // The invalid code comes after the last pixel; it would throw a reader off
        // any block after it.
        {"wuffs/test/data/artificial-gif/pixel-data-too-much-bad-lzw.gif", ItemType::Gif, PictureFault::Damaged},
        {"wuffs/test/data/artificial-gif/no-frames.gif", ItemType::Gif, PictureFault::Damaged},
        {"wuffs/test/data/artificial-gif/frame-out-of-bounds.gif", ItemType::Gif, PictureFault::None},
        {"libnsgif/ns-afl-gif/afl-058.gif", ItemType::Gif, PictureFault::CutShort},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        if (!fs::exists(kTestData / c.path))
            GTEST_SKIP() << "missing " << c.path;
        const Bytes bytes = ReadBytes(kTestData / c.path);
        const DecodedPicture picture = DecodePicture(c.type, bytes);
        EXPECT_EQ(picture.Fault, c.fault) << PictureFaultName(picture.Fault);
        EXPECT_EQ((CheckPictureFault(c.type, bytes) == PictureFault::None), c.fault == PictureFault::None);
    }
}

// RLE bitmaps against the same pictures stored uncompressed, or against the
// suite's rendering that leaves the pixels skipped by moves and early ends
// transparent.
TEST(PublicSuites, RleBitmapsMatchTheirReferences)
{
    const struct {
        const char* picture;
        const char* reference;
    } cases[] = {
        {"bmpsuite/g/pal8rle.bmp", "bmpsuite/g/pal8.bmp"},
        {"bmpsuite/g/pal4rle.bmp", "bmpsuite/g/pal4.bmp"},
        {"bmpsuite/q/pal8rletrns.bmp", "bmpsuite/html/pal8rletrns.png"},
        {"bmpsuite/q/pal4rletrns.bmp", "bmpsuite/html/pal4rletrns.png"},
        {"bmpsuite/q/pal8rlecut.bmp", "bmpsuite/html/pal8rlecut.png"},
        {"bmpsuite/q/pal4rlecut.bmp", "bmpsuite/html/pal4rlecut.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture);
        if (!fs::exists(kTestData / c.picture) || !fs::exists(kTestData / c.reference))
            GTEST_SKIP() << "missing " << c.picture;
        const DecodedPicture picture = DecodePicture(ItemType::Bmp, ReadBytes(kTestData / c.picture));
        ASSERT_TRUE(picture.Ok()) << PictureFaultName(picture.Fault);
        const QImage reference(QString::fromStdString((kTestData / c.reference).string()));
        EXPECT_EQ(CountDifferences(picture.Frames.at(0), reference.convertToFormat(QImage::Format_ARGB32)), 0);
    }
}

}  // namespace
}  // namespace kestrix

namespace kestrix {
namespace {

// The verdict alone (the deep search's check) and a full decode (the preview)
// agree on every public GIF and bitmap.
TEST(PublicSuites, TheVerdictAgreesWithTheFullDecode)
{
    if (!fs::exists(kTestData))
        GTEST_SKIP() << "no public pictures under " << kTestData;
    int checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kTestData)) {
        const std::string extension = entry.path().extension().string();
        const bool gif = extension == ".gif" || extension == ".GIF";
        if (!entry.is_regular_file() || (!gif && extension != ".bmp" && extension != ".BMP"))
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        const ItemType type = gif ? ItemType::Gif : ItemType::Bmp;
        EXPECT_EQ((CheckPictureFault(type, bytes) == PictureFault::None), DecodePicture(type, bytes).Ok())
            << entry.path();
        ++checked;
    }
    EXPECT_GT(checked, 1000);
}

}  // namespace
}  // namespace kestrix
