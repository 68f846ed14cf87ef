#include "emulator/emulatedline.h"
#include "windowfixture.h"

#include <QAbstractEventDispatcher>
#include <QAbstractItemView>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>

namespace {

// The controls that follow the port: enabled while it is open, disabled after Close.
const QList<const char *> deviceControls{
    "pushButton_ResetDTR",   "pushButton_SetDTR",        "pushButton_ResetRTS",
    "pushButton_SetRTS",     "pushButton_GetStatus",     "pushButton_SetSlot",
    "comboBox_SelectedSlot", "pushButton_Version",       "pushButton_ASCII",
    "lineEdit_Version",      "comboBox_Freq_0",          "comboBox_Freq_1",
    "comboBox_Freq_2",       "comboBox_Freq_3",          "comboBox_Freq_4",
    "comboBox_Freq_5",       "comboBox_Freq_6",          "comboBox_Freq_7",
    "pushButton_GetClks",    "pushButton_SetClks",       "pushButton_StoreClks",
    "pushButton_Display",    "lineEdit_ASCII",           "lineEdit_Echo",
    "pushButton_Echo",       "pushButton_minus",         "pushButton_plus",
    "pushButton_SetChar",    "pushButton_SetTime",       "lineEdit_time",
    "pushButton_getTime",    "pushButton_TarvikSetSlot", "pushButton_TarvikStatus"};

QStringList comboItems(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void scanListsSystemThenGivenThenEmulatedPorts();
    void portPopupShowsLongestName();
    void openEnablesDeviceControlsAndStartsPoll();
    void closeRestoresControlsAndKeepsLastStates();
    void failedOpenChangesNothing();
    void openCloseOpenMakesFreshLine();
    void pollMirrorsInactiveLines_data();
    void pollMirrorsInactiveLines();
    void lineButtonsDriveDtrAndRts();
    void geometryIsRestored();
    void exitClosesAndSaves();

private:
    QTemporaryDir m_settingsDir;
};

void WindowTest::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void WindowTest::init()
{
    QSettings("Ombrin", "Vorn Test App").clear();
}

void WindowTest::scanListsSystemThenGivenThenEmulatedPorts()
{
    WindowFixture f({"/dev/pts/77", "/dev/serial/by-id/usb-adapter"});
    f.click("pushButton_ScanPorts");
    const QStringList items = comboItems(f.control<QComboBox>("comboBox"));
    QVERIFY(items.size() >= 4);
    QCOMPARE(
        items.mid(items.size() - 4),
        QStringList({"/dev/pts/77", "/dev/serial/by-id/usb-adapter", "emu-vorn8", "emu-vorn4"}));
    QCOMPARE(f.index("comboBox"), 0);
    // The description tells two look-alike ports apart.
    auto *ports = f.control<QComboBox>("comboBox");
    QCOMPARE(ports->itemData(ports->findText("emu-vorn4"), Qt::ToolTipRole).toString(),
             QStringLiteral("Emulated four-slot reader"));
    QVERIFY(f.enabled("comboBox"));
    QVERIFY(f.enabled("pushButton_OpenPorts"));

    // A second scan replaces the list rather than adding to it.
    f.click("pushButton_ScanPorts");
    QCOMPARE(comboItems(f.control<QComboBox>("comboBox")), items);
}

void WindowTest::portPopupShowsLongestName()
{
    const QString longName =
        QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A9F3KX2L-if00-port0");
    // Fusion widens a popup by itself; the Windows style drops the list at the box's width.
    const std::unique_ptr<QStyle> dropDownStyle(QStyleFactory::create(QStringLiteral("Windows")));
    QVERIFY(dropDownStyle);
    WindowFixture f({longName});
    f.window->show();
    auto *ports = f.control<QComboBox>("comboBox");
    ports->setStyle(dropDownStyle.get());
    f.click("pushButton_ScanPorts");
    ports->showPopup();
    QAbstractItemView *view = ports->view();
    QTRY_VERIFY(view->isVisible());
    QVERIFY2(view->viewport()->width() >= view->fontMetrics().horizontalAdvance(longName),
             qPrintable(QString::number(view->viewport()->width())));
    ports->hidePopup();
    QCOMPARE(ports->geometry(), QRect(120, 10, 81, 20));
}

void WindowTest::openEnablesDeviceControlsAndStartsPoll()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    QVERIFY(!f.enabled("pushButton_ScanPorts"));
    QVERIFY(f.enabled("pushButton_ClosePorts"));
    QVERIFY(!f.enabled("pushButton_OpenPorts"));
    QVERIFY(!f.enabled("comboBox"));
    for (const char *name : deviceControls)
        QVERIFY2(f.enabled(name), name);
    QVERIFY(f.window->isPolling());
    // The card lines are read every 100 ms: the window's one timer.
    const QList<QAbstractEventDispatcher::TimerInfo> timers =
        QAbstractEventDispatcher::instance()->registeredTimers(f.window.get());
    QCOMPARE(timers.size(), 1);
    QCOMPARE(timers.first().interval, 100);
    // The form's own states are not touched by Open.
    QVERIFY(!f.enabled("lineEdit_Char"));
    QVERIFY(!f.enabled("checkBox_Slot0"));
}

void WindowTest::closeRestoresControlsAndKeepsLastStates()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.reader().setOccupiedSlots(0x81);
    f.click("pushButton_Version");
    f.control<QLineEdit>("lineEdit_time")->setText("12");
    f.click("pushButton_Echo");
    QVERIFY(!f.text("lineEdit_Version").isEmpty());

    f.click("pushButton_ClosePorts");
    QVERIFY(f.text("lineEdit_Version").isEmpty());
    QVERIFY(f.text("lineEdit_time").isEmpty());
    QCOMPARE(f.text("lineEdit_Echo"), QStringLiteral("a"));
    QVERIFY(f.checked("checkBox_Slot0"));
    QVERIFY(f.checked("checkBox_Slot7"));
    QVERIFY(f.enabled("pushButton_ScanPorts"));
    QVERIFY(!f.enabled("pushButton_ClosePorts"));
    QVERIFY(f.enabled("pushButton_OpenPorts"));
    QVERIFY(f.enabled("comboBox"));
    for (const char *name : deviceControls)
        QVERIFY2(!f.enabled(name), name);
    QVERIFY(!f.window->isPolling());
    QVERIFY(!f.window->port()->isOpen());
}

void WindowTest::failedOpenChangesNothing()
{
    WindowFixture f({"/nonexistent/ttyVorn"});
    QVERIFY(!f.open("/nonexistent/ttyVorn"));
    QVERIFY(f.enabled("pushButton_ScanPorts"));
    QVERIFY(f.enabled("pushButton_OpenPorts"));
    QVERIFY(f.enabled("comboBox"));
    QVERIFY(!f.enabled("pushButton_ClosePorts"));
    for (const char *name : deviceControls)
        QVERIFY2(!f.enabled(name), name);
    QVERIFY(!f.window->isPolling());
    QVERIFY(f.text("lineEdit_Version").isEmpty());
}

void WindowTest::openCloseOpenMakesFreshLine()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    const SerialLine *first = f.window->port();
    f.click("pushButton_ClosePorts");
    f.click("pushButton_OpenPorts");
    QVERIFY(f.window->port()->isOpen());
    QVERIFY(f.window->port() != first);
    QVERIFY(f.window->isPolling());
    QVERIFY(f.enabled("pushButton_GetStatus"));
}

void WindowTest::pollMirrorsInactiveLines_data()
{
    QTest::addColumn<bool>("cts");
    QTest::addColumn<bool>("dcd");
    QTest::newRow("both inactive") << false << false;
    QTest::newRow("both active") << true << true;
    QTest::newRow("only CTS active") << true << false;
    QTest::newRow("only DCD active") << false << true;
}

void WindowTest::pollMirrorsInactiveLines()
{
    QFETCH(bool, cts);
    QFETCH(bool, dcd);
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    f.reader().setClearToSend(!cts);
    f.reader().setDataCarrierDetect(!dcd);
    QTRY_COMPARE(f.checked("checkBox_CardsChanged"), cts);
    f.reader().setClearToSend(cts);
    f.reader().setDataCarrierDetect(dcd);
    QTRY_COMPARE(f.checked("checkBox_CardsChanged"), !cts);
    QTRY_COMPARE(f.checked("checkBox_CardsIn"), !dcd);
}

void WindowTest::lineButtonsDriveDtrAndRts()
{
    WindowFixture f;
    QVERIFY(f.open("emu-vorn8"));
    auto *line = dynamic_cast<EmulatedLine *>(f.window->port());
    QVERIFY(line);
    f.click("pushButton_SetDTR");
    QVERIFY(line->dataTerminalReady());
    f.click("pushButton_ResetDTR");
    QVERIFY(!line->dataTerminalReady());
    f.click("pushButton_SetRTS");
    QVERIFY(line->requestToSend());
    f.click("pushButton_ResetRTS");
    QVERIFY(!line->requestToSend());
    // A command releases DTR that was asserted by hand, and leaves RTS alone.
    f.click("pushButton_SetDTR");
    f.click("pushButton_SetRTS");
    f.click("pushButton_GetStatus");
    QVERIFY(!line->dataTerminalReady());
    QVERIFY(line->requestToSend());
    QVERIFY(f.reader().receivedRequests().size() == 1);
}

void WindowTest::geometryIsRestored()
{
    QPoint placed;
    {
        WindowFixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f.window->move(123, 87);
        placed = f.window->pos();
        f.window->close();
    }
    WindowFixture second;
    second.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(second.window.get()));
    QCOMPARE(second.window->pos(), placed);
    QCOMPARE(second.window->size(), QSize(450, 343));
}

void WindowTest::exitClosesAndSaves()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QVERIFY(f.open("emu-vorn8"));
    f.reader().clearReceivedRequests();
    f.click("pushButton_Exit");
    QVERIFY(!f.window->isVisible());
    QVERIFY(QSettings("Ombrin", "Vorn Test App").contains("geometry"));
    // Closing sends nothing to the reader.
    QVERIFY(f.reader().receivedRequests().isEmpty());
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
