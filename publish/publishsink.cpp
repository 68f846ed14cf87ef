#include "publish/publishsink.h"

#include "publish/cfxmessages.h"
#include "publish/publisher.h"

PublishSink::PublishSink(Publisher &publisher, QString handle, QStringList ports)
    : m_publisher(publisher), m_handle(std::move(handle)), m_ports(std::move(ports))
{
}

namespace {

CfxMessages::Source sourceOf(const QString &handle, const QStringList &ports,
                             const ReaderRecord &record)
{
    const qsizetype index = ports.indexOf(record.port);
    return {handle, index >= 0 ? std::optional<int>(int(index) + 1) : std::nullopt};
}

} // namespace

void PublishSink::readerStarted(const ReaderRecord &record)
{
    m_publisher.publish({CfxMessages::workStarted(record, sourceOf(m_handle, m_ports, record))});
}

void PublishSink::readerChecked(const ReaderRecord &record)
{
    m_publisher.publish(CfxMessages::checkoutEnded(record, sourceOf(m_handle, m_ports, record)));
}
