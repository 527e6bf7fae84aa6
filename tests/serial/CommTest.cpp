#include "serial/Comm.h"

#include "PseudoTerminal.h"

#include <functional>
#include <gtest/gtest.h>

using namespace serial;
using namespace testsupport;

namespace {

struct NameCase {
    const char* name;
    const char* path;
};

class DeviceNames : public testing::TestWithParam<NameCase> {};

TEST_P(DeviceNames, MapToPaths) {
    EXPECT_EQ(DevicePath(GetParam().name), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Comm, DeviceNames,
    testing::Values(NameCase{"COM1", "/dev/ttyS0"}, NameCase{"com8", "/dev/ttyS7"},
                    NameCase{"Com2", "/dev/ttyS1"}, NameCase{"COM9", "/dev/COM9"},
                    NameCase{"COM0", "/dev/COM0"}, NameCase{"ttyUSB0", "/dev/ttyUSB0"},
                    NameCase{"/dev/pts/7", "/dev/pts/7"}, NameCase{"loop://", "loop://"},
                    NameCase{"", ""}));

struct OpenFailure {
    std::string device;
    std::string message;
    int32_t code;
};

class OpenFailures : public testing::TestWithParam<OpenFailure> {};

TEST_P(OpenFailures, RaiseAndLeaveThePortClosed) {
    TComm comm;
    comm.SetDeviceName(GetParam().device);
    try {
        comm.Open();
        FAIL() << "opened " << GetParam().device;
    } catch (const ECommError& error) {
        EXPECT_EQ(error.what(), GetParam().message);
        EXPECT_EQ(error.ErrorCode, GetParam().code);
    }
    EXPECT_FALSE(comm.Enabled());
    EXPECT_EQ(comm.InQueCount(), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Comm, OpenFailures,
    testing::Values(
        OpenFailure{"/dev/portwell-missing", "Error accessing specified device (Error: 2) ", 2},
        OpenFailure{"", "Error accessing specified device (Error: 2) ", 2},
        OpenFailure{"/", "Error accessing specified device (Error: 21) ", 21},
        OpenFailure{"/dev/null", "Invalid device handle, access denied (Error: -1) ", -1}));

TEST(Comm, ADeviceInUseIsRefused) {
    PseudoTerminal device;
    TComm first, second;
    first.SetDeviceName(device.Path());
    second.SetDeviceName(device.Path());
    first.Open();
    try {
        second.Open();
        FAIL() << "opened a device in use";
    } catch (const ECommError& error) {
        EXPECT_STREQ(error.what(), "Error accessing specified device (Error: 16) ");
    }
    first.Close();
    second.Open();
    EXPECT_TRUE(second.Enabled());
}

class RefusedWhileOpen : public testing::TestWithParam<std::function<void(TComm&)>> {};

TEST_P(RefusedWhileOpen, KeepsTheOldValue) {
    PseudoTerminal device;
    TComm comm;
    comm.SetDeviceName(device.Path());
    comm.Open();
    try {
        GetParam()(comm);
        FAIL() << "accepted while open";
    } catch (const ECommError& error) {
        EXPECT_STREQ(error.what(), "Device already assigned (open) (Error: -1) ");
        EXPECT_EQ(error.ErrorCode, -1);
    }
    EXPECT_EQ(comm.DeviceName(), device.Path());
    EXPECT_EQ(comm.MonitorEvents(), AllCommEvents);
    EXPECT_EQ(comm.ReadBufSize(), 4096);
    EXPECT_EQ(comm.WriteBufSize(), 2048);
}

INSTANTIATE_TEST_SUITE_P(Comm, RefusedWhileOpen,
                         testing::Values([](TComm& c) { c.SetDeviceName("COM1"); },
                                         [](TComm& c) { c.SetMonitorEvents({evRxChar}); },
                                         [](TComm& c) { c.SetReadBufSize(100); },
                                         [](TComm& c) { c.SetWriteBufSize(100); }));

TEST(Comm, AClosedPortRefusesInputAndOutput) {
    TComm comm;
    uint8_t byte = 0;
    EXPECT_EQ(comm.InQueCount(), -1);
    EXPECT_EQ(comm.Read(&byte, 1), -1);
    EXPECT_EQ(comm.Write(&byte, 1), -1);
    comm.SetBaudRate(cbr115200);
    EXPECT_EQ(comm.BaudRate(), cbr115200);
}

TEST(Comm, EveryByteValueTravelsUnchangedBothWays) {
    PseudoTerminal device;
    TComm comm;
    comm.SetDeviceName(device.Path());
    comm.Open();
    const Bytes all = AllByteValues();
    ASSERT_EQ(comm.Write(all.data(), int32_t(all.size())), 256);
    EXPECT_EQ(device.Receive(256), all);

    device.Send(all);
    ASSERT_TRUE(PumpUntil([&] { return comm.InQueCount() == 256; }));
    Bytes got(256);
    ASSERT_EQ(comm.Read(got.data(), 256), 256);
    EXPECT_EQ(got, all);
    EXPECT_EQ(comm.Read(got.data(), 1), 0);
}

TEST(Comm, ReadAndWriteRejectBadArguments) {
    PseudoTerminal device;
    TComm comm;
    comm.SetDeviceName(device.Path());
    comm.Open();
    EXPECT_EQ(comm.Write(nullptr, 5), -1);
    EXPECT_EQ(comm.Write("x", -1), -1);
    EXPECT_EQ(comm.Read(nullptr, 5), -1);
    EXPECT_EQ(comm.Write(nullptr, 0), 0);
}

// The device never reads: the write ends at the time-out and reports exactly what went out.
TEST(Comm, AWriteThatTimesOutReportsWhatWasHandedOver) {
    PseudoTerminal device;
    TComm comm;
    comm.SetDeviceName(device.Path());
    comm.Open();
    const Bytes block(1 << 20, 'a');
    const int32_t written = comm.Write(block.data(), int32_t(block.size()));
    ASSERT_GT(written, 0);
    ASSERT_LT(written, int32_t(block.size()));
    EXPECT_EQ(device.Receive(size_t(written)), Bytes(size_t(written), 'a'));
    PumpFor(200);
    EXPECT_TRUE(device.Drain().empty());
}

TEST(Comm, ACharsTimeoutOfZeroMeansReturnAtOnce) {
    PseudoTerminal device;
    TComm comm;
    comm.SetDeviceName(device.Path());
    comm.SetCharsTimeout(0);
    comm.Open();
    EXPECT_EQ(comm.CommTimeouts().ReadIntervalTimeout, 0xFFFFFFFFu);
}

// A refused time-out must leave the stored one in force, also when set before the port opens:
// storing it first would make every later Open fail.
TEST(Comm, ANegativeCharsTimeoutIsRefusedAndKeepsTheOldOne) {
    for (const bool openFirst : {false, true}) {
        SCOPED_TRACE(openFirst ? "while open" : "while closed");
        PseudoTerminal device;
        TComm comm;
        comm.SetDeviceName(device.Path());
        comm.SetCharsTimeout(40);
        if (openFirst) comm.Open();
        try {
            comm.SetCharsTimeout(-1);
            FAIL() << "accepted a negative time-out";
        } catch (const ECommError& error) {
            EXPECT_STREQ(error.what(), "Error updating CommTimeouts (Error: 22) ");
        }
        EXPECT_EQ(comm.CharsTimeout(), 40);
        if (!openFirst) comm.Open();
        EXPECT_TRUE(comm.Enabled());
        EXPECT_EQ(comm.CommTimeouts().ReadIntervalTimeout, 40u);
    }
}

TEST(Comm, LoopbackEchoesEveryByte) {
    TComm comm;
    comm.SetDeviceName("loop://");
    Bytes got;
    comm.OnRxChar = [&](TCustomComm& sender, int32_t count) {
        Bytes chunk(static_cast<size_t>(count));
        chunk.resize(size_t(std::max(0, sender.Read(chunk.data(), count))));
        got.insert(got.end(), chunk.begin(), chunk.end());
    };
    comm.Open();
    Bytes sent = AllByteValues();
    for (int i = 0; i < 400; ++i)
        sent.insert(sent.end(), sent.begin(), sent.begin() + 256);
    for (size_t at = 0; at < sent.size(); at += 4096) {
        const int32_t size = int32_t(std::min<size_t>(4096, sent.size() - at));
        ASSERT_EQ(comm.Write(sent.data() + at, size), size);
        PumpUntil([&] { return got.size() + 16384 > at; });
    }
    ASSERT_TRUE(PumpUntil([&] { return got.size() >= sent.size(); }));
    EXPECT_EQ(got, sent);
}

} // namespace
