#include "display/fonttable.h"
#include "display/glyphpainter.h"

#include <QImage>
#include <QPainter>
#include <QTest>

namespace {

// The window's size; a grey that the preview never paints shows every pixel it leaves alone.
constexpr QSize WindowSize{450, 343};
const QRgb Untouched = qRgb(0x80, 0x80, 0x80);
const QRgb Black = qRgb(0, 0, 0);
const QRgb White = qRgb(0xFF, 0xFF, 0xFF);

QImage paintPreview(quint8 code)
{
    QImage image(WindowSize, QImage::Format_RGB32);
    image.fill(Untouched);
    QPainter painter(&image);
    // The window's painter may come with smoothing on; the preview must still be crisp.
    painter.setRenderHint(QPainter::Antialiasing, true);
    GlyphPainter::paint(painter, code);
    painter.end();
    return image;
}

QRgb dotColour(const QImage &image, int column, int row)
{
    return image.pixel(GlyphPainter::dotCentre(column, row));
}

// Compares every pixel of the image with what the glyph should look like: inside the field a
// 10 x 10 square per dot, black or white, and the untouched grey everywhere else.
bool matchesGlyph(const QImage &image, quint8 code, QString *mismatch)
{
    const QRect field = GlyphPainter::Field;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            QRgb expected = Untouched;
            if (field.contains(x, y)) {
                const int column = (x - field.left()) / GlyphPainter::Pitch;
                const int row = (y - field.top()) / GlyphPainter::Pitch;
                expected = FontTable::dot(code, column, row) ? Black : White;
            }
            if (image.pixel(x, y) != expected) {
                *mismatch = QStringLiteral("code %1 pixel (%2, %3): %4 instead of %5")
                                .arg(code)
                                .arg(x)
                                .arg(y)
                                .arg(image.pixel(x, y), 0, 16)
                                .arg(expected, 0, 16);
                return false;
            }
        }
    }
    return true;
}

} // namespace

class GlyphPainterTest : public QObject
{
    Q_OBJECT

private slots:
    void everyCodeIsPaintedPixelExact();
    void atSignDots();
    void uniformGlyphs_data();
    void uniformGlyphs();
    void zeroHasRisingDiagonal();
    void eighthRowIsNeverDrawn();
};

void GlyphPainterTest::everyCodeIsPaintedPixelExact()
{
    for (int code = 0; code < FontTable::GlyphCount; ++code) {
        QString mismatch;
        QVERIFY2(matchesGlyph(paintPreview(quint8(code)), quint8(code), &mismatch),
                 qPrintable(mismatch));
    }
}

void GlyphPainterTest::atSignDots()
{
    // 3E 41 5D 55 1E, rows top to bottom, columns left to right.
    const QStringList rows{".###.", "#...#", "#.###", "#.#.#", "#.###", "#....", ".###."};
    const QImage image = paintPreview(0x40);
    for (int row = 0; row < FontTable::Rows; ++row)
        for (int column = 0; column < FontTable::Columns; ++column)
            QCOMPARE(dotColour(image, column, row),
                     rows[row][column] == QLatin1Char('#') ? Black : White);
}

void GlyphPainterTest::uniformGlyphs_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QRgb>("colour");
    QTest::newRow("code 0 is all white") << 0x00 << White;
    QTest::newRow("space is all white") << 0x20 << White;
    QTest::newRow("full block is all black") << 0xDB << Black;
}

void GlyphPainterTest::uniformGlyphs()
{
    QFETCH(int, code);
    QFETCH(QRgb, colour);
    const QImage image = paintPreview(quint8(code));
    const QImage field = image.copy(GlyphPainter::Field);
    QImage expected(field.size(), QImage::Format_RGB32);
    expected.fill(colour);
    QCOMPARE(field, expected);
}

void GlyphPainterTest::zeroHasRisingDiagonal()
{
    const QImage image = paintPreview(0x30);
    QCOMPARE(dotColour(image, 1, 4), Black);
    QCOMPARE(dotColour(image, 2, 3), Black);
    QCOMPARE(dotColour(image, 3, 2), Black);
    // and not the other way round
    QCOMPARE(dotColour(image, 1, 2), White);
    QCOMPARE(dotColour(image, 3, 4), White);
}

void GlyphPainterTest::eighthRowIsNeverDrawn()
{
    // The C cedilla (1E A1 E1 21 12) has its cedilla in bit 7 of columns 1 and 2.
    const QImage image = paintPreview(0x80);
    const QRect below(GlyphPainter::Field.left(), GlyphPainter::Field.bottom() + 1,
                      GlyphPainter::Field.width(), GlyphPainter::Pitch);
    for (int y = below.top(); y <= below.bottom(); ++y)
        for (int x = below.left(); x <= below.right(); ++x)
            QCOMPARE(image.pixel(x, y), Untouched);
    QCOMPARE(dotColour(image, 2, 6), Black); // bit 6 of E1 is still shown
    QCOMPARE(dotColour(image, 1, 6), White);
}

QTEST_GUILESS_MAIN(GlyphPainterTest)
#include "tst_glyphpainter.moc"
