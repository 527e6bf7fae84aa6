#include "NetworkDevice.h"

#include "Telnet.h"
#include "platform/Clock.h"
#include "platform/EventFd.h"
#include "platform/Messages.h"
#include "serial/Comm.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace serial {

namespace {

// What either direction may hold before the bridge stops taking more from its source.
constexpr size_t BufferLimit = 64 * 1024;
// A pseudo-terminal does not always wake a writer when room appears.
constexpr int RoomRecheckMs = 5;
// The connecting thread tells why it gave up at its deadline; the owner gives up on its own only
// this much later, when the thread is stuck in a name lookup.
constexpr int LookupGraceMs = 1000;
// A connection that stops answering is given up after this long.
constexpr int KeepAliveIdleS = 5, KeepAliveIntervalS = 2, KeepAliveProbes = 3;
constexpr unsigned UnacknowledgedLimitMs = 10000;

bool StartsWithIgnoringCase(const std::string& text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

bool ReadTimeout(std::string_view options, int& timeoutMs) {
    constexpr std::string_view key = "timeout=";
    if (!options.starts_with(key)) return false;
    double seconds = 0;
    const std::string_view value = options.substr(key.size());
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (error != std::errc() || end != value.data() + value.size() || !(seconds > 0) ||
        seconds > 3600)
        return false;
    timeoutMs = std::max(1, int(seconds * 1000));
    return true;
}

bool ValidPort(const std::string& port) {
    int number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    return error == std::errc() && end == port.data() + port.size() && number >= 1 &&
           number <= 65535;
}

// HOST:PORT, HOST possibly an IPv6 address in brackets.
bool SplitHostAndPort(std::string_view address, TNetworkName& name) {
    size_t colon;
    if (address.starts_with('[')) {
        const size_t close = address.find(']');
        if (close == std::string_view::npos || close + 1 >= address.size() ||
            address[close + 1] != ':')
            return false;
        name.Host = address.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = address.rfind(':');
        if (colon == std::string_view::npos) return false;
        name.Host = address.substr(0, colon);
        if (name.Host.find(':') != std::string::npos) return false;
    }
    name.Port = address.substr(colon + 1);
    return !name.Host.empty() && ValidPort(name.Port);
}

std::string Reason(int error) {
    char text[256];
    return strerror_r(error, text, sizeof text);
}

} // namespace

std::optional<TNetworkName> ParseNetworkName(const std::string& name, std::string& problem) {
    TNetworkName parsed;
    std::string_view rest;
    if (StartsWithIgnoringCase(name, "tcp://")) {
        rest = std::string_view(name).substr(6);
    } else if (StartsWithIgnoringCase(name, "rfc2217://")) {
        parsed.Rfc2217 = true;
        rest = std::string_view(name).substr(10);
    } else {
        return std::nullopt;
    }
    const size_t question = rest.find('?');
    const std::string_view options =
        question == std::string_view::npos ? std::string_view() : rest.substr(question + 1);
    const std::string scheme = parsed.Rfc2217 ? "rfc2217" : "tcp";
    problem.clear();
    if (!SplitHostAndPort(rest.substr(0, question), parsed))
        problem = "expected " + scheme + "://HOST:PORT with a port from 1 to 65535";
    else if (question != std::string_view::npos && !ReadTimeout(options, parsed.TimeoutMs))
        problem = "the only option is timeout=SECONDS, as in " + scheme + "://HOST:PORT?timeout=10";
    return parsed;
}

bool IsNetworkDevice(const std::string& deviceName) {
    std::string problem;
    return ParseNetworkName(deviceName, problem).has_value();
}

namespace detail {

enum class TPhase { Connecting, Connected, Failed };

// Everything the bridge's thread touches, shared with the device, so that a thread left to finish
// a name lookup on its own never reaches into freed memory.
struct BridgeState {
    std::string deviceName;
    TNetworkName name;
    int farEnd = -1;
    int nearEnd = -1; // held open, so that the far end never sees a hang-up before the component
    int socket = -1;
    std::string nearPath;
    platform::EventFd stop;
    platform::EventFd control; // signalled when `controlBytes` has something to send
    std::mutex mutex;
    std::string controlBytes;
    TTelnetClient telnet;
    platform::HandOverTarget owner;
    uint32_t startTick = 0;
    std::atomic<bool> resolving{false};
    std::atomic<TPhase> phase{TPhase::Connecting};
    // Set by the thread before `phase` leaves Connecting.
    int error = 0;
    std::string reason;

    ~BridgeState() {
        for (int fd : {farEnd, nearEnd, socket})
            if (fd >= 0) close(fd);
    }

    int RemainingMs(int graceMs = 0) const {
        const uint32_t elapsed = platform::TicksSince(startTick);
        const uint32_t limit = uint32_t(name.TimeoutMs + graceMs);
        return elapsed >= limit ? 0 : int(limit - elapsed);
    }
    bool Stopped() const {
        pollfd fd{stop.Fd(), POLLIN, 0};
        return poll(&fd, 1, 0) > 0;
    }
};

} // namespace detail

namespace {

using detail::BridgeState;
using detail::TPhase;
using detail::TTelnetClient;

std::string TimeoutReason(int timeoutMs) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", timeoutMs / 1000.0);
    return std::string("no answer within ") + seconds + " s";
}

void Publish(BridgeState& s, TPhase phase, int error = 0, std::string reason = {}) {
    s.error = error;
    s.reason = std::move(reason);
    s.phase = phase;
    platform::Post(s.owner, {});
}

void TuneSocket(int fd) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &KeepAliveIdleS, sizeof KeepAliveIdleS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &KeepAliveIntervalS, sizeof KeepAliveIntervalS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &KeepAliveProbes, sizeof KeepAliveProbes);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &UnacknowledgedLimitMs,
               sizeof UnacknowledgedLimitMs);
}

// Waits until `fd` is ready for `events`, the state is stopped or the time is up: 1, 0 or -1.
int WaitReady(BridgeState& s, int fd, short events) {
    pollfd fds[2] = {{s.stop.Fd(), POLLIN, 0}, {fd, events, 0}};
    for (;;) {
        const int n = poll(fds, 2, s.RemainingMs());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        return fds[0].revents ? -1 : 1;
    }
}

// One address: 0 once connected (the socket kept in `s`), else the errno.
int ConnectTo(BridgeState& s, const addrinfo& address) {
    const int fd = socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return errno;
    int error = 0;
    if (connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            const int ready = WaitReady(s, fd, POLLOUT);
            socklen_t size = sizeof error;
            if (ready > 0) getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
            if (ready == 0) error = ETIMEDOUT;
            if (ready < 0) error = ECANCELED;
        }
    }
    if (error) {
        close(fd);
        return error;
    }
    TuneSocket(fd);
    s.socket = fd;
    return 0;
}

// Tries each address of the name in turn until one answers or the time is up.
bool Connect(BridgeState& s) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* addresses = nullptr;
    s.resolving = true;
    const int lookup = getaddrinfo(s.name.Host.c_str(), s.name.Port.c_str(), &hints, &addresses);
    s.resolving = false;
    if (lookup != 0) {
        const bool system = lookup == EAI_SYSTEM;
        Publish(s, TPhase::Failed, system ? errno : lookup,
                "unknown host " + s.name.Host + " (" +
                    (system ? Reason(errno) : gai_strerror(lookup)) + ")");
        return false;
    }
    int error = EHOSTUNREACH;
    for (const addrinfo* a = addresses; a && s.socket < 0; a = a->ai_next) {
        error = ConnectTo(s, *a);
        if (error == ETIMEDOUT || error == ECANCELED) break;
    }
    freeaddrinfo(addresses);
    if (s.socket >= 0) return true;
    Publish(s, TPhase::Failed, error,
            error == ETIMEDOUT ? TimeoutReason(s.name.TimeoutMs) : Reason(error));
    return false;
}

bool SendAll(BridgeState& s, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            send(s.socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            sent += size_t(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        else if (WaitReady(s, s.socket, POLLOUT) <= 0)
            return false;
    }
    return true;
}

// Offers the options and waits for the server's word on the COM-PORT-OPTION. Data that comes
// meanwhile is kept in `early`.
bool Negotiate(BridgeState& s, std::string& early) {
    if (!SendAll(s, s.telnet.Greeting())) {
        Publish(s, TPhase::Failed, ECONNRESET, Reason(ECONNRESET));
        return false;
    }
    while (s.telnet.ComPort() == TTelnetClient::TComPort::Asked) {
        const int ready = WaitReady(s, s.socket, POLLIN);
        char buffer[4096];
        const ssize_t n = ready > 0 ? recv(s.socket, buffer, sizeof buffer, 0) : -1;
        if (n <= 0) {
            const int error = ready == 0 ? ETIMEDOUT : n == 0 ? ECONNRESET : errno;
            Publish(s, TPhase::Failed, error,
                    ready == 0 ? TimeoutReason(s.name.TimeoutMs) + " to the COM-PORT-OPTION"
                               : Reason(error));
            return false;
        }
        std::string answers;
        s.telnet.Receive(std::string_view(buffer, size_t(n)), early, answers);
        if (!SendAll(s, answers)) {
            Publish(s, TPhase::Failed, ECONNRESET, Reason(ECONNRESET));
            return false;
        }
    }
    if (s.telnet.ComPort() == TTelnetClient::TComPort::Refused) {
        Publish(s, TPhase::Failed, EPROTONOSUPPORT,
                "the server refused the COM-PORT-OPTION (RFC 2217); is the port set up for it?");
        return false;
    }
    return true;
}

// Carries bytes both ways until the owner stops it or the connection ends.
class Pump {
public:
    Pump(BridgeState& state, std::string early) : s(state), toDevice(std::move(early)) {}

    void Run() {
        for (;;) {
            pollfd fds[4] = {
                {s.stop.Fd(), POLLIN, 0},
                {s.control.Fd(), POLLIN, 0},
                {s.socket,
                 short((toDevice.size() < BufferLimit ? POLLIN : 0) |
                       (toNetwork.empty() ? 0 : POLLOUT)),
                 0},
                {s.farEnd, short(toNetwork.size() < BufferLimit ? POLLIN : 0), 0},
            };
            const int n = poll(fds, 4, deviceFull ? RoomRecheckMs : -1);
            if (n < 0 && errno != EINTR) return;
            if (fds[0].revents) return;
            if (fds[1].revents) TakeControlBytes();
            if (fds[3].revents & POLLIN) FromDevice();
            if ((fds[2].revents & (POLLIN | POLLHUP | POLLERR)) && !FromNetwork()) break;
            if (!ToNetwork()) break;
            ToDevice();
        }
        // What arrived before the end still reaches the device, as far as it has room.
        ToDevice();
    }

private:
    void TakeControlBytes() {
        s.control.Drain();
        std::lock_guard lock(s.mutex);
        toNetwork += s.controlBytes;
        s.controlBytes.clear();
    }

    bool FromNetwork() {
        char buffer[16384];
        const ssize_t n = recv(s.socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0) return errno == EAGAIN || errno == EINTR;
        if (n == 0) return false;
        const std::string_view received(buffer, size_t(n));
        if (s.name.Rfc2217)
            s.telnet.Receive(received, toDevice, toNetwork);
        else
            toDevice.append(received);
        return true;
    }

    void FromDevice() {
        char buffer[16384];
        const ssize_t n = read(s.farEnd, buffer, sizeof buffer);
        if (n <= 0) return;
        const std::string_view written(buffer, size_t(n));
        if (s.name.Rfc2217)
            TTelnetClient::AppendEscaped(written, toNetwork);
        else
            toNetwork.append(written);
    }

    bool ToNetwork() {
        if (toNetwork.empty()) return true;
        const ssize_t n =
            send(s.socket, toNetwork.data(), toNetwork.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) toNetwork.erase(0, size_t(n));
        return n >= 0 || errno == EAGAIN || errno == EINTR;
    }

    void ToDevice() {
        deviceFull = false;
        if (toDevice.empty()) return;
        const ssize_t n = write(s.farEnd, toDevice.data(), toDevice.size());
        if (n > 0) toDevice.erase(0, size_t(n));
        deviceFull = !toDevice.empty();
    }

    BridgeState& s;
    std::string toDevice, toNetwork;
    bool deviceFull = false;
};

void Bridge(const std::shared_ptr<BridgeState>& state) {
    BridgeState& s = *state;
    std::string early;
    if (!Connect(s) || (s.name.Rfc2217 && !Negotiate(s, early))) return;
    Publish(s, TPhase::Connected);
    Pump(s, std::move(early)).Run();
    // The component sees the far end close as the device going away.
    close(s.farEnd);
    s.farEnd = -1;
}

[[noreturn]] void Fail(const std::string& deviceName, int error, const std::string& reason) {
    throw ECommError(SOpenError, error, deviceName + ": " + reason);
}

} // namespace

TNetworkDevice::TNetworkDevice(const std::string& deviceName,
                               const std::function<bool()>& cancelled)
    : FState(std::make_shared<detail::BridgeState>()) {
    detail::BridgeState& s = *FState;
    std::string problem;
    s.name = ParseNetworkName(deviceName, problem).value_or(TNetworkName{});
    if (!problem.empty()) Fail(deviceName, EINVAL, problem);
    if (s.stop.Error() || s.control.Error()) Fail(deviceName, EMFILE, Reason(EMFILE));
    if (const int error = detail::OpenPseudoTerminal(s.farEnd, s.nearEnd, s.nearPath))
        Fail(deviceName, error, Reason(error));
    s.deviceName = deviceName;
    s.owner = platform::ThisThreadsQueue();
    s.startTick = platform::TickCount();
    FThread = std::thread(Bridge, FState);
    while (s.phase == detail::TPhase::Connecting) {
        if (cancelled()) {
            StopThread();
            Fail(deviceName, ECANCELED, "connecting was stopped");
        }
        if (s.RemainingMs(LookupGraceMs) == 0) {
            StopThread();
            Fail(deviceName, ETIMEDOUT, TimeoutReason(s.name.TimeoutMs));
        }
        platform::WaitForMessage(s.RemainingMs(LookupGraceMs));
        platform::ProcessMessages();
    }
    if (s.phase == detail::TPhase::Failed) {
        StopThread();
        Fail(deviceName, s.error, s.reason);
    }
}

TNetworkDevice::~TNetworkDevice() {
    StopThread();
}

// A name lookup cannot be interrupted; the thread is left to finish it on its own.
void TNetworkDevice::StopThread() {
    if (!FThread.joinable()) return;
    FState->stop.Signal();
    if (FState->resolving)
        FThread.detach();
    else
        FThread.join();
}

const std::string& TNetworkDevice::Path() const {
    return FState->nearPath;
}

void TNetworkDevice::LineSettingsChanged(const DCB& dcb, bool handshaking) {
    if (!FState->name.Rfc2217) return;
    std::lock_guard lock(FState->mutex);
    FState->controlBytes += detail::TTelnetClient::PortSettings(dcb, handshaking);
    FState->control.Signal();
}

} // namespace serial
