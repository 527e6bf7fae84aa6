#include "Loopback.h"

#include "serial/Comm.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace serial {

namespace {

constexpr int RoomRecheckMs = 5;

void CloseIfOpen(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

} // namespace

TLoopbackDevice::TLoopbackDevice() {
    if (FStop.Error()) throw ECommError(SOpenError, FStop.Error());
    if (const int error = detail::OpenPseudoTerminal(FFarEnd, FNearEnd, FPath))
        throw ECommError(SOpenError, error);
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
