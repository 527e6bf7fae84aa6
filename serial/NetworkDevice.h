#pragma once
// The network devices: "tcp://HOST:PORT" carries raw bytes over TCP, "rfc2217://HOST:PORT" speaks
// Telnet with the COM-PORT-OPTION to a port server, which then also takes the line settings. A
// thread of the device carries the bytes between the far end of a pseudo-terminal and the
// connection, so that the component, its event thread and everything above them see a terminal.
// When the connection ends or fails, the far end is closed: the component sees the device go away,
// as when an adapter is unplugged.
#include "PseudoDevice.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace serial {

namespace detail {
struct BridgeState;
}

struct TNetworkName {
    bool Rfc2217 = false;
    std::string Host; // without the brackets of an IPv6 address
    std::string Port;
    int TimeoutMs = 5000; // for the connection, and for the COM-PORT-OPTION to be agreed
};

// The parts of "tcp://HOST:PORT" or "rfc2217://HOST:PORT", each with an optional "?timeout=S"
// (seconds); HOST is a name, an IPv4 address or an IPv6 address in brackets. Nothing when `name`
// names no network device; what is wrong in `problem` when it does but cannot be read.
std::optional<TNetworkName> ParseNetworkName(const std::string& name, std::string& problem);

class TNetworkDevice final : public TPseudoDevice {
public:
    // Connects to the device `deviceName` names, serving the calling thread's messages meanwhile.
    // A failure raises ECommError naming the device and the reason; when `cancelled` comes true
    // first (checked after each message), the code is ECANCELED.
    TNetworkDevice(const std::string& deviceName, const std::function<bool()>& cancelled);
    ~TNetworkDevice() override;
    TNetworkDevice(const TNetworkDevice&) = delete;
    TNetworkDevice& operator=(const TNetworkDevice&) = delete;

    const std::string& Path() const override;
    void LineSettingsChanged(const DCB& dcb, bool handshaking) override;

private:
    void StopThread();

    std::shared_ptr<detail::BridgeState> FState;
    std::thread FThread;
};

} // namespace serial
