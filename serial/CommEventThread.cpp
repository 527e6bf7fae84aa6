#include "serial/CommEventThread.h"

#include "platform/EventFd.h"
#include "platform/Messages.h"
#include "serial/Comm.h"

#include <cerrno>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace serial {

namespace detail {

// Everything the thread touches lives here, so that a thread left to finish on its own (released
// from inside its own hand-over) never reaches into freed memory.
struct EventThreadState {
    int device = -1;
    uint32_t mask = 0;
    std::shared_ptr<TLineStatus> line;
    TCommEventThread* owner = nullptr;
    TCommEventThread::TSignalEvent onSignal;
    platform::HandOverTarget ownersQueue; // the thread that opened the port
    platform::EventFd wake;
    platform::EventFd done;
    std::atomic<bool> terminated{false};
    std::atomic<bool> abandoned{false};
    std::atomic<bool> finished{false};
    bool handingOver = false; // user-interface thread only
};

} // namespace detail

namespace {

using detail::EventThreadState;

// How often line state that poll cannot wait for is looked at.
constexpr int SampleIntervalMs = 20;
constexpr uint32_t ModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr uint32_t CounterEvents = EV_BREAK | EV_ERR;

uint32_t EventMask(TCommEventType events) {
    uint32_t mask = 0;
    for (int state = evBreak; state <= evTxEmpty; ++state)
        if (events.Contains(TCommEventState(state))) mask |= CommEventList[state];
    return mask;
}

// Modem-status lines, by comparing TIOCMGET readings; drivers without them are simply not watched.
class ModemWatch {
public:
    ModemWatch(int fd, bool wanted) : FFd(fd) {
        FActive = wanted && ioctl(fd, TIOCMGET, &FLines) == 0;
    }
    bool Active() const { return FActive; }

    uint32_t Changes() {
        int lines = 0;
        if (!FActive || ioctl(FFd, TIOCMGET, &lines) != 0) return 0;
        const int changed = lines ^ FLines;
        FLines = lines;
        uint32_t events = 0;
        if (changed & TIOCM_CTS) events |= EV_CTS;
        if (changed & TIOCM_DSR) events |= EV_DSR;
        if (changed & TIOCM_CD) events |= EV_RLSD;
        if (changed & lines & TIOCM_RI) events |= EV_RING;
        return events;
    }

private:
    int FFd;
    int FLines = 0;
    bool FActive;
};

// Breaks and line errors, by comparing the driver's TIOCGICOUNT counters.
class CounterWatch {
public:
    CounterWatch(int fd, bool wanted) : FFd(fd) {
        FActive = wanted && ioctl(fd, TIOCGICOUNT, &FLast) == 0;
    }
    bool Active() const { return FActive; }

    uint32_t Changes(TLineStatus& line) {
        serial_icounter_struct now{};
        if (!FActive || ioctl(FFd, TIOCGICOUNT, &now) != 0) return 0;
        const uint32_t errors = ErrorsBetween(FLast, now);
        FLast = now;
        line.Errors.fetch_or(errors);
        uint32_t events = 0;
        if (errors & CE_BREAK) events |= EV_BREAK;
        if (errors & ~CE_BREAK) events |= EV_ERR;
        return events;
    }

private:
    static uint32_t ErrorsBetween(const serial_icounter_struct& before,
                                  const serial_icounter_struct& after) {
        uint32_t errors = 0;
        if (after.buf_overrun != before.buf_overrun) errors |= CE_RXOVER;
        if (after.overrun != before.overrun) errors |= CE_OVERRUN;
        if (after.parity != before.parity) errors |= CE_RXPARITY;
        if (after.frame != before.frame) errors |= CE_FRAME;
        if (after.brk != before.brk) errors |= CE_BREAK;
        return errors;
    }

    int FFd;
    serial_icounter_struct FLast{};
    bool FActive;
};

// Received bytes are reported once. Everything received so far is what the owner has read plus
// what is queued; an event is due when that total passes the one last reported. The device is
// watched edge-triggered: the terminal wakes a waiter each time new bytes come in, whether or not
// older ones are still unread, so no arrival goes unseen and unread bytes wake nobody twice.
class RxWatch {
public:
    RxWatch(int fd, const TLineStatus& line, bool wanted) : FFd(fd), FLine(line), FActive(wanted) {}
    bool Active() const { return FActive; }

    // Bytes the owner read before they could be reported need no event.
    uint32_t Changes() {
        if (!FActive) return 0;
        int queued = 0;
        const uint64_t total = Received(queued);
        if (total <= FReported) return 0;
        FReported = total;
        return queued > 0 ? EV_RXCHAR : 0;
    }

private:
    // Consumed is read first: a read in between then makes the total look smaller, never larger.
    uint64_t Received(int& queued) {
        const uint64_t consumed = FLine.Consumed;
        if (ioctl(FFd, TIOCINQ, &queued) != 0) queued = 0;
        return consumed + uint64_t(queued);
    }

    int FFd;
    const TLineStatus& FLine;
    bool FActive;
    uint64_t FReported = 0;
};

// The wake-up descriptor and the device in one epoll set. Hang-ups and errors of the device are
// reported whatever else is asked for.
class Waiter {
public:
    Waiter(int wake, int device, bool rx) : FEpoll(epoll_create1(EPOLL_CLOEXEC)), FWake(wake) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = wake;
        FValid = FEpoll >= 0 && epoll_ctl(FEpoll, EPOLL_CTL_ADD, wake, &event) == 0;
        event.events = uint32_t(EPOLLET) | (rx ? uint32_t(EPOLLIN) : 0u);
        event.data.fd = device;
        FValid = FValid && epoll_ctl(FEpoll, EPOLL_CTL_ADD, device, &event) == 0;
    }
    ~Waiter() {
        if (FEpoll >= 0) close(FEpoll);
    }
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    enum class Wake { Stop, Lost, Ready };

    Wake Wait(int timeoutMs) {
        if (!FValid) return Wake::Stop;
        epoll_event events[2];
        int n;
        do {
            n = epoll_wait(FEpoll, events, 2, timeoutMs);
        } while (n < 0 && errno == EINTR);
        if (n < 0) return Wake::Stop;
        Wake wake = Wake::Ready;
        for (int i = 0; i < n; ++i) {
            if (events[i].data.fd == FWake) return Wake::Stop;
            if (events[i].events & (EPOLLHUP | EPOLLERR)) wake = Wake::Lost;
        }
        return wake;
    }

private:
    int FEpoll;
    int FWake;
    bool FValid = false;
};

class EventLoop {
public:
    explicit EventLoop(EventThreadState& state)
        : FState(state), FRx(state.device, *state.line, state.mask & EV_RXCHAR),
          FModem(state.device, state.mask & ModemEvents),
          FCounters(state.device, state.mask & CounterEvents),
          FWaiter(state.wake.Fd(), state.device, FRx.Active()) {}

    void Run() {
        while (!FState.terminated) {
            const Waiter::Wake wake = FWaiter.Wait(Timeout());
            if (wake == Waiter::Wake::Stop) break;
            if (wake == Waiter::Wake::Lost) {
                ReportLoss();
                break;
            }
            const uint32_t status = Collect() & FState.mask;
            if (status && !HandOver(status)) break;
        }
    }

private:
    // Modem lines and error counters cannot be waited for and are sampled; received bytes never
    // are.
    int Timeout() const { return FModem.Active() || FCounters.Active() ? SampleIntervalMs : -1; }

    uint32_t Collect() {
        return FRx.Changes() | FModem.Changes() | FCounters.Changes(*FState.line);
    }

    void ReportLoss() {
        FState.line->LostError = EIO;
        FState.line->Errors.fetch_or(CE_IOE);
        if (FState.mask & EV_ERR) HandOver(EV_ERR);
    }

    // Blocks until the owner's thread has handled `status`; false once the thread was released.
    bool HandOver(uint32_t status) {
        try {
            platform::Synchronize(FState.ownersQueue, [this, status] { Deliver(status); });
        } catch (...) {
            // A callback's exception has no way to reach the owner from this thread; the line
            // stays watched.
        }
        return !FState.terminated;
    }

    // Runs on the owner's thread.
    void Deliver(uint32_t status) {
        if (FState.terminated) return;
        struct Marker {
            bool& flag;
            explicit Marker(bool& f) : flag(f) { flag = true; }
            ~Marker() { flag = false; }
        } marker(FState.handingOver);
        FState.onSignal(*FState.owner, status);
    }

    EventThreadState& FState;
    RxWatch FRx;
    ModemWatch FModem;
    CounterWatch FCounters;
    Waiter FWaiter;
};

void RunThread(const std::shared_ptr<EventThreadState>& state) {
    EventLoop(*state).Run();
    if (!state->abandoned) tcflush(state->device, TCIFLUSH);
    state->finished = true;
    state->done.Signal();
}

} // namespace

TCommEventThread::TCommEventThread(int handle, TCommEventType events,
                                   std::shared_ptr<TLineStatus> line, TSignalEvent onSignal)
    : FState(std::make_shared<detail::EventThreadState>()) {
    FState->device = handle;
    FState->mask = EventMask(events);
    FState->line = std::move(line);
    FState->owner = this;
    FState->onSignal = std::move(onSignal);
    FState->ownersQueue = platform::ThisThreadsQueue();
    if (!FState->wake.Valid()) throw ECommError(SOpenError, FState->wake.Error());
    if (!FState->done.Valid()) throw ECommError(SOpenError, FState->done.Error());
    try {
        FThread = std::thread(RunThread, FState);
    } catch (const std::system_error& failure) {
        throw ECommError(SOpenError, failure.code().value());
    }
}

TCommEventThread::~TCommEventThread() {
    ReleaseThread();
    if (FState->handingOver) {
        tcflush(FState->device, TCIFLUSH);
        FState->abandoned = true;
        FThread.detach();
        return;
    }
    WaitForEnd();
    FThread.join();
}

void TCommEventThread::ReleaseThread() {
    FState->terminated = true;
    FState->wake.Signal();
}

// Serves hand-overs meanwhile: the thread may be blocked in one, waiting for this very thread.
void TCommEventThread::WaitForEnd() {
    pollfd fds[2] = {{platform::HandOverDescriptor(), POLLIN, 0}, {FState->done.Fd(), POLLIN, 0}};
    for (;;) {
        platform::RunHandOvers();
        if (FState->finished) return;
        poll(fds, 2, 100);
    }
}

} // namespace serial
