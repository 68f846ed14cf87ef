#include "station/recordspanel.h"

#include "device/identification.h"
#include "documents/recordcertificate.h"
#include "station/recorddialog.h"
#include "station/scanfield.h"
#include "station/sockettile.h"
#include "station/stationrecords.h"
#include "store/recordsdatabase.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionGroupBox>
#include <QStylePainter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <qdrawutil.h>

namespace {

constexpr int MinimumListRows = 2;

// Beside the record's id (Qt::UserRole): the name its certificate is offered under.
constexpr int CertificateNameRole = Qt::UserRole + 1;

enum Column
{
    TimeColumn,
    SerialColumn,
    ModelColumn,
    OutcomeColumn,
    FailedColumn,
};

} // namespace

RecordsPanel::RecordsPanel(StationRecords &records, QString station, QWidget *parent)
    : QGroupBox(parent), m_records(records), m_station(std::move(station))
{
    setObjectName(QStringLiteral("recordsPanel"));
    setTitle(tr("Recent checkouts of station %1").arg(m_station));
    buildLayout();
    connect(&m_records, &StationRecords::listed, this, &RecordsPanel::showList);
    connect(&m_records, &StationRecords::recordRead, this, &RecordsPanel::showReadRecord);
    connect(&m_records, &StationRecords::certificateWritten, this,
            &RecordsPanel::certificateWritten);
    connect(&m_records, &StationRecords::kept, this, &RecordsPanel::recordKept);
    connect(&m_records, &StationRecords::answeringChanged, this, &RecordsPanel::showAnswering);
    showAnswering();
    // The list is asked for by the window once it has been painted (refresh()).
}

void RecordsPanel::paintEvent(QPaintEvent *event)
{
    // Fusion draws a group box's frame from a picture read through the image plugins with its
    // format left to be told, and so loads every one of them (SVG, JPEG, GIF, ICO, with Qt SVG
    // and libjpeg) at the station's start, half a megabyte. The same picture read as the PNG it
    // is, drawn as Fusion draws it, below the title.
    static const QPixmap picture = [] {
        QImageReader reader(
            QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png"),
            "png");
        reader.setAutoDetectImageFormat(false);
        return QPixmap::fromImage(reader.read());
    }();
    if (style()->name() != QLatin1String("fusion") || picture.isNull()) {
        QGroupBox::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const int titleHeight =
        std::max(style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, &option, this),
                 option.fontMetrics.height());
    constexpr int FusionTitleMargin = 3;
    qDrawBorderPixmap(&painter, rect().adjusted(0, titleHeight + FusionTitleMargin, 0, 0),
                      QMargins(6, 6, 6, 6), picture);
    option.subControls &= ~QStyle::SC_GroupBoxFrame;
    painter.drawComplexControl(QStyle::CC_GroupBox, option);
}

void RecordsPanel::buildLayout()
{
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    auto *filterLabel = new QLabel(tr("&Serial number:"), this);
    m_filter = new ScanField(this);
    m_filter->setObjectName(QStringLiteral("serialFilter"));
    m_filter->setPlaceholderText(tr("every reader"));
    // The clear button's icon is looked up among the desktop's icon themes, a few milliseconds
    // of the station's start; it only shows once there is something to clear, so it is made
    // then.
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!text.isEmpty())
            m_filter->setClearButtonEnabled(true);
    });
    filterLabel->setBuddy(m_filter);
    connect(m_filter, &QLineEdit::textChanged, this, &RecordsPanel::filterChanged);
    top->addWidget(filterLabel);
    top->addWidget(m_filter);
    // What became of the last request (a certificate saved, a number that is none), in the
    // row's free room: it takes no line of its own, so nothing moves when it comes or goes.
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("recordsStatus"));
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    top->addWidget(m_status, 1);
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
    // A few rows at least; the window gives the list what the tiles leave.
    m_list->setMinimumHeight(m_list->fontMetrics().height() * MinimumListRows);
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

    m_server = new QLabel(this);
    m_server->setObjectName(QStringLiteral("recordsServerLabel"));
    m_server->setWordWrap(true);
    m_server->setStyleSheet(QStringLiteral("QLabel { color: #8a4b00; font-weight: bold; }"));
    m_server->hide();
    layout->addWidget(m_server);
}

void RecordsPanel::refresh()
{
    QString problem;
    const std::optional<RecordsFilter> filter = RecordsFilter::read(
        {{QStringLiteral("station"), m_station}, {QStringLiteral("serial"), m_filter->text()}},
        QString(), &problem);
    if (!filter) {
        m_list->clear();
        showStatus(problem);
        return;
    }
    m_records.list(*filter, ShownRecords);
}

void RecordsPanel::showList(const ListResult &result)
{
    if (!result.summaries) {
        // A server that does not answer is shown once, above, not again here.
        showStatus(m_records.isAnswering() ? tr("The records cannot be read: %1").arg(result.error)
                                           : QString());
        return;
    }
    showStatus({});
    const QString selected = selectedId();
    m_list->clear();
    for (const RecordSummary &summary : *result.summaries) {
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
    const QString serial = summary.serialNumber
                               ? Identification::serialText(quint16(*summary.serialNumber))
                               : QString();
    item->setText(SerialColumn, serial);
    item->setData(0, CertificateNameRole, RecordCertificate::fileName(serial, summary.started));
    item->setText(ModelColumn, summary.model);
    // The record keeps the outcome's name; the operator reads the tile's word for it.
    const std::optional<ReaderOutcome> outcome = readerOutcomeFromName(summary.outcome);
    item->setText(OutcomeColumn,
                  outcome ? SocketTile::wordFor(*outcome) : summary.outcome.toUpper());
    item->setText(FailedColumn, summary.failedSteps.join(QStringLiteral(", ")));
    return item;
}

QString RecordsPanel::selectedId() const
{
    const QList<QTreeWidgetItem *> items = m_list->selectedItems();
    return items.isEmpty() ? QString() : items.constFirst()->data(0, Qt::UserRole).toString();
}

void RecordsPanel::filterChanged()
{
    // Not kept for the next run: a list opened filtered by yesterday's serial number looks
    // like a station that kept nothing.
    refresh();
}

void RecordsPanel::recordKept(const KeepResult &result)
{
    // What went only to the outbox is not in the list yet; what was sent from it now is.
    if (result.kept.stored > 0 || result.kept.sent > 0)
        refresh();
}

void RecordsPanel::showRecord(const QString &id)
{
    if (!id.isEmpty())
        m_records.read(id);
}

void RecordsPanel::showReadRecord(const ReadResult &result)
{
    if (!result.file) {
        showStatus(tr("The record %1 cannot be read: %2").arg(result.id, result.error));
        return;
    }
    // A window of its own, not a modal one: the tiles go on while the record is read.
    auto *dialog = new RecordDialog(*result.file, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void RecordsPanel::chooseCertificateFile()
{
    const QString id = selectedId();
    if (id.isEmpty())
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save the test certificate"),
        m_list->selectedItems().constFirst()->data(0, CertificateNameRole).toString(),
        tr("PDF (*.pdf)"));
    if (!path.isEmpty())
        saveCertificate(path);
}

void RecordsPanel::saveCertificate(const QString &path)
{
    const QString id = selectedId();
    if (id.isEmpty()) {
        showStatus(tr("No certificate: no checkout is selected."));
        emit certificateSaved(path, false);
        return;
    }
    showStatus(tr("Writing the certificate %1…").arg(path));
    m_records.writeCertificate(id, path);
}

void RecordsPanel::certificateWritten(const CertificateResult &result)
{
    showStatus(result.written ? tr("Certificate saved: %1").arg(result.path)
                              : tr("No certificate: %1").arg(result.error));
    emit certificateSaved(result.path, result.written);
}

void RecordsPanel::showAnswering()
{
    if (m_records.isAnswering()) {
        m_server->hide();
        return;
    }
    const QString reason = m_records.notAnsweringReason();
    if (RecordsDatabase::saysFull(reason)) {
        // It answers, but has no connection free for this station now: nothing is wrong here.
        m_server->setText(tr("Records server full: the records wait until a connection is free."));
        m_server->show();
        return;
    }
    // An SQLite file on a network share can hang as a server does.
    const QString what = m_records.location().kind == RecordsLocation::Kind::Sqlite
                             ? tr("Records file not answering")
                             : tr("Records server not answering");
    m_server->setText(reason.isEmpty() ? tr("%1: the list may be out of date.").arg(what)
                                       : tr("%1: %2").arg(what, reason));
    m_server->show();
}

void RecordsPanel::showStatus(const QString &text)
{
    m_status->setText(text);
    m_status->setToolTip(text); // a long path is read whole here
}
