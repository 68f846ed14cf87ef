#pragma once

#include "app/windowoptions.h"
#include "ui_widget.h"

#include <QWidget>

#include <array>
#include <memory>

class ClockSelection;
class DeviceTransaction;
class DisplayCommands;
class LineFactory;
class NetworkPortOpener;
class ReaderCommands;
class SerialLine;
class WaitClock;
enum class DeviceError;

// The tool's one window: the form, the port of the current connection, the preview
// character and the line poll. Every button has one thin slot that asks the reader layer for
// one operation and shows its result or its error.
class Widget : public QWidget
{
    Q_OBJECT

public:
    explicit Widget(QWidget *parent = nullptr);
    explicit Widget(const WindowOptions &options, QWidget *parent = nullptr);
    ~Widget() override;

    // For tests and the emulated readers behind "emu-vorn8" and "emu-vorn4".
    LineFactory &lineFactory() { return *m_lineFactory; }
    SerialLine *port() const { return m_port.get(); }
    quint8 previewCharacter() const { return m_previewCharacter; }
    bool isPolling() const { return m_pollTimerId != 0; }

protected:
    void timerEvent(QTimerEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_pushButton_TarvikSetSlot_clicked();
    void on_pushButton_TarvikStatus_clicked();
    void on_pushButton_getTime_clicked();
    void on_pushButton_SetTime_clicked();
    void on_pushButton_SetChar_clicked();
    void on_pushButton_minus_clicked();
    void on_pushButton_plus_clicked();
    // No control carries this name, so nothing connects it; kept for the slot table's sake.
    void on_pushButton_eurotest_clicked();
    void on_pushButton_about_clicked();
    void on_pushButton_wwwInfo_clicked();
    void on_pushButton_Echo_clicked();
    void on_pushButton_Display_clicked();
    void on_pushButton_StoreClks_clicked();
    void on_pushButton_SetClks_clicked();
    void on_pushButton_GetClks_clicked();
    void on_pushButton_Version_clicked();
    void on_pushButton_ASCII_clicked();
    void on_pushButton_ResetRTS_clicked();
    void on_pushButton_SetRTS_clicked();
    void on_pushButton_ResetDTR_clicked();
    void on_pushButton_SetDTR_clicked();
    void on_pushButton_SetSlot_clicked();
    void on_pushButton_GetStatus_clicked();
    void on_pushButton_ClosePorts_clicked();
    void on_pushButton_OpenPorts_clicked();
    void on_pushButton_Exit_clicked();
    void on_pushButton_ScanPorts_clicked();

private:
    void fitPortListPopup();
    void portOpened();
    void networkPortOpened(bool opened);
    QList<QWidget *> deviceControls() const;
    void setDeviceControlsEnabled(bool enabled);
    ReaderCommands readerCommands();
    DisplayCommands displayCommands();
    void showError(DeviceError error);
    void showSlotOccupancy(quint8 occupancy);
    void applyModelLayout(quint8 modelType);
    void showClockSelection(const ClockSelection &selection);
    ClockSelection clockSelectionShown() const;
    std::array<QComboBox *, 8> clockSelectors() const;
    void stepPreviewCharacter(int step);

    // The members the window is made of, in this order: form, port, preview character, poll.
    Ui::Widget ui;
    std::unique_ptr<SerialLine> m_port;
    quint8 m_previewCharacter = 64;
    int m_pollTimerId = 0;

    WindowOptions m_options;
    std::unique_ptr<WaitClock> m_ownClock;
    std::unique_ptr<LineFactory> m_lineFactory;
    std::unique_ptr<DeviceTransaction> m_transaction;
    NetworkPortOpener *m_networkOpener = nullptr;
};
