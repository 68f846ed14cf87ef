#include "device/clockselection.h"
#include "device/identification.h"
#include "device/slotstatus.h"
#include "device/timesetting.h"

#include <QTest>

using Codes = std::array<quint8, 8>;
Q_DECLARE_METATYPE(Codes)

class CodecsTest : public QObject
{
    Q_OBJECT

private slots:
    void slotStatus_data();
    void slotStatus();
    void clockPacking_data();
    void clockPacking();
    void clockPackingRoundTrips();
    void frequencyTexts_data();
    void frequencyTexts();
    void identificationText_data();
    void identificationText();
    void secondsFromCounts_data();
    void secondsFromCounts();
    void countsFromEntry_data();
    void countsFromEntry();
    void everyEntryReadsBackUnchanged();
};

void CodecsTest::slotStatus_data()
{
    QTest::addColumn<quint8>("occupancy");
    QTest::addColumn<quint8>("selectedByte");
    QTest::addColumn<QList<int>>("occupied");
    QTest::addColumn<quint8>("selected");
    QTest::newRow("A5 03") << quint8(0xA5) << quint8(0x03) << QList<int>{1, 3, 6, 8} << quint8(3);
    QTest::newRow("only bits 0-2 select")
        << quint8(0x00) << quint8(0xFA) << QList<int>{} << quint8(2);
    QTest::newRow("all") << quint8(0xFF) << quint8(0x07) << QList<int>{1, 2, 3, 4, 5, 6, 7, 8}
                         << quint8(7);
    QTest::newRow("first and last")
        << quint8(0x81) << quint8(0x08) << QList<int>{1, 8} << quint8(0);
}

void CodecsTest::slotStatus()
{
    QFETCH(quint8, occupancy);
    QFETCH(quint8, selectedByte);
    QFETCH(QList<int>, occupied);
    QFETCH(quint8, selected);
    const SlotStatus status = SlotStatus::fromReply(occupancy, selectedByte);
    QCOMPARE(SlotStatus::occupiedSlotNumbers(status.occupancy), occupied);
    QCOMPARE(status.selectedSlot, selected);
}

void CodecsTest::clockPacking_data()
{
    QTest::addColumn<quint8>("first");
    QTest::addColumn<quint8>("second");
    QTest::addColumn<Codes>("codes");
    QTest::newRow("1B E4") << quint8(0x1B) << quint8(0xE4) << Codes{0, 1, 2, 3, 3, 2, 1, 0};
    QTest::newRow("slot 3 at 8 MHz, slot 4 at 3.68")
        << quint8(0x01) << quint8(0xC0) << Codes{0, 0, 0, 3, 1, 0, 0, 0};
    QTest::newRow("all 3.57") << quint8(0x00) << quint8(0x00) << Codes{};
    QTest::newRow("all 8 MHz") << quint8(0xFF) << quint8(0xFF) << Codes{3, 3, 3, 3, 3, 3, 3, 3};
}

void CodecsTest::clockPacking()
{
    QFETCH(quint8, first);
    QFETCH(quint8, second);
    QFETCH(Codes, codes);
    QCOMPARE(ClockSelection::fromBytes(first, second).codes(), codes);
    const ClockSelection selection(codes);
    QCOMPARE(selection.firstByte(), first);
    QCOMPARE(selection.secondByte(), second);
}

void CodecsTest::clockPackingRoundTrips()
{
    for (int first = 0; first < 256; first += 7)
        for (int second = 0; second < 256; second += 11) {
            const ClockSelection selection =
                ClockSelection::fromBytes(quint8(first), quint8(second));
            QCOMPARE(selection.firstByte(), quint8(first));
            QCOMPARE(selection.secondByte(), quint8(second));
        }
}

void CodecsTest::frequencyTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("code"); // -1: not a frequency of the reader
    QTest::newRow("3.57") << "3.57" << 0;
    QTest::newRow("3,68 comma") << "3,68" << 1;
    QTest::newRow("6.00") << "6.00" << 2;
    QTest::newRow("8,00 comma") << "8,00" << 3;
    QTest::newRow("8 without decimals") << "8" << -1;
    QTest::newRow("4.00") << "4.00" << -1;
    QTest::newRow("empty") << "" << -1;
}

void CodecsTest::frequencyTexts()
{
    QFETCH(QString, text);
    QFETCH(int, code);
    const std::optional<quint8> parsed = ClockSelection::codeForFrequency(text);
    QCOMPARE(parsed.has_value(), code >= 0);
    if (parsed) {
        QCOMPARE(int(*parsed), code);
        QCOMPARE(ClockSelection::frequencyText(*parsed), QString(text).replace(',', '.'));
    }
}

void CodecsTest::identificationText_data()
{
    QTest::addColumn<quint8>("version");
    QTest::addColumn<quint8>("model");
    QTest::addColumn<quint16>("serial");
    QTest::addColumn<QString>("text");
    QTest::newRow("example") << quint8(3) << quint8(8) << quint16(0x04D2)
                             << "Version: 3 - Type Vorn8 - SN: 001234";
    QTest::newRow("version 255 unsigned")
        << quint8(0xFF) << quint8(4) << quint16(7) << "Version: 255 - Type Vorn4 - SN: 000007";
    QTest::newRow("version 0, largest serial")
        << quint8(0) << quint8(8) << quint16(0xFFFF) << "Version: 0 - Type Vorn8 - SN: 065535";
    QTest::newRow("low byte 0x80")
        << quint8(1) << quint8(8) << quint16(0x0180) << "Version: 1 - Type Vorn8 - SN: 000384";
    QTest::newRow("type 0") << quint8(1) << quint8(0) << quint16(1)
                            << "Version: 1 - Type unknown - SN: 000001";
    QTest::newRow("type 255") << quint8(1) << quint8(255) << quint16(1)
                              << "Version: 1 - Type unknown - SN: 000001";
}

void CodecsTest::identificationText()
{
    QFETCH(quint8, version);
    QFETCH(quint8, model);
    QFETCH(quint16, serial);
    QFETCH(QString, text);
    Identification identification;
    identification.version = version;
    identification.modelType = model;
    identification.serialNumber = serial;
    QCOMPARE(identification.text(), text);
}

void CodecsTest::secondsFromCounts_data()
{
    QTest::addColumn<quint16>("counts");
    QTest::addColumn<quint32>("seconds");
    QTest::newRow("00 99") << quint16(0x0099) << 1u;
    QTest::newRow("00 98") << quint16(0x0098) << 0u;
    QTest::newRow("80 00 high byte unsigned") << quint16(0x8000) << 214u;
    QTest::newRow("FF FF") << quint16(0xFFFF) << 428u;
}

void CodecsTest::secondsFromCounts()
{
    QFETCH(quint16, counts);
    QFETCH(quint32, seconds);
    QCOMPARE(TimeSetting::secondsFromCounts(counts), seconds);
}

void CodecsTest::countsFromEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("counts"); // -1: nothing is sent
    QTest::newRow("10") << "10" << 1530;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("428") << "428" << 0xFFCC;
    QTest::newRow("429 would wrap") << "429" << -1;
    QTest::newRow("4294967295") << "4294967295" << -1;
    QTest::newRow("beyond 32 bits") << "4294967296" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("letters") << "abc" << -1;
    QTest::newRow("minus") << "-1" << -1;
    QTest::newRow("hex is not decimal") << "0x10" << -1;
    QTest::newRow("full-width digits") << QString::fromUtf8("\xEF\xBC\x91\xEF\xBC\x90") << -1;
}

void CodecsTest::countsFromEntry()
{
    QFETCH(QString, entry);
    QFETCH(int, counts);
    const std::optional<quint16> converted = TimeSetting::countsFromEntry(entry);
    QCOMPARE(converted.has_value(), counts >= 0);
    if (converted)
        QCOMPARE(int(*converted), counts);
}

void CodecsTest::everyEntryReadsBackUnchanged()
{
    for (quint32 seconds = 0; seconds <= TimeSetting::MaxSeconds; ++seconds) {
        const std::optional<quint16> counts =
            TimeSetting::countsFromEntry(QString::number(seconds));
        QVERIFY(counts);
        QCOMPARE(TimeSetting::secondsFromCounts(*counts), seconds);
    }
}

QTEST_GUILESS_MAIN(CodecsTest)
#include "tst_codecs.moc"
