#include "display/fonttable.h"
#include "display/glyphpainter.h"
#include "windowfixture.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

namespace {

// The dot pattern the window shows, read back from its pixels: every 10 x 10 square must be
// wholly black (true) or wholly white (false); anything else fails the test.
QList<QList<bool>> shownDots(Widget &window)
{
    const QImage image = window.grab().toImage();
    QList<QList<bool>> rows;
    for (int row = 0; row < FontTable::Rows; ++row) {
        QList<bool> dots;
        for (int column = 0; column < FontTable::Columns; ++column) {
            const QPoint corner = GlyphPainter::Field.topLeft() + QPoint(10 * column, 10 * row);
            const QRgb first = image.pixel(corner);
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 10; ++x)
                    if (image.pixel(corner + QPoint(x, y)) != first)
                        qFatal("dot %d,%d is not a solid square", column, row);
            if (first != qRgb(0, 0, 0) && first != qRgb(255, 255, 255))
                qFatal("dot %d,%d is neither black nor white", column, row);
            dots.append(first == qRgb(0, 0, 0));
        }
        rows.append(dots);
    }
    return rows;
}

QList<QList<bool>> glyphDots(quint8 code)
{
    QList<QList<bool>> rows;
    for (int row = 0; row < FontTable::Rows; ++row) {
        QList<bool> dots;
        for (int column = 0; column < FontTable::Columns; ++column)
            dots.append(FontTable::dot(code, column, row));
        rows.append(dots);
    }
    return rows;
}

QList<QList<bool>> uniform(bool black)
{
    return QList<QList<bool>>(FontTable::Rows, QList<bool>(FontTable::Columns, black));
}

} // namespace

class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class WindowDisplayTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void atSignAtStart();
    void steppingWrapsAndRepaints_data();
    void steppingWrapsAndRepaints();
    void zeroHasItsDiagonal();
    void setCharSendsPreviewCharacter();
    void asciiAndDisplayTestReachTheDisplay();
    void aboutBox();
    void webLink();

private:
    void stepTo(WindowFixture &f, int code);
    QTemporaryDir m_settingsDir;
};

void WindowDisplayTest::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void WindowDisplayTest::stepTo(WindowFixture &f, int code)
{
    while (f.window->previewCharacter() != code)
        f.click(code > f.window->previewCharacter() ? "pushButton_plus" : "pushButton_minus");
}

void WindowDisplayTest::atSignAtStart()
{
    WindowFixture f;
    QCOMPARE(f.text("lineEdit_Char"), QStringLiteral("64"));
    // 3E 41 5D 55 1E, drawn by hand row by row
    const QList<QList<bool>> at{
        {false, true, true, true, false}, {true, false, false, false, true},
        {true, false, true, true, true},  {true, false, true, false, true},
        {true, false, true, true, true},  {true, false, false, false, false},
        {false, true, true, true, false}};
    QCOMPARE(shownDots(*f.window), at);
}

void WindowDisplayTest::steppingWrapsAndRepaints_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("code");
    QTest::newRow("plus at 255 wraps to 0") << 255 << "pushButton_plus" << 0;
    QTest::newRow("minus at 0 wraps to 255") << 0 << "pushButton_minus" << 255;
    QTest::newRow("plus to the full block") << 0xDA << "pushButton_plus" << 0xDB;
    QTest::newRow("minus to the space") << 0x21 << "pushButton_minus" << 0x20;
}

void WindowDisplayTest::steppingWrapsAndRepaints()
{
    QFETCH(int, start);
    QFETCH(QString, button);
    QFETCH(int, code);
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    stepTo(f, start);
    f.reader().clearReceivedRequests();
    f.click(qPrintable(button));
    QCOMPARE(int(f.window->previewCharacter()), code);
    QCOMPARE(f.text("lineEdit_Char"), QString::number(code));
    QCOMPARE(shownDots(*f.window), glyphDots(quint8(code)));
    if (code == 0 || code == 0x20)
        QCOMPARE(shownDots(*f.window), uniform(false));
    if (code == 0xDB)
        QCOMPARE(shownDots(*f.window), uniform(true));
    QVERIFY(f.reader().receivedRequests().isEmpty()); // stepping sends nothing
}

void WindowDisplayTest::zeroHasItsDiagonal()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    stepTo(f, 0x30);
    const QList<QList<bool>> dots = shownDots(*f.window);
    QVERIFY(dots[4][1] && dots[3][2] && dots[2][3]);
    QVERIFY(!dots[2][1] && !dots[4][3]);
}

void WindowDisplayTest::setCharSendsPreviewCharacter()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    stepTo(f, 0);
    f.click("pushButton_SetChar");
    stepTo(f, 255);
    f.click("pushButton_SetChar");
    QCOMPARE(f.reader().displayedCharacters(),
             QList<DisplayCharacter>({{0x00, 0xFF}, {0xFF, 0xFF}}));
    QCOMPARE(f.text("lineEdit_Char"), QStringLiteral("255"));
}

void WindowDisplayTest::asciiAndDisplayTestReachTheDisplay()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.control<QLineEdit>("lineEdit_ASCII")->setText(QString::fromUtf8("é Ā"));
    qint64 before = f.clock.elapsedMilliseconds();
    f.click("pushButton_ASCII");
    QCOMPARE(f.clock.elapsedMilliseconds() - before, 1500);
    QCOMPARE(f.reader().displayedCharacters(),
             QList<DisplayCharacter>({{0xE9, 0xFF}, {0x20, 0xFF}, {0x3F, 0xFF}}));

    f.reader().clearDisplay();
    before = f.clock.elapsedMilliseconds();
    f.click("pushButton_Display");
    QCOMPARE(f.clock.elapsedMilliseconds() - before, 1900);
    QCOMPARE(f.reader().dotPatterns().size(), 12);
    QCOMPARE(f.reader().dotPatterns().first(), QByteArray("\x1F\0\0\0\0\0\0", 7));
    QCOMPARE(f.reader().displayedCharacters(), QList<DisplayCharacter>({{0x20, 0x01}}));
}

void WindowDisplayTest::aboutBox()
{
    WindowFixture f;
    f.window->show();
    QString title;
    QString text;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    f.click("pushButton_about");
    QCOMPARE(title, QStringLiteral("Info - Copyright"));
    QVERIFY(text.startsWith(QLatin1String("<h2>Vorn Tool 1.0</h2><p>")));
    QVERIFY(text.contains(QLatin1String("&copy;")));
    QVERIFY(!text.contains(QLatin1String("</p>")));
    QVERIFY(text.endsWith(
        QLatin1String("<br><a href=http://example.com/vorn>http://example.com/vorn</a>")));
    // The box works without a port and leaves the window as it was.
    QVERIFY(f.enabled("pushButton_ScanPorts"));
    QVERIFY(!f.enabled("pushButton_GetStatus"));
}

void WindowDisplayTest::webLink()
{
    WindowFixture f;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    f.click("pushButton_wwwInfo");
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("http://example.com/vorn"))});
    QCOMPARE(f.text("pushButton_wwwInfo"), QStringLiteral("Info -  http://example.com/vorn"));
}

QTEST_MAIN(WindowDisplayTest)
#include "tst_windowdisplay.moc"
