#include "checkout/junitreport.h"

#include "checkout/checkoutrecord.h"

#include <QStringList>
#include <QXmlStreamWriter>

#include <array>

namespace {

QString secondsText(qint64 milliseconds)
{
    return QString::number(double(milliseconds) / 1000.0, 'f', 3);
}

QString suiteName(const ReaderRecord &record)
{
    return record.serialNumber ? QStringLiteral("%1 SN %2").arg(record.port, record.serialText())
                               : record.port;
}

int countOf(const ReaderRecord &record, StepOutcome outcome)
{
    int count = 0;
    for (const StepRecord &step : record.steps)
        count += step.outcome == outcome ? 1 : 0;
    return count;
}

QString stepDetails(const StepRecord &step)
{
    QStringList details;
    if (!step.measured.isEmpty())
        details.append(QStringLiteral("measured: %1").arg(step.measured));
    if (!step.limits.isEmpty())
        details.append(QStringLiteral("limits: %1").arg(step.limits));
    return details.join(QLatin1Char('\n'));
}

void writeProperty(QXmlStreamWriter &xml, const QString &name, const QString &value)
{
    xml.writeStartElement(QStringLiteral("property"));
    xml.writeAttribute(QStringLiteral("name"), name);
    xml.writeAttribute(QStringLiteral("value"), value);
    xml.writeEndElement();
}

void writeTestCase(QXmlStreamWriter &xml, const ReaderRecord &record, const StepRecord &step)
{
    xml.writeStartElement(QStringLiteral("testcase"));
    xml.writeAttribute(QStringLiteral("name"), step.name);
    xml.writeAttribute(QStringLiteral("classname"), suiteName(record));
    xml.writeAttribute(QStringLiteral("time"), secondsText(step.durationMs));
    const QString message = step.message.isEmpty() ? step.measured : step.message;
    switch (step.outcome) {
    case StepOutcome::Pass:
        break;
    case StepOutcome::Skip:
        xml.writeStartElement(QStringLiteral("skipped"));
        xml.writeAttribute(QStringLiteral("message"), step.message);
        xml.writeEndElement();
        break;
    case StepOutcome::Fail:
    case StepOutcome::Error: {
        const bool failed = step.outcome == StepOutcome::Fail;
        xml.writeStartElement(failed ? QStringLiteral("failure") : QStringLiteral("error"));
        xml.writeAttribute(QStringLiteral("message"), message);
        xml.writeAttribute(QStringLiteral("type"), outcomeName(step.outcome));
        xml.writeCharacters(stepDetails(step));
        xml.writeEndElement();
        break;
    }
    }
    if (step.outcome == StepOutcome::Pass && !stepDetails(step).isEmpty())
        xml.writeTextElement(QStringLiteral("system-out"), stepDetails(step));
    xml.writeEndElement();
}

void writeTestSuite(QXmlStreamWriter &xml, const CheckoutRun &run, const ReaderRecord &record)
{
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), suiteName(record));
    xml.writeAttribute(QStringLiteral("tests"), QString::number(record.steps.size()));
    xml.writeAttribute(QStringLiteral("failures"),
                       QString::number(countOf(record, StepOutcome::Fail)));
    xml.writeAttribute(QStringLiteral("errors"),
                       QString::number(countOf(record, StepOutcome::Error)));
    xml.writeAttribute(QStringLiteral("skipped"),
                       QString::number(countOf(record, StepOutcome::Skip)));
    xml.writeAttribute(QStringLiteral("time"), secondsText(record.durationMs));
    xml.writeAttribute(QStringLiteral("timestamp"), isoUtc(record.started));
    xml.writeAttribute(QStringLiteral("hostname"), run.station);
    xml.writeStartElement(QStringLiteral("properties"));
    writeProperty(xml, QStringLiteral("id"), record.id);
    writeProperty(xml, QStringLiteral("port"), record.port);
    writeProperty(xml, QStringLiteral("model"), record.modelName());
    writeProperty(xml, QStringLiteral("firmware"),
                  record.firmware ? QString::number(*record.firmware) : QString());
    writeProperty(xml, QStringLiteral("serial"), record.serialText());
    writeProperty(xml, QStringLiteral("outcome"), outcomeName(record.outcome));
    writeProperty(xml, QStringLiteral("restored"),
                  record.restored ? QStringLiteral("true") : QStringLiteral("false"));
    if (!record.restoredPrevious.isEmpty())
        writeProperty(xml, QStringLiteral("restored_previous"), record.restoredPrevious);
    xml.writeEndElement();
    for (const StepRecord &step : record.steps)
        writeTestCase(xml, record, step);
    xml.writeEndElement();
}

} // namespace

QByteArray JUnitReport::junit(const CheckoutRun &run)
{
    QByteArray document;
    QXmlStreamWriter xml(&document);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("checkout"));
    int tests = 0;
    int failures = 0;
    int errors = 0;
    for (const ReaderRecord &record : run.readers) {
        tests += int(record.steps.size());
        failures += countOf(record, StepOutcome::Fail);
        errors += countOf(record, StepOutcome::Error);
    }
    xml.writeAttribute(QStringLiteral("tests"), QString::number(tests));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(failures));
    xml.writeAttribute(QStringLiteral("errors"), QString::number(errors));
    xml.writeAttribute(QStringLiteral("timestamp"), isoUtc(run.started));
    for (const ReaderRecord &record : run.readers)
        writeTestSuite(xml, run, record);
    xml.writeEndElement();
    xml.writeEndDocument();
    return document;
}
