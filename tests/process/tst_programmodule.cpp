#include "process/programmodule.h"
#include "publish/amqpsender.h"
#include "serial/networklinemodule.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

// The programs' modules as a program finds them: from the test's own folder, as from bin/, in
// ../lib/vorn-tool where the build puts them.
class ProgramModuleTest : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
};

void ProgramModuleTest::answers_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("symbol");
    QTest::addColumn<QString>("reason"); // empty when the function is found

    // In this order: a module asked first for a function it lacks must still give its own.
    QTest::newRow("a function the module lacks")
        << "libvorn-netport.so" << QByteArray(AmqpSenderFactoryName)
        << "libvorn-netport.so could not be loaded";
    QTest::newRow("the network port client's entry")
        << "libvorn-netport.so" << QByteArray(NetworkLineModule::FactoryName) << QString();
    QTest::newRow("the AMQP client's entry")
        << "libvorn-amqp.so" << QByteArray(AmqpSenderFactoryName) << QString();
    QTest::newRow("a module that is not there")
        << "libvorn-nothere.so" << QByteArray("anything")
        << "its part libvorn-nothere.so is not installed (looked for " +
               QDir::cleanPath(QCoreApplication::applicationDirPath() +
                               "/../lib/vorn-tool/libvorn-nothere.so");
}

void ProgramModuleTest::answers()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, symbol);
    QFETCH(QString, reason);
    // Twice: the second answer is the one kept for the process.
    for (int ask = 0; ask < 2; ++ask) {
        QString error;
        const QFunctionPointer function = ProgramModule::resolve(
            fileName, symbol.constData(), QStringLiteral("its part"), &error);
        if (reason.isEmpty()) {
            QVERIFY2(function, qPrintable(error));
        } else {
            QVERIFY(!function);
            QVERIFY2(error.contains(reason), qPrintable(error));
        }
    }
}

QTEST_GUILESS_MAIN(ProgramModuleTest)
#include "tst_programmodule.moc"
