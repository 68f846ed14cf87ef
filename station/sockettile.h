#pragma once

#include "checkout/checkoutrecord.h"
#include "checkout/checkoutstop.h"
#include "checkout/presencewatch.h"
#include "station/stationsetup.h"

#include <QFrame>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;
class QThread;
class TileWorker;
struct KeepResult;

// One socket of the station: a port with its reader, the checkout's progress, a large outcome
// word that never relies on its colour alone, the operator's questions with Yes and No, and the
// tile's own Check and Stop. The outcome shows as soon as the checkout ends; how its record was
// kept follows when the records thread answers, and a record that could be kept nowhere says
// NOT RECORDED under the outcome. The checkout runs on the tile's own thread; in automatic mode the
// idle tile asks its port every few seconds whether a reader answers and checks a new one once.
class SocketTile : public QFrame
{
    Q_OBJECT

public:
    SocketTile(const StationSetup &setup, const QString &port, QWidget *parent = nullptr);
    ~SocketTile() override;
    SocketTile(const SocketTile &) = delete;
    SocketTile &operator=(const SocketTile &) = delete;

    QString port() const { return m_port; }
    bool isRunning() const { return m_stop != nullptr; }
    bool isAsking() const { return !m_question.isEmpty(); }
    QString question() const { return m_question; }
    // The outcome of the last checkout, if one finished.
    std::optional<ReaderOutcome> outcome() const
    {
        return m_record ? std::optional(m_record->outcome) : std::nullopt;
    }
    // The record of the last checkout, if one finished.
    const std::optional<ReaderRecord> &record() const { return m_record; }
    // PASS, FAIL, ERROR, STOPPED, or what the idle tile waits for.
    QString outcomeWord() const;
    // Automatic mode: how many times the tile has asked its port whether a reader answers.
    int probeCount() const { return m_probes; }

    // The tile's place in the window, from 1: the digit key that chooses it.
    void setNumber(int number);
    // Marked with a thick outline: the tile the Y and N keys answer.
    void setMarked(bool marked);
    bool isMarked() const { return m_marked; }
    // What keeps a checkout from starting: a lot the station requires and nobody entered.
    QString refusal() const;

    // Who checks which lot from the next checkout on.
    void setOperatorAndLot(const OperatorAndLot &operatorAndLot)
    {
        m_operatorAndLot = operatorAndLot;
    }
    // The plan of the next checkout; the tile shows the plan of its last checkout, or else
    // this one.
    void setOptions(const CheckoutOptions &options);
    // Starts a checkout unless one runs.
    void check();
    // Ends the running checkout early; the engine puts the reader back as it found it.
    void stop();
    // Answers the question the tile shows.
    void answer(bool yes);

    // The big word for an outcome: PASS, FAIL, ERROR, STOPPED, REPAIR FIRST.
    static QString wordFor(ReaderOutcome outcome);
    // Every big word a tile shows, idle, checking and done.
    static QStringList outcomeWords();
    // What went wrong and what became of the reader, in the operator's words: a line each.
    static QString details(const ReaderRecord &record);

signals:
    void questionChanged(SocketTile *tile);
    void runningChanged(SocketTile *tile);
    void checkoutFinished(const ReaderRecord &record);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void buildLayout();
    void fixSize();
    // The largest size, from pointSize down, at which every text fits width.
    static void fitFont(QLabel *label, const QStringList &texts, int width, int pointSize);
    void showFailedStep(const QString &lines);
    void showStep(int stepIndex, int stepCount, const QString &stepName);
    void showQuestion(const QString &question);
    void showIdentity(const QString &model, const QString &serial);
    void showPlan(const PlanIdentity &plan);
    void finish(const ReaderRecord &record);
    void recordKept(const KeepResult &result);
    void probe();
    void probed(bool answered, const QString &model, const QString &serial);
    void showWord(const QString &word, const QString &background, const QString &foreground);
    void updateButtons();

    const StationSetup &m_setup;
    const QString m_port;
    QThread *m_thread = nullptr;
    CheckoutOptions m_options;
    std::unique_ptr<TileWorker> m_worker;
    std::shared_ptr<CheckoutStop> m_stop; // set while a checkout runs
    QString m_question;
    std::optional<ReaderRecord> m_record;
    OperatorAndLot m_operatorAndLot;

    QTimer m_probeTimer;
    bool m_probing = false;
    int m_probes = 0;
    bool m_marked = false;
    PresenceWatch m_presence; // automatic mode: when the reader on the port is checked

    QLabel *m_number = nullptr;
    QLabel *m_identity = nullptr;
    QLabel *m_plan = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_word = nullptr;
    QLabel *m_notRecorded = nullptr;
    QLabel *m_details = nullptr;
    QFrame *m_questionBox = nullptr;
    QLabel *m_questionLabel = nullptr;
    QPushButton *m_check = nullptr;
    QPushButton *m_stopButton = nullptr;
};
