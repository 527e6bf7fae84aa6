#pragma once
// Line settings of the serial component: enumerations whose ordinals index the value tables, the
// sets built on them, and the device control block with its flag bits.
#include <array>
#include <cstdint>
#include <initializer_list>

namespace serial {

// Fixed underlying types: a value read from outside that is out of range stays representable and
// is refused rather than being undefined.
enum TBaudRate : int {
    cbr110,
    cbr300,
    cbr600,
    cbr1200,
    cbr2400,
    cbr4800,
    cbr9600,
    cbr14400,
    cbr19200,
    cbr38400,
    cbr56000,
    cbr57600,
    cbr115200,
    cbr128000,
    cbr256000
};
enum TParity : int { paNone, paOdd, paEven, paMark, paSpace };
enum TStopbits : int { sb10, sb15, sb20 };
enum TDatabits : int { da4, da5, da6, da7, da8 };
enum TFlowControl : int { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommOption : int { coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip };
enum TCommEventState : int {
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRing,
    evRlsd,
    evRxChar,
    evRxFlag,
    evTxEmpty
};

// A set of enumeration members, one bit per ordinal.
template <typename E> class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members) {
        for (E member : members)
            Include(member);
    }
    constexpr bool Contains(E member) const { return (FBits & Bit(member)) != 0; }
    constexpr void Include(E member) { FBits |= Bit(member); }
    constexpr void Exclude(E member) { FBits &= ~Bit(member); }
    constexpr bool operator==(const TSet&) const = default;

private:
    static constexpr uint32_t Bit(E member) {
        const auto ordinal = static_cast<unsigned>(member);
        return ordinal < 32 ? 1u << ordinal : 0;
    }
    uint32_t FBits = 0;
};

using TCommOptions = TSet<TCommOption>;
using TCommEventType = TSet<TCommEventState>;

inline constexpr TCommEventType AllCommEvents{evBreak, evCTS,    evDSR,    evError,  evRing,
                                              evRlsd,  evRxChar, evRxFlag, evTxEmpty};

// Parity codes and stop-bit codes of the device control block.
inline constexpr uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3,
                         SPACEPARITY = 4;
inline constexpr uint8_t ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;

// Line events, as bits of an event mask.
inline constexpr uint32_t EV_RXCHAR = 0x0001, EV_RXFLAG = 0x0002, EV_TXEMPTY = 0x0004,
                          EV_CTS = 0x0008, EV_DSR = 0x0010, EV_RLSD = 0x0020, EV_BREAK = 0x0040,
                          EV_ERR = 0x0080, EV_RING = 0x0100;

// Error flags handed to OnError. CE_IOE also marks a device that has gone away.
inline constexpr uint32_t CE_RXOVER = 0x0001, CE_OVERRUN = 0x0002, CE_RXPARITY = 0x0004,
                          CE_FRAME = 0x0008, CE_BREAK = 0x0010, CE_IOE = 0x0400;

inline constexpr std::array<uint32_t, 15> CommBaudRates = {110,   300,   600,    1200,   2400,
                                                           4800,  9600,  14400,  19200,  38400,
                                                           56000, 57600, 115200, 128000, 256000};
inline constexpr std::array<uint8_t, 5> CommParity = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY,
                                                      SPACEPARITY};
inline constexpr std::array<uint8_t, 3> CommStopBits = {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
inline constexpr std::array<uint8_t, 5> CommDataBits = {4, 5, 6, 7, 8};
inline constexpr std::array<uint32_t, 5> CommOptions = {0x0002, 0x0040, 0x0080, 0x0400, 0x0800};
inline constexpr std::array<uint32_t, 9> CommEventList = {
    EV_BREAK, EV_CTS, EV_DSR, EV_ERR, EV_RING, EV_RLSD, EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY};

// Bits of DCB::Flags.
inline constexpr uint32_t fBinary = 0x0001;
inline constexpr uint32_t fParity = 0x0002;
inline constexpr uint32_t fOutxCtsFlow = 0x0004;
inline constexpr uint32_t fOutxDsrFlow = 0x0008;
inline constexpr uint32_t fDtrControl = 0x0030;
inline constexpr uint32_t fDsrSensitivity = 0x0040;
inline constexpr uint32_t fTXContinueOnXoff = 0x0080;
inline constexpr uint32_t fOutX = 0x0100;
inline constexpr uint32_t fInX = 0x0200;
inline constexpr uint32_t fErrorChar = 0x0400;
inline constexpr uint32_t fNull = 0x0800;
inline constexpr uint32_t fRtsControl = 0x3000;
inline constexpr uint32_t fAbortOnError = 0x4000;
inline constexpr uint32_t fDummy2 = 0xFFFF8000;

// Values of the two-bit DTR and RTS control fields.
inline constexpr uint32_t DTR_CONTROL_DISABLE = 0, DTR_CONTROL_ENABLE = 1,
                          DTR_CONTROL_HANDSHAKE = 2;
inline constexpr uint32_t RTS_CONTROL_DISABLE = 0, RTS_CONTROL_ENABLE = 1,
                          RTS_CONTROL_HANDSHAKE = 2, RTS_CONTROL_TOGGLE = 3;

constexpr uint32_t DtrControlOf(uint32_t flags) {
    return (flags & fDtrControl) >> 4;
}
constexpr uint32_t RtsControlOf(uint32_t flags) {
    return (flags & fRtsControl) >> 12;
}
constexpr uint32_t WithDtrControl(uint32_t flags, uint32_t mode) {
    return (flags & ~fDtrControl) | ((mode << 4) & fDtrControl);
}
constexpr uint32_t WithRtsControl(uint32_t flags, uint32_t mode) {
    return (flags & ~fRtsControl) | ((mode << 12) & fRtsControl);
}

// The device control block: the line settings as one record.
struct DCB {
    uint32_t BaudRate = 0;
    uint32_t Flags = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;
    uint8_t StopBits = 0;
    uint8_t XonChar = 0;
    uint8_t XoffChar = 0;

    bool operator==(const DCB&) const = default;
};

// Time-outs, in milliseconds; a read interval of 0xFFFFFFFF means "return at once".
struct COMMTIMEOUTS {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// Queue status refreshed at each event dispatch.
struct COMSTAT {
    uint32_t cbInQue = 0;
};

} // namespace serial
