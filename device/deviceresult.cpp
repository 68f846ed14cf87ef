#include "device/deviceresult.h"

QString deviceErrorText(DeviceError error)
{
    switch (error) {
    case DeviceError::None:
        return {};
    case DeviceError::ReadError:
        return QStringLiteral("Error at reading Device!");
    case DeviceError::Timeout:
        return QStringLiteral("Timeout at reading Device!");
    }
    return {};
}
