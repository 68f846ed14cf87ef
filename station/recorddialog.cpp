#include "station/recorddialog.h"

#include "documents/recordcertificate.h"
#include "station/sockettile.h"
#include "store/recordtext.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

enum HistoryColumn
{
    TimeColumn,
    StationColumn,
    PlanColumn,
    OutcomeColumn,
    FailedColumn,
    RepairColumn,
    ColumnCount,
};

constexpr int VerdictPointSize = 20;
constexpr int WidthInCharacters = 120;
constexpr int HeightInLines = 40;

QString minute(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

RecordDialog::RecordDialog(const RecordFile &file, QWidget *parent)
    : QDialog(parent)
{
    const ReaderRecord &record = file.record;
    const QList<ReaderEvent> &history = file.history;
    setObjectName(QStringLiteral("recordDialog"));
    setWindowTitle(tr("Checkout %1").arg(RecordText::summaryLine(record)));
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(recordPage(file));
    if (!history.isEmpty())
        m_pages->addWidget(historyPage(record, history));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    resize(fontMetrics().averageCharWidth() * WidthInCharacters,
           fontMetrics().height() * HeightInLines);
}

QWidget *RecordDialog::recordPage(const RecordFile &file)
{
    const ReaderRecord &record = file.record;
    const bool withHistory = !file.history.isEmpty();
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins({});
    // What the operator opened the record for comes first.
    auto *verdict = new QLabel(SocketTile::wordFor(record.outcome), page);
    verdict->setObjectName(QStringLiteral("verdictLabel"));
    QFont large = verdict->font();
    large.setPointSize(VerdictPointSize);
    large.setBold(true);
    verdict->setFont(large);
    layout->addWidget(verdict);
    auto *why = new QLabel(SocketTile::details(record), page);
    why->setObjectName(QStringLiteral("verdictDetails"));
    why->setWordWrap(true);
    why->setTextInteractionFlags(Qt::TextSelectableByMouse);
    why->setVisible(!why->text().isEmpty());
    layout->addWidget(why);

    auto *text = new QTextBrowser(page);
    text->setObjectName(QStringLiteral("recordText"));
    text->setHtml(RecordCertificate::html(record, file.repair, file.keptHash));
    layout->addWidget(text, 1);
    if (withHistory) {
        auto *history = new QPushButton(tr("History of SN %1").arg(record.serialText()), page);
        history->setObjectName(QStringLiteral("historyButton"));
        connect(history, &QPushButton::clicked, this, &RecordDialog::showHistory);
        layout->addWidget(history, 0, Qt::AlignLeft);
    }
    return page;
}

QWidget *RecordDialog::historyPage(const ReaderRecord &record, const QList<ReaderEvent> &history)
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins({});
    auto *title = new QLabel(
        tr("Checkouts and repairs of SN %1, oldest first").arg(record.serialText()), page);
    title->setObjectName(QStringLiteral("historyTitle"));
    layout->addWidget(title);
    auto *table = new QTableWidget(int(history.size()), ColumnCount, page);
    table->setObjectName(QStringLiteral("historyTable"));
    table->setHorizontalHeaderLabels(
        {tr("Time"), tr("Station"), tr("Plan"), tr("Outcome"), tr("Failed step"), tr("Repair")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    for (int row = 0; row < history.size(); ++row) {
        const ReaderEvent &event = history.at(row);
        const auto set = [table, row](int column, const QString &text) {
            auto *item = new QTableWidgetItem(text);
            item->setToolTip(text);
            table->setItem(row, column, item);
        };
        set(TimeColumn, minute(event.time()));
        if (event.repair) {
            set(StationColumn, event.repair->station);
            set(RepairColumn, event.repair->text());
            continue;
        }
        const ReaderRecord &checkout = *event.checkout;
        set(StationColumn, checkout.station);
        set(PlanColumn, checkout.plan.name);
        set(OutcomeColumn, SocketTile::wordFor(checkout.outcome));
        set(FailedColumn, checkout.failedSteps().join(QStringLiteral(", ")));
    }
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table, 1);
    auto *back = new QPushButton(tr("Back to the record"), page);
    back->setObjectName(QStringLiteral("backButton"));
    connect(back, &QPushButton::clicked, this, &RecordDialog::showRecord);
    layout->addWidget(back, 0, Qt::AlignLeft);
    return page;
}

void RecordDialog::showHistory()
{
    if (m_pages->count() > 1)
        m_pages->setCurrentIndex(1);
}

void RecordDialog::showRecord()
{
    m_pages->setCurrentIndex(0);
}
