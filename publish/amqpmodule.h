#pragma once

#include "publish/amqpsender.h"

#include <QString>

// The AMQP client module, libvorn-amqp.so, found the first time a program publishes
// (process/programmodule.h).
namespace AmqpModule {

// The module's factory of senders; null, with the reason in error, when the module cannot be
// loaded.
AmqpSenderFactory senderFactory(QString *error);

} // namespace AmqpModule
