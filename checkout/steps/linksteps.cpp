#include "checkout/steps/checkoutsteps.h"

#include "checkout/checkoutoptions.h"
#include "checkout/readercheckout.h"
#include "checkout/stepcontext.h"
#include "serial/serialline.h"

namespace {

QString hexByte(quint8 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, u'0');
}

StepRecord echoBytes(StepContext &context)
{
    QList<quint8> bytes = ReaderCheckout::quickEchoBytes();
    if (context.options().echo == CheckoutOptions::Echo::All) {
        bytes.clear();
        for (int value = 0; value <= 0xFF; ++value)
            bytes.append(quint8(value));
    }
    const auto echoedStep = [&context, &bytes](int echoed, const QString &detail) {
        return context.measuredStep({context.measured(QStringLiteral("bytes_echoed"), echoed,
                                                      MeasurementLimit::equals(int(bytes.size())))},
                                    detail);
    };
    int echoedRight = 0;
    for (const quint8 sent : bytes) {
        if (context.stopRequested())
            return StepContext::interrupted();
        const EchoResult echoed = context.reader().echo(sent);
        if (echoed.error != DeviceError::None)
            return context.replyError(echoed.error,
                                      QStringLiteral("the echo of %1").arg(hexByte(sent)));
        if (echoed.echoed != sent)
            return echoedStep(
                echoedRight,
                QStringLiteral("%1 came back as %2").arg(hexByte(sent), hexByte(echoed.echoed)));
        ++echoedRight;
    }
    return echoedStep(echoedRight, {});
}

StepRecord readLines(StepContext &context)
{
    // The lines follow the cards and their changes, which the checkout does not control: they
    // are recorded, not judged.
    const ModemLines lines = context.line().modemLines();
    if (!context.line().isOpen())
        return context.replyError(DeviceError::ReadError, QStringLiteral("the modem lines"));
    return context.measuredStep(
        {context.measured(QStringLiteral("cts_active"), lines.clearToSend),
         context.measured(QStringLiteral("dcd_active"), lines.dataCarrierDetect)});
}

} // namespace

StepDeclaration CheckoutSteps::echo()
{
    return StepDeclaration::of(
        QStringLiteral("echo"), QStringLiteral("Echo of byte values"),
        {MeasurementDeclaration::fixedNumber("bytes_echoed", "bytes echoed unchanged",
                                             QStringLiteral("= the bytes sent"), "bytes")},
        &echoBytes);
}

StepDeclaration CheckoutSteps::lines()
{
    return StepDeclaration::of(QStringLiteral("lines"),
                               QStringLiteral("Modem lines, recorded: they follow the cards"),
                               {MeasurementDeclaration::flag("cts_active", "CTS line active"),
                                MeasurementDeclaration::flag("dcd_active", "DCD line active")},
                               &readLines);
}
