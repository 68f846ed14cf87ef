#include "display/fonttable.h"

#include <QByteArray>
#include <QTest>

#include <algorithm>
#include <set>

namespace {

using CodeRange = std::pair<int, int>;

std::set<int> codesIn(std::initializer_list<CodeRange> ranges)
{
    std::set<int> codes;
    for (const auto &[first, last] : ranges)
        for (int code = first; code <= last; ++code)
            codes.insert(code);
    return codes;
}

QByteArray glyphBytes(int code)
{
    const FontTable::Glyph glyph = FontTable::glyph(quint8(code));
    return QByteArray(reinterpret_cast<const char *>(glyph.data()), glyph.size());
}

} // namespace

class FontTableTest : public QObject
{
    Q_OBJECT

private slots:
    void knownGlyphs_data();
    void knownGlyphs();
    void blankCodesAreExactlyTheListedOnes();
    void eighthRowUsedExactlyByTheListedCodes();
    void tableMatchesItsChecksum();
};

void FontTableTest::knownGlyphs_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("zero") << 0x30 << QByteArray::fromHex("3E5149453E");
    QTest::newRow("at sign") << 0x40 << QByteArray::fromHex("3E415D551E");
    QTest::newRow("A") << 0x41 << QByteArray::fromHex("7C1211127C");
    QTest::newRow("full block") << 0xDB << QByteArray::fromHex("FFFFFFFFFF");
    QTest::newRow("tilde") << 0x7E << QByteArray::fromHex("0804040808");
    QTest::newRow("C cedilla") << 0x80 << QByteArray::fromHex("1EA1E12112");
    QTest::newRow("last code") << 0xFF << QByteArray::fromHex("1C10780000");
}

void FontTableTest::knownGlyphs()
{
    QFETCH(int, code);
    QFETCH(QByteArray, bytes);
    QCOMPARE(glyphBytes(code).toHex(' '), bytes.toHex(' '));
}

void FontTableTest::blankCodesAreExactlyTheListedOnes()
{
    const std::set<int> blank = codesIn({{0x00, 0x20}, {0x7F, 0x7F}, {0x91, 0x92}, {0x9D, 0x9E}});
    for (int code = 0; code < FontTable::GlyphCount; ++code) {
        const bool isBlank = glyphBytes(code) == QByteArray(FontTable::Columns, '\0');
        QVERIFY2(isBlank == blank.contains(code), qPrintable(QString::number(code, 16)));
    }
}

void FontTableTest::eighthRowUsedExactlyByTheListedCodes()
{
    const std::set<int> withEighthRow = codesIn({{0x80, 0x80},
                                                 {0x87, 0x87},
                                                 {0xA9, 0xAA},
                                                 {0xB1, 0xBB},
                                                 {0xBF, 0xBF},
                                                 {0xC2, 0xC3},
                                                 {0xC5, 0xC7},
                                                 {0xC9, 0xC9},
                                                 {0xCB, 0xCC},
                                                 {0xCE, 0xCE},
                                                 {0xD1, 0xD2},
                                                 {0xD5, 0xD8},
                                                 {0xDA, 0xDE},
                                                 {0xF4, 0xF5}});
    for (int code = 0; code < FontTable::GlyphCount; ++code) {
        const FontTable::Glyph glyph = FontTable::glyph(quint8(code));
        const bool usesBit7 =
            std::any_of(glyph.begin(), glyph.end(), [](quint8 byte) { return byte & 0x80; });
        QVERIFY2(usesBit7 == withEighthRow.contains(code), qPrintable(QString::number(code, 16)));
    }
}

// Both values were worked out from the published font table by a separate script, so a
// mistyped byte anywhere in the 1280 shows up here even where no other test looks.
void FontTableTest::tableMatchesItsChecksum()
{
    const auto &table = FontTable::bytes();
    QCOMPARE(table.size(), std::size_t(1280));
    int sum = 0;
    for (const quint8 byte : table)
        sum += byte;
    QCOMPARE(sum, 64456);
    const QByteArrayView view(reinterpret_cast<const char *>(table.data()), table.size());
    QCOMPARE(qChecksum(view, Qt::ChecksumIso3309), quint16(0xD9F7));
}

QTEST_GUILESS_MAIN(FontTableTest)
#include "tst_fonttable.moc"
