#pragma once

#include "station/stationsetup.h"

#include <QList>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class PlanChooser;
class QPushButton;
class RecordsPanel;
class ScanField;
class SocketTile;
struct KeepResult;
struct YieldResult;

// The station's one window: a tile per port, "Check all" (Space or Enter), the operator's
// Y and N keys for the tile that asked first, who checks, which lot and which plan (fields a
// barcode scanner may type into), and below the tiles the recent checkouts of this station. A
// record that could be kept nowhere leaves a warning line until the next one is kept. Its size and
// place, the operator, the lot and the plan are kept between runs.
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
    // Answers the question of the tile that has waited longest.
    void answerOldestQuestion(bool yes);
    // What the next checkouts carry in their records.
    OperatorAndLot operatorAndLot() const;

signals:
    void checkoutFinished();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildLayout();
    void questionChanged(SocketTile *tile);
    void operatorOrLotChanged();
    void addPlanChooser(QHBoxLayout *top);
    void planChosen(const CheckoutOptions &options);
    void showRefusal(const QString &why);
    void showKept(const KeepResult &result);
    void showYield(const YieldResult &result);
    bool typingInField() const;

    StationSetup m_setup;
    QList<SocketTile *> m_tiles;
    QList<SocketTile *> m_asking; // oldest question first
    QPushButton *m_checkAll = nullptr;
    ScanField *m_operator = nullptr;
    ScanField *m_lot = nullptr;
    PlanChooser *m_plan = nullptr;
    QLabel *m_message = nullptr;
    QLabel *m_yield = nullptr; // this station's readers, first-pass yield and top failure today
    RecordsPanel *m_recordsPanel = nullptr;
};
