#include "serial/networklinemodule.h"

#include "process/programmodule.h"
#include "serial/unavailableline.h"

namespace NetworkLineModule {

std::unique_ptr<SerialLine> create(const QString &portName)
{
    QString error;
    const auto factory = reinterpret_cast<Factory>(
        ProgramModule::resolve(QStringLiteral("libvorn-netport.so"), FactoryName,
                               QStringLiteral("the client of network serial ports"), &error));
    if (!factory)
        return std::make_unique<UnavailableLine>(portName, error);
    return std::unique_ptr<SerialLine>(factory(portName));
}

} // namespace NetworkLineModule
