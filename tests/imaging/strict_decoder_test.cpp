#include "picture_check.h"
#include "strict_decoder.h"

#include "gif_walk.h"
#include "qt_pictures.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace kestrix {
namespace {

using test_support::BmpPlan;
using test_support::BuildBmp;
using test_support::BuildGif;
using test_support::Bytes;
using test_support::FourColourPalette;
using test_support::GifImage;
using test_support::kPalette;

constexpr QRgb kTransparent = 0;

Bytes Truncated(Bytes bytes, std::size_t keep)
{
    bytes.resize(keep);
    return bytes;
}

// Expected colour of each pixel of a frame; kTransparent where nothing is shown.
void ExpectPixels(const QImage& frame, QSize size, const std::function<QRgb(int x, int y)>& expected)
{
    ASSERT_EQ(frame.size(), size);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            ASSERT_EQ(frame.pixel(x, y), expected(x, y)) << "at " << x << ", " << y;
}

uint32_t Crc32(const Bytes& bytes)
{
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBe32(Bytes& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

Bytes PngChunk(const char* type, const Bytes& data)
{
    Bytes typed(type, type + 4);
    for (uint8_t byte : data)
        typed.push_back(byte);
    Bytes out;
    PutBe32(out, static_cast<uint32_t>(data.size()));
    for (uint8_t byte : typed)
        out.push_back(byte);
    PutBe32(out, Crc32(typed));
    return out;
}

// The PNG rebuilt with its compressed image data cut to keep bytes, every
// chunk whole and its CRC right: only the pixel data stop short.
Bytes PngWithImageDataCut(const Bytes& png, std::size_t keep)
{
    Bytes header(png.begin(), png.begin() + 8);
    Bytes ihdr;
    Bytes idat;
    for (std::size_t p = 8; p + 12 <= png.size();) {
        const std::size_t length =
            (std::size_t{png[p]} << 24) | (std::size_t{png[p + 1]} << 16) | (std::size_t{png[p + 2]} << 8) | png[p + 3];
        const std::string type(png.begin() + static_cast<std::ptrdiff_t>(p + 4),
                               png.begin() + static_cast<std::ptrdiff_t>(p + 8));
        const Bytes data(png.begin() + static_cast<std::ptrdiff_t>(p + 8),
                         png.begin() + static_cast<std::ptrdiff_t>(p + 8 + length));
        if (type == "IHDR")
            ihdr = data;
        else if (type == "IDAT")
            idat.insert(idat.end(), data.begin(), data.end());
        p += 12 + length;
    }
    return test_support::Concat(
        {header, PngChunk("IHDR", ihdr), PngChunk("IDAT", Truncated(idat, keep)), PngChunk("IEND", {})});
}

TEST(StrictDecoder, GifScreenOutsideTheImageIsTransparentNotTheBackgroundColour)
{
    // Background colour index 1 (red): Qt fills the screen with it.
    const DecodedPicture picture = DecodePicture(
        ItemType::Gif, BuildGif({.width = 8, .height = 6, .background = 1, .images = {GifImage{3, 2, 4, 4, {}}}}));
    ASSERT_TRUE(picture.Ok()) << PictureFaultName(picture.Fault);
    ASSERT_EQ(picture.Frames.size(), 1u);
    EXPECT_EQ(picture.Frames[0].format(), QImage::Format_ARGB32_Premultiplied);
    ExpectPixels(picture.Frames[0], {8, 6}, [](int x, int y) {
        const bool inside = x >= 3 && x < 7 && y >= 2 && y < 6;
        return inside ? kPalette[(x - 3 + y - 2) % 4] : kTransparent;
    });
}

TEST(StrictDecoder, GifFramesShowEveryImageSoFarAndTheWholeStructureIsChecked)
{
    const std::vector<GifImage> images = {GifImage{0, 0, 4, 4, {}}, GifImage{5, 2, 4, 3, Bytes(12, 3)}};
    const Bytes gif = BuildGif({.width = 10, .height = 6, .images = images});
    auto first = [](int x, int y) { return x < 4 && y < 4 ? kPalette[(x + y) % 4] : kTransparent; };
    const DecodedPicture picture = DecodePicture(ItemType::Gif, gif);
    ASSERT_TRUE(picture.Ok()) << PictureFaultName(picture.Fault);
    ASSERT_EQ(picture.Frames.size(), 2u);
    ExpectPixels(picture.Frames[0], {10, 6}, first);
    ExpectPixels(picture.Frames[1], {10, 6},
                 [&](int x, int y) { return x >= 5 && x < 9 && y >= 2 && y < 5 ? kPalette[3] : first(x, y); });

    // Restoring the first image to the background uncovers it again.
    std::vector<GifImage> disposed = images;
    disposed[0].disposal = 2;
    ExpectPixels(DecodePicture(ItemType::Gif, BuildGif({.width = 10, .height = 6, .images = disposed})).Frames.at(1),
                 {10, 6}, [](int x, int y) { return x >= 5 && x < 9 && y >= 2 && y < 5 ? kPalette[3] : kTransparent; });

    EXPECT_EQ(DecodePicture(ItemType::Gif, gif, 1).Frames.size(), 1u);
    EXPECT_EQ(DecodePicture(ItemType::Gif, gif, 0).Frames.size(), 1u);
    // The second image's data stop short: refused even when only the first frame is asked for.
    const Bytes cut = Truncated(gif, gif.size() - 4);
    EXPECT_EQ(DecodePicture(ItemType::Gif, cut, 1).Fault, PictureFault::CutShort);
    EXPECT_TRUE(DecodePicture(ItemType::Gif, cut, 1).Frames.empty());
}

TEST(StrictDecoder, GifTransparentIndexAndImagesBeyondTheScreen)
{
    GifImage image{0, 0, 4, 4, {}};
    image.transparentIndex = 2;
    ExpectPixels(DecodePicture(ItemType::Gif, BuildGif({.width = 4, .height = 4, .images = {image}})).Frames.at(0),
                 {4, 4}, [](int x, int y) { return (x + y) % 4 == 2 ? kTransparent : kPalette[(x + y) % 4]; });
    // Partly off the screen: Qt clips it; the part on the screen is shown.
    ExpectPixels(DecodePicture(ItemType::Gif, BuildGif({.width = 5, .height = 5, .images = {GifImage{3, 3, 4, 4, {}}}}))
                     .Frames.at(0),
                 {5, 5}, [](int x, int y) { return x >= 3 && y >= 3 ? kPalette[(x - 3 + y - 3) % 4] : kTransparent; });
    // Wholly off the screen: nothing is shown.
    ExpectPixels(
        DecodePicture(ItemType::Gif, BuildGif({.width = 5, .height = 5, .images = {GifImage{30, 0, 4, 4, {}}}}))
            .Frames.at(0),
        {5, 5}, [](int, int) { return kTransparent; });
}

TEST(StrictDecoder, BmpPixelsAreThePaletteColours)
{
    const DecodedPicture picture =
        DecodePicture(ItemType::Bmp, BuildBmp(BmpPlan{.bits = 8,
                                                      .width = 5,
                                                      .height = 3,
                                                      .pixelData = test_support::PatternRows8(5, 3),
                                                      .palette = FourColourPalette()}));
    ASSERT_TRUE(picture.Ok()) << PictureFaultName(picture.Fault);
    ASSERT_EQ(picture.Frames.size(), 1u);
    ExpectPixels(picture.Frames[0], {5, 3}, [](int x, int y) { return kPalette[(x + y) % 4]; });
}

// RLE moves, early line ends and an early end of bitmap skip pixels: they are
// transparent, every written pixel has its colour.
TEST(StrictDecoder, RleSkippedPixelsAreTransparent)
{
    // Stored rows from the bottom: row 0 gets two pixels of colour 1, a move
    // goes 1 right and 2 up, one pixel of colour 3 ends that row, the next row
    // is all colour 2, then the bitmap ends.
    const Bytes bmp = BuildBmp(BmpPlan{.bits = 8,
                                       .width = 4,
                                       .height = 4,
                                       .compression = 1,
                                       .pixelData = Bytes{2, 1, 0, 2, 1, 2, 1, 3, 0, 0, 4, 2, 0, 1},
                                       .palette = FourColourPalette()});
    const DecodedPicture picture = DecodePicture(ItemType::Bmp, bmp);
    ASSERT_TRUE(picture.Ok()) << PictureFaultName(picture.Fault);
    ExpectPixels(picture.Frames.at(0), {4, 4}, [](int x, int y) {
        const int stored = 3 - y;
        if (stored == 0)
            return x < 2 ? kPalette[1] : kTransparent;
        if (stored == 2)
            return x == 3 ? kPalette[3] : kTransparent;
        if (stored == 3)
            return kPalette[2];
        return kTransparent;
    });
}

TEST(StrictDecoder, AcceptsOrRefusesByTheWholePicture)
{
    const Bytes gif = BuildGif({.width = 6, .height = 6, .images = {GifImage{0, 0, 6, 6, {}}}});
    const Bytes bmp = BuildBmp(BmpPlan{.bits = 8,
                                       .width = 5,
                                       .height = 3,
                                       .pixelData = test_support::PatternRows8(5, 3),
                                       .palette = FourColourPalette()});
    const Bytes jpeg = test_support::WriteWithQt("jpeg");
    const Bytes progressive = test_support::WriteWithQt("jpeg", 64, 48, true);
    const Bytes png = test_support::WriteWithQt("png", 200, 150);
    Bytes endInside = jpeg;
    endInside[jpeg.size() / 2] = 0xFF;
    endInside[jpeg.size() / 2 + 1] = 0xD9;
    Bytes zeroTail = jpeg;
    std::fill(zeroTail.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2), zeroTail.end() - 2, 0);
    Bytes hugeScreen = gif;
    hugeScreen[6] = hugeScreen[7] = hugeScreen[8] = hugeScreen[9] = 0xFF;

    const struct {
        const char* name;
        ItemType type;
        Bytes bytes;
        PictureFault fault;
    } cases[] = {
        {"GIF", ItemType::Gif, gif, PictureFault::None},
        {"GIF cut", ItemType::Gif, Truncated(gif, gif.size() - 5), PictureFault::CutShort},
        {"GIF screen too large", ItemType::Gif, hugeScreen, PictureFault::TooLarge},
        {"bitmap", ItemType::Bmp, bmp, PictureFault::None},
        {"bitmap cut", ItemType::Bmp, Truncated(bmp, bmp.size() - 1), PictureFault::CutShort},
        {"bitmap with a broken RLE", ItemType::Bmp,
         BuildBmp(BmpPlan{.bits = 8,
                          .width = 4,
                          .height = 4,
                          .compression = 1,
                          .pixelData = Bytes{5, 1, 0, 1},
                          .palette = FourColourPalette()}),
         PictureFault::Damaged},
        {"JPEG", ItemType::Jpeg, jpeg, PictureFault::None},
        {"progressive JPEG", ItemType::Jpeg, progressive, PictureFault::None},
        {"JPEG without its end marker", ItemType::Jpeg, Truncated(jpeg, jpeg.size() - 2), PictureFault::None},
        {"JPEG cut in its scan", ItemType::Jpeg, Truncated(jpeg, jpeg.size() * 2 / 3), PictureFault::DecoderFailed},
        {"progressive JPEG cut", ItemType::Jpeg, Truncated(progressive, progressive.size() * 2 / 3),
         PictureFault::DecoderFailed},
        {"JPEG with an end marker in its scan", ItemType::Jpeg, endInside, PictureFault::DecoderFailed},
        {"JPEG scan zeroed", ItemType::Jpeg, zeroTail, PictureFault::DecoderFailed},
        {"JPEG headers only", ItemType::Jpeg, Truncated(jpeg, 20), PictureFault::DecoderFailed},
        {"PNG", ItemType::Png, png, PictureFault::None},
        {"PNG whose image data stop short", ItemType::Png, PngWithImageDataCut(png, 200), PictureFault::DecoderFailed},
        {"PNG cut", ItemType::Png, Truncated(png, png.size() / 2), PictureFault::CutShort},
        {"GIF asked as PNG", ItemType::Png, gif, PictureFault::NotRecognised},
        {"PNG asked as JPEG", ItemType::Jpeg, png, PictureFault::NotRecognised},
        {"JPEG asked as bitmap", ItemType::Bmp, jpeg, PictureFault::NotRecognised},
        {"bitmap asked as GIF", ItemType::Gif, bmp, PictureFault::NotRecognised},
        {"nothing", ItemType::Png, {}, PictureFault::NotRecognised},
    };
    const PictureDecodeCheck check = CheckPicture;
    const std::atomic<bool> cancel{false};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedPicture picture = DecodePicture(c.type, c.bytes);
        EXPECT_EQ(picture.Fault, c.fault) << PictureFaultName(picture.Fault);
        EXPECT_EQ(picture.Frames.empty(), c.fault != PictureFault::None);
        EXPECT_EQ(check(c.type, c.bytes, cancel) == ItemStatus::Complete, c.fault == PictureFault::None);
    }
}

TEST(StrictDecoder, JpegAndPngPixels)
{
    for (const char* format : {"jpeg", "png"}) {
        SCOPED_TRACE(format);
        const ItemType type = format[0] == 'j' ? ItemType::Jpeg : ItemType::Png;
        const DecodedPicture picture = DecodePicture(type, test_support::WriteWithQt(format, 64, 48));
        ASSERT_TRUE(picture.Ok());
        ASSERT_EQ(picture.Frames.size(), 1u);
        const QImage& frame = picture.Frames[0];
        EXPECT_EQ(frame.size(), QSize(64, 48));
        // Lossy JPEG stays near the gradient; PNG is exact.
        const int tolerance = format[0] == 'j' ? 24 : 0;
        for (const QPoint point : {QPoint(0, 0), QPoint(32, 24), QPoint(63, 47)}) {
            const QRgb expected = qRgb(point.x() * 255 / 64, point.y() * 255 / 48, (point.x() * point.y()) & 0xFF);
            const QRgb actual = frame.pixel(point);
            EXPECT_LE(std::abs(qRed(actual) - qRed(expected)), tolerance);
            EXPECT_LE(std::abs(qGreen(actual) - qGreen(expected)), tolerance);
            EXPECT_EQ(qAlpha(actual), 255);
        }
    }
}

QStringList gMessages;
void RecordMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    gMessages << message;
}

// The JPEG reader's complaints decide the check, whatever the logging rules
// say, and go nowhere else; other messages still reach the handler in place.
TEST(StrictDecoder, JpegComplaintsAreTrappedWhateverTheLoggingRules)
{
    const Bytes jpeg = test_support::WriteWithQt("jpeg");
    const Bytes cut = Truncated(jpeg, jpeg.size() * 2 / 3);
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.jpeg.warning=false\nqt.gui.imageio.jpeg=false"));
    gMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(RecordMessage);
    const bool cutAccepted = (CheckPictureFault(ItemType::Jpeg, cut) == PictureFault::None);
    const bool wholeAccepted = (CheckPictureFault(ItemType::Jpeg, jpeg) == PictureFault::None);
    qWarning("after the decode");
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());

    EXPECT_FALSE(cutAccepted);
    EXPECT_TRUE(wholeAccepted);
    EXPECT_EQ(gMessages, QStringList{QStringLiteral("after the decode")});
}

TEST(StrictDecoder, ConcurrentChecksKeepTheirOwnVerdicts)
{
    const Bytes jpeg = test_support::WriteWithQt("jpeg");
    const Bytes cut = Truncated(jpeg, jpeg.size() * 2 / 3);
    const Bytes gif = BuildGif({.width = 16, .height = 16, .images = {GifImage{0, 0, 16, 16, {}}}});
    std::atomic<int> wrong{0};
    auto run = [&](const Bytes& bytes, ItemType type, bool expected) {
        for (int i = 0; i < 40; ++i)
            if ((CheckPictureFault(type, bytes) == PictureFault::None) != expected)
                ++wrong;
    };
    std::thread damaged(run, std::cref(cut), ItemType::Jpeg, false);
    std::thread whole(run, std::cref(jpeg), ItemType::Jpeg, true);
    std::thread other(run, std::cref(gif), ItemType::Gif, true);
    damaged.join();
    whole.join();
    other.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(StrictDecoder, RunsWithoutAGuiApplication)
{
    ASSERT_NE(QCoreApplication::instance(), nullptr);
    EXPECT_EQ(qobject_cast<QGuiApplication*>(QCoreApplication::instance()), nullptr);
    EXPECT_EQ(CheckPictureFault(ItemType::Gif, BuildGif({.width = 4, .height = 4, .images = {GifImage{}}})),
              PictureFault::None);
    EXPECT_EQ(CheckPictureFault(ItemType::Jpeg, test_support::WriteWithQt("jpeg")), PictureFault::None);
    EXPECT_EQ(CheckPictureFault(ItemType::Png, test_support::WriteWithQt("png")), PictureFault::None);
    EXPECT_EQ(CheckPictureFault(ItemType::Bmp, test_support::WriteWithQt("bmp")), PictureFault::None);
}

TEST(StrictDecoder, PreviewPictureTypeBySignature)
{
    const struct {
        std::string bytes;
        std::optional<ItemType> type;
    } cases[] = {
        {"GIF89a", ItemType::Gif}, {"GIF8", ItemType::Gif}, {"GIF7", std::nullopt},
        {"BM", ItemType::Bmp},     {"B", std::nullopt},     {"\x89PNG", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PreviewPictureType(Bytes(c.bytes.begin(), c.bytes.end())), c.type) << c.bytes;
}

}  // namespace
}  // namespace kestrix
