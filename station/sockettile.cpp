#include "station/sockettile.h"

#include "checkout/measurementsentences.h"
#include "station/stationrecords.h"
#include "station/tileworker.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

// Colours of the outcome word; the word itself carries the meaning.
const QString PassGreen = QStringLiteral("#1e7d32");
const QString FailRed = QStringLiteral("#c62828");
const QString ErrorAmber = QStringLiteral("#ffb300");
const QString QuietGrey = QStringLiteral("#e0e0e0");
const QString White = QStringLiteral("#ffffff");
const QString Black = QStringLiteral("#000000");
const QString DimText = QStringLiteral("#555555");

constexpr int WordPointSize = 30;
constexpr int MinimumWordPointSize = 12;
// Room for a failure's sentence with its value and limit.
constexpr int DetailLines = 2;
constexpr int MarkWidth = 4;
constexpr int WordPadding = 4;
// As wide as four tiles in a row can be on the station's smallest screen, 1366 pixels wide,
// with the window's margins and the tiles' spacing: room for a failure's sentence.
constexpr int SmallestScreenWidth = 1366;
constexpr int TilesInARow = 4;

// The checkout's questions, as it asks them in English, marked for the translators: the tile
// asks the operator in the station's language.
constexpr std::array OperatorQuestions{
    QT_TRANSLATE_NOOP("OperatorQuestions", "Did every dot of the display light?"),
    QT_TRANSLATE_NOOP("OperatorQuestions", "Insert a card into every slot. Are they all in?"),
    QT_TRANSLATE_NOOP("OperatorQuestions", "Remove all cards. Are they all out?"),
};

QString inStationLanguage(const QString &question)
{
    for (const char *known : OperatorQuestions)
        if (question == QLatin1String(known))
            return QCoreApplication::translate("OperatorQuestions", known);
    return question;
}

QPushButton *makeButton(const QString &text, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    // Space and Enter belong to "Check all", not to whichever button had the focus last.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

SocketTile::SocketTile(const StationSetup &setup, const QString &port, QWidget *parent)
    : QFrame(parent), m_setup(setup), m_port(port), m_options(setup.options),
      m_worker(std::make_unique<TileWorker>(setup, port))
{
    setObjectName(QStringLiteral("tile:") + port);
    buildLayout();

    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("tile ") + port);
    m_worker->moveToThread(m_thread);
    connect(m_worker.get(), &TileWorker::stepRunning, this, &SocketTile::showStep);
    connect(m_worker.get(), &TileWorker::questionAsked, this, &SocketTile::showQuestion);
    connect(m_worker.get(), &TileWorker::identified, this, &SocketTile::showIdentity);
    connect(m_worker.get(), &TileWorker::stepFailed, this, &SocketTile::showFailedStep);
    connect(m_worker.get(), &TileWorker::finished, this, &SocketTile::finish);
    connect(m_worker.get(), &TileWorker::probed, this, &SocketTile::probed);
    m_thread->start();
    if (setup.records)
        connect(setup.records, &StationRecords::kept, this, &SocketTile::recordKept);

    if (setup.autoCheck) {
        m_probeTimer.setInterval(setup.probeIntervalMs);
        connect(&m_probeTimer, &QTimer::timeout, this, &SocketTile::probe);
        m_probeTimer.start();
        QTimer::singleShot(0, this, &SocketTile::probe);
        showWord(tr("NO READER"), QuietGrey, DimText);
        m_details->setText(tr("Waiting for a reader to answer."));
    }
    updateButtons();
}

SocketTile::~SocketTile()
{
    // A checkout in progress stops and puts its reader back before the thread ends.
    stop();
    m_thread->quit();
    m_thread->wait();
}

void SocketTile::buildLayout()
{
    setFrameShape(QFrame::StyledPanel);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    auto *layout = new QVBoxLayout(this);
    // Close-set, so that eight tiles in two rows fit a 768-pixel screen.
    const int spacing = layout->spacing();
    layout->setSpacing(spacing / 2);
    layout->setContentsMargins(spacing, spacing, spacing, spacing);

    auto *portLabel = new QLabel(m_port, this);
    portLabel->setObjectName(QStringLiteral("portLabel"));
    QFont bold = portLabel->font();
    bold.setBold(true);
    portLabel->setFont(bold);
    portLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_number = new QLabel(this);
    m_number->setObjectName(QStringLiteral("numberLabel"));
    m_number->setFont(bold);
    auto *heading = new QHBoxLayout;
    heading->addWidget(m_number);
    heading->addWidget(portLabel, 1);
    layout->addLayout(heading);

    m_identity = new QLabel(tr("Reader not identified"), this);
    m_identity->setObjectName(QStringLiteral("identityLabel"));
    layout->addWidget(m_identity);

    m_plan = new QLabel(this);
    m_plan->setObjectName(QStringLiteral("planLabel"));
    layout->addWidget(m_plan);
    showPlan(m_options.plan);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setFormat(tr("Not checked"));
    layout->addWidget(m_progress);

    m_word = new QLabel(this);
    m_word->setObjectName(QStringLiteral("outcomeLabel"));
    m_word->setAlignment(Qt::AlignCenter);
    QFont big = m_word->font();
    big.setPointSize(WordPointSize);
    big.setBold(true);
    m_word->setFont(big);
    layout->addWidget(m_word);
    showWord(tr("READY"), QuietGrey, DimText);

    m_notRecorded = new QLabel(tr("NOT RECORDED"), this);
    m_notRecorded->setObjectName(QStringLiteral("notRecordedLabel"));
    m_notRecorded->setAlignment(Qt::AlignCenter);
    QFont loud = m_word->font();
    loud.setPointSize(WordPointSize / 2);
    m_notRecorded->setFont(loud);
    m_notRecorded->setStyleSheet(QStringLiteral("QLabel { color: %1; }").arg(FailRed));
    m_notRecorded->hide();
    layout->addWidget(m_notRecorded);

    m_details = new QLabel(this);
    m_details->setObjectName(QStringLiteral("detailsLabel"));
    m_details->setWordWrap(true);
    m_details->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(m_details, 1);

    m_questionBox = new QFrame(this);
    m_questionBox->setObjectName(QStringLiteral("questionBox"));
    m_questionBox->setFrameShape(QFrame::Box);
    auto *questionLayout = new QVBoxLayout(m_questionBox);
    questionLayout->setContentsMargins(MarkWidth, MarkWidth, MarkWidth, MarkWidth);
    m_questionLabel = new QLabel(m_questionBox);
    m_questionLabel->setObjectName(QStringLiteral("questionLabel"));
    m_questionLabel->setWordWrap(true);
    m_questionLabel->setFont(bold);
    questionLayout->addWidget(m_questionLabel);
    auto *answers = new QHBoxLayout;
    QPushButton *yes = makeButton(tr("&Yes (Y)"), QStringLiteral("yesButton"), m_questionBox);
    QPushButton *no = makeButton(tr("&No (N)"), QStringLiteral("noButton"), m_questionBox);
    connect(yes, &QPushButton::clicked, this, [this] { answer(true); });
    connect(no, &QPushButton::clicked, this, [this] { answer(false); });
    answers->addWidget(yes);
    answers->addWidget(no);
    questionLayout->addLayout(answers);
    m_questionBox->hide();
    layout->addWidget(m_questionBox);

    auto *buttons = new QHBoxLayout;
    m_check = makeButton(tr("Check"), QStringLiteral("checkButton"), this);
    m_stopButton = makeButton(tr("Stop"), QStringLiteral("stopButton"), this);
    connect(m_check, &QPushButton::clicked, this, &SocketTile::check);
    connect(m_stopButton, &QPushButton::clicked, this, &SocketTile::stop);
    buttons->addWidget(m_check);
    buttons->addWidget(m_stopButton);
    layout->addLayout(buttons);
    fixSize();
}

void SocketTile::fixSize()
{
    // Sized once, with room for a two-line question and the lines of a failure's details: what
    // a checkout shows later never makes the window grow or the tiles move. While no question
    // is asked its room is the details', for a long message. The width is the
    // one eight tiles, four a row, have on a 1366-pixel screen; the words take the largest size
    // at which the longest of them fits it, in whatever language the station speaks.
    const QMargins margins = layout()->contentsMargins();
    const int spacing = style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
    const int width = (SmallestScreenWidth - (TilesInARow + 1) * spacing) / TilesInARow;
    const int room = width - margins.left() - margins.right() - 2 * frameWidth();
    fitFont(m_word, outcomeWords(), room - 2 * WordPadding, WordPointSize);
    m_word->setMinimumHeight(m_word->fontMetrics().lineSpacing() + 2 * WordPadding + 2);
    fitFont(m_notRecorded, {m_notRecorded->text()}, room, WordPointSize / 2);
    m_questionLabel->setText(QStringLiteral("M\nM"));
    m_questionBox->show();
    m_details->setText(QStringList(DetailLines, QStringLiteral("M")).join(QLatin1Char('\n')));
    setFixedSize(width, std::max(layout()->totalHeightForWidth(width), sizeHint().height()));
    m_questionBox->hide();
    m_questionLabel->clear();
    m_details->clear();
}

void SocketTile::fitFont(QLabel *label, const QStringList &texts, int width, int pointSize)
{
    QFont font = label->font();
    // Every tile asks the same, and each size tried loads a font of its own: the answer is
    // kept for the next tile (on the window's thread, the only one that makes tiles).
    static QHash<QString, int> fitted;
    const QString question = QStringLiteral("%1|%2|%3|%4")
                                 .arg(font.key())
                                 .arg(width)
                                 .arg(pointSize)
                                 .arg(texts.join(QChar(0x1f)));
    if (const auto known = fitted.constFind(question); known != fitted.cend()) {
        pointSize = *known;
    } else {
        for (; pointSize > MinimumWordPointSize; --pointSize) {
            font.setPointSize(pointSize);
            const QFontMetrics metrics(font);
            if (std::all_of(texts.cbegin(), texts.cend(), [&](const QString &text) {
                    return metrics.horizontalAdvance(text) <= width;
                }))
                break;
        }
        fitted.insert(question, pointSize);
    }
    font.setPointSize(pointSize);
    label->setFont(font);
}

QStringList SocketTile::outcomeWords()
{
    return {tr("READY"),
            tr("CHECKING"),
            tr("NO READER"),
            wordFor(ReaderOutcome::Pass),
            wordFor(ReaderOutcome::Fail),
            wordFor(ReaderOutcome::Error),
            wordFor(ReaderOutcome::Aborted),
            wordFor(ReaderOutcome::Refused)};
}

void SocketTile::setNumber(int number)
{
    m_number->setText(QString::number(number));
}

void SocketTile::setMarked(bool marked)
{
    if (marked == m_marked)
        return;
    m_marked = marked;
    update();
}

void SocketTile::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    if (!m_marked)
        return;
    QPainter painter(this);
    QPen pen(palette().color(QPalette::Highlight), MarkWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.drawRect(QRectF(rect()).adjusted(MarkWidth / 2.0, MarkWidth / 2.0, -MarkWidth / 2.0,
                                             -MarkWidth / 2.0));
}

QString SocketTile::refusal() const
{
    // The plan in force says whether a lot is required (--require-lot makes the command line's).
    if (m_options.requireLot && m_operatorAndLot.lot.isEmpty())
        return tr("Enter the lot first: this station checks no reader without one.");
    return {};
}

QString SocketTile::outcomeWord() const
{
    return m_word->text();
}

QString SocketTile::wordFor(ReaderOutcome outcome)
{
    switch (outcome) {
    case ReaderOutcome::Pass:
        return tr("PASS");
    case ReaderOutcome::Fail:
        return tr("FAIL");
    case ReaderOutcome::Error:
        return tr("ERROR");
    case ReaderOutcome::Aborted:
        return tr("STOPPED");
    case ReaderOutcome::Refused:
        return tr("REPAIR FIRST");
    }
    return {};
}

void SocketTile::check()
{
    if (isRunning())
        return;
    if (const QString refused = refusal(); !refused.isEmpty()) {
        m_progress->setFormat(tr("Not checked: no lot"));
        m_details->setText(refused);
        return;
    }
    m_stop = std::make_shared<CheckoutStop>();
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setFormat(tr("Starting"));
    showWord(tr("CHECKING"), QuietGrey, DimText);
    showPlan(m_options.plan);
    m_notRecorded->hide();
    m_details->clear();
    TileWorker *worker = m_worker.get();
    QMetaObject::invokeMethod(
        worker,
        [worker, stop = m_stop, who = m_operatorAndLot, options = m_options] {
            worker->check(stop, who, options);
        },
        Qt::QueuedConnection);
    updateButtons();
    emit runningChanged(this);
}

void SocketTile::setOptions(const CheckoutOptions &options)
{
    m_options = options;
    if (!m_record && !isRunning())
        showPlan(options.plan);
}

void SocketTile::showPlan(const PlanIdentity &plan)
{
    // The hash is for an auditor: in the tooltip, not in the operator's way.
    m_plan->setText(plan.revision.isEmpty()
                        ? tr("Plan %1").arg(plan.name)
                        : tr("Plan %1, revision %2").arg(plan.name, plan.revision));
    m_plan->setToolTip(plan.text());
}

void SocketTile::stop()
{
    if (!isRunning())
        return;
    m_stop->request();
    m_worker->wake();
    m_progress->setFormat(tr("Stopping: putting the reader back"));
}

void SocketTile::answer(bool yes)
{
    if (!isAsking())
        return;
    m_question.clear();
    m_questionBox->hide();
    m_worker->answer(yes);
    emit questionChanged(this);
}

void SocketTile::showStep(int stepIndex, int stepCount, const QString &stepName)
{
    m_progress->setRange(0, stepCount);
    m_progress->setValue(stepIndex);
    m_progress->setFormat(tr("%1 (step %2 of %3)").arg(stepName).arg(stepIndex + 1).arg(stepCount));
}

void SocketTile::showQuestion(const QString &question)
{
    if (!isRunning() || m_stop->requested())
        return; // the checkout no longer waits for this answer
    m_question = question;
    m_questionLabel->setText(inStationLanguage(question));
    m_questionBox->show();
    emit questionChanged(this);
}

void SocketTile::showFailedStep(const QString &lines)
{
    if (!isRunning())
        return;
    // The outcome is known now; the questions still to come only record the reader's state.
    showWord(wordFor(ReaderOutcome::Fail), FailRed, White);
    m_details->setText(m_details->text().isEmpty() ? lines
                                                   : m_details->text() + QLatin1Char('\n') + lines);
}

void SocketTile::showIdentity(const QString &model, const QString &serial)
{
    m_identity->setText(tr("%1  SN %2").arg(model, serial));
}

void SocketTile::finish(const ReaderRecord &record)
{
    m_stop.reset();
    if (isAsking()) {
        m_question.clear();
        m_questionBox->hide();
        emit questionChanged(this);
    }
    m_record = record;
    if (record.serialNumber)
        showIdentity(record.modelName(), record.serialText());
    m_progress->setRange(0, 1);
    m_progress->setValue(1);
    m_progress->setFormat(
        tr("Done in %1 s").arg(QLocale().toString(double(record.durationMs) / 1000.0, 'f', 2)));
    switch (record.outcome) {
    case ReaderOutcome::Pass:
        showWord(wordFor(record.outcome), PassGreen, White);
        break;
    case ReaderOutcome::Fail:
        showWord(wordFor(record.outcome), FailRed, White);
        break;
    case ReaderOutcome::Error:
    case ReaderOutcome::Refused:
        showWord(wordFor(record.outcome), ErrorAmber, Black);
        break;
    case ReaderOutcome::Aborted:
        showWord(wordFor(record.outcome), QuietGrey, Black);
        break;
    }
    m_details->setText(details(record));
    m_details->setToolTip(record.refusal);
    showPlan(record.plan);
    if (m_setup.autoCheck)
        m_presence.checked();
    updateButtons();
    emit runningChanged(this);
    emit checkoutFinished(record);
}

void SocketTile::recordKept(const KeepResult &result)
{
    if (!m_record || result.recordId != m_record->id || isRunning())
        return; // another tile's record, or one of a checkout this tile has since begun again
    m_notRecorded->setVisible(result.kept.lost > 0);
    if (!result.warnings.isEmpty()) {
        const QString text = details(*m_record);
        m_details->setText(text.isEmpty() ? result.warnings
                                          : text + QLatin1Char('\n') + result.warnings);
    }
}

QString SocketTile::details(const ReaderRecord &record)
{
    QStringList lines;
    for (const StepRecord &step : record.steps) {
        if (step.outcome == StepOutcome::Fail || step.outcome == StepOutcome::Error)
            lines.append(MeasurementSentences::failureLines(step));
    }
    if (!record.restoredPrevious.isEmpty())
        lines.append(tr("Put back first: %1.").arg(record.restoredPrevious));
    if (record.outcome == ReaderOutcome::Aborted)
        lines.append(tr("Stopped by the operator."));
    // The record says it in English for every station; the operator reads it in the station's
    // language, the numbers in the tooltip.
    if (!record.refusal.isEmpty())
        lines.append(tr("This reader failed as often as the plan allows since its last repair: "
                        "repair it first."));
    if (record.retestLimitChecked == false)
        lines.append(tr("The retest limit could not be checked: the records are out of reach."));
    if (!record.restored)
        lines.append(tr("The reader could not be put back as it was found."));
    return lines.join(QLatin1Char('\n'));
}

void SocketTile::probe()
{
    if (isRunning() || m_probing)
        return;
    if (const QString refused = refusal(); !refused.isEmpty()) {
        // The reader waiting on the port is checked once a lot is entered.
        m_details->setText(refused);
        return;
    }
    m_probing = true;
    TileWorker *worker = m_worker.get();
    QMetaObject::invokeMethod(
        worker, [worker] { worker->probe(); }, Qt::QueuedConnection);
}

void SocketTile::probed(bool answered, const QString &model, const QString &serial)
{
    m_probing = false;
    ++m_probes;
    if (isRunning())
        return;
    switch (m_presence.probed(answered)) {
    case PresenceWatch::Event::Nothing:
        break;
    case PresenceWatch::Event::StillThere:
        m_progress->setFormat(tr("Checked: take the reader away"));
        break;
    case PresenceWatch::Event::ReaderRemoved:
        m_identity->setText(tr("Reader removed"));
        m_progress->setFormat(tr("Waiting for a reader"));
        break;
    case PresenceWatch::Event::ReaderArrived:
        showIdentity(model, serial);
        check();
        break;
    }
}

void SocketTile::showWord(const QString &word, const QString &background, const QString &foreground)
{
    m_word->setText(word);
    m_word->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; padding: %3px; }")
                              .arg(background, foreground)
                              .arg(WordPadding));
}

void SocketTile::updateButtons()
{
    m_check->setEnabled(!isRunning());
    m_stopButton->setEnabled(isRunning());
}
