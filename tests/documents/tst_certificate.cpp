#include "bench/everystepcheckout.h"
#include "checkout/measurementsentences.h"
#include "documents/recordcertificate.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The test certificate as its reader meets it: the text of every page of the PDF, as
// pdftotext finds it.
class CertificateTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void longestCheckoutKeepsEveryStepAndTheVerdict();
    void everyRowOnceOnOnePage();
    void verdictInWordsOnTheFirstPage_data();
    void verdictInWordsOnTheFirstPage();

private:
    // The pages of the certificate as text, in order.
    QStringList pages(const ReaderRecord &record, const std::optional<RepairRecord> &repair = {});

    QTemporaryDir m_folder;
};

void CertificateTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
}

QStringList CertificateTest::pages(const ReaderRecord &record,
                                   const std::optional<RepairRecord> &repair)
{
    const QString pdf = m_folder.filePath(QStringLiteral("certificate.pdf"));
    QString error;
    if (!RecordCertificate::write(record, pdf, &error, repair))
        qWarning("%s", qPrintable(error));
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"),
                    {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(30'000) || pdftotext.exitCode() != 0)
        return {};
    // The words as typed: the ligatures the PDF draws ("ﬁ") taken apart again.
    QStringList text = QString::fromUtf8(pdftotext.readAllStandardOutput())
                           .normalized(QString::NormalizationForm_KC)
                           .split(QLatin1Char('\f'));
    text.removeLast(); // after the last page's form feed
    return text;
}

// The certificate that once stopped at the page's foot: every step and measurement of the
// longest checkout is on paper, the verdict with the failed steps opens it, and every page
// says which record it belongs to and which page of how many it is.
void CertificateTest::longestCheckoutKeepsEveryStepAndTheVerdict()
{
    const ReaderRecord record = everyStepFailingCheckout();
    const QStringList text = pages(record);
    QVERIFY2(text.size() > 1, qPrintable(text.join(QLatin1Char('\f'))));
    const QString whole = text.join(QLatin1Char('\n'));
    for (const StepRecord &step : record.steps) {
        QVERIFY2(whole.contains(step.message), qPrintable(step.name));
        for (const Measurement &measurement : step.measurements)
            QVERIFY2(whole.contains(QLatin1Char('(') + measurement.name + QLatin1Char(')')),
                     qPrintable(measurement.name));
    }
    QVERIFY(text.first().contains(QLatin1String("Verdict: FAIL")));
    QVERIFY(text.first().contains(QLatin1String("Failed steps")));
    for (qsizetype index = 0; index < text.size(); ++index) {
        QVERIFY2(
            text[index].contains(QStringLiteral("page %1 of %2").arg(index + 1).arg(text.size())),
            qPrintable(text[index]));
        QVERIFY2(text[index].contains(QLatin1String("Record ") + record.id),
                 qPrintable(text[index]));
    }
}

// A page is drawn from its own slice of the laid-out text: a row drawn on two pages, or on
// none, is a step told twice or lost.
void CertificateTest::everyRowOnceOnOnePage()
{
    const ReaderRecord record = everyStepFailingCheckout();
    const QString whole = pages(record).join(QLatin1Char('\n'));
    for (const StepRecord &step : record.steps) {
        // The message in the verdict's box; under the step, the same in words with its value
        // and limit where a measurement was outside it, else the message again.
        const QString underTheStep = MeasurementSentences::stepText(step);
        QCOMPARE(whole.count(step.message), underTheStep == step.message ? 2 : 1);
        if (underTheStep != step.message)
            QCOMPARE(whole.simplified().count(underTheStep.simplified()), 1);
        for (const Measurement &measurement : step.measurements)
            QCOMPARE(whole.count(QLatin1Char('(') + measurement.name + QLatin1Char(')')), 1);
    }
}

void CertificateTest::verdictInWordsOnTheFirstPage_data()
{
    QTest::addColumn<ReaderOutcome>("outcome");
    QTest::addColumn<QString>("repaired"); // the checkout the repair answered, if any
    QTest::addColumn<QStringList>("words");
    QTest::newRow("pass after a repair")
        << ReaderOutcome::Pass << "earlier"
        << QStringList{"Verdict: PASS", "After repair:", "replaced the crystal", "no clock"};
    QTest::newRow("fail after a repair")
        << ReaderOutcome::Fail << "earlier"
        << QStringList{"Verdict: FAIL", "After repair:", "replaced the crystal"};
    QTest::newRow("fail answered by a repair")
        << ReaderOutcome::Fail << "this" << QStringList{"Verdict: FAIL", "Repaired since:"};
    QTest::newRow("error") << ReaderOutcome::Error << "" << QStringList{"Verdict: ERROR"};
    QTest::newRow("refused") << ReaderOutcome::Refused << ""
                             << QStringList{"Verdict: REFUSED", "Refused: three attempts"};
    QTest::newRow("aborted") << ReaderOutcome::Aborted << "" << QStringList{"Verdict: ABORTED"};
}

// Whatever the outcome, the first page says it in words, and names the repair a reader
// passed after.
void CertificateTest::verdictInWordsOnTheFirstPage()
{
    QFETCH(ReaderOutcome, outcome);
    QFETCH(QString, repaired);
    QFETCH(QStringList, words);
    ReaderRecord record = everyStepFailingCheckout();
    record.outcome = outcome;
    record.refusal = QStringLiteral("three attempts since the last repair");
    std::optional<RepairRecord> repair;
    if (!repaired.isEmpty()) {
        repair = RepairRecord{};
        repair->checkoutId = repaired == QLatin1String("this") ? record.id : repaired;
        repair->id = QStringLiteral("repair-1");
        repair->technician = QStringLiteral("bo");
        repair->symptom = QStringLiteral("no clock");
        repair->action = QStringLiteral("replaced the crystal");
        repair->repaired = record.started.addSecs(-3600);
    }
    const QStringList text = pages(record, repair);
    QVERIFY(!text.isEmpty());
    for (const QString &word : words)
        QVERIFY2(text.first().contains(word), qPrintable(word + QLatin1Char('\n') + text.first()));
}

QTEST_MAIN(CertificateTest)
#include "tst_certificate.moc"
