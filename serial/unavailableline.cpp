#include "serial/unavailableline.h"

UnavailableLine::UnavailableLine(const QString &portName, const QString &reason)
    : m_portName(portName), m_reason(reason)
{
}
