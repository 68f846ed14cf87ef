#include "emulator/linefactory.h"
#include "publish/cfxmessages.h"
#include "publish/publisher.h"
#include "publish/publishsink.h"
#include "records/recordsretestgate.h"
#include "serial/portscan.h"
#include "serial/realclock.h"
#include "serial/serialline.h"
#include "station/recordspanel.h"
#include "station/stationcommandline.h"
#include "station/stationrecords.h"
#include "station/stationwindow.h"

#include <QApplication>
#include <QIcon>
#include <QSysInfo>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    int exitCode = 0;
    const std::optional<StationCommandLine> commandLine =
        StationCommandLine::parse(arguments, qEnvironmentVariable("VORN_RECORDS"), exitCode);
    if (!commandLine)
        return exitCode;

    QApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vorn-station.svg")));

    // The emulated readers live as long as the program, like readers that stay plugged in.
    RealClock clock;
    LineFactory lines(clock);

    StationSetup setup;
    setup.ports = commandLine->ports;
    if (!commandLine->portsGiven)
        for (const PortEntry &port : PortScan::enumerated())
            setup.ports.append(port.name);
    if (commandLine->emulated)
        setup.ports.append(LineFactory::emulatedPortNames());
    setup.ports.removeDuplicates();
    setup.options = commandLine->options;
    setup.station =
        commandLine->station.isEmpty() ? QSysInfo::machineHostName() : commandLine->station;
    setup.autoCheck = commandLine->autoCheck;
    setup.operatorName = commandLine->operatorName;
    setup.lot = commandLine->lot;
    setup.clocks = [] { return std::make_unique<RealClock>(); };
    setup.lines = [&lines](const QString &port, WaitClock &lineClock) {
        return lines.create(port, lineClock);
    };

    // Made before the window and so ended after it: the records of checkouts that the closing
    // window stops are still kept.
    StationRecords records(commandLine->records);
    setup.records = &records;
    std::unique_ptr<RecordsRetestGate> retestGate;
    if (setup.options.retestLimit && !commandLine->records.isNone())
        retestGate =
            std::make_unique<RecordsRetestGate>(commandLine->records, [](const QString &w) {
                std::fprintf(stderr, "vorn-station: %s\n", qPrintable(w));
            });
    setup.retestGate = retestGate.get();

    // The line's message bus: made before the window, so that it outlives the tiles' threads.
    // What the broker did not take is tried again every 10 s.
    std::unique_ptr<Publisher> publisher;
    std::unique_ptr<PublishSink> publishSink;
    QTimer publishRetry;
    if (commandLine->publish) {
        publisher = std::make_unique<Publisher>(*commandLine->publish);
        publisher->setWarningHandler([](const QString &warning) {
            std::fprintf(stderr, "vorn-station: %s\n", qPrintable(warning));
        });
        publishSink = std::make_unique<PublishSink>(*publisher,
                                                    commandLine->cfxHandle.isEmpty()
                                                        ? CfxMessages::defaultHandle(setup.station)
                                                        : commandLine->cfxHandle,
                                                    setup.ports);
        setup.sinks.append(publishSink.get());
        publishRetry.setInterval(std::chrono::seconds(10));
        QObject::connect(&publishRetry, &QTimer::timeout, [&publisher] { publisher->retry(); });
        publishRetry.start();
        publisher->retry(); // what an earlier run left in the spool
    }

    StationWindow window(setup);
    window.setRecordsPanel(new RecordsPanel(records, setup.station));
    window.show();
    return application.exec();
}
