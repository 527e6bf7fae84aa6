#pragma once
// Debian's ser2net, started for a test on 127.0.0.1 at a free port, serving one device (a
// pseudo-terminal the test plays) as raw TCP or as Telnet with RFC 2217, and passing on what the
// device sends at once (no "chardelay" to gather characters). Stopped when destroyed.
#include <string>
#include <sys/types.h>

namespace testsupport {

class Ser2net {
public:
    // Whether ser2net is installed; tests skip with this message where it is not.
    static bool Installed();
    static constexpr const char* NotInstalled =
        "ser2net is not installed (scripts/install-deps installs the Debian package)";

    // Returns once ser2net listens; throws std::runtime_error when it does not within 10 s.
    Ser2net(const std::string& devicePath, bool rfc2217);
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    int Port() const { return FPort; }
    // "tcp://127.0.0.1:PORT" or "rfc2217://127.0.0.1:PORT".
    std::string DeviceName() const;
    // Ends ser2net (SIGTERM, then SIGKILL after 5 s) and waits for it; it closes its connections.
    void Stop();

private:
    bool Start(const std::string& devicePath);

    bool FRfc2217;
    int FPort = 0;
    pid_t FPid = -1;
    std::string FPidFile;
};

// A TCP port on 127.0.0.1 that nothing listens on at the moment.
int FreePort();

// A port on 127.0.0.1 that takes no more connections and refuses none: its listener's queue is
// full, so a connection attempt gets no answer at all.
class UnansweringPort {
public:
    UnansweringPort();
    ~UnansweringPort();
    UnansweringPort(const UnansweringPort&) = delete;
    UnansweringPort& operator=(const UnansweringPort&) = delete;

    int Port() const { return FPort; }

private:
    int FListener = -1, FFiller = -1, FPort = 0;
};

} // namespace testsupport
