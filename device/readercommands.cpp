#include "device/readercommands.h"

#include "device/readerprotocol.h"
#include "serial/devicetransaction.h"

namespace RP = ReaderProtocol;

namespace {

DeviceError errorOf(ExchangeStatus status)
{
    switch (status) {
    case ExchangeStatus::Done:
        return DeviceError::None;
    case ExchangeStatus::WrongReplyLength:
        return DeviceError::ReadError;
    case ExchangeStatus::Timeout:
        return DeviceError::Timeout;
    }
    return DeviceError::ReadError;
}

template <std::size_t N> QByteArrayView view(const std::array<char, N> &bytes)
{
    return QByteArrayView(bytes.data(), qsizetype(N));
}

char byte(quint32 value)
{
    return static_cast<char>(value & 0xFF);
}

} // namespace

ReaderCommands::ReaderCommands(DeviceTransaction &transaction) : m_transaction(transaction) {}

DeviceResult<SlotStatus> ReaderCommands::readStatus()
{
    m_transaction.setCommandName("status");
    const std::array<char, 1> request{RP::Status};
    const DeviceError error = errorOf(m_transaction.standard(view(request), RP::StatusReply));
    if (error != DeviceError::None)
        return {error, {}};
    const CommandBuffer &reply = m_transaction.buffer();
    return {error, SlotStatus::fromReply(reply.at(0), reply.at(1))};
}

void ReaderCommands::selectSlot(quint8 slotIndex)
{
    m_transaction.setCommandName("select-slot");
    const std::array<char, 2> request{RP::SelectSlot, byte(slotIndex)};
    m_transaction.writeOnly(view(request));
}

Identification ReaderCommands::identify()
{
    m_transaction.setCommandName("info");
    Identification identification;
    ChainedExchange chain(m_transaction);
    const CommandBuffer &reply = m_transaction.buffer();

    const std::array<char, 1> version{RP::Version};
    if (chain.step(view(version), RP::VersionReply) != ExchangeStatus::Done)
        return {DeviceError::ReadError, {}, {}, {}};
    identification.version = reply.at(0);

    const std::array<char, 1> modelType{RP::ModelType};
    if (chain.step(view(modelType), RP::ModelTypeReply) != ExchangeStatus::Done)
        return {DeviceError::ReadError, identification.version, {}, {}};
    identification.modelType = reply.at(0);

    const std::array<char, 1> serialNumber{RP::SerialNumber};
    if (chain.step(view(serialNumber), RP::SerialNumberReply) != ExchangeStatus::Done) {
        identification.error = DeviceError::ReadError;
        return identification;
    }
    identification.serialNumber = static_cast<quint16>(reply.at(0) << 8 | reply.at(1));
    return identification;
}

DeviceResult<ClockSelection> ReaderCommands::readClocks()
{
    m_transaction.setCommandName("clocks");
    const std::array<char, 1> request{RP::ReadClocks};
    const DeviceError error = errorOf(m_transaction.standard(view(request), RP::ClocksReply));
    if (error != DeviceError::None)
        return {error, {}};
    const CommandBuffer &reply = m_transaction.buffer();
    return {error, ClockSelection::fromBytes(reply.at(0), reply.at(1))};
}

void ReaderCommands::writeClocks(const ClockSelection &selection)
{
    m_transaction.setCommandName("set-clocks");
    const std::array<char, 3> request{RP::WriteClocks, byte(selection.firstByte()),
                                      byte(selection.secondByte())};
    m_transaction.writeOnly(view(request));
}

void ReaderCommands::storeClocks(const ClockSelection &selection)
{
    writeClocks(selection);
    m_transaction.setCommandName("store-clocks");
    const std::array<char, 1> request{RP::StoreClocks};
    sendUnlockedRequest(view(request));
}

DeviceResult<quint16> ReaderCommands::readTimeCounts()
{
    m_transaction.setCommandName("time");
    const std::array<char, 1> request{RP::ReadTime};
    const DeviceError error = errorOf(m_transaction.standard(view(request), RP::TimeReply));
    if (error != DeviceError::None)
        return {error, 0};
    const CommandBuffer &reply = m_transaction.buffer();
    return {error, static_cast<quint16>(reply.at(0) << 8 | reply.at(1))};
}

void ReaderCommands::storeTimeCounts(quint16 counts)
{
    m_transaction.setCommandName("set-time");
    const std::array<char, 3> request{RP::StoreTime, byte(counts >> 8), byte(counts)};
    sendUnlockedRequest(view(request));
}

EchoResult ReaderCommands::echo(quint8 character)
{
    m_transaction.setCommandName("echo");
    const std::array<char, 2> request{RP::Echo, byte(character)};
    const ExchangeStatus status = m_transaction.nonAborting(view(request), RP::EchoReply, "?");
    return {errorOf(status), m_transaction.buffer().at(0)};
}

DeviceResult<quint8> ReaderCommands::tarvikStatus()
{
    m_transaction.setCommandName("tarvik-status");
    const std::array<char, 1> request{RP::TarvikStatus};
    const DeviceError error = errorOf(m_transaction.polled(view(request), RP::TarvikStatusReply));
    if (error != DeviceError::None)
        return {error, 0};
    return {error, m_transaction.buffer().at(2)};
}

DeviceError ReaderCommands::tarvikSelectSlot(quint8 slotNumber)
{
    m_transaction.setCommandName("tarvik-select-slot");
    const std::array<char, 2> request{RP::TarvikSelectSlot, byte(slotNumber)};
    return errorOf(m_transaction.polled(view(request), RP::TarvikSelectSlotReply));
}

void ReaderCommands::sendUnlockedRequest(QByteArrayView request)
{
    const std::array<char, 3> unlock{RP::Unlock, byte(RP::UnlockCode[0]), byte(RP::UnlockCode[1])};
    WriteSequence sequence(m_transaction);
    sequence.send(view(unlock), DeviceTransaction::ReplyWaitMs);
    sequence.send(request, DeviceTransaction::ReplyWaitMs);
}
