#pragma once
// The message queues of the threads that own ports, reduced to what Portwell needs on Linux.
//
// Everything of substance runs on one thread, the user-interface thread. Long activities stay
// responsive by calling ProcessMessages() now and then. Other threads (the serial event thread)
// hand work to it with Synchronize(), which blocks until the work has run inside some later
// ProcessMessages() call.
//
// Every thread has a queue of its own, so a program may run several activities on threads of
// their own, each with its own port: a port hands its events to the thread that opened it. The
// functions below without a queue argument work on the calling thread's queue; only interrupts
// and the choice of the user-interface thread belong to the whole process.
//
// A host replaces the message hook: the desktop program runs its toolkit's event processing there
// (and calls RunHandOvers()); command-line programs keep the default hook, which only runs the
// hand-overs.
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

using MessageHook = std::function<void()>;

class HandOverQueue;
using HandOverTarget = std::shared_ptr<HandOverQueue>;

// The calling thread's queue, for a thread that hands work over to this one later. Kept alive by
// whoever holds it.
HandOverTarget ThisThreadsQueue();

// Processes this thread's pending messages once by calling its hook. The default hook costs no
// system call when nothing is queued.
void ProcessMessages();

// Installs the hook ProcessMessages() calls on this thread; an empty hook restores the default
// (RunHandOvers).
void SetMessageHook(MessageHook hook);

// Runs every hand-over queued for the calling thread so far. Returns how many ran.
int RunHandOvers();

// Runs `work` on the thread that owns `target` and blocks until it has run. Called on that thread
// itself, it runs `work` at once. An exception thrown by `work` is rethrown here.
void Synchronize(const HandOverTarget& target, const std::function<void()>& work);
// The same for the user-interface thread.
void Synchronize(const std::function<void()>& work);
// Queues `work`, which must not throw, to run on the thread that owns `target`, and returns at
// once: for a thread that must never wait for the owner, such as one the owner may end. Work still
// queued when the owner's queue goes away is dropped.
void Post(const HandOverTarget& target, std::function<void()> work);

// Whether hand-overs are queued for this thread; costs no system call, so a hook may ask it as
// often as it likes.
bool HandOversPending();

// Blocks until something happens or `timeoutMs` passes (-1: no limit), and returns at once when a
// hand-over or an interrupt is pending already. Waiting loops call this between their checks, then
// ProcessMessages(), so that they never spin a core nor wake on a timer. Returns whether a
// hand-over or an interrupt is pending on return.
bool WaitForMessage(int timeoutMs);

// What WaitForMessage() does on this thread when nothing is pending yet. The default hook
// (WaitForHandOverOrInterrupt) sleeps in poll(). The desktop program waits in its toolkit's event
// loop instead: a socket notifier on HandOverDescriptor() and InterruptDescriptor() and a timer
// for `timeoutMs`. The hook may process toolkit events (that is how a Stop button is served
// during a wait) and must return after it has processed any, when either descriptor becomes
// readable, or when `timeoutMs` has passed. An empty hook restores the default.
using WaitHook = std::function<void(int timeoutMs)>;
void SetWaitHook(WaitHook hook);

// The default wait: poll() on the hand-over and interrupt descriptors. Hooks that only shorten the
// wait (to meet a deadline of their own) call this.
void WaitForHandOverOrInterrupt(int timeoutMs);

// A wait of `milliseconds`, capped to what one WaitForMessage() call takes.
int WaitTimeoutMs(uint64_t milliseconds);

// A descriptor that is readable while hand-overs are queued for this thread (for a toolkit's
// socket notifier).
int HandOverDescriptor();

// Marks the user-interface thread, which Synchronize() without a queue hands work to: the thread
// that calls this. By default it is the thread that loaded the program.
void SetUserInterfaceThread();
bool OnUserInterfaceThread();

// Interrupt requests (Ctrl-C, SIGTERM). RequestInterrupt() is async-signal-safe. The request
// stays pending, waking every wait, until ClearInterrupt().
void RequestInterrupt();
// Turns SIGINT and SIGTERM into interrupt requests. A second signal ends the program at once, for
// a program blocked where no message is processed.
void InterruptOnSignals();
bool InterruptRequested();
void ClearInterrupt();
int InterruptDescriptor();

} // namespace platform
