#pragma once

#include <QPoint>
#include <QRect>
#include <QtGlobal>

class QPainter;

// Paints the enlarged preview of one display character: the seven rows of its 5x7 glyph as
// 10 x 10 squares in window coordinates, black for a set dot and white for a clear one. The
// squares touch, so the whole field is covered and nothing around it is painted: no frame, no
// background. The eighth row of a glyph is never drawn.
class GlyphPainter
{
public:
    // Centre of the dot in column 0, row 0.
    static constexpr QPoint Origin{362, 177};
    // Distance between dot centres, equal to the dot size so that neighbours touch.
    static constexpr int Pitch = 10;
    static constexpr qreal DotSize = 10.0;
    // Everything painted: from (357, 172) up to, not including, (407, 242).
    static constexpr QRect Field{357, 172, 50, 70};

    // Draws the glyph of code with antialiasing off, one pen per dot, in the painter's
    // current coordinate system.
    static void paint(QPainter &painter, quint8 code);

    // The centre of the dot in column 0..4 and row 0..6.
    static constexpr QPoint dotCentre(int column, int row)
    {
        return Origin + QPoint(Pitch * column, Pitch * row);
    }
};
