// vorn-bench-plan: how long loading and checking a plan file takes, for a plan of every step
// with every limit a plan may set overridden (made from the step catalogue, so that a step or
// measurement added later is in it too).
//
//   vorn-bench-plan [RUNS]    prints "plan STEPS LIMITS RUNS MIN MEDIAN MAX" (ms)

#include "checkout/planreader.h"
#include "checkout/stepcatalogue.h"
#include "device/readermodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Every step of the largest model; a range within what the reader reports for every number
// and true/false for every flag whose limit is the plan's to set (the model's type code is
// the plan's model).
QByteArray everyLimitPlan(int &limits)
{
    const ReaderModel &model = ReaderModel::all().last();
    QByteArray text =
        "# every step, every limit\nname: Everything\nrevision: 1\nprompt: true\n"
        "model: " +
        QByteArray::number(model.typeCode()) +
        "\n"
        "echo: all\nprogram_clocks: [3.57, 3.68, 6.00, 8.00, 3.57, 3.68, 6.00, 8.00]\n"
        "program_time_s: 20\nretest_limit: 3\nrequire_lot: true\nsteps:\n";
    for (const QString &step : StepCatalogue::stepNames())
        text += "  - " + step.toUtf8() + '\n';
    text += "limits:\n";
    limits = 0;
    for (const StepDeclaration &step : StepCatalogue::steps()) {
        for (const MeasurementDeclaration &measurement : step.measurements) {
            if (measurement.fixed() ||
                (measurement.reported && !measurement.reported(model).only.isEmpty()))
                continue;
            if (measurement.value == MeasurementDeclaration::Value::Bool) {
                text += "  " + measurement.name.toUtf8() + ": {equals: false}\n";
            } else {
                const ValueRange range = measurement.reported(model);
                text += "  " + measurement.name.toUtf8() +
                        ": {low: " + QByteArray::number(range.low) +
                        ", high: " + QByteArray::number((range.low + range.high) / 2) + "}\n";
            }
            ++limits;
        }
    }
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    int limits = 0;
    QTemporaryFile file(QStringLiteral("everything-XXXXXX.yaml"));
    if (!file.open() || file.write(everyLimitPlan(limits)) < 0 || !file.flush())
        return 1;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        QString error;
        const std::optional<CheckoutPlan> plan = PlanReader::readFile(file.fileName(), &error);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!plan || plan->options.limits.size() != limits) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("plan %d %d %d %.3f %.3f %.3f\n", int(StepCatalogue::steps().size()), limits, runs,
                times.front(), times[times.size() / 2], times.back());
    return 0;
}
