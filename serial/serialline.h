#pragma once

#include <QString>
#include <QtGlobal>

class QThread;

// The two modem-status lines the reader drives. True means the line is active.
struct ModemLines
{
    bool clearToSend = false;
    bool dataCarrierDetect = false;
};

// Why a port did not open, in the terms a technician acts on.
enum class OpenFailure
{
    None,
    NoSuchPort,
    PermissionDenied,
    InUse,
    Other,
};

// The port as the exchanges and the line poll see it: open at the reader's line parameters
// (9600 baud, 8N1, no flow control), count what is waiting, read, write, and the modem lines.
class SerialLine
{
public:
    virtual ~SerialLine() = default;

    virtual QString portName() const = 0;

    virtual bool open() = 0;
    // A line opened on one thread and used on another is handed over by the thread that opened
    // it, before the other uses it (a network line's socket belongs to a thread).
    virtual void handOverTo(QThread * /*user*/) {}
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Set when open() failed.
    virtual OpenFailure openFailure() const = 0;
    virtual QString errorText() const = 0;

    // Bytes received and waiting to be read; negative when the line reports an error.
    virtual qint64 bytesWaiting() = 0;
    virtual qint64 read(char *data, qint64 maxSize) = 0;
    virtual qint64 write(const char *data, qint64 size) = 0;

    virtual void setDataTerminalReady(bool asserted) = 0;
    virtual void setRequestToSend(bool asserted) = 0;
    virtual ModemLines modemLines() = 0;
};
