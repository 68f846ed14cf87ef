#include "windowfixture.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

const QSize FixedSize(450, 343);

// The settings store in a state the window did not leave it in.
enum class Store
{
    Writable,       // an ordinary folder
    GarbageFile,    // the settings file itself is binary junk
    ParentIsFile,   // the folder would have to be made under a regular file
    ReadOnlyFolder, // the folder may be read but not written
};

// A geometry record in the widget library's own layout, for a window placed on the given
// screen of this screen's width; the screen and position may be ones this machine does not
// have.
QByteArray geometryRecord(const QRect &frame, qint32 screenNumber)
{
    const qint32 screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    QByteArray record;
    QDataStream out(&record, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_4_0);
    const quint32 magic = 0x1D9D0CB;
    out << magic << quint16(3) << quint16(0) << frame << frame << screenNumber << quint8(0)
        << quint8(0) << screenWidth << frame;
    return record;
}

QSettings windowSettings()
{
    return QSettings(QStringLiteral("Ombrin"), QStringLiteral("Vorn Test App"));
}

} // namespace

Q_DECLARE_METATYPE(Store)

// Whatever the settings store holds or refuses, the window opens whole, at its fixed size and
// on the screen, and closing it is safe.
class SettingsStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void windowOpensWhatever_data();
    void windowOpensWhatever();

private:
    void prepareStore(Store store, const QVariant &stored);
    static void verifyOpensOnScreen(Widget &window);

    QTemporaryDir m_root;
    QString m_settingsPath;
    int m_case = 0;
};

void SettingsStoreTest::initTestCase()
{
    QVERIFY(m_root.isValid());
}

void SettingsStoreTest::init()
{
    // A fresh store for every case, so no case sees what another one left.
    m_settingsPath = m_root.filePath(QStringLiteral("case%1").arg(++m_case));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsPath);
}

void SettingsStoreTest::prepareStore(Store store, const QVariant &stored)
{
    if (stored.isValid()) {
        QSettings settings = windowSettings();
        settings.setValue(QStringLiteral("geometry"), stored);
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
    }
    switch (store) {
    case Store::Writable:
        break;
    case Store::GarbageFile: {
        QFile file(windowSettings().fileName());
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        static const char junk[] = "\x00\xFF[geometry\n=@ByteArray(\x01\xD9\xD0";
        file.write(junk, sizeof junk - 1);
        break;
    }
    case Store::ParentIsFile: {
        QFile blocker(m_settingsPath);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("not a folder\n");
        m_settingsPath += QStringLiteral("/settings");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsPath);
        break;
    }
    case Store::ReadOnlyFolder:
        QVERIFY(QDir().mkpath(m_settingsPath));
        QVERIFY(QFile::setPermissions(m_settingsPath, QFile::ReadOwner | QFile::ExeOwner));
        break;
    }
}

void SettingsStoreTest::verifyOpensOnScreen(Widget &window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), FixedSize);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Every control must be reachable; a sliver of frame may hang over the edge.
    QVERIFY2(screen.contains(window.geometry()),
             qPrintable(QStringLiteral("window at %1,%2 outside the screen of %3x%4")
                            .arg(window.x())
                            .arg(window.y())
                            .arg(screen.width())
                            .arg(screen.height())));
}

void SettingsStoreTest::windowOpensWhatever_data()
{
    QTest::addColumn<Store>("store");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("libraryTakesIt");
    QTest::addColumn<bool>("storeKeepsGeometry");

    QTest::newRow("record cut short")
        << Store::Writable << QVariant(geometryRecord(QRect(10, 10, 450, 343), 0).left(20)) << true
        << true;
    QTest::newRow("random bytes") << Store::Writable
                                  << QVariant(QByteArray::fromHex("7f0013376761726261676aff"))
                                  << false << true;
    QTest::newRow("text") << Store::Writable << QVariant(QStringLiteral("100,100,450x343")) << false
                          << true;
    QTest::newRow("number") << Store::Writable << QVariant(42) << false << true;
    QTest::newRow("list") << Store::Writable << QVariant(QStringList{"x", "y"}) << false << true;
    QTest::newRow("map") << Store::Writable
                         << QVariant(QVariantMap{{"x", 1}, {"geometry", QByteArray("x")}}) << false
                         << true;
    QTest::newRow("screen gone, far right and below")
        << Store::Writable << QVariant(geometryRecord(QRect(40000, 40000, 450, 343), 7)) << true
        << true;
    QTest::newRow("screen gone, far left and above")
        << Store::Writable << QVariant(geometryRecord(QRect(-40000, -30000, 450, 343), 3)) << true
        << true;
    QTest::newRow("recorded larger than the window may be")
        << Store::Writable << QVariant(geometryRecord(QRect(20, 20, 5000, 4000), 0)) << true
        << true;
    QTest::newRow("settings file of garbage") << Store::GarbageFile << QVariant() << false << true;
    QTest::newRow("folder under a regular file")
        << Store::ParentIsFile << QVariant() << false << false;
    QTest::newRow("read-only folder") << Store::ReadOnlyFolder << QVariant() << false << false;
}

void SettingsStoreTest::windowOpensWhatever()
{
    QFETCH(Store, store);
    QFETCH(QVariant, stored);
    QFETCH(bool, libraryTakesIt);
    QFETCH(bool, storeKeepsGeometry);
    if (stored.isValid()) {
        // A record the library takes tests the placement (a record cut short is taken too, its
        // missing fields read as zeros); one it refuses tests the fallback.
        QWidget probe;
        QCOMPARE(probe.restoreGeometry(stored.toByteArray()), libraryTakesIt);
    }
    if (store == Store::ReadOnlyFolder && geteuid() == 0)
        QSKIP("the superuser may write into any folder");
    prepareStore(store, stored);
    if (QTest::currentTestFailed())
        return;

    QPoint closedAt;
    {
        WindowFixture f;
        verifyOpensOnScreen(*f.window);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(f.text("lineEdit_Char"), QStringLiteral("64"));
        // The window still works: the emulated reader answers through it.
        QVERIFY(f.open("emu-vorn8"));
        f.click("pushButton_GetStatus");
        QVERIFY(f.text("lineEdit_Version").isEmpty());
        f.window->move(60, 70);
        closedAt = f.window->pos();
        f.click("pushButton_Exit");
        QVERIFY(!f.window->isVisible());
    }

    // The next start sees either the geometry saved at that close, or nothing at all.
    WindowFixture next;
    verifyOpensOnScreen(*next.window);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(windowSettings().contains(QStringLiteral("geometry")), storeKeepsGeometry);
    if (storeKeepsGeometry)
        QCOMPARE(next.window->pos(), closedAt);
    next.window->close();
    if (store == Store::ReadOnlyFolder)
        QFile::setPermissions(m_settingsPath,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QTEST_MAIN(SettingsStoreTest)
#include "tst_settingsstore.moc"
