#include "appicon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace {

// Drawn on a 256-unit square, scaled to the requested size.
constexpr qreal Unit = 256;

void drawFrame(QPainter &p, bool detailed)
{
    const QRectF film(16, 40, 224, 176);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2b, 0x3a, 0x4a));
    p.drawRoundedRect(film, 22, 22);

    if (detailed) {
        p.setBrush(QColor(0xe6, 0xec, 0xf2));
        for (int i = 0; i < 7; ++i) {
            const qreal x = 30 + i * 30;
            p.drawRoundedRect(QRectF(x, 50, 17, 14), 3, 3);
            p.drawRoundedRect(QRectF(x, 192, 17, 14), 3, 3);
        }
    }

    const QRectF picture = detailed ? QRectF(30, 74, 196, 108) : QRectF(30, 62, 196, 132);
    QLinearGradient sky(picture.topLeft(), picture.bottomLeft());
    sky.setColorAt(0, QColor(0x5c, 0xa8, 0xe8));
    sky.setColorAt(1, QColor(0x2a, 0x72, 0xb8));
    p.setBrush(sky);
    p.drawRoundedRect(picture, 8, 8);
}

void drawArrow(QPainter &p, bool detailed)
{
    const QPointF centre(128, 128);
    const qreal radius = detailed ? 38 : 46;
    const qreal width = detailed ? 15 : 26;
    // Qt angles: 16ths of a degree, counter-clockwise from three o'clock.
    const qreal startDeg = 120;
    const qreal spanDeg = -270; // clockwise, the way "90度顺时针" turns

    QPen pen(Qt::white, width, Qt::SolidLine, Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    p.drawArc(circle, int(startDeg * 16), int(spanDeg * 16));

    // Arrowhead at the end of the arc, pointing along the clockwise tangent.
    const qreal endRad = (startDeg + spanDeg) * std::numbers::pi / 180;
    const QPointF end(centre.x() + radius * std::cos(endRad),
                      centre.y() - radius * std::sin(endRad));
    const QPointF radial(std::cos(endRad), -std::sin(endRad));
    const QPointF tangent(std::sin(endRad), std::cos(endRad)); // clockwise direction on screen
    const qreal half = width * 1.25;
    const qreal length = width * 1.6;
    QPainterPath head;
    head.moveTo(end + radial * half);
    head.lineTo(end - radial * half);
    head.lineTo(end + tangent * length);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(head);
}

} // namespace

QPixmap appIconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / Unit, size / Unit);
    const bool detailed = size >= 40;
    drawFrame(p, detailed);
    drawArrow(p, detailed);
    return pixmap;
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 20, 24, 32, 40, 48, 64, 96, 128, 256})
        icon.addPixmap(appIconPixmap(size));
    return icon;
}
