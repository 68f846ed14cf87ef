#include "station/scanfield.h"

#include <QKeyEvent>

ScanField::ScanField(QWidget *parent) : QLineEdit(parent)
{
    setFocusPolicy(Qt::ClickFocus);
}

bool ScanField::claimKey(QEvent *event)
{
    // The window's keys are shortcuts. Claiming every key without Ctrl, Alt or Meta before the
    // shortcuts see it keeps the field's own choice (which lets Enter through to "Check all")
    // out of the way.
    if (event->type() != QEvent::ShortcutOverride)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    event->accept();
    return true;
}

void ScanField::giveKeysBack(QWidget *field)
{
    if (QWidget *top = field->window(); top != field)
        top->setFocus(Qt::OtherFocusReason);
    else
        field->clearFocus();
}

bool ScanField::event(QEvent *event)
{
    return claimKey(event) || QLineEdit::event(event);
}

void ScanField::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        QLineEdit::keyPressEvent(event); // returnPressed and editingFinished
        giveKeysBack(this);
        // The line edit lets Enter go on to its parents; here it has done its work.
        event->accept();
        return;
    case Qt::Key_Escape:
        giveKeysBack(this);
        event->accept();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}
