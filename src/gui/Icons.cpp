#include "gui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace kaldrani::gui {

namespace {

const QColor kGreen(102, 153, 102);
const QColor kBlue(40, 90, 170);
const QColor kDark(60, 60, 60);

QIcon paintIcon(int size, const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    draw(p);
    p.end();
    return QIcon(pixmap);
}

QIcon paint16(const std::function<void(QPainter&)>& draw)
{
    QIcon icon = paintIcon(16, draw);
    icon.addPixmap(paintIcon(32, draw).pixmap(32, 32));
    return icon;
}

void drawHouse(QPainter& p)
{
    p.setPen(QPen(kDark, 1));
    p.setBrush(QColor(220, 120, 60));
    p.drawPolygon(QPolygonF({QPointF(1.5, 8), QPointF(8, 1.5), QPointF(14.5, 8)}));
    p.setBrush(QColor(240, 230, 200));
    p.drawRect(QRectF(3.5, 8, 9, 6.5));
    p.setBrush(kGreen);
    p.drawRect(QRectF(7, 10.5, 2.5, 4));
}

void drawInfo(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(7, 3.5, 2, 2));
    p.drawRect(QRectF(7, 7, 2, 6));
}

} // namespace

QIcon toolIcon(int n)
{
    switch (n) {
    case 0: // the site list
        return paint16([](QPainter& p) {
            p.setPen(QPen(kDark, 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(2.5, 1.5, 11, 13));
            p.setPen(QPen(kGreen, 1.5));
            for (double y : {5.0, 8.0, 11.0})
                p.drawLine(QPointF(5, y), QPointF(11, y));
        });
    case 1: // the history: a clock
        return paint16([](QPainter& p) {
            p.setPen(QPen(kDark, 1));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.setPen(QPen(kBlue, 1.5));
            p.drawLine(QPointF(8, 8), QPointF(8, 4));
            p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
        });
    case 2: // whois: a globe
        return paint16([](QPainter& p) {
            p.setPen(QPen(kBlue, 1));
            p.setBrush(QColor(200, 225, 250));
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(5, 1.5, 6, 13));
            p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
        });
    case 3: // IP: three linked nodes
        return paint16([](QPainter& p) {
            p.setPen(QPen(kDark, 1.2));
            p.drawLine(QPointF(8, 4), QPointF(3.5, 12));
            p.drawLine(QPointF(8, 4), QPointF(12.5, 12));
            p.drawLine(QPointF(3.5, 12), QPointF(12.5, 12));
            p.setPen(Qt::NoPen);
            p.setBrush(kGreen);
            for (QPointF c : {QPointF(8, 4), QPointF(3.5, 12), QPointF(12.5, 12)})
                p.drawEllipse(c, 2.8, 2.8);
        });
    case 4:
        return paint16(drawHouse);
    case 5:
        return paint16(drawInfo);
    case 6: // keyword ranking: a magnifier
        return paint16([](QPainter& p) {
            p.setPen(QPen(kDark, 1.5));
            p.setBrush(QColor(220, 240, 220));
            p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
            p.setPen(QPen(kDark, 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
        });
    case 7: // bulk mail: an envelope
        return paint16([](QPainter& p) {
            p.setPen(QPen(kDark, 1));
            p.setBrush(QColor(250, 245, 220));
            p.drawRect(QRectF(1.5, 3.5, 13, 9));
            p.drawPolyline(QPolygonF({QPointF(1.5, 3.5), QPointF(8, 9), QPointF(14.5, 3.5)}));
        });
    default:
        return QIcon();
    }
}

QIcon appIcon()
{
    const auto draw = [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 9, 2.5, 4));
        p.drawRect(QRectF(6.75, 6, 2.5, 7));
        p.drawRect(QRectF(10.5, 3, 2.5, 10));
    };
    QIcon icon = paintIcon(16, draw);
    for (int size : {22, 32, 48, 64})
        icon.addPixmap(paintIcon(size, draw).pixmap(size, size));
    return icon;
}

QIcon menuIcon(MenuIcon which)
{
    switch (which) {
    case MenuIcon::Open:
        return paint16([](QPainter& p) {
            p.setPen(QPen(kDark, 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(1.5, 2.5, 13, 11));
            p.setBrush(kBlue);
            p.drawRect(QRectF(1.5, 2.5, 13, 3));
        });
    case MenuIcon::Visit:
        return paint16(drawHouse);
    case MenuIcon::About:
        return paint16(drawInfo);
    case MenuIcon::Upgrade:
        return paint16([](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(kGreen);
            p.drawPolygon(QPolygonF({QPointF(8, 1.5), QPointF(14.5, 8), QPointF(10.5, 8), QPointF(10.5, 14.5),
                                     QPointF(5.5, 14.5), QPointF(5.5, 8), QPointF(1.5, 8)}));
        });
    case MenuIcon::Schedule:
        return paint16([](QPainter& p) {
            p.setPen(QPen(kDark, 1));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.setPen(QPen(kBlue, 1.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8, 8), QPointF(8, 4));
            p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
        });
    case MenuIcon::Parallel:
        return paint16([](QPainter& p) {
            p.setPen(QPen(kBlue, 2, Qt::SolidLine, Qt::RoundCap));
            for (const double y : {4.0, 8.0, 12.0})
                p.drawLine(QPointF(2.5, y), QPointF(13.5, y));
        });
    case MenuIcon::Quit:
        return paint16([](QPainter& p) {
            p.setPen(QPen(QColor(190, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
            p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        });
    }
    return QIcon();
}

} // namespace kaldrani::gui
