#include "display/glyphpainter.h"

#include "display/fonttable.h"

#include <QBrush>
#include <QPainter>
#include <QPen>

namespace {

// A square cap of the dot's width turns a point into a filled square centred on it.
QPen dotPen(bool set)
{
    const QBrush brush(set ? Qt::black : Qt::white, Qt::SolidPattern);
    return QPen(brush, GlyphPainter::DotSize, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

} // namespace

void GlyphPainter::paint(QPainter &painter, quint8 code)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int column = 0; column < FontTable::Columns; ++column) {
        for (int row = 0; row < FontTable::Rows; ++row) {
            painter.setPen(dotPen(FontTable::dot(code, column, row)));
            const QPoint centre = dotCentre(column, row);
            painter.drawPoints(&centre, 1);
        }
    }
}
