#include "PseudoTerminal.h"

#include "platform/Clock.h"
#include "platform/Messages.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace testsupport {

PseudoTerminal::PseudoTerminal() {
    if (openpty(&FMaster, &FSlave, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    fcntl(FMaster, F_SETFL, O_NONBLOCK);
    char path[PATH_MAX];
    if (ttyname_r(FSlave, path, sizeof path) != 0) throw std::runtime_error("ttyname failed");
    FPath = path;
}

PseudoTerminal::~PseudoTerminal() {
    HangUp();
    close(FSlave);
}

void PseudoTerminal::Send(const Bytes& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = write(FMaster, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += size_t(n);
        } else if (errno == EAGAIN || errno == EINTR) {
            poll(nullptr, 0, 1);
        } else {
            throw std::runtime_error("write to the device side failed");
        }
    }
}

void PseudoTerminal::Offer(const Bytes& bytes) {
    [[maybe_unused]] ssize_t n = write(FMaster, bytes.data(), bytes.size());
}

Bytes PseudoTerminal::Receive(size_t count) {
    Bytes got;
    const uint32_t start = platform::TickCount();
    while (got.size() < count && platform::TicksSince(start) < 10000) {
        pollfd fd{FMaster, POLLIN, 0};
        poll(&fd, 1, 100);
        const Bytes more = Drain();
        got.insert(got.end(), more.begin(), more.end());
    }
    if (got.size() != count)
        throw std::runtime_error("expected " + std::to_string(count) +
                                 " bytes from the component, got " + std::to_string(got.size()));
    return got;
}

Bytes PseudoTerminal::Drain() {
    Bytes got;
    uint8_t buffer[4096];
    ssize_t n;
    while ((n = read(FMaster, buffer, sizeof buffer)) > 0)
        got.insert(got.end(), buffer, buffer + n);
    return got;
}

void PseudoTerminal::HangUp() {
    if (FMaster >= 0) close(FMaster);
    FMaster = -1;
}

Bytes AllByteValues() {
    Bytes bytes(256);
    for (int value = 0; value < 256; ++value)
        bytes[size_t(value)] = uint8_t(value);
    return bytes;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const uint32_t start = platform::TickCount();
    for (;;) {
        platform::RunHandOvers();
        if (done()) return true;
        if (platform::TicksSince(start) > uint32_t(timeoutMs)) return false;
        platform::WaitForMessage(10);
    }
}

void PumpFor(int milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

} // namespace testsupport
