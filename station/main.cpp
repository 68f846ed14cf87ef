#include "checkout/readerjournalfolder.h"
#include "emulator/linefactory.h"
#include "outputs/checkoutoutputs.h"
#include "packaging/windowicon.h"
#include "process/stopsignals.h"
#include "serial/portscan.h"
#include "serial/realclock.h"
#include "serial/serialline.h"
#include "station/recordspanel.h"
#include "station/stationcommandline.h"
#include "station/stationlanguage.h"
#include "station/stationrecords.h"
#include "station/stationwindow.h"
#include "store/recordsretestgate.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <future>
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

    // Made first and so ended last: SIGTERM, SIGHUP and Ctrl+C close the window as the operator
    // would, which stops the checkouts and puts their readers back, and the records are kept
    // before the program ends with 128 and the signal; a second signal ends it at once. Made
    // before any thread, so that every thread leaves the signals to it.
    const StopSignals stopSignals;

    // The system's ports are listed while the application connects to the display: the scan
    // need not hold up the window.
    std::future<QList<PortEntry>> scan;
    if (!commandLine->portsGiven)
        scan = std::async(std::launch::async, [] { return PortScan::enumerated(); });

    QApplication application(argc, argv);
    // The operator's language; what is written to the terminal and the records stays English.
    const QLocale language = StationLanguage::chosen(commandLine->language);
    if (!StationLanguage::install(language) && !commandLine->language.isEmpty() &&
        language.language() != QLocale::English && language.language() != QLocale::C)
        std::fprintf(stderr, "vorn-station: no %s translation; the window speaks English\n",
                     qPrintable(commandLine->language));

    // The emulated readers live as long as the program, like readers that stay plugged in.
    RealClock clock;
    LineFactory lines(clock);

    StationSetup setup;
    setup.ports = commandLine->ports;
    if (scan.valid())
        for (const PortEntry &port : scan.get())
            setup.ports.append(port.name);
    if (commandLine->emulated)
        setup.ports.append(LineFactory::emulatedPortNames());
    setup.ports.removeDuplicates();
    setup.options = commandLine->options;
    setup.planGiven = commandLine->planGiven;
    setup.autoCheck = commandLine->autoCheck;
    setup.operatorName = commandLine->operatorName;
    setup.lot = commandLine->lot;
    setup.clocks = [] { return std::make_unique<RealClock>(); };
    setup.lines = [&lines](const QString &port, WaitClock &lineClock) {
        return lines.create(port, lineClock);
    };
    ReaderJournalFolder journal;
    setup.journal = &journal;

    // The outputs and then the records thread they keep through, both made before the window
    // and so ended after it: the records of checkouts that the closing window stops are still
    // kept, and then published. What the broker did not take is tried again every 10 s.
    CheckoutOutputs::Choices choices;
    choices.program = QStringLiteral("vorn-station");
    choices.station = commandLine->station;
    choices.ports = setup.ports;
    choices.records = commandLine->records;
    choices.publish = commandLine->publish;
    choices.cfxHandle = commandLine->cfxHandle;
    choices.publishRetry = std::chrono::seconds(10);
    choices.warn = [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); };
    CheckoutOutputs outputs(choices);
    StationRecords records(commandLine->records);
    outputs.keepThrough(records);
    setup.station = outputs.station();
    setup.outputs = &outputs;
    setup.records = &records;
    // A plan chosen at the station later may carry a retest limit the command line has not.
    std::unique_ptr<RecordsRetestGate> retestGate;
    if (!commandLine->records.isNone())
        retestGate =
            std::make_unique<RecordsRetestGate>(commandLine->records, [](const QString &w) {
                std::fprintf(stderr, "vorn-station: %s\n", qPrintable(w));
            });
    setup.retestGate = retestGate.get();

    StationWindow window(setup);
    window.setRecordsPanel(new RecordsPanel(records, setup.station));
    window.show();
    // The icon's pictures, drawn from its SVG when the program was built: once the window is on
    // the screen rather than before. The window system shows it as soon as it is set.
    QApplication::setWindowIcon(WindowIcon::of(QStringLiteral("vorn-station")));
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &window, [&window](int signal) {
        window.close();
        QCoreApplication::exit(StopSignals::exitCode(signal));
    });
    if (stopSignals.received() != 0) // before the window could hear of it
        return StopSignals::exitCode(stopSignals.received());
    return application.exec();
}
