#include "station/stationwindow.h"

#include "commandline/checkoutcommandline.h"
#include "station/planchooser.h"
#include "station/recordspanel.h"
#include "station/scanfield.h"
#include "station/sockettile.h"
#include "station/stationrecords.h"
#include "station/stationsettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int MaxColumns = 4;
constexpr int MaxNumberedTiles = 8; // the digit keys 1 to 8
constexpr int FieldWidthInCharacters = 16;
constexpr int StatusWidthInCharacters = 48; // "4: reader 4 (ttyUSB3) is not asking a question."

QFont boldFont(const QWidget *widget)
{
    QFont bold = widget->font();
    bold.setBold(true);
    return bold;
}

const QString LostStyle = QStringLiteral("QLabel { color: #c62828; font-weight: bold; }");

} // namespace

StationWindow::StationWindow(StationSetup setup, QWidget *parent)
    : QWidget(parent), m_setup(std::move(setup))
{
    setObjectName(QStringLiteral("stationWindow"));
    setWindowTitle(tr("Vorn Station – station %1").arg(m_setup.station));
    buildLayout();
    // The plan chosen last, unless the command line names one for this run.
    if (const QString kept = StationSettings().plan(); !m_setup.planGiven && !kept.isEmpty())
        m_plan->choose(kept);

    const auto addShortcut = [this](const QKeySequence &key, auto action) {
        auto *shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    for (const QKeySequence &key :
         {QKeySequence(Qt::Key_Space), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)})
        addShortcut(key, [this] {
            if (!typingInField())
                checkAll();
        });
    // The fields take every key typed into them before the shortcuts see it; the test here
    // keeps a key that reaches a shortcut all the same from answering for the operator.
    addShortcut(QKeySequence(Qt::Key_Y), [this] {
        if (!typingInField())
            answerMarkedQuestion(true);
    });
    addShortcut(QKeySequence(Qt::Key_N), [this] {
        if (!typingInField())
            answerMarkedQuestion(false);
    });
    for (int number = 1; number <= MaxNumberedTiles; ++number)
        addShortcut(QKeySequence(Qt::Key_0 + number), [this, number] {
            if (!typingInField())
                chooseTile(number);
        });

    if (m_setup.records) {
        connect(m_setup.records, &StationRecords::kept, this, &StationWindow::showKept);
        // Today's figures are read again once each record has been kept, on the records
        // thread like every other read.
        connect(m_setup.records, &StationRecords::kept, this,
                [this] { m_setup.records->readTodaysYield(m_setup.station); });
        connect(m_setup.records, &StationRecords::yieldRead, this, &StationWindow::showYield);
    }

    const QByteArray geometry = StationSettings().geometry();
    // Sized once, as the tiles are made; a place kept from the last run wins.
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(sizeHint().expandedTo(QSize(800, 600)).boundedTo(screen()->availableSize()));
}

StationWindow::~StationWindow()
{
    // The tiles' threads use the setup held here: they end before it goes.
    qDeleteAll(m_tiles);
    m_tiles.clear();
}

void StationWindow::addHeader(QVBoxLayout *layout)
{
    auto *top = new QHBoxLayout;
    m_checkAll = new QPushButton(tr("Check all (Space)"), this);
    m_checkAll->setObjectName(QStringLiteral("checkAllButton"));
    m_checkAll->setFocusPolicy(Qt::NoFocus);
    QFont larger = m_checkAll->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.4);
    larger.setBold(true);
    m_checkAll->setFont(larger);
    connect(m_checkAll, &QPushButton::clicked, this, &StationWindow::checkAll);
    top->addWidget(m_checkAll);
    auto *station = new QLabel(tr("station %1").arg(m_setup.station), this);
    station->setObjectName(QStringLiteral("stationLabel"));
    station->setFont(larger);
    top->addWidget(station);
    // What the last key or click did not do, and why; in the header's free room, so that it
    // takes no line of its own.
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLine"));
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_status->setFont(boldFont(m_status));
    m_status->setMinimumWidth(m_status->fontMetrics().averageCharWidth() * StatusWidthInCharacters);
    // A refusal may take two lines; their room is kept, so that none moves the header.
    m_status->setWordWrap(true);
    m_status->setFixedHeight(m_status->fontMetrics().lineSpacing() * 2);
    top->addWidget(m_status, 1);

    // Entered once a shift or a lot, kept between runs; the command line may set them for
    // this run.
    const StationSettings settings;
    const auto addField = [this, top](const QString &label, const QString &name,
                                      const QString &text) {
        auto *field = new ScanField(this);
        field->setObjectName(name);
        field->setText(text);
        field->setMinimumWidth(field->fontMetrics().averageCharWidth() * FieldWidthInCharacters);
        auto *caption = new QLabel(label, this);
        caption->setBuddy(field);
        top->addWidget(caption);
        top->addWidget(field);
        connect(field, &QLineEdit::textChanged, this, &StationWindow::operatorOrLotChanged);
        return field;
    };
    m_operator = addField(tr("&Operator:"), QStringLiteral("operatorField"),
                          m_setup.operatorName.value_or(settings.operatorName()));
    m_operatorNote = new QLabel(this);
    m_operatorNote->setObjectName(QStringLiteral("operatorNote"));
    top->addWidget(m_operatorNote);
    m_lot = addField(tr("&Lot:"), QStringLiteral("lotField"), m_setup.lot.value_or(settings.lot()));
    // Only what someone enters is kept for the next run, not what the command line said.
    connect(m_operator, &QLineEdit::textEdited, this,
            [](const QString &text) { StationSettings().setOperatorName(text.trimmed()); });
    connect(m_lot, &QLineEdit::textEdited, this,
            [](const QString &text) { StationSettings().setLot(text.trimmed()); });
    addPlanChooser(top);
    if (m_setup.autoCheck) {
        auto *automatic = new QLabel(tr("Automatic: a reader is checked once it answers"), this);
        automatic->setObjectName(QStringLiteral("autoLabel"));
        top->addWidget(automatic);
    }

    layout->addLayout(top);
    showOperatorNote();
}

void StationWindow::buildLayout()
{
    auto *layout = new QVBoxLayout(this);
    // Close to the edges: eight tiles in two rows fit a 768-pixel screen.
    const int margin = layout->spacing();
    layout->setContentsMargins(margin, margin, margin, margin);

    addHeader(layout);

    // Both lines change while checkouts run; their room is fixed, so nothing moves.
    auto *figures = new QHBoxLayout;
    m_yield = new QLabel(tr("Today's figures are being read"), this);
    m_yield->setObjectName(QStringLiteral("yieldLabel"));
    m_yield->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    figures->addWidget(m_yield, 2);
    m_answers = new QLabel(this);
    m_answers->setObjectName(QStringLiteral("answersLabel"));
    m_answers->setFont(boldFont(m_answers));
    m_answers->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_answers->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    figures->addWidget(m_answers, 1);
    layout->addLayout(figures);

    auto *grid = new QGridLayout;
    const auto count = int(m_setup.ports.size());
    // A row of up to four, then a second: eight tiles in two rows fit a 1366×768 screen.
    const int columns = std::clamp(count, 1, MaxColumns);
    for (int i = 0; i < count; ++i) {
        auto *tile = new SocketTile(m_setup, m_setup.ports.at(i), this);
        connect(tile, &SocketTile::questionChanged, this, &StationWindow::questionChanged);
        connect(tile, &SocketTile::checkoutFinished, this, &StationWindow::checkoutFinished);
        connect(tile, &SocketTile::runningChanged, this, [this] {
            m_plan->setLocked(
                std::any_of(m_tiles.cbegin(), m_tiles.cend(),
                            [](const SocketTile *each) { return each->isRunning(); }));
        });
        tile->setOptions(m_plan->options());
        tile->setOperatorAndLot(operatorAndLot());
        if (i < MaxNumberedTiles)
            tile->setNumber(i + 1);
        grid->addWidget(tile, i / columns, i % columns);
        m_tiles.append(tile);
    }
    if (count == 0) {
        auto *none = new QLabel(tr("No ports. Plug in a reader and start again, or start with "
                                   "--port NAME or --emulated."),
                                this);
        none->setObjectName(QStringLiteral("noPortsLabel"));
        none->setAlignment(Qt::AlignCenter);
        grid->addWidget(none, 0, 0);
        m_checkAll->setEnabled(false);
    }
    layout->addLayout(grid, 3);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("messageLabel"));
    m_message->setWordWrap(true);
    m_message->hide();
    layout->addWidget(m_message);
}

SocketTile *StationWindow::tile(const QString &port) const
{
    for (SocketTile *tile : m_tiles)
        if (tile->port() == port)
            return tile;
    return nullptr;
}

void StationWindow::setRecordsPanel(RecordsPanel *panel)
{
    m_recordsPanel = panel;
    panel->setParent(this);
    static_cast<QVBoxLayout *>(layout())->addWidget(panel, 2);
}

void StationWindow::checkAll()
{
    if (!m_tiles.isEmpty()) {
        // Every tile carries the same lot: one refuses as all do.
        if (const QString refused = m_tiles.constFirst()->refusal(); !refused.isEmpty()) {
            showStatus(tr("Check all refused. %1").arg(refused));
            return;
        }
    }
    showStatus({});
    for (SocketTile *tile : std::as_const(m_tiles))
        tile->check();
}

SocketTile *StationWindow::markedTile() const
{
    if (m_chosen && m_chosen->isAsking())
        return m_chosen;
    return m_asking.isEmpty() ? nullptr : m_asking.constFirst();
}

void StationWindow::answerMarkedQuestion(bool yes)
{
    SocketTile *marked = markedTile();
    if (!marked) {
        showStatus(tr("%1: no reader is asking a question.").arg(yes ? tr("Y") : tr("N")));
        return;
    }
    showStatus({});
    marked->answer(yes);
}

void StationWindow::chooseTile(int number)
{
    if (number < 1 || number > m_tiles.size()) {
        showStatus(tr("%1: there is no reader %1.").arg(number));
        return;
    }
    SocketTile *tile = m_tiles.at(number - 1);
    if (!tile->isAsking()) {
        showStatus(
            tr("%1: reader %1 (%2) is not asking a question.").arg(number).arg(tile->port()));
        return;
    }
    showStatus({});
    m_chosen = tile;
    showMark();
}

void StationWindow::questionChanged(SocketTile *tile)
{
    m_asking.removeAll(tile);
    if (tile->isAsking())
        m_asking.append(tile);
    else if (tile == m_chosen)
        m_chosen = nullptr; // answered: Y and N go back to the tile that waited longest
    showMark();
}

void StationWindow::showMark()
{
    SocketTile *marked = markedTile();
    for (SocketTile *tile : std::as_const(m_tiles))
        tile->setMarked(tile == marked);
    m_answers->setText(
        marked ? tr("Y/N: reader %1, %2").arg(m_tiles.indexOf(marked) + 1).arg(marked->port())
               : QString());
}

void StationWindow::showStatus(const QString &text)
{
    m_status->setText(text);
}

OperatorAndLot StationWindow::operatorAndLot() const
{
    return {m_operator->text().trimmed(), m_lot->text().trimmed()};
}

void StationWindow::showOperatorNote()
{
    // Nobody said who checks: the records name whoever is logged in, and the operator should
    // know.
    m_operatorNote->setText(m_operator->text().trimmed() == CheckoutCommandLine::loginName()
                                ? tr("(the login name)")
                                : QString());
}

void StationWindow::operatorOrLotChanged()
{
    const OperatorAndLot current = operatorAndLot();
    showOperatorNote();
    for (SocketTile *tile : std::as_const(m_tiles))
        tile->setOperatorAndLot(current);
}

void StationWindow::addPlanChooser(QHBoxLayout *top)
{
    m_plan = new PlanChooser(m_setup.options, !m_setup.planGiven, this);
    m_plan->setObjectName(QStringLiteral("planChooser"));
    auto *caption = new QLabel(tr("&Plan:"), this);
    caption->setBuddy(m_plan);
    top->addWidget(caption);
    top->addWidget(m_plan);
    connect(m_plan, &PlanChooser::refused, this, &StationWindow::showStatus);
    connect(m_plan, &PlanChooser::chosen, this, &StationWindow::planChosen);
}

void StationWindow::planChosen(const CheckoutOptions &options)
{
    StationSettings().setPlan(options.plan.name);
    showStatus({});
    for (SocketTile *tile : std::as_const(m_tiles))
        tile->setOptions(options);
}

void StationWindow::showYield(const YieldResult &result)
{
    const QString text = result.yield ? yieldText(*result.yield)
                                      : tr("Today's figures cannot be read: %1").arg(result.error);
    // The line's room is fixed: a long reason ends in "…" there and is read whole by pointing.
    const int room = m_yield->contentsRect().width();
    m_yield->setText(room > 0 ? m_yield->fontMetrics().elidedText(text, Qt::ElideRight, room)
                              : text);
    m_yield->setToolTip(text);
}

QString StationWindow::yieldText(const StationYield &yield)
{
    if (yield.readers == 0)
        return tr("No readers checked today");
    const auto percent = [](double share) {
        return tr("%1 %").arg(QLocale().toString(share * 100.0, 'f', 1));
    };
    // A first-pass yield counts the readers first checked here; where every reader of the day
    // was first checked at another station there is none, and the line says why.
    QString line =
        yield.readers == 1 ? tr("1 reader today") : tr("%1 readers today").arg(yield.readers);
    line += yield.firstPassYield ? tr(", first-pass yield %1").arg(percent(*yield.firstPassYield))
                                 : tr(", first checked elsewhere");
    if (yield.finalYield)
        line += tr(", final yield %1").arg(percent(*yield.finalYield));
    if (!yield.mostFailedStep.isEmpty())
        line += tr(", most failed: %1 (%2)")
                    .arg(yield.mostFailedStep)
                    .arg(yield.mostFailedStepFailures);
    return line;
}

void StationWindow::showKept(const KeepResult &result)
{
    if (result.kept.lost > 0) {
        const QString reader = result.serial.isEmpty()
                                   ? result.port
                                   : tr("%1 (SN %2)").arg(result.port, result.serial);
        m_message->setText(tr("NOT RECORDED: the checkout of %1 was kept neither in the records "
                              "nor in the outbox.\n%2")
                               .arg(reader, result.warnings));
        m_message->setStyleSheet(LostStyle);
        m_message->show();
        return;
    }
    if (result.kept.stored + result.kept.queued == 0)
        return; // nothing was to be kept
    // A record kept, if only in the outbox: a loss shown before is no longer the latest news.
    m_message->setStyleSheet({});
    m_message->setText(result.warnings);
    m_message->setVisible(!result.warnings.isEmpty());
}

bool StationWindow::typingInField() const
{
    return qobject_cast<QLineEdit *>(QApplication::focusWidget()) != nullptr;
}

void StationWindow::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!std::exchange(m_painted, true))
        QTimer::singleShot(0, this, &StationWindow::afterFirstPaint);
}

void StationWindow::afterFirstPaint()
{
    // Reading the records loads the database driver and opens the file or the connection:
    // none of it need hold up the window's first appearance.
    if (m_setup.records)
        m_setup.records->readTodaysYield(m_setup.station);
    if (m_recordsPanel)
        m_recordsPanel->refresh();
}

void StationWindow::closeEvent(QCloseEvent *event)
{
    StationSettings().setGeometry(saveGeometry());
    QWidget::closeEvent(event);
}
