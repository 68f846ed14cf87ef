#include "emulator/linefactory.h"

#include "serial/openfailuremessage.h"

#include "device/readermodel.h"
#include "emulator/emulatedline.h"
#include "emulator/emulatedreader.h"
#include "serial/networkportname.h"
#include "serial/networklinemodule.h"
#include "serial/serialportline.h"

namespace {

const QString EightSlotPortName = QStringLiteral("emu-vorn8");
const QString FourSlotPortName = QStringLiteral("emu-vorn4");

} // namespace

LineFactory::LineFactory(WaitClock &clock) : m_clock(clock) {}

LineFactory::~LineFactory() = default;

QStringList LineFactory::emulatedPortNames()
{
    return {EightSlotPortName, FourSlotPortName};
}

QList<PortEntry> LineFactory::emulatedPorts()
{
    return {PortEntry{EightSlotPortName, QStringLiteral("Emulated eight-slot reader"), {}, {}},
            PortEntry{FourSlotPortName, QStringLiteral("Emulated four-slot reader"), {}, {}}};
}

QString LineFactory::devicePath(const QString &portName)
{
    return isEmulatedPortName(portName) ? portName : OpenFailureMessage::devicePath(portName);
}

bool LineFactory::isEmulatedPortName(const QString &portName)
{
    return emulatedPortNames().contains(portName);
}

std::unique_ptr<SerialLine> LineFactory::create(const QString &portName)
{
    return create(portName, m_clock);
}

std::unique_ptr<SerialLine> LineFactory::create(const QString &portName, WaitClock &clock)
{
    if (NetworkPortName::isNetworkName(portName))
        return NetworkLineModule::create(portName);
    if (!isEmulatedPortName(portName))
        return std::make_unique<SerialPortLine>(portName);
    return std::make_unique<EmulatedLine>(emulatedReader(portName), clock, portName);
}

EmulatedReader &LineFactory::emulatedReader(const QString &portName)
{
    Q_ASSERT(isEmulatedPortName(portName));
    const std::lock_guard lock(m_readersLock);
    std::unique_ptr<EmulatedReader> &reader = m_readers[portName];
    if (!reader)
        reader = makeReader(portName);
    return *reader;
}

std::unique_ptr<EmulatedReader> LineFactory::makeReader(const QString &portName)
{
    auto reader = std::make_unique<EmulatedReader>();
    if (portName == FourSlotPortName) {
        reader->setModelType(ReaderModel::all().first().typeCode());
        reader->setFirmwareVersion(2);
        reader->setSerialNumber(4321);
        reader->setOccupiedSlots(0x05);
        reader->setStoredClocks(0x0024);
    } else {
        reader->setModelType(ReaderModel::all().last().typeCode());
        reader->setFirmwareVersion(3);
        reader->setSerialNumber(1234);
        reader->setOccupiedSlots(0x25);
        reader->setStoredClocks(0x1BE4);
        reader->setStoredTime(1530);
    }
    reader->powerCycle();
    return reader;
}
