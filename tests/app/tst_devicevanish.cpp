#include "device/readerprotocol.h"
#include "emulatorprocess.h"
#include "serial/serialportline.h"
#include "windowfixture.h"

Q_DECLARE_METATYPE(ReplyFault)

#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <array>

#include <sys/resource.h>

namespace {

const QString ErrorText = QStringLiteral("Error at reading Device!");
const QString TimeoutText = QStringLiteral("Timeout at reading Device!");

// Every button whose command reads a reply, with what it shows once the reader is gone.
struct ReadingButton
{
    const char *name;
    QString failureText;
};

const std::array<ReadingButton, 7> ReadingButtons{{
    {"pushButton_GetStatus", ErrorText},
    {"pushButton_Version", ErrorText},
    {"pushButton_GetClks", ErrorText},
    {"pushButton_getTime", ErrorText},
    {"pushButton_Echo", ErrorText},
    {"pushButton_TarvikStatus", TimeoutText},
    {"pushButton_TarvikSetSlot", TimeoutText},
}};

// Commands without a reply and the line buttons: they must stay silent on a dead line.
const std::array<const char *, 9> SilentButtons{
    "pushButton_SetSlot",  "pushButton_SetClks", "pushButton_StoreClks",
    "pushButton_SetTime",  "pushButton_SetChar", "pushButton_SetDTR",
    "pushButton_ResetDTR", "pushButton_SetRTS",  "pushButton_ResetRTS"};

// The whole process's processor time, user and system, in seconds.
double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct EventLoopLoad
{
    double cpuSeconds = 0;
    int ticks = 0; // how often a 50 ms timer got its turn
};

// Runs the event loop for the given time, as a user who only watches the window would.
EventLoopLoad runEventLoop(int milliseconds)
{
    EventLoopLoad load;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&load] { ++load.ticks; });
    ticker.start(50);
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    const double before = processCpuSeconds();
    loop.exec();
    load.cpuSeconds = processCpuSeconds() - before;
    return load;
}

} // namespace

// A reader that disappears while its port is open: the window must notice, stay calm and
// responsive, report every reading command as failed, and recover through Close and Open.
class DeviceVanishTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void emulatedReaderVanishes_data();
    void emulatedReaderVanishes();
    void serialPortDeviceVanishes();
    void serialLineNoticesHangUpByItself();

private:
    static void verifyCalmEventLoop(const WindowFixture &f);
    static void verifyEveryReadingCommandFails(WindowFixture &f);
    static void verifySilentCommandsSurvive(WindowFixture &f);

    QTemporaryDir m_settingsDir;
};

void DeviceVanishTest::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void DeviceVanishTest::verifyCalmEventLoop(const WindowFixture &f)
{
    QVERIFY(f.window->isPolling());
    const EventLoopLoad load = runEventLoop(2000);
    qInfo("processor time over 2 s of event loop after the vanish: %.3f s, %d ticks of 50 ms",
          load.cpuSeconds, load.ticks);
    QVERIFY2(load.cpuSeconds < 0.2, qPrintable(QString::number(load.cpuSeconds)));
    QVERIFY2(load.ticks >= 20, qPrintable(QString::number(load.ticks)));
    QVERIFY(f.window->isPolling());
    // The line has noticed the loss and let go of the device.
    QVERIFY(!f.window->port()->isOpen());
}

void DeviceVanishTest::verifyEveryReadingCommandFails(WindowFixture &f)
{
    auto *version = f.control<QLineEdit>("lineEdit_Version");
    for (const ReadingButton &button : ReadingButtons) {
        version->setText(QStringLiteral("-"));
        f.click(button.name);
        QVERIFY2(version->text() == button.failureText,
                 qPrintable(QStringLiteral("%1 showed \"%2\"")
                                .arg(QLatin1String(button.name), version->text())));
    }
    QCOMPARE(f.text("lineEdit_Echo"), QStringLiteral("?"));
}

void DeviceVanishTest::verifySilentCommandsSurvive(WindowFixture &f)
{
    f.control<QLineEdit>("lineEdit_time")->setText(QStringLiteral("10"));
    f.control<QLineEdit>("lineEdit_Version")->setText(QStringLiteral("-"));
    for (const char *name : SilentButtons)
        f.click(name);
    QCOMPARE(f.text("lineEdit_Version"), QStringLiteral("-"));
}

void DeviceVanishTest::emulatedReaderVanishes_data()
{
    QTest::addColumn<ReplyFault>("fault");
    QTest::addColumn<QString>("pulledDuring");
    QTest::newRow("pulled while idle") << ReplyFault{FaultKind::Vanished, 0, -1} << QString();
    QTest::newRow("pulled as a status request comes in")
        << ReplyFault{FaultKind::Vanished, ReaderProtocol::Status, 1}
        << QStringLiteral("pushButton_GetStatus");
    QTest::newRow("pulled in the middle of the identification")
        << ReplyFault{FaultKind::Vanished, ReaderProtocol::ModelType, 1}
        << QStringLiteral("pushButton_Version");
}

void DeviceVanishTest::emulatedReaderVanishes()
{
    QFETCH(ReplyFault, fault);
    QFETCH(QString, pulledDuring);
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    EmulatedReader &reader = f.reader();
    reader.setFault(fault);
    if (!pulledDuring.isEmpty()) {
        f.click(qPrintable(pulledDuring));
        QCOMPARE(f.text("lineEdit_Version"), ErrorText);
    }
    QVERIFY(reader.isVanished());

    verifyCalmEventLoop(f);
    if (QTest::currentTestFailed())
        return;
    verifyEveryReadingCommandFails(f);
    if (QTest::currentTestFailed())
        return;
    verifySilentCommandsSurvive(f);
    if (QTest::currentTestFailed())
        return;

    f.click("pushButton_ClosePorts");
    QVERIFY(!f.window->isPolling());
    QVERIFY(f.enabled("pushButton_OpenPorts"));
    // Still unplugged: Open fails and changes nothing.
    f.click("pushButton_OpenPorts");
    QVERIFY(!f.window->port()->isOpen());
    QVERIFY(!f.enabled("pushButton_GetStatus"));

    reader.setVanished(false);
    reader.setOccupiedSlots(0x81);
    f.click("pushButton_OpenPorts");
    QVERIFY(f.window->port()->isOpen());
    f.click("pushButton_GetStatus");
    QVERIFY(f.text("lineEdit_Version").isEmpty());
    QVERIFY(f.checked("checkBox_Slot0"));
    QVERIFY(f.checked("checkBox_Slot7"));
}

void DeviceVanishTest::serialPortDeviceVanishes()
{
    QTemporaryDir linkDir;
    QVERIFY(linkDir.isValid());
    const QString linkPath = linkDir.filePath(QStringLiteral("reader"));
    EmulatorProcess emulator;
    QVERIFY(emulator.start(QStringLiteral(VORN_EMULATOR_PATH),
                           {"--link", linkPath, "--cards", "0x01"}));

    // The real QSerialPort line in real time, reached by the name given on the command line.
    WindowFixture f;
    f.window = std::make_unique<Widget>(WindowOptions{{linkPath}, nullptr, nullptr});
    QVERIFY(f.open(linkPath));
    f.click("pushButton_GetStatus");
    QVERIFY(f.text("lineEdit_Version").isEmpty());
    QVERIFY(f.checked("checkBox_Slot0"));

    emulator.kill();
    verifyCalmEventLoop(f);
    if (QTest::currentTestFailed())
        return;
    verifyEveryReadingCommandFails(f);
    if (QTest::currentTestFailed())
        return;
    verifySilentCommandsSurvive(f);
    if (QTest::currentTestFailed())
        return;

    f.click("pushButton_ClosePorts");
    QVERIFY(!f.window->isPolling());
    QVERIFY(!f.window->port()->isOpen());
    QVERIFY(f.enabled("pushButton_OpenPorts"));

    // The reader comes back behind the same link, with other cards in it.
    EmulatorProcess returned;
    QVERIFY(returned.start(QStringLiteral(VORN_EMULATOR_PATH),
                           {"--link", linkPath, "--cards", "0x80"}));
    f.click("pushButton_OpenPorts");
    QVERIFY(f.window->port()->isOpen());
    QVERIFY(f.window->isPolling());
    f.click("pushButton_GetStatus");
    QVERIFY(f.text("lineEdit_Version").isEmpty());
    QVERIFY(!f.checked("checkBox_Slot0"));
    QVERIFY(f.checked("checkBox_Slot7"));
    f.click("pushButton_ClosePorts");
}

void DeviceVanishTest::serialLineNoticesHangUpByItself()
{
    QTemporaryDir linkDir;
    QVERIFY(linkDir.isValid());
    const QString linkPath = linkDir.filePath(QStringLiteral("reader"));
    EmulatorProcess emulator;
    QVERIFY(emulator.start(QStringLiteral(VORN_EMULATOR_PATH), {"--link", linkPath}));
    SerialPortLine line(linkPath);
    QVERIFY2(line.open(), qPrintable(line.errorText()));

    // Nobody calls the line: the hang-up shows only in the port's own reading in the background.
    emulator.kill();
    const EventLoopLoad load = runEventLoop(2000);
    qInfo("processor time over 2 s of an idle event loop after the hang-up: %.3f s",
          load.cpuSeconds);
    QVERIFY2(load.cpuSeconds < 0.2, qPrintable(QString::number(load.cpuSeconds)));
    QVERIFY(line.hasVanished());
    QVERIFY(!line.isOpen());
    QCOMPARE(line.bytesWaiting(), -1);
    QCOMPARE(line.write("?", 1), -1);
    line.close();
}

QTEST_MAIN(DeviceVanishTest)
#include "tst_devicevanish.moc"
