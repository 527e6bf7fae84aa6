#include "Loopback.h"

#include "serial/Comm.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

namespace {

constexpr int RoomRecheckMs = 5;

void CloseIfOpen(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

void MakeCloseOnExec(int fd) {
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

} // namespace

// Both ends start raw, so that nothing echoes or translates before the component takes over.
TLoopbackDevice::TLoopbackDevice() {
    termios raw{};
    cfmakeraw(&raw);
    cfsetspeed(&raw, B9600);
    if (openpty(&FFarEnd, &FNearEnd, nullptr, &raw, nullptr) != 0)
        throw ECommError(SOpenError, errno);
    MakeCloseOnExec(FFarEnd);
    MakeCloseOnExec(FNearEnd);
    fcntl(FFarEnd, F_SETFL, O_NONBLOCK);
    char path[PATH_MAX];
    const int nameError = ttyname_r(FNearEnd, path, sizeof path);
    const int error = nameError ? nameError : FStop.Error();
    if (error) {
        CloseIfOpen(FFarEnd);
        CloseIfOpen(FNearEnd);
        throw ECommError(SOpenError, error);
    }
    FPath = path;
    FEcho = std::thread(&TLoopbackDevice::Echo, this);
}

TLoopbackDevice::~TLoopbackDevice() {
    FStop.Signal();
    FEcho.join();
    CloseIfOpen(FFarEnd);
    CloseIfOpen(FNearEnd);
}

void TLoopbackDevice::Echo() {
    char buffer[4096];
    while (WaitFor(POLLIN)) {
        const ssize_t n = read(FFarEnd, buffer, sizeof buffer);
        if (n > 0 && !WriteAll(buffer, size_t(n))) return;
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
    }
}

bool TLoopbackDevice::WriteAll(const char* bytes, size_t count) {
    while (count > 0) {
        const ssize_t n = write(FFarEnd, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= size_t(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else if (!WaitFor(POLLOUT)) {
            return false;
        }
    }
    return true;
}

// False once asked to stop or when the wait fails. A pseudo-terminal does not always wake a
// writer when room appears, so waiting for room also ends after a short while.
bool TLoopbackDevice::WaitFor(short events) {
    pollfd fds[2] = {{FStop.Fd(), POLLIN, 0}, {FFarEnd, events, 0}};
    const int timeoutMs = (events & POLLOUT) ? RoomRecheckMs : -1;
    for (;;) {
        const int n = poll(fds, 2, timeoutMs);
        if (n == 0) return true;
        if (n < 0 && errno == EINTR) continue;
        return n > 0 && !fds[0].revents && !(fds[1].revents & POLLNVAL);
    }
}

} // namespace serial
