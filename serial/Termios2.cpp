#include "Termios2.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace serial::detail {

namespace {

constexpr tcflag_t RawInputOff = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                 IXOFF | IXANY | IMAXBEL | IUCLC;
constexpr tcflag_t RawLocalOff =
    ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE | ICANON | ISIG | IEXTEN | TOSTOP;
constexpr tcflag_t LineBits =
    CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;

// A substituted baud rate further off than this counts as refused.
constexpr uint32_t BaudTolerancePercent = 3;

int Get(int fd, termios2& t) {
    return ioctl(fd, TCGETS2, &t) == 0 ? 0 : errno;
}

int Set(int fd, const termios2& t) {
    return ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

// A device line carries bytes, not terminal text: no echo, line editing, translation or signals.
// A break is reported as an event rather than read as a NUL byte, and the modem-status lines are
// events too, never a reason to hang up.
void ApplyRaw(termios2& t) {
    t.c_iflag = (t.c_iflag & ~RawInputOff) | IGNBRK;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~RawLocalOff;
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

// Pseudo-terminals and some adapters have no modem-control lines; that is no failure.
bool NoModemControl(int error) {
    return error == ENOTTY || error == EINVAL;
}

int SetModemLine(int fd, int line, bool on) {
    int bits = line;
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return 0;
    return NoModemControl(errno) ? 0 : errno;
}

// Where the lines cannot be read, they behave as if DTR and RTS were on.
int ModemLines(int fd) {
    int lines = 0;
    return ioctl(fd, TIOCMGET, &lines) == 0 ? lines : TIOCM_DTR | TIOCM_RTS;
}

uint8_t ByteSizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

tcflag_t SizeBits(uint8_t byteSize) {
    constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    return sizes[byteSize - 5];
}

uint8_t ParityOf(tcflag_t cflag) {
    if (!(cflag & PARENB)) return NOPARITY;
    const bool odd = cflag & PARODD;
    if (cflag & CMSPAR) return odd ? MARKPARITY : SPACEPARITY;
    return odd ? ODDPARITY : EVENPARITY;
}

tcflag_t ParityBits(uint8_t parity) {
    constexpr tcflag_t bits[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                 PARENB | CMSPAR};
    return bits[parity];
}

// The line has no separate 1.5 stop bits: CSTOPB gives 1.5 with five data bits and 2 otherwise.
uint8_t StopBitsOf(tcflag_t cflag, uint8_t byteSize) {
    if (!(cflag & CSTOPB)) return ONESTOPBIT;
    return byteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
}

bool StopBitsPossible(const DCB& dcb) {
    switch (dcb.StopBits) {
    case ONESTOPBIT:
        return true;
    case ONE5STOPBITS:
        return dcb.ByteSize == 5;
    case TWOSTOPBITS:
        return dcb.ByteSize != 5;
    default:
        return false;
    }
}

// Linux has no DSR flow control, DSR sensitivity, NUL stripping or DTR handshake; asking for them
// fails instead of being quietly ignored.
bool HandshakingPossible(const DCB& dcb) {
    constexpr uint32_t missing = fOutxDsrFlow | fDsrSensitivity | fNull;
    if (dcb.Flags & missing) return false;
    if (DtrControlOf(dcb.Flags) > DTR_CONTROL_ENABLE) return false;
    const bool software = dcb.Flags & (fOutX | fInX);
    return !(software && dcb.XonChar == dcb.XoffChar);
}

bool Possible(const DCB& dcb) {
    return dcb.BaudRate > 0 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 &&
           dcb.Parity <= SPACEPARITY && StopBitsPossible(dcb) && HandshakingPossible(dcb);
}

bool HardwareFlow(const DCB& dcb) {
    return (dcb.Flags & fOutxCtsFlow) || RtsControlOf(dcb.Flags) == RTS_CONTROL_HANDSHAKE;
}

// Input speed follows output speed (CIBAUD left at zero).
void ApplyLine(termios2& t, const DCB& dcb) {
    t.c_cflag &= ~LineBits;
    t.c_cflag |= BOTHER | SizeBits(dcb.ByteSize) | ParityBits(dcb.Parity);
    if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
    if (HardwareFlow(dcb)) t.c_cflag |= CRTSCTS;
    t.c_ispeed = t.c_ospeed = dcb.BaudRate;
}

// A parity error reads as NUL with fErrorChar, and the byte is dropped without it.
void ApplyInput(termios2& t, const DCB& dcb) {
    t.c_iflag &= ~(INPCK | IGNPAR | IXON | IXOFF);
    if (dcb.Flags & fParity) t.c_iflag |= INPCK;
    if (!(dcb.Flags & fErrorChar)) t.c_iflag |= IGNPAR;
    if (dcb.Flags & fOutX) t.c_iflag |= IXON;
    if (dcb.Flags & fInX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = dcb.XonChar;
    t.c_cc[VSTOP] = dcb.XoffChar;
}

uint32_t InputFlagsOf(tcflag_t iflag) {
    uint32_t flags = fBinary;
    if (iflag & INPCK) flags |= fParity;
    if (!(iflag & IGNPAR)) flags |= fErrorChar;
    if (iflag & IXON) flags |= fOutX;
    if (iflag & IXOFF) flags |= fInX;
    return flags;
}

uint32_t HandshakeFlagsOf(int fd, tcflag_t cflag) {
    const int lines = ModemLines(fd);
    uint32_t flags =
        WithDtrControl(0, (lines & TIOCM_DTR) ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE);
    if (cflag & CRTSCTS) return WithRtsControl(flags | fOutxCtsFlow, RTS_CONTROL_HANDSHAKE);
    return WithRtsControl(flags, (lines & TIOCM_RTS) ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE);
}

// With hardware flow control the driver drives RTS; RTS toggling has no Linux counterpart and
// holds RTS on instead.
int ApplyModemLines(int fd, const DCB& dcb) {
    const bool dtrOn = DtrControlOf(dcb.Flags) == DTR_CONTROL_ENABLE;
    if (int error = SetModemLine(fd, TIOCM_DTR, dtrOn)) return error;
    if (HardwareFlow(dcb)) return 0;
    return SetModemLine(fd, TIOCM_RTS, RtsControlOf(dcb.Flags) != RTS_CONTROL_DISABLE);
}

// Drivers substitute a rate they cannot make instead of failing; catch that here.
int CheckBaudTaken(int fd, uint32_t wanted) {
    termios2 t{};
    if (int error = Get(fd, t)) return error;
    const uint64_t got = t.c_ospeed;
    const uint64_t off = got > wanted ? got - wanted : wanted - got;
    return off * 100 > uint64_t(wanted) * BaudTolerancePercent ? EINVAL : 0;
}

} // namespace

int MakeRaw(int fd) {
    termios2 t{};
    if (int error = Get(fd, t)) return error;
    ApplyRaw(t);
    return Set(fd, t);
}

int ReadDcb(int fd, DCB& dcb) {
    termios2 t{};
    if (int error = Get(fd, t)) return error;
    dcb = DCB{};
    dcb.BaudRate = t.c_ospeed;
    dcb.ByteSize = ByteSizeOf(t.c_cflag);
    dcb.Parity = ParityOf(t.c_cflag);
    dcb.StopBits = StopBitsOf(t.c_cflag, dcb.ByteSize);
    dcb.Flags = InputFlagsOf(t.c_iflag) | HandshakeFlagsOf(fd, t.c_cflag);
    dcb.XonChar = t.c_cc[VSTART];
    dcb.XoffChar = t.c_cc[VSTOP];
    return 0;
}

int WriteDcb(int fd, const DCB& dcb) {
    if (!Possible(dcb)) return EINVAL;
    termios2 t{};
    if (int error = Get(fd, t)) return error;
    ApplyRaw(t);
    ApplyLine(t, dcb);
    ApplyInput(t, dcb);
    if (int error = Set(fd, t)) return error;
    if (int error = ApplyModemLines(fd, dcb)) return error;
    return CheckBaudTaken(fd, dcb.BaudRate);
}

} // namespace serial::detail
