#include "station/scanfield.h"

#include <QKeyEvent>

ScanField::ScanField(QWidget *parent) : QLineEdit(parent)
{
    setFocusPolicy(Qt::ClickFocus);
}

bool ScanField::event(QEvent *event)
{
    // The window's keys are shortcuts. Claiming every key without Ctrl, Alt or Meta before the
    // shortcuts see it keeps the line edit's own choice (which lets Enter through to "Check
    // all") out of the way.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void ScanField::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        QLineEdit::keyPressEvent(event); // returnPressed and editingFinished
        leave();
        // The line edit lets Enter go on to its parents; here it has done its work.
        event->accept();
        return;
    case Qt::Key_Escape:
        leave();
        event->accept();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

void ScanField::leave()
{
    if (QWidget *top = window(); top != this)
        top->setFocus(Qt::OtherFocusReason);
    else
        clearFocus();
}
