#include "station/stationwindow.h"

#include "station/recordspanel.h"
#include "station/sockettile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int MaxColumns = 4;
const QString GeometryKey = QStringLiteral("window/geometry");

QSettings stationSettings()
{
    return QSettings(QStringLiteral("Ombrin"), QStringLiteral("Vorn Station"));
}

} // namespace

StationWindow::StationWindow(StationSetup setup, QWidget *parent)
    : QWidget(parent), m_setup(std::move(setup))
{
    setObjectName(QStringLiteral("stationWindow"));
    setWindowTitle(tr("Vorn Station – station %1").arg(m_setup.station));
    buildLayout();

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
    addShortcut(QKeySequence(Qt::Key_Y), [this] { answerOldestQuestion(true); });
    addShortcut(QKeySequence(Qt::Key_N), [this] { answerOldestQuestion(false); });

    const QByteArray geometry = stationSettings().value(GeometryKey).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(sizeHint().expandedTo(QSize(800, 600)));
}

StationWindow::~StationWindow()
{
    // The tiles' threads use the setup held here: they end before it goes.
    qDeleteAll(m_tiles);
    m_tiles.clear();
}

void StationWindow::buildLayout()
{
    auto *layout = new QVBoxLayout(this);

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
    top->addStretch(1);
    if (m_setup.autoCheck) {
        auto *automatic = new QLabel(tr("Automatic: a reader is checked once it answers"), this);
        automatic->setObjectName(QStringLiteral("autoLabel"));
        top->addWidget(automatic);
    }
    layout->addLayout(top);

    auto *grid = new QGridLayout;
    const auto count = int(m_setup.ports.size());
    const int columns =
        std::clamp(int(std::ceil(std::sqrt(double(std::max(count, 1))))), 1, MaxColumns);
    for (int i = 0; i < count; ++i) {
        auto *tile = new SocketTile(m_setup, m_setup.ports.at(i), this);
        connect(tile, &SocketTile::questionChanged, this, &StationWindow::questionChanged);
        connect(tile, &SocketTile::checkoutFinished, this,
                [this](const ReaderRecord &, const QString &warning) {
                    showKeepWarning(warning);
                    emit checkoutFinished();
                });
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
    connect(this, &StationWindow::checkoutFinished, panel, &RecordsPanel::refresh);
    static_cast<QVBoxLayout *>(layout())->addWidget(panel, 2);
}

void StationWindow::checkAll()
{
    for (SocketTile *tile : std::as_const(m_tiles))
        tile->check();
}

void StationWindow::answerOldestQuestion(bool yes)
{
    if (!m_asking.isEmpty())
        m_asking.constFirst()->answer(yes);
}

void StationWindow::questionChanged(SocketTile *tile)
{
    m_asking.removeAll(tile);
    if (tile->isAsking())
        m_asking.append(tile);
}

void StationWindow::showKeepWarning(const QString &warning)
{
    m_message->setText(warning);
    m_message->setVisible(!warning.isEmpty());
}

bool StationWindow::typingInField() const
{
    return qobject_cast<QLineEdit *>(QApplication::focusWidget()) != nullptr;
}

void StationWindow::closeEvent(QCloseEvent *event)
{
    QSettings settings = stationSettings();
    settings.setValue(GeometryKey, saveGeometry());
    QWidget::closeEvent(event);
}
