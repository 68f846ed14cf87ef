#pragma once

#include "checkout/checkoutobserver.h"
#include "checkout/checkoutrecord.h"
#include "checkout/checkoutrunner.h"
#include "checkout/checkoutstop.h"
#include "station/stationsetup.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

// The part of a tile that lives on the tile's own thread: it runs the checkout of the tile's
// port and the quiet identification that tells whether a reader is there, so that a slow or
// silent reader never holds up the window. It reports through queued signals; the one thing
// that comes back the other way is the operator's answer, for which the checkout waits here.
class TileWorker : public QObject, private CheckoutObserver
{
    Q_OBJECT

public:
    TileWorker(const StationSetup &setup, QString port);

    // On the worker's thread: one checkout by that operator for that lot, reported by
    // finished(); then its record handed to the station's records thread. stop ends it early.
    void check(const std::shared_ptr<CheckoutStop> &stop, const OperatorAndLot &operatorAndLot,
               const CheckoutOptions &options);
    // On the worker's thread: one identification request, reported by probed().
    void probe();

    // From the window's thread: the operator's answer to the question asked last, and the
    // wake-up of a question that a stop makes moot.
    void answer(bool yes);
    void wake();

signals:
    void stepRunning(int stepIndex, int stepCount, const QString &stepName);
    void questionAsked(const QString &question);
    void identified(const QString &model, const QString &serial);
    // A step failed: the checkout goes on (the operator's questions still record the
    // reader's state), but its outcome can no longer be a pass.
    // What went wrong, a line for each failure, in the operator's words.
    void stepFailed(const QString &lines);
    void finished(const ReaderRecord &record);
    void probed(bool answered, const QString &model, const QString &serial);

private:
    void stepStarted(int reader, const QString &port, int stepIndex, int stepCount,
                     const QString &stepName) override;
    void stepFinished(int reader, const QString &port, int stepIndex, int stepCount,
                      const StepRecord &step) override;
    void readerIdentified(int reader, const QString &port,
                          const Identification &identification) override;
    void readerFinished(int reader, const ReaderRecord &record) override;
    // On standard error, as the station's other warnings: the tile shows what was put back.
    void notice(int reader, const QString &port, const QString &text) override;
    std::optional<bool> ask(int reader, const QString &port, const QString &serial,
                            const QString &question) override;

    const StationSetup &m_setup;
    const QString m_port;
    CheckoutRunner m_runner;

    std::mutex m_answerLock;
    std::condition_variable m_answered;
    std::optional<bool> m_answer;
    std::shared_ptr<CheckoutStop> m_stop;
};
