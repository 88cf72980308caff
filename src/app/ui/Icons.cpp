#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <functional>

namespace vx::icons {

namespace {

using TDraw = std::function<void(QPainter&)>;

// Every picture is drawn on a 32 x 32 grid and rendered at the sizes a tool button asks for.
QPixmap Render(int ASize, const TDraw& ADraw) {
    QPixmap pixmap(ASize, ASize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(ASize / 32.0, ASize / 32.0);
    ADraw(painter);
    return pixmap;
}

QIcon Make(const TDraw& ADraw) {
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addPixmap(Render(size, ADraw));
    return icon;
}

const QColor Outline(60, 60, 60);
const QColor Paper(250, 250, 250);
const QColor Green(46, 160, 67);
const QColor Red(207, 34, 46);
const QColor Blue(33, 110, 200);

// A sheet of paper with a folded corner.
void Document(QPainter& APainter, qreal AX, qreal AY) {
    QPainterPath sheet;
    sheet.moveTo(AX, AY);
    sheet.lineTo(AX + 14, AY);
    sheet.lineTo(AX + 20, AY + 6);
    sheet.lineTo(AX + 20, AY + 25);
    sheet.lineTo(AX, AY + 25);
    sheet.closeSubpath();
    APainter.setPen(QPen(Outline, 1.5));
    APainter.setBrush(Paper);
    APainter.drawPath(sheet);
    APainter.drawLine(QPointF(AX + 14, AY), QPointF(AX + 14, AY + 6));
    APainter.drawLine(QPointF(AX + 14, AY + 6), QPointF(AX + 20, AY + 6));
    // A strip of film on the sheet: what the program works on.
    APainter.setPen(Qt::NoPen);
    APainter.setBrush(Blue);
    APainter.drawRect(QRectF(AX + 4, AY + 10, 12, 9));
}

// A round badge in the lower right corner holding a sign.
void Badge(QPainter& APainter, const QColor& AColor, bool APlus) {
    APainter.setPen(QPen(Qt::white, 1.5));
    APainter.setBrush(AColor);
    APainter.drawEllipse(QPointF(23, 23), 8, 8);
    APainter.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    APainter.drawLine(QPointF(19, 23), QPointF(27, 23));
    if (APlus)
        APainter.drawLine(QPointF(23, 19), QPointF(23, 27));
}

void Triangle(QPainter& APainter, const QColor& AColor) {
    APainter.setPen(Qt::NoPen);
    APainter.setBrush(AColor);
    APainter.drawPolygon(QPolygonF({QPointF(9, 5), QPointF(27, 16), QPointF(9, 27)}));
}

} // namespace

QIcon AddFile() {
    return Make([](QPainter& p) {
        Document(p, 3, 2);
        Badge(p, Green, true);
    });
}

QIcon RemoveFile() {
    return Make([](QPainter& p) {
        Document(p, 3, 2);
        Badge(p, Red, false);
    });
}

QIcon ClearAll() {
    return Make([](QPainter& p) {
        Document(p, 8, 1);
        Document(p, 3, 5);
        p.setPen(QPen(Red, 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(17, 17), QPointF(29, 29));
        p.drawLine(QPointF(29, 17), QPointF(17, 29));
    });
}

QIcon StopConvert() {
    return Make([](QPainter& p) {
        // An octagon, the stop sign everybody knows.
        QPolygonF octagon;
        for (const QPointF& point : {QPointF(11, 2), QPointF(21, 2), QPointF(30, 11), QPointF(30, 21),
                                     QPointF(21, 30), QPointF(11, 30), QPointF(2, 21), QPointF(2, 11)})
            octagon << point;
        p.setPen(QPen(Qt::white, 1.5));
        p.setBrush(Red);
        p.drawPolygon(octagon);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(8, 14, 16, 4));
    });
}

QIcon GoConvert() {
    return Make([](QPainter& p) {
        p.setPen(QPen(Green.darker(130), 1.5));
        p.setBrush(Green);
        p.drawEllipse(QPointF(16, 16), 14, 14);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(12, 8), QPointF(24, 16), QPointF(12, 24)}));
    });
}

QIcon Folder() {
    return Make([](QPainter& p) {
        p.setPen(QPen(QColor(150, 110, 20), 1.5));
        p.setBrush(QColor(240, 190, 60));
        QPainterPath back;
        back.moveTo(2, 7);
        back.lineTo(12, 7);
        back.lineTo(15, 10);
        back.lineTo(30, 10);
        back.lineTo(30, 27);
        back.lineTo(2, 27);
        back.closeSubpath();
        p.drawPath(back);
        p.setBrush(QColor(250, 210, 90));
        p.drawRect(QRectF(2, 14, 28, 13));
    });
}

QIcon Play() {
    return Make([](QPainter& p) { Triangle(p, Green); });
}

QIcon Pause() {
    return Make([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(Blue);
        p.drawRect(QRectF(8, 6, 6, 20));
        p.drawRect(QRectF(18, 6, 6, 20));
    });
}

QIcon Stop() {
    return Make([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(Red);
        p.drawRect(QRectF(7, 7, 18, 18));
    });
}

QIcon Application() {
    return Make([](QPainter& p) {
        // A film frame with a turning arrow: pictures go in and come out converted.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 44, 52));
        p.drawRoundedRect(QRectF(1, 4, 30, 24), 3, 3);
        p.setBrush(Qt::white);
        for (int i = 0; i < 5; ++i) {
            p.drawRect(QRectF(3 + i * 6, 6, 3, 2));
            p.drawRect(QRectF(3 + i * 6, 24, 3, 2));
        }
        p.setBrush(Blue);
        p.drawRect(QRectF(3, 10, 26, 12));
        p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(10, 11, 12, 10), 30 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(20, 10), QPointF(24, 14), QPointF(18, 15)}));
    });
}

QPixmap ViewSwitch() {
    QPixmap pixmap(10, 10);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    // Two arrows pointing at each other's place: "show the other settings".
    p.setPen(Qt::NoPen);
    p.setBrush(Blue);
    p.drawPolygon(QPolygonF({QPointF(0, 4), QPointF(5, 0), QPointF(5, 4)}));
    p.drawRect(QRectF(3, 2, 7, 2));
    p.setBrush(Green);
    p.drawPolygon(QPolygonF({QPointF(10, 6), QPointF(5, 10), QPointF(5, 6)}));
    p.drawRect(QRectF(0, 6, 7, 2));
    return pixmap;
}

} // namespace vx::icons
