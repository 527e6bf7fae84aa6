#pragma once
// The device control block as Linux keeps it, in termios2 form. This interface stays free of
// termios headers: <asm/termbits.h>, which arbitrary baud rates need, cannot share a translation
// unit with <termios.h>.
#include "serial/CommTypes.h"

namespace serial::detail {

// Each returns 0, or the errno of the failure (EINVAL for a setting Linux cannot carry out).

// Puts the line in raw mode and leaves its speed, framing and handshaking as they are.
int MakeRaw(int fd);
// Reads the device's current settings as a DCB.
int ReadDcb(int fd, DCB& dcb);
// Programs the device from a DCB; the line stays raw whatever the DCB says.
int WriteDcb(int fd, const DCB& dcb);

} // namespace serial::detail
