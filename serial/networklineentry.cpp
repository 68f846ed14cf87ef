// The entry point of libvorn-netport.so (serial/networklinemodule.h).
#include "serial/networklinemodule.h"
#include "serial/networkserialline.h"

extern "C" Q_DECL_EXPORT SerialLine *vornNetworkSerialLineCreate(const QString &portName)
{
    return new NetworkSerialLine(portName);
}
