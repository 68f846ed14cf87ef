#include "publish/amqpmodule.h"

#include "process/programmodule.h"

namespace AmqpModule {

AmqpSenderFactory senderFactory(QString *error)
{
    return reinterpret_cast<AmqpSenderFactory>(
        ProgramModule::resolve(QStringLiteral("libvorn-amqp.so"), AmqpSenderFactoryName,
                               QStringLiteral("its AMQP client"), error));
}

} // namespace AmqpModule
