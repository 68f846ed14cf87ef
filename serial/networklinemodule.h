#pragma once

#include "serial/serialline.h"

#include <QString>

#include <memory>

// The line to a port of a network serial server lives in a module of its own,
// libvorn-netport.so, with Qt Network and what it brings (Kerberos, the proxy library): a
// program loads it the first time it opens a network port, and one that only ever opens local
// ports never does.
namespace NetworkLineModule {

// The module's one entry point, found by this name: a line to the port named (rfc2217://...,
// socket://...), owned by the caller.
extern "C" {
using Factory = SerialLine *(*)(const QString &portName);
}
inline constexpr char FactoryName[] = "vornNetworkSerialLineCreate";

// A line to the network port named; without the module, a line that never opens and says why.
std::unique_ptr<SerialLine> create(const QString &portName);

} // namespace NetworkLineModule
