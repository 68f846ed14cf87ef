#include "station/recordspanel.h"

#include "commandline/decimaltext.h"
#include "records/recordcertificate.h"
#include "records/recordkeeper.h"
#include "records/recordsstore.h"
#include "records/recordtext.h"

#include <QDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTextStream>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString FilterKey = QStringLiteral("records/serialFilter");

QSettings stationSettings()
{
    return QSettings(QStringLiteral("Ombrin"), QStringLiteral("Vorn Station"));
}

enum Column
{
    TimeColumn,
    SerialColumn,
    ModelColumn,
    OutcomeColumn,
    FailedColumn,
};

} // namespace

RecordsPanel::RecordsPanel(RecordsLocation location, QString station, QWidget *parent)
    : QGroupBox(parent), m_location(std::move(location)), m_station(std::move(station))
{
    setObjectName(QStringLiteral("recordsPanel"));
    setTitle(tr("Recent checkouts of station %1").arg(m_station));
    buildLayout();
    {
        const QSignalBlocker quiet(m_filter);
        m_filter->setText(stationSettings().value(FilterKey).toString());
    }
    // The list is read once the window is up: opening the database (and loading its driver)
    // need not hold up the window's first appearance.
    QTimer::singleShot(0, this, &RecordsPanel::refresh);
}

std::function<QString(const ReaderRecord &)> RecordsPanel::keeper(const RecordsLocation &location)
{
    return [location](const ReaderRecord &record) {
        // Each call opens its own connection, on the thread of the tile that calls it.
        QString warnings;
        QTextStream stream(&warnings);
        RecordKeeper(location).keep({record}, stream);
        return warnings.trimmed();
    };
}

void RecordsPanel::buildLayout()
{
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    auto *filterLabel = new QLabel(tr("&Serial number:"), this);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("serialFilter"));
    m_filter->setPlaceholderText(tr("every reader"));
    m_filter->setClearButtonEnabled(true);
    // The operator's keys (Space, Enter, Y, N) belong to the tiles: the field takes them only
    // once clicked, and gives them back on Enter or Escape.
    m_filter->setFocusPolicy(Qt::ClickFocus);
    connect(m_filter, &QLineEdit::returnPressed, m_filter, [this] { m_filter->clearFocus(); });
    auto *leave =
        new QShortcut(QKeySequence(Qt::Key_Escape), m_filter, nullptr, nullptr, Qt::WidgetShortcut);
    connect(leave, &QShortcut::activated, m_filter, [this] { m_filter->clearFocus(); });
    filterLabel->setBuddy(m_filter);
    connect(m_filter, &QLineEdit::textChanged, this, &RecordsPanel::filterChanged);
    top->addWidget(filterLabel);
    top->addWidget(m_filter);
    top->addStretch(1);
    m_certificate = new QPushButton(tr("Certificate…"), this);
    m_certificate->setObjectName(QStringLiteral("certificateButton"));
    m_certificate->setFocusPolicy(Qt::NoFocus);
    m_certificate->setEnabled(false);
    connect(m_certificate, &QPushButton::clicked, this, &RecordsPanel::chooseCertificateFile);
    top->addWidget(m_certificate);
    layout->addLayout(top);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("recordsList"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setFocusPolicy(Qt::ClickFocus);
    m_list->setHeaderLabels(
        {tr("Time"), tr("Serial"), tr("Model"), tr("Outcome"), tr("Failed steps")});
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(true);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { showRecord(item->data(0, Qt::UserRole).toString()); });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_certificate->setEnabled(!selectedId().isEmpty()); });
    layout->addWidget(m_list);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("recordsStatus"));
    m_status->setWordWrap(true);
    m_status->hide();
    layout->addWidget(m_status);
}

void RecordsPanel::refresh()
{
    RecordsQuery query;
    query.station = m_station;
    query.limit = ShownRecords;
    const QString filter = m_filter->text().trimmed();
    if (!filter.isEmpty()) {
        const std::optional<uint> serial = DecimalText::inRange(filter, 0, 0xFFFF);
        if (!serial) {
            m_list->clear();
            showStatus(tr("A serial number is a number from 0 to 65535."));
            return;
        }
        query.serialNumber = int(*serial);
    }
    const QString selected = selectedId();
    RecordsStore store(m_location);
    std::optional<QList<RecordSummary>> summaries;
    if (store.open())
        summaries = store.list(query);
    if (!summaries) {
        showStatus(tr("The records cannot be read: %1").arg(store.errorText()));
        return;
    }
    showStatus({});
    m_list->clear();
    for (const RecordSummary &summary : *summaries) {
        QTreeWidgetItem *item = itemFor(summary);
        m_list->addTopLevelItem(item);
        if (summary.id == selected)
            item->setSelected(true);
    }
}

QTreeWidgetItem *RecordsPanel::itemFor(const RecordSummary &summary)
{
    auto *item = new QTreeWidgetItem;
    item->setData(0, Qt::UserRole, summary.id);
    item->setText(TimeColumn,
                  summary.started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    item->setText(SerialColumn,
                  summary.serialNumber
                      ? QStringLiteral("%1").arg(*summary.serialNumber, 6, 10, QLatin1Char('0'))
                      : QString());
    item->setText(ModelColumn, summary.model);
    item->setText(OutcomeColumn, summary.outcome.toUpper());
    item->setText(FailedColumn, summary.failedSteps.join(QStringLiteral(", ")));
    return item;
}

QString RecordsPanel::selectedId() const
{
    const QList<QTreeWidgetItem *> items = m_list->selectedItems();
    return items.isEmpty() ? QString() : items.constFirst()->data(0, Qt::UserRole).toString();
}

void RecordsPanel::filterChanged(const QString &text)
{
    stationSettings().setValue(FilterKey, text);
    refresh();
}

QWidget *RecordsPanel::showRecord(const QString &id)
{
    RecordsStore store(m_location);
    std::optional<ReaderRecord> record;
    if (!store.open() || !store.find(id, record) || !record) {
        showStatus(tr("The record %1 cannot be read: %2").arg(id, store.errorText()));
        return nullptr;
    }
    // A window of its own, not a modal one: the tiles go on while the record is read.
    auto *dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("recordDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Checkout %1").arg(RecordText::summaryLine(*record)));
    auto *layout = new QVBoxLayout(dialog);
    auto *text = new QPlainTextEdit(RecordText::render(*record), dialog);
    text->setObjectName(QStringLiteral("recordText"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(text);
    dialog->resize(text->fontMetrics().averageCharWidth() * 110, text->fontMetrics().height() * 30);
    dialog->show();
    return dialog;
}

void RecordsPanel::chooseCertificateFile()
{
    const QString id = selectedId();
    if (id.isEmpty())
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save the test certificate"),
        QStringLiteral("certificate-%1.pdf")
            .arg(m_list->selectedItems().constFirst()->text(SerialColumn)),
        tr("PDF (*.pdf)"));
    if (!path.isEmpty())
        saveCertificate(path);
}

bool RecordsPanel::saveCertificate(const QString &path)
{
    const QString id = selectedId();
    RecordsStore store(m_location);
    std::optional<ReaderRecord> record;
    if (id.isEmpty() || !store.open() || !store.find(id, record) || !record) {
        showStatus(tr("No certificate: the record cannot be read. %1").arg(store.errorText()));
        return false;
    }
    QString error;
    if (!RecordCertificate::write(*record, path, &error)) {
        showStatus(tr("No certificate: %1").arg(error));
        return false;
    }
    showStatus(tr("Certificate saved: %1").arg(path));
    return true;
}

void RecordsPanel::showStatus(const QString &text)
{
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}
