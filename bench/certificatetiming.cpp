// vorn-bench-certificate: how long the test certificate of the longest checkout takes, from the
// record to the whole PDF in memory: every step of the catalogue, every measurement, each
// failing with its reason (the most pages a certificate has).
//
//   vorn-bench-certificate [RUNS]
//       prints "certificate STEPS ROWS PAGES RUNS MIN MEDIAN MAX CPU" (ms): the real time of
//       each certificate, and the median of the processor time each took (on a busy machine
//       the real time waits for the processor too)

#include "everystepcheckout.h"

#include "documents/recordcertificate.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <ctime>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    // A certificate is drawn without a display, as vornctl and the dashboard draw it.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    const ReaderRecord record = everyStepFailingCheckout();
    qsizetype rows = 0;
    for (const StepRecord &step : record.steps)
        rows += 1 + step.measurements.size();
    // The first is drawn before timing: the fonts are found once per process.
    const QByteArray first = RecordCertificate::pdf(record);
    const int pages = int(first.count("/Type /Page\n") + first.count("/Type /Page\r\n"));
    const auto processorMs = [] {
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    };
    std::vector<double> times;
    std::vector<double> processor;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        const double used = processorMs();
        timer.start();
        const QByteArray pdf = RecordCertificate::pdf(record);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        processor.push_back(processorMs() - used);
        if (pdf.size() < 1000)
            return 1;
    }
    std::sort(times.begin(), times.end());
    std::sort(processor.begin(), processor.end());
    std::printf("certificate %d %d %d %d %.3f %.3f %.3f %.3f\n", int(record.steps.size()),
                int(rows), pages, runs, times.front(), times[times.size() / 2], times.back(),
                processor[processor.size() / 2]);
    return 0;
}
