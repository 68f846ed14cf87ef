#include "app/commandline.h"

#include <QTest>

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void CommandLineTest::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("runs");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("trace");
    QTest::newRow("nothing") << QStringList{} << true << 0 << QStringList{} << QString();
    QTest::newRow("ports in order")
        << QStringList{"--port", "/dev/pts/3", "--port=/dev/serial/by-id/usb-x"} << true << 0
        << QStringList{"/dev/pts/3", "/dev/serial/by-id/usb-x"} << QString();
    QTest::newRow("trace") << QStringList{"--trace", "/tmp/t.log"} << true << 0 << QStringList{}
                           << "/tmp/t.log";
    QTest::newRow("help") << QStringList{"--help"} << false << 0 << QStringList{} << QString();
    QTest::newRow("version") << QStringList{"--version"} << false << 0 << QStringList{}
                             << QString();
    QTest::newRow("unknown option")
        << QStringList{"--baud", "19200"} << false << 1 << QStringList{} << QString();
    QTest::newRow("port without name")
        << QStringList{"--port"} << false << 1 << QStringList{} << QString();
}

void CommandLineTest::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, runs);
    QFETCH(int, exitCode);
    QFETCH(QStringList, ports);
    QFETCH(QString, trace);
    int code = -1;
    const std::optional<CommandLine> parsed =
        CommandLine::parse(QStringList{"vorn-tool"} + arguments, code);
    QCOMPARE(parsed.has_value(), runs);
    QCOMPARE(code, exitCode);
    if (parsed) {
        QCOMPARE(parsed->portNames, ports);
        QCOMPARE(parsed->traceFile, trace);
    }
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
