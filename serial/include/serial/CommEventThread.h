#pragma once
// The thread that waits for line events of an open serial device and hands each event mask to the
// user-interface thread, blocking until it has been handled there.
//
// Received bytes wake it at once (epoll, edge-triggered); modem-line changes (TIOCMGET) and breaks
// and line errors (TIOCGICOUNT) are sampled where the driver has them. A hang-up marks the device
// lost and is reported as EV_ERR with CE_IOE. Linux offers nothing to watch for EV_RXFLAG or
// EV_TXEMPTY.
#include "serial/CommTypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace serial {

namespace detail {
struct EventThreadState;
}

// What the event thread and the reading side learn about the line, shared between threads.
struct TLineStatus {
    std::atomic<uint32_t> Errors{0};   // CE_* flags gathered since the last dispatch
    std::atomic<int> LostError{0};     // errno once the device has gone away, else 0
    std::atomic<uint64_t> Consumed{0}; // bytes the owner has read
};

class TCommEventThread {
public:
    using TSignalEvent = std::function<void(TCommEventThread& Sender, uint32_t Status)>;

    // Starts watching `handle` (owned by the caller, never closed here) for `events`. OnSignal runs
    // on the thread that creates this one (the port's owner, the user-interface thread in the
    // desktop program), inside its message processing, with the mask of the events that happened.
    TCommEventThread(int handle, TCommEventType events, std::shared_ptr<TLineStatus> line,
                     TSignalEvent onSignal);
    // Releases the thread and waits for its end, serving hand-overs meanwhile. Called from inside
    // this thread's own hand-over, it cannot wait: it purges the input itself and lets the thread
    // finish on its own as soon as the hand-over returns, without touching the device again.
    ~TCommEventThread();

    TCommEventThread(const TCommEventThread&) = delete;
    TCommEventThread& operator=(const TCommEventThread&) = delete;

    // Makes the thread leave its wait; no further event reaches OnSignal after this.
    void ReleaseThread();

private:
    void WaitForEnd();

    std::shared_ptr<detail::EventThreadState> FState;
    std::thread FThread;
};

} // namespace serial
