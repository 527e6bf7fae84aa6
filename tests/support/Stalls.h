#pragma once
// How long bytes that have arrived wait for the thread that takes them in.
//
// A lost wake-up leaves bytes in the input queue while every thread of the process sleeps; a
// loaded machine only delays threads that are ready to run, or slows them while they run. A
// watcher thread notes each arrival on the terminal (edge-triggered, so it wakes once for each;
// only while bytes wait, so that a late wake-up is not taken for the next arrival), and
// AsleepSinceArrivalUs() tells the time since the last arrival less the time this process's threads
// were running or waiting to run (from /proc/self/task/*/schedstat): a bound on it catches the
// first and forgives the second. What delays bytes before they arrive (the kernel's own workers on
// a busy machine) is not counted.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace testsupport {

class WakeUpClock {
public:
    // Watches `terminal` (a duplicate of it, so that closing it elsewhere does no harm), a raw line
    // as a port's is: in canonical mode the count of waiting bytes holds whole lines only. Watching
    // it before the port's own thread does is best: the terminal wakes its latest watcher first,
    // and a kernel worker held up between the two wake-ups would count against the port.
    explicit WakeUpClock(int terminal);
    ~WakeUpClock();
    WakeUpClock(const WakeUpClock&) = delete;
    WakeUpClock& operator=(const WakeUpClock&) = delete;

    // Counts the time of the threads of this process that exist now, except `notWatched` (a load
    // generator); until then, of none.
    void WatchThreads(std::vector<pid_t> notWatched);
    // An exchange begins: earlier arrivals no longer count.
    void Start();
    // Since the last arrival after Start(): the wall time less the time the watched threads were
    // running or waiting to run, never below 0; 0 when nothing has arrived since Start().
    double AsleepSinceArrivalUs();
    double WallSinceStartUs() const;
    // What the watcher does when the terminal wakes it; a test may call it to play a late one.
    void NoteArrival();

private:
    using Clock = std::chrono::steady_clock;
    struct Thread {
        int schedStat;
        int64_t awakeNs; // as last read; kept once the thread has ended
    };
    struct Moment {
        Clock::time_point at;
        int64_t awakeNs = 0;
    };

    enum ClockOrder { ClockFirst, ClockLast };

    void Watch();
    Moment Now(ClockOrder order);

    int FTerminal;
    int FStop;
    pid_t FWatcherId = 0;
    std::mutex FMutex;
    std::vector<Thread> FThreads;
    std::optional<Moment> FArrival;
    Clock::time_point FStart;
    std::thread FWatcher;
};

// Keeps one processor busy from a thread of its own until destroyed. At the lowest priority (the
// default) the processor is never idle, so every wake-up has to take it from the loader, but the
// kernel's own workers are not held up for a time slice, which no test could tell from a lost
// wake-up; at 0 it competes like any other program.
class CoreLoader {
public:
    explicit CoreLoader(int niceness = 19);
    ~CoreLoader();
    CoreLoader(const CoreLoader&) = delete;
    CoreLoader& operator=(const CoreLoader&) = delete;

    pid_t ThreadId() const { return FTid; }

private:
    std::atomic<bool> FStop{false};
    std::atomic<pid_t> FTid{0};
    std::thread FThread;
};

// Noise outside this process (a kernel worker or the hypervisor holding a processor) can stretch a
// rare wait; a lost wake-up stretches many in every run. Runs `attempt`, which tells what went over
// its limit or "", up to three times: "" once an attempt comes out clean, else all the reports.
std::string CleanInOneOfThree(const std::function<std::string()>& attempt);

// The value below which `fraction` (0.5 for the median) of `samples` lie; sorts them.
double Percentile(std::vector<double>& samples, double fraction);

} // namespace testsupport
