#pragma once

#include "checkout/checkoutoptions.h"

#include <QComboBox>

// The station's plan, chosen in its header from the installed plans, or typed or scanned by
// name and Enter while the chooser has the focus (it takes the focus only when clicked, and
// every key typed meanwhile is its own, so Space, Enter, Y and N keep their meaning for the
// window). A plan that cannot be read, a name that is no plan, and any change while a checkout
// runs are refused, and the plan in force stays.
class PlanChooser : public QComboBox
{
    Q_OBJECT

public:
    // inForce: the plan the station starts with; commandLine: whether it is the command line's
    // options rather than a plan file, which then stays on offer as "command-line".
    PlanChooser(const CheckoutOptions &inForce, bool commandLine, QWidget *parent = nullptr);

    const CheckoutOptions &options() const { return m_options; }
    // While a checkout runs the plan cannot change.
    void setLocked(bool locked) { m_locked = locked; }
    // Chooses the plan by name (or file); false with refused() emitted when it cannot be.
    bool choose(const QString &plan);

    void showPopup() override;
    void hidePopup() override;

signals:
    void chosen(const CheckoutOptions &options);
    void refused(const QString &why);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showInForce();

    CheckoutOptions m_options;
    CheckoutOptions m_commandLine;
    bool m_offersCommandLine = false;
    bool m_locked = false;
    bool m_listShown = false; // from showing the list until what was picked in it is chosen
};
