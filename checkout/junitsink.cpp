#include "checkout/junitsink.h"

#include "checkout/junitreport.h"

#include <QSaveFile>

QString JUnitSink::prepare() const
{
    QSaveFile probe(m_path);
    if (!probe.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write the JUnit report %1: %2")
            .arg(m_path, probe.errorString());
    probe.cancelWriting();
    return {};
}

void JUnitSink::runFinished(const CheckoutRun &run)
{
    const QByteArray xml = JUnitReport::junit(run);
    QSaveFile file(m_path);
    // Flushed and checked before the commit: Qt 6.4's commit() takes no notice of a buffered
    // write that failed (a full disk) and would put a short report in place of the old one.
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(xml) == xml.size() && file.flush();
    const QString reason = file.errorString();
    if (!written)
        file.cancelWriting();
    if (!written || !file.commit())
        m_failure = QStringLiteral("cannot write the JUnit report %1: %2; the file was left as "
                                   "it was")
                        .arg(m_path, written ? file.errorString() : reason);
}
