#pragma once
// A device of Portwell's own behind a pseudo-terminal: the component opens the near end like any
// serial device, and the device plays the far end (loop:// echoes; the network devices carry the
// bytes to and from a connection).
#include "serial/CommTypes.h"

#include <string>

namespace serial {

class TPseudoDevice {
public:
    virtual ~TPseudoDevice() = default;

    // The path of the end the component opens.
    virtual const std::string& Path() const = 0;
    // The line settings the component has just programmed; without `handshaking` it keeps the
    // device's own flow control.
    virtual void LineSettingsChanged(const DCB&, bool /*handshaking*/) {}
};

namespace detail {

// A pseudo-terminal pair, both ends raw and closed across exec, the far end non-blocking. Returns
// 0 or the errno of the failure.
int OpenPseudoTerminal(int& farEnd, int& nearEnd, std::string& nearPath);

} // namespace detail

} // namespace serial
