#include "emulator/emulatedreader.h"

#include "device/readermodel.h"
#include "device/readerprotocol.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace {

// Built in one allocation: a reply is made for every request the reader answers.
QByteArray bytesOf(std::initializer_list<quint8> values)
{
    QByteArray bytes(qsizetype(values.size()), Qt::Uninitialized);
    std::transform(values.begin(), values.end(), bytes.begin(),
                   [](quint8 value) { return char(value); });
    return bytes;
}

QByteArray highByteFirst(quint16 value)
{
    return bytesOf({quint8(value >> 8), quint8(value & 0xFF)});
}

// The byte that follows a reply one byte too long.
constexpr quint8 SurplusByte = 0x00;

// Garbage flips bits of every reply byte by a mask that depends only on the byte's position,
// so the same reply always turns into the same garbage and no byte stays right (the mask is
// never zero for the lengths the reader answers with).
quint8 garbageMask(qsizetype position)
{
    return quint8(0xA5 + 37 * position);
}

} // namespace

qsizetype EmulatedReader::requestLength(char code)
{
    using namespace ReaderProtocol;
    switch (code) {
    case Status:
    case Version:
    case ModelType:
    case SerialNumber:
    case ReadClocks:
    case StoreClocks:
    case ReadTime:
    case TarvikStatus:
        return 1;
    case SelectSlot:
    case Echo:
    case TarvikSelectSlot:
        return 2;
    case WriteClocks:
    case Unlock:
    case StoreTime:
    case ShowCharacter:
        return 3;
    case DotPattern:
        return 8;
    default:
        return 0;
    }
}

qsizetype EmulatedReader::replyLength(char code)
{
    using namespace ReaderProtocol;
    switch (code) {
    case Status:
        return StatusReply;
    case Version:
        return VersionReply;
    case ModelType:
        return ModelTypeReply;
    case SerialNumber:
        return SerialNumberReply;
    case ReadClocks:
        return ClocksReply;
    case ReadTime:
        return TimeReply;
    case Echo:
        return EchoReply;
    case TarvikStatus:
        return TarvikStatusReply;
    case TarvikSelectSlot:
        return TarvikSelectSlotReply;
    default:
        return 0;
    }
}

void EmulatedReader::clearDisplay()
{
    m_displayedCharacters.clear();
    m_dotPatterns.clear();
}

void EmulatedReader::setDataTerminalReady(bool asserted)
{
    m_dtr = asserted;
    if (!asserted && m_requireDtr)
        m_pendingLength = 0;
}

QByteArray EmulatedReader::receive(QByteArrayView bytes)
{
    QByteArray replies;
    for (const char byte : bytes) {
        if (const std::optional<ReaderAnswer> answer = receiveByte(byte))
            replies += answer->bytes;
    }
    return replies;
}

std::optional<ReaderAnswer> EmulatedReader::receiveByte(char byte)
{
    if (m_vanished || (m_requireDtr && !m_dtr))
        return std::nullopt;
    // An unknown code is dropped on its own, so the next byte may start a request again.
    if (m_pendingLength == 0 && requestLength(byte) == 0)
        return std::nullopt;
    m_pending[std::size_t(m_pendingLength++)] = byte;
    if (m_pendingLength < requestLength(m_pending.front()))
        return std::nullopt;
    const qsizetype length = std::exchange(m_pendingLength, 0);
    ++m_requestsHeard;
    if (isSilenced())
        return ReaderAnswer{};
    const QByteArray request(m_pending.data(), length);
    if (m_receivedRequests.size() == RequestLogLimit)
        m_receivedRequests.removeFirst();
    m_receivedRequests.append(request);
    return answer(request);
}

void EmulatedReader::powerCycle()
{
    m_workingClocks = m_storedClocks;
    m_workingTime = m_storedTime;
    m_pendingLength = 0;
    m_unlocked = false;
}

void EmulatedReader::setFault(const ReplyFault &fault)
{
    m_fault = fault;
    if (fault.kind == FaultKind::Vanished && fault.command == 0)
        setVanished(true);
}

void EmulatedReader::setVanished(bool vanished)
{
    m_vanished = vanished;
    m_pendingLength = 0;
    if (!vanished && m_fault.kind == FaultKind::Vanished)
        clearFault();
}

ReaderAnswer EmulatedReader::answer(const QByteArray &request)
{
    const char command = request.front();
    if (m_fault.kind == FaultKind::Vanished && faultApplies(command)) {
        m_vanished = true; // pulled out as the request came in: it is never carried out
        return {};
    }
    QByteArray reply = execute(request);
    Q_ASSERT(reply.size() == replyLength(command));
    if (reply.isEmpty() || !faultApplies(command))
        return ReaderAnswer{reply};
    return spoil(std::move(reply));
}

QByteArray EmulatedReader::execute(const QByteArray &request)
{
    using namespace ReaderProtocol;
    const bool unlocked = takeUnlock();
    const auto argument = [&request](qsizetype index) { return quint8(request.at(index)); };
    switch (request.front()) {
    case Status:
        return bytesOf({m_occupiedSlots, quint8(m_selectedSlot)});
    case SelectSlot:
        selectSlot(argument(1));
        return {};
    case Version:
        return bytesOf({m_firmwareVersion});
    case ModelType:
        return bytesOf({m_modelType});
    case SerialNumber:
        return highByteFirst(m_serialNumber);
    case ReadClocks:
        return highByteFirst(m_workingClocks);
    case WriteClocks:
        m_workingClocks = clocksAfterSet(quint16(argument(1) << 8 | argument(2)));
        return {};
    case Unlock:
        m_unlocked = argument(1) == UnlockCode[0] && argument(2) == UnlockCode[1];
        return {};
    case StoreClocks:
        if (unlocked)
            m_storedClocks = m_workingClocks;
        return {};
    case StoreTime:
        if (unlocked)
            m_workingTime = m_storedTime = quint16(argument(1) << 8 | argument(2));
        return {};
    case ReadTime:
        return highByteFirst(m_workingTime);
    case Echo:
        return bytesOf({quint8(argument(1) ^ m_echoFlipMask)});
    case ShowCharacter:
        m_displayedCharacters.append(DisplayCharacter{argument(1), argument(2)});
        return {};
    case DotPattern:
        m_dotPatterns.append(request.mid(1));
        return {};
    case TarvikStatus:
        return tarvikStatus();
    case TarvikSelectSlot:
        return tarvikSelectSlot(argument(1));
    default:
        return {};
    }
}

bool EmulatedReader::takeUnlock()
{
    return std::exchange(m_unlocked, false);
}

void EmulatedReader::selectSlot(int slot)
{
    if (slot < slotCount() && isSelectable(slot))
        m_selectedSlot = slot;
}

// 'G', the selected slot counted from 1, the slot bits, then the identity and the clocks.
QByteArray EmulatedReader::tarvikStatus() const
{
    quint8 occupancy = m_occupiedSlots;
    if (m_tarvikDisagrees) {
        // One card more: the first empty slot reads occupied (a full reader loses its last).
        occupancy = occupancy == 0xFF ? quint8(0x7F) : quint8(occupancy | (occupancy + 1));
    }
    return bytesOf({quint8('G'), quint8(m_selectedSlot + 1), occupancy, m_modelType,
                    m_firmwareVersion, quint8(m_serialNumber >> 8), quint8(m_serialNumber & 0xFF),
                    quint8(m_workingClocks >> 8), quint8(m_workingClocks & 0xFF)});
}

// 'S', the slot number asked for, 0 when it was taken or 1 when refused, the slot bits, the
// selected slot counted from 1, and 1 when that slot holds a card.
QByteArray EmulatedReader::tarvikSelectSlot(quint8 slotNumber)
{
    const bool accepted =
        slotNumber >= 1 && slotNumber <= slotCount() && isSelectable(slotNumber - 1);
    if (accepted)
        m_selectedSlot = slotNumber - 1;
    return bytesOf({quint8('S'), slotNumber, quint8(accepted ? 0 : 1), m_occupiedSlots,
                    quint8(m_selectedSlot + 1), quint8((m_occupiedSlots >> m_selectedSlot) & 1)});
}

void EmulatedReader::setDefects(const QList<ReaderDefect> &defects)
{
    m_defects.clear();
    m_echoFlipMask = 0;
    m_stuckClockMask = 0;
    m_unselectableSlots = 0;
    m_tarvikDisagrees = false;
    m_answeredRequestLimit.reset();
    for (const ReaderDefect &defect : defects)
        addDefect(defect);
    m_requestsHeard = 0;
}

void EmulatedReader::addDefect(const ReaderDefect &defect)
{
    m_defects.append(defect);
    switch (defect.kind) {
    case ReaderDefect::Kind::EchoBit:
        m_echoFlipMask |= quint8(1U << (defect.number & 7));
        break;
    case ReaderDefect::Kind::ClockStuckSlot:
        m_stuckClockMask |= quint16(3U << (2 * ((defect.number - 1) & 7)));
        break;
    case ReaderDefect::Kind::SlotUnselectable:
        m_unselectableSlots |= quint8(1U << ((defect.number - 1) & 7));
        break;
    case ReaderDefect::Kind::TarvikDisagrees:
        m_tarvikDisagrees = true;
        break;
    case ReaderDefect::Kind::NoAnswerAfter:
        m_requestsHeard = 0;
        m_answeredRequestLimit = defect.number;
        break;
    }
}

quint16 EmulatedReader::clocksAfterSet(quint16 requested) const
{
    return quint16((requested & ~m_stuckClockMask) | (m_workingClocks & m_stuckClockMask));
}

bool EmulatedReader::isSelectable(int slot) const
{
    return ((m_unselectableSlots >> slot) & 1) == 0;
}

bool EmulatedReader::isSilenced() const
{
    return m_answeredRequestLimit && m_requestsHeard > *m_answeredRequestLimit;
}

int EmulatedReader::slotCount() const
{
    // A type code of no model still answers for as many slots as it says, up to the most
    // the protocol's bytes hold.
    const ReaderModel *model = ReaderModel::byTypeCode(m_modelType);
    return model ? model->slotCount() : std::min<int>(m_modelType, ReaderProtocol::SlotCount);
}

bool EmulatedReader::faultApplies(char command) const
{
    return m_fault.kind != FaultKind::None && m_fault.count != 0 &&
           (m_fault.command == 0 || m_fault.command == command);
}

ReaderAnswer EmulatedReader::spoil(QByteArray reply)
{
    ReaderAnswer spoilt{std::move(reply)};
    switch (m_fault.kind) {
    case FaultKind::NoAnswer:
        spoilt.bytes.clear();
        break;
    case FaultKind::OneByteShort:
        spoilt.bytes.chop(1);
        break;
    case FaultKind::OneByteLong:
        spoilt.bytes.append(char(SurplusByte));
        break;
    case FaultKind::Late:
        spoilt.late = true;
        break;
    case FaultKind::Garbage:
        for (qsizetype i = 0; i < spoilt.bytes.size(); ++i)
            spoilt.bytes[i] = char(quint8(spoilt.bytes[i]) ^ garbageMask(i));
        break;
    case FaultKind::None:
    case FaultKind::Vanished:
        break;
    }
    if (m_fault.count > 0 && --m_fault.count == 0)
        clearFault();
    return spoilt;
}
