#include "bench/ser2netprocess.h"
#include "windowfixture.h"

#include <QComboBox>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

// The window on a port of a network serial server, modem lines and all: ser2net in front of
// python3-serial's loop-back RFC 2217 server, whose loop:// wires RTS to CTS and keeps DCD on.
class NetworkWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void typedPortFollowsItsLinesAndIsListedLater();

private:
    QTemporaryDir m_settingsDir;
    QProcess m_loopServer;
    Ser2netProcess m_ser2net;
    QString m_portName;
};

void NetworkWindowTest::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    const quint16 loopPort = Ser2netProcess::freePort();
    m_loopServer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_loopServer.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral("/usr/share/doc/python3-serial/examples/rfc2217_server.py"),
                        QStringLiteral("-p"), QString::number(loopPort),
                        QStringLiteral("loop://")});
    QVERIFY(Ser2netProcess::waitUntilListening(loopPort));
    const quint16 port = Ser2netProcess::freePort();
    QVERIFY(m_ser2net.start(
        {{port, QStringLiteral("telnet(rfc2217),tcp,127.0.0.1,%1").arg(loopPort)}}));
    m_portName = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
}

void NetworkWindowTest::cleanupTestCase()
{
    m_ser2net.stop();
    m_loopServer.terminate();
    m_loopServer.waitForFinished();
}

void NetworkWindowTest::typedPortFollowsItsLinesAndIsListedLater()
{
    {
        WindowFixture f;
        f.click("pushButton_ScanPorts");
        f.control<QComboBox>("comboBox")->setEditText(m_portName);
        f.click("pushButton_OpenPorts");
        QVERIFY(f.window->port());
        QVERIFY2(f.window->port()->isOpen(), qPrintable(f.window->port()->errorText()));
        // The reader holds a line inactive to signal, and the window checks its box then.
        // ser2net looks at the lines about once a second.
        f.click("pushButton_ResetRTS");
        QTRY_VERIFY_WITH_TIMEOUT(f.checked("checkBox_CardsChanged"), 5000);
        QVERIFY(!f.checked("checkBox_CardsIn"));
        f.click("pushButton_SetRTS");
        QTRY_VERIFY_WITH_TIMEOUT(!f.checked("checkBox_CardsChanged"), 5000);
        f.click("pushButton_ClosePorts");
    }
    // The scan cannot find a network port; the next window lists the one opened before.
    WindowFixture later;
    later.click("pushButton_ScanPorts");
    QVERIFY(later.control<QComboBox>("comboBox")->findText(m_portName) >= 0);
}

QTEST_MAIN(NetworkWindowTest)
#include "tst_networkwindow.moc"
