#include "device/readerprotocol.h"
#include "emulator/emulatedline.h"
#include "windowfixture.h"

#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>

namespace {

const char *const ErrorText = "Error at reading Device!";
const char *const TimeoutText = "Timeout at reading Device!";

QByteArray unlockRequest()
{
    return QByteArray("p") + char(ReaderProtocol::UnlockCode[0]) +
           char(ReaderProtocol::UnlockCode[1]);
}

QStringList comboItems(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

QList<int> clockIndices(const WindowFixture &f)
{
    QList<int> indices;
    for (int slot = 0; slot < 8; ++slot)
        indices.append(f.index(qPrintable(QStringLiteral("comboBox_Freq_%1").arg(slot))));
    return indices;
}

QList<bool> slotBoxes(const WindowFixture &f)
{
    QList<bool> boxes;
    for (int slot = 0; slot < 8; ++slot)
        boxes.append(f.checked(qPrintable(QStringLiteral("checkBox_Slot%1").arg(slot))));
    return boxes;
}

} // namespace

// Every device button of the real window against the emulated four- and eight-slot readers:
// what the window shows, and what the reader received and stored.
class WindowCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void statusShowsSlotsAndSelection();
    void statusErrorLeavesDisplay();
    void setSlotSendsSelectedIndex_data();
    void setSlotSendsSelectedIndex();
    void setSlotWithoutCurrentItemSendsNothing();
    void identificationOfEightSlotReader();
    void fourThenEightSlotReaderChangesLayout();
    void unknownModelChangesNothing();
    void serialNumberFailureKeepsLayout();
    void clocksReadWriteStore();
    void clockReadErrorLeavesSelectors();
    void timeReadAndSet_data();
    void timeReadAndSet();
    void timeReadError();
    void echo_data();
    void echo();
    void tarvikStatusAndSelect();
    void tarvikTimeout();
    void everyCommandReleasesDtr_data();
    void everyCommandReleasesDtr();

private:
    QTemporaryDir m_settingsDir;
};

void WindowCommandsTest::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void WindowCommandsTest::statusShowsSlotsAndSelection()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.reader().setOccupiedSlots(0xA5);
    f.reader().setSelectedSlot(3);
    f.click("pushButton_GetStatus");
    QCOMPARE(slotBoxes(f), QList<bool>({true, false, true, false, false, true, false, true}));
    QCOMPARE(f.index("comboBox_SelectedSlot"), 3);
    QCOMPARE(f.reader().receivedRequests(), QList<QByteArray>{"?"});
}

void WindowCommandsTest::statusErrorLeavesDisplay()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.reader().setOccupiedSlots(0x81);
    f.click("pushButton_GetStatus");
    f.reader().setOccupiedSlots(0x7E);
    f.reader().setFault({FaultKind::OneByteLong, ReaderProtocol::Status, 1});
    f.click("pushButton_GetStatus");
    QCOMPARE(f.text("lineEdit_Version"), QString(ErrorText));
    QCOMPARE(slotBoxes(f), QList<bool>({true, false, false, false, false, false, false, true}));
}

void WindowCommandsTest::setSlotSendsSelectedIndex_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("Slot 1") << 0;
    QTest::newRow("Slot 8") << 7;
}

void WindowCommandsTest::setSlotSendsSelectedIndex()
{
    QFETCH(int, index);
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.control<QComboBox>("comboBox_SelectedSlot")->setCurrentIndex(index);
    f.click("pushButton_SetSlot");
    QCOMPARE(f.reader().receivedRequests(), QList<QByteArray>{QByteArray("s") + char(index)});
    QCOMPARE(f.reader().selectedSlot(), index);
}

void WindowCommandsTest::setSlotWithoutCurrentItemSendsNothing()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn4"));
    EmulatedReader &reader = f.reader("emu-vorn4");
    f.click("pushButton_Version");
    QCOMPARE(f.control<QComboBox>("comboBox_SelectedSlot")->count(), 4);
    // A four-slot reader that reports slot 7 as selected leaves the list without a current item.
    reader.setSelectedSlot(6);
    f.click("pushButton_GetStatus");
    QCOMPARE(f.index("comboBox_SelectedSlot"), -1);
    reader.clearReceivedRequests();
    f.click("pushButton_SetSlot");
    f.click("pushButton_TarvikSetSlot");
    QVERIFY(reader.receivedRequests().isEmpty());
}

void WindowCommandsTest::identificationOfEightSlotReader()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    EmulatedReader &reader = f.reader();
    reader.setFirmwareVersion(3);
    reader.setSerialNumber(0x04D2);
    reader.setOccupiedSlots(0x81);
    reader.setSelectedSlot(5);
    reader.setWorkingClocks(0x1BE4);
    f.click("pushButton_Version");
    QCOMPARE(f.text("lineEdit_Version"), QStringLiteral("Version: 3 - Type Vorn8 - SN: 001234"));
    // Status and clocks follow a successful identification.
    QCOMPARE(reader.receivedRequests(), QList<QByteArray>({"v", "t", "n", "?", "g"}));
    QCOMPARE(slotBoxes(f), QList<bool>({true, false, false, false, false, false, false, true}));
    QCOMPARE(f.index("comboBox_SelectedSlot"), 5);
    QCOMPARE(clockIndices(f), QList<int>({0, 1, 2, 3, 3, 2, 1, 0}));
}

void WindowCommandsTest::fourThenEightSlotReaderChangesLayout()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn4"));
    f.click("pushButton_Version");
    QCOMPARE(f.text("lineEdit_Version"), QStringLiteral("Version: 2 - Type Vorn4 - SN: 004321"));
    auto *slotList = f.control<QComboBox>("comboBox_SelectedSlot");
    QCOMPARE(comboItems(slotList), QStringList({"Slot 1", "Slot 2", "Slot 3", "Slot 4"}));
    for (const char *name :
         {"comboBox_Freq_4", "comboBox_Freq_5", "comboBox_Freq_6", "comboBox_Freq_7"})
        QVERIFY2(!f.enabled(name), name);
    f.click("pushButton_Version"); // a second time changes nothing
    QCOMPARE(slotList->count(), 4);

    // The trimmed list stays trimmed across Close and Open, while the selectors are enabled again.
    f.click("pushButton_ClosePorts");
    QVERIFY(f.open("emu-vorn8"));
    QCOMPARE(slotList->count(), 4);
    QVERIFY(f.enabled("comboBox_Freq_7"));
    f.click("pushButton_Version");
    QCOMPARE(comboItems(slotList), QStringList({"Slot 1", "Slot 2", "Slot 3", "Slot 4", "Slot 5",
                                                "Slot 6", "Slot 7", "Slot 8"}));
    f.click("pushButton_Version");
    QCOMPARE(slotList->count(), 8);
}

void WindowCommandsTest::unknownModelChangesNothing()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.reader().setModelType(0);
    f.click("pushButton_Version");
    QVERIFY(f.text("lineEdit_Version").contains(QLatin1String(" - Type unknown - ")));
    QCOMPARE(f.control<QComboBox>("comboBox_SelectedSlot")->count(), 8);
    QVERIFY(f.enabled("comboBox_Freq_4"));
}

void WindowCommandsTest::serialNumberFailureKeepsLayout()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn4"));
    EmulatedReader &reader = f.reader("emu-vorn4");
    reader.setFault({FaultKind::NoAnswer, ReaderProtocol::SerialNumber, 1});
    f.click("pushButton_Version");
    QCOMPARE(f.text("lineEdit_Version"), QString(ErrorText));
    QCOMPARE(f.control<QComboBox>("comboBox_SelectedSlot")->count(), 4);
    QVERIFY(!f.enabled("comboBox_Freq_4"));
    // Nothing follows a failed identification.
    QCOMPARE(reader.receivedRequests(), QList<QByteArray>({"v", "t", "n"}));
}

void WindowCommandsTest::clocksReadWriteStore()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    EmulatedReader &reader = f.reader();
    reader.setWorkingClocks(0x1BE4);
    f.click("pushButton_GetClks");
    QCOMPARE(clockIndices(f), QList<int>({0, 1, 2, 3, 3, 2, 1, 0}));

    // Sent back untouched, the same two bytes travel in the same order.
    reader.clearReceivedRequests();
    f.click("pushButton_SetClks");
    QCOMPARE(reader.receivedRequests(), QList<QByteArray>{QByteArray("c\x1B\xE4")});

    for (int slot = 0; slot < 8; ++slot)
        f.control<QComboBox>(qPrintable(QStringLiteral("comboBox_Freq_%1").arg(slot)))
            ->setCurrentIndex(0);
    f.control<QComboBox>("comboBox_Freq_3")->setCurrentIndex(3);
    f.control<QComboBox>("comboBox_Freq_4")->setCurrentIndex(1);
    reader.clearReceivedRequests();
    f.click("pushButton_StoreClks");
    QCOMPARE(reader.receivedRequests(),
             QList<QByteArray>({QByteArray("c\x01\xC0"), unlockRequest(), "m"}));
    reader.powerCycle();
    QCOMPARE(reader.workingClocks(), quint16(0x01C0));
}

void WindowCommandsTest::clockReadErrorLeavesSelectors()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.control<QComboBox>("comboBox_Freq_2")->setCurrentIndex(2);
    f.reader().setFault({FaultKind::OneByteLong, ReaderProtocol::ReadClocks, 1});
    f.click("pushButton_GetClks");
    QCOMPARE(f.text("lineEdit_Version"), QString(ErrorText));
    QCOMPARE(clockIndices(f), QList<int>({0, 0, 2, 0, 0, 0, 0, 0}));
}

void WindowCommandsTest::timeReadAndSet_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QList<QByteArray>>("sent");
    QTest::addColumn<QString>("readBack");
    const QByteArray unlock = unlockRequest();
    QTest::newRow("10 s") << "10" << QList<QByteArray>{unlock, QByteArray("o\x05\xFA")} << "10";
    QTest::newRow("0 s") << "0" << QList<QByteArray>{unlock, QByteArray("o\x00\x00", 3)} << "0";
    QTest::newRow("428 s") << "428" << QList<QByteArray>{unlock, QByteArray("o\xFF\xCC")} << "428";
    QTest::newRow("429 s would wrap") << "429" << QList<QByteArray>{} << "7";
}

void WindowCommandsTest::timeReadAndSet()
{
    QFETCH(QString, entry);
    QFETCH(QList<QByteArray>, sent);
    QFETCH(QString, readBack);
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    EmulatedReader &reader = f.reader();
    reader.setWorkingTime(7 * 153 + 100);
    reader.clearReceivedRequests();
    auto *dtrLine = dynamic_cast<EmulatedLine *>(f.window->port());
    f.control<QLineEdit>("lineEdit_time")->setText(entry);
    f.click("pushButton_SetTime");
    QCOMPARE(reader.receivedRequests(), sent);
    QVERIFY(!dtrLine->dataTerminalReady());
    f.control<QLineEdit>("lineEdit_time")->clear();
    f.click("pushButton_getTime");
    QCOMPARE(f.text("lineEdit_time"), readBack);
}

void WindowCommandsTest::timeReadError()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.control<QLineEdit>("lineEdit_time")->setText("55");
    f.reader().setFault({FaultKind::NoAnswer, ReaderProtocol::ReadTime, 1});
    f.click("pushButton_getTime");
    QCOMPARE(f.text("lineEdit_Version"), QString(ErrorText));
    QCOMPARE(f.text("lineEdit_time"), QStringLiteral("55"));
}

void WindowCommandsTest::echo_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<FaultKind>("fault");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("echoed");
    QTest::addColumn<QString>("version");
    QTest::newRow("initial a") << "a" << FaultKind::None << QByteArray("ea") << "a"
                               << "";
    QTest::newRow("only the first of xyz") << "xyz" << FaultKind::None << QByteArray("ex") << "x"
                                           << "";
    QTest::newRow("empty sends NUL")
        << "" << FaultKind::None << QByteArray("e\0", 2) << QString(QChar(0)) << "";
    QTest::newRow("e acute") << QString::fromUtf8("é") << FaultKind::None << QByteArray("e\xE9")
                             << QString::fromUtf8("é") << "";
    QTest::newRow("no answer") << "a" << FaultKind::NoAnswer << QByteArray("ea") << "?"
                               << ErrorText;
    QTest::newRow("two bytes") << "a" << FaultKind::OneByteLong << QByteArray("ea") << "?"
                               << ErrorText;
}

void WindowCommandsTest::echo()
{
    QFETCH(QString, field);
    QFETCH(FaultKind, fault);
    QFETCH(QByteArray, request);
    QFETCH(QString, echoed);
    QFETCH(QString, version);
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.control<QLineEdit>("lineEdit_ASCII")->setText(field);
    f.reader().setFault({fault, ReaderProtocol::Echo, 1});
    f.click("pushButton_Echo");
    QCOMPARE(f.reader().receivedRequests(), QList<QByteArray>{request});
    QCOMPARE(f.text("lineEdit_Echo"), echoed);
    QCOMPARE(f.text("lineEdit_Version"), version);
}

void WindowCommandsTest::tarvikStatusAndSelect()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    EmulatedReader &reader = f.reader();
    reader.setOccupiedSlots(0x81);
    reader.setSelectedSlot(2);
    f.control<QComboBox>("comboBox_SelectedSlot")->setCurrentIndex(6);
    f.click("pushButton_TarvikStatus");
    QCOMPARE(slotBoxes(f), QList<bool>({true, false, false, false, false, false, false, true}));
    QCOMPARE(f.index("comboBox_SelectedSlot"), 6); // "G" leaves the selection alone
    f.click("pushButton_TarvikSetSlot");
    QCOMPARE(reader.receivedRequests().last(), QByteArray("S\x07"));
    QCOMPARE(reader.selectedSlot(), 6);
    QVERIFY(f.text("lineEdit_Version").isEmpty());
}

void WindowCommandsTest::tarvikTimeout()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.reader().setOccupiedSlots(0xFF);
    f.reader().setFault({FaultKind::NoAnswer, ReaderProtocol::TarvikStatus, 1});
    const qint64 before = f.clock.elapsedMilliseconds();
    f.click("pushButton_TarvikStatus");
    QCOMPARE(f.clock.elapsedMilliseconds() - before, 1050);
    QCOMPARE(f.text("lineEdit_Version"), QString(TimeoutText));
    QCOMPARE(slotBoxes(f), QList<bool>(8, false));
    f.reader().setFault({FaultKind::OneByteShort, ReaderProtocol::TarvikSelectSlot, 1});
    f.control<QLineEdit>("lineEdit_Version")->clear();
    f.click("pushButton_TarvikSetSlot");
    QCOMPARE(f.text("lineEdit_Version"), QString(TimeoutText));
}

void WindowCommandsTest::everyCommandReleasesDtr_data()
{
    QTest::addColumn<QString>("button");
    for (const char *name :
         {"pushButton_GetStatus", "pushButton_SetSlot", "pushButton_Version", "pushButton_GetClks",
          "pushButton_SetClks", "pushButton_StoreClks", "pushButton_getTime", "pushButton_SetTime",
          "pushButton_Echo", "pushButton_TarvikStatus", "pushButton_TarvikSetSlot",
          "pushButton_SetChar", "pushButton_ASCII", "pushButton_Display"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void WindowCommandsTest::everyCommandReleasesDtr()
{
    QFETCH(QString, button);
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.control<QLineEdit>("lineEdit_time")->setText("3");
    auto *line = dynamic_cast<EmulatedLine *>(f.window->port());
    f.click("pushButton_SetDTR");
    QVERIFY(line->dataTerminalReady());
    f.click(qPrintable(button));
    QVERIFY(!line->dataTerminalReady());
    QVERIFY(!f.reader().receivedRequests().isEmpty());
}

QTEST_MAIN(WindowCommandsTest)
#include "tst_windowcommands.moc"
