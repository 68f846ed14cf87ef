#include "bytes.h"
#include "device/readerprotocol.h"
#include "emulator/emulatedreader.h"

#include <QTest>

Q_DECLARE_METATYPE(ReplyFault)

namespace {

const QByteArray UnlockRequest("p\x5A\xC3", 3);

// An eight-slot reader with a card in slots 0, 2, 5 and 7, slot 3 selected, listening.
void setUpReader(EmulatedReader &reader)
{
    reader.setModelType(8);
    reader.setFirmwareVersion(3);
    reader.setSerialNumber(0x04D2);
    reader.setOccupiedSlots(0xA5);
    reader.setSelectedSlot(3);
    reader.setWorkingClocks(0x1BE4);
    reader.setWorkingTime(0x0599);
    reader.setDataTerminalReady(true);
}

QList<ReaderAnswer> answersTo(EmulatedReader &reader, const QList<QByteArray> &requests)
{
    QList<ReaderAnswer> answers;
    for (const QByteArray &request : requests) {
        ReaderAnswer answer;
        for (const char byte : request) {
            if (const std::optional<ReaderAnswer> complete = reader.receiveByte(byte))
                answer = *complete;
        }
        answers.append(answer);
    }
    return answers;
}

} // namespace

class EmulatedReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void commandTable_data();
    void commandTable();
    void requestsChangeState_data();
    void requestsChangeState();
    void displayRecordsCharactersAndPatterns();
    void piecesOfRequestsParse_data();
    void piecesOfRequestsParse();
    void storeNeedsUnlockDirectlyBefore_data();
    void storeNeedsUnlockDirectlyBefore();
    void powerCycleForgetsHalfRequest();
    void replyFaults_data();
    void replyFaults();
    void garbageKeepsLengthSpoilsEveryByteAlike();
    void vanishedReaderHearsNothing();
    void vanishesWhenItsCommandArrives();
    void listensOnlyWhileDtrAsserted();
    void defectNames_data();
    void defectNames();
    void defects_data();
    void defects();
};

void EmulatedReaderTest::commandTable_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("? status") << QByteArray("?") << bytes({0xA5, 0x03});
    QTest::newRow("v version") << QByteArray("v") << bytes({0x03});
    QTest::newRow("t model") << QByteArray("t") << bytes({0x08});
    QTest::newRow("n serial high first") << QByteArray("n") << bytes({0x04, 0xD2});
    QTest::newRow("g clocks") << QByteArray("g") << bytes({0x1B, 0xE4});
    QTest::newRow("r time high first") << QByteArray("r") << bytes({0x05, 0x99});
    QTest::newRow("e echoes") << QByteArray("ea") << QByteArray("a");
    QTest::newRow("e echoes NUL") << QByteArray("e\0", 2) << bytes({0x00});
    QTest::newRow("e echoes high byte") << bytes({'e', 0xE9}) << bytes({0xE9});
    QTest::newRow("G status, bits in byte 2")
        << QByteArray("G") << bytes({'G', 0x04, 0xA5, 0x08, 0x03, 0x04, 0xD2, 0x1B, 0xE4});
    QTest::newRow("S selects slot 2") << bytes({'S', 2}) << bytes({'S', 2, 0, 0xA5, 2, 0});
    QTest::newRow("S refuses slot 9") << bytes({'S', 9}) << bytes({'S', 9, 1, 0xA5, 4, 0});
    QTest::newRow("s no reply") << bytes({'s', 1}) << QByteArray();
    QTest::newRow("c no reply") << bytes({'c', 0x01, 0xC0}) << QByteArray();
    QTest::newRow("p no reply") << UnlockRequest << QByteArray();
    QTest::newRow("m no reply") << QByteArray("m") << QByteArray();
    QTest::newRow("o no reply") << bytes({'o', 0x05, 0xFA}) << QByteArray();
    QTest::newRow("a no reply") << bytes({'a', 0x41, 0xFF}) << QByteArray();
    QTest::newRow("d no reply") << bytes({'d', 0x1F, 0, 0, 0, 0, 0, 0}) << QByteArray();
}

void EmulatedReaderTest::commandTable()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    EmulatedReader reader;
    setUpReader(reader);
    QCOMPARE(EmulatedReader::requestLength(request.front()), request.size());
    QCOMPARE(reader.receive(request), reply);
    QCOMPARE(reply.size(), EmulatedReader::replyLength(request.front()));
    QCOMPARE(reader.receivedRequests(), QList<QByteArray>({request}));
}

void EmulatedReaderTest::requestsChangeState_data()
{
    QTest::addColumn<quint8>("model");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("readBack");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("s selects") << quint8(8) << bytes({'s', 5}) << QByteArray("?")
                               << bytes({0xA5, 5});
    QTest::newRow("s 8 ignored") << quint8(8) << bytes({'s', 8}) << QByteArray("?")
                                 << bytes({0xA5, 3});
    QTest::newRow("four-slot takes s 3")
        << quint8(4) << bytes({'s', 3}) << QByteArray("?") << bytes({0xA5, 3});
    QTest::newRow("four-slot ignores s 4")
        << quint8(4) << bytes({'s', 4}) << QByteArray("?") << bytes({0xA5, 3});
    QTest::newRow("S is one-based")
        << quint8(8) << bytes({'S', 8}) << QByteArray("?") << bytes({0xA5, 7});
    QTest::newRow("S 0 ignored") << quint8(8) << bytes({'S', 0}) << QByteArray("?")
                                 << bytes({0xA5, 3});
    QTest::newRow("c sets working clocks")
        << quint8(8) << bytes({'c', 0x01, 0xC0}) << QByteArray("g") << bytes({0x01, 0xC0});
    QTest::newRow("o without unlock keeps time")
        << quint8(8) << bytes({'o', 0x05, 0xFA}) << QByteArray("r") << bytes({0x05, 0x99});
    QTest::newRow("unlocked o sets time") << quint8(8) << UnlockRequest + bytes({'o', 0x05, 0xFA})
                                          << QByteArray("r") << bytes({0x05, 0xFA});
}

void EmulatedReaderTest::requestsChangeState()
{
    QFETCH(quint8, model);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, readBack);
    QFETCH(QByteArray, reply);
    EmulatedReader reader;
    setUpReader(reader);
    reader.setModelType(model);
    reader.receive(request);
    QCOMPARE(reader.receive(readBack), reply);
}

void EmulatedReaderTest::displayRecordsCharactersAndPatterns()
{
    EmulatedReader reader;
    setUpReader(reader);
    reader.receive(bytes({'a', 0x41, 0xFF, 'd', 1, 2, 3, 4, 5, 6, 7, 'a', 0x20, 0x01}));
    QCOMPARE(reader.displayedCharacters(), QList<DisplayCharacter>({{0x41, 0xFF}, {0x20, 0x01}}));
    QCOMPARE(reader.dotPatterns(), QList<QByteArray>({bytes({1, 2, 3, 4, 5, 6, 7})}));
    reader.clearDisplay();
    QVERIFY(reader.displayedCharacters().isEmpty());
    QVERIFY(reader.dotPatterns().isEmpty());
}

void EmulatedReaderTest::piecesOfRequestsParse_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QList<QByteArray>>("replies"); // one per piece
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::newRow("three requests in one piece")
        << QList<QByteArray>{"?vn"} << QList<QByteArray>{bytes({0xA5, 3, 3, 0x04, 0xD2})}
        << QList<QByteArray>{"?", "v", "n"};
    QTest::newRow("echo split") << QList<QByteArray>{"e", "x"} << QList<QByteArray>{"", "x"}
                                << QList<QByteArray>{"ex"};
    QTest::newRow("split across a joined piece")
        << QList<QByteArray>{"?e", "zv"} << QList<QByteArray>{bytes({0xA5, 3}), "z\x03"}
        << QList<QByteArray>{"?", "ez", "v"};
    QTest::newRow("dot pattern in three pieces")
        << QList<QByteArray>{"d\x1F\x01", "\x02\x03\x04", "\x05\x06"}
        << QList<QByteArray>{"", "", ""} << QList<QByteArray>{"d\x1F\x01\x02\x03\x04\x05\x06"};
    QTest::newRow("unknown codes dropped one by one")
        << QList<QByteArray>{"xy?", "Zt"} << QList<QByteArray>{bytes({0xA5, 3}), "\x08"}
        << QList<QByteArray>{"?", "t"};
    QTest::newRow("argument bytes are never codes")
        << QList<QByteArray>{"e?", "?"} << QList<QByteArray>{"?", bytes({0xA5, 3})}
        << QList<QByteArray>{"e?", "?"};
}

void EmulatedReaderTest::piecesOfRequestsParse()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QList<QByteArray>, requests);
    EmulatedReader reader;
    setUpReader(reader);
    QList<QByteArray> got;
    for (const QByteArray &piece : pieces)
        got.append(reader.receive(piece));
    QCOMPARE(got, replies);
    QCOMPARE(reader.receivedRequests(), requests);
    reader.clearReceivedRequests();
    QVERIFY(reader.receivedRequests().isEmpty());
}

void EmulatedReaderTest::storeNeedsUnlockDirectlyBefore_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<quint16>("storedClocks");
    QTest::addColumn<quint16>("workingTime"); // before the power cycle
    QTest::addColumn<quint16>("storedTime");
    const QByteArray storeTime = bytes({'o', 0x05, 0xFA});
    QTest::newRow("p m stores clocks") << QList<QByteArray>{UnlockRequest, "m"} << quint16(0x1BE4)
                                       << quint16(0x0599) << quint16(0);
    QTest::newRow("m alone") << QList<QByteArray>{"m"} << quint16(0) << quint16(0x0599)
                             << quint16(0);
    QTest::newRow("wrong code") << QList<QByteArray>{bytes({'p', 0x5A, 0x00}), "m"} << quint16(0)
                                << quint16(0x0599) << quint16(0);
    QTest::newRow("code bytes swapped") << QList<QByteArray>{bytes({'p', 0xC3, 0x5A}), "m"}
                                        << quint16(0) << quint16(0x0599) << quint16(0);
    QTest::newRow("reply request in between") << QList<QByteArray>{UnlockRequest, "?", "m"}
                                              << quint16(0) << quint16(0x0599) << quint16(0);
    QTest::newRow("unknown byte in between is no request")
        << QList<QByteArray>{UnlockRequest, "x", "m"} << quint16(0x1BE4) << quint16(0x0599)
        << quint16(0);
    QTest::newRow("select in between") << QList<QByteArray>{UnlockRequest, bytes({'s', 1}), "m"}
                                       << quint16(0) << quint16(0x0599) << quint16(0);
    QTest::newRow("unlock serves one store")
        << QList<QByteArray>{UnlockRequest, "m", bytes({'c', 0, 0}), "m"} << quint16(0x1BE4)
        << quint16(0x0599) << quint16(0);
    QTest::newRow("wrong code then right code")
        << QList<QByteArray>{bytes({'p', 0, 0}), UnlockRequest, "m"} << quint16(0x1BE4)
        << quint16(0x0599) << quint16(0);
    QTest::newRow("unlock split over pieces")
        << QList<QByteArray>{"p\x5A", "\xC3m"} << quint16(0x1BE4) << quint16(0x0599) << quint16(0);
    QTest::newRow("p o stores time") << QList<QByteArray>{UnlockRequest, storeTime} << quint16(0)
                                     << quint16(0x05FA) << quint16(0x05FA);
    QTest::newRow("o alone changes nothing")
        << QList<QByteArray>{storeTime} << quint16(0) << quint16(0x0599) << quint16(0);
    QTest::newRow("o uses up the unlock") << QList<QByteArray>{UnlockRequest, storeTime, "m"}
                                          << quint16(0) << quint16(0x05FA) << quint16(0x05FA);
}

void EmulatedReaderTest::storeNeedsUnlockDirectlyBefore()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(quint16, storedClocks);
    QFETCH(quint16, workingTime);
    QFETCH(quint16, storedTime);
    EmulatedReader reader;
    setUpReader(reader);
    for (const QByteArray &piece : pieces)
        reader.receive(piece);
    QCOMPARE(reader.workingTime(), workingTime);
    reader.powerCycle();
    QCOMPARE(reader.receive("g"), bytes({quint8(storedClocks >> 8), quint8(storedClocks)}));
    QCOMPARE(reader.receive("r"), bytes({quint8(storedTime >> 8), quint8(storedTime)}));
}

void EmulatedReaderTest::powerCycleForgetsHalfRequest()
{
    EmulatedReader reader;
    setUpReader(reader);
    reader.receive(UnlockRequest + "e");
    reader.powerCycle();
    QCOMPARE(reader.receive("?m"), bytes({0xA5, 3}));
    QCOMPARE(reader.storedClocks(), quint16(0)); // the unlock was forgotten too
}

void EmulatedReaderTest::replyFaults_data()
{
    QTest::addColumn<ReplyFault>("fault");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QList<bool>>("late");
    const QByteArray status = bytes({0xA5, 3});
    QTest::newRow("none") << ReplyFault{} << QList<QByteArray>{"?"} << QList<QByteArray>{status}
                          << QList<bool>{false};
    QTest::newRow("no answer") << ReplyFault{FaultKind::NoAnswer} << QList<QByteArray>{"?", "v"}
                               << QList<QByteArray>{"", ""} << QList<bool>{false, false};
    QTest::newRow("one byte short")
        << ReplyFault{FaultKind::OneByteShort} << QList<QByteArray>{"?", "v"}
        << QList<QByteArray>{bytes({0xA5}), ""} << QList<bool>{false, false};
    QTest::newRow("one byte long") << ReplyFault{FaultKind::OneByteLong} << QList<QByteArray>{"?"}
                                   << QList<QByteArray>{bytes({0xA5, 3, 0})} << QList<bool>{false};
    QTest::newRow("late") << ReplyFault{FaultKind::Late} << QList<QByteArray>{"?", "v"}
                          << QList<QByteArray>{status, "\x03"} << QList<bool>{true, true};
    QTest::newRow("only v") << ReplyFault{FaultKind::NoAnswer, 'v'}
                            << QList<QByteArray>{"?", "v", "?", "v"}
                            << QList<QByteArray>{status, "", status, ""}
                            << QList<bool>{false, false, false, false};
    QTest::newRow("next two replies")
        << ReplyFault{FaultKind::NoAnswer, 0, 2} << QList<QByteArray>{"?", "s\x01", "v", "?"}
        << QList<QByteArray>{"", "", "", bytes({0xA5, 1})}
        << QList<bool>{false, false, false, false};
    QTest::newRow("next late t") << ReplyFault{FaultKind::Late, 't', 1}
                                 << QList<QByteArray>{"v", "t", "t"}
                                 << QList<QByteArray>{"\x03", "\x08", "\x08"}
                                 << QList<bool>{false, true, false};
}

void EmulatedReaderTest::replyFaults()
{
    QFETCH(ReplyFault, fault);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QList<bool>, late);
    EmulatedReader reader;
    setUpReader(reader);
    reader.setFault(fault);
    QList<QByteArray> gotReplies;
    QList<bool> gotLate;
    for (const ReaderAnswer &answer : answersTo(reader, requests)) {
        gotReplies.append(answer.bytes);
        gotLate.append(answer.late);
    }
    QCOMPARE(gotReplies, replies);
    QCOMPARE(gotLate, late);
    QCOMPARE(reader.lateDelayMs(), EmulatedReader::DefaultLateDelayMs);
}

void EmulatedReaderTest::garbageKeepsLengthSpoilsEveryByteAlike()
{
    EmulatedReader reader;
    setUpReader(reader);
    const QByteArray right = reader.receive("G");
    reader.setFault({FaultKind::Garbage});
    const QByteArray garbage = reader.receive("G");
    QCOMPARE(garbage.size(), right.size());
    for (qsizetype i = 0; i < right.size(); ++i)
        QVERIFY2(garbage.at(i) != right.at(i), qPrintable(QString::number(i)));
    QCOMPARE(reader.receive("G"), garbage);
}

void EmulatedReaderTest::vanishedReaderHearsNothing()
{
    EmulatedReader reader;
    setUpReader(reader);
    reader.setFault({FaultKind::Vanished});
    QVERIFY(reader.isVanished());
    QVERIFY(reader.receive("?vc\x01\x02").isEmpty());
    QVERIFY(reader.receivedRequests().isEmpty());
    QCOMPARE(reader.workingClocks(), quint16(0x1BE4));
    reader.setVanished(false);
    QCOMPARE(reader.fault().kind, FaultKind::None);
    QCOMPARE(reader.receive("?"), bytes({0xA5, 3}));
}

void EmulatedReaderTest::vanishesWhenItsCommandArrives()
{
    EmulatedReader reader;
    setUpReader(reader);
    reader.setFault({FaultKind::Vanished, 't'});
    QVERIFY(!reader.isVanished());
    QCOMPARE(reader.receive("vtn"), bytes({0x03}));
    QVERIFY(reader.isVanished());
}

void EmulatedReaderTest::listensOnlyWhileDtrAsserted()
{
    EmulatedReader reader;
    setUpReader(reader);
    QVERIFY(reader.requiresDtr());
    reader.setDataTerminalReady(false);
    QVERIFY(reader.receive("?").isEmpty());
    QVERIFY(reader.receivedRequests().isEmpty());

    // A request cut by a DTR release is dropped, not completed by later bytes.
    reader.setDataTerminalReady(true);
    reader.receive("e");
    reader.setDataTerminalReady(false);
    reader.setDataTerminalReady(true);
    QCOMPARE(reader.receive("?"), bytes({0xA5, 3}));

    reader.setDataTerminalReady(false);
    reader.setRequireDtr(false);
    QCOMPARE(reader.receive("v"), bytes({0x03}));
}

void EmulatedReaderTest::defectNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    for (const char *name :
         {"echo-bit-0", "echo-bit-7", "clock-stuck-slot-1", "clock-stuck-slot-8",
          "slot-unselectable-3", "tarvik-disagrees", "no-answer-after-0", "no-answer-after-1000"})
        QTest::newRow(name) << QString::fromLatin1(name) << true;
    for (const char *name : {"echo-bit-8", "echo-bit-", "echo-bit--1", "echo-bit-+1",
                             "clock-stuck-slot-0", "clock-stuck-slot-9", "slot-unselectable-x",
                             "tarvik-disagrees-2", "no-answer-after-99999999999", "", "loose-wire"})
        QTest::newRow(name) << QString::fromLatin1(name) << false;
}

void EmulatedReaderTest::defectNames()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    const std::optional<ReaderDefect> defect = ReaderDefect::fromName(name);
    QCOMPARE(defect.has_value(), valid);
    if (valid)
        QCOMPARE(defect->name(), name);
}

void EmulatedReaderTest::defects_data()
{
    QTest::addColumn<QString>("defect");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QByteArray>("lastReply");
    // The reader of setUpReader: cards in slots 0, 2, 5, 7, slot 3 selected, clocks 1B E4.
    QTest::newRow("echo-bit-0") << "echo-bit-0" << QList<QByteArray>{"eA"} << QByteArray("@");
    QTest::newRow("echo-bit-7") << "echo-bit-7" << QList<QByteArray>{bytes({'e', 0x80})}
                                << bytes({0x00});
    QTest::newRow("clock of slot 1 stuck")
        << "clock-stuck-slot-1" << QList<QByteArray>{bytes({'c', 0xFF, 0xFF}), "g"}
        << bytes({0xFF, 0xFC});
    QTest::newRow("clock of slot 8 stuck")
        << "clock-stuck-slot-8" << QList<QByteArray>{bytes({'c', 0x00, 0x00}), "g"}
        << bytes({0x00, 0x00});
    QTest::newRow("slot 2 unselectable")
        << "slot-unselectable-2" << QList<QByteArray>{bytes({'s', 1}), "?"} << bytes({0xA5, 3});
    QTest::newRow("slot 2 unselectable, Tarvik refuses")
        << "slot-unselectable-2" << QList<QByteArray>{bytes({'S', 2})}
        << bytes({'S', 2, 1, 0xA5, 4, 0});
    QTest::newRow("slot 3 still selectable")
        << "slot-unselectable-2" << QList<QByteArray>{bytes({'s', 2}), "?"} << bytes({0xA5, 2});
    QTest::newRow("Tarvik reports one card more")
        << "tarvik-disagrees" << QList<QByteArray>{"G"}
        << bytes({'G', 0x04, 0xA7, 0x08, 0x03, 0x04, 0xD2, 0x1B, 0xE4});
    QTest::newRow("answers two requests")
        << "no-answer-after-2" << QList<QByteArray>{"v", "t"} << bytes({0x08});
    QTest::newRow("silent from the third")
        << "no-answer-after-2" << QList<QByteArray>{"v", "t", bytes({'c', 0, 0}), "g"}
        << QByteArray();
}

void EmulatedReaderTest::defects()
{
    QFETCH(QString, defect);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QByteArray, lastReply);
    EmulatedReader reader;
    setUpReader(reader);
    reader.setDefects({*ReaderDefect::fromName(defect)});
    QCOMPARE(answersTo(reader, requests).last().bytes, lastReply);
    if (defect.startsWith(QLatin1String("no-answer")))
        QCOMPARE(reader.workingClocks(), quint16(0x1BE4)); // a silent reader does nothing
    reader.setDefects({});
    QCOMPARE(answersTo(reader, {"eA"}).last().bytes, QByteArray("A"));
}

QTEST_GUILESS_MAIN(EmulatedReaderTest)
#include "tst_emulatedreader.moc"
