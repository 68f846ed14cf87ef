#include "app/commandline.h"
#include "app/widget.h"
#include "app/windowstartup.h"

#include <QApplication>
#include <QComboBox>
#include <QProcess>
#include <QTest>

#include <array>

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void startsWithQtOptions();
    void programAnswersBeforeWindow_data();
    void programAnswersBeforeWindow();
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

// The application object below was made from vorn-tool's own kind of command line, Qt's
// options among the window's.
void CommandLineTest::startsWithQtOptions()
{
    QCOMPARE(QApplication::platformName(), QStringLiteral("offscreen"));
    QVERIFY(QApplication::isRightToLeft());
    WindowStartup startup;
    int exitCode = -1;
    QVERIFY(startup.start(exitCode));
    QVERIFY(startup.window());
    QVERIFY(startup.window()->isVisible());

    auto *scan = startup.window()->findChild<QAbstractButton *>("pushButton_ScanPorts");
    QVERIFY(scan);
    QTest::mouseClick(scan, Qt::LeftButton);
    auto *ports = startup.window()->findChild<QComboBox *>("comboBox");
    QVERIFY(ports);
    QVERIFY(ports->findText(QStringLiteral("/dev/pts/77")) >= 0);
}

// The built program, without a display: what it prints and how it ends.
void CommandLineTest::programAnswersBeforeWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--port <NAME>";
    QTest::newRow("help with Qt's options") << QStringList{"--help-all"} << 0 << "-platform";
    QTest::newRow("version after Qt's options")
        << QStringList{"-reverse", "-style", "fusion", "--version"} << 0
        << "vorn-tool " VORN_VERSION;
    QTest::newRow("version after more of Qt's options")
        << QStringList{"-qwindowgeometry", "300x200", "-platformtheme", "gtk3",     "-widgetcount",
                       "--session",        "s1",      "-style=fusion",  "--version"}
        << 0 << "vorn-tool " VORN_VERSION;
    QTest::newRow("unknown option of its own")
        << QStringList{"-platform", "offscreen", "--baud", "19200"} << 1
        << "Unknown option 'baud'.";
    // Without a display the application object could not be made: these must be told first.
    QTest::newRow("unknown option, no platform given")
        << QStringList{"--bogus"} << 1 << "Unknown option 'bogus'.";
    QTest::newRow("unknown single-dash word")
        << QStringList{"-bogus"} << 1 << "Unknown option 'bogus'.";
    QTest::newRow("unknown option among Qt's")
        << QStringList{"-style", "fusion", "-reverse", "--port", "/dev/pts/3", "--baud", "9600"}
        << 1 << "Unknown option 'baud'.";
    QTest::newRow("port without name, no platform given")
        << QStringList{"--port"} << 1 << "Missing value after '--port'.";
    QTest::newRow("port without name")
        << QStringList{"-platform", "offscreen", "--port"} << 1 << "Missing value after '--port'.";
}

void CommandLineTest::programAnswersBeforeWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(VORN_TOOL_PATH), arguments);
    QVERIFY(program.waitForFinished(30000));
    const QString printed =
        QString::fromLocal8Bit(program.readAllStandardOutput() + program.readAllStandardError());
    QVERIFY2(printed.contains(output), qPrintable(printed));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
}

// The application object is made as vorn-tool makes it, from the program's arguments, and
// must take its own options out of them: there is no display but the one -platform names.
int main(int argc, char **argv)
{
    qunsetenv("QT_QPA_PLATFORM");
    std::array<char *, 6> programArguments{
        const_cast<char *>("vorn-tool"),   const_cast<char *>("-platform"),
        const_cast<char *>("offscreen"),   const_cast<char *>("--port"),
        const_cast<char *>("/dev/pts/77"), const_cast<char *>("-reverse")};
    int programCount = int(programArguments.size());
    QApplication application(programCount, programArguments.data());
    CommandLineTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_commandline.moc"
