#pragma once

#include <QtGlobal>

#include <array>

// The reader's command codes and reply lengths. A request is the code followed by fixed
// argument bytes; a reply, where there is one, has a fixed length. Multi-byte numbers travel
// high byte first.
namespace ReaderProtocol {

constexpr char Status = '?';       // reply 2: slot bits, selected slot
constexpr char SelectSlot = 's';   // + slot index 0..7
constexpr char Version = 'v';      // reply 1
constexpr char ModelType = 't';    // reply 1: 4 or 8
constexpr char SerialNumber = 'n'; // reply 2
constexpr char ReadClocks = 'g';   // reply 2: packed clock codes
constexpr char WriteClocks = 'c';  // + 2 packed bytes
constexpr char Unlock = 'p';       // + the unlock code
constexpr char StoreClocks = 'm';
constexpr char StoreTime = 'o';        // + 2 bytes counts
constexpr char ReadTime = 'r';         // reply 2: counts
constexpr char Echo = 'e';             // + 1 character, reply 1
constexpr char ShowCharacter = 'a';    // + code, trailing byte
constexpr char DotPattern = 'd';       // + 7 pattern bytes
constexpr char TarvikStatus = 'G';     // reply 9: byte 2 slot bits
constexpr char TarvikSelectSlot = 'S'; // + slot number 1..8, reply 6

constexpr qsizetype StatusReply = 2;
constexpr qsizetype VersionReply = 1;
constexpr qsizetype ModelTypeReply = 1;
constexpr qsizetype SerialNumberReply = 2;
constexpr qsizetype ClocksReply = 2;
constexpr qsizetype TimeReply = 2;
constexpr qsizetype EchoReply = 1;
constexpr qsizetype TarvikStatusReply = 9;
constexpr qsizetype TarvikSelectSlotReply = 6;

// Sent after "p" directly before a request that makes the reader store a setting permanently.
constexpr std::array<quint8, 2> UnlockCode{0x5A, 0xC3};

// Trailing byte of the display-character request.
constexpr quint8 CharacterTrailer = 0xFF;
constexpr quint8 ClosingCharacterTrailer = 0x01;

// The slots the status bits and clock bytes have room for; the models, their type codes and
// slot counts are ReaderModel's.
constexpr int SlotCount = 8;

} // namespace ReaderProtocol
