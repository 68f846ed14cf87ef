#include "app/widget.h"

#include "app/networkportopener.h"
#include "app/productinfo.h"
#include "device/readercommands.h"
#include "device/readermodel.h"
#include "device/readerprotocol.h"
#include "device/timesetting.h"
#include "display/displaycommands.h"
#include "display/glyphpainter.h"
#include "emulator/linefactory.h"
#include "serial/devicetransaction.h"
#include "serial/networkportname.h"
#include "serial/portscan.h"
#include "serial/realclock.h"
#include "serial/serialline.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QTimerEvent>
#include <QUrl>

namespace {

constexpr int PollIntervalMs = 100;
constexpr int RememberedNetworkPorts = 16;

QSettings windowSettings()
{
    return QSettings(QString::fromLatin1(ProductInfo::OrganisationName),
                     QString::fromLatin1(ProductInfo::SettingsApplicationName));
}

QStringList rememberedNetworkPorts()
{
    return windowSettings().value(QLatin1String(ProductInfo::NetworkPortsKey)).toStringList();
}

void rememberNetworkPort(const QString &portName)
{
    QStringList ports = rememberedNetworkPorts();
    ports.removeAll(portName);
    ports.prepend(portName);
    windowSettings().setValue(QLatin1String(ProductInfo::NetworkPortsKey),
                              ports.mid(0, RememberedNetworkPorts));
}

} // namespace

Widget::Widget(QWidget *parent) : Widget(WindowOptions{}, parent) {}

Widget::Widget(const WindowOptions &options, QWidget *parent) : QWidget(parent), m_options(options)
{
    ui.setupUi(this);
    // A port on a network serial server cannot be found by the scan: its name is typed.
    ui.comboBox->setEditable(true);
    ui.comboBox->setInsertPolicy(QComboBox::NoInsert);
    if (!m_options.clock) {
        m_ownClock = std::make_unique<RealClock>();
        m_options.clock = m_ownClock.get();
    }
    m_lineFactory = std::make_unique<LineFactory>(*m_options.clock);
    m_networkOpener = new NetworkPortOpener(this);
    connect(m_networkOpener, &NetworkPortOpener::finished, this, &Widget::networkPortOpened);

    restoreGeometry(windowSettings().value(QLatin1String(ProductInfo::GeometryKey)).toByteArray());
    m_previewCharacter = 64;
    ui.lineEdit_Char->setText(QString::number(m_previewCharacter));
}

Widget::~Widget()
{
    // A network port still being opened uses the line: the opening ends first.
    delete m_networkOpener;
    // The line may be an emulated one whose reader and clock the window owns: let it go first.
    m_transaction.reset();
    m_port.reset();
}

// ---- the port ----

void Widget::on_pushButton_ScanPorts_clicked()
{
    ui.comboBox->clear();
    QStringList named = m_options.extraPortNames;
    for (const QString &remembered : rememberedNetworkPorts()) {
        if (!named.contains(remembered))
            named.append(remembered);
    }
    const QList<PortEntry> ports = PortScan::scan(named) + LineFactory::emulatedPorts();
    const bool found = !ports.isEmpty();
    ui.pushButton_OpenPorts->setEnabled(found);
    ui.comboBox->setEnabled(found);
    for (const PortEntry &port : ports) {
        ui.comboBox->addItem(port.name);
        // Two USB adapters look alike by name; the description tells them apart.
        if (!port.description.isEmpty())
            ui.comboBox->setItemData(ui.comboBox->count() - 1, port.description, Qt::ToolTipRole);
    }
    fitPortListPopup();
}

void Widget::fitPortListPopup()
{
    // The closed list keeps the form's narrow box; its popup is as wide as the longest name,
    // so a /dev/serial/by-id link can be read whole before it is opened. (Styles that open the
    // list over the box widen it themselves; those that drop it below the box do not.)
    QComboBox *ports = ui.comboBox;
    QAbstractItemView *view = ports->view();
    const QFontMetrics metrics = view->fontMetrics();
    int widest = 0;
    for (int i = 0; i < ports->count(); ++i)
        widest = qMax(widest, metrics.horizontalAdvance(ports->itemText(i)));
    // The item's text margins on either side, as the item delegates take them, and the frame.
    const int textMargin =
        view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    int width = widest + 2 * textMargin + 2 * view->frameWidth();
    if (ports->count() > ports->maxVisibleItems())
        width += view->verticalScrollBar()->sizeHint().width();
    view->setMinimumWidth(width);
}

void Widget::on_pushButton_OpenPorts_clicked()
{
    if (ui.comboBox->count() == 0 || m_networkOpener->isOpening())
        return;
    m_transaction.reset();
    const QString portName = ui.comboBox->currentText().trimmed();
    m_port = m_lineFactory->create(portName);
    // A network server may take seconds to answer, or never: the window keeps answering
    // meanwhile, and then shows the port open, or not, as it shows any other port.
    if (NetworkPortName::isNetworkName(portName)) {
        m_networkOpener->open(m_port.get());
        return;
    }
    if (m_port->open())
        portOpened();
}

void Widget::networkPortOpened(bool opened)
{
    if (!opened)
        return;
    rememberNetworkPort(m_port->portName());
    portOpened();
}

void Widget::portOpened()
{
    m_transaction = std::make_unique<DeviceTransaction>(*m_port, *m_options.clock);
    m_transaction->setTrace(m_options.trace);

    ui.pushButton_ScanPorts->setEnabled(false);
    ui.pushButton_ClosePorts->setEnabled(true);
    ui.pushButton_OpenPorts->setEnabled(false);
    ui.comboBox->setEnabled(false);
    setDeviceControlsEnabled(true);
    m_pollTimerId = startTimer(PollIntervalMs);
}

void Widget::on_pushButton_ClosePorts_clicked()
{
    ui.lineEdit_Version->clear();
    ui.pushButton_ScanPorts->setEnabled(true);
    ui.pushButton_ClosePorts->setEnabled(false);
    ui.pushButton_OpenPorts->setEnabled(true);
    ui.comboBox->setEnabled(true);
    setDeviceControlsEnabled(false);
    if (m_pollTimerId != 0)
        killTimer(m_pollTimerId);
    m_pollTimerId = 0;
    ui.lineEdit_time->clear();
    if (m_port)
        m_port->close();
}

QList<QWidget *> Widget::deviceControls() const
{
    return {ui.pushButton_ResetDTR,   ui.pushButton_SetDTR,        ui.pushButton_ResetRTS,
            ui.pushButton_SetRTS,     ui.pushButton_GetStatus,     ui.pushButton_SetSlot,
            ui.comboBox_SelectedSlot, ui.pushButton_Version,       ui.pushButton_ASCII,
            ui.lineEdit_Version,      ui.comboBox_Freq_0,          ui.comboBox_Freq_1,
            ui.comboBox_Freq_2,       ui.comboBox_Freq_3,          ui.comboBox_Freq_4,
            ui.comboBox_Freq_5,       ui.comboBox_Freq_6,          ui.comboBox_Freq_7,
            ui.pushButton_GetClks,    ui.pushButton_SetClks,       ui.pushButton_StoreClks,
            ui.pushButton_Display,    ui.lineEdit_ASCII,           ui.lineEdit_Echo,
            ui.pushButton_Echo,       ui.pushButton_minus,         ui.pushButton_plus,
            ui.pushButton_SetChar,    ui.pushButton_SetTime,       ui.lineEdit_time,
            ui.pushButton_getTime,    ui.pushButton_TarvikSetSlot, ui.pushButton_TarvikStatus};
}

void Widget::setDeviceControlsEnabled(bool enabled)
{
    for (QWidget *control : deviceControls())
        control->setEnabled(enabled);
}

void Widget::on_pushButton_SetDTR_clicked()
{
    m_port->setDataTerminalReady(true);
}

void Widget::on_pushButton_ResetDTR_clicked()
{
    m_port->setDataTerminalReady(false);
}

void Widget::on_pushButton_SetRTS_clicked()
{
    m_port->setRequestToSend(true);
}

void Widget::on_pushButton_ResetRTS_clicked()
{
    m_port->setRequestToSend(false);
}

void Widget::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_pollTimerId) {
        QWidget::timerEvent(event);
        return;
    }
    // The reader holds a line inactive to signal: an inactive line checks its box.
    const ModemLines lines = m_port->modemLines();
    ui.checkBox_CardsChanged->setChecked(!lines.clearToSend);
    ui.checkBox_CardsIn->setChecked(!lines.dataCarrierDetect);
}

// ---- reader commands ----

ReaderCommands Widget::readerCommands()
{
    return ReaderCommands(*m_transaction);
}

DisplayCommands Widget::displayCommands()
{
    return DisplayCommands(*m_transaction);
}

void Widget::showError(DeviceError error)
{
    ui.lineEdit_Version->setText(deviceErrorText(error));
}

void Widget::showSlotOccupancy(quint8 occupancy)
{
    const std::array<QCheckBox *, 8> boxes{ui.checkBox_Slot0, ui.checkBox_Slot1, ui.checkBox_Slot2,
                                           ui.checkBox_Slot3, ui.checkBox_Slot4, ui.checkBox_Slot5,
                                           ui.checkBox_Slot6, ui.checkBox_Slot7};
    for (int slot = 0; slot < ReaderProtocol::SlotCount; ++slot)
        boxes.at(std::size_t(slot))->setChecked(SlotStatus::isOccupied(occupancy, slot));
}

void Widget::on_pushButton_GetStatus_clicked()
{
    const DeviceResult<SlotStatus> status = readerCommands().readStatus();
    if (!status.ok()) {
        showError(status.error);
        return;
    }
    showSlotOccupancy(status.value.occupancy);
    // Applied as reported, even when a four-slot list has no such item.
    ui.comboBox_SelectedSlot->setCurrentIndex(status.value.selectedSlot);
}

void Widget::on_pushButton_SetSlot_clicked()
{
    const int index = ui.comboBox_SelectedSlot->currentIndex();
    if (index < 0)
        return; // no slot shown: there is nothing valid to select
    readerCommands().selectSlot(static_cast<quint8>(index));
}

void Widget::on_pushButton_Version_clicked()
{
    const Identification identification = readerCommands().identify();
    // The layout follows the model as soon as it is known, even if the serial number fails.
    if (identification.modelType)
        applyModelLayout(*identification.modelType);
    if (!identification.ok()) {
        showError(identification.error);
        return;
    }
    ui.lineEdit_Version->setText(identification.text());
    on_pushButton_GetStatus_clicked();
    on_pushButton_GetClks_clicked();
}

void Widget::applyModelLayout(quint8 modelType)
{
    // A type code of no model changes nothing.
    const ReaderModel *model = ReaderModel::byTypeCode(modelType);
    if (!model)
        return;
    const int slotCount = model->slotCount();
    // The slots every model has stay as they are; the others follow the model.
    const int everyModels = ReaderModel::all().first().slotCount();
    const auto selectors = clockSelectors();
    for (int slot = everyModels; slot < ReaderModel::mostSlots(); ++slot)
        selectors.at(std::size_t(slot))->setEnabled(slot < slotCount);
    QComboBox *slotList = ui.comboBox_SelectedSlot;
    while (slotList->count() > slotCount)
        slotList->removeItem(slotList->count() - 1);
    // The form's last four items come back only to a list of four, as they went.
    if (slotList->count() == everyModels)
        for (int slot = everyModels; slot < slotCount; ++slot)
            slotList->addItem(tr("Slot %1").arg(slot + 1));
}

std::array<QComboBox *, 8> Widget::clockSelectors() const
{
    return {ui.comboBox_Freq_0, ui.comboBox_Freq_1, ui.comboBox_Freq_2, ui.comboBox_Freq_3,
            ui.comboBox_Freq_4, ui.comboBox_Freq_5, ui.comboBox_Freq_6, ui.comboBox_Freq_7};
}

void Widget::showClockSelection(const ClockSelection &selection)
{
    const auto selectors = clockSelectors();
    for (int slot = 0; slot < ReaderProtocol::SlotCount; ++slot)
        selectors.at(std::size_t(slot))->setCurrentIndex(selection.code(slot));
}

ClockSelection Widget::clockSelectionShown() const
{
    const auto selectors = clockSelectors();
    ClockSelection selection;
    for (int slot = 0; slot < ReaderProtocol::SlotCount; ++slot)
        selection.setCode(slot,
                          static_cast<quint8>(selectors.at(std::size_t(slot))->currentIndex()));
    return selection;
}

void Widget::on_pushButton_GetClks_clicked()
{
    const DeviceResult<ClockSelection> clocks = readerCommands().readClocks();
    if (!clocks.ok()) {
        showError(clocks.error);
        return;
    }
    showClockSelection(clocks.value);
}

void Widget::on_pushButton_SetClks_clicked()
{
    readerCommands().writeClocks(clockSelectionShown());
}

void Widget::on_pushButton_StoreClks_clicked()
{
    readerCommands().storeClocks(clockSelectionShown());
}

void Widget::on_pushButton_getTime_clicked()
{
    const DeviceResult<quint16> counts = readerCommands().readTimeCounts();
    if (!counts.ok()) {
        showError(counts.error);
        return;
    }
    ui.lineEdit_time->setText(QString::number(TimeSetting::secondsFromCounts(counts.value)));
}

void Widget::on_pushButton_SetTime_clicked()
{
    const std::optional<quint16> counts = TimeSetting::countsFromEntry(ui.lineEdit_time->text());
    if (!counts)
        return;
    readerCommands().storeTimeCounts(*counts);
}

void Widget::on_pushButton_Echo_clicked()
{
    const QByteArray text = ui.lineEdit_ASCII->text().toLatin1();
    const quint8 character = text.isEmpty() ? 0 : static_cast<quint8>(text.at(0));
    const EchoResult echo = readerCommands().echo(character);
    if (echo.error != DeviceError::None)
        showError(echo.error);
    ui.lineEdit_Echo->setText(QString(QChar(echo.echoed)));
}

void Widget::on_pushButton_TarvikStatus_clicked()
{
    const DeviceResult<quint8> occupancy = readerCommands().tarvikStatus();
    if (!occupancy.ok()) {
        showError(occupancy.error);
        return;
    }
    showSlotOccupancy(occupancy.value);
}

void Widget::on_pushButton_TarvikSetSlot_clicked()
{
    const int index = ui.comboBox_SelectedSlot->currentIndex();
    if (index < 0)
        return; // no slot shown: there is nothing valid to select
    const DeviceError error = readerCommands().tarvikSelectSlot(static_cast<quint8>(index + 1));
    if (error != DeviceError::None)
        showError(error);
}

// ---- the display ----

void Widget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    GlyphPainter::paint(painter, m_previewCharacter);
}

void Widget::stepPreviewCharacter(int step)
{
    m_previewCharacter = static_cast<quint8>(m_previewCharacter + step);
    ui.lineEdit_Char->setText(QString::number(m_previewCharacter));
    update();
}

void Widget::on_pushButton_plus_clicked()
{
    stepPreviewCharacter(+1);
}

void Widget::on_pushButton_minus_clicked()
{
    stepPreviewCharacter(-1);
}

void Widget::on_pushButton_SetChar_clicked()
{
    displayCommands().showCharacter(m_previewCharacter);
}

void Widget::on_pushButton_eurotest_clicked()
{
    displayCommands().showCharacter(0xEE);
}

void Widget::on_pushButton_ASCII_clicked()
{
    displayCommands().showText(ui.lineEdit_ASCII->text());
}

void Widget::on_pushButton_Display_clicked()
{
    displayCommands().runDisplayTest();
}

// ---- the shell ----

void Widget::on_pushButton_about_clicked()
{
    QMessageBox::about(this, tr("Info - Copyright"),
                       tr("<h2>Vorn Tool 1.0</h2><p>Copyright &copy; 2026 Ombrin<br>"
                          "<a href=%1>%1</a>")
                           .arg(QLatin1String(ProductInfo::WebPageUrl)));
}

void Widget::on_pushButton_wwwInfo_clicked()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(ProductInfo::WebPageUrl)));
}

void Widget::on_pushButton_Exit_clicked()
{
    close();
}

void Widget::closeEvent(QCloseEvent *event)
{
    windowSettings().setValue(QLatin1String(ProductInfo::GeometryKey), saveGeometry());
    QWidget::closeEvent(event);
}
