#pragma once

#include "station/stationsetup.h"

#include <QList>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class PlanChooser;
class QVBoxLayout;
class QPushButton;
class RecordsPanel;
class ScanField;
class SocketTile;
struct KeepResult;
struct YieldResult;
struct StationYield;

// The station's one window: a tile per port, "Check all" (Space or Enter), the operator's
// Y and N keys for the marked tile (the one that asked first, unless a digit key chose
// another), who checks, which lot and which plan (fields a barcode scanner may type into), and
// below the tiles the recent checkouts of this station. A record that could be kept nowhere
// leaves a warning line until the next one is kept. Its size and place, the operator, the lot
// and the plan are kept between runs. What can wait (today's figures, the records list) is
// asked for only once the window has been painted.
class StationWindow : public QWidget
{
    Q_OBJECT

public:
    explicit StationWindow(StationSetup setup, QWidget *parent = nullptr);
    ~StationWindow() override;
    StationWindow(const StationWindow &) = delete;
    StationWindow &operator=(const StationWindow &) = delete;

    const QList<SocketTile *> &tiles() const { return m_tiles; }
    SocketTile *tile(const QString &port) const;
    // Puts the panel of records below the tiles; the window owns it from then on.
    void setRecordsPanel(RecordsPanel *panel);
    RecordsPanel *recordsPanel() const { return m_recordsPanel; }

    // Starts every tile that is not checking.
    void checkAll();
    // Answers the question of the marked tile.
    void answerMarkedQuestion(bool yes);
    // The tile numbered so (from 1) answers Y and N next, if it asks a question.
    void chooseTile(int number);
    // The tile that Y and N answer: the chosen one while it asks, else the one that has waited
    // longest; nothing while no tile asks.
    SocketTile *markedTile() const;
    // What the next checkouts carry in their records.
    OperatorAndLot operatorAndLot() const;

signals:
    void checkoutFinished();

protected:
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildLayout();
    void addHeader(QVBoxLayout *layout);
    void afterFirstPaint();
    void questionChanged(SocketTile *tile);
    void showMark();
    void showStatus(const QString &text);
    void operatorOrLotChanged();
    void showOperatorNote();
    void addPlanChooser(QHBoxLayout *top);
    void planChosen(const CheckoutOptions &options);
    void showKept(const KeepResult &result);
    void showYield(const YieldResult &result);
    bool typingInField() const;
    // "3 readers today, first-pass yield 66.7 %, final yield 100.0 %, most failed: echo (1)"
    static QString yieldText(const StationYield &yield);

    StationSetup m_setup;
    QList<SocketTile *> m_tiles;
    QList<SocketTile *> m_asking;   // oldest question first
    SocketTile *m_chosen = nullptr; // by a digit key
    bool m_painted = false;
    QPushButton *m_checkAll = nullptr;
    ScanField *m_operator = nullptr;
    ScanField *m_lot = nullptr;
    PlanChooser *m_plan = nullptr;
    QLabel *m_answers = nullptr;      // which tile Y and N answer
    QLabel *m_operatorNote = nullptr; // shown while the operator is the login name
    QLabel *m_status = nullptr;
    QLabel *m_message = nullptr;
    QLabel *m_yield = nullptr; // this station's readers, first-pass yield and top failure today
    RecordsPanel *m_recordsPanel = nullptr;
};
