#include "picture_view.h"

#include "exceptions.h"
#include "timer_wnd.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace kestrix {
namespace {

// Major, minor, release and build, one byte each from the most significant down.
constexpr uint32_t kPackedVersion = 0x01030000;

int32_t Max0(int32_t v) noexcept
{
    return std::max(0, v);
}

QRect FromEdges(int32_t left, int32_t top, int32_t right, int32_t bottom) noexcept
{
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace

struct TPictureView::State {
    TPictureHolder Picture;
    TPicturePosition PicturePosition = bpTopLeft;
    TStretchMode StretchMode = smNever;
    bool AutoSize = false;
    bool Animate = false;
    AnimationClock Clock;
    std::unique_ptr<QObject> TimerWnd;
    int32_t TickCount = 0;
    int32_t NextFrameTick = 0;
    bool IsAnimated = false;
    bool SuppressPaint = false;
};

TPictureView::TPictureView(QWidget* parent) : QWidget(parent), m(std::make_unique<State>())
{
    setAutoFillBackground(false);
    resize(100, 100);
    m->Picture.OnChange = [this](TPictureHolder&) { PictureChanged(); };
    m->Picture.OnFrameChange = [this](TPictureHolder&) { FrameChanged(); };
    m->Picture.OnClear = [this](TPictureHolder&) { PictureCleared(); };
}

TPictureView::~TPictureView()
{
    m->TimerWnd.reset();
    m->Picture.OnChange = nullptr;
    m->Picture.OnFrameChange = nullptr;
    m->Picture.OnClear = nullptr;
}

TPictureHolder& TPictureView::Picture() noexcept
{
    return m->Picture;
}

void TPictureView::SetPicture(const TPictureHolder* picture)
{
    m->Picture.Assign(picture);
    update();
}

TPicturePosition TPictureView::PicturePosition() const noexcept
{
    return m->PicturePosition;
}

void TPictureView::SetPicturePosition(TPicturePosition value)
{
    if (value == m->PicturePosition)
        return;
    m->PicturePosition = value;
    update();
}

TStretchMode TPictureView::StretchMode() const noexcept
{
    return m->StretchMode;
}

void TPictureView::SetStretchMode(TStretchMode value)
{
    if (value == m->StretchMode)
        return;
    m->StretchMode = value;
    update();
}

bool TPictureView::AutoSize() const noexcept
{
    return m->AutoSize;
}

void TPictureView::SetAutoSize(bool value)
{
    m->AutoSize = value;
    if (value && !m->Picture.Empty())
        resize(m->Picture.Width(), m->Picture.Height());
}

bool TPictureView::Animate() const noexcept
{
    return m->Animate;
}

void TPictureView::SetAnimate(bool value)
{
    if (value == m->Animate)
        return;
    m->Animate = value;
    if (!value) {
        m->TimerWnd.reset();
        return;
    }
    m->TickCount = 0;
    m->NextFrameTick = 0;
    const auto tick = [this] {
        // A timer event cannot carry an exception; a frame that fails to
        // decode leaves the holder without a picture and the next tick moves on.
        try {
            AnimationTick();
        } catch (const Exception&) {
        }
    };
    if (m->Clock) {
        m->TimerWnd = m->Clock(tick);
        return;
    }
    auto timer = std::make_unique<TTimerWnd>();
    timer->OnTimer = [tick](TTimerWnd&) { tick(); };
    m->TimerWnd = std::move(timer);
}

void TPictureView::SetAnimationClock(AnimationClock clock)
{
    m->Clock = std::move(clock);
}

QString TPictureView::Version() const
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg((kPackedVersion >> 24) & 0xFF)
        .arg((kPackedVersion >> 16) & 0xFF)
        .arg((kPackedVersion >> 8) & 0xFF)
        .arg(kPackedVersion & 0xFF);
}

void TPictureView::Loaded()
{
    m->Picture.SetPixelsPerInch(logicalDpiX(), logicalDpiY());
    if (!m->Picture.Empty())
        m->IsAnimated = m->Picture.IsGIF() && m->Picture.FrameCount() > 1;
}

void TPictureView::Refresh()
{
    if (QWidget* parent = parentWidget())
        parent->repaint(geometry());
    else
        repaint();
}

template <typename Visit>
void TPictureView::ForEachPictureRect(Visit&& visit) const
{
    const int32_t w = width();
    const int32_t h = height();
    const TPictureHolder& picture = m->Picture;
    if (m->SuppressPaint || picture.Empty() || w <= 0 || h <= 0)
        return;
    const int32_t dw = picture.DisplayWidth();
    const int32_t dh = picture.DisplayHeight();
    if (dw == 0 || dh == 0)
        return;

    int32_t sw = dw;
    int32_t sh = dh;
    const double rx = static_cast<double>(dw) / w;
    const double ry = static_cast<double>(dh) / h;
    if (rx > 1 || ry > 1) {
        if (rx > ry) {
            sh = static_cast<int32_t>(dh / rx);
            sw = w;
        } else {
            sw = static_cast<int32_t>(dw / ry);
            sh = h;
        }
    }

    // Drawing at a point uses the holder's pixel size; placement uses the display size.
    const int32_t pw = picture.Width();
    const int32_t ph = picture.Height();
    auto at = [&](int32_t x, int32_t y) { return QRect(x, y, pw, ph); };
    const bool shrink = m->StretchMode == smShrink;

    switch (m->PicturePosition) {
    case bpTopLeft: visit(shrink ? FromEdges(0, 0, sw, sh) : at(0, 0)); break;
    case bpTopRight:
        if (shrink) {
            const int32_t left = Max0(w - sw);
            visit(FromEdges(left, 0, left + sw, sh));
        } else {
            visit(at(Max0(w - dw), 0));
        }
        break;
    case bpBottomLeft: visit(shrink ? FromEdges(0, Max0(h - sh), sw, h) : at(0, Max0(h - dh))); break;
    case bpBottomRight:
        visit(shrink ? FromEdges(Max0(w - sw), Max0(h - sh), w, h) : at(Max0(w - dw), Max0(h - dh)));
        break;
    case bpCenter:
        if (shrink) {
            const int32_t left = Max0(w - sw) / 2;
            const int32_t top = Max0(h - sh) / 2;
            visit(FromEdges(left, top, left + sw, top + sh));
        } else {
            visit(at(Max0(w - dw) / 2, Max0(h - dh) / 2));
        }
        break;
    case bpTiled:
        for (int32_t y = 0; y < h; y += dh)
            for (int32_t x = 0; x < w; x += dw)
                if (!visit(at(x, y)))
                    return;
        break;
    case bpStretched: visit(FromEdges(0, 0, w, h)); break;
    case bpStretchedWithAspect:
        if (rx > ry)
            visit(FromEdges(0, 0, w, static_cast<int32_t>(dh / rx)));
        else
            visit(FromEdges(0, 0, static_cast<int32_t>(dw / ry), h));
        break;
    }
}

QRect TPictureView::PictureRect() const
{
    QRect first;
    ForEachPictureRect([&](const QRect& rect) {
        first = rect;
        return false;
    });
    return first;
}

std::vector<QRect> TPictureView::PictureRects() const
{
    std::vector<QRect> rects;
    ForEachPictureRect([&](const QRect& rect) {
        rects.push_back(rect);
        return true;
    });
    return rects;
}

void TPictureView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    ForEachPictureRect([&](const QRect& rect) {
        // Tiles outside the repainted area would be clipped away anyway.
        if (rect.intersects(area))
            m->Picture.Draw(painter, rect);
        return true;
    });
}

void TPictureView::PaintNowWithoutErase()
{
    // An opaque widget is repainted without the parent's background under it,
    // so the new frame lands on what the backing store already shows.
    const bool wasOpaque = testAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    repaint();
    setAttribute(Qt::WA_OpaquePaintEvent, wasOpaque);
}

void TPictureView::PictureChanged()
{
    TPictureHolder& picture = m->Picture;
    if (m->AutoSize && !picture.Empty())
        resize(picture.Width(), picture.Height());
    if (picture.Empty())
        return;
    m->IsAnimated = picture.IsGIF() && picture.FrameCount() > 1;
    picture.SetFrame(0);
}

void TPictureView::FrameChanged()
{
    const TPictureHolder& picture = m->Picture;
    switch (picture.FrameDisposal()) {
    case 0:
    case 1:
    case 3: PaintNowWithoutErase(); break;
    case 2:
        // The frame's own rectangle, placed where the view sits in its parent.
        if (QWidget* parent = parentWidget())
            parent->update(QRect(picture.FrameLeft(), picture.FrameTop(), picture.FrameWidth(), picture.FrameHeight())
                               .translated(pos()));
        break;
    default: break;
    }
    if (OnFrameChange)
        OnFrameChange(*this);
}

void TPictureView::PictureCleared()
{
    m->SuppressPaint = true;
    Refresh();
    m->SuppressPaint = false;
}

void TPictureView::AnimationTick()
{
    TPictureHolder& picture = m->Picture;
    if (!m->IsAnimated || picture.Empty())
        return;
    if (m->TickCount == m->NextFrameTick) {
        const int32_t next = picture.FrameCount() > picture.Frame() ? picture.Frame() + 1 : 1;
        picture.SetFrame(next);
        m->NextFrameTick += picture.FrameDelay(next);
    }
    ++m->TickCount;
}

int32_t TPictureView::TickCount() const noexcept
{
    return m->TickCount;
}
int32_t TPictureView::NextFrameTick() const noexcept
{
    return m->NextFrameTick;
}
bool TPictureView::IsAnimated() const noexcept
{
    return m->IsAnimated;
}

}  // namespace kestrix
