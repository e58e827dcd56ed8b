#include "ui/qt/KestrowIcons.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <array>
#include <functional>

namespace kestrow::gui {

namespace {

using Drawer = std::function<void(QPainter&, qreal)>; // draws into a square of the given side

QPixmap render(int size, const Drawer& draw)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p, size);
    return pixmap;
}

QIcon iconFrom(const Drawer& draw, std::initializer_list<int> sizes = {16, 22, 24, 32, 48, 64})
{
    QIcon icon;
    for (int size : sizes)
        icon.addPixmap(render(size, draw));
    return icon;
}

// A greyed, faded copy for the disabled state.
QPixmap greyed(const QPixmap& source)
{
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int g = qGray(line[x]);
            const int grey = 150 + g / 3;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 3 / 5);
        }
    }
    return QPixmap::fromImage(image);
}

// A lighter copy for the hot (hovered) state.
QPixmap lighter(const QPixmap& source)
{
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromRgba(line[x]).lighter(118);
            line[x] = qRgba(c.red(), c.green(), c.blue(), qAlpha(line[x]));
        }
    }
    return QPixmap::fromImage(image);
}

void drawFolder(QPainter& p, const QRectF& r, const QColor& fill)
{
    const qreal tabW = r.width() * 0.42, tabH = r.height() * 0.18;
    QPainterPath path;
    path.moveTo(r.left(), r.top() + tabH);
    path.lineTo(r.left(), r.bottom());
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.right(), r.top() + tabH);
    path.lineTo(r.left() + tabW + tabH, r.top() + tabH);
    path.lineTo(r.left() + tabW, r.top());
    path.lineTo(r.left(), r.top());
    path.closeSubpath();
    p.setPen(QPen(fill.darker(160), qMax<qreal>(1.0, r.width() / 18.0)));
    p.setBrush(fill);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(fill.lighter(115));
    p.drawRect(
        QRectF(r.left() + r.width() * 0.04, r.top() + tabH * 2.1, r.width() * 0.92, r.height() * 0.12));
}

void drawBadgeCircle(QPainter& p, const QRectF& r, const QColor& fill)
{
    p.setPen(QPen(Qt::white, qMax<qreal>(1.0, r.width() / 8.0)));
    p.setBrush(fill);
    p.drawEllipse(r);
}

void drawCross(QPainter& p, const QRectF& r, const QColor& colour, qreal width)
{
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
}

void drawPauseBars(QPainter& p, const QRectF& r, const QColor& colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const qreal barW = r.width() * 0.32;
    p.drawRect(QRectF(r.left(), r.top(), barW, r.height()));
    p.drawRect(QRectF(r.right() - barW, r.top(), barW, r.height()));
}

// Two folders with a curved arrow from the back one (Source) to the front one (Target).
void drawAppIcon(QPainter& p, qreal s, AppIconKind kind)
{
    const bool paused = kind == AppIconKind::Paused;
    const QColor back = paused ? QColor(0x7f, 0x8c, 0x8d) : QColor(0x1f, 0x6f, 0x8b);
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.2, s * 0.2);

    const QColor source = paused ? QColor(0xd5, 0xd8, 0xdc) : QColor(0xf6, 0xc3, 0x43);
    const QColor target = paused ? QColor(0xee, 0xee, 0xee) : QColor(0xff, 0xe0, 0x8a);
    drawFolder(p, QRectF(s * 0.10, s * 0.14, s * 0.50, s * 0.38), source);
    drawFolder(p, QRectF(s * 0.40, s * 0.50, s * 0.50, s * 0.38), target);

    // The arrow: white normally, orange in the second animation frame.
    const QColor arrow = kind == AppIconKind::Animate ? QColor(0xff, 0x8c, 0x1a) : QColor(Qt::white);
    QPainterPath curve;
    curve.moveTo(s * 0.66, s * 0.22);
    curve.quadTo(s * 0.86, s * 0.24, s * 0.84, s * 0.44);
    p.setPen(QPen(arrow, qMax<qreal>(1.5, s * 0.08), Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    p.setPen(Qt::NoPen);
    p.setBrush(arrow);
    p.drawPolygon(
        QPolygonF({QPointF(s * 0.74, s * 0.42), QPointF(s * 0.94, s * 0.42), QPointF(s * 0.84, s * 0.55)}));
    if (kind == AppIconKind::Animate) {
        p.setBrush(QColor(0xff, 0xff, 0xff, 150));
        p.drawEllipse(QRectF(s * 0.14, s * 0.62, s * 0.18, s * 0.18));
    }

    if (kind == AppIconKind::Error) {
        const QRectF badge(s * 0.52, s * 0.52, s * 0.46, s * 0.46);
        drawBadgeCircle(p, badge, QColor(0xd6, 0x2d, 0x20));
        p.setPen(QPen(Qt::white, qMax<qreal>(1.5, s * 0.07), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(badge.center().x(), badge.top() + badge.height() * 0.22),
                   QPointF(badge.center().x(), badge.top() + badge.height() * 0.58));
        p.drawPoint(QPointF(badge.center().x(), badge.top() + badge.height() * 0.78));
    } else if (paused) {
        const QRectF badge(s * 0.50, s * 0.50, s * 0.48, s * 0.48);
        drawBadgeCircle(p, badge, QColor(0x34, 0x49, 0x5e));
        drawPauseBars(p,
                      badge.adjusted(badge.width() * 0.3, badge.height() * 0.27, -badge.width() * 0.3,
                                     -badge.height() * 0.27),
                      Qt::white);
    }
}

void drawClockBadge(QPainter& p, const QRectF& r)
{
    drawBadgeCircle(p, r, QColor(0x27, 0xae, 0x60));
    p.setPen(QPen(Qt::white, qMax<qreal>(1.0, r.width() / 8.0), Qt::SolidLine, Qt::RoundCap));
    const QPointF c = r.center();
    p.drawLine(c, QPointF(c.x(), r.top() + r.height() * 0.22));
    p.drawLine(c, QPointF(r.right() - r.width() * 0.25, c.y()));
}

void drawRowIcon(QPainter& p, qreal s, RowIcon icon)
{
    drawFolder(p, QRectF(s * 0.06, s * 0.16, s * 0.80, s * 0.64), QColor(0xf6, 0xc3, 0x43));
    const bool error = icon == RowIcon::LVWErrorTask || icon == RowIcon::LVWErrorNextTask;
    const bool next = icon == RowIcon::LVWNextTask || icon == RowIcon::LVWErrorNextTask;
    if (next)
        drawClockBadge(p, QRectF(s * 0.46, s * 0.46, s * 0.54, s * 0.54));
    if (error) {
        const QRectF badge =
            next ? QRectF(0, s * 0.46, s * 0.54, s * 0.54) : QRectF(s * 0.46, s * 0.46, s * 0.54, s * 0.54);
        drawBadgeCircle(p, badge, QColor(0xd6, 0x2d, 0x20));
        drawCross(p,
                  badge.adjusted(badge.width() * 0.3, badge.height() * 0.3, -badge.width() * 0.3,
                                 -badge.height() * 0.3),
                  Qt::white, qMax<qreal>(1.0, s / 14.0));
    }
}

void drawSheet(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(QColor(0x7f, 0x8c, 0x8d), qMax<qreal>(1.0, r.width() / 14.0)));
    p.setBrush(Qt::white);
    p.drawRoundedRect(r, r.width() * 0.08, r.width() * 0.08);
    p.setPen(QPen(QColor(0x95, 0xa5, 0xa6), qMax<qreal>(1.0, r.width() / 12.0)));
    for (int i = 1; i <= 4; ++i) {
        const qreal y = r.top() + r.height() * (0.16 + 0.17 * i);
        p.drawLine(QPointF(r.left() + r.width() * 0.18, y), QPointF(r.right() - r.width() * 0.18, y));
    }
}

void drawToolbarImage(QPainter& p, qreal s, const QString& key)
{
    if (key == QLatin1String("NEWTASK") || key == QLatin1String("DELETETASK")) {
        drawFolder(p, QRectF(s * 0.04, s * 0.14, s * 0.76, s * 0.62), QColor(0xf6, 0xc3, 0x43));
        const QRectF badge(s * 0.46, s * 0.46, s * 0.52, s * 0.52);
        if (key == QLatin1String("NEWTASK")) {
            drawBadgeCircle(p, badge, QColor(0x27, 0xae, 0x60));
            p.setPen(QPen(Qt::white, qMax<qreal>(1.5, s / 11.0), Qt::SolidLine, Qt::RoundCap));
            const QPointF c = badge.center();
            const qreal arm = badge.width() * 0.24;
            p.drawLine(QPointF(c.x() - arm, c.y()), QPointF(c.x() + arm, c.y()));
            p.drawLine(QPointF(c.x(), c.y() - arm), QPointF(c.x(), c.y() + arm));
        } else {
            drawBadgeCircle(p, badge, QColor(0xd6, 0x2d, 0x20));
            drawCross(p,
                      badge.adjusted(badge.width() * 0.3, badge.height() * 0.3, -badge.width() * 0.3,
                                     -badge.height() * 0.3),
                      Qt::white, qMax<qreal>(1.5, s / 11.0));
        }
    } else if (key == QLatin1String("RUNTASK")) {
        p.setPen(QPen(QColor(0x1e, 0x84, 0x49), qMax<qreal>(1.0, s / 16.0)));
        p.setBrush(QColor(0x2e, 0xcc, 0x71));
        p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF(
            {QPointF(s * 0.38, s * 0.26), QPointF(s * 0.38, s * 0.74), QPointF(s * 0.76, s * 0.5)}));
    } else if (key == QLatin1String("TASKPROPERTIES")) {
        drawSheet(p, QRectF(s * 0.12, s * 0.04, s * 0.66, s * 0.88));
        // A slider knob on two of the lines: settings.
        p.setPen(QPen(QColor(0x1f, 0x6f, 0x8b), qMax<qreal>(1.0, s / 16.0)));
        p.setBrush(QColor(0x3d, 0x9a, 0xd1));
        p.drawEllipse(QRectF(s * 0.52, s * 0.30, s * 0.18, s * 0.18));
        p.drawEllipse(QRectF(s * 0.24, s * 0.64, s * 0.18, s * 0.18));
        p.setBrush(QColor(0xf3, 0x9c, 0x12));
        p.setPen(Qt::NoPen);
        p.drawPolygon(
            QPolygonF({QPointF(s * 0.92, s * 0.42), QPointF(s * 0.98, s * 0.48), QPointF(s * 0.60, s * 0.92),
                       QPointF(s * 0.52, s * 0.96), QPointF(s * 0.54, s * 0.86)}));
    } else if (key == QLatin1String("VIEWLOG")) {
        drawSheet(p, QRectF(s * 0.08, s * 0.04, s * 0.66, s * 0.88));
        p.setPen(QPen(QColor(0x2c, 0x3e, 0x50), qMax<qreal>(1.5, s / 10.0), Qt::SolidLine, Qt::RoundCap));
        p.setBrush(QColor(0xd6, 0xea, 0xf8, 200));
        p.drawEllipse(QRectF(s * 0.44, s * 0.44, s * 0.32, s * 0.32));
        p.drawLine(QPointF(s * 0.72, s * 0.72), QPointF(s * 0.92, s * 0.92));
    } else if (key == QLatin1String("HELP")) {
        p.setPen(QPen(QColor(0x1a, 0x52, 0x76), qMax<qreal>(1.0, s / 16.0)));
        p.setBrush(QColor(0x34, 0x98, 0xdb));
        p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
        QFont font;
        font.setBold(true);
        font.setPixelSize(qMax(8, static_cast<int>(s * 0.68)));
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, QStringLiteral("?"));
    }
}

void drawStopSign(QPainter& p, qreal s)
{
    QPolygonF octagon;
    const qreal a = s * 0.29, m = s * 0.04;
    octagon << QPointF(a + m, m) << QPointF(s - a - m, m) << QPointF(s - m, a + m)
            << QPointF(s - m, s - a - m) << QPointF(s - a - m, s - m) << QPointF(a + m, s - m)
            << QPointF(m, s - a - m) << QPointF(m, a + m);
    p.setPen(QPen(Qt::white, qMax<qreal>(1.0, s / 16.0)));
    p.setBrush(QColor(0xc0, 0x39, 0x2b));
    p.drawPolygon(octagon);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(s * 0.22, s * 0.42, s * 0.56, s * 0.16));
}

} // namespace

QIcon appIcon(AppIconKind kind)
{
    return iconFrom([kind](QPainter& p, qreal s) { drawAppIcon(p, s, kind); });
}

QIcon rowIcon(RowIcon icon)
{
    return iconFrom([icon](QPainter& p, qreal s) { drawRowIcon(p, s, icon); }, {16, 24, 32});
}

QIcon toolbarIcon(const QString& key)
{
    static const std::array<const char*, 6> keys{"NEWTASK",        "DELETETASK", "RUNTASK",
                                                 "TASKPROPERTIES", "VIEWLOG",    "HELP"};
    bool known = false;
    for (const char* k : keys)
        known = known || key == QLatin1String(k);
    if (!known)
        return {};
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        const QPixmap normal = render(size, [&key](QPainter& p, qreal s) { drawToolbarImage(p, s, key); });
        icon.addPixmap(normal, QIcon::Normal);
        icon.addPixmap(greyed(normal), QIcon::Disabled);
        icon.addPixmap(lighter(normal), QIcon::Active);
    }
    return icon;
}

QIcon stopSignIcon()
{
    return iconFrom(drawStopSign, {16, 24, 32});
}

QPixmap pausedBackground(int width, int height, const QColor& base)
{
    QPixmap pixmap(qMax(1, width), qMax(1, height));
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin<qreal>(qMin(width, height) * 0.45, 160.0);
    if (side < 24)
        return pixmap;
    const QColor ink = base.lightness() > 128 ? base.darker(118) : base.lighter(140);
    const QRectF bars((width - side * 0.6) / 2, (height - side) / 2 - side * 0.12, side * 0.6, side * 0.75);
    drawPauseBars(p, bars, ink);
    QFont font;
    font.setBold(true);
    font.setPixelSize(qMax(10, static_cast<int>(side * 0.16)));
    p.setFont(font);
    p.setPen(ink);
    p.drawText(QRectF(0, bars.bottom() + side * 0.05, width, side * 0.3), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("Scheduler Paused"));
    return pixmap;
}

} // namespace kestrow::gui

namespace kestrow::gui {

QIcon selectionFolderIcon(const QIcon& folder)
{
    QIcon icon;
    for (int size : {16, 22, 24, 32}) {
        icon.addPixmap(render(size, [&folder](QPainter& p, qreal s) {
            folder.paint(&p, QRect(0, 0, static_cast<int>(s), static_cast<int>(s)));
            const QRectF badge(s * 0.44, s * 0.44, s * 0.56, s * 0.56);
            drawBadgeCircle(p, badge, QColor(0x2e, 0x8b, 0x3a));
            QPainterPath tick;
            tick.moveTo(badge.left() + badge.width() * 0.24, badge.top() + badge.height() * 0.52);
            tick.lineTo(badge.left() + badge.width() * 0.43, badge.top() + badge.height() * 0.72);
            tick.lineTo(badge.left() + badge.width() * 0.78, badge.top() + badge.height() * 0.30);
            p.setPen(QPen(Qt::white, qMax<qreal>(1.5, s / 10.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(tick);
        }));
    }
    return icon;
}

} // namespace kestrow::gui
