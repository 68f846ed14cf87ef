#include "packaging/windowicon.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTest>

// The window carries its icon as pictures drawn from its SVG when it was built, by Qt's SVG
// plugin, which the linker does not see: a missing plugin at the build, a picture drawn blank or
// at the wrong size, or a resource lost leaves the window with a blank icon and no error.
class WindowIconTest : public QObject
{
    Q_OBJECT

private slots:
    void iconLoadsNoImagePlugin();
    void svgPluginIsThere();
    void iconDrawsAtEverySize_data();
    void iconDrawsAtEverySize();
};

// First, before anything in this program has read a picture.
void WindowIconTest::iconLoadsNoImagePlugin()
{
    // The window's start reads its icon without the image plugins and their libraries.
    QVERIFY(!WindowIcon::of(QStringLiteral("vorn-tool")).isNull());
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    QVERIFY2(!mapped.contains("imageformats/"), "an image plugin was loaded for the icon");
}

void WindowIconTest::svgPluginIsThere()
{
    // The desktop entries name the SVG itself.
    QVERIFY2(QImageReader::supportedImageFormats().contains("svg"),
             "Qt's SVG image plugin is missing (Debian: libqt6svg6)");
}

void WindowIconTest::iconDrawsAtEverySize_data()
{
    QTest::addColumn<int>("size");
    // A title bar, a task bar, the window switcher: what the window system is given.
    QTest::newRow("16") << 16;
    QTest::newRow("32") << 32;
    QTest::newRow("64") << 64;
    QTest::newRow("128") << 128;
}

// The reader's body fills the lower part of the square and the corners stay transparent, so
// a blank or a wrongly scaled drawing shows.
void WindowIconTest::iconDrawsAtEverySize()
{
    QFETCH(int, size);
    const QImage image(QStringLiteral(":/icons/vorn-tool/%1.png").arg(size));
    QVERIFY2(!image.isNull(), "no picture of the icon at this size in the resources");
    QCOMPARE(image.size(), QSize(size, size));
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(size - 1, size - 1)), 0);
    const QRgb body = image.pixel(size / 8, size * 5 / 8);
    QCOMPARE(qAlpha(body), 255);
    QVERIFY2(qGray(body) < 128, "the reader's body is not drawn dark");
    // The window gives the window system every size it has.
    QVERIFY(
        WindowIcon::of(QStringLiteral("vorn-tool")).availableSizes().contains(QSize(size, size)));
}

QTEST_MAIN(WindowIconTest)
#include "tst_windowicon.moc"
