#pragma once

#include <QString>

// Which error a reader command met. The window shows the text of the error in its version field.
enum class DeviceError
{
    None,
    ReadError, // the reply did not have its exact length after the fixed wait
    Timeout,   // a polled reply never reached its exact length
};

QString deviceErrorText(DeviceError error);

template <typename T> struct DeviceResult
{
    DeviceError error = DeviceError::None;
    T value{};

    bool ok() const { return error == DeviceError::None; }
};
