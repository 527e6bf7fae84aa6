#include "platform/Clock.h"

#include "platform/Messages.h"

#include <cerrno>
#include <ctime>
#include <poll.h>

namespace platform {

namespace {
uint64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}
} // namespace

uint32_t TickCount() {
    return uint32_t(MonotonicMs());
}

void SleepMs(uint32_t milliseconds) {
    const uint64_t deadline = MonotonicMs() + milliseconds;
    pollfd wake{InterruptDescriptor(), POLLIN, 0};
    for (;;) {
        if (InterruptRequested()) return;
        const uint64_t now = MonotonicMs();
        if (now >= deadline) return;
        const uint64_t left = deadline - now;
        const int slice = left > 1000000 ? 1000000 : int(left);
        if (poll(&wake, 1, slice) < 0 && errno != EINTR) return;
    }
}

} // namespace platform
