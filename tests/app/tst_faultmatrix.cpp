#include "device/readerprotocol.h"
#include "emulator/emulatedline.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QHash>
#include <QLineEdit>
#include <QMap>
#include <QSettings>
#include <QTemporaryDir>

namespace {

const QString ErrorText = QStringLiteral("Error at reading Device!");
const QString TimeoutText = QStringLiteral("Timeout at reading Device!");

// The controls whose enabled state a reply may change, or must not.
const QList<const char *> WatchedControls{
    "pushButton_ScanPorts", "pushButton_OpenPorts",    "pushButton_ClosePorts",   "comboBox",
    "pushButton_GetStatus", "pushButton_Version",      "comboBox_SelectedSlot",   "comboBox_Freq_0",
    "comboBox_Freq_3",      "comboBox_Freq_4",         "comboBox_Freq_5",         "comboBox_Freq_6",
    "comboBox_Freq_7",      "pushButton_GetClks",      "pushButton_getTime",      "lineEdit_time",
    "pushButton_Echo",      "pushButton_TarvikStatus", "pushButton_TarvikSetSlot"};

// Everything of the window a reply can show itself in.
struct WindowView
{
    QString version;
    QString time;
    QString echo;
    QList<bool> slotBoxes;
    int selectedSlot = -1;
    int slotItems = 0;
    QList<int> clocks;
    QMap<QByteArray, bool> enabled;

    friend bool operator==(const WindowView &, const WindowView &) = default;
};

char *toString(const WindowView &view)
{
    QStringList enabled;
    for (auto it = view.enabled.cbegin(); it != view.enabled.cend(); ++it)
        enabled.append(QString::fromLatin1(it.key()) + (it.value() ? "+" : "-"));
    const auto join = [](const auto &values) {
        QStringList texts;
        for (const auto value : values)
            texts.append(QString::number(int(value)));
        return texts.join(QLatin1Char(' '));
    };
    const QString text =
        QStringLiteral("version \"%1\" time \"%2\" echo \"%3\" slots [%4] selected %5 of %6 "
                       "clocks [%7] enabled %8")
            .arg(view.version, view.time, view.echo, join(view.slotBoxes))
            .arg(view.selectedSlot)
            .arg(view.slotItems)
            .arg(join(view.clocks), enabled.join(QLatin1Char(' ')));
    return qstrdup(qPrintable(text));
}

QString slotName(int slot)
{
    return QStringLiteral("checkBox_Slot%1").arg(slot);
}

QString clockName(int slot)
{
    return QStringLiteral("comboBox_Freq_%1").arg(slot);
}

WindowView viewOf(const WindowFixture &f)
{
    WindowView view;
    view.version = f.text("lineEdit_Version");
    view.time = f.text("lineEdit_time");
    view.echo = f.text("lineEdit_Echo");
    for (int slot = 0; slot < ReaderProtocol::SlotCount; ++slot) {
        view.slotBoxes.append(f.checked(qPrintable(slotName(slot))));
        view.clocks.append(f.index(qPrintable(clockName(slot))));
    }
    view.selectedSlot = f.index("comboBox_SelectedSlot");
    view.slotItems = f.control<QComboBox>("comboBox_SelectedSlot")->count();
    for (const char *name : WatchedControls)
        view.enabled.insert(name, f.enabled(name));
    return view;
}

// A window state no reply of the prepared reader would produce, so any change shows.
void prepareWindow(WindowFixture &f)
{
    for (const int slot : {1, 3, 4})
        f.control<QCheckBox>(qPrintable(slotName(slot)))->setChecked(true);
    f.control<QComboBox>("comboBox_SelectedSlot")->setCurrentIndex(6);
    const QList<int> clocks{3, 3, 0, 0, 1, 1, 2, 2};
    for (int slot = 0; slot < ReaderProtocol::SlotCount; ++slot)
        f.control<QComboBox>(qPrintable(clockName(slot)))->setCurrentIndex(clocks.at(slot));
    f.control<QLineEdit>("lineEdit_time")->setText(QStringLiteral("55"));
    f.control<QLineEdit>("lineEdit_Echo")->setText(QStringLiteral("z"));
    f.control<QLineEdit>("lineEdit_Version")->setText(QStringLiteral("before"));
    f.control<QLineEdit>("lineEdit_ASCII")->setText(QStringLiteral("a"));
}

void prepareReader(EmulatedReader &reader)
{
    reader.setFirmwareVersion(3);
    reader.setModelType(ReaderProtocol::EightSlotModel);
    reader.setSerialNumber(1234);
    reader.setOccupiedSlots(0x25);
    reader.setSelectedSlot(1);
    reader.setWorkingClocks(0x1BE4);
    reader.setWorkingTime(7 * 153 + 100);
    reader.clearReceivedRequests();
}

// The reply bytes the reader gives to each request code of one command.
using ReplyBook = QHash<char, QByteArray>;

// Asks a copy of the reader, with the same state and fault, what it answers to the requests.
ReplyBook repliesOf(const EmulatedReader &reader, const QList<QByteArray> &requests,
                    const ReplyFault &fault)
{
    EmulatedReader twin = reader;
    twin.setRequireDtr(false);
    twin.setFault(fault);
    ReplyBook book;
    for (const QByteArray &request : requests)
        book.insert(request.front(), twin.receive(request));
    return book;
}

quint8 byteAt(const QByteArray &reply, qsizetype index)
{
    return index < reply.size() ? quint8(reply.at(index)) : 0;
}

// What the window must show for replies it accepted, read the way the reader means them.
void showStatus(WindowView &view, const ReplyBook &replies)
{
    const QByteArray reply = replies.value(ReaderProtocol::Status);
    for (int slot = 0; slot < ReaderProtocol::SlotCount; ++slot)
        view.slotBoxes[slot] = (byteAt(reply, 0) >> slot) & 1;
    const int selected = byteAt(reply, 1) & 7;
    view.selectedSlot = selected < view.slotItems ? selected : -1;
}

void showClocks(WindowView &view, const ReplyBook &replies)
{
    const QByteArray reply = replies.value(ReaderProtocol::ReadClocks);
    // Slots 0 to 3 travel in the second byte, slots 4 to 7 in the first, two bits each.
    for (int slot = 0; slot < ReaderProtocol::SlotCount; ++slot) {
        const quint8 packed = slot < 4 ? byteAt(reply, 1) : byteAt(reply, 0);
        view.clocks[slot] = (packed >> (2 * (slot % 4))) & 3;
    }
}

void showIdentification(WindowView &view, const ReplyBook &replies)
{
    const quint8 model = byteAt(replies.value(ReaderProtocol::ModelType), 0);
    const QByteArray serial = replies.value(ReaderProtocol::SerialNumber);
    QString type = QStringLiteral(" - Type unknown");
    if (model == ReaderProtocol::FourSlotModel) {
        type = QStringLiteral(" - Type Vorn4");
        for (int slot = 4; slot < 8; ++slot)
            view.enabled[clockName(slot).toLatin1()] = false;
        view.slotItems = 4;
    } else if (model == ReaderProtocol::EightSlotModel) {
        type = QStringLiteral(" - Type Vorn8");
        for (int slot = 4; slot < 8; ++slot)
            view.enabled[clockName(slot).toLatin1()] = true;
    }
    view.version = QStringLiteral("Version: %1%2 - SN: %3")
                       .arg(byteAt(replies.value(ReaderProtocol::Version), 0))
                       .arg(type)
                       .arg(byteAt(serial, 0) * 256 + byteAt(serial, 1), 6, 10, QLatin1Char('0'));
    showStatus(view, replies);
    showClocks(view, replies);
}

void showTime(WindowView &view, const ReplyBook &replies)
{
    const QByteArray reply = replies.value(ReaderProtocol::ReadTime);
    view.time = QString::number((byteAt(reply, 0) * 256 + byteAt(reply, 1)) / 153);
}

void showEcho(WindowView &view, const ReplyBook &replies)
{
    view.echo = QString(QChar(byteAt(replies.value(ReaderProtocol::Echo), 0)));
}

void showTarvikStatus(WindowView &view, const ReplyBook &replies)
{
    const QByteArray reply = replies.value(ReaderProtocol::TarvikStatus);
    for (int slot = 0; slot < ReaderProtocol::SlotCount; ++slot)
        view.slotBoxes[slot] = (byteAt(reply, 2) >> slot) & 1;
}

void showNothing(WindowView &, const ReplyBook &) {}

// One command that reads a reply, seen from its button: what it sends when all goes well, how
// many of those requests go out when the faulted one fails, and what it shows.
struct Command
{
    const char *button = nullptr;
    char faultedCode = 0;
    QList<QByteArray> requests;
    qsizetype requestsOnFailure = 1;
    QString failureText;
    void (*show)(WindowView &, const ReplyBook &) = nullptr;
};

WindowView failedView(const Command &command, WindowView view)
{
    view.version = command.failureText;
    if (command.faultedCode == ReaderProtocol::Echo)
        view.echo = QStringLiteral("?"); // stands in for the missing echo
    return view;
}

WindowView acceptedView(const Command &command, WindowView view, const ReplyBook &replies)
{
    command.show(view, replies);
    return view;
}

} // namespace

Q_DECLARE_METATYPE(Command)

// Every command that reads a reply against every way a reply can go wrong, through the real
// window and the emulated reader: the texts and controls shown, the requests sent, and DTR.
class FaultMatrixTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void replyFault_data();
    void replyFault();

private:
    QTemporaryDir m_settingsDir;
};

void FaultMatrixTest::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void FaultMatrixTest::replyFault_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<FaultKind>("fault");

    const QList<QByteArray> identification{"v", "t", "n", "?", "g"};
    const QList<std::pair<const char *, Command>> commands{
        {"status", {"pushButton_GetStatus", '?', {"?"}, 1, ErrorText, showStatus}},
        {"identification v",
         {"pushButton_Version", 'v', identification, 1, ErrorText, showIdentification}},
        {"identification t",
         {"pushButton_Version", 't', identification, 2, ErrorText, showIdentification}},
        {"identification n",
         {"pushButton_Version", 'n', identification, 3, ErrorText, showIdentification}},
        {"clock read", {"pushButton_GetClks", 'g', {"g"}, 1, ErrorText, showClocks}},
        {"time read", {"pushButton_getTime", 'r', {"r"}, 1, ErrorText, showTime}},
        {"echo", {"pushButton_Echo", 'e', {"ea"}, 1, ErrorText, showEcho}},
        {"Tarvik status",
         {"pushButton_TarvikStatus", 'G', {"G"}, 1, TimeoutText, showTarvikStatus}},
        // The prepared window has "Slot 7" selected: slot number 7 on the wire.
        {"Tarvik select slot",
         {"pushButton_TarvikSetSlot", 'S', {"S\x07"}, 1, TimeoutText, showNothing}},
    };
    const QList<std::pair<const char *, FaultKind>> faults{
        {"no answer", FaultKind::NoAnswer},        {"one byte short", FaultKind::OneByteShort},
        {"one byte long", FaultKind::OneByteLong}, {"late", FaultKind::Late},
        {"garbage", FaultKind::Garbage},
    };
    for (const auto &[commandName, command] : commands)
        for (const auto &[faultName, fault] : faults)
            QTest::addRow("%s, %s", commandName, faultName) << command << fault;
}

void FaultMatrixTest::replyFault()
{
    QFETCH(Command, command);
    QFETCH(FaultKind, fault);
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    auto *line = dynamic_cast<EmulatedLine *>(f.window->port());
    QVERIFY(line);
    EmulatedReader &reader = f.reader();
    prepareReader(reader);
    prepareWindow(f);
    const WindowView before = viewOf(f);

    const ReplyFault replyFault{fault, command.faultedCode, 1};
    const ReplyBook spoiltReplies = repliesOf(reader, command.requests, replyFault);
    reader.setFault(replyFault);
    // DTR raised by hand beforehand must end released all the same.
    f.click("pushButton_SetDTR");
    f.click(command.button);
    QVERIFY(!line->dataTerminalReady());

    if (fault == FaultKind::Garbage) {
        // Replies are not checked beyond their length: garbage of the right length is shown.
        QCOMPARE(reader.receivedRequests(), command.requests);
        QCOMPARE(viewOf(f), acceptedView(command, before, spoiltReplies));
        return;
    }
    QCOMPARE(reader.receivedRequests(), command.requests.mid(0, command.requestsOnFailure));
    QCOMPARE(viewOf(f), failedView(command, before));
    if (fault != FaultKind::Late)
        return;

    // The late reply arrives after the wait; the next command's drain throws it away, and the
    // command then gets the reader's true answer.
    f.clock.advanceMicroseconds(qint64(reader.lateDelayMs() + 100) * 1000);
    QVERIFY(line->bytesWaiting() > 0);
    reader.clearReceivedRequests();
    const WindowView beforeRetry = viewOf(f);
    const ReplyBook trueReplies = repliesOf(reader, command.requests, {});
    f.click("pushButton_SetDTR");
    f.click(command.button);
    QVERIFY(!line->dataTerminalReady());
    QCOMPARE(reader.receivedRequests(), command.requests);
    QCOMPARE(viewOf(f), acceptedView(command, beforeRetry, trueReplies));
    QCOMPARE(line->bytesWaiting(), 0);
}

QTEST_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
