#pragma once
// Telnet (RFC 854) from the client's side, with the COM-PORT-OPTION (RFC 2217) that carries a
// serial port's line settings to a port server. Binary transmission and suppressed go-ahead are
// asked for both ways and the COM-PORT-OPTION offered; every other option is refused. Each option
// is negotiated without loops (RFC 1143), and the byte 0xFF is doubled in data.
#include "serial/CommTypes.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace serial::detail {

class TTelnetClient {
public:
    enum class TComPort { Asked, Agreed, Refused };

    // What the client sends as the connection opens.
    std::string Greeting();
    // Splits what came from the server into data and the answers owed to it; a command may be cut
    // anywhere between two calls.
    void Receive(std::string_view received, std::string& data, std::string& answers);
    // Whether the server has taken up the COM-PORT-OPTION.
    TComPort ComPort() const;

    static void AppendEscaped(std::string_view data, std::string& out);
    // The subnegotiations that set baud rate, data size, parity and stop size, and with
    // `handshaking` also flow control and DTR.
    static std::string PortSettings(const DCB& dcb, bool handshaking);

private:
    // One side of an option (RFC 1143 without its queue).
    enum class TSide : uint8_t { No, Yes, WantNo, WantYes };
    enum class TState : uint8_t { Data, Command, Option, Sub, SubCommand };

    void Command(uint8_t verb, uint8_t option, std::string& answers);
    static bool Offered(uint8_t option);
    static bool Wanted(uint8_t option);

    TState FState = TState::Data;
    uint8_t FVerb = 0;
    std::array<TSide, 256> FUs{};  // options this side performs
    std::array<TSide, 256> FHim{}; // options the server performs
};

} // namespace serial::detail
