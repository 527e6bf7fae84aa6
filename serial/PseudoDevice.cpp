#include "PseudoDevice.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace serial::detail {

// Both ends start raw, so that nothing echoes or translates before the component takes over.
int OpenPseudoTerminal(int& farEnd, int& nearEnd, std::string& nearPath) {
    termios raw{};
    cfmakeraw(&raw);
    cfsetspeed(&raw, B9600);
    if (openpty(&farEnd, &nearEnd, nullptr, &raw, nullptr) != 0) return errno;
    fcntl(farEnd, F_SETFD, FD_CLOEXEC);
    fcntl(nearEnd, F_SETFD, FD_CLOEXEC);
    fcntl(farEnd, F_SETFL, O_NONBLOCK);
    char path[PATH_MAX];
    if (const int error = ttyname_r(nearEnd, path, sizeof path)) {
        close(farEnd);
        close(nearEnd);
        farEnd = nearEnd = -1;
        return error;
    }
    nearPath = path;
    return 0;
}

} // namespace serial::detail
