// vorn-bench-publish: what publishing to the line's broker costs, against a real broker (the
// private RabbitMQ node of tests/publish/rabbitmq_node.sh, whose AMQP port is in
// VORN_TEST_AMQP_PORT; user and password guest).
//
//   vorn-bench-publish end COUNT
//       COUNT checkouts of an emulated eight-slot reader: for each, the time from the end of
//       the checkout (the record handed to the publishing sink) until the broker has accepted
//       its UnitsTested and WorkCompleted, and the part of it the reader's own thread spends
//       (the messages written to the spool); prints both in milliseconds, one checkout a line
//   vorn-bench-publish drain RUNS COUNT
//       RUNS times: COUNT messages waiting in the spool (checkouts as they are made, three
//       messages each), then the time from the publisher's start until the broker has taken
//       them all, connection included; prints the milliseconds of each run

#include "checkout/checkoutobserver.h"
#include "checkout/checkoutrunner.h"
#include "emulator/linefactory.h"
#include "publish/cfxmessages.h"
#include "publish/publisher.h"
#include "publish/publishsink.h"
#include "publish/publishspool.h"
#include "serial/serialline.h"
#include "serial/virtualclock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

class NoOperator final : public CheckoutObserver
{
    std::optional<bool> ask(int, const QString &, const QString &, const QString &) override
    {
        return true;
    }
};

// A whole checkout of emu-vorn8 as a station makes it, on the virtual clock.
ReaderRecord checkedReader()
{
    VirtualClock clock;
    LineFactory lines(clock);
    NoOperator observer;
    CheckoutRunner runner([] { return std::make_unique<VirtualClock>(); },
                          [&lines](const QString &port, WaitClock &lineClock) {
                              return lines.create(port, lineClock);
                          },
                          CheckoutOptions(), observer);
    runner.setTool(QStringLiteral("vorn-station"));
    runner.setStation(QStringLiteral("line-2-station-1"));
    runner.setOperator(QStringLiteral("alice"));
    return runner.checkReader(0, QStringLiteral("emu-vorn8"), CheckoutStop());
}

PublishTarget target(const QString &queue)
{
    QString error;
    PublishTarget target =
        *PublishTarget::parse(QStringLiteral("amqp://guest@127.0.0.1:%1/queue/%2")
                                  .arg(qEnvironmentVariableIntValue("VORN_TEST_AMQP_PORT"))
                                  .arg(queue),
                              &error);
    target.password = QStringLiteral("guest");
    return target;
}

RecordsLocation spoolIn(const QTemporaryDir &folder, const QString &name)
{
    QString error;
    return *RecordsLocation::parse(QStringLiteral("sqlite:") + folder.filePath(name), &error);
}

void reportWarnings(Publisher &publisher)
{
    publisher.setWarningHandler(
        [](const QString &warning) { std::fprintf(stderr, "%s\n", qPrintable(warning)); });
}

int endOfCheckout(int count)
{
    QTemporaryDir folder;
    Publisher publisher(target(QStringLiteral("bench-end")),
                        spoolIn(folder, QStringLiteral("spool.sqlite")));
    reportWarnings(publisher);
    PublishSink sink(publisher, QStringLiteral("Vorn.Station.line-2-station-1"),
                     {QStringLiteral("emu-vorn8")});
    const ReaderRecord checked = checkedReader();
    QElapsedTimer timer;
    for (int n = 0; n < count; ++n) {
        ReaderRecord record = checked;
        record.id = ReaderRecord::newId();
        // The checkout's start went out while its steps ran, over a connection that stays.
        sink.readerStarted(record);
        if (publisher.sendWaiting(std::chrono::seconds(20)) != Publisher::Sent::All)
            return 1;
        timer.start();
        sink.readerChecked(record);
        const qint64 spooled = timer.nsecsElapsed();
        if (publisher.sendWaiting(std::chrono::seconds(20)) != Publisher::Sent::All)
            return 1;
        std::printf("%.3f %.3f\n", double(timer.nsecsElapsed()) / 1e6, double(spooled) / 1e6);
    }
    return 0;
}

int drain(int runs, int count)
{
    const ReaderRecord checked = checkedReader();
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir folder;
        const RecordsLocation file = spoolIn(folder, QStringLiteral("spool.sqlite"));
        const PublishTarget where = target(QStringLiteral("bench-drain"));
        QList<QJsonObject> envelopes;
        while (envelopes.size() < count) {
            ReaderRecord record = checked;
            record.id = ReaderRecord::newId();
            envelopes += CfxMessages::wholeCheckout(record, {QStringLiteral("Vorn.Station.b"), 1});
        }
        envelopes.resize(count);
        {
            PublishSpool spool(file);
            if (!spool.open() || !spool.add(where.url(), envelopes))
                return std::fprintf(stderr, "%s\n", qPrintable(spool.errorText())), 1;
        }
        QElapsedTimer timer;
        timer.start();
        Publisher publisher(where, file);
        reportWarnings(publisher);
        if (publisher.sendWaiting(std::chrono::seconds(60)) != Publisher::Sent::All ||
            publisher.sentCount() != count)
            return 1;
        std::printf("%.3f\n", double(timer.nsecsElapsed()) / 1e6);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (qEnvironmentVariableIntValue("VORN_TEST_AMQP_PORT") == 0) {
        std::fprintf(stderr, "vorn-bench-publish: VORN_TEST_AMQP_PORT names no broker\n");
        return 2;
    }
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("end"))
        return endOfCheckout(arguments.at(2).toInt());
    if (arguments.size() == 4 && arguments.at(1) == QLatin1String("drain"))
        return drain(arguments.at(2).toInt(), arguments.at(3).toInt());
    std::fprintf(stderr, "usage: vorn-bench-publish end COUNT | drain RUNS COUNT\n");
    return 2;
}
