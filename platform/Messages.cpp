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
    // A posted item owns its work, and the queue owns the item; nobody waits for it.
    std::function<void()> posted;
};

} // namespace

// One thread's queue of hand-overs: the thread that owns it serves it in ProcessMessages(),
// RunHandOvers() and WaitForMessage(); other threads add to it with Synchronize().
class HandOverQueue {
public:
    std::mutex mutex;
    std::condition_variable finished;
    std::deque<HandOver*> pending;
    // pending.size(), readable without the lock; changed under it.
    std::atomic<size_t> queued{0};
    EventFd handOver;
    MessageHook hook;
    WaitHook waitHook;

    ~HandOverQueue() {
        for (HandOver* item : pending)
            if (item->posted) delete item;
    }

    void Add(HandOver* item) {
        pending.push_back(item);
        queued.store(pending.size());
        handOver.Signal();
    }
};

namespace {

// A plain pointer beside the owning one: it needs no thread-local wrapper call, and the engine
// asks for the queue at every block and loop pass. It is forgotten with the owner at thread exit.
thread_local HandOverQueue* threadQueueSeen = nullptr;

struct ThreadQueue {
    HandOverTarget owner;
    ~ThreadQueue() { threadQueueSeen = nullptr; }
};
thread_local ThreadQueue threadQueue;

HandOverQueue& ThisQueue() {
    if (threadQueueSeen) return *threadQueueSeen;
    if (!threadQueue.owner) threadQueue.owner = std::make_shared<HandOverQueue>();
    threadQueueSeen = threadQueue.owner.get();
    return *threadQueueSeen;
}

// What belongs to the whole process: interrupts (signals are sent to the process) and which
// thread is the user-interface thread. Never destroyed: an event thread may still hand over while
// statics of other translation units are being destroyed.
struct Process {
    EventFd interruptRequest;
    std::atomic<bool> interrupt{false};
    std::mutex uiMutex;
    HandOverTarget uiQueue = ThisThreadsQueue();
    std::thread::id uiThread = std::this_thread::get_id();
};

Process& TheProcess() {
    static Process* process = new Process;
    return *process;
}

// Built at load time, on the main thread, so that a signal handler never runs the first, guarded
// initialisation, and the main thread is the user-interface thread unless told otherwise.
[[maybe_unused]] const bool processReady = (TheProcess(), true);

HandOverTarget UserInterfaceQueue() {
    Process& process = TheProcess();
    std::lock_guard lock(process.uiMutex);
    return process.uiQueue;
}

} // namespace

HandOverTarget ThisThreadsQueue() {
    ThisQueue();
    return threadQueue.owner;
}

void ProcessMessages() {
    HandOverQueue& q = ThisQueue();
    if (q.hook)
        q.hook();
    else
        RunHandOvers();
}

void SetMessageHook(MessageHook hook) {
    ThisQueue().hook = std::move(hook);
}

bool HandOversPending() {
    return ThisQueue().queued.load() != 0;
}

// The descriptor is drained under the lock once the queue is empty, and signalled under it when
// an item is queued: so it is readable exactly while items wait, and a toolkit's notifier on it
// never fires for nothing.
int RunHandOvers() {
    HandOverQueue& q = ThisQueue();
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
        if (item->posted) {
            item->posted();
            delete item;
            ++ran;
            continue;
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

void Synchronize(const HandOverTarget& target, const std::function<void()>& work) {
    if (target == threadQueue.owner) {
        work();
        return;
    }
    HandOverQueue& q = *target;
    HandOver item{&work, nullptr, false, {}};
    {
        std::unique_lock lock(q.mutex);
        q.Add(&item);
        q.finished.wait(lock, [&] { return item.done; });
    }
    if (item.failure) std::rethrow_exception(item.failure);
}

void Post(const HandOverTarget& target, std::function<void()> work) {
    auto* item = new HandOver{nullptr, nullptr, false, work ? std::move(work) : [] {}};
    std::lock_guard lock(target->mutex);
    target->Add(item);
}

void Synchronize(const std::function<void()>& work) {
    Synchronize(UserInterfaceQueue(), work);
}

namespace {
bool SomethingPending() {
    return HandOversPending() || InterruptRequested();
}
} // namespace

bool WaitForMessage(int timeoutMs) {
    if (SomethingPending()) return true;
    HandOverQueue& q = ThisQueue();
    if (q.waitHook)
        q.waitHook(timeoutMs);
    else
        WaitForHandOverOrInterrupt(timeoutMs);
    return SomethingPending();
}

void SetWaitHook(WaitHook hook) {
    ThisQueue().waitHook = std::move(hook);
}

void WaitForHandOverOrInterrupt(int timeoutMs) {
    pollfd fds[2] = {{ThisQueue().handOver.Fd(), POLLIN, 0},
                     {TheProcess().interruptRequest.Fd(), POLLIN, 0}};
    poll(fds, 2, timeoutMs);
}

int WaitTimeoutMs(uint64_t milliseconds) {
    return milliseconds > uint64_t(INT_MAX) ? INT_MAX : int(milliseconds);
}

int HandOverDescriptor() {
    return ThisQueue().handOver.Fd();
}

void SetUserInterfaceThread() {
    Process& process = TheProcess();
    HandOverTarget queue = ThisThreadsQueue();
    std::lock_guard lock(process.uiMutex);
    process.uiQueue = std::move(queue);
    process.uiThread = std::this_thread::get_id();
}

bool OnUserInterfaceThread() {
    Process& process = TheProcess();
    std::lock_guard lock(process.uiMutex);
    return process.uiThread == std::this_thread::get_id();
}

void RequestInterrupt() {
    Process& process = TheProcess();
    process.interrupt.store(true);
    process.interruptRequest.Signal();
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
    return TheProcess().interrupt.load();
}

void ClearInterrupt() {
    Process& process = TheProcess();
    process.interrupt.store(false);
    process.interruptRequest.Drain();
}

int InterruptDescriptor() {
    return TheProcess().interruptRequest.Fd();
}

} // namespace platform
