#include "pictures.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

namespace Pictures {
namespace {

constexpr qreal IconScales[] = {1, 1.25, 1.5, 2};

QPixmap blank(int side)
{
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    return pm;
}

void drawFilm(QPainter &p, const QRectF &r)
{
    p.setPen(Qt::NoPen);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(0x4a, 0x55, 0x68));
    g.setColorAt(1, QColor(0x23, 0x2a, 0x36));
    p.setBrush(g);
    p.drawRoundedRect(r, r.width() * 0.08, r.width() * 0.08);
    // Perforations down both edges.
    p.setBrush(QColor(0xf2, 0xf4, 0xf7));
    const qreal hole = r.width() * 0.09;
    for (int i = 0; i < 5; ++i) {
        const qreal y = r.top() + r.height() * (0.1 + i * 0.18);
        p.drawRect(QRectF(r.left() + hole * 0.5, y, hole, hole * 0.9));
        p.drawRect(QRectF(r.right() - hole * 1.5, y, hole, hole * 0.9));
    }
    // The picture area with a small landscape.
    const QRectF screen =
        r.adjusted(hole * 2.2, r.height() * 0.12, -hole * 2.2, -r.height() * 0.12);
    QLinearGradient sky(screen.topLeft(), screen.bottomLeft());
    sky.setColorAt(0, QColor(0x7f, 0xc4, 0xf5));
    sky.setColorAt(1, QColor(0xd9, 0xef, 0xff));
    p.setBrush(sky);
    p.drawRect(screen);
    QPainterPath hill;
    hill.moveTo(screen.bottomLeft());
    hill.lineTo(screen.left() + screen.width() * 0.4, screen.top() + screen.height() * 0.45);
    hill.lineTo(screen.left() + screen.width() * 0.65, screen.top() + screen.height() * 0.7);
    hill.lineTo(screen.left() + screen.width() * 0.8, screen.top() + screen.height() * 0.55);
    hill.lineTo(screen.bottomRight());
    hill.closeSubpath();
    p.setBrush(QColor(0x3c, 0x9a, 0x4c));
    p.drawPath(hill);
}

void drawBadge(QPainter &p, const QPointF &centre, qreal radius, const QColor &colour, bool plus)
{
    p.setPen(QPen(Qt::white, radius * 0.18));
    p.setBrush(colour);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(Qt::white, radius * 0.36, Qt::SolidLine, Qt::RoundCap));
    const qreal arm = radius * 0.52;
    p.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
    if (plus)
        p.drawLine(centre - QPointF(0, arm), centre + QPointF(0, arm));
}

void drawFolder(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(QColor(0xb7, 0x7f, 0x10), r.width() * 0.03));
    QPainterPath back;
    back.moveTo(r.left(), r.top() + r.height() * 0.12);
    back.lineTo(r.left() + r.width() * 0.38, r.top() + r.height() * 0.12);
    back.lineTo(r.left() + r.width() * 0.46, r.top() + r.height() * 0.25);
    back.lineTo(r.right(), r.top() + r.height() * 0.25);
    back.lineTo(r.right(), r.bottom());
    back.lineTo(r.left(), r.bottom());
    back.closeSubpath();
    p.setBrush(QColor(0xf0, 0xb4, 0x29));
    p.drawPath(back);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(0xff, 0xd9, 0x6a));
    g.setColorAt(1, QColor(0xf5, 0xbb, 0x2f));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.36, r.width(), r.height() * 0.64),
                      r.width() * 0.04, r.width() * 0.04);
}

void drawGlobe(QPainter &p, const QRectF &r)
{
    QRadialGradient g(r.center() - QPointF(r.width() * 0.15, r.height() * 0.15), r.width() * 0.6);
    g.setColorAt(0, QColor(0x8f, 0xd3, 0xff));
    g.setColorAt(1, QColor(0x17, 0x6f, 0xc1));
    p.setBrush(g);
    p.setPen(QPen(QColor(0x0e, 0x4f, 0x8f), r.width() * 0.04));
    p.drawEllipse(r);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 200), r.width() * 0.035));
    p.drawEllipse(r.adjusted(r.width() * 0.28, 0, -r.width() * 0.28, 0));
    p.drawLine(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom()));
    p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
    const qreal inset = r.height() * 0.2;
    p.drawLine(QPointF(r.left() + inset * 0.55, r.top() + inset * 1.25),
               QPointF(r.right() - inset * 0.55, r.top() + inset * 1.25));
    p.drawLine(QPointF(r.left() + inset * 0.55, r.bottom() - inset * 1.25),
               QPointF(r.right() - inset * 0.55, r.bottom() - inset * 1.25));
}

void drawGear(QPainter &p, const QRectF &r)
{
    const QPointF c = r.center();
    const qreal outer = r.width() / 2;
    const qreal inner = outer * 0.74;
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal radius = (i % 2 == 0) ? outer : inner;
        const qreal a0 = (i - 0.5) * M_PI / teeth;
        const qreal a1 = (i + 0.5) * M_PI / teeth;
        const QPointF p0 = c + QPointF(qCos(a0) * radius, qSin(a0) * radius);
        const QPointF p1 = c + QPointF(qCos(a1) * radius, qSin(a1) * radius);
        if (i == 0)
            gear.moveTo(p0);
        else
            gear.lineTo(p0);
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    gear.addEllipse(c, outer * 0.3, outer * 0.3);
    gear.setFillRule(Qt::OddEvenFill);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(0xb8, 0xc2, 0xcc));
    g.setColorAt(1, QColor(0x5b, 0x67, 0x73));
    p.setBrush(g);
    p.setPen(QPen(QColor(0x3c, 0x45, 0x4f), r.width() * 0.03));
    p.drawPath(gear);
}

void drawPower(QPainter &p, const QRectF &r)
{
    QRadialGradient g(r.center() - QPointF(r.width() * 0.12, r.height() * 0.12), r.width() * 0.6);
    g.setColorAt(0, QColor(0xff, 0x8a, 0x80));
    g.setColorAt(1, QColor(0xc6, 0x28, 0x28));
    p.setBrush(g);
    p.setPen(QPen(QColor(0x8e, 0x1b, 0x1b), r.width() * 0.04));
    p.drawEllipse(r);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, r.width() * 0.1, Qt::SolidLine, Qt::RoundCap));
    const QRectF ring =
        r.adjusted(r.width() * 0.27, r.height() * 0.27, -r.width() * 0.27, -r.height() * 0.27);
    p.drawArc(ring, 120 * 16, -240 * 16);
    p.drawLine(QPointF(r.center().x(), r.top() + r.height() * 0.2), r.center());
}

void drawTurnArrow(QPainter &p, const QRectF &r, const QColor &colour)
{
    p.setBrush(Qt::NoBrush);
    const qreal width = r.width() * 0.12;
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    const QRectF ring = r.adjusted(width, width, -width, -width);
    p.drawArc(ring, 90 * 16, -270 * 16);
    // Arrow head at the end of the arc (pointing up at the left side).
    const QPointF tip(ring.left(), ring.center().y() - ring.height() * 0.02);
    QPainterPath head;
    head.moveTo(tip + QPointF(0, -width * 1.6));
    head.lineTo(tip + QPointF(-width * 1.3, width * 0.4));
    head.lineTo(tip + QPointF(width * 1.3, width * 0.4));
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(head);
}

void drawTool(QPainter &p, Tool tool, qreal s)
{
    switch (tool) {
    case Tool::AddVideo:
        drawFilm(p, QRectF(s * 0.06, s * 0.12, s * 0.72, s * 0.72));
        drawBadge(p, QPointF(s * 0.74, s * 0.74), s * 0.2, QColor(0x2e, 0xa0, 0x43), true);
        break;
    case Tool::AddFolder:
        drawFolder(p, QRectF(s * 0.04, s * 0.12, s * 0.78, s * 0.68));
        drawBadge(p, QPointF(s * 0.74, s * 0.74), s * 0.2, QColor(0x2e, 0xa0, 0x43), true);
        break;
    case Tool::RemoveVideo:
        drawFilm(p, QRectF(s * 0.06, s * 0.12, s * 0.72, s * 0.72));
        drawBadge(p, QPointF(s * 0.74, s * 0.74), s * 0.2, QColor(0xd3, 0x3a, 0x2f), false);
        break;
    case Tool::Web:
        drawGlobe(p, QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8));
        break;
    case Tool::Options:
        drawGear(p, QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8));
        break;
    case Tool::Exit:
        drawPower(p, QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8));
        break;
    }
}

void drawRotate(QPainter &p, qreal s)
{
    drawFilm(p, QRectF(s * 0.3, s * 0.3, s * 0.4, s * 0.4));
    // A white arrow in a dark rim reads on a light button and on a blue one.
    const QRectF ring(s * 0.04, s * 0.04, s * 0.92, s * 0.92);
    const qreal rim = s * 0.025;
    p.save();
    p.setOpacity(0.85);
    for (const QPointF offset :
         {QPointF(-rim, 0), QPointF(rim, 0), QPointF(0, -rim), QPointF(0, rim)})
        drawTurnArrow(p, ring.translated(offset), QColor(0x0d, 0x3d, 0x6e));
    p.restore();
    drawTurnArrow(p, ring, Qt::white);
}

void drawStop(QPainter &p, qreal s)
{
    p.setPen(QPen(QColor(0x0d, 0x3d, 0x6e), s * 0.05));
    p.setBrush(QColor(0xd9, 0x3b, 0x3b));
    p.drawRoundedRect(QRectF(s * 0.22, s * 0.22, s * 0.56, s * 0.56), s * 0.08, s * 0.08);
}

// Two upright bars: held, not ended.
void drawPause(QPainter &p, qreal s)
{
    p.setPen(QPen(QColor(0x0d, 0x3d, 0x6e), s * 0.05));
    p.setBrush(QColor(0xe0, 0xa3, 0x1a));
    for (const qreal left : {0.24, 0.56})
        p.drawRoundedRect(QRectF(s * left, s * 0.2, s * 0.2, s * 0.6), s * 0.05, s * 0.05);
}

// One pixmap for each common display scale, each drawn at its own pixel size,
// so no scale shows a stretched picture.
template<class Draw> QIcon drawnIcon(int side, Draw draw)
{
    QIcon icon;
    for (const qreal scale : IconScales) {
        const int pixels = qRound(side * scale);
        QPixmap pm = blank(pixels);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p, qreal(pixels));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace

QIcon toolIcon(Tool tool, int side)
{
    return drawnIcon(side, [tool](QPainter &p, qreal s) { drawTool(p, tool, s); });
}

QIcon rotateIcon(int side)
{
    return drawnIcon(side, drawRotate);
}

QIcon stopIcon(int side)
{
    return drawnIcon(side, drawStop);
}

QIcon pauseIcon(int side)
{
    return drawnIcon(side, drawPause);
}

QPixmap startOverlayPicture(const QSize &size, const QFont &font, qreal pixelRatio)
{
    QPixmap pm(size * pixelRatio);
    pm.setDevicePixelRatio(pixelRatio);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF r(QPointF(0, 0), QSizeF(size));
    QLinearGradient bg(r.topLeft(), r.bottomRight());
    bg.setColorAt(0, QColor(0x1d, 0x3c, 0x6e));
    bg.setColorAt(1, QColor(0x0b, 0x1a, 0x33));
    p.fillRect(r, bg);

    // Faint concentric rings behind the emblem.
    const QPointF centre(r.width() / 2, r.height() * 0.4);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 4; ++i) {
        p.setPen(QPen(QColor(255, 255, 255, 18 + i * 4), 1.5));
        const qreal radius = 40.0 + i * 28;
        p.drawEllipse(centre, radius, radius);
    }

    const qreal emblem = qMin(r.width(), r.height()) * 0.36;
    const QRectF emblemRect(centre.x() - emblem / 2, centre.y() - emblem / 2, emblem, emblem);
    drawFilm(p, emblemRect.adjusted(emblem * 0.24, emblem * 0.24, -emblem * 0.24, -emblem * 0.24));
    drawTurnArrow(p, emblemRect, QColor(0x6c, 0xc4, 0xff));

    QFont title = font;
    title.setPointSizeF(font.pointSizeF() * 2.6);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    const QRectF titleRect(0, emblemRect.bottom() + 10, r.width(), QFontMetricsF(title).height());
    p.drawText(titleRect, Qt::AlignCenter, u"Torvane"_qs);

    QFont line = font;
    line.setPointSizeF(font.pointSizeF() * 1.3);
    p.setFont(line);
    p.setPen(QColor(0xcf, 0xe3, 0xff));
    const qreal lineHeight = QFontMetricsF(line).height();
    const QRectF first(0, titleRect.bottom() + 6, r.width(), lineHeight);
    p.drawText(first, Qt::AlignCenter, u"批量旋转、镜像您的视频"_qs);
    const QRectF second(0, first.bottom() + 6, r.width(), lineHeight);
    p.setPen(QColor(0x9f, 0xc1, 0xe8));
    p.drawText(second, Qt::AlignCenter, u"点击这里开始，或把视频文件拖到这里"_qs);
    return pm;
}

} // namespace Pictures
