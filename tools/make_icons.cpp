// Draws the main window's pictures: the twelve 16 x 16 icons of the image list,
// the 16 x 16 placeholder bitmap of the preview pane and the application icon.
// Usage: kestrix-make-icons <output folder>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

// Icons are drawn on a 64 x 64 canvas in the coordinates of a 16 x 16 grid
// (scaled by 4) and reduced smoothly, which gives clean anti-aliased edges.
constexpr int kScale = 4;

using Drawing = std::function<void(QPainter&)>;

QImage Render(int size, const Drawing& draw)
{
    QImage big(size * kScale, size * kScale, QImage::Format_ARGB32_Premultiplied);
    big.fill(Qt::transparent);
    {
        QPainter p(&big);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(kScale * size / 16.0, kScale * size / 16.0);
        draw(p);
    }
    return big.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32);
}

QPen Outline(const QColor& c, qreal w = 0.75)
{
    QPen pen(c, w);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

QLinearGradient Vertical(qreal top, qreal bottom, const QColor& a, const QColor& b)
{
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    return g;
}

void DrawFolder(QPainter& p, bool open)
{
    const QColor edge(150, 105, 20);
    QPainterPath back;
    back.moveTo(1, 3.5);
    back.lineTo(6, 3.5);
    back.lineTo(7.5, 5);
    back.lineTo(14, 5);
    back.lineTo(14, 13.5);
    back.lineTo(1, 13.5);
    back.closeSubpath();
    p.setPen(Outline(edge));
    p.setBrush(Vertical(3, 14, QColor(250, 214, 110), QColor(222, 168, 50)));
    p.drawPath(back);
    if (open) {
        p.setBrush(Qt::white);
        p.setPen(Outline(QColor(160, 160, 160), 0.5));
        p.drawRect(QRectF(3, 6, 9.5, 6));
        QPainterPath front;
        front.moveTo(1, 13.5);
        front.lineTo(3.5, 8);
        front.lineTo(15.5, 8);
        front.lineTo(13, 13.5);
        front.closeSubpath();
        p.setPen(Outline(edge));
        p.setBrush(Vertical(8, 14, QColor(255, 232, 140), QColor(238, 186, 60)));
        p.drawPath(front);
    } else {
        p.setBrush(Vertical(6, 14, QColor(255, 228, 130), QColor(236, 182, 58)));
        p.drawRoundedRect(QRectF(1, 6.5, 13, 7), 0.8, 0.8);
    }
}

void DrawFloppy(QPainter& p, qreal x, qreal y, qreal s)
{
    p.save();
    p.translate(x, y);
    p.scale(s, s);
    QPainterPath body;
    body.moveTo(1.5, 1.5);
    body.lineTo(12, 1.5);
    body.lineTo(14.5, 4);
    body.lineTo(14.5, 14.5);
    body.lineTo(1.5, 14.5);
    body.closeSubpath();
    p.setPen(Outline(QColor(20, 50, 110)));
    p.setBrush(Vertical(1, 15, QColor(70, 120, 210), QColor(30, 70, 160)));
    p.drawPath(body);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(225, 230, 238));
    p.drawRect(QRectF(4, 1.9, 7, 4.3));
    p.setBrush(QColor(40, 60, 110));
    p.drawRect(QRectF(8.5, 2.5, 1.6, 3));
    p.setBrush(Qt::white);
    p.setPen(Outline(QColor(150, 160, 180), 0.4));
    p.drawRect(QRectF(3.5, 8.5, 9, 5.5));
    p.setPen(Outline(QColor(150, 160, 190), 0.5));
    p.drawLine(QPointF(5, 10.3), QPointF(11, 10.3));
    p.drawLine(QPointF(5, 12.2), QPointF(11, 12.2));
    p.restore();
}

void DrawPage(QPainter& p, qreal x, qreal y, qreal w, qreal h, const QColor& fold)
{
    const qreal f = 3.5;
    QPainterPath page;
    page.moveTo(x, y);
    page.lineTo(x + w - f, y);
    page.lineTo(x + w, y + f);
    page.lineTo(x + w, y + h);
    page.lineTo(x, y + h);
    page.closeSubpath();
    p.setPen(Outline(QColor(110, 120, 135)));
    p.setBrush(Vertical(y, y + h, Qt::white, QColor(228, 233, 240)));
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(x + w - f, y);
    corner.lineTo(x + w - f, y + f);
    corner.lineTo(x + w, y + f);
    corner.closeSubpath();
    p.setBrush(fold);
    p.drawPath(corner);
}

void DrawMagnifier(QPainter& p, qreal cx, qreal cy, qreal r)
{
    p.setPen(QPen(QColor(90, 60, 30), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(cx + r * 0.72, cy + r * 0.72), QPointF(cx + r * 1.75, cy + r * 1.75));
    QRadialGradient glass(QPointF(cx - r * 0.3, cy - r * 0.3), r * 1.2);
    glass.setColorAt(0, QColor(235, 248, 255));
    glass.setColorAt(1, QColor(140, 195, 235));
    p.setBrush(glass);
    p.setPen(Outline(QColor(60, 70, 90), 1.3));
    p.drawEllipse(QPointF(cx, cy), r, r);
    p.setPen(QPen(QColor(255, 255, 255, 220), 0.8, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(cx - r * 0.6, cy - r * 0.6, r * 1.2, r * 1.2), 100 * 16, 70 * 16);
}

void DrawLandscape(QPainter& p, const QRectF& frame)
{
    p.setPen(Outline(QColor(90, 90, 100)));
    p.setBrush(Vertical(frame.top(), frame.bottom(), QColor(120, 180, 240), QColor(200, 230, 255)));
    p.drawRect(frame);
    p.save();
    p.setClipRect(frame.adjusted(0.4, 0.4, -0.4, -0.4));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 210, 40));
    p.drawEllipse(QPointF(frame.right() - frame.width() * 0.28, frame.top() + frame.height() * 0.3),
                  frame.width() * 0.12, frame.width() * 0.12);
    QPainterPath hills;
    hills.moveTo(frame.left(), frame.bottom());
    hills.lineTo(frame.left() + frame.width() * 0.35, frame.top() + frame.height() * 0.4);
    hills.lineTo(frame.left() + frame.width() * 0.6, frame.top() + frame.height() * 0.75);
    hills.lineTo(frame.left() + frame.width() * 0.75, frame.top() + frame.height() * 0.58);
    hills.lineTo(frame.right(), frame.bottom());
    hills.closeSubpath();
    p.setBrush(Vertical(frame.top(), frame.bottom(), QColor(80, 170, 70), QColor(40, 120, 40)));
    p.drawPath(hills);
    p.restore();
}

void DrawInfo(QPainter& p)
{
    QRadialGradient disc(QPointF(6, 5), 9);
    disc.setColorAt(0, QColor(110, 170, 250));
    disc.setColorAt(1, QColor(25, 85, 190));
    p.setBrush(disc);
    p.setPen(Outline(QColor(20, 55, 130)));
    p.drawEllipse(QPointF(8, 8), 7, 7);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 4.6), 1.3, 1.3);
    p.drawRoundedRect(QRectF(6.9, 6.8, 2.2, 6), 0.6, 0.6);
}

void DrawChip(QPainter& p)
{
    p.setPen(QPen(QColor(150, 150, 155), 1.0));
    for (int i = 0; i < 4; ++i) {
        const qreal c = 4.25 + i * 2.5;
        p.drawLine(QPointF(c, 0.8), QPointF(c, 3));
        p.drawLine(QPointF(c, 13), QPointF(c, 15.2));
        p.drawLine(QPointF(0.8, c), QPointF(3, c));
        p.drawLine(QPointF(13, c), QPointF(15.2, c));
    }
    p.setPen(Outline(QColor(10, 10, 15)));
    p.setBrush(Vertical(2.5, 13.5, QColor(80, 85, 95), QColor(30, 32, 38)));
    p.drawRoundedRect(QRectF(2.7, 2.7, 10.6, 10.6), 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 200, 120));
    p.drawRect(QRectF(5.5, 5.5, 5, 5));
    p.setBrush(QColor(200, 200, 205));
    p.drawEllipse(QPointF(4.6, 4.6), 0.7, 0.7);
}

void DrawPalette(QPainter& p)
{
    QPainterPath board;
    board.addEllipse(QRectF(1, 2, 14, 12));
    QPainterPath hole;
    hole.addEllipse(QRectF(9.2, 9.2, 3, 2.6));
    p.setPen(Outline(QColor(130, 90, 40)));
    p.setBrush(Vertical(2, 14, QColor(245, 215, 160), QColor(215, 170, 105)));
    p.drawPath(board.subtracted(hole));
    const struct {
        QPointF At;
        QColor Color;
    } dabs[] = {
        {{4.5, 6.5}, QColor(230, 40, 40)}, {{7.5, 4.6}, QColor(250, 200, 20)},  {{11, 5.2}, QColor(40, 170, 60)},
        {{4.6, 10}, QColor(40, 100, 230)}, {{7.6, 11.6}, QColor(160, 60, 200)},
    };
    p.setPen(Outline(QColor(0, 0, 0, 90), 0.4));
    for (const auto& d : dabs) {
        p.setBrush(d.Color);
        p.drawEllipse(d.At, 1.35, 1.35);
    }
}

void DrawExit(QPainter& p)
{
    p.setPen(Outline(QColor(100, 60, 30)));
    p.setBrush(Vertical(1, 15, QColor(200, 140, 80), QColor(150, 95, 45)));
    p.drawRect(QRectF(2, 1.5, 8, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 220, 90));
    p.drawEllipse(QPointF(8.2, 8.5), 0.8, 0.8);
    QPainterPath arrow;
    arrow.moveTo(7.5, 7);
    arrow.lineTo(11, 7);
    arrow.lineTo(11, 4.5);
    arrow.lineTo(15, 8);
    arrow.lineTo(11, 11.5);
    arrow.lineTo(11, 9);
    arrow.lineTo(7.5, 9);
    arrow.closeSubpath();
    p.setPen(Outline(QColor(140, 20, 20), 0.6));
    p.setBrush(Vertical(4, 12, QColor(250, 90, 80), QColor(200, 30, 30)));
    p.drawPath(arrow);
}

void DrawFilesTab(QPainter& p)
{
    DrawPage(p, 5, 1, 9.5, 11, QColor(200, 210, 225));
    DrawPage(p, 1.5, 4, 9.5, 11, QColor(200, 210, 225));
    p.setPen(Outline(QColor(70, 110, 190), 0.7));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(3.3, 7.5 + i * 1.8), QPointF(i == 3 ? 6.5 : 9, 7.5 + i * 1.8));
}

void DrawFileRow(QPainter& p)
{
    DrawPage(p, 2.5, 1, 11, 14, QColor(205, 215, 230));
    p.setPen(Outline(QColor(110, 130, 170), 0.7));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(4.5, 6 + i * 2.2), QPointF(i == 3 ? 8.5 : 11.5, 6 + i * 2.2));
}

void DrawAppIcon(QPainter& p)
{
    // A handset with a picture on its screen, and a magnifier over it.
    QPainterPath body;
    body.addRoundedRect(QRectF(1.6, 0.6, 8.6, 14.8), 1.6, 1.6);
    p.setPen(Outline(QColor(20, 25, 35), 0.35));
    p.setBrush(Vertical(0.5, 15.5, QColor(95, 105, 125), QColor(35, 40, 55)));
    p.drawPath(body);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 28));
    p.drawRoundedRect(QRectF(4.6, 1.3, 2.6, 0.5), 0.25, 0.25);
    DrawLandscape(p, QRectF(2.6, 2.4, 6.6, 5.6));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 205, 215));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            p.drawRoundedRect(QRectF(2.9 + c * 2.2, 9.2 + r * 1.9, 1.6, 1.2), 0.3, 0.3);
    p.save();
    p.translate(5.4, 5.2);
    p.scale(0.6, 0.6);
    DrawMagnifier(p, 8.5, 8.5, 4.2);
    p.restore();
}

// The preview's placeholder: a yellow smiling face on a light grey ground.
QImage DrawPlaceholder()
{
    QImage big(64, 64, QImage::Format_RGB32);
    big.fill(QColor(192, 192, 192));
    {
        QPainter p(&big);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(4, 4);
        QRadialGradient face(QPointF(6.5, 6), 8);
        face.setColorAt(0, QColor(255, 250, 120));
        face.setColorAt(1, QColor(245, 200, 0));
        p.setBrush(face);
        p.setPen(Outline(QColor(120, 90, 0), 0.8));
        p.drawEllipse(QPointF(8, 8), 6.6, 6.6);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 30, 0));
        p.drawEllipse(QPointF(5.8, 6.3), 0.95, 1.3);
        p.drawEllipse(QPointF(10.2, 6.3), 0.95, 1.3);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(40, 30, 0), 1.0, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(4.6, 5.2, 6.8, 6.2), 200 * 16, 140 * 16);
    }
    return big.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
}

void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A bottom-up 8-bit bitmap file with a full 256-entry palette: for 16 x 16
// pixels exactly 14 + 40 + 1024 + 256 = 1334 bytes.
std::vector<uint8_t> EncodeBmp8(const QImage& image)
{
    std::vector<QRgb> palette;
    std::map<QRgb, uint8_t> index;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) | 0xFF000000u;
            if (!index.count(c)) {
                index[c] = static_cast<uint8_t>(palette.size());
                palette.push_back(c);
            }
        }
    palette.resize(256, qRgb(0, 0, 0));
    const int w = image.width();
    const int h = image.height();
    const int stride = (w + 3) & ~3;
    const uint32_t pixelOffset = 14 + 40 + 256 * 4;
    const uint32_t fileSize = pixelOffset + static_cast<uint32_t>(stride * h);

    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    PutLE(out, fileSize, 4);
    PutLE(out, 0, 4);
    PutLE(out, pixelOffset, 4);
    PutLE(out, 40, 4);
    PutLE(out, static_cast<uint32_t>(w), 4);
    PutLE(out, static_cast<uint32_t>(h), 4);
    PutLE(out, 1, 2);
    PutLE(out, 8, 2);
    PutLE(out, 0, 4);
    PutLE(out, static_cast<uint32_t>(stride * h), 4);
    PutLE(out, 2835, 4);
    PutLE(out, 2835, 4);
    PutLE(out, 256, 4);
    PutLE(out, 0, 4);
    for (QRgb c : palette) {
        out.push_back(static_cast<uint8_t>(qBlue(c)));
        out.push_back(static_cast<uint8_t>(qGreen(c)));
        out.push_back(static_cast<uint8_t>(qRed(c)));
        out.push_back(0);
    }
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x)
            out.push_back(index[image.pixel(x, y) | 0xFF000000u]);
        for (int x = w; x < stride; ++x)
            out.push_back(0);
    }
    return out;
}

bool SavePng(const QImage& image, const QString& path)
{
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);

    const Drawing icons[12] = {
        [](QPainter& p) { DrawFolder(p, true); },
        [](QPainter& p) { DrawFloppy(p, 0, 0, 1); },
        [](QPainter& p) {
            DrawFloppy(p, 4, 0, 0.75);
            DrawFloppy(p, 0, 4, 0.75);
        },
        [](QPainter& p) { DrawExit(p); },
        [](QPainter& p) { DrawPage(p, 2.5, 1, 11, 14, QColor(205, 215, 230)); },
        [](QPainter& p) { DrawLandscape(p, QRectF(1, 2.5, 14, 11)); },
        [](QPainter& p) { DrawMagnifier(p, 6.5, 6.5, 4.5); },
        [](QPainter& p) { DrawChip(p); },
        [](QPainter& p) { DrawPalette(p); },
        [](QPainter& p) { DrawInfo(p); },
        [](QPainter& p) { DrawFilesTab(p); },
        [](QPainter& p) { DrawFileRow(p); },
    };
    bool ok = true;
    for (int i = 0; i < 12; ++i)
        ok &= SavePng(Render(16, icons[i]), folder + QString::asprintf("/imagelist_%02d.png", i));

    ok &= SavePng(Render(64, DrawAppIcon), folder + "/kestrix-64.png");
    ok &= SavePng(Render(256, DrawAppIcon), folder + "/kestrix-256.png");

    const std::vector<uint8_t> bmp = EncodeBmp8(DrawPlaceholder());
    QFile file(folder + "/placeholder.bmp");
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bmp.data()), static_cast<qint64>(bmp.size())) !=
            static_cast<qint64>(bmp.size())) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        ok = false;
    }
    return ok ? 0 : 1;
}
