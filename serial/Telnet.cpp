#include "Telnet.h"

namespace serial::detail {

namespace {

constexpr uint8_t SE = 240, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255;
constexpr uint8_t Binary = 0, SuppressGoAhead = 3, ComPortOption = 44;
constexpr uint8_t SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4, SetControl = 5;
constexpr uint8_t NoFlowControl = 1, XonXoffFlowControl = 2, HardwareFlowControl = 3, DtrOn = 8,
                  DtrOff = 9, DsrFlowControl = 19;

void Append(std::string& out, std::initializer_list<uint8_t> bytes) {
    for (uint8_t byte : bytes)
        out += char(byte);
}

// IAC SB COM-PORT-OPTION command value IAC SE, with 0xFF in the value doubled.
void AppendSubnegotiation(std::string& out, uint8_t command, std::string_view value) {
    Append(out, {IAC, SB, ComPortOption, command});
    TTelnetClient::AppendEscaped(value, out);
    Append(out, {IAC, SE});
}

std::string Byte(uint8_t value) {
    return std::string(1, char(value));
}

std::string BigEndian(uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

uint8_t ParityCode(uint8_t parity) {
    switch (parity) {
    case ODDPARITY:
        return 2;
    case EVENPARITY:
        return 3;
    case MARKPARITY:
        return 4;
    case SPACEPARITY:
        return 5;
    default:
        return 1;
    }
}

uint8_t StopSizeCode(uint8_t stopBits) {
    return stopBits == TWOSTOPBITS ? 2 : stopBits == ONE5STOPBITS ? 3 : 1;
}

uint8_t FlowControlCode(uint32_t flags) {
    if (flags & fOutxCtsFlow) return HardwareFlowControl;
    if (flags & (fOutX | fInX)) return XonXoffFlowControl;
    if (flags & fOutxDsrFlow) return DsrFlowControl;
    return NoFlowControl;
}

} // namespace

bool TTelnetClient::Offered(uint8_t option) {
    return option == Binary || option == SuppressGoAhead || option == ComPortOption;
}

bool TTelnetClient::Wanted(uint8_t option) {
    return option == Binary || option == SuppressGoAhead;
}

std::string TTelnetClient::Greeting() {
    std::string out;
    for (uint8_t option : {Binary, SuppressGoAhead, ComPortOption}) {
        FUs[option] = TSide::WantYes;
        Append(out, {IAC, WILL, option});
    }
    for (uint8_t option : {Binary, SuppressGoAhead}) {
        FHim[option] = TSide::WantYes;
        Append(out, {IAC, DO, option});
    }
    return out;
}

TTelnetClient::TComPort TTelnetClient::ComPort() const {
    switch (FUs[ComPortOption]) {
    case TSide::Yes:
        return TComPort::Agreed;
    case TSide::WantYes:
        return TComPort::Asked;
    default:
        return TComPort::Refused;
    }
}

void TTelnetClient::Receive(std::string_view received, std::string& data, std::string& answers) {
    for (const char c : received) {
        const uint8_t byte = uint8_t(c);
        switch (FState) {
        case TState::Data:
            if (byte == IAC)
                FState = TState::Command;
            else
                data += c;
            break;
        case TState::Command:
            if (byte == IAC) {
                data += c;
                FState = TState::Data;
            } else if (byte >= WILL) {
                FVerb = byte;
                FState = TState::Option;
            } else {
                // The server's answers to the port settings and its notices come as
                // subnegotiations; nothing here needs them. Other commands mean nothing to a
                // serial line.
                FState = byte == SB ? TState::Sub : TState::Data;
            }
            break;
        case TState::Option:
            Command(FVerb, byte, answers);
            FState = TState::Data;
            break;
        case TState::Sub:
            if (byte == IAC) FState = TState::SubCommand;
            break;
        case TState::SubCommand:
            // IAC IAC is a 0xFF inside the subnegotiation, IAC SE its end.
            FState = byte == SE ? TState::Data : TState::Sub;
            break;
        }
    }
}

// Answers only what changes the state of an option, so that two sides that disagree cannot
// answer each other forever.
void TTelnetClient::Command(uint8_t verb, uint8_t option, std::string& answers) {
    const bool aboutHim = verb == WILL || verb == WONT;
    const bool enable = verb == WILL || verb == DO;
    TSide& side = aboutHim ? FHim[option] : FUs[option];
    const bool agree = aboutHim ? Wanted(option) : Offered(option);
    const uint8_t yes = aboutHim ? DO : WILL, no = aboutHim ? DONT : WONT;
    if (enable) {
        if (side == TSide::No) {
            side = agree ? TSide::Yes : TSide::No;
            Append(answers, {IAC, agree ? yes : no, option});
        } else if (side != TSide::Yes) {
            side = side == TSide::WantYes ? TSide::Yes : TSide::No;
        }
    } else if (side == TSide::Yes) {
        side = TSide::No;
        Append(answers, {IAC, no, option});
    } else {
        side = TSide::No;
    }
}

void TTelnetClient::AppendEscaped(std::string_view data, std::string& out) {
    for (const char c : data) {
        out += c;
        if (uint8_t(c) == IAC) out += c;
    }
}

std::string TTelnetClient::PortSettings(const DCB& dcb, bool handshaking) {
    std::string out;
    AppendSubnegotiation(out, SetBaudRate, BigEndian(dcb.BaudRate));
    AppendSubnegotiation(out, SetDataSize, Byte(dcb.ByteSize));
    AppendSubnegotiation(out, SetParity, Byte(ParityCode(dcb.Parity)));
    AppendSubnegotiation(out, SetStopSize, Byte(StopSizeCode(dcb.StopBits)));
    if (handshaking) {
        AppendSubnegotiation(out, SetControl, Byte(FlowControlCode(dcb.Flags)));
        const bool dtr = DtrControlOf(dcb.Flags) != DTR_CONTROL_DISABLE;
        AppendSubnegotiation(out, SetControl, Byte(dtr ? DtrOn : DtrOff));
    }
    return out;
}

} // namespace serial::detail
