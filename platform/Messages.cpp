#include "platform/Messages.h"

#include "platform/EventFd.h"

#include <atomic>
#include <cerrno>
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
    EventFd handOver;
    EventFd interruptRequest;
    std::atomic<bool> interrupt{false};
    std::thread::id uiThread = std::this_thread::get_id();
    MessageHook hook;
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

int RunHandOvers() {
    Queue& q = TheQueue();
    q.handOver.Drain();
    int ran = 0;
    for (;;) {
        HandOver* item;
        {
            std::lock_guard lock(q.mutex);
            if (q.pending.empty()) break;
            item = q.pending.front();
            q.pending.pop_front();
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
        q.handOver.Signal();
        q.finished.wait(lock, [&] { return item.done; });
    }
    if (item.failure) std::rethrow_exception(item.failure);
}

bool WaitForMessage(int timeoutMs, int extraFd) {
    Queue& q = TheQueue();
    pollfd fds[3] = {
        {q.handOver.Fd(), POLLIN, 0}, {q.interruptRequest.Fd(), POLLIN, 0}, {extraFd, POLLIN, 0}};
    const nfds_t count = extraFd >= 0 ? 3 : 2;
    int n = poll(fds, count, timeoutMs);
    return n > 0;
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
