#include "commandline/checkoutcommandline.h"
#include "device/readerprotocol.h"
#include "emulator/emulatedline.h"
#include "emulator/emulatedreader.h"
#include "emulator/linefactory.h"
#include "outputs/checkoutoutputs.h"
#include "publish/publishtarget.h"
#include "serial/serialline.h"
#include "serial/serialportline.h"
#include "serial/virtualclock.h"
#include "station/planchooser.h"
#include "station/recordspanel.h"
#include "station/sockettile.h"
#include "station/stationcommandline.h"
#include "station/stationlanguage.h"
#include "station/stationrecords.h"
#include "station/stationsettings.h"
#include "station/stationwindow.h"
#include "store/readerlife.h"
#include "store/recordsoutbox.h"
#include "store/recordsretestgate.h"
#include "store/recordsstore.h"

#include "spooledends.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStyle>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTranslator>
#include <QTreeWidget>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

const QString Vorn8 = QStringLiteral("emu-vorn8");
const QString Vorn4 = QStringLiteral("emu-vorn4");
const QString Missing = QStringLiteral("/dev/vorn-station-test-no-such-port");

QString labelText(QWidget *tile, const char *name)
{
    return tile->findChild<QLabel *>(QLatin1String(name))->text();
}

void click(SocketTile *tile, const char *button)
{
    QPushButton *pushButton = tile->findChild<QPushButton *>(QLatin1String(button));
    QVERIFY(pushButton->isVisible() && pushButton->isEnabled());
    QTest::mouseClick(pushButton, Qt::LeftButton);
}

RecordsLocation sqliteAt(const QString &path)
{
    RecordsLocation location;
    location.kind = RecordsLocation::Kind::Sqlite;
    location.path = path;
    return location;
}

// How many pixels of a widget, as drawn, have exactly this colour.
int pixelsOf(QWidget *widget, const QColor &colour)
{
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += QColor(image.pixel(x, y)) == colour ? 1 : 0;
    return count;
}

const QColor FailRed(QStringLiteral("#c62828"));

// A "database server" that accepts every connection and never sends a byte: the client waits
// until its connection time-out.
class SilentServer
{
public:
    SilentServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *connection = m_server.nextPendingConnection())
                m_held.emplace_back(connection);
        });
    }
    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    RecordsLocation location() const
    {
        RecordsLocation location;
        location.kind = RecordsLocation::Kind::PostgreSql;
        location.host = QStringLiteral("127.0.0.1");
        location.port = m_server.serverPort();
        location.database = QStringLiteral("vorn");
        return location;
    }

private:
    QTcpServer m_server;
    std::vector<std::unique_ptr<QTcpSocket>> m_held;
};

// Every text a window shows that does not fit the room its widget has: a label's line wider
// than the label, a wrapped label taller than it, a button's or a progress bar's text wider than
// it. Hidden widgets keep their texts to themselves.
QStringList clippedTexts(QWidget *window)
{
    QStringList clipped;
    const auto report = [&clipped](const QWidget *widget, const QString &text) {
        clipped.append(QStringLiteral("%1 \"%2\" (%3x%4)")
                           .arg(widget->objectName(), text)
                           .arg(widget->width())
                           .arg(widget->height()));
    };
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (!label->isVisibleTo(window) || label->text().isEmpty())
            continue;
        const QRect room = label->contentsRect().marginsRemoved(
            QMargins(label->margin(), label->margin(), label->margin(), label->margin()));
        const QFontMetrics metrics = label->fontMetrics();
        // A caption's & marks the key that reaches its field and is not drawn.
        const QString shown =
            label->buddy() ? QString(label->text()).remove(QLatin1Char('&')) : label->text();
        const QStringList lines = shown.split(QLatin1Char('\n'));
        const bool fits =
            label->wordWrap()
                ? label->heightForWidth(label->width()) <= label->height()
                : std::all_of(lines.cbegin(), lines.cend(),
                              [&](const QString &line) {
                                  return metrics.horizontalAdvance(line) <= room.width();
                              }) &&
                      metrics.lineSpacing() * int(lines.size()) <=
                          room.height() + metrics.leading();
        if (!fits)
            report(label, label->text());
    }
    for (const QPushButton *button : window->findChildren<QPushButton *>())
        if (button->isVisibleTo(window) && button->sizeHint().width() > button->width())
            report(button, button->text());
    for (const QProgressBar *bar : window->findChildren<QProgressBar *>()) {
        // The text between the bar's frame and its rounded ends.
        const int room =
            bar->width() - 2 * bar->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) - 4;
        if (bar->isVisibleTo(window) && bar->fontMetrics().horizontalAdvance(bar->text()) > room)
            report(bar, bar->text());
    }
    return clipped;
}

// A translator below the station's that hears every text the station's would not translate.
class UntranslatedTexts : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char * = nullptr,
                      int = -1) const override
    {
        // Qt's own widgets bring their own translations, or none.
        if (context[0] != 'Q') {
            const std::lock_guard lock(m_lock);
            m_texts.insert(QStringLiteral("%1: %2").arg(QLatin1String(context),
                                                        QString::fromUtf8(sourceText)));
        }
        return {};
    }
    bool isEmpty() const override { return false; }
    QStringList texts() const
    {
        const std::lock_guard lock(m_lock);
        return QStringList(m_texts.cbegin(), m_texts.cend());
    }

private:
    mutable std::mutex m_lock;
    mutable QSet<QString> m_texts;
};

} // namespace

// The station window against the emulated readers, every checkout on a virtual clock of its
// tile's own thread: the tiles, Check all with Space, the operator's answers by click and by
// key, a defect's FAIL naming its step, a stop that puts the reader back, automatic mode.
class StationTest : public QObject
{
    Q_OBJECT

private:
    VirtualClock m_clock;
    std::unique_ptr<LineFactory> m_lines;
    std::atomic<bool> m_vorn8Plugged{true};
    // Readers of the tests' own beside emu-vorn8 and emu-vorn4, by port name.
    std::mutex m_socketsLock;
    std::map<QString, std::unique_ptr<EmulatedReader>> m_sockets;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<CheckoutOutputs> m_outputs;

    StationSetup setup(const QStringList &ports)
    {
        StationSetup setup;
        setup.ports = ports;
        setup.options.prompt = true;
        setup.station = QStringLiteral("line-1");
        setup.outputs = m_outputs.get();
        setup.clocks = [] { return std::make_unique<VirtualClock>(); };
        setup.lines = [this](const QString &port, WaitClock &clock) -> std::unique_ptr<SerialLine> {
            if (port == Vorn8 && !m_vorn8Plugged)
                return std::make_unique<SerialPortLine>(Missing);
            if (LineFactory::isEmulatedPortName(port) || port == Missing)
                return m_lines->create(port, clock);
            return std::make_unique<EmulatedLine>(socketReader(port), clock, port);
        };
        return setup;
    }

    // As vorn-station does: each record kept through the window's records thread.
    void keepThrough(StationRecords &records, StationSetup &setup)
    {
        m_outputs->keepThrough(records);
        setup.records = &records;
    }

    EmulatedReader &reader(const QString &port) { return m_lines->emulatedReader(port); }

    // A healthy eight-slot reader for any other port name, its serial number told by the
    // order in which the test first names it.
    EmulatedReader &socketReader(const QString &port)
    {
        const std::lock_guard lock(m_socketsLock);
        std::unique_ptr<EmulatedReader> &reader = m_sockets[port];
        if (!reader) {
            reader = std::make_unique<EmulatedReader>();
            reader->setModelType(8);
            reader->setFirmwareVersion(3);
            reader->setSerialNumber(quint16(100 + m_sockets.size()));
            reader->setOccupiedSlots(0x01);
            reader->powerCycle();
        }
        return *reader;
    }

    QString path(const QString &name) const { return m_folder->filePath(name); }

private slots:
    void init()
    {
        m_lines = std::make_unique<LineFactory>(m_clock);
        m_vorn8Plugged = true;
        m_sockets.clear();
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        // The outbox and the publishing spool of the test's own.
        qputenv("XDG_DATA_HOME", path(QStringLiteral("data")).toLocal8Bit());
        CheckoutOutputs::Choices outputs;
        outputs.program = QStringLiteral("vorn-station");
        outputs.station = QStringLiteral("line-1");
        m_outputs = std::make_unique<CheckoutOutputs>(outputs);
        // Each test starts from a station that has kept nothing.
        QSettings(QStringLiteral("Ombrin"), QStringLiteral("Vorn Station")).clear();
    }

    // First of all, before anything in the test has read a picture. The records panel's frame
    // is drawn as the style draws a group box's, but without the image plugins the style would
    // load for it.
    void recordsPanelFramedWithoutImagePlugins()
    {
        StationRecords records(sqliteAt(path(QStringLiteral("records.sqlite"))),
                               sqliteAt(path(QStringLiteral("outbox.sqlite"))));
        auto *panel = new RecordsPanel(records, QStringLiteral("line-1"));
        StationWindow window(setup({Vorn8}));
        window.setRecordsPanel(panel);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage drawn = panel->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY2(!maps.readAll().contains("imageformats/"), "an image plugin was loaded");

        QGroupBox box(panel->title());
        box.resize(panel->size());
        const QImage styled = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(drawn.size(), styled.size());
        // The title and the frame's top edge, and the frame's left edge to the bottom.
        const int top = panel->fontMetrics().height() + 8;
        QCOMPARE(drawn.copy(0, 0, drawn.width(), top), styled.copy(0, 0, styled.width(), top));
        QCOMPARE(drawn.copy(0, 0, 4, drawn.height()), styled.copy(0, 0, 4, styled.height()));
    }

    void tilesForThePortsGiven()
    {
        StationWindow window(setup({Vorn8, Vorn4, Missing}));
        QCOMPARE(window.windowTitle(), QStringLiteral("Vorn Station – station line-1"));
        QCOMPARE(window.tiles().size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(window.tiles().at(i)->port(), QStringList({Vorn8, Vorn4, Missing}).at(i));
            QCOMPARE(labelText(window.tiles().at(i), "portLabel"), window.tiles().at(i)->port());
            QCOMPARE(window.tiles().at(i)->outcomeWord(), QStringLiteral("READY"));
        }
    }

    // A plan is scanned into the chooser by name and Enter, which starts nothing; it is refused
    // while a checkout runs, judges the next checkout once chosen (which waits for the lot the
    // plan requires), and is kept for the next run.
    void planChosenByScanBetweenCheckouts()
    {
        const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
            QStringLiteral("/vorn-tool/plans");
        QVERIFY(QDir().mkpath(folder));
        QFile plan(folder + QStringLiteral("/Tiny.yaml"));
        QVERIFY(plan.open(QIODevice::WriteOnly));
        plan.write("name: Tiny\nrevision: 2\nprompt: false\nrequire_lot: true\n"
                   "limits: {firmware: {low: 4}}\n");
        plan.close();
        StationWindow window(setup({Vorn8}));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *chooser = window.findChild<PlanChooser *>(QStringLiteral("planChooser"));
        SocketTile *tile = window.tile(Vorn8);
        const auto scan = [chooser](const QString &name) {
            QTest::mouseClick(chooser, Qt::LeftButton);
            chooser->lineEdit()->clear();
            QTest::keyClicks(chooser, name);
            QTest::keyClick(chooser, Qt::Key_Return);
        };

        QTest::keyClick(&window, Qt::Key_Space);
        QTRY_VERIFY(tile->isAsking());
        scan(QStringLiteral("Tiny"));
        QCOMPARE(chooser->options().plan.name, QStringLiteral("command-line"));
        QVERIFY(labelText(&window, "statusLine").contains(QLatin1String("while a checkout runs")));
        tile->answer(true);
        QTRY_COMPARE(tile->outcomeWord(), QStringLiteral("PASS"));

        scan(QStringLiteral("Tiny"));
        QCOMPARE(chooser->options().plan.name, QStringLiteral("Tiny"));
        QTest::keyClick(&window, Qt::Key_Space);
        QVERIFY(!tile->isRunning()); // the plan requires a lot, and none is entered
        QVERIFY(labelText(&window, "statusLine").contains(QLatin1String("Enter the lot first")));
        window.findChild<QLineEdit *>(QStringLiteral("lotField"))->setText(QStringLiteral("L7"));
        QTest::keyClick(&window, Qt::Key_Space);
        // FAIL shows as soon as a step fails, while the checkout goes on; until it ends the tile
        // still holds the last finished record (the PASS above), so wait for the end.
        QTRY_COMPARE(tile->outcomeWord(), QStringLiteral("FAIL"));
        QTRY_VERIFY(!tile->isRunning());
        QCOMPARE(tile->outcomeWord(), QStringLiteral("FAIL"));
        QCOMPARE(tile->record()->step("identify")->failedMeasurements(), QStringList{"firmware"});
        QCOMPARE(labelText(tile, "planLabel"), QStringLiteral("Plan Tiny, revision 2"));
        scan(QStringLiteral("Loose"));
        QVERIFY(labelText(&window, "statusLine").contains(QLatin1String("no plan named 'Loose'")));
        QCOMPARE(StationSettings().plan(), QStringLiteral("Tiny"));
    }

    void checkAllAnsweredByKeyAndClick_data()
    {
        QTest::addColumn<bool>("keyAnswer");
        QTest::addColumn<bool>("clickAnswer");
        QTest::newRow("Y key, Yes button") << true << true;
        QTest::newRow("N key, No button") << false << false;
    }

    // Space starts every tile; the display question waits in each tile for its own answer, the
    // key answering the tile that asked first and a click the other.
    void checkAllAnsweredByKeyAndClick()
    {
        QFETCH(bool, keyAnswer);
        QFETCH(bool, clickAnswer);
        StationWindow window(setup({Vorn8, Vorn4, Missing}));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::keyClick(&window, Qt::Key_Space);
        SocketTile *vorn8 = window.tile(Vorn8);
        SocketTile *vorn4 = window.tile(Vorn4);
        SocketTile *missing = window.tile(Missing);
        QTRY_VERIFY(vorn8->isAsking() && vorn4->isAsking());
        QCOMPARE(vorn8->question(), QStringLiteral("Did every dot of the display light?"));
        QVERIFY(missing->isRunning() || missing->outcome());

        QTest::keyClick(&window, keyAnswer ? Qt::Key_Y : Qt::Key_N);
        QTRY_VERIFY(vorn8->isAsking() != vorn4->isAsking());
        SocketTile *byKey = vorn8->isAsking() ? vorn4 : vorn8;
        SocketTile *byClick = vorn8->isAsking() ? vorn8 : vorn4;
        click(byClick, clickAnswer ? "yesButton" : "noButton");

        for (SocketTile *tile : {byKey, byClick}) {
            QTRY_VERIFY(tile->outcome().has_value());
            const bool yes = tile == byKey ? keyAnswer : clickAnswer;
            QCOMPARE(tile->outcomeWord(), yes ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
            QCOMPARE(labelText(tile, "detailsLabel").contains(QLatin1String("display")), !yes);
        }
        QCOMPARE(labelText(vorn8, "identityLabel"), QStringLiteral("Vorn8  SN 001234"));
        QCOMPARE(labelText(vorn4, "identityLabel"), QStringLiteral("Vorn4  SN 004321"));
        QTRY_VERIFY(missing->outcome().has_value());
        QCOMPARE(missing->outcomeWord(), QStringLiteral("ERROR"));
        // In vornctl's plain words, not the serial library's.
        QCOMPARE(labelText(missing, "detailsLabel"),
                 QStringLiteral("identify: the port did not open: cannot open %1: no such port "
                                "(run 'vornctl ports' to "
                                "list the ports)")
                     .arg(Missing));
    }

    void defectNamesItsStep_data()
    {
        QTest::addColumn<QString>("defect");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("details");
        QTest::newRow("echo bit") << "echo-bit-1"
                                  << "FAIL"
                                  << "echo"
                                  << "Echo: 0x00 came back as 0x02. (measured ";
        QTest::newRow("stuck clock") << "clock-stuck-slot-3"
                                     << "FAIL"
                                     << "clocks"
                                     << "A slot's card clock did not follow the test patterns.";
        QTest::newRow("unselectable slot") << "slot-unselectable-2"
                                           << "FAIL"
                                           << "select-slot"
                                           << "A slot could not be selected. (measured 7, limit";
        QTest::newRow("Tarvik") << "tarvik-disagrees"
                                << "FAIL"
                                << "tarvik"
                                << "The Tarvik status disagrees with the reader's status.";
        // No measurement outside a limit: what happened, named by its step.
        QTest::newRow("falls silent") << "no-answer-after-6"
                                      << "ERROR"
                                      << "select-slot"
                                      << "select-slot: ";
    }

    // A failure reads as what happened, with the value and the limit after it.
    void defectNamesItsStep()
    {
        QFETCH(QString, defect);
        QFETCH(QString, word);
        QFETCH(QString, step);
        QFETCH(QString, details);
        reader(Vorn8).addDefect(*ReaderDefect::fromName(defect));
        StationWindow window(setup({Vorn8}));
        window.show();
        SocketTile *tile = window.tile(Vorn8);
        click(tile, "checkButton");
        QTRY_VERIFY(tile->isAsking() || tile->outcome());
        if (tile->isAsking()) {
            // The failure shows at once; the question stays, to record the display's state.
            if (word == QLatin1String("FAIL")) {
                QCOMPARE(tile->outcomeWord(), word);
                QVERIFY2(labelText(tile, "detailsLabel").startsWith(details),
                         qPrintable(labelText(tile, "detailsLabel")));
            }
            click(tile, "yesButton");
        }
        QTRY_VERIFY(tile->outcome().has_value());
        QCOMPARE(tile->outcomeWord(), word);
        const QString shown = labelText(tile, "detailsLabel");
        QVERIFY2(shown.startsWith(details), qPrintable(shown));
        QCOMPARE(tile->record()->failedSteps(), QStringList{step});
    }

    // A reader that failed twice at another station of the line is refused here: the tile asks
    // for a repair and says why.
    void refusedReaderAsksForARepair()
    {
        const RecordsLocation location = sqliteAt(path(QStringLiteral("line.sqlite")));
        {
            RecordsStore store(location);
            QVERIFY(store.open());
            for (int n = 0; n < 2; ++n) {
                ReaderRecord failed;
                failed.id = ReaderRecord::newId();
                failed.station = QStringLiteral("line-2");
                failed.serialNumber = reader(Vorn8).serialNumber();
                failed.outcome = ReaderOutcome::Fail;
                failed.started = QDateTime::currentDateTimeUtc().addSecs(n - 60);
                QCOMPARE(store.store(failed), RecordsStore::Stored::Added);
            }
        }
        RecordsRetestGate gate(location, [](const QString &) {});
        StationSetup limited = setup({Vorn8});
        limited.options.retestLimit = 2;
        limited.retestGate = &gate;
        StationWindow window(limited);
        window.show();
        SocketTile *tile = window.tile(Vorn8);
        click(tile, "checkButton");
        QTRY_VERIFY(tile->outcome().has_value());
        QCOMPARE(tile->outcomeWord(), QStringLiteral("REPAIR FIRST"));
        auto *details = tile->findChild<QLabel *>(QStringLiteral("detailsLabel"));
        QVERIFY2(details->text().contains(QLatin1String("repair it first")),
                 qPrintable(details->text()));
        QVERIFY2(details->toolTip().contains(QLatin1String("failed 2 times")),
                 qPrintable(details->toolTip()));
    }

    // Stopped while its question waits, the checkout still puts back the selected slot and
    // the clocks that its steps had changed.
    void stopDuringCheckoutRestoresTheReader()
    {
        EmulatedReader &vorn8 = reader(Vorn8);
        vorn8.setSelectedSlot(5);
        const quint16 clocks = vorn8.workingClocks();
        StationWindow window(setup({Vorn8}));
        window.show();
        SocketTile *tile = window.tile(Vorn8);
        click(tile, "checkButton");
        QTRY_VERIFY(tile->isAsking());
        QVERIFY(!tile->findChild<QPushButton *>(QStringLiteral("checkButton"))->isEnabled());
        click(tile, "stopButton");
        QTRY_VERIFY(tile->outcome().has_value());
        QCOMPARE(tile->outcomeWord(), QStringLiteral("STOPPED"));
        QVERIFY(!tile->isAsking());
        QVERIFY(!tile->findChild<QFrame *>(QStringLiteral("questionBox"))->isVisible());
        QVERIFY(tile->record()->restored);
        QCOMPARE(tile->record()->outcome, ReaderOutcome::Aborted);
        QCOMPARE(vorn8.selectedSlot(), 5);
        QCOMPARE(vorn8.workingClocks(), clocks);
    }

    // Automatic mode checks a reader once when it starts to answer, not again while it stays,
    // and again after it went away and came back.
    void automaticChecksEachReaderOnce()
    {
        m_vorn8Plugged = false;
        StationSetup automatic = setup({Vorn8});
        automatic.autoCheck = true;
        automatic.probeIntervalMs = 5;
        StationWindow window(automatic);
        window.show();
        SocketTile *tile = window.tile(Vorn8);
        QSignalSpy checked(tile, &SocketTile::checkoutFinished);
        QTRY_VERIFY(tile->probeCount() >= 3);
        QVERIFY(!tile->isRunning());
        QCOMPARE(tile->outcomeWord(), QStringLiteral("NO READER"));

        m_vorn8Plugged = true;
        QTRY_VERIFY(tile->isAsking());
        QTest::keyClick(&window, Qt::Key_Y);
        QTRY_COMPARE(tile->outcomeWord(), QStringLiteral("PASS"));
        const int probes = tile->probeCount();
        QTRY_VERIFY(tile->probeCount() >= probes + 3);
        QCOMPARE(checked.size(), 1);
        QVERIFY(!tile->isRunning());

        m_vorn8Plugged = false;
        QTRY_COMPARE(labelText(tile, "identityLabel"), QStringLiteral("Reader removed"));
        m_vorn8Plugged = true;
        QTRY_VERIFY(tile->isAsking());
        QTest::keyClick(&window, Qt::Key_Y);
        QTRY_COMPARE(checked.size(), 2);
    }

    // Each tile's record is kept as its checkout ends; the list shows this station's checkouts
    // newest first, narrowed by serial number (the filter kept for the next start), a
    // double-click shows a whole record and the certificate is written for the selected one.
    void recordsListedAndFiltered()
    {
        const RecordsLocation location = sqliteAt(path(QStringLiteral("records.sqlite")));
        ReaderRecord elsewhere;
        elsewhere.id = ReaderRecord::newId();
        elsewhere.station = QStringLiteral("line-2");
        elsewhere.serialNumber = 4321;
        elsewhere.started = QDateTime::currentDateTimeUtc();
        {
            RecordsStore store(location);
            QVERIFY(store.open());
            QCOMPARE(store.store(elsewhere), RecordsStore::Stored::Added);
        }

        reader(Vorn4).addDefect(*ReaderDefect::fromName(QStringLiteral("echo-bit-0")));
        StationRecords records(location, sqliteAt(path(QStringLiteral("outbox.sqlite"))));
        StationSetup kept = setup({Vorn8, Vorn4});
        keepThrough(records, kept);
        StationWindow window(kept);
        window.setRecordsPanel(new RecordsPanel(records, kept.station));
        window.show();
        auto *list = window.findChild<QTreeWidget *>(QStringLiteral("recordsList"));
        auto *filter = window.findChild<QLineEdit *>(QStringLiteral("serialFilter"));
        QSignalSpy listed(&records, &StationRecords::listed);
        QVERIFY(listed.wait());
        QCOMPARE(list->topLevelItemCount(), 0);
        for (const QString &port : {Vorn8, Vorn4}) {
            click(window.tile(port), "checkButton");
            QTRY_VERIFY(window.tile(port)->isAsking());
            QTest::keyClick(&window, Qt::Key_Y);
            QTRY_VERIFY(window.tile(port)->outcome().has_value());
        }
        QTRY_COMPARE(list->topLevelItemCount(), 2);
        const auto row = [list](int index) {
            QStringList texts;
            for (int column = 1; column < list->columnCount(); ++column)
                texts.append(list->topLevelItem(index)->text(column));
            return texts;
        };
        QCOMPARE(row(0), QStringList({"004321", "Vorn4", "FAIL", "echo"}));
        QCOMPARE(row(1), QStringList({"001234", "Vorn8", "PASS", ""}));
        // The header's figures of this station's day, read again as each record is kept: the
        // other station's checkout does not count, and 4321, first checked there, is no first
        // pass or failure here.
        QTRY_COMPARE(
            labelText(&window, "yieldLabel"),
            QStringLiteral("2 readers today, first-pass yield 100.0 %, final yield 50.0 %, most "
                           "failed: echo (1)"));

        QTest::mouseClick(filter, Qt::LeftButton);
        QTest::keyClicks(filter, QStringLiteral("4321"));
        QTRY_COMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(row(0).constFirst(), QStringLiteral("004321"));
        QVERIFY2(filter->isClearButtonEnabled(), "a typed serial number can be cleared at a click");

        QTreeWidgetItem *item = list->topLevelItem(0);
        // The failed checkout answered by a repair meanwhile: the record is shown with it.
        {
            RecordsStore store(location);
            QVERIFY(store.open());
            RepairRecord repair;
            repair.id = ReaderRecord::newId();
            repair.serialNumber = 4321;
            repair.checkoutId = item->data(0, Qt::UserRole).toString();
            repair.repaired = QDateTime::currentDateTimeUtc();
            repair.technician = QStringLiteral("anna");
            repair.symptom = QStringLiteral("echo flips bit 0");
            repair.action = QStringLiteral("resoldered the echo line");
            QVERIFY2(ReaderLife(store).store(repair), qPrintable(store.errorText()));
        }
        list->setCurrentItem(item);
        emit list->itemDoubleClicked(item, 0);
        QTextBrowser *details = nullptr;
        QTRY_VERIFY((details = window.findChild<QTextBrowser *>(QStringLiteral("recordText"))));
        QVERIFY(details->isVisible());
        for (const char *shown :
             {"004321", "came back as", "Bytes echoed unchanged", "resoldered the echo line"})
            QVERIFY2(details->toPlainText().contains(QLatin1String(shown)), shown);
        // The verdict first, with what went wrong; the history a table with a way back.
        auto *dialog = window.findChild<QDialog *>(QStringLiteral("recordDialog"));
        QCOMPARE(labelText(dialog, "verdictLabel"), QStringLiteral("FAIL"));
        QVERIFY(dialog->findChild<QLabel *>(QStringLiteral("verdictLabel"))->isVisible());
        QVERIFY(labelText(dialog, "verdictDetails").startsWith(QLatin1String("Echo: 0x")));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("historyButton")),
                          Qt::LeftButton);
        auto *history = dialog->findChild<QTableWidget *>(QStringLiteral("historyTable"));
        QVERIFY(history->isVisible() && !details->isVisible());
        // Both checkouts and the repair that answered the failed one, oldest first.
        QCOMPARE(history->rowCount(), 3);
        QCOMPARE(history->item(0, 1)->text(), QStringLiteral("line-2"));
        QCOMPARE(history->item(1, 3)->text(), QStringLiteral("FAIL"));
        QCOMPARE(history->item(1, 4)->text(), QStringLiteral("echo"));
        QVERIFY(history->item(2, 5)->text().contains(QLatin1String("resoldered the echo line")));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("backButton")),
                          Qt::LeftButton);
        QVERIFY(details->isVisible() && !history->isVisible());

        // Saving moves nothing in the window.
        const QRect tiles = window.tile(Vorn8)->geometry();
        const QRect listPlace = list->geometry();
        const QString pdf = path(QStringLiteral("certificate.pdf"));
        QSignalSpy saved(window.recordsPanel(), &RecordsPanel::certificateSaved);
        window.recordsPanel()->saveCertificate(pdf);
        QVERIFY(saved.wait());
        QCOMPARE(saved.constFirst(), QVariantList({pdf, true}));
        QCOMPARE(window.tile(Vorn8)->geometry(), tiles);
        QCOMPARE(list->geometry(), listPlace);
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.read(5) == "%PDF-");

        filter->setText(QStringLiteral("99999"));
        QCOMPARE(list->topLevelItemCount(), 0);
        filter->setText(QStringLiteral("777"));
        QTRY_COMPARE(list->topLevelItemCount(), 0);
    }

    // A reader first checked at another station is no first pass here: the header says why
    // there is no first-pass yield instead of a bare dash.
    void yieldOfReadersFirstCheckedElsewhere()
    {
        const RecordsLocation location = sqliteAt(path(QStringLiteral("records.sqlite")));
        {
            ReaderRecord elsewhere;
            elsewhere.id = ReaderRecord::newId();
            elsewhere.station = QStringLiteral("line-2");
            elsewhere.serialNumber = reader(Vorn8).serialNumber();
            elsewhere.outcome = ReaderOutcome::Fail;
            elsewhere.started = QDateTime::currentDateTimeUtc().addSecs(-60);
            RecordsStore store(location);
            QVERIFY(store.open());
            QCOMPARE(store.store(elsewhere), RecordsStore::Stored::Added);
        }
        StationRecords records(location, sqliteAt(path(QStringLiteral("outbox.sqlite"))));
        StationSetup kept = setup({Vorn8});
        kept.options.prompt = false;
        keepThrough(records, kept);
        StationWindow window(kept);
        window.show();
        click(window.tile(Vorn8), "checkButton");
        QTRY_VERIFY2(labelText(&window, "yieldLabel")
                         .startsWith(QLatin1String("1 reader today, first checked elsewhere")),
                     qPrintable(labelText(&window, "yieldLabel")));
    }

    // Typed fast, a filter asks for a list at each key: only the newest request is answered,
    // whatever the records thread was still busy with.
    void onlyTheNewestListIsAnswered()
    {
        const RecordsLocation location = sqliteAt(path(QStringLiteral("records.sqlite")));
        {
            RecordsStore store(location);
            QVERIFY(store.open());
            for (int serial = 1; serial <= 5; ++serial) {
                ReaderRecord record;
                record.id = ReaderRecord::newId();
                record.station = QStringLiteral("line-1");
                record.serialNumber = serial;
                record.started = QDateTime::currentDateTimeUtc();
                QCOMPARE(store.store(record), RecordsStore::Stored::Added);
            }
        }
        StationRecords records(location, sqliteAt(path(QStringLiteral("outbox.sqlite"))));
        QSignalSpy listed(&records, &StationRecords::listed);
        const auto serialsListed = [&listed](qsizetype answer) {
            const ListResult result = listed.at(answer).constFirst().value<ListResult>();
            QList<int> serials;
            for (const RecordSummary &summary : result.summaries.value_or(QList<RecordSummary>()))
                serials.append(summary.serialNumber.value_or(-1));
            return serials;
        };
        for (int serial = 1; serial <= 5; ++serial) {
            RecordsFilter filter;
            filter.serialNumber = serial;
            records.list(filter, 100);
        }
        QVERIFY(listed.wait());
        QCOMPARE(serialsListed(0), QList<int>{5});
        // A request made now is answered after anything still on its way: nothing more came.
        records.list(RecordsFilter{}, 100);
        QVERIFY(listed.wait());
        QCOMPARE(listed.size(), 2);
        QList<int> every = serialsListed(1);
        std::sort(every.begin(), every.end());
        QCOMPARE(every, QList<int>({1, 2, 3, 4, 5}));
    }

    void yAndNAnswerTheFirstAsker_data()
    {
        QTest::addColumn<QStringList>("askingOrder");
        QTest::newRow("left to right") << QStringList({"socket-a", "socket-b", "socket-c"});
        QTest::newRow("right to left") << QStringList({"socket-c", "socket-b", "socket-a"});
        QTest::newRow("middle first") << QStringList({"socket-b", "socket-c", "socket-a"});
    }

    // Three tiles ask one after another; each Y or N goes to the tile that has waited longest,
    // whatever its place in the window, never to the newest question.
    void yAndNAnswerTheFirstAsker()
    {
        QFETCH(QStringList, askingOrder);
        StationWindow window(setup({"socket-a", "socket-b", "socket-c"}));
        window.show();
        QList<SocketTile *> tiles;
        for (const QString &port : askingOrder) {
            SocketTile *tile = window.tile(port);
            click(tile, "checkButton");
            QTRY_VERIFY(tile->isAsking());
            tiles.append(tile);
        }

        const QList<std::pair<Qt::Key, QString>> presses = {{Qt::Key_N, QStringLiteral("FAIL")},
                                                            {Qt::Key_Y, QStringLiteral("PASS")},
                                                            {Qt::Key_N, QStringLiteral("FAIL")}};
        for (qsizetype answered = 0; answered < tiles.size(); ++answered) {
            QCOMPARE(window.markedTile(), tiles.at(answered));
            QVERIFY(tiles.at(answered)->isMarked());
            QTest::keyClick(&window, presses.at(answered).first);
            QTRY_VERIFY(tiles.at(answered)->outcome().has_value());
            QCOMPARE(tiles.at(answered)->outcomeWord(), presses.at(answered).second);
            for (qsizetype later = answered + 1; later < tiles.size(); ++later) {
                QVERIFY2(tiles.at(later)->isAsking(), qPrintable(tiles.at(later)->port()));
                QVERIFY(!tiles.at(later)->outcome());
            }
        }
        QTest::keyClick(&window, Qt::Key_N);
        QCOMPARE(labelText(&window, "statusLine"),
                 QStringLiteral("N: no reader is asking a question."));
    }

    void digitKeyMovesTheMark_data()
    {
        QTest::addColumn<int>("digit");
        QTest::addColumn<QString>("answered");
        QTest::addColumn<QString>("status");
        QTest::newRow("an asking tile") << int(Qt::Key_3) << "socket-c"
                                        << "";
        QTest::newRow("an idle tile") << int(Qt::Key_4) << "socket-a"
                                      << "4: reader 4 (socket-d) is not asking a question.";
        QTest::newRow("no such tile") << int(Qt::Key_5) << "socket-a"
                                      << "5: there is no reader 5.";
    }

    // A digit key marks the asking tile of that number for the next Y or N, and only that one;
    // once it is answered, the mark goes back to the question that has waited longest.
    void digitKeyMovesTheMark()
    {
        QFETCH(int, digit);
        QFETCH(QString, answered);
        QFETCH(QString, status);
        const QStringList asking = {"socket-a", "socket-b", "socket-c"};
        StationWindow window(setup(asking + QStringList{"socket-d"}));
        window.show();
        for (const QString &port : asking) {
            click(window.tile(port), "checkButton");
            QTRY_VERIFY(window.tile(port)->isAsking());
        }
        const QSize size = window.size();
        QTest::keyClick(&window, Qt::Key(digit));
        QCOMPARE(labelText(&window, "statusLine"), status);
        SocketTile *marked = window.tile(answered);
        for (SocketTile *tile : window.tiles())
            QCOMPARE(tile->isMarked(), tile == marked);
        QCOMPARE(labelText(&window, "answersLabel"), QStringLiteral("Y/N: reader %1, %2")
                                                         .arg(window.tiles().indexOf(marked) + 1)
                                                         .arg(answered));
        QTest::keyClick(&window, Qt::Key_Y);
        QTRY_COMPARE(marked->outcomeWord(), QStringLiteral("PASS"));
        QCOMPARE(window.markedTile(),
                 window.tile(answered == "socket-a" ? "socket-b" : "socket-a"));
        // Questions came and went: the window kept its size.
        QCOMPARE(window.size(), size);
    }

    // A plan picked from the chooser's list leaves the keys to the tiles: Space starts the
    // checkouts instead of typing into the plan's name.
    void spaceAfterAPlanPickedFromTheList()
    {
        const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
            QStringLiteral("/vorn-tool/plans");
        QVERIFY(QDir().mkpath(folder));
        QFile plan(folder + QStringLiteral("/Picked.yaml"));
        QVERIFY(plan.open(QIODevice::WriteOnly));
        plan.write("name: Picked\nrevision: 1\nprompt: false\n");
        plan.close();
        StationWindow window(setup({Vorn8}));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *chooser = window.findChild<PlanChooser *>(QStringLiteral("planChooser"));
        QTest::mouseClick(chooser->lineEdit(), Qt::LeftButton);
        QVERIFY(chooser->hasFocus());
        chooser->showPopup();
        QAbstractItemView *list = chooser->view();
        const QModelIndex picked =
            chooser->model()->index(chooser->findText(QStringLiteral("Picked")), 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(picked).center());
        QCOMPARE(chooser->options().plan.name, QStringLiteral("Picked"));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window,
                        Qt::Key_Space);
        QCOMPARE(chooser->currentText(), QStringLiteral("Picked"));
        QVERIFY(window.tile(Vorn8)->isRunning() || window.tile(Vorn8)->outcome());
    }

    void nothingClippedAtTheSmallestSize_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "en";
        QTest::newRow("German") << "de";
    }

    // Eight tiles on a 1366x768 screen, walked through every word, header line, question and
    // failure they show: no text is wider or taller than its widget, and in German every text
    // the station shows has its translation.
    void nothingClippedAtTheSmallestSize()
    {
        QFETCH(QString, language);
        UntranslatedTexts untranslated;
        QCoreApplication::installTranslator(&untranslated);
        const auto english = qScopeGuard([&untranslated] {
            StationLanguage::uninstall();
            QCoreApplication::removeTranslator(&untranslated);
        });
        QCOMPARE(StationLanguage::install(QLocale(language)), language != QLatin1String("en"));

        QStringList ports;
        for (int i = 1; i <= 7; ++i)
            ports.append(QStringLiteral("socket-%1").arg(i));
        ports.append(Missing);
        socketReader(ports.at(1)).addDefect(*ReaderDefect::fromName(QStringLiteral("echo-bit-1")));
        StationRecords records(sqliteAt(path(QStringLiteral("records.sqlite"))));
        StationSetup eight = setup(ports);
        eight.options.requireLot = true;
        keepThrough(records, eight);
        StationWindow window(eight);
        window.setRecordsPanel(new RecordsPanel(records, eight.station));
        const QSize screen(1366, 768 - 32); // less a title bar
        QVERIFY2(window.minimumSizeHint().width() <= screen.width() &&
                     window.minimumSizeHint().height() <= screen.height(),
                 qPrintable(QStringLiteral("%1x%2")
                                .arg(window.minimumSizeHint().width())
                                .arg(window.minimumSizeHint().height())));
        window.setGeometry(QRect(QPoint(0, 0), screen));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto fits = [&window](const char *state) {
            const QStringList clipped = clippedTexts(&window);
            if (!clipped.isEmpty())
                qWarning().noquote() << state << clipped;
            return clipped.isEmpty();
        };
        QVERIFY(fits("ready"));

        window.checkAll(); // no lot: refused
        QVERIFY(fits("check all refused"));
        window.tile(ports.constFirst())->check();
        QVERIFY(fits("tile refused"));
        window.chooseTile(9);
        QVERIFY(fits("no reader 9"));
        window.chooseTile(1);
        QVERIFY(fits("reader 1 not asking"));
        window.answerMarkedQuestion(true);
        QVERIFY(fits("nobody asking"));

        window.findChild<QLineEdit *>(QStringLiteral("lotField"))->setText(QStringLiteral("L1"));
        window.checkAll();
        QTRY_VERIFY(std::all_of(window.tiles().cbegin(), window.tiles().cend() - 1,
                                [](const SocketTile *tile) { return tile->isAsking(); }));
        QVERIFY(fits("asking"));
        window.tiles().at(2)->answer(false);
        for (SocketTile *tile : window.tiles())
            tile->answer(true);
        QTRY_VERIFY(std::all_of(window.tiles().cbegin(), window.tiles().cend(),
                                [](const SocketTile *tile) { return tile->outcome(); }));
        QTRY_VERIFY(labelText(&window, "yieldLabel").startsWith(QLatin1String("7 ")));
        QVERIFY(fits("done"));
        QVERIFY(window.tiles().at(1)->outcome() == ReaderOutcome::Fail);

        // Every word in the place of the longest.
        auto *word =
            window.tiles().constFirst()->findChild<QLabel *>(QStringLiteral("outcomeLabel"));
        for (const QString &each : SocketTile::outcomeWords()) {
            word->setText(each);
            QVERIFY2(fits("outcome word"), qPrintable(each));
        }
        window.tiles()
            .constFirst()
            ->findChild<QLabel *>(QStringLiteral("notRecordedLabel"))
            ->show();
        QVERIFY(fits("not recorded"));

        if (language != QLatin1String("en"))
            QVERIFY2(untranslated.texts().isEmpty(),
                     qPrintable(untranslated.texts().join(QLatin1Char('\n'))));
    }

    // A station that requires a lot starts no checkout while the lot field is empty.
    void checkAllRefusedWithoutALot()
    {
        StationSetup needsLot = setup({Vorn8});
        needsLot.options.requireLot = true;
        StationWindow window(needsLot);
        window.show();
        window.checkAll();
        QVERIFY(labelText(&window, "statusLine").startsWith(QLatin1String("Check all refused.")));
        QVERIFY(!window.tile(Vorn8)->isRunning());
        window.findChild<QLineEdit *>(QStringLiteral("lotField"))->setText(QStringLiteral("WO-1"));
        window.checkAll();
        QVERIFY(window.tile(Vorn8)->isRunning());
        QCOMPARE(labelText(&window, "statusLine"), QString());
    }

    void keepShownOnTheTile_data()
    {
        QTest::addColumn<bool>("recordsUsable");
        QTest::addColumn<bool>("outboxUsable");
        QTest::addColumn<bool>("notRecorded");
        QTest::addColumn<QString>("message"); // what the window's warning line says

        QTest::newRow("kept") << true << true << false << QString();
        QTest::newRow("in the outbox")
            << false << true << false << "warning: cannot store the checkout records";
        QTest::newRow("kept nowhere")
            << false << false << true << "NOT RECORDED: the checkout of emu-vorn8 (SN 001234)";
    }

    // The outcome shows whatever becomes of the record; a record kept neither in the records
    // nor in the outbox says so on its tile, in red under the outcome, and on the window, and
    // its end never reaches the message bus.
    void keepShownOnTheTile()
    {
        QFETCH(bool, recordsUsable);
        QFETCH(bool, outboxUsable);
        QFETCH(bool, notRecorded);
        QFETCH(QString, message);
        // Nobody listens there: the messages stay in the spool.
        const PublishTarget broker =
            *PublishTarget::parse(QStringLiteral("amqp://127.0.0.1:1/queue/line"), nullptr);
        CheckoutOutputs::Choices publishing;
        publishing.program = QStringLiteral("vorn-station");
        publishing.publish = broker;
        m_outputs = std::make_unique<CheckoutOutputs>(publishing);
        // A folder cannot be made under a regular file: neither can a database there.
        QFile blocker(path(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString usable = path(QStringLiteral("%1.sqlite"));
        const QString unusable = path(QStringLiteral("file/%1.sqlite"));
        StationRecords records(
            sqliteAt((recordsUsable ? usable : unusable).arg(QStringLiteral("records"))),
            sqliteAt((outboxUsable ? usable : unusable).arg(QStringLiteral("outbox"))));
        QSignalSpy kept(&records, &StationRecords::kept);
        StationSetup keeping = setup({Vorn8});
        keeping.options.prompt = false;
        keepThrough(records, keeping);
        QSignalSpy yieldRead(&records, &StationRecords::yieldRead);
        StationWindow window(keeping);
        window.show();
        SocketTile *tile = window.tile(Vorn8);
        click(tile, "checkButton");
        QVERIFY(kept.wait());
        QCOMPARE(tile->outcomeWord(), QStringLiteral("PASS"));
        // The figures the window asks for as the record is kept are read after what followed
        // the record on the records thread.
        QTRY_COMPARE(yieldRead.size(), 2);
        QCOMPARE(
            spooledEnds(path(QStringLiteral("data/vorn-tool/publish-spool.sqlite")), broker.url())
                .size(),
            notRecorded ? 0 : 2);

        auto *notRecordedLabel = tile->findChild<QLabel *>(QStringLiteral("notRecordedLabel"));
        QCOMPARE(notRecordedLabel->isVisible(), notRecorded);
        if (notRecorded) {
            QCOMPARE(notRecordedLabel->text(), QStringLiteral("NOT RECORDED"));
            QVERIFY(pixelsOf(notRecordedLabel, FailRed) > 20);
        }
        auto *line = window.findChild<QLabel *>(QStringLiteral("messageLabel"));
        QCOMPARE(line->isVisible(), !message.isEmpty());
        QVERIFY2(line->text().contains(message), qPrintable(line->text()));
        if (notRecorded)
            QVERIFY(pixelsOf(line, FailRed) > 20);
        // The tile tells what the keeper told, the outbox's path or the loss.
        QCOMPARE(labelText(tile, "detailsLabel").contains(QLatin1String("warning")),
                 !recordsUsable);
    }

    // The window's warning of a lost record stays until a record is kept again; the tile's own
    // sign goes when it checks again.
    void lostRecordWarnedUntilOneIsKept()
    {
        QFile blocker(path(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        StationRecords records(sqliteAt(path(QStringLiteral("file/records.sqlite"))),
                               sqliteAt(path(QStringLiteral("file/outbox.sqlite"))));
        QSignalSpy kept(&records, &StationRecords::kept);
        StationSetup keeping = setup({Vorn8, Vorn4});
        keeping.options.prompt = false;
        keepThrough(records, keeping);
        StationWindow window(keeping);
        window.show();
        auto *line = window.findChild<QLabel *>(QStringLiteral("messageLabel"));

        click(window.tile(Vorn8), "checkButton");
        QVERIFY(kept.wait());
        QVERIFY(line->isVisible());
        QVERIFY(line->text().startsWith(QLatin1String("NOT RECORDED")));

        // The records can be written again: the next record kept clears the warning.
        QVERIFY(QFile::remove(path(QStringLiteral("file"))));
        click(window.tile(Vorn4), "checkButton");
        QVERIFY(kept.wait());
        QCOMPARE(kept.last().constFirst().value<KeepResult>().kept.stored, 1);
        QVERIFY(!line->isVisible());
        auto *vorn8Sign =
            window.tile(Vorn8)->findChild<QLabel *>(QStringLiteral("notRecordedLabel"));
        QVERIFY(vorn8Sign->isVisible());
        click(window.tile(Vorn8), "checkButton");
        QVERIFY(!vorn8Sign->isVisible());
        QVERIFY(kept.wait());
        QVERIFY(!vorn8Sign->isVisible());
    }

    // A records server that accepts the connection and never answers holds up the records
    // thread for the client's whole time-out, and nothing else: four tiles start, progress and
    // finish at their own pace, the window's timers stay on time, the panel says what is
    // wrong, and the records end up in the outbox.
    void recordsServerNotAnswering()
    {
        SilentServer server;
        QVERIFY(server.listen());
        const RecordsLocation outbox = sqliteAt(path(QStringLiteral("outbox.sqlite")));
        StationRecords records(server.location(), outbox);
        QSignalSpy kept(&records, &StationRecords::kept);
        const QStringList ports = {"socket-a", "socket-b", "socket-c", "socket-d"};
        StationSetup silent = setup(ports);
        silent.options.prompt = false;
        keepThrough(records, silent);
        StationWindow window(silent);
        window.setRecordsPanel(new RecordsPanel(records, silent.station));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *serverLabel = window.findChild<QLabel *>(QStringLiteral("recordsServerLabel"));

        // A 10 ms tick that comes late is a moment the window could not have answered a click.
        constexpr int TickMs = 10;
        QElapsedTimer sinceTick;
        qint64 latestMs = 0;
        QTimer ticks;
        ticks.setTimerType(Qt::PreciseTimer);
        ticks.setInterval(TickMs);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            latestMs = std::max(latestMs, sinceTick.elapsed() - TickMs);
            sinceTick.start();
        });
        sinceTick.start();
        ticks.start();

        QElapsedTimer checking;
        checking.start();
        QTest::keyClick(&window, Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(window.tiles().cbegin(), window.tiles().cend(),
                                             [](SocketTile *tile) { return tile->outcome(); }),
                                 4000);
        const qint64 finishedAfterMs = checking.elapsed();
        for (SocketTile *tile : window.tiles())
            QCOMPARE(tile->outcomeWord(), QStringLiteral("PASS"));
        // Not one record could be kept yet: the outcomes did not wait for them.
        QCOMPARE(kept.size(), 0);

        QTRY_VERIFY_WITH_TIMEOUT(serverLabel->isVisible(), 4000);
        QVERIFY2(serverLabel->text().contains(QLatin1String("records server not answering"),
                                              Qt::CaseInsensitive),
                 qPrintable(serverLabel->text()));
        QTRY_COMPARE_WITH_TIMEOUT(kept.size(), ports.size(), 15000);
        ticks.stop();
        qInfo("tiles finished after %lld ms; the latest 10 ms tick came %lld ms late",
              static_cast<long long>(finishedAfterMs), static_cast<long long>(latestMs));
        QVERIFY2(finishedAfterMs < 3000, "the tiles waited for the records server");
        QVERIFY2(latestMs < 500, "the window's event loop stalled");

        for (const QList<QVariant> &signal : std::as_const(kept)) {
            const KeepResult result = signal.constFirst().value<KeepResult>();
            QCOMPARE(result.kept.queued, 1);
            QVERIFY(window.tile(result.port)
                        ->findChild<QLabel *>(QStringLiteral("detailsLabel"))
                        ->text()
                        .contains(QLatin1String("kept in the outbox")));
        }
        QVERIFY(!serverLabel->text().isEmpty());
        RecordsOutbox waiting(outbox);
        QVERIFY(waiting.open());
        QCOMPARE(waiting.counts()->value(server.location().url()), int(ports.size()));
    }

    // A barcode scanner types into the lot field, Space, Y and N included, and ends with
    // Enter: nothing starts and no question is answered; the next checkout carries the lot and
    // the operator, the one already running keeps what it started with.
    void scannerTypesIntoTheLot()
    {
        StationWindow window(setup({Vorn8, Vorn4}));
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *operatorField = window.findChild<QLineEdit *>(QStringLiteral("operatorField"));
        auto *lotField = window.findChild<QLineEdit *>(QStringLiteral("lotField"));
        SocketTile *vorn8 = window.tile(Vorn8);
        SocketTile *vorn4 = window.tile(Vorn4);
        click(vorn8, "checkButton");
        QTRY_VERIFY(vorn8->isAsking());

        const auto scan = [](QLineEdit *field, const QString &text) {
            QTest::mouseClick(field, Qt::LeftButton);
            QVERIFY(field->hasFocus());
            field->selectAll();
            QTest::keyClicks(QApplication::focusWidget(), text);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        };
        scan(operatorField, QStringLiteral("Ana N"));
        scan(lotField, QStringLiteral("LOT-42 Y N"));
        QCOMPARE(operatorField->text(), QStringLiteral("Ana N"));
        QCOMPARE(lotField->text(), QStringLiteral("LOT-42 Y N"));
        QVERIFY(!lotField->hasFocus());
        QVERIFY(vorn8->isAsking());
        QVERIFY(!vorn4->isRunning());
        QVERIFY(!vorn8->outcome());

        // Back with the window, the keys do their work again.
        QTest::keyClick(&window, Qt::Key_N);
        QTRY_VERIFY(vorn8->outcome().has_value());
        QCOMPARE(vorn8->record()->lot, QString());
        QCOMPARE(vorn8->record()->operatorName, CheckoutCommandLine::loginName());
        QTest::keyClick(&window, Qt::Key_Space);
        QTRY_VERIFY(vorn8->isAsking() && vorn4->isAsking());
        QTest::keyClick(&window, Qt::Key_Y);
        QTest::keyClick(&window, Qt::Key_Y);
        for (SocketTile *tile : {vorn8, vorn4}) {
            QTRY_COMPARE(tile->outcomeWord(), QStringLiteral("PASS"));
            QCOMPARE(tile->record()->lot, QStringLiteral("LOT-42 Y N"));
            QCOMPARE(tile->record()->operatorName, QStringLiteral("Ana N"));
        }
    }

    void operatorAndLotKeptBetweenRuns_data()
    {
        QTest::addColumn<std::optional<QString>>("operatorOption");
        QTest::addColumn<std::optional<QString>>("lotOption");
        QTest::addColumn<QString>("operatorShown");
        QTest::addColumn<QString>("lotShown");

        const std::optional<QString> none;
        QTest::newRow("as entered") << none << none << "Ana"
                                    << "LOT-42";
        QTest::newRow("--operator") << std::optional<QString>("Bo") << none << "Bo"
                                    << "LOT-42";
        QTest::newRow("--lot") << none << std::optional<QString>("LOT-7") << "Ana"
                               << "LOT-7";
        QTest::newRow("--lot ''") << none << std::optional<QString>("") << "Ana"
                                  << "";
    }

    // What the operator enters comes back in the next window; the command line's values
    // replace it for that run only.
    void operatorAndLotKeptBetweenRuns()
    {
        QFETCH(std::optional<QString>, operatorOption);
        QFETCH(std::optional<QString>, lotOption);
        QFETCH(QString, operatorShown);
        QFETCH(QString, lotShown);
        const auto field = [](StationWindow &window, const char *name) {
            return window.findChild<QLineEdit *>(QLatin1String(name));
        };
        {
            StationWindow first(setup({Vorn8}));
            QCOMPARE(field(first, "operatorField")->text(), CheckoutCommandLine::loginName());
            QCOMPARE(field(first, "lotField")->text(), QString());
            first.show();
            for (const auto &[name, text] :
                 {std::pair("operatorField", "Ana"), std::pair("lotField", "LOT-42")}) {
                QTest::mouseClick(field(first, name), Qt::LeftButton);
                field(first, name)->selectAll();
                QTest::keyClicks(field(first, name), QLatin1String(text));
                QTest::keyClick(field(first, name), Qt::Key_Return);
            }
        }
        StationSetup started = setup({Vorn8});
        started.operatorName = operatorOption;
        started.lot = lotOption;
        {
            StationWindow second(started);
            QCOMPARE(field(second, "operatorField")->text(), operatorShown);
            QCOMPARE(field(second, "lotField")->text(), lotShown);
            QCOMPARE(second.operatorAndLot().operatorName, operatorShown);
            QCOMPARE(second.operatorAndLot().lot, lotShown);
        }
        StationWindow third(setup({Vorn8}));
        QCOMPARE(field(third, "operatorField")->text(), QStringLiteral("Ana"));
        QCOMPARE(field(third, "lotField")->text(), QStringLiteral("LOT-42"));
    }

    void operatorAndLotOnTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<std::optional<QString>>("operatorName");
        QTest::addColumn<std::optional<QString>>("lot");

        const std::optional<QString> none;
        QTest::newRow("neither") << QStringList() << 0 << none << none;
        QTest::newRow("both") << QStringList({"--operator", "Ana", "--lot", "LOT-42"}) << 0
                              << std::optional<QString>("Ana") << std::optional<QString>("LOT-42");
        QTest::newRow("spaces trimmed")
            << QStringList({"--lot= W/O 17 "}) << 0 << none << std::optional<QString>("W/O 17");
        QTest::newRow("empty lot")
            << QStringList({"--lot="}) << 0 << none << std::optional<QString>("");
        QTest::newRow("no value") << QStringList({"--operator"}) << 2 << none << none;
    }

    void operatorAndLotOnTheCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(std::optional<QString>, operatorName);
        QFETCH(std::optional<QString>, lot);
        int code = -1;
        const std::optional<StationCommandLine> parsed = StationCommandLine::parse(
            QStringList{QStringLiteral("vorn-station")} + arguments, QString(), code);
        QCOMPARE(code, exitCode);
        QCOMPARE(parsed.has_value(), exitCode == 0);
        if (!parsed)
            return;
        QCOMPARE(parsed->operatorName, operatorName);
        QCOMPARE(parsed->lot, lot);
    }
};

QTEST_MAIN(StationTest)
#include "tst_station.moc"
