#include "serial/serialportline.h"

#include <QFileInfo>

namespace {

// Errors that say nothing about the device: a wait that found nothing to pull, and modem-line
// calls that a pseudo-terminal does not support.
bool isHarmless(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::NoError || error == QSerialPort::TimeoutError ||
           error == QSerialPort::UnsupportedOperationError;
}

} // namespace

SerialPortLine::SerialPortLine(const QString &portName)
{
    // A path such as /dev/serial/by-id/... or /dev/pts/3 is taken as it is; QSerialPort
    // resolves a short name such as ttyUSB0 under /dev.
    m_port.setPortName(portName);
    watchBackgroundErrors();
}

SerialPortLine::~SerialPortLine() = default;

QString SerialPortLine::portName() const
{
    return m_port.portName();
}

bool SerialPortLine::open()
{
    applyLineParameters();
    const bool opened = m_port.open(QIODevice::ReadWrite);
    // Some drivers reset the line parameters on open; set them once more.
    applyLineParameters();
    if (!opened) {
        m_errorText = m_port.errorString();
        m_openFailure = classifyOpenError(m_port.error(), m_errorText);
        m_port.clearError();
        return false;
    }
    m_vanished = false;
    m_openFailure = OpenFailure::None;
    m_errorText.clear();
    return true;
}

void SerialPortLine::close()
{
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
}

bool SerialPortLine::isOpen() const
{
    return m_port.isOpen() && !m_vanished;
}

qint64 SerialPortLine::bytesWaiting()
{
    if (!isOpen())
        return -1;
    // The count only grows when bytes are pulled from the device.
    while (m_port.waitForReadyRead(0)) {
    }
    if (!checkError())
        return -1;
    return m_port.bytesAvailable();
}

qint64 SerialPortLine::read(char *data, qint64 maxSize)
{
    if (!isOpen())
        return -1;
    const qint64 got = m_port.read(data, maxSize);
    return checkError() ? got : -1;
}

qint64 SerialPortLine::write(const char *data, qint64 size)
{
    if (!isOpen())
        return -1;
    const qint64 written = m_port.write(data, size);
    m_port.flush();
    return checkError() ? written : -1;
}

void SerialPortLine::setDataTerminalReady(bool asserted)
{
    if (!isOpen())
        return;
    m_port.setDataTerminalReady(asserted);
    checkError();
}

void SerialPortLine::setRequestToSend(bool asserted)
{
    if (!isOpen())
        return;
    m_port.setRequestToSend(asserted);
    checkError();
}

ModemLines SerialPortLine::modemLines()
{
    if (!isOpen())
        return {};
    const QSerialPort::PinoutSignals pins = m_port.pinoutSignals();
    if (!checkError())
        return {};
    return ModemLines{pins.testFlag(QSerialPort::ClearToSendSignal),
                      pins.testFlag(QSerialPort::DataCarrierDetectSignal)};
}

OpenFailure SerialPortLine::classifyOpenError(QSerialPort::SerialPortError error,
                                              const QString &text)
{
    switch (error) {
    case QSerialPort::NoError:
        return OpenFailure::None;
    case QSerialPort::DeviceNotFoundError:
        return OpenFailure::NoSuchPort;
    case QSerialPort::PermissionError:
        return text.contains(QLatin1String("lock"), Qt::CaseInsensitive) ||
                       text.contains(QLatin1String("in use"), Qt::CaseInsensitive) ||
                       text.contains(QLatin1String("busy"), Qt::CaseInsensitive)
                   ? OpenFailure::InUse
                   : OpenFailure::PermissionDenied;
    default:
        return OpenFailure::Other;
    }
}

void SerialPortLine::applyLineParameters()
{
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
}

bool SerialPortLine::checkError()
{
    if (isHarmless(m_port.error())) {
        m_port.clearError();
        return true;
    }
    markVanished();
    return false;
}

void SerialPortLine::watchBackgroundErrors()
{
    // Whenever the event loop runs, QSerialPort reads the device on its own. When the far end
    // hangs up, that read fails again and again at full speed, long before our next call would
    // look. The loss is taken on the next turn of the event loop rather than inside the port's
    // own notification, which must not close the port under its feet.
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) {
                         if (isHarmless(error) || !m_port.isOpen())
                             return;
                         QMetaObject::invokeMethod(
                             &m_port,
                             [this] {
                                 if (m_port.isOpen() && !m_vanished)
                                     markVanished();
                             },
                             Qt::QueuedConnection);
                     });
}

void SerialPortLine::markVanished()
{
    m_vanished = true;
    m_errorText = m_port.errorString();
    m_port.clearError();
    // Let go of the dead descriptor now: a closed port raises no more notifier errors.
    m_port.close();
}
