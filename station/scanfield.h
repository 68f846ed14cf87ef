#pragma once

#include <QLineEdit>

// A text field of the station that a barcode scanner types into as well as a person: it takes
// the focus only when clicked, every key typed while it has the focus is its own (Space, Enter,
// Y and N never reach "Check all" or a tile's question meanwhile), and Enter or Escape ends the
// entry and gives the keys back to the window. A scanner types the code, then Enter.
class ScanField : public QLineEdit
{
    Q_OBJECT

public:
    explicit ScanField(QWidget *parent = nullptr);

    // What the station's fields share: every key without Ctrl, Alt or Meta is the focused
    // field's own, before the window's shortcuts see it (true when event was such a key)...
    static bool claimKey(QEvent *event);
    // ...and an entry that ends gives the keys back to the window.
    static void giveKeysBack(QWidget *field);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
