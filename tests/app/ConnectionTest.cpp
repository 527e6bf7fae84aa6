// The port held open by Connect: what the device sends on its own is logged a line at a time,
// runs use the open port and leave it open, and a device that goes away ends the connection.
// Also the waits under a flood, which must keep serving the user.
#include "PseudoTerminal.h"
#include "TextLines.h"
#include "platform/Clock.h"
#include "platform/Messages.h"
#include "portwell/MacroHost.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

using namespace portwell;
using testsupport::B;
using testsupport::Bytes;
using testsupport::PseudoTerminal;
using namespace std::chrono_literals;

namespace {

using Lines = std::vector<std::string>;

class Connection : public testing::Test {
protected:
    Connection() {
        settings.DeviceName = device.Path();
        host.Log.OnLine = [this](const std::string& line) { log.push_back(line); };
        host.OnSettingsLocked = [this](bool locked) { locks.push_back(locked); };
        host.OnConnectionLost = [this](const std::string& message) { lost = message; };
        // The owner's timer: ServeConnection is called once the host's delay has passed.
        host.OnServeConnectionIn = [this](int ms) { due = platform::TickCount() + uint32_t(ms); };
    }
    ~Connection() override {
        if (player.joinable()) player.join();
    }

    // Serves hand-overs and the connection's timer until `done` holds.
    bool Pump(const std::function<bool()>& done, int timeoutMs = 10000) {
        return testsupport::PumpUntil(
            [&] {
                if (due && int32_t(platform::TickCount() - *due) >= 0) {
                    due.reset();
                    host.ServeConnection();
                }
                return done();
            },
            timeoutMs);
    }
    bool Logged(const std::string& line) {
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    std::string Run(const std::string& macro) {
        const ksl::TStrings lines = testsupport::SplitLines(macro);
        try {
            host.Run(settings, &lines);
            return {};
        } catch (const std::exception& e) {
            return e.what();
        }
    }
    void StopFromOutside() {
        platform::Synchronize([this] { host.Stop(); });
    }

    PseudoTerminal device;
    TMacroHost host;
    TPortSettings settings;
    Lines log;
    std::vector<bool> locks;
    std::optional<std::string> lost;
    std::optional<uint32_t> due;
    std::thread player;
};

TEST_F(Connection, LogsWhatTheDeviceSendsALineAtATimeAndSendsWhatIsTyped) {
    host.Connect(settings);
    EXPECT_TRUE(host.Connected());
    EXPECT_EQ(locks, std::vector<bool>{true});
    host.Send("AT\r");
    EXPECT_EQ(device.Receive(3), B("AT\r"));
    device.Send(B("O"));
    std::this_thread::sleep_for(5ms);
    device.Send(B("K\r\nprompt> "));
    // The prompt has no line end: it ends with the silence after it.
    ASSERT_TRUE(Pump([&] { return log.size() == 3; })) << testing::PrintToString(log);
    EXPECT_EQ(log,
              (Lines{"Com_SD:41 54 0D", "Com_RD:4F 4B 0D 0A", "Com_RD:70 72 6F 6D 70 74 3E 20"}));
    host.Disconnect();
    EXPECT_FALSE(host.Connected());
    EXPECT_FALSE(host.COMPort.Enabled());
    EXPECT_EQ(locks.back(), false);
    EXPECT_THROW(host.Send("AT\r"), EMacroError);
}

// Bytes left in the port when the run ends reach the log: nothing was closed or purged.
TEST_F(Connection, ARunUsesTheOpenPortAndLeavesItOpen) {
    host.Connect(settings);
    player = std::thread([this] {
        EXPECT_EQ(device.Receive(4), B("REQ\r"));
        device.Send(B("OK\rleft\r\n"));
    });
    EXPECT_EQ(Run("ComWrite('REQ'#13); if ComWait('OK'#13, 5000) then Print('replied')"), "");
    player.join();
    EXPECT_TRUE(host.COMPort.Enabled());
    EXPECT_TRUE(host.Connected());
    EXPECT_TRUE(host.StopPressed());
    EXPECT_EQ(std::count(locks.begin(), locks.end(), false), 0) << "the lists were unlocked";
    ASSERT_TRUE(Pump([&] { return Logged("Com_RD:6C 65 66 74 0D 0A"); }))
        << testing::PrintToString(log);
    EXPECT_EQ(log, (Lines{"Com_SD:52 45 51 0D", "Com_RD:4F 4B 0D", "replied",
                          "Com_RD:6C 65 66 74 0D 0A"}));

    // Stop ends a second run and still leaves the port open.
    player = std::thread([this] {
        EXPECT_EQ(device.Receive(2), B("go"));
        StopFromOutside();
    });
    EXPECT_EQ(Run("ComWrite('go'); ComWait('never', 0); Print('not reached')"), "");
    EXPECT_TRUE(host.COMPort.Enabled());
    host.Send("x");
    EXPECT_EQ(device.Receive(1), B("x"));
}

TEST_F(Connection, DisconnectDuringARunEndsItAndClosesThePort) {
    host.Connect(settings);
    player = std::thread([this] {
        EXPECT_EQ(device.Receive(2), B("go"));
        platform::Synchronize([this] { host.Disconnect(); });
    });
    EXPECT_EQ(Run("ComWrite('go'); ComWait('never', 0); Print('not reached')"), "");
    EXPECT_FALSE(host.Connected());
    EXPECT_FALSE(host.COMPort.Enabled());
    EXPECT_EQ(locks.back(), false);
}

TEST_F(Connection, ADeviceThatVanishesIsReportedAndDisconnects) {
    host.Connect(settings);
    device.Send(B("last words"));
    ASSERT_TRUE(Pump([&] { return !log.empty(); }));
    device.HangUp();
    ASSERT_TRUE(Pump([&] { return lost.has_value(); }));
    EXPECT_TRUE(lost->starts_with("Device disconnected: " + device.Path())) << *lost;
    EXPECT_FALSE(host.Connected());
    EXPECT_FALSE(host.COMPort.Enabled());
    EXPECT_EQ(locks.back(), false);
    EXPECT_EQ(log, (Lines{"Com_RD:6C 61 73 74 20 77 6F 72 64 73"}));
}

// The run's own failure tells of the loss; the connection ends with it, without a second report.
TEST_F(Connection, ADeviceThatVanishesDuringARunEndsBoth) {
    host.Connect(settings);
    player = std::thread([this] {
        EXPECT_EQ(device.Receive(2), B("go"));
        device.HangUp();
    });
    EXPECT_TRUE(Run("ComWrite('go'); ComWait('never', 0)").starts_with("Device disconnected"));
    EXPECT_FALSE(host.Connected());
    EXPECT_FALSE(host.COMPort.Enabled());
    EXPECT_FALSE(lost.has_value());
}

TEST_F(Connection, APortThatCannotOpenLeavesTheListsUnlocked) {
    settings.DeviceName = "/dev/does-not-exist";
    EXPECT_THROW(host.Connect(settings), serial::ECommError);
    EXPECT_FALSE(host.Connected());
    EXPECT_EQ(locks, (std::vector<bool>{true, false}));
}

// What follows the awaited sequence in the same chunk stays for the next read.
TEST_F(Connection, AWaitLeavesWhatFollowsTheSequence) {
    device.Send(B("xxOKyy"));
    EXPECT_EQ(Run("if ComWait('OK', 5000) then Print(ComRead)"), "");
    EXPECT_EQ(log, (Lines{"Com_RD:4F 4B", "Com_RD:79 79", "yy"}));
}

// A device that never stops sending must not keep a wait from serving the user: Stop is served
// within 100 ms (generous bounds under sanitizers), and the run ends.
TEST(Flood, StopIsServedPromptlyDuringAWaitAndARecording) {
    PseudoTerminal device;
    TMacroHost host;
    TPortSettings settings;
    settings.DeviceName = device.Path();
    const ksl::TStrings macro{"ComWait('never', 0); Print('not reached')"};
    const std::function<void()> activities[] = {
        [&] { host.Run(settings, &macro); },
        [&] {
            ksl::TStrings recorded;
            host.Record(settings, recorded);
        },
    };
    for (const auto& activity : activities) {
        std::atomic<bool> flooding{true};
        std::atomic<uint32_t> stopServedAfter{0};
        std::thread flood([&] {
            const Bytes chunk(4096, 'z');
            const uint32_t start = platform::TickCount();
            while (flooding && platform::TicksSince(start) < 8000) {
                device.Offer(chunk);
                std::this_thread::sleep_for(1ms);
            }
        });
        std::thread stopper([&] {
            std::this_thread::sleep_for(300ms);
            const uint32_t asked = platform::TickCount();
            platform::Synchronize([&] { host.Stop(); });
            stopServedAfter = platform::TicksSince(asked);
        });
        activity();
        flooding = false;
        stopper.join();
        flood.join();
#if defined(__SANITIZE_ADDRESS__)
        const uint32_t bound = 400;
#else
        const uint32_t bound = 100;
#endif
        EXPECT_LT(stopServedAfter.load(), bound);
        EXPECT_FALSE(host.Busy());
    }
}

} // namespace
