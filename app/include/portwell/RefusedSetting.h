#pragma once
// Which line setting a device refused when it would not take the port's settings. The port's
// message ("Error updating DataControlBlock (Error: 22) ") says only that one was, and scripts and
// callers read it as it is; a person needs to know which to change.
#include "portwell/PortSettings.h"
#include "serial/Comm.h"
#include "serial/SettingNames.h"

#include <string>

namespace portwell {

// What follows "the device refused": the setting `error` refused, in the names of `kind`, the
// window's captions or the command line's options, and why ("--databits 4: serial lines on Linux
// carry 5 to 8 data bits"); or, when Linux could carry all of them out, the settings a device may
// turn down ("one of -b 256000, --parity mark"). Empty when `error` is not a refused setting.
std::string RefusedSetting(const TPortSettings& settings, const serial::ECommError& error,
                           serial::TNameKind kind);

} // namespace portwell
