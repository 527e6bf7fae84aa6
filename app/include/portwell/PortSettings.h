#pragma once
// The line settings an activity opens the port with, as the main window's lists or the command
// line give them.
#include "serial/CommTypes.h"

#include <string>

namespace portwell {

struct TPortSettings {
    std::string DeviceName = "COM1";
    serial::TBaudRate BaudRate = serial::cbr9600;
    serial::TDatabits Databits = serial::da8;
    serial::TStopbits Stopbits = serial::sb10;
    serial::TParity Parity = serial::paNone;
    serial::TFlowControl FlowControl = serial::fcNone;
    bool operator==(const TPortSettings&) const = default;
};

} // namespace portwell
