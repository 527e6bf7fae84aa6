// Macros against devices on the network: Debian's ser2net serving a pseudo-terminal that the test
// plays, through tcp:// and rfc2217://. Everything above the port behaves as with a local device.
#include "PseudoTerminal.h"
#include "Ser2net.h"
#include "TextLines.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "portwell/MacroHost.h"

#include <gtest/gtest.h>
#include <thread>

using namespace portwell;
using namespace testsupport;
using namespace std::chrono_literals;

namespace {

class HostOnSer2net : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!Ser2net::Installed()) GTEST_SKIP() << Ser2net::NotInstalled;
        server = std::make_unique<Ser2net>(device.Path(), GetParam());
        settings.DeviceName = server->DeviceName();
        host.Log.OnLine = [this](const std::string& line) { log.push_back(line); };
    }
    void TearDown() override {
        if (player.joinable()) player.join();
    }

    // Runs the macro; returns the error that ended it, or "".
    std::string Run(const std::string& text) {
        const ksl::TStrings macro = SplitLines(text);
        try {
            host.Run(settings, &macro);
            return {};
        } catch (const std::exception& e) {
            return e.what();
        }
    }

    PseudoTerminal device;
    std::unique_ptr<Ser2net> server;
    TMacroHost host;
    TPortSettings settings;
    std::vector<std::string> log;
    std::thread player;
};

TEST_P(HostOnSer2net, RequestAndReply) {
    player = std::thread([this] {
        if (device.Receive(4) == B("REQ\r")) device.Send(B("noise ACK\r"));
    });
    EXPECT_EQ(Run("ComWrite('REQ'#13); Print(IntToStr(ComWait('ACK'#13, 10000)))"), "");
    EXPECT_EQ(log, (std::vector<std::string>{"Com_SD:52 45 51 0D", "Com_RD:41 43 4B 0D", "-1"}));
}

// ser2net going away is an unplugged device: the same message, and the wait ends.
TEST_P(HostOnSer2net, Ser2netStoppingEndsAWaitLikeAnUnpluggedDevice) {
    player = std::thread([this] {
        device.Receive(2);
        server->Stop();
    });
    const uint32_t start = platform::TickCount();
    const std::string error = Run("ComWrite('go'); ComWait('never', 0)");
    EXPECT_EQ(error, "Device disconnected: " + settings.DeviceName + " (Error: 5)");
    EXPECT_LT(platform::TicksSince(start), 10000u);
    EXPECT_FALSE(host.COMPort.Enabled());
}

TEST_P(HostOnSer2net, Recording) {
    player = std::thread([this] {
        std::this_thread::sleep_for(300ms);
        device.Send(Bytes{0x06});
        std::this_thread::sleep_for(150ms);
        device.Send(B("AB\r"));
        std::this_thread::sleep_for(300ms);
        platform::Synchronize([this] { host.Stop(); });
    });
    ksl::TStrings recorded;
    EXPECT_EQ(host.Record(settings, recorded), TActivityEnd::Finished);
    ASSERT_EQ(recorded.size(), 3u);
    EXPECT_EQ(recorded[0], "ComWriteHex('06');");
    EXPECT_TRUE(recorded[1].starts_with("Sleep(")) << recorded[1];
    EXPECT_EQ(recorded[2], "ComWriteHex('41 42 0D');");
}

INSTANTIATE_TEST_SUITE_P(Network, HostOnSer2net, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Rfc2217" : "Tcp";
                         });

// A Stop while the connection is still being made ends the run at once, without an error.
TEST(HostOnTheNetwork, StopWhileConnectingEndsTheRunQuietly) {
    UnansweringPort unanswering;
    TMacroHost host;
    TPortSettings settings;
    settings.DeviceName = "tcp://127.0.0.1:" + std::to_string(unanswering.Port()) + "?timeout=60";
    std::thread stopper([&] {
        std::this_thread::sleep_for(200ms);
        platform::Synchronize([&] { host.Stop(); });
    });
    const ksl::TStrings macro{"Print('not run')"};
    const uint32_t start = platform::TickCount();
    EXPECT_EQ(host.Run(settings, &macro), TActivityEnd::Finished);
    stopper.join();
    EXPECT_LT(platform::TicksSince(start), 10000u);
    EXPECT_TRUE(host.Log.Lines().empty());
    EXPECT_FALSE(host.COMPort.Enabled());
    EXPECT_FALSE(host.Busy());
}

} // namespace
