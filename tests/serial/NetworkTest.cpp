// The network devices: their names, the Telnet client, how connecting fails, a Telnet peer of the
// test's own that sends what the client must refuse, and Debian's ser2net serving a
// pseudo-terminal that the test plays.
#include "../../serial/NetworkDevice.h"
#include "../../serial/Telnet.h"
#include "PseudoTerminal.h"
#include "Ser2net.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "serial/Comm.h"

#include <asm/termbits.h>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace serial;
using namespace testsupport;

namespace {

std::string S(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s += char(b);
    return s;
}

constexpr int IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr int Binary = 0, Echo = 1, Sga = 3, Status = 5, Ttype = 24, Naws = 31, Linemode = 34,
              ComPort = 44;

// --- Names

struct NameCase {
    const char* name;
    bool network;
    std::string problem; // "" when the name is read
    bool rfc2217 = false;
    const char* host = "";
    const char* port = "";
    int timeoutMs = 5000;
};

TEST(NetworkNames, AreReadOrRefusedWithTheFormExpected) {
    const std::string tcpForm = "expected tcp://HOST:PORT with a port from 1 to 65535";
    const std::string option =
        "the only option is timeout=SECONDS, as in tcp://HOST:PORT?timeout=10";
    const NameCase cases[] = {
        {"tcp://rack1:3001", true, "", false, "rack1", "3001"},
        {"RFC2217://10.0.0.7:2000", true, "", true, "10.0.0.7", "2000"},
        {"rfc2217://[::1]:4000?timeout=2.5", true, "", true, "::1", "4000", 2500},
        {"tcp://h:65535?timeout=0.001", true, "", false, "h", "65535", 1},
        {"tcp://rack1", true, tcpForm},
        {"tcp://:80", true, tcpForm},
        {"tcp://h:0", true, tcpForm},
        {"tcp://h:65536", true, tcpForm},
        {"tcp://h:8x", true, tcpForm},
        {"tcp://::1:80", true, tcpForm},
        {"tcp://[::1]80", true, tcpForm},
        {"tcp://h:80?timeout=0", true, option},
        {"tcp://h:80?baud=9600", true, option},
        {"loop://", false, ""},
        {"/dev/ttyUSB0", false, ""},
        {"COM1", false, ""},
    };
    for (const NameCase& c : cases) {
        std::string problem = "unset";
        const auto parsed = ParseNetworkName(c.name, problem);
        EXPECT_EQ(parsed.has_value(), c.network) << c.name;
        EXPECT_EQ(IsNetworkDevice(c.name), c.network) << c.name;
        if (!c.network) continue;
        EXPECT_EQ(DevicePath(c.name), c.name);
        EXPECT_EQ(problem, c.problem) << c.name;
        if (!c.problem.empty()) continue;
        EXPECT_EQ(parsed->Rfc2217, c.rfc2217) << c.name;
        EXPECT_EQ(parsed->Host, c.host) << c.name;
        EXPECT_EQ(parsed->Port, c.port) << c.name;
        EXPECT_EQ(parsed->TimeoutMs, c.timeoutMs) << c.name;
    }
}

// --- The Telnet client

struct TelnetCase {
    const char* what;
    std::vector<std::string> received; // in pieces, as they may come
    std::string data;
    std::string answers;
};

TEST(TelnetClient, SplitsDataFromCommandsAndAnswersEachOptionOnce) {
    const TelnetCase cases[] = {
        {"plain data", {"abc\r\n"}, "abc\r\n", ""},
        {"a doubled 0xFF is one data byte", {S({'a', IAC, IAC, 'b'})}, S({'a', 255, 'b'}), ""},
        {"a doubled 0xFF cut in two", {S({'a', IAC}), S({IAC, 'b'})}, S({'a', 255, 'b'}), ""},
        {"options we do not perform are refused",
         {S({IAC, DO, Ttype, IAC, DO, Naws, IAC, DO, Echo})},
         "",
         S({IAC, WONT, Ttype, IAC, WONT, Naws, IAC, WONT, Echo})},
        {"options we do not want the server to perform are refused",
         {S({IAC, WILL, Echo, IAC, WILL, Linemode, IAC, WILL, Status})},
         "",
         S({IAC, DONT, Echo, IAC, DONT, Linemode, IAC, DONT, Status})},
        {"what was asked for is taken without an answer",
         {S({IAC, WILL, Binary, IAC, DO, Binary, IAC, WILL, Sga, IAC, DO, Sga, IAC, DO, ComPort})},
         "",
         ""},
        {"an option turned off that was never on needs no answer",
         {S({IAC, DONT, Linemode, IAC, WONT, Echo})},
         "",
         ""},
        {"a command cut anywhere",
         {S({'x', IAC}), S({WILL}), S({Echo, 'y'})},
         "xy",
         S({IAC, DONT, Echo})},
        {"subnegotiations and other commands vanish",
         {S({'1', IAC, SB, Ttype, 1, IAC, IAC, 7, IAC, SE, '2', IAC, 241, IAC, 249, '3'})},
         "123",
         ""},
        {"a subnegotiation cut in two",
         {S({IAC, SB, ComPort, 106}), S({0, IAC, SE, 'z'})},
         "z",
         ""},
    };
    for (const TelnetCase& c : cases) {
        detail::TTelnetClient client;
        client.Greeting();
        std::string data, answers;
        for (const std::string& piece : c.received)
            client.Receive(piece, data, answers);
        EXPECT_EQ(data, c.data) << c.what;
        EXPECT_EQ(answers, c.answers) << c.what;
    }
}

TEST(TelnetClient, OffersBinarySuppressedGoAheadAndTheComPortOption) {
    detail::TTelnetClient client;
    EXPECT_EQ(client.Greeting(), S({IAC, WILL, Binary, IAC, WILL, Sga, IAC, WILL, ComPort, IAC, DO,
                                    Binary, IAC, DO, Sga}));
    using TComPort = detail::TTelnetClient::TComPort;
    EXPECT_EQ(client.ComPort(), TComPort::Asked);
    std::string data, answers;
    client.Receive(S({IAC, DO, ComPort}), data, answers);
    EXPECT_EQ(client.ComPort(), TComPort::Agreed);
    // Turned off later, it is off, and the server is told so once.
    client.Receive(S({IAC, DONT, ComPort, IAC, DONT, ComPort}), data, answers);
    EXPECT_EQ(client.ComPort(), TComPort::Refused);
    EXPECT_EQ(answers, S({IAC, WONT, ComPort}));
}

TEST(TelnetClient, PortSettingsCarryEachSettingAndEscape0xFF) {
    struct Case {
        uint32_t baud;
        uint8_t bits, parity, stop;
        uint32_t flags;
        bool handshaking;
        std::string expected;
    };
    const auto sub = [](std::initializer_list<int> body) {
        return S({IAC, SB, ComPort}) + S(body) + S({IAC, SE});
    };
    const Case cases[] = {
        {9600, 8, NOPARITY, ONESTOPBIT, 0, false,
         sub({1, 0, 0, 0x25, 0x80}) + sub({2, 8}) + sub({3, 1}) + sub({4, 1})},
        {255, 7, EVENPARITY, TWOSTOPBITS, fOutxCtsFlow | WithDtrControl(0, DTR_CONTROL_ENABLE),
         true,
         sub({1, 0, 0, 0, IAC, IAC}) + sub({2, 7}) + sub({3, 3}) + sub({4, 2}) + sub({5, 3}) +
             sub({5, 8})},
        {115200, 5, ODDPARITY, ONE5STOPBITS, fOutX | fInX, true,
         sub({1, 0, 1, 0xC2, 0}) + sub({2, 5}) + sub({3, 2}) + sub({4, 3}) + sub({5, 2}) +
             sub({5, 9})},
        {110, 6, MARKPARITY, ONESTOPBIT, fOutxDsrFlow, true,
         sub({1, 0, 0, 0, 110}) + sub({2, 6}) + sub({3, 4}) + sub({4, 1}) + sub({5, 19}) +
             sub({5, 9})},
        {300, 8, SPACEPARITY, ONESTOPBIT, 0, true,
         sub({1, 0, 0, 1, 0x2C}) + sub({2, 8}) + sub({3, 5}) + sub({4, 1}) + sub({5, 1}) +
             sub({5, 9})},
    };
    for (const Case& c : cases) {
        DCB dcb;
        dcb.BaudRate = c.baud;
        dcb.ByteSize = c.bits;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stop;
        dcb.Flags = c.flags;
        EXPECT_EQ(detail::TTelnetClient::PortSettings(dcb, c.handshaking), c.expected) << c.baud;
    }
    std::string out;
    detail::TTelnetClient::AppendEscaped(S({1, 255, 2, 255, 255}), out);
    EXPECT_EQ(out, S({1, 255, 255, 2, 255, 255, 255, 255}));
}

// --- A Telnet peer of the test's own

// Listens on 127.0.0.1; sends `greeting` to the client that connects, then what the test gives
// it, and keeps everything the client sends.
class TelnetPeer {
public:
    explicit TelnetPeer(std::string greeting) : FGreeting(std::move(greeting)) {
        FListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(FListener, 1) != 0 ||
            getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("cannot listen");
        FPort = ntohs(address.sin_port);
        FThread = std::thread([this] { Serve(); });
    }
    ~TelnetPeer() {
        FStop = true;
        shutdown(FListener, SHUT_RDWR);
        FThread.join();
        close(FListener);
        if (FConnection >= 0) close(FConnection);
    }

    std::string Name(const std::string& options = "") const {
        return "rfc2217://127.0.0.1:" + std::to_string(FPort) + options;
    }
    void Send(const std::string& bytes) {
        WaitFor([this] { return FConnection >= 0; });
        [[maybe_unused]] ssize_t n = send(FConnection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // What the client has sent, once it holds at least `size` bytes (or after 10 s).
    std::string Received(size_t size) {
        WaitFor([&] { return FReceived.size() >= size; });
        std::lock_guard lock(FMutex);
        return FReceived;
    }

private:
    template <typename Done> void WaitFor(Done done) {
        std::unique_lock lock(FMutex);
        FChanged.wait_for(lock, std::chrono::seconds(10), done);
    }

    void Serve() {
        const int connection = accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) return;
        [[maybe_unused]] ssize_t n =
            send(connection, FGreeting.data(), FGreeting.size(), MSG_NOSIGNAL);
        {
            std::lock_guard lock(FMutex);
            FConnection = connection;
        }
        FChanged.notify_all();
        char buffer[4096];
        while (!FStop) {
            pollfd fd{connection, POLLIN, 0};
            if (poll(&fd, 1, 50) <= 0) continue;
            const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            std::lock_guard lock(FMutex);
            FReceived.append(buffer, size_t(got));
            FChanged.notify_all();
        }
    }

    std::string FGreeting;
    int FListener = -1;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::mutex FMutex;
    std::condition_variable FChanged;
    int FConnection = -1;
    std::string FReceived;
    std::thread FThread;
};

std::string ReadAvailable(TComm& comm, size_t size) {
    std::string got;
    PumpUntil([&] {
        char buffer[512];
        const int32_t n = comm.Read(buffer, sizeof buffer);
        if (n > 0) got.append(buffer, size_t(n));
        return got.size() >= size;
    });
    return got;
}

// The peer offers options the client must refuse before it takes up the COM-PORT-OPTION. The
// client answers each once, then sends the line settings; 0xFF is doubled on the wire both ways,
// and no command reaches the data.
TEST(TelnetPeerTest, OptionsAreRefusedSettingsSentAndDataKeptApart) {
    const std::string greeting =
        S({IAC, WILL, Echo,   IAC, WILL, Linemode, IAC, DO,  Ttype, IAC, DO,   Naws,
           IAC, WILL, Status, IAC, SB,   Ttype,    1,   IAC, SE,    IAC, WILL, Binary,
           IAC, DO,   Binary, IAC, WILL, Sga,      IAC, DO,  Sga,   IAC, DO,   ComPort});
    TelnetPeer peer(greeting);
    TComm comm;
    comm.SetDeviceName(peer.Name());
    comm.SetBaudRate(cbr19200);
    comm.SetDatabits(da7);
    comm.SetParity(paEven);
    comm.SetStopbits(sb20);
    comm.SetFlowControl(fcCTS);
    comm.Open();
    const auto sub = [](std::initializer_list<int> body) {
        return S({IAC, SB, ComPort}) + S(body) + S({IAC, SE});
    };
    const std::string expected =
        S({IAC, WILL, Binary, IAC, WILL, Sga, IAC, WILL, ComPort, IAC, DO, Binary, IAC, DO, Sga}) +
        S({IAC, DONT, Echo, IAC, DONT, Linemode, IAC, WONT, Ttype, IAC, WONT, Naws, IAC, DONT,
           Status}) +
        sub({1, 0, 0, 0x4B, 0}) + sub({2, 7}) + sub({3, 3}) + sub({4, 2}) + sub({5, 3}) +
        sub({5, 8});
    EXPECT_EQ(peer.Received(expected.size()), expected);

    const std::string written = S({'A', 255, 'B'});
    ASSERT_EQ(comm.Write(written.data(), 3), 3);
    EXPECT_EQ(peer.Received(expected.size() + 4).substr(expected.size()), S({'A', 255, 255, 'B'}));

    peer.Send(S({'x', IAC, IAC, 'y', IAC, 241, IAC, WILL, Echo, 'z'}));
    EXPECT_EQ(ReadAvailable(comm, 4), S({'x', 255, 'y', 'z'}));
    comm.Close();
}

TEST(TelnetPeerTest, ChangedSettingsAreSentAgain) {
    TelnetPeer peer(S({IAC, DO, ComPort}));
    TComm comm;
    comm.SetDeviceName(peer.Name());
    comm.Open();
    const size_t atOpen = peer.Received(15 + 4 * 7).size();
    comm.SetBaudRate(cbr38400);
    const std::string baud = S({IAC, SB, ComPort, 1, 0, 0, 0x96, 0, IAC, SE});
    EXPECT_EQ(peer.Received(atOpen + 10 + 3 * 7).substr(atOpen, 10), baud);
}

// --- Failures

struct FailureCase {
    const char* what;
    std::string name;
    int32_t code;
    std::string reason;
};

void ExpectOpenFails(const FailureCase& c) {
    TComm comm;
    comm.SetDeviceName(c.name);
    const uint32_t start = platform::TickCount();
    try {
        comm.Open();
        ADD_FAILURE() << c.what << ": opened";
    } catch (const ECommError& error) {
        EXPECT_EQ(error.ErrorCode, c.code) << c.what;
        EXPECT_EQ(std::string(error.what()),
                  "Error accessing specified device (Error: " + std::to_string(c.code) + ") " +
                      c.name + ": " + c.reason)
            << c.what;
    }
    EXPECT_LT(platform::TicksSince(start), 5000u) << c.what;
    EXPECT_FALSE(comm.Enabled()) << c.what;
    EXPECT_EQ(comm.InQueCount(), -1) << c.what;
}

TEST(NetworkFailures, AreOpenFailuresThatNameTheDeviceAndTheReason) {
    const int closed = FreePort();
    const std::string refusedTcp = "tcp://127.0.0.1:" + std::to_string(closed);
    const std::string refused2217 = "rfc2217://localhost:" + std::to_string(closed);
    UnansweringPort unanswering;
    TelnetPeer refusing(S({IAC, DONT, ComPort}));
    TelnetPeer silent("");
    const FailureCase cases[] = {
        {"nothing listens", refusedTcp, ECONNREFUSED, "Connection refused"},
        {"nothing listens, by name", refused2217, ECONNREFUSED, "Connection refused"},
        {"no answer", "tcp://127.0.0.1:" + std::to_string(unanswering.Port()) + "?timeout=0.3",
         ETIMEDOUT, "no answer within 0.3 s"},
        {"no RFC 2217", refusing.Name(), EPROTONOSUPPORT,
         "the server refused the COM-PORT-OPTION (RFC 2217); is the port set up for it?"},
        {"no word on RFC 2217", silent.Name("?timeout=0.3"), ETIMEDOUT,
         "no answer within 0.3 s to the COM-PORT-OPTION"},
        {"no port", "tcp://127.0.0.1", EINVAL,
         "expected tcp://HOST:PORT with a port from 1 to 65535"},
    };
    for (const FailureCase& c : cases)
        ExpectOpenFails(c);
}

// A Stop (which closes the port) or Ctrl-C while the connection is being made ends it at once.
TEST(NetworkFailures, StopOrInterruptEndsConnectingAtOnce) {
    TelnetPeer silent("");
    for (const bool interrupt : {false, true}) {
        TComm comm;
        comm.SetDeviceName(silent.Name("?timeout=60"));
        const platform::HandOverTarget owner = platform::ThisThreadsQueue();
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (interrupt)
                platform::RequestInterrupt();
            else
                platform::Synchronize(owner, [&] { comm.Close(); });
        });
        const uint32_t start = platform::TickCount();
        try {
            comm.Open();
            ADD_FAILURE() << "opened";
        } catch (const ECommError& error) {
            EXPECT_EQ(error.ErrorCode, ECANCELED);
        }
        stopper.join();
        platform::ClearInterrupt();
        EXPECT_LT(platform::TicksSince(start), 10000u);
        EXPECT_FALSE(comm.Enabled());
        // The component is as good as new.
        TelnetPeer peer(S({IAC, DO, ComPort}));
        comm.SetDeviceName(peer.Name());
        comm.Open();
        EXPECT_TRUE(comm.Enabled());
    }
}

// --- ser2net

// A pseudo-terminal keeps the speed, the stop bits and odd parity it is given, but always reads
// 8 data bits and no parity: Linux forces CS8 and clears PARENB there. ser2net's answers to the
// data size and parity are checked below instead.
bool SettingsReach(int line, speed_t baud, tcflag_t odd, tcflag_t stop) {
    const uint32_t start = platform::TickCount();
    while (platform::TicksSince(start) < 10000) {
        termios2 t{};
        if (ioctl(line, TCGETS2, &t) == 0 && t.c_ospeed == baud && (t.c_cflag & PARODD) == odd &&
            (t.c_cflag & CSTOPB) == stop)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class Ser2netPort : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!Ser2net::Installed()) GTEST_SKIP() << Ser2net::NotInstalled;
        server = std::make_unique<Ser2net>(device.Path(), GetParam());
        comm.SetDeviceName(server->DeviceName());
    }

    PseudoTerminal device;
    std::unique_ptr<Ser2net> server;
    TComm comm;
};

TEST_P(Ser2netPort, CarriesEveryByteValueBothWays) {
    comm.Open();
    const Bytes all = AllByteValues();
    ASSERT_EQ(comm.Write(all.data(), int32_t(all.size())), 256);
    EXPECT_EQ(device.Receive(256), all);
    device.Send(all);
    const std::string got = ReadAvailable(comm, 256);
    EXPECT_EQ(Bytes(got.begin(), got.end()), all);
}

// rfc2217:// sets ser2net's side of the line, at open and when a setting changes; tcp:// leaves
// it as ser2net keeps it.
TEST_P(Ser2netPort, LineSettingsReachTheFarSideOnlyThroughRfc2217) {
    comm.SetBaudRate(cbr115200);
    comm.SetDatabits(da7);
    comm.SetParity(paOdd);
    comm.SetStopbits(sb20);
    comm.Open();
    // ser2net opens the device once a client has connected; a byte through it shows that.
    ASSERT_EQ(comm.Write("x", 1), 1);
    device.Receive(1);
    if (GetParam()) {
        EXPECT_TRUE(SettingsReach(device.Line(), 115200, PARODD, CSTOPB));
        comm.SetBaudRate(cbr19200);
        comm.SetParity(paEven);
        comm.SetStopbits(sb10);
        EXPECT_TRUE(SettingsReach(device.Line(), 19200, 0, 0));
    } else {
        EXPECT_TRUE(SettingsReach(device.Line(), 9600, 0, 0));
    }
}

// ser2net takes every setting as the client encodes it: it answers each with the value it set.
TEST(Ser2netSettings, AreAnsweredWithTheValuesSent) {
    if (!Ser2net::Installed()) GTEST_SKIP() << Ser2net::NotInstalled;
    PseudoTerminal device;
    Ser2net server(device.Path(), true);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(server.Port()));
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    detail::TTelnetClient client;
    DCB dcb;
    dcb.BaudRate = 57600;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.Flags = fOutX | fInX;
    const std::string request = client.Greeting() + detail::TTelnetClient::PortSettings(dcb, true);
    ASSERT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    const auto answer = [](std::initializer_list<int> body) {
        return S({IAC, SB, ComPort}) + S(body) + S({IAC, SE});
    };
    const std::string expected[] = {answer({101, 0, 0, 0xE1, 0}), answer({102, 7}),
                                    answer({103, 3}), answer({104, 2}), answer({105, 2})};
    std::string received;
    const uint32_t start = platform::TickCount();
    auto all = [&] {
        for (const std::string& e : expected)
            if (received.find(e) == std::string::npos) return false;
        return true;
    };
    while (!all() && platform::TicksSince(start) < 10000) {
        pollfd ready{fd, POLLIN, 0};
        char buffer[1024];
        if (poll(&ready, 1, 100) == 1) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            received.append(buffer, size_t(n));
        }
    }
    close(fd);
    for (const std::string& e : expected)
        EXPECT_NE(received.find(e), std::string::npos) << int(uint8_t(e[3]));
}

// The far end going away is an unplugged device.
TEST_P(Ser2netPort, Ser2netEndingIsADeviceLoss) {
    comm.Open();
    ASSERT_EQ(comm.Write("x", 1), 1);
    device.Receive(1);
    server->Stop();
    ASSERT_TRUE(PumpUntil([&] { return comm.DeviceLost(); }));
    EXPECT_EQ(comm.DeviceLostError(), EIO);
    EXPECT_EQ(comm.InQueCount(), -1);
    comm.Close();
}

INSTANTIATE_TEST_SUITE_P(Network, Ser2netPort, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Rfc2217" : "Tcp";
                         });

} // namespace
