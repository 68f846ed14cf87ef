#include "serial/networkserialline.h"

#include "serial/telnetcodes.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QSet>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cstring>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

const QString ClosedText = QStringLiteral("the serial server closed the connection");
const QString NoControlText = QStringLiteral("the serial server does not drive DTR/RTS");

// A program opens the same port again and again (a checkout's probe, every command in the
// window): the same news about it is told once.
void warnOnce(const QString &portName, const QString &text)
{
    static QMutex lock;
    static QSet<QString> told;
    const QString warning = portName + QStringLiteral(": ") + text;
    {
        const QMutexLocker locked(&lock);
        if (told.contains(warning))
            return;
        told.insert(warning);
    }
    qWarning("%s", qPrintable(warning));
}

// A serial server sends a reply's bytes as the port delivers them, one small segment after
// another, and may hold each until the one before is acknowledged (ser2net does). Linux delays
// an acknowledgement by up to 40 ms, which the reply waits of 50 ms cannot afford; asked
// again after every read and write, it acknowledges at once. Measured through ser2net on
// loopback: the slowest of 90 status round trips 52 ms without, 12 ms with.
void acknowledgeAtOnce(QTcpSocket &socket)
{
    const int on = 1;
    setsockopt(int(socket.socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

} // namespace

NetworkSerialLine::NetworkSerialLine(const QString &portName) : m_portName(portName) {}

NetworkSerialLine::~NetworkSerialLine()
{
    close();
}

bool NetworkSerialLine::open()
{
    close();
    m_openFailure = OpenFailure::None;
    m_errorText.clear();
    const std::optional<NetworkPortName> address = NetworkPortName::parse(m_portName);
    if (!address)
        return failOpen(OpenFailure::NoSuchPort,
                        QStringLiteral("not a network port name (rfc2217://HOST:PORT or "
                                       "socket://HOST:PORT)"));
    if (!connectToServer(*address))
        return false;
    if (address->scheme == NetworkPortName::Scheme::Rfc2217) {
        m_comPort.emplace();
        if (!send(m_comPort->opening()))
            return failOpen(OpenFailure::Other, ClosedText);
        if (!awaitSettings())
            return false;
    }
    m_ready = true;
    return true;
}

void NetworkSerialLine::handOverTo(QThread *user)
{
    if (m_socket)
        m_socket->moveToThread(user);
}

void NetworkSerialLine::close()
{
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
        // Unread bytes would turn the goodbye into a reset, which keeps ser2net from giving
        // the port to the next client at once.
        while (m_socket->waitForReadyRead(0)) {
        }
        m_socket->readAll();
        m_socket->disconnectFromHost();
    }
    if (m_socket)
        m_socket->abort();
    m_socket.reset();
    m_comPort.reset();
    m_input.clear();
    m_lost = false;
    m_ready = false;
}

bool NetworkSerialLine::isOpen() const
{
    return m_socket && !m_lost;
}

qint64 NetworkSerialLine::bytesWaiting()
{
    if (!isOpen() || !pull())
        return -1;
    return m_input.size();
}

qint64 NetworkSerialLine::read(char *data, qint64 maxSize)
{
    if (!isOpen())
        return -1;
    const qint64 count = std::min<qint64>(maxSize, m_input.size());
    std::memcpy(data, m_input.constData(), size_t(count));
    m_input.remove(0, count);
    return count;
}

qint64 NetworkSerialLine::write(const char *data, qint64 size)
{
    if (!isOpen())
        return -1;
    const QByteArrayView bytes(data, size);
    return send(m_comPort ? m_comPort->dataBytes(bytes) : bytes.toByteArray()) ? size : -1;
}

void NetworkSerialLine::setDataTerminalReady(bool asserted)
{
    sendControl(asserted ? TelnetCodes::DtrOn : TelnetCodes::DtrOff);
}

void NetworkSerialLine::setRequestToSend(bool asserted)
{
    sendControl(asserted ? TelnetCodes::RtsOn : TelnetCodes::RtsOff);
}

ModemLines NetworkSerialLine::modemLines()
{
    if (!isOpen() || !pull() || !m_comPort)
        return {};
    return m_comPort->modemLines();
}

bool NetworkSerialLine::connectToServer(const NetworkPortName &address)
{
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->connectToHost(address.host, address.port);
    if (m_socket->waitForConnected(ConnectTimeoutMs)) {
        // The DTR change, the request and the next change go out as separate small writes:
        // none may wait for the acknowledgement of the one before.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return true;
    }
    switch (m_socket->error()) {
    case QAbstractSocket::HostNotFoundError:
        return failOpen(OpenFailure::NoSuchPort,
                        QStringLiteral("the name %1 does not resolve").arg(address.host));
    case QAbstractSocket::ConnectionRefusedError:
        return failOpen(
            OpenFailure::Other,
            QStringLiteral("nothing listens there (the server refused the connection)"));
    case QAbstractSocket::SocketTimeoutError:
        return failOpen(
            OpenFailure::Other,
            QStringLiteral("no serial server answered within %1 s").arg(ConnectTimeoutMs / 1000));
    default:
        return failOpen(
            OpenFailure::Other,
            QStringLiteral("the serial server: %1").arg(m_socket->errorString().toLower()));
    }
}

bool NetworkSerialLine::awaitSettings()
{
    const QDeadlineTimer deadline(SettingsTimeoutMs);
    QDeadlineTimer askAgain(AskAgainMs);
    while (pull()) {
        switch (m_comPort->settings()) {
        case ComPortClient::Settings::Confirmed:
            return true;
        case ComPortClient::Settings::Refused:
            return failOpen(OpenFailure::Other, m_comPort->settingsProblem());
        case ComPortClient::Settings::Pending:
            break;
        }
        if (deadline.hasExpired())
            return failOpen(OpenFailure::Other,
                            QStringLiteral("the serial server did not confirm the port settings "
                                           "within %1 s")
                                .arg(SettingsTimeoutMs / 1000));
        if (askAgain.hasExpired()) {
            send(m_comPort->unansweredSettings());
            askAgain.setRemainingTime(AskAgainMs);
        }
        m_socket->waitForReadyRead(
            int(std::min(deadline.remainingTime(), askAgain.remainingTime())));
    }
    // A server that cannot give the port says why in plain text, then hangs up.
    const QString words = QString::fromLatin1(m_input).simplified();
    if (words.isEmpty())
        return failOpen(OpenFailure::Other, ClosedText);
    return failOpen(words.contains(QLatin1String("in use"), Qt::CaseInsensitive)
                        ? OpenFailure::InUse
                        : OpenFailure::Other,
                    QStringLiteral("the serial server says \"%1\"").arg(words));
}

bool NetworkSerialLine::failOpen(OpenFailure failure, const QString &text)
{
    close();
    m_openFailure = failure;
    m_errorText = text;
    return false;
}

bool NetworkSerialLine::pull()
{
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        while (m_socket->waitForReadyRead(0)) {
        }
    }
    take(m_socket->readAll());
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        acknowledgeAtOnce(*m_socket);
        return true;
    }
    lose();
    return false;
}

void NetworkSerialLine::take(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (!m_comPort) {
        m_input += bytes;
        return;
    }
    const QByteArray answer = m_comPort->received(bytes, m_input);
    if (!answer.isEmpty())
        send(answer);
    if (m_comPort->takeUnansweredControlNotice())
        warnOnce(m_portName, NoControlText);
}

bool NetworkSerialLine::send(const QByteArray &bytes)
{
    if (m_socket->write(bytes) == bytes.size()) {
        m_socket->flush();
        if (m_socket->bytesToWrite() == 0 || m_socket->waitForBytesWritten(ConnectTimeoutMs)) {
            acknowledgeAtOnce(*m_socket);
            return true;
        }
    }
    lose();
    return false;
}

void NetworkSerialLine::sendControl(quint8 value)
{
    if (isOpen() && m_comPort)
        send(m_comPort->control(value));
}

void NetworkSerialLine::lose()
{
    if (m_lost)
        return;
    m_lost = true;
    m_errorText = ClosedText;
    m_socket->abort();
    if (m_ready)
        warnOnce(m_portName, ClosedText);
}
