// vorn-bench-idle: the processor time the window takes with a port open and nothing clicked,
// that is the 100 ms line poll and whatever else runs in the event loop.
//
//   vorn-bench-idle [--seconds S] [--port NAME]
//
// Prints "idle SECONDS CPU_MS MIN% MEDIAN% MAX% TOTAL%": the share of one core over each
// second, and over the whole time, after a second to settle. Processor time is the process's
// own, all its threads together.

#include "benchwindow.h"
#include "samplesummary.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

double processCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("How long to watch."),
                                           QStringLiteral("S"), QStringLiteral("20"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to open."),
                                        QStringLiteral("NAME"), QStringLiteral("emu-vorn8"));
    parser.addOptions({secondsOption, portOption});
    parser.process(application);
    const int seconds = std::max(1, parser.value(secondsOption).toInt());

    BenchWindow window;
    if (!window.open(parser.value(portOption))) {
        std::fprintf(stderr, "vorn-bench-idle: cannot open %s\n",
                     qPrintable(parser.value(portOption)));
        return 1;
    }

    // A second to settle first: the repaint after Open is not idling.
    QTest::qWait(1000);
    SampleSummary perSecond;
    QElapsedTimer wall;
    wall.start();
    const double start = processCpuMilliseconds();
    double last = start;
    qint64 lastWallNs = 0;
    QTimer second;
    second.setTimerType(Qt::PreciseTimer);
    QObject::connect(&second, &QTimer::timeout, [&] {
        const double now = processCpuMilliseconds();
        const qint64 nowWallNs = wall.nsecsElapsed();
        perSecond.add(100.0 * (now - last) / (double(nowWallNs - lastWallNs) / 1e6));
        last = now;
        lastWallNs = nowWallNs;
        if (perSecond.count() == seconds)
            application.quit();
    });
    second.start(1000);
    application.exec();

    const double total = last - start;
    std::printf("idle %d %.2f %.4f %.4f %.4f %.4f\n", seconds, total, perSecond.minimum(),
                perSecond.median(), perSecond.maximum(),
                100.0 * total / (double(lastWallNs) / 1e6));
    return window.widget().isPolling() ? 0 : 1;
}
