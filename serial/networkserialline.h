#pragma once

#include "serial/comportclient.h"
#include "serial/networkportname.h"
#include "serial/serialline.h"

#include <QByteArray>

#include <memory>
#include <optional>

class QTcpSocket;

// A reader's port on a network serial server, driven synchronously like the local line: the
// name is resolved and connected on open, what arrives is pulled from the socket before it is
// counted, every write leaves at once. rfc2217:// speaks the Telnet COM Port Control Option
// (the line parameters set and checked on open, DTR and RTS sent, CTS and DCD as the server
// reports them); socket:// passes raw bytes and has no modem lines.
// The socket is made on open, on the thread that uses the line. When the server closes the
// connection the line is lost at once, as a pulled adapter is: every later call fails quietly
// until close.
class NetworkSerialLine final : public SerialLine
{
public:
    static constexpr int ConnectTimeoutMs = 3000;
    static constexpr int SettingsTimeoutMs = 3000;
    // A server in front of another RFC 2217 server (ser2net chained to a remote port) may drop
    // the requests that come before its own connection is up: those not answered are asked
    // again after this long.
    static constexpr int AskAgainMs = 500;

    explicit NetworkSerialLine(const QString &portName);
    ~NetworkSerialLine() override;

    QString portName() const override { return m_portName; }
    bool open() override;
    void handOverTo(QThread *user) override;
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

private:
    bool connectToServer(const NetworkPortName &address);
    bool awaitSettings();
    bool failOpen(OpenFailure failure, const QString &text);
    // Takes in what the socket holds; false once the connection is gone.
    bool pull();
    void take(const QByteArray &bytes);
    bool send(const QByteArray &bytes);
    void sendControl(quint8 value);
    void lose();

    QString m_portName;
    std::unique_ptr<QTcpSocket> m_socket;
    std::optional<ComPortClient> m_comPort; // none for a raw socket
    QByteArray m_input;
    bool m_lost = false;
    bool m_ready = false; // open has finished
    OpenFailure m_openFailure = OpenFailure::None;
    QString m_errorText;
};
