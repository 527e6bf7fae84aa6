#include "Termios2Probe.h"

#include <asm/termbits.h>
#include <stdexcept>
#include <sys/ioctl.h>

LineProbe ProbeLine(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) throw std::runtime_error("TCGETS2 failed");
    return {t.c_iflag,  t.c_oflag,      t.c_cflag,
            t.c_lflag,  t.c_cc[VSTART], t.c_cc[VSTOP],
            t.c_ispeed, t.c_ospeed,     (t.c_cflag & CBAUD) == BOTHER};
}
