#pragma once
// Time as the rest of Portwell sees it: a 32-bit millisecond tick counter whose differences are
// taken modulo 2^32, and a monotonic sleep.
#include <cstdint>
#include <functional>

namespace platform {

// Milliseconds of the monotonic clock, truncated to 32 bits; wraps after about 49.7 days.
uint32_t TickCount();

// Milliseconds elapsed since an earlier TickCount() reading, modulo 2^32.
inline uint32_t TicksSince(uint32_t start) {
    return TickCount() - start;
}

// Sleeps for the given milliseconds on the monotonic clock, processing messages whenever one
// comes (see Messages.h). Returns early when an interrupt has been requested or `cancelled`
// (when given) holds after a message, so that Ctrl-C or a Stop ends a long sleep.
void SleepMs(uint32_t milliseconds, const std::function<bool()>& cancelled = {});

} // namespace platform
