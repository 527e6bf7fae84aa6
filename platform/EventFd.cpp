#include "platform/EventFd.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

namespace platform {

EventFd::EventFd() : fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd < 0) error = errno;
}

EventFd::~EventFd() {
    if (fd >= 0) close(fd);
}

EventFd::EventFd(EventFd&& other) noexcept
    : fd(std::exchange(other.fd, -1)), error(std::exchange(other.error, 0)) {}

EventFd& EventFd::operator=(EventFd&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) close(fd);
        fd = std::exchange(other.fd, -1);
        error = std::exchange(other.error, 0);
    }
    return *this;
}

void EventFd::Signal() const {
    const uint64_t one = 1;
    // A full counter is readable already; nothing more to do on failure.
    [[maybe_unused]] ssize_t n = write(fd, &one, sizeof one);
}

void EventFd::Drain() const {
    uint64_t count;
    [[maybe_unused]] ssize_t n = read(fd, &count, sizeof count);
}

} // namespace platform
