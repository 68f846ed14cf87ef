#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// A lasting fault of an emulated reader, as a faulty unit on a production line has one: unlike
// a reply fault it stays for every request, and each one spoils exactly one kind of behaviour,
// so a checkout finds it in exactly one step.
struct ReaderDefect
{
    enum class Kind
    {
        EchoBit,          // echo-bit-N: bit N (0-7) of every echoed byte is flipped
        ClockStuckSlot,   // clock-stuck-slot-N: slot N's (1-8) clock ignores every set
        SlotUnselectable, // slot-unselectable-N: slot N (1-8) cannot be selected
        TarvikDisagrees,  // tarvik-disagrees: the Tarvik status reports one card more
        NoAnswerAfter,    // no-answer-after-N: silent after N requests, as on losing power
    };

    Kind kind = Kind::EchoBit;
    int number = 0;

    // "echo-bit-3" and the like; nothing for a name that is not a defect or a number out of
    // its range.
    static std::optional<ReaderDefect> fromName(const QString &name);
    QString name() const;
    // The names as they are written, with N standing for the number: for help texts.
    static QStringList syntax();

    friend bool operator==(const ReaderDefect &, const ReaderDefect &) = default;
};
