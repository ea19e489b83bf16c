#include "gui/shared/IconTable.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <array>
#include <functional>

namespace norvi {

namespace {

using Draw = IconTable::Draw;

// Every picture is drawn in a `units` x `units` design square and scaled to the size asked for, so one
// drawing serves the list (16) and a high-density screen (32) alike.
QPixmap render(const Draw& draw, int units, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform); // a glyph may draw a list icon into itself
    p.scale(qreal(size) / units, qreal(size) / units);
    draw(p);
    return pm;
}

const QColor kOutline = IconTable::kOutline;

void person(QPainter& p, qreal x, qreal y, qreal s, const QColor& body) {
    // Head and shoulders in a square of side s with its top left at (x, y).
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(body);
    QPainterPath shoulders;
    shoulders.moveTo(x + s * 0.08, y + s);
    shoulders.cubicTo(x + s * 0.08, y + s * 0.55, x + s * 0.92, y + s * 0.55, x + s * 0.92, y + s);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
    p.setBrush(QColor(250, 214, 170));
    p.drawEllipse(QRectF(x + s * 0.28, y + s * 0.06, s * 0.44, s * 0.44));
}

void sheet(QPainter& p, const QRectF& r, int lines) {
    const qreal fold = r.width() * 0.3;
    QPainterPath page;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.setPen(QPen(kOutline, r.width() / 12));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(220, 220, 220));
    p.drawPolygon(QPolygonF({QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold),
                             QPointF(r.right(), r.top() + fold)}));
    p.setPen(QPen(QColor(70, 110, 190), r.width() / 12));
    const qreal step = (r.height() - fold) / (lines + 1);
    for (int i = 1; i <= lines; ++i) {
        const qreal y = r.top() + fold + step * i - step / 3;
        p.drawLine(QPointF(r.left() + r.width() * 0.18, y), QPointF(r.right() - r.width() * 0.18, y));
    }
}

void clock(QPainter& p, const QPointF& c, qreal radius) {
    p.setPen(QPen(kOutline, radius / 6));
    p.setBrush(Qt::white);
    p.drawEllipse(c, radius, radius);
    p.setPen(QPen(QColor(200, 40, 40), radius / 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, c + QPointF(0, -radius * 0.7));
    p.setPen(QPen(kOutline, radius / 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, c + QPointF(radius * 0.5, radius * 0.15));
}

// ---- the list images, 16 units ----

void drawAdrBkRoot(QPainter& p) {
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(QColor(60, 120, 200));
    p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1, 1);
    p.setBrush(QColor(30, 70, 140));
    p.drawRect(QRectF(2.5, 1.5, 2, 13));
    person(p, 6, 4, 6.5, QColor(255, 255, 255));
}

void drawMember(QPainter& p) {
    person(p, 1.5, 1, 13, QColor(70, 130, 210));
}

void drawGroup(QPainter& p) {
    person(p, 6, 0.5, 9.5, QColor(80, 170, 90));
    person(p, 0.5, 5, 10.5, QColor(70, 130, 210));
}

void drawDefaultNumber(QPainter& p) {
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const qreal radius = (i % 2) ? 3.2 : 7.2;
        const qreal angle = -M_PI / 2 + i * M_PI / 5;
        star << QPointF(8 + radius * qCos(angle), 8.5 + radius * qSin(angle));
    }
    p.setPen(QPen(QColor(170, 110, 0), 0.8));
    p.setBrush(QColor(255, 200, 40));
    p.drawPolygon(star);
}

void drawTypedNumber(QPainter& p) {
    p.setPen(QPen(kOutline, 0.8));
    p.setBrush(QColor(90, 90, 100));
    p.drawRoundedRect(QRectF(3.5, 0.5, 9, 15), 1.5, 1.5);
    p.setBrush(QColor(170, 220, 240));
    p.drawRect(QRectF(5, 2, 6, 3.5));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRect(QRectF(5 + col * 2.2, 7 + row * 2.5, 1.5, 1.5));
}

void drawListRow(QPainter& p) {
    sheet(p, QRectF(2.5, 1, 11, 14), 3);
}

void drawReservation(QPainter& p) {
    clock(p, QPointF(8, 8), 6.8);
}

// ---- the tool-bar glyphs, 32 units ----

void drawEnvelope(QPainter& p, const QRectF& r) {
    p.setPen(QPen(kOutline, 1.4));
    p.setBrush(QColor(255, 250, 230));
    p.drawRect(r);
    p.drawPolyline(QPolygonF({r.topLeft(), QPointF(r.center().x(), r.center().y() + 1), r.topRight()}));
}

void drawSendSMS(QPainter& p) {
    drawEnvelope(p, QRectF(2, 8, 22, 16));
    QPainterPath arrow;
    arrow.moveTo(18, 15);
    arrow.lineTo(24, 15);
    arrow.lineTo(24, 10);
    arrow.lineTo(31, 18.5);
    arrow.lineTo(24, 27);
    arrow.lineTo(24, 22);
    arrow.lineTo(18, 22);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(20, 110, 40), 1.2));
    p.setBrush(QColor(60, 180, 80));
    p.drawPath(arrow);
}

void drawQuerySMS(QPainter& p) {
    drawEnvelope(p, QRectF(1.5, 5, 20, 14));
    p.setPen(QPen(QColor(110, 70, 30), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(23, 23), QPointF(29.5, 29.5));
    p.setPen(QPen(kOutline, 2));
    p.setBrush(QColor(200, 230, 255, 220));
    p.drawEllipse(QPointF(19, 19), 7, 7);
}

void drawCancelSMS(QPainter& p) {
    clock(p, QPointF(14, 15), 12);
    p.setPen(QPen(QColor(210, 30, 30), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(20, 20), QPointF(29, 29));
    p.drawLine(QPointF(29, 20), QPointF(20, 29));
}

void drawSave(QPainter& p) {
    p.setPen(QPen(kOutline, 1.4));
    p.setBrush(QColor(50, 90, 170));
    QPainterPath disk;
    disk.moveTo(3, 3);
    disk.lineTo(25, 3);
    disk.lineTo(29, 7);
    disk.lineTo(29, 29);
    disk.lineTo(3, 29);
    disk.closeSubpath();
    p.drawPath(disk);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 17, 18, 12));
    p.setBrush(QColor(200, 200, 210));
    p.drawRect(QRectF(9, 3, 13, 8));
    p.setBrush(QColor(50, 90, 170));
    p.drawRect(QRectF(17, 4.5, 3, 5));
}

void drawLoad(QPainter& p) {
    p.setPen(QPen(QColor(150, 100, 10), 1.4));
    p.setBrush(QColor(230, 180, 60));
    QPainterPath back;
    back.moveTo(2, 7);
    back.lineTo(11, 7);
    back.lineTo(13, 10);
    back.lineTo(25, 10);
    back.lineTo(25, 27);
    back.lineTo(2, 27);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(QColor(255, 215, 100));
    p.drawPolygon(QPolygonF({QPointF(2, 27), QPointF(7, 15), QPointF(30, 15), QPointF(25, 27)}));
}

void drawAdrBk(QPainter& p) {
    p.setPen(QPen(kOutline, 1.4));
    p.setBrush(QColor(60, 120, 200));
    p.drawRoundedRect(QRectF(5, 2, 22, 28), 2, 2);
    p.setBrush(QColor(30, 70, 140));
    p.drawRect(QRectF(5, 2, 4, 28));
    p.setPen(QPen(kOutline, 1));
    for (int i = 0; i < 4; ++i) {
        p.setBrush(QColor(230, 230, 230));
        p.drawRect(QRectF(27, 5 + i * 6, 3, 4));
    }
    person(p, 11.5, 8, 13, Qt::white);
}

void drawSettings(QPainter& p) {
    QPainterPath gear;
    const QPointF c(16, 16);
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal a0 = i * M_PI / teeth;
        const qreal a1 = (i + 1) * M_PI / teeth;
        const qreal r = (i % 2) ? 10.5 : 14;
        const QPointF p0 = c + QPointF(r * qCos(a0 + 0.08), r * qSin(a0 + 0.08));
        const QPointF p1 = c + QPointF(r * qCos(a1 - 0.08), r * qSin(a1 - 0.08));
        if (i == 0)
            gear.moveTo(p0);
        else
            gear.lineTo(p0);
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    gear.addEllipse(c, 4.5, 4.5);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(QColor(150, 155, 165));
    p.drawPath(gear);
}

void drawMsgWin(QPainter& p) {
    p.setPen(QPen(kOutline, 1.4));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2, 4, 28, 24));
    p.setBrush(QColor(50, 100, 190));
    p.drawRect(QRectF(2, 4, 28, 5));
    p.setPen(QPen(QColor(90, 90, 90), 1.6));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(6, 13 + i * 4), QPointF(i % 2 ? 20 : 26, 13 + i * 4));
}

void drawAbout(QPainter& p) {
    p.setPen(QPen(QColor(20, 60, 140), 1.4));
    p.setBrush(QColor(50, 110, 210));
    p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 9.5), 2.3, 2.3);
    p.drawRoundedRect(QRectF(13.8, 13.5, 4.4, 11.5), 1.2, 1.2);
}

void drawProgram(QPainter& p) {
    // A telephone handset's message: a speech bubble with three dots.
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(2, 4, 28, 19), 6, 6);
    QPainterPath tail;
    tail.moveTo(9, 21);
    tail.lineTo(7, 29);
    tail.lineTo(16, 22);
    tail.closeSubpath();
    p.setPen(QPen(QColor(20, 90, 40), 1.4));
    p.setBrush(QColor(70, 180, 90));
    p.drawPath(bubble.united(tail));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(10 + i * 6, 13.5), 2.2, 2.2);
}

Draw listDrawing(int index) {
    switch (index) {
    case 4:
        return drawAdrBkRoot;
    case 11:
        return drawMember;
    case 12:
        return drawGroup;
    case 13:
        return drawDefaultNumber;
    case 14:
        return drawTypedNumber;
    case 15:
        return drawListRow;
    case 16:
        return drawReservation;
    default:
        return nullptr;
    }
}

} // namespace

QIcon IconTable::drawnIcon(const Draw& draw, int units, std::initializer_list<int> sizes) {
    QIcon icon;
    for (int size : sizes)
        icon.addPixmap(render(draw, units, size));
    return icon;
}

QIcon IconTable::icon(int index) {
    // Drawn once, on the first call, and never changed after.
    static const std::array<QIcon, kCount> icons = [] {
        std::array<QIcon, kCount> drawn;
        for (int i = 0; i < kCount; ++i)
            if (const Draw draw = listDrawing(i))
                drawn[std::size_t(i)] = drawnIcon(draw, 16, {16, 32});
        return drawn;
    }();
    if (index < 0 || index >= kCount)
        return QIcon();
    return icons[std::size_t(index)];
}

QPixmap IconTable::pixmap(int index) {
    const Draw draw = listDrawing(index);
    return draw ? render(draw, 16, 16) : QPixmap();
}

QIcon IconTable::glyph(Glyph g) {
    static const Draw drawings[] = {drawSendSMS, drawQuerySMS, drawCancelSMS, drawSave, drawLoad,
                                    drawAdrBk,   drawSettings, drawMsgWin,    drawAbout};
    return drawnIcon(drawings[g], 32, {32, 64});
}

QIcon IconTable::programIcon() {
    return drawnIcon(drawProgram, 32, {16, 32, 64});
}

void IconTable::paintProgramIcon(QPainter& painter, qreal size) {
    painter.save();
    painter.scale(size / 32, size / 32);
    drawProgram(painter);
    painter.restore();
}

} // namespace norvi
