#pragma once

#include "emulator/readerdefect.h"
#include "serial/serialline.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <array>
#include <optional>

// What goes wrong with the reader's replies when a test asks for it.
enum class FaultKind
{
    None,
    NoAnswer,     // the reply is not sent
    OneByteShort, // the reply loses its last byte
    OneByteLong,  // one byte more follows the reply
    Late,         // the reply comes after the late delay instead of the answer delay
    Garbage,      // a reply of the right length whose every byte is wrong, always the same way
    Vanished,     // the device is gone (at once, or when the fault's command arrives)
};

// A fault limited to one command code (0: every command) and to the next count replies
// (-1: until another fault replaces it). A vanished device stays gone until it is brought back.
struct ReplyFault
{
    FaultKind kind = FaultKind::None;
    char command = 0;
    int count = -1;
};

// The reader's answer to one complete request, as the line carrying it needs to know it.
struct ReaderAnswer
{
    QByteArray bytes;  // empty for a request without reply, or a reply that is not sent
    bool late = false; // sent after the late delay rather than the line's answer delay
};

// One display-character request as the display received it.
struct DisplayCharacter
{
    quint8 code = 0;
    quint8 trailer = 0;

    friend bool operator==(const DisplayCharacter &, const DisplayCharacter &) = default;
};

// A model of a Vorn reader: it takes request bytes as they come off the line and gives the
// reply bytes of every complete request. It knows nothing of time or of a line; the line that
// carries it decides when the bytes travel.
//
// Settings the reader keeps permanently (card clocks and the time value) have a working and a
// stored copy. "m" and "o" only store when the unlock request "p" with the right code came
// directly before them; powerCycle() reloads the working copies from the stored ones.
class EmulatedReader
{
public:
    static constexpr int DefaultLateDelayMs = 1100;

    // Identity and card slots.
    quint8 modelType() const { return m_modelType; }
    void setModelType(quint8 code) { m_modelType = code; }
    quint8 firmwareVersion() const { return m_firmwareVersion; }
    void setFirmwareVersion(quint8 version) { m_firmwareVersion = version; }
    quint16 serialNumber() const { return m_serialNumber; }
    void setSerialNumber(quint16 serial) { m_serialNumber = serial; }
    // Bit i set: slot i holds a card.
    quint8 occupiedSlots() const { return m_occupiedSlots; }
    void setOccupiedSlots(quint8 bits) { m_occupiedSlots = bits; }
    int selectedSlot() const { return m_selectedSlot; }
    void setSelectedSlot(int slot) { m_selectedSlot = slot & 7; }

    // Card clocks as the 16-bit number the "g" reply and the "c" request carry high byte first:
    // slot n's 2-bit clock code in bits 2n+1 and 2n.
    quint16 workingClocks() const { return m_workingClocks; }
    void setWorkingClocks(quint16 packed) { m_workingClocks = packed; }
    quint16 storedClocks() const { return m_storedClocks; }
    void setStoredClocks(quint16 packed) { m_storedClocks = packed; }
    static int clockCode(quint16 packedClocks, int slot)
    {
        return (packedClocks >> (2 * slot)) & 3;
    }

    // The time value in counts (153 a second).
    quint16 workingTime() const { return m_workingTime; }
    void setWorkingTime(quint16 counts) { m_workingTime = counts; }
    quint16 storedTime() const { return m_storedTime; }
    void setStoredTime(quint16 counts) { m_storedTime = counts; }

    // What the display was asked to show, oldest first; dot patterns are 7 bytes each.
    QList<DisplayCharacter> displayedCharacters() const { return m_displayedCharacters; }
    QList<QByteArray> dotPatterns() const { return m_dotPatterns; }
    void clearDisplay();

    // The card-presence and card-change lines the reader drives.
    ModemLines modemLines() const { return m_modemLines; }
    void setClearToSend(bool active) { m_modemLines.clearToSend = active; }
    void setDataCarrierDetect(bool active) { m_modemLines.dataCarrierDetect = active; }

    // A real reader only listens while DTR is asserted; a pseudo-terminal has no DTR, so its
    // server turns the requirement off. Releasing DTR drops a half-received request.
    bool requiresDtr() const { return m_requireDtr; }
    void setRequireDtr(bool required) { m_requireDtr = required; }
    bool dataTerminalReady() const { return m_dtr; }
    void setDataTerminalReady(bool asserted);

    // Takes bytes as they arrive, in pieces of any size, and returns the reply bytes of the
    // requests they complete (late replies included: the model has no time).
    QByteArray receive(QByteArrayView bytes);
    // Takes one byte; when it completes a request, returns the reader's answer to it.
    std::optional<ReaderAnswer> receiveByte(char byte);

    // The complete requests received, oldest first: all of them, or the last RequestLogLimit
    // for a reader that has been served for long (a server must not grow without end).
    static constexpr qsizetype RequestLogLimit = 4096;
    QList<QByteArray> receivedRequests() const { return m_receivedRequests; }
    void clearReceivedRequests() { m_receivedRequests.clear(); }

    // Off and on again: the working settings reload from the stored ones, a half-received
    // request and a pending unlock are forgotten.
    void powerCycle();

    ReplyFault fault() const { return m_fault; }
    void setFault(const ReplyFault &fault);
    void clearFault() { m_fault = ReplyFault{}; }
    int lateDelayMs() const { return m_lateDelayMs; }
    void setLateDelayMs(int milliseconds) { m_lateDelayMs = milliseconds; }
    bool isVanished() const { return m_vanished; }
    void setVanished(bool vanished);

    // Lasting defects, kept until they are replaced. Setting them starts the count of requests
    // that no-answer-after-N waits for.
    QList<ReaderDefect> defects() const { return m_defects; }
    void setDefects(const QList<ReaderDefect> &defects);
    void addDefect(const ReaderDefect &defect);

    // Request length including the command code; 0 for a code the reader does not know.
    static qsizetype requestLength(char code);
    // The dot pattern: the code and seven pattern bytes.
    static constexpr qsizetype LongestRequest = 8;
    // Reply length of a known command; 0 for commands without reply.
    static qsizetype replyLength(char code);

private:
    ReaderAnswer answer(const QByteArray &request);
    QByteArray execute(const QByteArray &request);
    // The unlock request arms the store of the very next request only.
    bool takeUnlock();
    void selectSlot(int slot);
    QByteArray tarvikStatus() const;
    QByteArray tarvikSelectSlot(quint8 slotNumber);
    int slotCount() const;
    bool faultApplies(char command) const;
    ReaderAnswer spoil(QByteArray reply);
    quint16 clocksAfterSet(quint16 requested) const;
    bool isSelectable(int slot) const;
    // Without power after the number of requests the defect allows.
    bool isSilenced() const;

    quint8 m_modelType = 8;
    quint8 m_firmwareVersion = 1;
    quint16 m_serialNumber = 0;
    quint8 m_occupiedSlots = 0;
    int m_selectedSlot = 0;
    quint16 m_workingClocks = 0;
    quint16 m_storedClocks = 0;
    quint16 m_workingTime = 0;
    quint16 m_storedTime = 0;
    QList<DisplayCharacter> m_displayedCharacters;
    QList<QByteArray> m_dotPatterns;
    ModemLines m_modemLines;

    bool m_requireDtr = true;
    bool m_dtr = false;
    bool m_unlocked = false;
    // The request being received; a fixed buffer, so taking bytes never allocates.
    std::array<char, LongestRequest> m_pending{};
    qsizetype m_pendingLength = 0;
    QList<QByteArray> m_receivedRequests;

    ReplyFault m_fault;
    int m_lateDelayMs = DefaultLateDelayMs;
    bool m_vanished = false;

    QList<ReaderDefect> m_defects;
    quint8 m_echoFlipMask = 0;
    quint16 m_stuckClockMask = 0; // the two clock bits of every stuck slot
    quint8 m_unselectableSlots = 0;
    bool m_tarvikDisagrees = false;
    std::optional<qint64> m_answeredRequestLimit;
    qint64 m_requestsHeard = 0;
};
