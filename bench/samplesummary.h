#pragma once

#include <QList>

// The minimum, median and maximum of repeated measurements.
class SampleSummary
{
public:
    void add(double sample) { m_samples.append(sample); }
    qsizetype count() const { return m_samples.size(); }

    double minimum() const;
    double median() const;
    double maximum() const;

private:
    QList<double> sorted() const;

    QList<double> m_samples;
};
