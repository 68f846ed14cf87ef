#include "samplesummary.h"

#include <algorithm>
#include <cmath>

double SampleSummary::minimum() const
{
    return m_samples.isEmpty() ? 0.0 : *std::min_element(m_samples.begin(), m_samples.end());
}

double SampleSummary::median() const
{
    const QList<double> values = sorted();
    if (values.isEmpty())
        return 0.0;
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double SampleSummary::maximum() const
{
    return m_samples.isEmpty() ? 0.0 : *std::max_element(m_samples.begin(), m_samples.end());
}

double SampleSummary::percentile(double share) const
{
    const QList<double> values = sorted();
    if (values.isEmpty())
        return 0.0;
    const auto index = qsizetype(std::lround(share * double(values.size() - 1)));
    return values[std::clamp(index, qsizetype(0), values.size() - 1)];
}

QList<double> SampleSummary::sorted() const
{
    QList<double> values = m_samples;
    std::sort(values.begin(), values.end());
    return values;
}
