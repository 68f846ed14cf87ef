#include "checkout/measurementtitles.h"

#include "checkout/stepcatalogue.h"

QString MeasurementTitles::title(const QString &measurementName)
{
    const MeasurementSpec *spec = StepCatalogue::measurement(measurementName);
    if (!spec)
        return measurementName;
    // A pattern's title names the slot its measurement is of: "Clock of slot 3".
    QString title = spec->isPattern()
                        ? spec->title.chopped(1) + measurementName.mid(spec->name.size() - 1)
                        : spec->title;
    title[0] = title.at(0).toUpper();
    return title;
}
