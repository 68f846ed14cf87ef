#include "serial/openfailuremessage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// The plain-words reason for a port that did not open, fed with a lock-file folder and a
// process folder made by the test.
class OpenFailureMessageTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void devicePathAndLockFileName_data();
    void devicePathAndLockFileName();
    void noSuchPort();
    void inUseNamesTheHolder_data();
    void inUseNamesTheHolder();
    void permissionDeniedNamesTheGroup();
    void otherFailureKeepsThePortsWords();

private:
    void writeFile(const QString &path, const QByteArray &content);

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_lockFolder;
    QString m_processFolder;
};

void OpenFailureMessageTest::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_lockFolder = m_folder->filePath(QStringLiteral("lock"));
    m_processFolder = m_folder->filePath(QStringLiteral("proc"));
    QVERIFY(QDir().mkpath(m_lockFolder));
    QVERIFY(QDir().mkpath(m_processFolder));
}

void OpenFailureMessageTest::writeFile(const QString &path, const QByteArray &content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void OpenFailureMessageTest::devicePathAndLockFileName_data()
{
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QString>("devicePath");
    QTest::addColumn<QString>("lockFileName");
    QTest::newRow("short name") << "ttyUSB0"
                                << "/dev/ttyUSB0"
                                << "LCK..ttyUSB0";
    QTest::newRow("path") << "/dev/ttyS1"
                          << "/dev/ttyS1"
                          << "LCK..ttyS1";
    QTest::newRow("pseudo-terminal") << "/dev/pts/3"
                                     << "/dev/pts/3"
                                     << "LCK..pts_3";
    QTest::newRow("by-id link") << "/dev/serial/by-id/usb-Ombrin_Vorn8-if00"
                                << "/dev/serial/by-id/usb-Ombrin_Vorn8-if00"
                                << "LCK..serial_by-id_usb-Ombrin_Vorn8-if00";
    QTest::newRow("outside /dev") << "/tmp/vorn"
                                  << "/tmp/vorn"
                                  << "LCK.._tmp_vorn";
}

void OpenFailureMessageTest::devicePathAndLockFileName()
{
    QFETCH(QString, portName);
    QFETCH(QString, devicePath);
    QFETCH(QString, lockFileName);
    QCOMPARE(OpenFailureMessage::devicePath(portName), devicePath);
    QCOMPARE(OpenFailureMessage::lockFileName(devicePath), lockFileName);
}

void OpenFailureMessageTest::noSuchPort()
{
    const QString text = OpenFailureMessage({m_lockFolder}, m_processFolder)
                             .text(OpenFailure::NoSuchPort, QStringLiteral("/dev/ttyUSB7"));
    QVERIFY2(text.contains(QLatin1String("/dev/ttyUSB7")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("no such port")), qPrintable(text));
}

void OpenFailureMessageTest::inUseNamesTheHolder_data()
{
    QTest::addColumn<QByteArray>("lockContent");
    QTest::addColumn<QByteArray>("comm");
    QTest::addColumn<QString>("expected");

    // A Qt lock file: PID, program name, host name (and more in newer Qt).
    QTest::newRow("program from /proc")
        << QByteArray("4242\nvorn-tool\nbench\n") << QByteArray("minicom\n")
        << "in use by another program: minicom (PID 4242)";
    QTest::newRow("program from the lock file when /proc has none")
        << QByteArray("4242\nvorn-tool\nbench\n") << QByteArray()
        << "in use by another program: vorn-tool (PID 4242)";
    QTest::newRow("PID only") << QByteArray("4242\n") << QByteArray()
                              << "in use by another program (PID 4242)";
    QTest::newRow("unreadable lock")
        << QByteArray("garbage\n") << QByteArray("minicom\n") << "in use by another program";
    QTest::newRow("no lock file") << QByteArray() << QByteArray("minicom\n")
                                  << "in use by another program";
}

void OpenFailureMessageTest::inUseNamesTheHolder()
{
    QFETCH(QByteArray, lockContent);
    QFETCH(QByteArray, comm);
    QFETCH(QString, expected);
    if (!lockContent.isEmpty())
        writeFile(m_lockFolder + QStringLiteral("/LCK..pts_5"), lockContent);
    if (!comm.isEmpty())
        writeFile(m_processFolder + QStringLiteral("/4242/comm"), comm);
    const QString text =
        OpenFailureMessage({m_folder->filePath(QStringLiteral("empty")), m_lockFolder},
                           m_processFolder)
            .text(OpenFailure::InUse, QStringLiteral("/dev/pts/5"));
    QVERIFY2(text.endsWith(expected), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("/dev/pts/5")), qPrintable(text));
}

void OpenFailureMessageTest::permissionDeniedNamesTheGroup()
{
    const QString device = m_folder->filePath(QStringLiteral("ttyFake0"));
    writeFile(device, {});
    const QString group = QFileInfo(device).group();
    QVERIFY(!group.isEmpty());
    const OpenFailureMessage message({m_lockFolder}, m_processFolder);

    QVERIFY(QFile(device).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                         QFileDevice::ReadGroup | QFileDevice::WriteGroup));
    const QString text = message.text(OpenFailure::PermissionDenied, device);
    QVERIFY2(text.contains(QLatin1String("permission denied")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("group %1: join it").arg(group)), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("new login")), qPrintable(text));

    // A group without read and write access: joining it would not help.
    QVERIFY(QFile(device).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                         QFileDevice::ReadGroup));
    const QString ownerOnly = message.text(OpenFailure::PermissionDenied, device);
    QVERIFY2(ownerOnly.contains(QStringLiteral("Only its owner %1").arg(QFileInfo(device).owner())),
             qPrintable(ownerOnly));
    QVERIFY2(!ownerOnly.contains(QLatin1String("join")), qPrintable(ownerOnly));

    // No device to look at: the usual group of serial ports is named.
    const QString missing =
        message.text(OpenFailure::PermissionDenied, device + QLatin1String("-missing"));
    QVERIFY2(missing.contains(QLatin1String("dialout")), qPrintable(missing));
    QVERIFY2(missing.contains(QLatin1String("new login")), qPrintable(missing));
}

void OpenFailureMessageTest::otherFailureKeepsThePortsWords()
{
    const QString text = OpenFailureMessage({m_lockFolder}, m_processFolder)
                             .text(OpenFailure::Other, QStringLiteral("/dev/ttyS0"),
                                   QStringLiteral("Input/output error"));
    QCOMPARE(text, QStringLiteral("cannot open /dev/ttyS0: Input/output error"));
}

QTEST_GUILESS_MAIN(OpenFailureMessageTest)
#include "tst_openfailuremessage.moc"
