#pragma once

#include "serial/serialline.h"

// A port whose line this installation cannot make (its module is missing): it never opens, and
// says why as any port that does not open does.
class UnavailableLine final : public SerialLine
{
public:
    UnavailableLine(const QString &portName, const QString &reason);

    QString portName() const override { return m_portName; }
    bool open() override { return false; }
    void close() override {}
    bool isOpen() const override { return false; }
    OpenFailure openFailure() const override { return OpenFailure::Other; }
    QString errorText() const override { return m_reason; }

    qint64 bytesWaiting() override { return 0; }
    qint64 read(char * /*data*/, qint64 /*maxSize*/) override { return -1; }
    qint64 write(const char * /*data*/, qint64 /*size*/) override { return -1; }

    void setDataTerminalReady(bool /*asserted*/) override {}
    void setRequestToSend(bool /*asserted*/) override {}
    ModemLines modemLines() override { return {}; }

private:
    QString m_portName;
    QString m_reason;
};
