#include "gui/addressbook/BookGlyphs.h"

#include "gui/addressbook/BookListModel.h"
#include "gui/shared/IconTable.h"

#include <QPainter>
#include <QPainterPath>

namespace norvi {

namespace {

const QColor kGlyphOutline = IconTable::kOutline;

void drawNew(QPainter& p) {
    p.drawPixmap(QRectF(1, 3, 18, 18), IconTable::pixmap(BookIcon::Member), QRectF(0, 0, 16, 16));
    p.setPen(QPen(kGlyphOutline, 0.8));
    p.setBrush(QColor(60, 170, 70));
    p.drawEllipse(QRectF(13, 1, 10, 10));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(18, 3.5), QPointF(18, 8.5));
    p.drawLine(QPointF(15.5, 6), QPointF(20.5, 6));
}

void drawContent(QPainter& p) {
    p.setPen(QPen(kGlyphOutline, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 2, 16, 20));
    p.setPen(QPen(QColor(70, 110, 190), 1.5));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(7, 7 + i * 4), QPointF(17, 7 + i * 4));
    p.setPen(QPen(kGlyphOutline, 1));
    p.setBrush(QColor(250, 214, 170));
    p.drawEllipse(QRectF(13, 13, 9, 9));
}

void drawDelete(QPainter& p) {
    p.setPen(QPen(QColor(200, 40, 40), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 5), QPointF(19, 19));
    p.drawLine(QPointF(19, 5), QPointF(5, 19));
}

void drawAction(QPainter& p) {
    p.setPen(QPen(kGlyphOutline, 1));
    p.setBrush(QColor(255, 245, 200));
    p.drawRect(QRectF(2, 6, 16, 12));
    p.drawLine(QPointF(2, 6), QPointF(10, 13));
    p.drawLine(QPointF(18, 6), QPointF(10, 13));
    QPainterPath arrow;
    arrow.moveTo(14, 15);
    arrow.lineTo(19, 15);
    arrow.lineTo(19, 12);
    arrow.lineTo(23, 17);
    arrow.lineTo(19, 22);
    arrow.lineTo(19, 19);
    arrow.lineTo(14, 19);
    arrow.closeSubpath();
    p.setBrush(QColor(60, 170, 70));
    p.drawPath(arrow);
}

} // namespace

QIcon bookGlyph(BookGlyph glyph) {
    static void (*const drawings[])(QPainter&) = {drawNew, drawContent, drawDelete, drawAction};
    return IconTable::drawnIcon(drawings[int(glyph)], 24, {24, 48});
}

} // namespace norvi
