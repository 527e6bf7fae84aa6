#include "Stalls.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::vector<pid_t> ThreadsOfThisProcess() {
    std::vector<pid_t> threads;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) throw std::runtime_error("cannot list /proc/self/task");
    while (const dirent* entry = readdir(tasks))
        if (entry->d_name[0] != '.') threads.push_back(pid_t(std::atoi(entry->d_name)));
    closedir(tasks);
    return threads;
}

// A schedstat line begins with the nanoseconds the thread has run and those it has waited for a
// processor; their sum is all of its time that was not spent asleep.
int64_t AwakeNs(int fd, int64_t last) {
    char text[128];
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return last; // the thread has ended
    text[n] = '\0';
    unsigned long long running = 0, waiting = 0;
    return std::sscanf(text, "%llu %llu", &running, &waiting) == 2 ? int64_t(running + waiting)
                                                                   : last;
}

} // namespace

WakeUpClock::WakeUpClock(int terminal)
    : FTerminal(fcntl(terminal, F_DUPFD_CLOEXEC, 0)), FStop(eventfd(0, EFD_CLOEXEC)) {
    if (FTerminal < 0 || FStop < 0) throw std::runtime_error("cannot watch the terminal");
    std::atomic<pid_t> watcher{0};
    FWatcher = std::thread([this, &watcher] {
        watcher = gettid();
        Watch();
    });
    while (watcher == 0)
        std::this_thread::yield();
    FWatcherId = watcher;
    Start();
}

void WakeUpClock::WatchThreads(std::vector<pid_t> notWatched) {
    std::lock_guard lock(FMutex);
    for (const Thread& thread : FThreads)
        close(thread.schedStat);
    FThreads.clear();
    notWatched.push_back(FWatcherId);
    for (pid_t tid : ThreadsOfThisProcess()) {
        if (std::find(notWatched.begin(), notWatched.end(), tid) != notWatched.end()) continue;
        const std::string path = "/proc/self/task/" + std::to_string(tid) + "/schedstat";
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) FThreads.push_back({fd, AwakeNs(fd, 0)});
    }
    FArrival.reset();
}

WakeUpClock::~WakeUpClock() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(FStop, &one, sizeof one);
    FWatcher.join();
    for (const Thread& thread : FThreads)
        close(thread.schedStat);
    close(FStop);
    close(FTerminal);
}

void WakeUpClock::Start() {
    std::lock_guard lock(FMutex);
    FArrival.reset();
    FStart = Clock::now();
}

double WakeUpClock::AsleepSinceArrivalUs() {
    std::lock_guard lock(FMutex);
    if (!FArrival) return 0;
    const Moment now = Now(ClockFirst);
    const double wall = std::chrono::duration<double, std::micro>(now.at - FArrival->at).count();
    const double awake = double(now.awakeNs - FArrival->awakeNs) / 1000.0;
    return std::max(0.0, wall - awake);
}

double WakeUpClock::WallSinceStartUs() const {
    return std::chrono::duration<double, std::micro>(Clock::now() - FStart).count();
}

void WakeUpClock::Watch() {
    const int epoll = epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = FStop;
    epoll_ctl(epoll, EPOLL_CTL_ADD, FStop, &event);
    event.events = EPOLLIN | EPOLLET;
    event.data.fd = FTerminal;
    epoll_ctl(epoll, EPOLL_CTL_ADD, FTerminal, &event);
    for (;;) {
        epoll_event ready[2];
        const int n = epoll_wait(epoll, ready, 2, -1);
        if (n < 0) continue;
        bool arrived = false, stop = false;
        for (int i = 0; i < n; ++i)
            (ready[i].data.fd == FStop ? stop : arrived) = true;
        if (stop) break;
        if (arrived) NoteArrival();
    }
    close(epoll);
}

// The watcher may run late, after the bytes it was woken for were taken in and the next exchange
// has begun. Stamping then would date the new reply back to the old one, and count what delayed
// the new request and reply on their way as sleep: the kernel workers that carry bytes between the
// ends of a terminal wait for the next tick (4 ms) behind a busy processor, and an exchange with
// loop:// crosses the terminal twice, so such a stamp came out as a steady ~8 ms. So an arrival
// counts only while bytes wait; under the lock, so that the look and the stamp fall on one side of
// Start(). A lost wake-up leaves the bytes waiting far longer than any late watcher.
void WakeUpClock::NoteArrival() {
    std::lock_guard lock(FMutex);
    int waiting = 0;
    if (ioctl(FTerminal, TIOCINQ, &waiting) == 0 && waiting > 0) FArrival = Now(ClockLast);
}

// A thread's waiting time is only counted once it runs again, so a pause between reading the
// clock and the counters is taken on the side that makes the interval look shorter: at an arrival
// the clock is read last, at its end first.
WakeUpClock::Moment WakeUpClock::Now(ClockOrder order) {
    Moment now{};
    if (order == ClockFirst) now.at = Clock::now();
    for (Thread& thread : FThreads)
        now.awakeNs += thread.awakeNs = AwakeNs(thread.schedStat, thread.awakeNs);
    if (order == ClockLast) now.at = Clock::now();
    return now;
}

CoreLoader::CoreLoader(int niceness)
    : FThread([this, niceness] {
          setpriority(PRIO_PROCESS, id_t(gettid()), niceness);
          FTid = gettid();
          volatile uint64_t spin = 0;
          while (!FStop.load(std::memory_order_relaxed))
              spin = spin + 1;
      }) {
    while (FTid == 0)
        std::this_thread::yield();
}

CoreLoader::~CoreLoader() {
    FStop = true;
    FThread.join();
}

std::string CleanInOneOfThree(const std::function<std::string()>& attempt) {
    std::string reports;
    for (int run = 1; run <= 3; ++run) {
        const std::string report = attempt();
        if (report.empty()) return "";
        reports += "run " + std::to_string(run) + ":" + report + "\n";
    }
    return reports;
}

double Percentile(std::vector<double>& samples, double fraction) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const size_t at = std::min(samples.size() - 1, size_t(fraction * double(samples.size())));
    return samples[at];
}

} // namespace testsupport
