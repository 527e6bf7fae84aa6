#include "PseudoTerminal.h"
#include "Termios2Probe.h"
#include "serial/Comm.h"

#include <functional>
#include <gtest/gtest.h>
#include <termios.h>

using namespace serial;
using namespace testsupport;

namespace {

class LinePort : public testing::Test {
protected:
    void SetUp() override {
        comm.SetDeviceName(device.Path());
        comm.Open();
    }
    LineProbe Line() const { return ProbeLine(device.Line()); }

    PseudoTerminal device;
    TComm comm;
};

struct HandshakeCase {
    TFlowControl mode;
    uint32_t flags;
};

class Handshaking : public testing::TestWithParam<HandshakeCase> {};

// Starting from every bit set shows which bits each mode clears as well as which it sets.
TEST_P(Handshaking, ResetsTheBaseThenAddsTheMode) {
    TComm comm;
    comm.SetFlowControl(GetParam().mode);
    DCB dcb;
    dcb.Flags = 0xFFFFFFFF;
    comm.ConfigureHandshaking(dcb);
    EXPECT_EQ(dcb.Flags, GetParam().flags);
}

constexpr uint32_t Base =
    WithDtrControl(0xFFFFFFFF & ~(fOutxCtsFlow | fOutxDsrFlow | fOutX | fInX), DTR_CONTROL_ENABLE);

INSTANTIATE_TEST_SUITE_P(LineSettings, Handshaking,
                         testing::Values(HandshakeCase{fcNone, Base},
                                         HandshakeCase{fcCTS, Base | fOutxCtsFlow},
                                         HandshakeCase{fcDTR, Base | fOutxDsrFlow},
                                         HandshakeCase{fcSoftware, Base | fOutX | fInX},
                                         HandshakeCase{fcDefault, 0xFFFFFFFF}));

struct BaudCase {
    TBaudRate rate;
    uint32_t bitsPerSecond;
};

class BaudRates : public LinePort, public testing::WithParamInterface<BaudCase> {};

TEST_P(BaudRates, ReachTheLineAsArbitrarySpeeds) {
    comm.SetBaudRate(GetParam().rate);
    const LineProbe line = Line();
    EXPECT_TRUE(line.arbitrarySpeed);
    EXPECT_EQ(line.outputSpeed, GetParam().bitsPerSecond);
    EXPECT_EQ(line.inputSpeed, GetParam().bitsPerSecond);
    EXPECT_EQ(comm.DataControlBlock().BaudRate, GetParam().bitsPerSecond);
}

INSTANTIATE_TEST_SUITE_P(LineSettings, BaudRates,
                         testing::Values(BaudCase{cbr110, 110}, BaudCase{cbr14400, 14400},
                                         BaudCase{cbr56000, 56000}, BaudCase{cbr115200, 115200},
                                         BaudCase{cbr128000, 128000}, BaudCase{cbr256000, 256000}));

// openpty leaves the line cooked (echo, line editing, CR/LF mapping, XON/XOFF); opening the port
// must undo all of it.
TEST_F(LinePort, TheLineIsRawAndEightBitClean) {
    const LineProbe line = Line();
    EXPECT_EQ(line.lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.oflag & OPOST, 0u);
    EXPECT_EQ(line.iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | PARMRK), 0u);
    EXPECT_EQ(line.cflag & (CREAD | CLOCAL), unsigned(CREAD | CLOCAL));
}

TEST_F(LinePort, SoftwareFlowControlUsesTheEventChars) {
    comm.EventChars().SetXonChar(0x05);
    comm.SetFlowControl(fcSoftware);
    LineProbe line = Line();
    EXPECT_EQ(line.iflag & (IXON | IXOFF), unsigned(IXON | IXOFF));
    EXPECT_EQ(line.startChar, 0x05);
    EXPECT_EQ(line.stopChar, 19);
    comm.SetFlowControl(fcNone);
    line = Line();
    EXPECT_EQ(line.iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(line.cflag & CRTSCTS, 0u);
}

TEST_F(LinePort, HardwareFlowControlStopBitsAndParityCheckReachTheLine) {
    comm.SetFlowControl(fcCTS);
    comm.SetStopbits(sb20);
    comm.SetOptions({coParityCheck});
    const LineProbe line = Line();
    EXPECT_NE(line.cflag & CRTSCTS, 0u);
    EXPECT_NE(line.cflag & CSTOPB, 0u);
    EXPECT_NE(line.iflag & INPCK, 0u);
}

// A pseudo-terminal forces eight data bits and no parity, so these are checked in the block.
struct FramingCase {
    TDatabits databits;
    TParity parity;
    TStopbits stopbits;
    uint8_t byteSize, parityCode, stopCode;
};

class Framing : public LinePort, public testing::WithParamInterface<FramingCase> {};

TEST_P(Framing, FillsTheControlBlock) {
    comm.SetDatabits(GetParam().databits);
    comm.SetParity(GetParam().parity);
    comm.SetStopbits(GetParam().stopbits);
    const DCB& dcb = comm.DataControlBlock();
    EXPECT_EQ(dcb.ByteSize, GetParam().byteSize);
    EXPECT_EQ(dcb.Parity, GetParam().parityCode);
    EXPECT_EQ(dcb.StopBits, GetParam().stopCode);
    EXPECT_EQ(dcb.XonLim, 1024);
    EXPECT_EQ(dcb.XoffLim, 1024);
}

INSTANTIATE_TEST_SUITE_P(
    LineSettings, Framing,
    testing::Values(FramingCase{da7, paEven, sb10, 7, EVENPARITY, ONESTOPBIT},
                    FramingCase{da5, paMark, sb15, 5, MARKPARITY, ONE5STOPBITS},
                    FramingCase{da6, paSpace, sb20, 6, SPACEPARITY, TWOSTOPBITS}));

class Refused : public LinePort, public testing::WithParamInterface<std::function<void(TComm&)>> {};

// What Linux cannot do fails, and the component keeps describing the line as it is.
TEST_P(Refused, FailsWithEinvalAndKeepsThePreviousSetting) {
    try {
        GetParam()(comm);
        FAIL() << "accepted";
    } catch (const ECommError& error) {
        EXPECT_STREQ(error.what(), "Error updating DataControlBlock (Error: 22) ");
        EXPECT_EQ(error.ErrorCode, 22);
    }
    EXPECT_EQ(comm.Databits(), da8);
    EXPECT_EQ(comm.Stopbits(), sb10);
    EXPECT_EQ(comm.FlowControl(), fcDefault);
    EXPECT_EQ(comm.Options(), TCommOptions{});
    comm.SetBaudRate(cbr19200);
    EXPECT_EQ(Line().outputSpeed, 19200u);
}

INSTANTIATE_TEST_SUITE_P(LineSettings, Refused,
                         testing::Values([](TComm& c) { c.SetDatabits(da4); },
                                         [](TComm& c) { c.SetStopbits(sb15); },
                                         [](TComm& c) { c.SetFlowControl(fcDTR); },
                                         [](TComm& c) { c.SetOptions({coNullStrip}); },
                                         [](TComm& c) { c.SetOptions({coDsrSensitivity}); },
                                         [](TComm& c) { c.SetBaudRate(TBaudRate(99)); }));

TEST(LineSettings, ASettingRefusedAtOpenLeavesThePortClosed) {
    PseudoTerminal device;
    TComm comm;
    comm.SetDeviceName(device.Path());
    comm.SetDatabits(da4);
    EXPECT_THROW(comm.Open(), ECommError);
    EXPECT_FALSE(comm.Enabled());
    comm.SetDatabits(da8);
    comm.Open();
    EXPECT_TRUE(comm.Enabled());
}

} // namespace
