#pragma once

#include "station/stationsetup.h"

#include <QList>
#include <QWidget>

class QLabel;
class QPushButton;
class RecordsPanel;
class SocketTile;

// The station's one window: a tile per port, "Check all" (Space or Enter), the operator's
// Y and N keys for the tile that asked first, and below the tiles the recent checkouts of this
// station. Its size and place are kept between runs.
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
    // Puts the panel of records below the tiles, read again after every checkout; the window
    // owns it from then on.
    void setRecordsPanel(RecordsPanel *panel);
    RecordsPanel *recordsPanel() const { return m_recordsPanel; }

    // Starts every tile that is not checking.
    void checkAll();
    // Answers the question of the tile that has waited longest.
    void answerOldestQuestion(bool yes);

signals:
    void checkoutFinished();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildLayout();
    void questionChanged(SocketTile *tile);
    void showKeepWarning(const QString &warning);
    bool typingInField() const;

    StationSetup m_setup;
    QList<SocketTile *> m_tiles;
    QList<SocketTile *> m_asking; // oldest question first
    QPushButton *m_checkAll = nullptr;
    QLabel *m_message = nullptr;
    RecordsPanel *m_recordsPanel = nullptr;
};
