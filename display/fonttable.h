#pragma once

#include <QtGlobal>

#include <array>

// The reader's 5x7 font: 256 glyphs in code order, five column bytes each, with no header or gap.
// Column byte 0 is the leftmost column; in a column byte bit 0 is the top row and bit 6 the
// bottom row. Bit 7 belongs to an eighth row below the matrix that the reader has but the
// preview does not show.
class FontTable
{
public:
    static constexpr int GlyphCount = 256;
    static constexpr int Columns = 5;
    static constexpr int Rows = 7;
    static constexpr int Size = GlyphCount * Columns;

    using Glyph = std::array<quint8, Columns>;

    // All 1280 bytes; the glyph of code c is bytes 5c to 5c+4.
    static const std::array<quint8, Size> &bytes();

    static Glyph glyph(quint8 code);

    // Whether the dot in column 0..4 and row 0..6 of the glyph is set.
    static bool dot(quint8 code, int column, int row);
};
