#pragma once
// The user-interface thread's message queue, reduced to what Portwell needs on Linux.
//
// Everything of substance runs on one thread, the user-interface thread. Long activities stay
// responsive by calling ProcessMessages() now and then. Other threads (the serial event thread)
// hand work to the user-interface thread with Synchronize(), which blocks until the work has run
// inside some later ProcessMessages() call.
//
// A host replaces the message hook: the desktop program runs its toolkit's event processing there
// (and calls RunHandOvers()); command-line programs keep the default hook, which only runs the
// hand-overs.
#include <functional>

namespace platform {

using MessageHook = std::function<void()>;

// Processes pending messages once by calling the installed hook.
void ProcessMessages();

// Installs the hook ProcessMessages() calls; an empty hook restores the default (RunHandOvers).
void SetMessageHook(MessageHook hook);

// Runs every hand-over queued so far, on the calling (user-interface) thread. Returns how many ran.
int RunHandOvers();

// Runs `work` on the user-interface thread and blocks until it has run. Called on the
// user-interface thread itself, it runs `work` at once. An exception thrown by `work` is
// rethrown here.
void Synchronize(const std::function<void()>& work);

// Blocks for at most `timeoutMs` until a hand-over is queued, an interrupt is requested, or
// `extraFd` (when not -1) becomes readable. Returns true when one of them happened.
// Waiting loops call this between their checks so that they never spin a core.
bool WaitForMessage(int timeoutMs, int extraFd = -1);

// A descriptor that is readable while hand-overs are queued (for a toolkit's socket notifier).
int HandOverDescriptor();

// Marks the user-interface thread: the thread that calls this. By default it is the thread that
// first used this module.
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
