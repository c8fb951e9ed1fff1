#include "picture_view.h"

#include "exceptions.h"
#include "picture_fixtures.h"

#include <QApplication>
#include <QPaintEvent>
#include <QScreen>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace kestrix {
namespace {

using test_support::BuildBmp;
using test_support::BuildGif;
using test_support::Bytes;
using test_support::Load;
using test_support::Rgb;
using test_support::SolidBmpPlan;

const QRgb kBackground = qRgb(192, 192, 192);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QPoint kViewPos(7, 5);

// A grey parent with the view at kViewPos, as the preview group box holds it.
struct Scene {
    QWidget parent;
    TPictureView* view;

    explicit Scene(QSize viewSize = {186, 465})
    {
        parent.resize(kViewPos.x() + viewSize.width() + 20, kViewPos.y() + viewSize.height() + 20);
        QPalette palette;
        palette.setColor(QPalette::Window, QColor(kBackground));
        parent.setPalette(palette);
        parent.setAutoFillBackground(true);
        view = new TPictureView(&parent);
        view->setGeometry(QRect(kViewPos, viewSize));
    }

    void Show()
    {
        parent.show();
        Flush();
    }

    static void Flush()
    {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }

    // What the window shows now (its backing store), without repainting.
    QImage OnScreen() { return parent.screen()->grabWindow(parent.winId()).toImage(); }

    // A fresh rendering of the parent and its children.
    QImage Rendered() { return parent.grab().toImage(); }
};

QRgb At(const QImage& image, QPoint viewPoint)
{
    return image.pixel(viewPoint + kViewPos);
}

TEST(PictureView, Defaults)
{
    TPictureView view;
    EXPECT_EQ(view.size(), QSize(100, 100));
    EXPECT_EQ(view.PicturePosition(), bpTopLeft);
    EXPECT_EQ(view.StretchMode(), smNever);
    EXPECT_FALSE(view.AutoSize());
    EXPECT_FALSE(view.Animate());
    EXPECT_FALSE(view.IsAnimated());
    EXPECT_TRUE(view.Picture().Empty());
    EXPECT_FALSE(view.autoFillBackground());
    EXPECT_FALSE(view.testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_EQ(view.Version(), "1.3.0.0");
    view.SetVersion("9.9");
    EXPECT_EQ(view.Version(), "1.3.0.0");
    EXPECT_TRUE(view.PictureRect().isEmpty());
}

struct Placement {
    QSize picture;
    QSize view;
    TPicturePosition position;
    TStretchMode mode;
    QRect first;
    std::size_t count = 1;
    QRect last = {};
};

TEST(PictureView, PlacementRectangles)
{
    const QSize small(16, 16), wide(372, 100), pane(186, 465);
    const Placement cases[] = {
        // A small picture: corners and centre at its own size in both modes.
        {small, pane, bpTopLeft, smNever, {0, 0, 16, 16}},
        {small, pane, bpTopRight, smNever, {170, 0, 16, 16}},
        {small, pane, bpBottomLeft, smNever, {0, 449, 16, 16}},
        {small, pane, bpBottomRight, smNever, {170, 449, 16, 16}},
        {small, pane, bpCenter, smNever, {85, 224, 16, 16}},
        {small, pane, bpTiled, smNever, {0, 0, 16, 16}, 12 * 30, {176, 464, 16, 16}},
        {small, pane, bpStretched, smNever, {0, 0, 186, 465}},
        // trunc(16 / (16 / 186)) is 185 in floating point.
        {small, pane, bpStretchedWithAspect, smNever, {0, 0, 186, 185}},
        {small, pane, bpTopLeft, smShrink, {0, 0, 16, 16}},
        {small, pane, bpTopRight, smShrink, {170, 0, 16, 16}},
        {small, pane, bpBottomLeft, smShrink, {0, 449, 16, 16}},
        {small, pane, bpBottomRight, smShrink, {170, 449, 16, 16}},
        {small, pane, bpCenter, smShrink, {85, 224, 16, 16}},
        {small, pane, bpTiled, smShrink, {0, 0, 16, 16}, 12 * 30, {176, 464, 16, 16}},
        {small, pane, bpStretched, smShrink, {0, 0, 186, 465}},
        {small, pane, bpStretchedWithAspect, smShrink, {0, 0, 186, 185}},
        // Wider than the view: smNever keeps its size at offset 0 on the
        // overflowing axis, smShrink halves it (rx = 2).
        {wide, pane, bpTopLeft, smNever, {0, 0, 372, 100}},
        {wide, pane, bpTopRight, smNever, {0, 0, 372, 100}},
        {wide, pane, bpBottomLeft, smNever, {0, 365, 372, 100}},
        {wide, pane, bpBottomRight, smNever, {0, 365, 372, 100}},
        {wide, pane, bpCenter, smNever, {0, 182, 372, 100}},
        {wide, pane, bpTiled, smNever, {0, 0, 372, 100}, 5, {0, 400, 372, 100}},
        {wide, pane, bpStretched, smNever, {0, 0, 186, 465}},
        {wide, pane, bpStretchedWithAspect, smNever, {0, 0, 186, 50}},
        {wide, pane, bpTopLeft, smShrink, {0, 0, 186, 50}},
        {wide, pane, bpTopRight, smShrink, {0, 0, 186, 50}},
        {wide, pane, bpBottomLeft, smShrink, {0, 415, 186, 50}},
        {wide, pane, bpBottomRight, smShrink, {0, 415, 186, 50}},
        {wide, pane, bpCenter, smShrink, {0, 207, 186, 50}},
        {wide, pane, bpTiled, smShrink, {0, 0, 372, 100}, 5, {0, 400, 372, 100}},
        {wide, pane, bpStretched, smShrink, {0, 0, 186, 465}},
        {wide, pane, bpStretchedWithAspect, smShrink, {0, 0, 186, 50}},
        // Taller than the view: ry = 2 > rx, width trunc(100 / 2).
        {{100, 930}, pane, bpCenter, smShrink, {68, 0, 50, 465}},
        {{100, 930}, pane, bpBottomRight, smShrink, {136, 0, 50, 465}},
        // Exactly the view's size is not scaled.
        {pane, pane, bpCenter, smShrink, {0, 0, 186, 465}},
        // rx = ry = 25/11: the second branch, width trunc(25 / ry) = 10, height H.
        {{25, 75}, {11, 33}, bpTopLeft, smShrink, {0, 0, 10, 33}},
        {{25, 75}, {11, 33}, bpBottomRight, smShrink, {1, 0, 10, 33}},
        // Larger than the view on both axes: exactly one tile.
        {{200, 500}, pane, bpTiled, smNever, {0, 0, 200, 500}},
    };
    std::map<std::pair<int, int>, Bytes> pictures;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.picture.width() << "x" << c.picture.height() << " in " << c.view.width() << "x"
                     << c.view.height() << " position " << int(c.position) << " mode " << int(c.mode));
        auto& bytes = pictures[{c.picture.width(), c.picture.height()}];
        if (bytes.empty())
            bytes = BuildBmp(SolidBmpPlan(c.picture.width(), c.picture.height(), Rgb(Qt::red)));
        TPictureView view;
        view.resize(c.view);
        Load(view.Picture(), bytes);
        view.SetPicturePosition(c.position);
        view.SetStretchMode(c.mode);
        const auto rects = view.PictureRects();
        ASSERT_EQ(rects.size(), c.count);
        EXPECT_EQ(rects.front(), c.first);
        EXPECT_EQ(view.PictureRect(), c.first);
        if (c.count > 1) {
            EXPECT_EQ(rects.back(), c.last);
        }
    }
}

TEST(PictureView, PaintsThePictureOnTheParentsBackground)
{
    const struct {
        QSize picture;
        TPicturePosition position;
        TStretchMode mode;
        std::vector<QPoint> red;
        std::vector<QPoint> background;
    } cases[] = {
        {{16, 16}, bpCenter, smNever, {{85, 224}, {100, 239}}, {{84, 224}, {101, 224}, {85, 240}, {0, 0}, {185, 464}}},
        // Right part cut off at the view's edge.
        {{372, 100}, bpCenter, smNever, {{0, 182}, {185, 281}}, {{0, 181}, {186, 182}, {0, 282}}},
        {{372, 100}, bpCenter, smShrink, {{0, 207}, {185, 256}}, {{93, 206}, {93, 257}}},
        {{16, 16}, bpTiled, smNever, {{0, 0}, {185, 464}, {17, 33}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.picture.width() << " position " << int(c.position));
        Scene scene;
        Load(scene.view->Picture(), BuildBmp(SolidBmpPlan(c.picture.width(), c.picture.height(), Rgb(Qt::red))));
        scene.view->SetPicturePosition(c.position);
        scene.view->SetStretchMode(c.mode);
        const QImage shot = scene.Rendered();
        for (QPoint p : c.red)
            EXPECT_EQ(At(shot, p), kRed) << p.x() << "," << p.y();
        for (QPoint p : c.background)
            EXPECT_EQ(At(shot, p), kBackground) << p.x() << "," << p.y();
    }
}

TEST(PictureView, UndecodablePictureIsDrawnNowhere)
{
    Scene scene;
    EXPECT_THROW(Load(scene.view->Picture(), Bytes(64, 0x42)), Exception);
    ASSERT_FALSE(scene.view->Picture().Empty());
    for (int position = bpTopLeft; position <= bpStretchedWithAspect; ++position) {
        for (TStretchMode mode : {smNever, smShrink}) {
            scene.view->SetPicturePosition(static_cast<TPicturePosition>(position));
            scene.view->SetStretchMode(mode);
            EXPECT_TRUE(scene.view->PictureRects().empty()) << position << " " << int(mode);
            const QImage shot = scene.Rendered();
            for (QPoint p : {QPoint(0, 0), QPoint(93, 232), QPoint(185, 464)})
                EXPECT_EQ(At(shot, p), kBackground) << position;
        }
    }
}

// A new picture is painted over the old one without erasing; Refresh then
// erases the view's area and paints the new picture alone.
TEST(PictureView, FrameChangePaintsOverTheOldPictureAndRefreshErases)
{
    Scene scene;
    scene.Show();
    Load(scene.view->Picture(), BuildBmp(SolidBmpPlan(100, 100, Rgb(Qt::red))));
    scene.Flush();
    ASSERT_EQ(At(scene.OnScreen(), {50, 50}), kRed);

    Load(scene.view->Picture(), BuildBmp(SolidBmpPlan(10, 10, Rgb(Qt::blue))));
    QImage shot = scene.OnScreen();
    EXPECT_EQ(At(shot, {5, 5}), kBlue);
    EXPECT_EQ(At(shot, {50, 50}), kRed);
    EXPECT_FALSE(scene.view->testAttribute(Qt::WA_OpaquePaintEvent));

    scene.view->Refresh();
    shot = scene.OnScreen();
    EXPECT_EQ(At(shot, {5, 5}), kBlue);
    EXPECT_EQ(At(shot, {50, 50}), kBackground);
}

TEST(PictureView, ClearingThePictureErasesAtOnce)
{
    Scene scene;
    scene.Show();
    Load(scene.view->Picture(), BuildBmp(SolidBmpPlan(30, 30, Rgb(Qt::red))));
    scene.Flush();
    ASSERT_EQ(At(scene.OnScreen(), {10, 10}), kRed);
    scene.view->SetPicture(nullptr);
    EXPECT_EQ(At(scene.OnScreen(), {10, 10}), kBackground);
    EXPECT_TRUE(scene.view->Picture().Empty());
}

TEST(PictureView, SetPictureCopiesTheHoldersBytes)
{
    TPictureHolder source;
    Load(source, BuildBmp(SolidBmpPlan(12, 7, Rgb(Qt::red))));
    TPictureView view;
    view.SetPicture(&source);
    EXPECT_FALSE(view.Picture().Empty());
    EXPECT_EQ(view.PictureRect(), QRect(0, 0, 12, 7));
    source.Assign(nullptr);
    EXPECT_EQ(view.PictureRect(), QRect(0, 0, 12, 7));
}

TEST(PictureView, AutoSizeTakesThePicturesPixelSize)
{
    TPictureView view;
    view.SetAutoSize(true);
    EXPECT_EQ(view.size(), QSize(100, 100));
    Load(view.Picture(), BuildBmp(SolidBmpPlan(30, 20, Rgb(Qt::red))));
    EXPECT_EQ(view.size(), QSize(30, 20));
    view.SetAutoSize(false);
    Load(view.Picture(), BuildBmp(SolidBmpPlan(40, 10, Rgb(Qt::red))));
    EXPECT_EQ(view.size(), QSize(30, 20));
    view.SetAutoSize(true);
    EXPECT_EQ(view.size(), QSize(40, 10));
}

TEST(PictureView, LoadedTakesTheSurfaceResolutionAndAnimationFlag)
{
    TPictureView view;
    view.Picture().SetPixelsPerInch(50, 60);
    MemoryStream stream;
    test_support::FillStream(stream, BuildGif({.width = 4, .height = 4, .frames = 3}));
    view.Picture().ReadData(&stream);
    EXPECT_FALSE(view.IsAnimated());
    view.Loaded();
    EXPECT_TRUE(view.IsAnimated());
    EXPECT_EQ(view.Picture().PixelsPerInchX(), view.logicalDpiX());
    EXPECT_EQ(view.Picture().PixelsPerInchY(), view.logicalDpiY());
}

// On a 144 DPI screen the preview's 16 x 16 picture stays 16 x 16, centred.
TEST(PictureView, PictureKeepsItsPixelSizeOnAScreenOfAnyResolution)
{
    TPictureView view;
    view.resize(186, 465);
    view.SetPicturePosition(bpCenter);
    Load(view.Picture(), BuildBmp(SolidBmpPlan(16, 16, Rgb(kRed))));
    view.Loaded();
    view.Picture().SetPixelsPerInch(144, 144);
    EXPECT_EQ(view.PictureRect(), QRect(85, 224, 16, 16));
}

// Ticks at which the shown frame changed, with the frame shown from then on.
std::map<int, int> DriveTicks(TPictureView& view, int ticks)
{
    std::map<int, int> changes;
    for (int tick = 0; tick < ticks; ++tick) {
        const int before = view.Picture().Frame();
        view.AnimationTick();
        if (view.Picture().Frame() != before)
            changes[tick] = view.Picture().Frame();
    }
    return changes;
}

TEST(PictureView, EachFrameStaysForItsDelayInTicks)
{
    TPictureView view;
    Load(view.Picture(), test_support::MakeGifWithDelays(4, 4, {10, 20, 30}));
    ASSERT_TRUE(view.IsAnimated());
    ASSERT_EQ(view.Picture().Frame(), 0);
    EXPECT_EQ(DriveTicks(view, 61), (std::map<int, int>{{0, 1}, {10, 2}, {30, 3}, {60, 1}}));
    EXPECT_EQ(view.TickCount(), 61);
    EXPECT_EQ(view.NextFrameTick(), 70);
}

TEST(PictureView, ZeroDelayLeavesTheAnimationRestingOnThatFrame)
{
    TPictureView view;
    Load(view.Picture(), test_support::MakeGifWithDelays(4, 4, {10, 0, 10}));
    EXPECT_EQ(DriveTicks(view, 200), (std::map<int, int>{{0, 1}, {10, 2}}));
}

TEST(PictureView, SingleFramePictureIsNotAnimatedAndTicksAreNotCounted)
{
    TPictureView view;
    Load(view.Picture(), BuildGif({.width = 4, .height = 4, .frames = 1}));
    EXPECT_FALSE(view.IsAnimated());
    EXPECT_TRUE(DriveTicks(view, 20).empty());
    EXPECT_EQ(view.TickCount(), 0);
}

TEST(PictureView, SwitchingAnimationOffAndOnRestartsTheCountFromTheFrameShown)
{
    TPictureView view;
    Load(view.Picture(), test_support::MakeGifWithDelays(4, 4, {10, 20, 30}));
    view.SetAnimate(true);
    DriveTicks(view, 11);
    ASSERT_EQ(view.Picture().Frame(), 2);
    view.SetAnimate(false);
    EXPECT_EQ(view.Picture().Frame(), 2);
    view.SetAnimate(true);
    EXPECT_EQ(view.TickCount(), 0);
    EXPECT_EQ(view.NextFrameTick(), 0);
    view.AnimationTick();
    EXPECT_EQ(view.Picture().Frame(), 3);
    EXPECT_EQ(view.NextFrameTick(), 30);
}

// A clock the test advances by hand: the tick it was started with, until the
// view destroys what it returned.
struct HandClock {
    std::shared_ptr<std::function<void()>> tick = std::make_shared<std::function<void()>>();

    TPictureView::AnimationClock Clock() const
    {
        return [tick = tick](std::function<void()> started) {
            *tick = std::move(started);
            auto running = std::make_unique<QObject>();
            QObject::connect(running.get(), &QObject::destroyed, [tick] { *tick = nullptr; });
            return running;
        };
    }
};

TEST(PictureView, TheClockDrivesTheAnimationOnlyWhileAnimateIsOn)
{
    TPictureView view;
    const HandClock clock;
    view.SetAnimationClock(clock.Clock());
    Load(view.Picture(), test_support::MakeGifWithDelays(4, 4, {1, 1, 1}));
    EXPECT_FALSE(*clock.tick);
    view.SetAnimate(true);
    ASSERT_TRUE(*clock.tick);
    for (int i = 0; i < 3; ++i)
        (*clock.tick)();
    EXPECT_EQ(view.TickCount(), 3);
    EXPECT_GE(view.Picture().Frame(), 1);

    view.SetAnimate(false);
    EXPECT_FALSE(*clock.tick);
    EXPECT_EQ(view.TickCount(), 3);
}

// Records the paint events a widget receives.
class PaintRecorder : public QObject {
public:
    std::vector<QRegion> paints;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            paints.push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

// The disposal method recorded by the last delay look-up decides how a frame
// change is shown.
TEST(PictureView, FrameChangeReactsToTheRecordedDisposal)
{
    const QRect frameRect(2, 3, 4, 4);
    for (uint8_t disposal = 0; disposal < 8; ++disposal) {
        SCOPED_TRACE(int(disposal));
        Bytes gif = BuildGif({.width = 4, .height = 4, .frames = 2});
        test_support::SetScreenSize(gif, 12, 12);
        test_support::PatchFrame(gif, 0, {10, static_cast<uint8_t>(disposal << 2), 0, 0});
        test_support::PatchFrame(gif, 1, {10, 0x04, uint16_t(frameRect.left()), uint16_t(frameRect.top())});

        Scene scene;
        int viewEvents = 0;
        scene.view->OnFrameChange = [&](TPictureView&) { ++viewEvents; };
        Load(scene.view->Picture(), gif);
        scene.Show();
        ASSERT_EQ(scene.view->Picture().FrameDelay(1), 10);
        ASSERT_EQ(scene.view->Picture().FrameDisposal(), disposal);
        viewEvents = 0;

        PaintRecorder viewPaints, parentPaints;
        scene.view->installEventFilter(&viewPaints);
        scene.parent.installEventFilter(&parentPaints);
        scene.view->Picture().SetFrame(2);
        const bool paintedAtOnce = !viewPaints.paints.empty();
        scene.Flush();

        EXPECT_EQ(viewEvents, 1);
        EXPECT_EQ(paintedAtOnce, disposal == 0 || disposal == 1 || disposal == 3);
        if (disposal == 2) {
            ASSERT_FALSE(parentPaints.paints.empty());
            EXPECT_TRUE(parentPaints.paints.front().contains(frameRect.translated(kViewPos)));
        } else if (disposal >= 4) {
            EXPECT_TRUE(parentPaints.paints.empty());
            EXPECT_TRUE(viewPaints.paints.empty());
        }
        scene.view->removeEventFilter(&viewPaints);
        scene.parent.removeEventFilter(&parentPaints);
    }
}

}  // namespace
}  // namespace kestrix
