#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QTest>

namespace {

const QString IconResource = QStringLiteral(":/icons/vorn-tool.svg");

} // namespace

// The window's icon travels inside the program as a resource and is drawn by Qt's SVG
// plugins, which the linker does not see: a missing resource or a missing plugin package
// leaves the window with a blank icon and no error.
class WindowIconTest : public QObject
{
    Q_OBJECT

private slots:
    void svgPluginIsThere();
    void iconDrawsAtEverySize_data();
    void iconDrawsAtEverySize();
};

void WindowIconTest::svgPluginIsThere()
{
    QVERIFY2(QImageReader::supportedImageFormats().contains("svg"),
             "Qt's SVG image plugin is missing (Debian: libqt6svg6)");
}

void WindowIconTest::iconDrawsAtEverySize_data()
{
    QTest::addColumn<int>("size");
    // A title bar, a task bar, a launcher grid, a software centre.
    QTest::newRow("16") << 16;
    QTest::newRow("32") << 32;
    QTest::newRow("48") << 48;
    QTest::newRow("256") << 256;
}

// The reader's body fills the lower part of the square and the corners stay transparent, so
// a blank or a wrongly scaled drawing shows.
void WindowIconTest::iconDrawsAtEverySize()
{
    QFETCH(int, size);
    const QIcon icon(IconResource);
    QVERIFY2(!icon.isNull(), "no icon in the resources");

    const QImage image = icon.pixmap(size, size).toImage();
    QCOMPARE(image.size(), QSize(size, size));
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(size - 1, size - 1)), 0);
    const QRgb body = image.pixel(size / 8, size * 5 / 8);
    QCOMPARE(qAlpha(body), 255);
    QVERIFY2(qGray(body) < 128, "the reader's body is not drawn dark");
}

QTEST_MAIN(WindowIconTest)
#include "tst_windowicon.moc"
