#pragma once

#include <QtGlobal>

class DeviceTransaction;
class QString;

// The requests that write to the reader's display. None of them has a reply: each is written
// while DTR is asserted and followed by a fixed wait, and nothing is checked or reported.
class DisplayCommands
{
public:
    // After the single character of showCharacter and after the closing space of the test.
    static constexpr int CharacterWaitMs = 50;
    // After each character of a text, so that the technician can read it.
    static constexpr int TextCharacterWaitMs = 500;

    explicit DisplayCommands(DeviceTransaction &transaction);

    // "a", code, 0xFF as a write-only exchange.
    void showCharacter(quint8 code);

    // One character of the text every 500 ms inside one DTR assertion. The text goes to the
    // reader as Latin-1: a code unit above U+00FF is sent as "?". An empty text only raises and
    // drops DTR.
    void showText(const QString &text);

    // The fixed dot-pattern test: a full column value walks through the seven pattern bytes,
    // then one bit at a time lights in all of them; it ends by showing a space.
    void runDisplayTest();

private:
    DeviceTransaction &m_transaction;
};
