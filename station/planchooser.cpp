#include "station/planchooser.h"

#include "checkout/planlibrary.h"
#include "station/scanfield.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

PlanChooser::PlanChooser(const CheckoutOptions &inForce, bool commandLine, QWidget *parent)
    : QComboBox(parent), m_options(inForce), m_commandLine(inForce),
      m_offersCommandLine(commandLine)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setFocusPolicy(Qt::ClickFocus);
    if (commandLine)
        addItem(inForce.plan.name);
    for (const QString &name : PlanLibrary::installedNames()) {
        if (findText(name) < 0)
            addItem(name);
    }
    if (findText(inForce.plan.name) < 0)
        addItem(inForce.plan.name);
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    showInForce();
    // A plan picked from the list ends the choice as Enter does: the keys go back to the tiles,
    // so that Space starts "Check all" rather than typing into the plan's name. The arrow keys
    // step through the plans and leave the keys here.
    connect(this, &QComboBox::activated, this, [this](int index) {
        choose(itemText(index));
        if (m_listShown)
            ScanField::giveKeysBack(this);
    });
}

bool PlanChooser::choose(const QString &plan)
{
    const QString name = plan.trimmed();
    if (name == m_options.plan.name) {
        showInForce();
        return true;
    }
    const auto refuse = [this](const QString &why) {
        showInForce();
        emit refused(why);
        return false;
    };
    if (m_locked)
        return refuse(tr("The plan stays %1 while a checkout runs.").arg(m_options.plan.name));
    if (m_offersCommandLine && name == m_commandLine.plan.name) {
        m_options = m_commandLine;
    } else {
        QString error;
        const std::optional<CheckoutPlan> loaded = PlanLibrary::load(name, &error);
        if (!loaded)
            return refuse(tr("Plan %1 refused: %2").arg(name, error));
        m_options = loaded->options;
        // An operator sits at the station unless the plan says nobody is asked.
        m_options.prompt = loaded->prompt.value_or(true);
    }
    showInForce();
    emit chosen(m_options);
    return true;
}

void PlanChooser::showInForce()
{
    setCurrentIndex(findText(m_options.plan.name));
    setToolTip(m_options.plan.text());
}

void PlanChooser::showPopup()
{
    m_listShown = true;
    QComboBox::showPopup();
}

void PlanChooser::hidePopup()
{
    QComboBox::hidePopup();
    // A plan picked in the list is activated after the list is hidden.
    QTimer::singleShot(0, this, [this] { m_listShown = false; });
}

bool PlanChooser::event(QEvent *event)
{
    return ScanField::claimKey(event) || QComboBox::event(event);
}

void PlanChooser::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose(lineEdit()->text());
        ScanField::giveKeysBack(this);
        event->accept();
        return;
    case Qt::Key_Escape:
        showInForce();
        ScanField::giveKeysBack(this);
        event->accept();
        return;
    default:
        QComboBox::keyPressEvent(event);
    }
}
