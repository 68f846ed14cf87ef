#include "records/recordssink.h"

#include <QTextStream>

RecordsSink::RecordsSink(RecordsLocation location, QIODevice &warnings)
    : m_location(std::move(location)), m_warnings(warnings)
{
}

void RecordsSink::runFinished(const CheckoutRun &run)
{
    QTextStream warnings(&m_warnings);
    m_kept = RecordKeeper(m_location).keep(run.readers, warnings);
}
