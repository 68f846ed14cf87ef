#include "checkout/steps/checkoutsteps.h"

#include "checkout/stepcontext.h"

namespace {

StepRecord run(StepContext &context)
{
    ReaderFindings &found = context.found();
    found.identification = context.reader().identify();
    const Identification &identification = found.identification;
    if (!identification.ok())
        return context.replyError(identification.error, QStringLiteral("the identification"));
    // A type code of no model has no slots to check: the steps after this one cannot run.
    found.model = ReaderModel::byTypeCode(*identification.modelType);
    return context.measuredStep(
        {context.measured(QStringLiteral("model_type"), int(*identification.modelType)),
         context.measured(QStringLiteral("firmware"), int(*identification.version)),
         context.measured(QStringLiteral("serial"), int(*identification.serialNumber))});
}

} // namespace

StepDeclaration CheckoutSteps::identify()
{
    QJsonArray typeCodes;
    for (const ReaderModel &model : ReaderModel::all())
        typeCodes.append(model.typeCode());
    StepDeclaration step =
        StepDeclaration::of(QStringLiteral("identify"),
                            QStringLiteral("Identification: model, firmware and serial number"),
                            {MeasurementDeclaration::number("model_type", "model type",
                                                            MeasurementLimit::oneOf(typeCodes))
                                 .reporting(&ReaderModel::typeCodes),
                             MeasurementDeclaration::number("firmware", "firmware version")
                                 .reporting(&ReaderModel::firmwareVersions),
                             MeasurementDeclaration::number("serial", "serial number")
                                 .reporting(&ReaderModel::serialNumbers)},
                            &run);
    step.identifiesReader = true;
    return step;
}
