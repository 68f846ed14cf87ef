#include "display/displaycommands.h"

#include "device/readerprotocol.h"
#include "serial/devicetransaction.h"

#include <QByteArray>
#include <QString>

#include <array>

namespace {

using ReaderProtocol::CharacterTrailer;
using ReaderProtocol::ClosingCharacterTrailer;

constexpr int PatternBytes = 7;

struct DotPatternStep
{
    std::array<quint8, PatternBytes> pattern;
    int waitMs;
};

// 0x1F lights all five dots of a pattern byte.
constexpr std::array<DotPatternStep, 12> DisplayTestSteps{{
    {{0x1F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 200},
    {{0x00, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00}, 100},
    {{0x00, 0x00, 0x1F, 0x00, 0x00, 0x00, 0x00}, 100},
    {{0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}, 100},
    {{0x00, 0x00, 0x00, 0x00, 0x1F, 0x00, 0x00}, 100},
    {{0x00, 0x00, 0x00, 0x00, 0x00, 0x1F, 0x00}, 100},
    {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}, 300},
    {{0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01}, 200},
    {{0x02, 0x02, 0x02, 0x02, 0x02, 0x02, 0x02}, 150},
    {{0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}, 150},
    {{0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08}, 150},
    {{0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10}, 200},
}};

constexpr quint8 Space = 0x20;

QByteArray characterRequest(quint8 code, quint8 trailer)
{
    QByteArray request;
    request.append(ReaderProtocol::ShowCharacter);
    request.append(char(code));
    request.append(char(trailer));
    return request;
}

QByteArray dotPatternRequest(const std::array<quint8, PatternBytes> &pattern)
{
    QByteArray request;
    request.append(ReaderProtocol::DotPattern);
    for (const quint8 byte : pattern)
        request.append(char(byte));
    return request;
}

} // namespace

DisplayCommands::DisplayCommands(DeviceTransaction &transaction) : m_transaction(transaction) {}

void DisplayCommands::showCharacter(quint8 code)
{
    m_transaction.setCommandName("char");
    m_transaction.writeOnly(characterRequest(code, CharacterTrailer));
}

void DisplayCommands::showText(const QString &text)
{
    m_transaction.setCommandName("text");
    const QByteArray latin1 = text.toLatin1();
    WriteSequence sequence(m_transaction);
    for (const char byte : latin1)
        sequence.send(characterRequest(quint8(byte), CharacterTrailer), TextCharacterWaitMs);
}

void DisplayCommands::runDisplayTest()
{
    m_transaction.setCommandName("display-test");
    WriteSequence sequence(m_transaction);
    for (const DotPatternStep &step : DisplayTestSteps)
        sequence.send(dotPatternRequest(step.pattern), step.waitMs);
    sequence.send(characterRequest(Space, ClosingCharacterTrailer), CharacterWaitMs);
}
