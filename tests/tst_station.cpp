#include "emulator/emulatedreader.h"
#include "emulator/linefactory.h"
#include "records/recordsstore.h"
#include "serial/serialline.h"
#include "serial/serialportline.h"
#include "serial/virtualclock.h"
#include "station/recordspanel.h"
#include "station/sockettile.h"
#include "station/stationwindow.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <atomic>

namespace {

const QString Vorn8 = QStringLiteral("emu-vorn8");
const QString Vorn4 = QStringLiteral("emu-vorn4");
const QString Missing = QStringLiteral("/dev/vorn-station-test-no-such-port");

QString labelText(SocketTile *tile, const char *name)
{
    return tile->findChild<QLabel *>(QLatin1String(name))->text();
}

void click(SocketTile *tile, const char *button)
{
    QPushButton *pushButton = tile->findChild<QPushButton *>(QLatin1String(button));
    QVERIFY(pushButton->isVisible() && pushButton->isEnabled());
    QTest::mouseClick(pushButton, Qt::LeftButton);
}

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
    QList<ReaderRecord> m_kept;

    StationSetup setup(const QStringList &ports)
    {
        StationSetup setup;
        setup.ports = ports;
        setup.options.prompt = true;
        setup.station = QStringLiteral("line-1");
        setup.clocks = [] { return std::make_unique<VirtualClock>(); };
        setup.lines = [this](const QString &port, WaitClock &clock) -> std::unique_ptr<SerialLine> {
            if (port == Vorn8 && !m_vorn8Plugged)
                return std::make_unique<SerialPortLine>(Missing);
            return m_lines->create(port, clock);
        };
        setup.keep = [this](const ReaderRecord &record) {
            m_kept.append(record); // one tile at a time in these tests
            return QString();
        };
        return setup;
    }

    EmulatedReader &reader(const QString &port) { return m_lines->emulatedReader(port); }

private slots:
    void init()
    {
        m_lines = std::make_unique<LineFactory>(m_clock);
        m_vorn8Plugged = true;
        m_kept.clear();
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
        QVERIFY(labelText(missing, "detailsLabel").startsWith(QLatin1String("identify: ")));
        QCOMPARE(m_kept.size(), 3);
    }

    void defectNamesItsStep_data()
    {
        QTest::addColumn<QString>("defect");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("step");
        QTest::newRow("echo bit") << "echo-bit-1"
                                  << "FAIL"
                                  << "echo";
        QTest::newRow("stuck clock") << "clock-stuck-slot-3"
                                     << "FAIL"
                                     << "clocks";
        QTest::newRow("unselectable slot") << "slot-unselectable-2"
                                           << "FAIL"
                                           << "select-slot";
        QTest::newRow("Tarvik") << "tarvik-disagrees"
                                << "FAIL"
                                << "tarvik";
        QTest::newRow("falls silent") << "no-answer-after-6"
                                      << "ERROR"
                                      << "select-slot";
    }

    void defectNamesItsStep()
    {
        QFETCH(QString, defect);
        QFETCH(QString, word);
        QFETCH(QString, step);
        reader(Vorn8).addDefect(*ReaderDefect::fromName(defect));
        StationWindow window(setup({Vorn8}));
        window.show();
        SocketTile *tile = window.tile(Vorn8);
        click(tile, "checkButton");
        QTRY_VERIFY(tile->isAsking() || tile->outcome());
        if (tile->isAsking())
            click(tile, "yesButton");
        QTRY_VERIFY(tile->outcome().has_value());
        QCOMPARE(tile->outcomeWord(), word);
        const QString details = labelText(tile, "detailsLabel");
        QVERIFY2(details.startsWith(step + QLatin1String(": ")), qPrintable(details));
        QCOMPARE(m_kept.constFirst().failedSteps(), QStringList{step});
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
        QVERIFY(m_kept.constFirst().restored);
        QCOMPARE(m_kept.constFirst().outcome, ReaderOutcome::Aborted);
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
        QTRY_VERIFY(tile->probeCount() >= 3);
        QVERIFY(!tile->isRunning());
        QCOMPARE(tile->outcomeWord(), QStringLiteral("NO READER"));

        m_vorn8Plugged = true;
        QTRY_VERIFY(tile->isAsking());
        QTest::keyClick(&window, Qt::Key_Y);
        QTRY_COMPARE(tile->outcomeWord(), QStringLiteral("PASS"));
        const int probes = tile->probeCount();
        QTRY_VERIFY(tile->probeCount() >= probes + 3);
        QCOMPARE(m_kept.size(), 1);
        QVERIFY(!tile->isRunning());

        m_vorn8Plugged = false;
        QTRY_COMPARE(labelText(tile, "identityLabel"), QStringLiteral("Reader removed"));
        m_vorn8Plugged = true;
        QTRY_VERIFY(tile->isAsking());
        QTest::keyClick(&window, Qt::Key_Y);
        QTRY_COMPARE(m_kept.size(), 2);
    }
    // Each tile's record is kept as its checkout ends; the list shows this station's checkouts
    // newest first, narrowed by serial number (the filter kept for the next start), a
    // double-click shows a whole record and the certificate is written for the selected one.
    void recordsListedAndFiltered()
    {
        QTemporaryDir folder;
        RecordsLocation location;
        location.kind = RecordsLocation::Kind::Sqlite;
        location.path = folder.filePath(QStringLiteral("records.sqlite"));
        ReaderRecord elsewhere;
        elsewhere.id = ReaderRecord::newId();
        elsewhere.station = QStringLiteral("line-2");
        elsewhere.serialNumber = 4321;
        elsewhere.started = QDateTime::currentDateTimeUtc();
        RecordsStore store(location);
        QVERIFY(store.open());
        QCOMPARE(store.store(elsewhere), RecordsStore::Stored::Added);

        reader(Vorn4).addDefect(*ReaderDefect::fromName(QStringLiteral("echo-bit-0")));
        StationSetup kept = setup({Vorn8, Vorn4});
        kept.keep = RecordsPanel::keeper(location);
        StationWindow window(kept);
        window.setRecordsPanel(new RecordsPanel(location, kept.station));
        window.show();
        auto *list = window.findChild<QTreeWidget *>(QStringLiteral("recordsList"));
        auto *filter = window.findChild<QLineEdit *>(QStringLiteral("serialFilter"));
        filter->clear();
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

        QTest::keyClicks(filter, QStringLiteral("4321"));
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(row(0).constFirst(), QStringLiteral("004321"));
        QCOMPARE(RecordsPanel(location, kept.station).findChild<QLineEdit *>()->text(),
                 QStringLiteral("4321"));

        QTreeWidgetItem *item = list->topLevelItem(0);
        list->setCurrentItem(item);
        emit list->itemDoubleClicked(item, 0);
        auto *details = window.findChild<QPlainTextEdit *>(QStringLiteral("recordText"));
        QVERIFY(details && details->isVisible());
        QVERIFY(details->toPlainText().contains(QLatin1String("004321")));
        QVERIFY(details->toPlainText().contains(QLatin1String("came back as")));

        const QString pdf = folder.filePath(QStringLiteral("certificate.pdf"));
        QVERIFY(window.recordsPanel()->saveCertificate(pdf));
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.read(5) == "%PDF-");

        filter->setText(QStringLiteral("99999"));
        QCOMPARE(list->topLevelItemCount(), 0);
        filter->setText(QStringLiteral("777"));
        QCOMPARE(list->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(StationTest)
#include "tst_station.moc"
