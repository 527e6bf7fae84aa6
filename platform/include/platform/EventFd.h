#pragma once
// An event counter (Linux eventfd) that one thread signals and another polls for: Fd() is
// readable from a Signal() until the next Drain(). Non-blocking and closed across exec; the
// object owns the descriptor and closes it when destroyed.
namespace platform {

class EventFd {
public:
    // Opens the counter at zero. When the system has no descriptor to give, Valid() is false
    // and Error() tells the errno; Signal() and Drain() then do nothing.
    EventFd();
    ~EventFd();
    EventFd(EventFd&& other) noexcept;
    EventFd& operator=(EventFd&& other) noexcept;
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;

    bool Valid() const { return fd >= 0; }
    int Error() const { return error; }
    // For poll(); -1 when not valid.
    int Fd() const { return fd; }

    // Makes Fd() readable. Safe from any thread and from a signal handler.
    void Signal() const;
    // Makes Fd() unreadable again, however often it was signalled; returns at once when it was not.
    void Drain() const;

private:
    int fd;
    int error = 0;
};

} // namespace platform
