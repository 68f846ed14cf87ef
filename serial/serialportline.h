#pragma once

#include "serial/serialline.h"

#include <QSerialPort>

// A real serial port driven synchronously from the GUI thread. QSerialPort is built around the
// event loop, so writes are flushed at once, the waiting count is pulled from the device before
// it is read, and modem-line calls that a pseudo-terminal does not support are shrugged off.
// The first read, write or line error marks the device as gone: the descriptor is let go and
// every later call fails quietly until close, so a vanished adapter never makes the tool spin.
class SerialPortLine final : public SerialLine
{
public:
    explicit SerialPortLine(const QString &portName);
    ~SerialPortLine() override;

    QString portName() const override;
    bool open() override;
    void close() override;
    bool isOpen() const override;
    OpenFailure openFailure() const override { return m_openFailure; }
    QString errorText() const override { return m_errorText; }

    qint64 bytesWaiting() override;
    qint64 read(char *data, qint64 maxSize) override;
    qint64 write(const char *data, qint64 size) override;

    void setDataTerminalReady(bool asserted) override;
    void setRequestToSend(bool asserted) override;
    ModemLines modemLines() override;

    bool hasVanished() const { return m_vanished; }

    // Tells the two kinds of PermissionError apart: a lock held by another program names it.
    static OpenFailure classifyOpenError(QSerialPort::SerialPortError error, const QString &text);

private:
    void applyLineParameters();
    // Looks at the port's error after a call; true when the line is still usable.
    bool checkError();
    // Notices a loss that shows while the event loop runs, between our own calls.
    void watchBackgroundErrors();
    void markVanished();

    QSerialPort m_port;
    bool m_vanished = false;
    OpenFailure m_openFailure = OpenFailure::None;
    QString m_errorText;
};
