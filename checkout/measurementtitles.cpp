#include "checkout/measurementtitles.h"

#include "checkout/stepcatalogue.h"

QString MeasurementTitles::title(const QString &measurementName)
{
    const MeasurementDeclaration *declared = StepCatalogue::measurement(measurementName);
    if (!declared)
        return measurementName;
    // A pattern's title names the slot its measurement is of: "Clock of slot 3".
    QString title = declared->isPattern() ? declared->title.chopped(1) +
                                                measurementName.mid(declared->name.size() - 1)
                                          : declared->title;
    title[0] = title.at(0).toUpper();
    return title;
}
