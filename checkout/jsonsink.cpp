#include "checkout/jsonsink.h"

#include "checkout/checkoutrecord.h"

#include <QIODevice>
#include <QJsonDocument>

void JsonSink::runFinished(const CheckoutRun &run)
{
    m_output.write(QJsonDocument(run.toJson()).toJson(QJsonDocument::Compact) + '\n');
}
