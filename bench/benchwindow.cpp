#include "benchwindow.h"

#include "serial/serialline.h"

#include <QComboBox>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QTest>

BenchWindow::BenchWindow(const QStringList &extraPorts)
{
    // As the program does: the form's one slot without a button is no news.
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname.warning=false"));
    WindowOptions options;
    options.extraPortNames = extraPorts;
    options.clock = &m_clock;
    options.trace = &m_trace;
    m_window = std::make_unique<Widget>(options);
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        qWarning("the window was not exposed");
}

bool BenchWindow::open(const QString &portName)
{
    button("pushButton_ScanPorts")->click();
    auto *ports = m_window->findChild<QComboBox *>(QStringLiteral("comboBox"));
    const int index = ports ? ports->findText(portName) : -1;
    if (index < 0)
        return false;
    ports->setCurrentIndex(index);
    button("pushButton_OpenPorts")->click();
    return m_window->port() && m_window->port()->isOpen() && m_window->isPolling();
}

QAbstractButton *BenchWindow::button(const char *name) const
{
    auto *found = m_window->findChild<QAbstractButton *>(QLatin1String(name));
    if (!found)
        qFatal("no button %s", name);
    return found;
}

QString BenchWindow::versionText() const
{
    const auto *field = m_window->findChild<QLineEdit *>(QStringLiteral("lineEdit_Version"));
    return field ? field->text() : QString();
}
