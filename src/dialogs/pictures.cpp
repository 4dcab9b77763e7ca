#include "dialogs/pictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace {

// A transparent pixmap of `size` logical pixels, painted by `draw` in logical coordinates.
QPixmap Paint(int size, const std::function<void(QPainter&)>& draw) {
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(int(size * ratio + 0.5), int(size * ratio + 0.5));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return pixmap;
}

QPen Outline(const QColor& color) {
    QPen pen(color, 1.0);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

} // namespace

QPixmap ComputerPicture() {
    return Paint(32, [](QPainter& p) {
        // Monitor.
        p.setPen(Outline(QColor(70, 70, 80)));
        p.setBrush(QColor(214, 214, 206));
        p.drawRoundedRect(QRectF(3.5, 2.5, 25, 19), 2, 2);
        QLinearGradient glass(0, 5, 0, 18);
        glass.setColorAt(0, QColor(90, 160, 230));
        glass.setColorAt(1, QColor(20, 70, 150));
        p.setBrush(glass);
        p.setPen(Outline(QColor(50, 50, 60)));
        p.drawRect(QRectF(6.5, 5.5, 19, 13));
        // Stand and keyboard.
        p.setPen(Outline(QColor(70, 70, 80)));
        p.setBrush(QColor(190, 190, 182));
        p.drawRect(QRectF(13.5, 21.5, 5, 3));
        p.drawRoundedRect(QRectF(2.5, 25.5, 27, 5), 1.5, 1.5);
        p.setPen(QPen(QColor(120, 120, 125), 1));
        for (int x = 5; x <= 26; x += 3)
            p.drawPoint(QPointF(x + 0.5, 28));
    });
}

QPixmap ServerPicture() {
    return Paint(32, [](QPainter& p) {
        QLinearGradient body(6, 0, 26, 0);
        body.setColorAt(0, QColor(150, 150, 160));
        body.setColorAt(1, QColor(95, 95, 108));
        p.setPen(Outline(QColor(45, 45, 55)));
        p.setBrush(body);
        p.drawRoundedRect(QRectF(7.5, 1.5, 17, 29), 2, 2);
        // Drive bays, each with a light.
        for (int i = 0; i < 3; ++i) {
            const qreal y = 4.5 + i * 6;
            p.setPen(Outline(QColor(40, 40, 48)));
            p.setBrush(QColor(60, 60, 70));
            p.drawRect(QRectF(10.5, y, 11, 4));
            p.setPen(Qt::NoPen);
            p.setBrush(i == 0 ? QColor(80, 230, 90) : QColor(240, 190, 40));
            p.drawEllipse(QPointF(19.5, y + 2), 1.2, 1.2);
        }
        // Vents.
        p.setPen(QPen(QColor(55, 55, 65), 1));
        for (qreal y = 23.5; y <= 27.5; y += 2)
            p.drawLine(QPointF(11, y), QPointF(21, y));
    });
}

QPixmap MarkerPicture() {
    return Paint(16, [](QPainter& p) {
        QPainterPath sheet;
        sheet.moveTo(2.5, 1.5);
        sheet.lineTo(9.5, 1.5);
        sheet.lineTo(12.5, 4.5);
        sheet.lineTo(12.5, 14.5);
        sheet.lineTo(2.5, 14.5);
        sheet.closeSubpath();
        p.setPen(Outline(QColor(90, 90, 100)));
        p.setBrush(Qt::white);
        p.drawPath(sheet);
        QPainterPath arrow;
        arrow.moveTo(8, 4);
        arrow.lineTo(13.5, 9.5);
        arrow.lineTo(10.5, 9.5);
        arrow.lineTo(10.5, 14.5);
        arrow.lineTo(5.5, 14.5);
        arrow.lineTo(5.5, 9.5);
        arrow.lineTo(2.5, 9.5);
        arrow.closeSubpath();
        p.setPen(Outline(QColor(10, 60, 150)));
        p.setBrush(QColor(40, 120, 230));
        p.drawPath(arrow);
    });
}

QPixmap WarningPicture() {
    return Paint(32, [](QPainter& p) {
        QPainterPath triangle;
        triangle.moveTo(16, 2.5);
        triangle.lineTo(30, 28.5);
        triangle.lineTo(2, 28.5);
        triangle.closeSubpath();
        QLinearGradient fill(0, 3, 0, 29);
        fill.setColorAt(0, QColor(255, 225, 80));
        fill.setColorAt(1, QColor(240, 175, 0));
        QPen edge(QColor(110, 75, 0), 1.5);
        edge.setJoinStyle(Qt::RoundJoin);
        p.setPen(edge);
        p.setBrush(fill);
        p.drawPath(triangle);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 30, 30));
        QPainterPath bar;
        bar.moveTo(14.2, 10);
        bar.lineTo(17.8, 10);
        bar.lineTo(16.9, 20.5);
        bar.lineTo(15.1, 20.5);
        bar.closeSubpath();
        p.drawPath(bar);
        p.drawEllipse(QPointF(16, 24.2), 1.9, 1.9);
    });
}

QPixmap ListViewPicture() {
    return Paint(16, [](QPainter& p) {
        for (int column = 0; column < 2; ++column)
            for (int row = 0; row < 3; ++row) {
                const qreal x = 1.5 + column * 7, y = 2.5 + row * 4;
                p.setPen(Outline(QColor(30, 80, 160)));
                p.setBrush(QColor(120, 170, 235));
                p.drawRect(QRectF(x, y, 2, 2));
                p.setPen(QPen(QColor(40, 40, 40), 1));
                p.drawLine(QPointF(x + 3.5, y + 1), QPointF(x + 6, y + 1));
            }
    });
}

QPixmap DetailViewPicture() {
    return Paint(16, [](QPainter& p) {
        for (int row = 0; row < 4; ++row) {
            const qreal y = 1.5 + row * 3.5;
            p.setPen(Outline(QColor(30, 80, 160)));
            p.setBrush(QColor(120, 170, 235));
            p.drawRect(QRectF(1.5, y, 2, 2));
            p.setPen(QPen(QColor(40, 40, 40), 1));
            p.drawLine(QPointF(5, y + 1), QPointF(9, y + 1));
            p.drawLine(QPointF(10.5, y + 1), QPointF(14.5, y + 1));
        }
    });
}
