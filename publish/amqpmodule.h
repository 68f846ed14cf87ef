#pragma once

#include "publish/amqpsender.h"

#include <QString>

// Finds the AMQP client module, libvorn-amqp.so, the first time a program publishes: beside the
// program's own folder as it is built and installed (../lib/vorn-tool/), else where the
// installation put it. Loaded once and kept for the life of the process.
namespace AmqpModule {

// The module's factory of senders; null, with the reason in error, when the module cannot be
// loaded.
AmqpSenderFactory senderFactory(QString *error);

} // namespace AmqpModule
