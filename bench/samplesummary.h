#pragma once

#include <QList>

// The minimum, median, maximum and percentiles of repeated measurements.
class SampleSummary
{
public:
    void add(double sample) { m_samples.append(sample); }
    qsizetype count() const { return m_samples.size(); }

    double minimum() const;
    double median() const;
    double maximum() const;
    // The sample below which the given share (0 to 1) of the samples lie, nearest rank.
    double percentile(double share) const;

private:
    QList<double> sorted() const;

    QList<double> m_samples;
};
