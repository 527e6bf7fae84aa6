#include "platform/Messages.h"

#include "platform/EventFd.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <poll.h>
#include <thread>

namespace platform {

namespace {

struct HandOver {
    const std::function<void()>* work;
    std::exception_ptr failure;
    bool done = false;
};

// Lives for the whole process: the serial event thread may still hand over while statics of
// other translation units are being destroyed.
struct Queue {
    std::mutex mutex;
    std::condition_variable finished;
    std::deque<HandOver*> pending;
    // pending.size(), readable without the lock; changed under it.
    std::atomic<size_t> queued{0};
    EventFd handOver;
    EventFd interruptRequest;
    std::atomic<bool> interrupt{false};
    std::thread::id uiThread = std::this_thread::get_id();
    MessageHook hook;
    WaitHook waitHook;
};

Queue& TheQueue() {
    static Queue* queue = new Queue;
    return *queue;
}

// Built at load time, so that a signal handler never runs the first, guarded initialisation.
[[maybe_unused]] const bool queueReady = (TheQueue(), true);

} // namespace

void ProcessMessages() {
    Queue& q = TheQueue();
    if (q.hook)
        q.hook();
    else
        RunHandOvers();
}

void SetMessageHook(MessageHook hook) {
    TheQueue().hook = std::move(hook);
}

bool HandOversPending() {
    return TheQueue().queued.load() != 0;
}

// The descriptor is drained under the lock once the queue is empty, and signalled under it when
// an item is queued: so it is readable exactly while items wait, and a toolkit's notifier on it
// never fires for nothing.
int RunHandOvers() {
    Queue& q = TheQueue();
    if (!HandOversPending()) return 0;
    int ran = 0;
    for (;;) {
        HandOver* item;
        {
            std::lock_guard lock(q.mutex);
            if (q.pending.empty()) {
                q.handOver.Drain();
                break;
            }
            item = q.pending.front();
            q.pending.pop_front();
            q.queued.store(q.pending.size());
        }
        try {
            (*item->work)();
        } catch (...) {
            item->failure = std::current_exception();
        }
        {
            std::lock_guard lock(q.mutex);
            item->done = true;
        }
        q.finished.notify_all();
        ++ran;
    }
    return ran;
}

void Synchronize(const std::function<void()>& work) {
    if (OnUserInterfaceThread()) {
        work();
        return;
    }
    Queue& q = TheQueue();
    HandOver item{&work, nullptr, false};
    {
        std::unique_lock lock(q.mutex);
        q.pending.push_back(&item);
        q.queued.store(q.pending.size());
        q.handOver.Signal();
        q.finished.wait(lock, [&] { return item.done; });
    }
    if (item.failure) std::rethrow_exception(item.failure);
}

namespace {
bool SomethingPending() {
    return HandOversPending() || InterruptRequested();
}
} // namespace

bool WaitForMessage(int timeoutMs) {
    if (SomethingPending()) return true;
    Queue& q = TheQueue();
    if (q.waitHook)
        q.waitHook(timeoutMs);
    else
        WaitForHandOverOrInterrupt(timeoutMs);
    return SomethingPending();
}

void SetWaitHook(WaitHook hook) {
    TheQueue().waitHook = std::move(hook);
}

void WaitForHandOverOrInterrupt(int timeoutMs) {
    Queue& q = TheQueue();
    pollfd fds[2] = {{q.handOver.Fd(), POLLIN, 0}, {q.interruptRequest.Fd(), POLLIN, 0}};
    poll(fds, 2, timeoutMs);
}

int WaitTimeoutMs(uint64_t milliseconds) {
    return milliseconds > uint64_t(INT_MAX) ? INT_MAX : int(milliseconds);
}

int HandOverDescriptor() {
    return TheQueue().handOver.Fd();
}

void SetUserInterfaceThread() {
    TheQueue().uiThread = std::this_thread::get_id();
}

bool OnUserInterfaceThread() {
    return TheQueue().uiThread == std::this_thread::get_id();
}

void RequestInterrupt() {
    Queue& q = TheQueue();
    q.interrupt.store(true);
    q.interruptRequest.Signal();
}

namespace {

std::atomic<int> signalsReceived{0};

void OnSignal(int signal) {
    if (signalsReceived.fetch_add(1) > 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    RequestInterrupt();
}

} // namespace

void InterruptOnSignals() {
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}

bool InterruptRequested() {
    return TheQueue().interrupt.load();
}

void ClearInterrupt() {
    Queue& q = TheQueue();
    q.interrupt.store(false);
    q.interruptRequest.Drain();
}

int InterruptDescriptor() {
    return TheQueue().interruptRequest.Fd();
}

} // namespace platform
