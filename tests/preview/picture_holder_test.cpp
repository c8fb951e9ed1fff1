#include "picture_holder.h"

#include "exceptions.h"
#include "picture_fixtures.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using test_support::BuildBmp;
using test_support::BuildGif;
using test_support::Bytes;
using test_support::kGifPalette;
using test_support::Load;
using test_support::Rgb;
using test_support::SmallBmpPlan;
using test_support::SolidBmpPlan;

constexpr const char* kInvalidFormat = "Could not load image. Invalid format";

Bytes DataOf(const TPictureHolder& holder)
{
    const auto& data = holder.Data();
    return Bytes(data.Memory(), data.Memory() + data.SizeValue());
}

// Records the holder's notifications in order.
struct EventLog {
    std::vector<std::string> events;
    explicit EventLog(TPictureHolder& holder)
    {
        holder.OnChange = [this](TPictureHolder&) { events.push_back("change"); };
        holder.OnFrameChange = [this](TPictureHolder&) { events.push_back("frame"); };
        holder.OnClear = [this](TPictureHolder&) { events.push_back("clear"); };
    }
};

// Draws the holder at its pixel size (as a canvas does for a point) on a
// white canvas.
QImage Render(const TPictureHolder& holder, QSize canvasSize = {32, 32})
{
    QImage canvas(canvasSize, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    holder.Draw(painter, QRect(0, 0, holder.Width(), holder.Height()));
    painter.end();
    return canvas;
}

bool AllWhite(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                return false;
    return true;
}

// Reports a bigger size than it can deliver.
class ShortStream : public MemoryStream {
public:
    int64_t Size() override { return MemoryStream::Size() + 10; }
};

TEST(PictureHolder, StartsEmpty)
{
    TPictureHolder holder;
    EXPECT_TRUE(holder.Empty());
    EXPECT_FALSE(holder.HasPicture());
    EXPECT_EQ(holder.Frame(), 0);
    EXPECT_EQ(holder.PixelsPerInchX(), 96);
    EXPECT_EQ(holder.PixelsPerInchY(), 96);
    EXPECT_EQ(holder.FrameCount(), -1);
    EXPECT_EQ(holder.Width(), 0);
    EXPECT_TRUE(AllWhite(Render(holder)));
}

TEST(PictureHolder, LoadFromStreamTakesTheWholeStreamFromItsFirstByte)
{
    const Bytes gif = BuildGif({.width = 8, .height = 4, .frames = 1});
    MemoryStream stream;
    test_support::FillStream(stream, gif);
    ASSERT_EQ(stream.Position(), static_cast<int64_t>(gif.size()));  // as left by the writer

    TPictureHolder holder;
    EventLog log(holder);
    holder.LoadFromStream(&stream);

    EXPECT_EQ(DataOf(holder), gif);
    EXPECT_EQ(stream.Position(), static_cast<int64_t>(gif.size()));
    EXPECT_FALSE(holder.Empty());
    EXPECT_EQ(holder.Frame(), 1);
    EXPECT_EQ(holder.Width(), 8);
    EXPECT_EQ(holder.Height(), 4);
    EXPECT_EQ(log.events, std::vector<std::string>{"change"});

    holder.LoadFromStream(nullptr);
    EXPECT_EQ(log.events.size(), 1u);
}

// Pictures whose data stop short are refused like bytes that are no picture:
// the reader would fill the missing pixels from whatever memory held.
TEST(PictureHolder, UndecodableBytesStayKeptWithoutPictureOrEvent)
{
    auto cut = [](Bytes bytes, std::size_t drop) {
        bytes.resize(bytes.size() - drop);
        return bytes;
    };
    const Bytes gif = BuildGif({.width = 8, .height = 8, .frames = 1});
    const Bytes bmp = BuildBmp(SolidBmpPlan(5, 3, Rgb(Qt::red)));
    Bytes brokenRle = BuildBmp(SmallBmpPlan(8, 2));
    brokenRle[30] = 1;  // RLE8 compression over data that is no RLE stream
    const Bytes cases[] = {
        {},          {'G', 'I', 'F', '8'}, {'B', 'M', 0, 0, 0, 0, 0, 0}, cut(gif, gif.size() - 30),
        cut(gif, 4),  // inside the image data
        cut(bmp, 1),  // the last row one byte short
        brokenRle,   Bytes(200, 0x5A),
    };
    for (const auto& bytes : cases) {
        SCOPED_TRACE(bytes.size());
        TPictureHolder holder;
        EventLog log(holder);
        try {
            Load(holder, bytes);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), kInvalidFormat);
        }
        EXPECT_EQ(DataOf(holder), bytes);
        EXPECT_FALSE(holder.Empty());
        EXPECT_FALSE(holder.HasPicture());
        EXPECT_EQ(holder.Width(), 0);
        EXPECT_EQ(holder.Height(), 0);
        EXPECT_EQ(holder.DisplayWidth(), 0);
        EXPECT_EQ(holder.DisplayHeight(), 0);
        EXPECT_TRUE(log.events.empty());
        EXPECT_TRUE(AllWhite(Render(holder)));
    }
}

TEST(PictureHolder, LoadingAfterAFailureShowsTheNewPictureAndAFailureDropsTheOldOne)
{
    TPictureHolder holder;
    Load(holder, BuildGif({.width = 8, .height = 8, .frames = 1}));
    EXPECT_THROW(Load(holder, Bytes(20, 0)), Exception);
    EXPECT_FALSE(holder.HasPicture());
    Load(holder, BuildBmp(SolidBmpPlan(5, 3, Rgb(Qt::red))));
    EXPECT_EQ(holder.Width(), 5);
    EXPECT_EQ(Render(holder).pixel(4, 2), qRgb(255, 0, 0));
}

TEST(PictureHolder, StreamDeliveringLessThanItsSizeIsAReadError)
{
    ShortStream stream;
    test_support::FillStream(stream, BuildGif({.width = 8, .height = 8, .frames = 1}));
    TPictureHolder holder;
    EventLog log(holder);
    try {
        holder.LoadFromStream(&stream);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_THROW(holder.ReadData(&stream), Exception);
    EXPECT_TRUE(log.events.empty());
}

TEST(PictureHolder, IsGifNeedsFiveBytesStartingWithGif8)
{
    const struct {
        std::string bytes;
        bool gif;
    } cases[] = {
        {"GIF8", false}, {"GIF8x", true}, {"GIF89a", true}, {"gif89a", false}, {"GIF7a", false}, {"BM123456", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        TPictureHolder holder;
        EXPECT_THROW(Load(holder, Bytes(c.bytes.begin(), c.bytes.end())), Exception);
        EXPECT_EQ(holder.IsGIF(), c.gif);
        EXPECT_EQ(holder.FrameCount(), c.gif ? 0 : -1);
    }
}

// Frame starts are found by a byte-pattern test at every position.
TEST(PictureHolder, FrameCountTestsEveryPosition)
{
    const std::string gce = std::string("\x21\xF9\x04\x04\x0A\x00\x00\x00\x2C", 9);
    const std::string header = "GIF89a";
    Bytes commentWithPattern = BuildGif({.width = 4, .height = 4, .frames = 2, .comment = gce + "pad"});
    const struct {
        const char* name;
        Bytes bytes;
        int32_t count;
    } cases[] = {
        {"separator is the last byte",
         [&] {
             std::string s = header + gce;
             return Bytes(s.begin(), s.end());
         }(),
         0},
        {"one byte after the separator",
         [&] {
             std::string s = header + gce + "x";
             return Bytes(s.begin(), s.end());
         }(),
         1},
        {"extension not followed by a descriptor",
         [&] {
             std::string s = header + gce + "xx";
             s[s.size() - 3] = 0x21;
             return Bytes(s.begin(), s.end());
         }(),
         0},
        {"pattern in a comment counts too", commentWithPattern, 3},
        {"frames without graphic control", BuildGif({.width = 4, .height = 4, .frames = 3, .graphicControl = false}),
         0},
        {"three frames", BuildGif({.width = 4, .height = 4, .frames = 3}), 3},
        {"not a GIF",
         [&] {
             std::string s = "GIF7a" + gce + "xx";
             return Bytes(s.begin(), s.end());
         }(),
         -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPictureHolder holder;
        try {
            Load(holder, c.bytes);
        } catch (const Exception&) {
        }
        EXPECT_EQ(holder.FrameCount(), c.count);
    }
}

TEST(PictureHolder, EveryWayOfReplacingTheBytesCountsFramesAfresh)
{
    const Bytes three = BuildGif({.width = 4, .height = 4, .frames = 3});
    const Bytes one = BuildGif({.width = 4, .height = 4, .frames = 1});
    const std::string path = (std::filesystem::temp_directory_path() / "kestrix_preview_recount.gif").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(one.data()), static_cast<std::streamsize>(one.size()));
    TPictureHolder source;
    Load(source, one);

    const struct {
        const char* name;
        std::function<void(TPictureHolder&)> replace;
    } cases[] = {
        {"LoadFromStream", [&](TPictureHolder& h) { Load(h, one); }},
        {"ReadData",
         [&](TPictureHolder& h) {
             MemoryStream s;
             test_support::FillStream(s, one);
             h.ReadData(&s);
         }},
        {"Assign", [&](TPictureHolder& h) { h.Assign(&source); }},
        {"LoadFromFile", [&](TPictureHolder& h) { h.LoadFromFile(path); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPictureHolder holder;
        Load(holder, three);
        ASSERT_EQ(holder.FrameCount(), 3);
        holder.SetFrame(1);
        c.replace(holder);
        EXPECT_EQ(holder.FrameCount(), 1);
        EXPECT_TRUE(holder.HasPicture());
    }
    std::filesystem::remove(path);
}

TEST(PictureHolder, FrameDelayReadsTheNumberedFrameStart)
{
    Bytes gif = test_support::MakeGifWithDelays(4, 4, {5, 600, 7});
    test_support::PatchFrame(gif, 1, {600, 0x09, 0, 0});  // disposal 2, transparent
    TPictureHolder holder;
    Load(holder, gif);

    EXPECT_EQ(holder.FrameDelay(1), 5);
    EXPECT_EQ(holder.FrameDisposal(), 1);
    EXPECT_FALSE(holder.FrameTransparent());
    EXPECT_EQ(holder.FrameDelay(2), 600);
    EXPECT_EQ(holder.FrameDisposal(), 2);
    EXPECT_TRUE(holder.FrameTransparent());
    for (int32_t n : {0, -1, 4, 100}) {
        EXPECT_EQ(holder.FrameDelay(n), -1) << n;
        EXPECT_EQ(holder.FrameDisposal(), 2);
        EXPECT_TRUE(holder.FrameTransparent());
    }
    EXPECT_EQ(holder.FrameDelay(3), 7);

    TPictureHolder bitmap;
    Load(bitmap, BuildBmp(SolidBmpPlan(2, 2, Rgb(Qt::red))));
    EXPECT_EQ(bitmap.FrameDelay(1), -1);
}

// BuildGif paints frame f with colour index (x + y + f) % 4, so the pixel at
// (0, 0) tells which frame the decoder saw first.
TEST(PictureHolder, SelectingAFrameHandsItToTheDecoderAsTheFirstImage)
{
    // A comment holding 00 3B before the frames must not end the picture.
    const Bytes gif = BuildGif({.width = 4, .height = 4, .frames = 5, .comment = std::string("\x00\x3B", 2)});
    TPictureHolder holder;
    Load(holder, gif);
    ASSERT_EQ(holder.FrameCount(), 5);

    const struct {
        int32_t frame;
        int colourIndex;
    } cases[] = {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {5, 0}, {-4, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        holder.SetFrame(c.frame);
        EXPECT_EQ(holder.Frame(), c.frame);
        EXPECT_EQ(Render(holder).pixel(0, 0), kGifPalette[c.colourIndex]);
        EXPECT_EQ(Render(holder).pixel(1, 0), kGifPalette[(c.colourIndex + 1) % 4]);
    }

    // Beyond the last frame only the bytes before frame start 1 remain.
    try {
        holder.SetFrame(6);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), kInvalidFormat);
    }
    EXPECT_FALSE(holder.HasPicture());
    EXPECT_FALSE(holder.Empty());
    holder.SetFrame(4);
    EXPECT_EQ(Render(holder).pixel(0, 0), kGifPalette[3]);
}

// The decoder places each frame on the logical screen; the holder records the
// selected frame's descriptor but draws the frame where the decoder put it.
TEST(PictureHolder, EachFrameIsDrawnAtItsOwnPlaceOnce)
{
    Bytes gif = BuildGif({.width = 4, .height = 4, .frames = 2});
    test_support::SetScreenSize(gif, 12, 10);
    test_support::PatchFrame(gif, 0, {10, 0x04, 3, 2});
    test_support::PatchFrame(gif, 1, {10, 0x04, 1, 5});
    TPictureHolder holder;
    Load(holder, gif);
    EXPECT_EQ(holder.ScreenWidth(), 12);
    EXPECT_EQ(holder.ScreenHeight(), 10);
    EXPECT_EQ(holder.DisplayWidth(), 12);
    const QRgb white = qRgb(255, 255, 255);

    const struct {
        int32_t frame;
        uint16_t left;
        uint16_t top;
        QPoint firstPixel;  // where the frame's pixel (0, 0) lands
        int colourIndex;
    } cases[] = {{0, 0, 0, {3, 2}, 0}, {1, 3, 2, {3, 2}, 0}, {2, 1, 5, {1, 5}, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        holder.SetFrame(c.frame);
        EXPECT_EQ(holder.FrameLeft(), c.left);
        EXPECT_EQ(holder.FrameTop(), c.top);
        const QImage shown = Render(holder);
        EXPECT_EQ(shown.pixel(c.firstPixel), kGifPalette[c.colourIndex]);
        EXPECT_EQ(shown.pixel(c.firstPixel + QPoint(1, 0)), kGifPalette[(c.colourIndex + 1) % 4]);
        EXPECT_EQ(shown.pixel(c.firstPixel - QPoint(1, 0)), white);
        // Where a second move by the frame's own left and top would put it.
        if (c.left != 0 || c.top != 0) {
            EXPECT_NE(shown.pixel(c.firstPixel + QPoint(c.left, c.top)), kGifPalette[c.colourIndex]);
        }
    }
    EXPECT_EQ(holder.FrameWidth(), 4);
    EXPECT_EQ(holder.FrameHeight(), 4);
}

TEST(PictureHolder, ScreenTheFramesLeaveUncoveredIsTransparent)
{
    Bytes gif = BuildGif({.width = 4, .height = 4, .frames = 1});
    test_support::SetScreenSize(gif, 12, 10);
    test_support::PatchFrame(gif, 0, {10, 0x04, 3, 2});
    gif[11] = 1;  // background colour red: what the reader fills the screen with
    TPictureHolder holder;
    Load(holder, gif);
    holder.SetFrame(0);
    const QImage shown = Render(holder);
    EXPECT_EQ(shown.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(shown.pixel(11, 9), qRgb(255, 255, 255));
    EXPECT_EQ(shown.pixel(3, 2), kGifPalette[0]);
    EXPECT_EQ(shown.pixel(6, 5), kGifPalette[(3 + 3) % 4]);
}

TEST(PictureHolder, GifWithoutGraphicControlIsDecodedWholeWithoutScreenSize)
{
    TPictureHolder holder;
    Load(holder, BuildGif({.width = 6, .height = 3, .frames = 2, .graphicControl = false}));
    EXPECT_EQ(holder.FrameCount(), 0);
    EXPECT_EQ(holder.ScreenWidth(), 0);
    EXPECT_EQ(holder.ScreenHeight(), 0);
    EXPECT_EQ(holder.DisplayWidth(), holder.Width());
    EXPECT_EQ(holder.DisplayHeight(), holder.Height());
    EXPECT_EQ(holder.Width(), 6);
}

TEST(PictureHolder, WritingFrameRedecodesAndNotifiesOnlyWhenThereAreBytes)
{
    TPictureHolder empty;
    EventLog emptyLog(empty);
    empty.SetFrame(3);
    EXPECT_EQ(empty.Frame(), 3);
    EXPECT_TRUE(emptyLog.events.empty());
    EXPECT_TRUE(empty.Empty());

    TPictureHolder holder;
    Load(holder, BuildGif({.width = 4, .height = 4, .frames = 2}));
    EventLog log(holder);
    holder.SetFrame(2);
    EXPECT_EQ(log.events, std::vector<std::string>{"frame"});
    EXPECT_THROW(holder.SetFrame(9), Exception);
    EXPECT_EQ(log.events.size(), 1u);
    EXPECT_FALSE(holder.Empty());
}

TEST(PictureHolder, AssignFromNothingClearsAndNotifiesChangeThenClear)
{
    TPictureHolder holder;
    Load(holder, BuildGif({.width = 4, .height = 4, .frames = 1}));
    EventLog log(holder);
    holder.Assign(nullptr);
    EXPECT_EQ(log.events, (std::vector<std::string>{"change", "clear"}));
    EXPECT_TRUE(holder.Empty());
    EXPECT_EQ(holder.Data().SizeValue(), 0);
    EXPECT_FALSE(holder.HasPicture());
    EXPECT_EQ(holder.FrameCount(), -1);
}

TEST(PictureHolder, AssignFromAHolderCopiesBytesAndDecodesWithItsOwnFrame)
{
    const Bytes gif = BuildGif({.width = 4, .height = 4, .frames = 3});
    TPictureHolder source;
    Load(source, gif);

    TPictureHolder holder;
    holder.SetFrame(2);
    EventLog log(holder);
    holder.Assign(&source);
    EXPECT_EQ(DataOf(holder), gif);
    EXPECT_EQ(holder.Frame(), 2);
    EXPECT_EQ(Render(holder).pixel(0, 0), kGifPalette[1]);
    EXPECT_EQ(log.events, std::vector<std::string>{"change"});

    TPictureHolder broken;
    EXPECT_THROW(Load(broken, Bytes(12, 1)), Exception);
    EXPECT_THROW(holder.Assign(&broken), Exception);
    EXPECT_EQ(log.events.size(), 1u);
    EXPECT_FALSE(holder.Empty());
    EXPECT_FALSE(holder.HasPicture());
    EXPECT_EQ(DataOf(holder), Bytes(12, 1));
}

TEST(PictureHolder, LoadFromFileSwallowsErrorsAndEndsEmpty)
{
    const auto dir = std::filesystem::temp_directory_path();
    const std::string good = (dir / "kestrix_preview_good.bmp").string();
    const std::string bad = (dir / "kestrix_preview_bad.bmp").string();
    const Bytes bmp = BuildBmp(SolidBmpPlan(3, 2, Rgb(Qt::blue)));
    std::ofstream(good, std::ios::binary)
        .write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
    std::ofstream(bad, std::ios::binary) << "not a picture at all";

    TPictureHolder holder;
    EventLog log(holder);
    holder.LoadFromFile(good);
    EXPECT_EQ(log.events, (std::vector<std::string>{"clear", "change"}));
    EXPECT_FALSE(holder.Empty());
    EXPECT_EQ(holder.Frame(), 1);
    EXPECT_EQ(holder.Width(), 3);

    for (const std::string& path : {bad, (dir / "kestrix_preview_missing.bmp").string()}) {
        SCOPED_TRACE(path);
        log.events.clear();
        EXPECT_NO_THROW(holder.LoadFromFile(path));
        EXPECT_TRUE(holder.Empty());
        EXPECT_TRUE(log.events.empty());
        EXPECT_TRUE(AllWhite(Render(holder)));
    }
    std::filesystem::remove(good);
    std::filesystem::remove(bad);
}

TEST(PictureHolder, ReadDataDecodesWithTheCurrentFrameWithoutEvents)
{
    TPictureHolder holder;
    holder.SetFrame(3);
    EventLog log(holder);
    MemoryStream stream;
    test_support::FillStream(stream, BuildGif({.width = 4, .height = 4, .frames = 3}));
    holder.ReadData(&stream);
    EXPECT_TRUE(log.events.empty());
    EXPECT_FALSE(holder.Empty());
    EXPECT_EQ(holder.Frame(), 3);
    EXPECT_EQ(Render(holder).pixel(0, 0), kGifPalette[2]);
    holder.ReadData(nullptr);
    EXPECT_EQ(holder.Frame(), 3);
}

TEST(PictureHolder, WriteDataAppendsAllBytesAtThePosition)
{
    const Bytes bmp = BuildBmp(SolidBmpPlan(2, 2, Rgb(Qt::green)));
    TPictureHolder holder;
    Load(holder, bmp);
    MemoryStream out;
    out.WriteBuffer("abcd", 4);
    out.SetPosition(2);
    holder.WriteData(&out);
    holder.WriteData(nullptr);
    Bytes expected{'a', 'b'};
    expected.insert(expected.end(), bmp.begin(), bmp.end());
    EXPECT_EQ(Bytes(out.Memory(), out.Memory() + out.SizeValue()), expected);
}

// The view's Loaded gives the holder the screen's resolution: a picture is
// still drawn at its own pixel size, at 144 pixels per inch as at 96.
TEST(PictureHolder, PixelSizeIsThePicturesAtEveryResolution)
{
    const int32_t resolutions[] = {96, 120, 144, 72, 48, 1};
    for (const int32_t ppi : resolutions) {
        SCOPED_TRACE(ppi);
        TPictureHolder before;
        before.SetPixelsPerInch(ppi, ppi);
        Load(before, BuildBmp(SolidBmpPlan(16, 16, Rgb(Qt::red))));
        TPictureHolder after;
        Load(after, BuildBmp(SolidBmpPlan(37, 5, Rgb(Qt::red))));
        after.SetPixelsPerInch(ppi, ppi * 2);
        EXPECT_EQ(before.Width(), 16);
        EXPECT_EQ(before.Height(), 16);
        EXPECT_EQ(after.Width(), 37);
        EXPECT_EQ(after.Height(), 5);
        EXPECT_EQ(after.DisplayWidth(), 37);
    }
}

TEST(PictureHolder, DrawScalesTheWholePictureIntoTheRectangle)
{
    TPictureHolder holder;
    Load(holder, BuildGif({.width = 4, .height = 4, .frames = 1}));
    QImage canvas(16, 16, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    holder.Draw(painter, QRect(0, 0, 8, 16));
    holder.Draw(painter, QRect(8, 0, 0, 16));
    painter.end();
    EXPECT_EQ(canvas.pixel(0, 0), kGifPalette[0]);
    EXPECT_EQ(canvas.pixel(2, 0), kGifPalette[1]);
    EXPECT_EQ(canvas.pixel(7, 15), kGifPalette[(3 + 3) % 4]);
    EXPECT_EQ(canvas.pixel(0, 4), kGifPalette[1]);
    EXPECT_EQ(canvas.pixel(8, 0), qRgb(255, 255, 255));
}

TEST(PictureHolder, RefusesPicturesTooLargeToDecode)
{
    Bytes hugeScreen = BuildGif({.width = 4, .height = 4, .frames = 1});
    test_support::SetScreenSize(hugeScreen, 65535, 65535);
    Bytes hugeBmp = BuildBmp(SolidBmpPlan(2, 2, Rgb(Qt::red)));
    test_support::PutLe16At(hugeBmp, 18, 30000);  // width
    test_support::PutLe16At(hugeBmp, 22, 30000);  // height
    for (const Bytes& bytes : {hugeScreen, hugeBmp}) {
        TPictureHolder holder;
        try {
            Load(holder, bytes);
            ADD_FAILURE() << "decoded";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), kInvalidFormat);
        }
        EXPECT_FALSE(holder.HasPicture());
    }
}

}  // namespace
}  // namespace kestrix
