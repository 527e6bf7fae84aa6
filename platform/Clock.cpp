#include "platform/Clock.h"

#include "platform/Messages.h"

#include <ctime>

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

// Serves messages after every wake, so that whatever woke it (a Stop, an interrupt turned into an
// abort by the host's hook) has been handled before the caller's next step.
void SleepMs(uint32_t milliseconds, const std::function<bool()>& cancelled) {
    const uint64_t deadline = MonotonicMs() + milliseconds;
    for (;;) {
        const uint64_t now = MonotonicMs();
        if (now >= deadline) return;
        WaitForMessage(WaitTimeoutMs(deadline - now));
        ProcessMessages();
        if (InterruptRequested() || (cancelled && cancelled())) return;
    }
}

} // namespace platform
