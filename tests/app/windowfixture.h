#pragma once

#include "app/widget.h"
#include "emulator/emulatedreader.h"
#include "emulator/linefactory.h"
#include "serial/virtualclock.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QTest>

#include <memory>

// The real window on a virtual clock, with helpers to click its buttons by object name and to
// reach the emulated reader behind the port it opened.
class WindowFixture
{
public:
    explicit WindowFixture(QStringList extraPorts = {})
    {
        WindowOptions options;
        options.extraPortNames = std::move(extraPorts);
        options.clock = &clock;
        window = std::make_unique<Widget>(options);
    }

    template <typename T = QWidget> T *control(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }

    void click(const char *name)
    {
        QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton);
    }

    // Scans, picks the port by name and opens it; true when the port is open.
    bool open(const QString &portName)
    {
        click("pushButton_ScanPorts");
        auto *ports = control<QComboBox>("comboBox");
        const int index = ports->findText(portName);
        if (index < 0)
            return false;
        ports->setCurrentIndex(index);
        click("pushButton_OpenPorts");
        return window->port() && window->port()->isOpen();
    }

    EmulatedReader &reader(const QString &portName = QStringLiteral("emu-vorn8"))
    {
        return window->lineFactory().emulatedReader(portName);
    }

    QString text(const char *name) const;
    bool checked(const char *name) const { return control<QAbstractButton>(name)->isChecked(); }
    bool enabled(const char *name) const { return control(name)->isEnabled(); }
    int index(const char *name) const { return control<QComboBox>(name)->currentIndex(); }

    VirtualClock clock;
    std::unique_ptr<Widget> window;
};

inline QString WindowFixture::text(const char *name) const
{
    QWidget *widget = control(name);
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        return combo->currentText();
    return widget->property("text").toString();
}
