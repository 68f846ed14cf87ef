#pragma once

#include "checkout/checkoutsink.h"

class QIODevice;

// The whole run as one JSON object on one line, once every reader is done: for scripts.
class JsonSink final : public CheckoutSink
{
public:
    explicit JsonSink(QIODevice &output) : m_output(output) {}

    void runFinished(const CheckoutRun &run) override;

private:
    QIODevice &m_output;
};
