#include "portwell/MacroHost.h"

#include "PseudoTerminal.h"
#include "TextLines.h"
#include "platform/Clock.h"
#include "platform/Messages.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <list>
#include <thread>

using namespace portwell;
using testsupport::B;
using testsupport::Bytes;
using testsupport::PseudoTerminal;
using namespace std::chrono_literals;

namespace {

// A macro host on a pseudo-terminal whose other side the test plays from a thread of its own.
class HostOnPty : public testing::Test {
protected:
    HostOnPty() {
        settings.DeviceName = device.Path();
        host.Log.OnLine = [this](const std::string& line) { log.push_back(line); };
    }
    ~HostOnPty() override {
        if (player.joinable()) player.join();
    }

    // Runs the macro; returns the error that ended it, or "".
    std::string Run(const std::string& macro) {
        try {
            host.Run(settings, &lines.emplace_back(testsupport::SplitLines(macro)));
            return {};
        } catch (const std::exception& e) {
            return e.what();
        }
    }
    // Asks for Stop from another thread, the way a Stop button's click arrives.
    void StopFromOutside() {
        platform::Synchronize([this] { host.Stop(); });
    }
    // Waits, on the device side, until the host has opened the port and written `bytes`.
    void Expect(const std::string& bytes) { EXPECT_EQ(device.Receive(bytes.size()), B(bytes)); }

    PseudoTerminal device;
    TMacroHost host;
    TPortSettings settings;
    std::vector<std::string> log;
    std::list<ksl::TStrings> lines;
    std::thread player;
};

TEST_F(HostOnPty, RequestAndReplyArrivingAfterNoise) {
    player = std::thread([this] {
        Expect("REQ\r");
        std::this_thread::sleep_for(50ms);
        device.Send(B("xx"));
        std::this_thread::sleep_for(20ms);
        device.Send(B("noiseOK\r"));
    });
    EXPECT_EQ(Run("var r: integer; begin ComWrite('REQ'#13); r := ComWait('OK'#13, 5000);"
                  " Print(IntToStr(r)); Print('[' + ComRead + ']') end."),
              "");
    EXPECT_EQ(log, (std::vector<std::string>{"Com_SD:52 45 51 0D", "Com_RD:4F 4B 0D", "-1", "[]"}));
    EXPECT_FALSE(host.COMPort.Enabled());
}

// Fail is a verdict, not an error of the script: it ends the loop as well, with its reason and the
// line that called it.
TEST_F(HostOnPty, FailEndsTheRunAndTheLoopWithItsReason) {
    host.LoopChecked = [] { return true; };
    host.IntervalMs = [] { return 0; };
    try {
        host.Run(settings, &lines.emplace_back(testsupport::SplitLines(
                               "ComWrite('A');\nif ComRead <> 'B' then Fail('wrong answer');\n"
                               "Print('after')")));
        ADD_FAILURE() << "the run went on";
    } catch (const EMacroFailed& failed) {
        EXPECT_EQ(failed.Reason(), "wrong answer");
        EXPECT_STREQ(failed.what(), "Fail:wrong answer");
    }
    EXPECT_EQ(log, (std::vector<std::string>{"Com_SD:41", "Fail:wrong answer"}));
    EXPECT_EQ(host.Kestrel1.ErrorLine(), 2);
    EXPECT_FALSE(host.COMPort.Enabled());
    host.LoopChecked = nullptr;
    EXPECT_EQ(Run("Print(IntToStr(Length('a')))"), "") << "the next run knows nothing of it";
}

TEST_F(HostOnPty, AMacroThatNamedAVariableFailKeepsWorking) {
    EXPECT_EQ(Run("var Fail: Integer;\nbegin\n  Fail := 2;\n  Print(IntToStr(Fail))\nend."), "");
    EXPECT_EQ(log, std::vector<std::string>{"2"});
}

TEST_F(HostOnPty, TimeOutAndTheEmptySequence) {
    EXPECT_EQ(Run("Print(IntToStr(ComWaitHex('0d 0a', 100)));"
                  "Print(IntToStr(ComWait('', 50)))"),
              "");
    EXPECT_EQ(log, (std::vector<std::string>{"Timeout:0D 0A", "0", "Timeout:", "0"}));

    log.clear();
    device.Send(B("Q"));
    // An empty sequence returns at once when a byte waits, and leaves it unread.
    EXPECT_EQ(Run("Print(IntToStr(ComWait('', 2000))); Print(ComRead)"), "");
    EXPECT_EQ(log, (std::vector<std::string>{"-1", "Com_RD:51", "Q"}));
}

TEST_F(HostOnPty, ReadingWithNothingWaitingLogsNothing) {
    EXPECT_EQ(Run("Print('[' + ComRead + ']'); Print('[' + ComReadHex + ']')"), "");
    EXPECT_EQ(log, (std::vector<std::string>{"[]", "[]"}));
}

TEST_F(HostOnPty, ComReadHexReturnsWhatItsLogLineShows) {
    player = std::thread([this] { device.Send(B(std::string("\x00\xFF\x41", 3))); });
    player.join();
    EXPECT_EQ(Run("var s: string; begin while Length(s) = 0 do s := ComReadHex; Print(s) end."),
              "");
    EXPECT_EQ(log, (std::vector<std::string>{"Com_RD:00 FF 41", "00 FF 41"}));
}

TEST_F(HostOnPty, WritingNothingSendsNothing) {
    EXPECT_EQ(Run("ComWrite(''); ComWriteHex('zz'); ComWriteHex('01 02')"), "");
    EXPECT_EQ(log, (std::vector<std::string>{"Com_SD:", "Com_SD:", "Com_SD:01 02"}));
    EXPECT_EQ(device.Receive(2), (Bytes{1, 2}));
}

TEST_F(HostOnPty, TimeOutOutsideThe32BitRangeFailsTheRun) {
    const std::string error = Run("ComWait('a', 2147483648)");
    EXPECT_NE(error.find("Range check error"), std::string::npos) << error;
    EXPECT_FALSE(host.COMPort.Enabled());
}

TEST_F(HostOnPty, AScriptErrorMidRunEndsTheRunAndClosesThePort) {
    EXPECT_EQ(Run("ComWrite('a'); x := 1; ComWrite('b')"), "文法エラーです[x]");
    EXPECT_EQ(log, (std::vector<std::string>{"Com_SD:61"}));
    EXPECT_FALSE(host.COMPort.Enabled());
    EXPECT_TRUE(host.StopPressed());
}

TEST_F(HostOnPty, StopEndsAWaitWithoutLimit) {
    player = std::thread([this] {
        Expect("go");
        StopFromOutside();
    });
    EXPECT_EQ(Run("ComWrite('go'); ComWait('never', 0); Print('not reached')"), "");
    EXPECT_EQ(log, (std::vector<std::string>{"Com_SD:67 6F"}));
}

// A Stop during any wait ends the run before the next statement: nothing more reaches the device.
TEST_F(HostOnPty, StopDuringAnyWaitSendsNothingMore) {
    struct Case {
        std::string wait;
        bool loop;
    } cases[] = {
        {"Sleep(100000)", false},       {"Pause", false},     {"ComWait('never', 100000)", false},
        {"ComWait('never', 0)", false}, {"Sleep(-1)", false}, {"", true},
    };
    for (const Case& c : cases) {
        log.clear();
        host.LoopChecked = [&c] { return c.loop; };
        host.IntervalMs = [] { return int64_t(100000); };
        player = std::thread([this] {
            Expect("go");
            std::this_thread::sleep_for(50ms);
            StopFromOutside();
        });
        const auto start = std::chrono::steady_clock::now();
        // Looping, the next pass would send "go" again.
        const std::string macro =
            c.loop ? "ComWrite('go')" : "ComWrite('go'); " + c.wait + "; ComWrite('FIRE')";
        EXPECT_EQ(Run(macro), "") << c.wait;
        player.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 20s) << c.wait;
        EXPECT_EQ(log, (std::vector<std::string>{"Com_SD:67 6F"})) << c.wait;
        EXPECT_TRUE(device.Drain().empty()) << c.wait;
    }
}

TEST_F(HostOnPty, ADeviceThatVanishesEndsAWaitWithoutLimitWithAnError) {
    player = std::thread([this] {
        Expect("go");
        device.HangUp();
    });
    const std::string error = Run("ComWrite('go'); ComWait('never', 0)");
    EXPECT_NE(error.find("Device disconnected"), std::string::npos) << error;
    EXPECT_FALSE(host.COMPort.Enabled());
}

struct UnplugCase {
    const char* what;
    std::string macro;
    int intervalMs;
    int requestsBeforeHangUp; // 0: hang up after a while instead
};

// Unplugging the device in the middle of a loop ends the run with the device-lost error soon,
// wherever the loop is: waiting for a reply, pausing between passes, or busy without the port.
// Nothing is sent (nor logged as sent) afterwards.
TEST(DeviceUnplugged, DuringALoopEndsTheRunAtOnce) {
    const UnplugCase cases[] = {
        {"waiting for a reply",
         "ComWrite('ping'#13); if ComWait('pong'#13, 20000) then Print('pass')", 0, 4},
        {"pausing", "ComWrite('ping'#13)", 60000, 1},
        {"busy without the port", "Print('pass'); Sleep(10)", 0, 0},
    };
    for (const UnplugCase& c : cases) {
        PseudoTerminal device;
        TMacroHost host;
        std::vector<std::string> log;
        host.Log.OnLine = [&log](const std::string& line) { log.push_back(line); };
        host.LoopChecked = [] { return true; };
        host.IntervalMs = [&c] { return c.intervalMs; };
        TPortSettings settings;
        settings.DeviceName = device.Path();
        const ksl::TStrings macro = testsupport::SplitLines(c.macro);

        std::atomic<uint32_t> hungUpAt{0};
        std::thread unplug([&] {
            for (int i = 1; i <= c.requestsBeforeHangUp; ++i) {
                EXPECT_EQ(device.Receive(5), B("ping\r"));
                if (i < c.requestsBeforeHangUp) device.Send(B("pong\r"));
            }
            std::this_thread::sleep_for(c.requestsBeforeHangUp ? 50ms : 300ms);
            hungUpAt = platform::TickCount();
            device.HangUp();
        });
        std::string error;
        try {
            host.Run(settings, &macro);
        } catch (const std::exception& e) {
            error = e.what();
        }
        const uint32_t endedAt = platform::TickCount();
        unplug.join();

        EXPECT_TRUE(error.starts_with("Device disconnected: " + device.Path())) << c.what << error;
        // Generous for a loaded machine; the run ends well within a second when it is idle.
        EXPECT_LT(endedAt - hungUpAt, 3000u) << c.what;
        EXPECT_EQ(std::count(log.begin(), log.end(), "Com_SD:70 69 6E 67 0D"),
                  c.requestsBeforeHangUp)
            << c.what;
        EXPECT_FALSE(host.COMPort.Enabled()) << c.what;
    }
}

TEST_F(HostOnPty, ASecondActivityIsRefusedWhileOneIsInProgress) {
    TActivityEnd nested = TActivityEnd::Finished;
    host.Kestrel1.ProcParam = [&](const std::string&, int32_t, ksl::TArgumentList&, int32_t&) {
        ksl::TStrings inner{"Print('inner')"};
        nested = host.Run(settings, &inner);
    };
    EXPECT_EQ(Run("Print('outer')"), "");
    EXPECT_EQ(nested, TActivityEnd::Refused);
}

TEST_F(HostOnPty, LoopRepeatsWithTheIntervalReadAnewAndStopEndsThePause) {
    int passes = 0;
    host.LoopChecked = [] { return true; };
    host.IntervalMs = [&] { return passes < 3 ? 0 : 60000; };
    host.Log.OnLine = [&](const std::string&) {
        if (++passes == 3)
            player = std::thread([this] {
                std::this_thread::sleep_for(100ms);
                StopFromOutside();
            });
    };
    const uint32_t start = platform::TickCount();
    EXPECT_EQ(Run("Print('pass')"), "");
    EXPECT_EQ(passes, 3);
    EXPECT_LT(platform::TicksSince(start), 30000u);
}

TEST_F(HostOnPty, RecordingTurnsTrafficIntoAMacroThatReplaysIt) {
    // The recorder must measure the gap between the two sends within 3 ms. The gap is taken as the
    // player made it, since a loaded machine stretches its sleep; scheduling noise can still
    // stretch one attempt, so one of a few must hit.
    std::string misses;
    for (int attempt = 0; attempt < 3; ++attempt) {
        ksl::TStrings recorded;
        std::chrono::steady_clock::duration sent{};
        player = std::thread([this, &sent] {
            std::this_thread::sleep_for(100ms);
            device.Send(Bytes{0x06});
            const auto first = std::chrono::steady_clock::now();
            std::this_thread::sleep_for(153ms);
            device.Send(B("AB\r"));
            sent = std::chrono::steady_clock::now() - first;
            std::this_thread::sleep_for(100ms);
            StopFromOutside();
        });
        EXPECT_EQ(host.Record(settings, recorded), TActivityEnd::Finished);
        player.join();
        ASSERT_EQ(recorded.size(), 3u);
        EXPECT_EQ(recorded[0], "ComWriteHex('06');");
        EXPECT_EQ(recorded[2], "ComWriteHex('41 42 0D');");
        const int gap = std::stoi(recorded[1].substr(6));
        const auto planned =
            int(std::chrono::duration_cast<std::chrono::milliseconds>(sent).count());
        if (std::abs(gap - planned) <= 3) return;
        misses += " " + recorded[1] + " for " + std::to_string(planned) + " ms";
    }
    ADD_FAILURE() << "every attempt missed:" << misses;
}

TEST_F(HostOnPty, StopBeforeAnyByteRecordsNothing) {
    ksl::TStrings recorded{"Print('kept');"};
    player = std::thread([this] {
        std::this_thread::sleep_for(50ms);
        StopFromOutside();
    });
    EXPECT_EQ(host.Record(settings, recorded), TActivityEnd::Finished);
    EXPECT_EQ(recorded, (ksl::TStrings{"Print('kept');"}));
}

TEST(MacroHost, APortThatCannotOpenFailsBeforeAnythingRuns) {
    TMacroHost host;
    TPortSettings settings;
    settings.DeviceName = "/dev/does-not-exist";
    ksl::TStrings macro{"Print('x')"};
    try {
        host.Run(settings, &macro);
        FAIL();
    } catch (const serial::ECommError& e) {
        EXPECT_STREQ(e.what(), "Error accessing specified device (Error: 2) ");
    }
    EXPECT_FALSE(host.Busy());
    EXPECT_TRUE(host.Log.Lines().empty());
}

// What a failed open leaves behind: the settings locked and the new line settings on the closed
// port, until Stop; Run and Record alike.
TEST(MacroHost, APortThatCannotOpenLeavesTheSettingsLockedUntilStop) {
    const std::function<void(TMacroHost&, const TPortSettings&)> activities[] = {
        [](TMacroHost& host, const TPortSettings& settings) { host.Run(settings, nullptr); },
        [](TMacroHost& host, const TPortSettings& settings) {
            ksl::TStrings recorded;
            host.Record(settings, recorded);
        },
    };
    for (const auto& activity : activities) {
        TMacroHost host;
        std::vector<bool> locks;
        host.OnSettingsLocked = [&locks](bool locked) { locks.push_back(locked); };
        TPortSettings settings;
        settings.DeviceName = "/dev/does-not-exist";
        settings.BaudRate = serial::cbr115200;
        EXPECT_THROW(activity(host, settings), serial::ECommError);
        EXPECT_EQ(locks, std::vector<bool>{true});
        EXPECT_FALSE(host.COMPort.Enabled());
        EXPECT_EQ(host.COMPort.DeviceName(), settings.DeviceName);
        EXPECT_EQ(host.COMPort.BaudRate(), serial::cbr115200);
        host.Stop();
        EXPECT_EQ(locks, (std::vector<bool>{true, false}));
    }
}

TEST(MacroHost, DeclaresItsRoutinesInIndexOrder) {
    EXPECT_EQ(TMacroHost::Prototypes,
              (ksl::TStrings{
                  "procedure Print(S:String); index 1;",
                  "procedure ComWrite(S:String); index 2;",
                  "function ComRead: String; index 3;",
                  "function ComWait(S:String; TimeOut: Integer): Integer; index 4;",
                  "procedure ComWriteHex(S:String); index 5;",
                  "function ComReadHex: String; index 6;",
                  "function ComWaitHex(S:String; TimeOut: Integer): Integer; index 7;",
                  "procedure Fail(Reason:String); index 8;",
              }));
}

// An index of a routine of another kind is as unknown to a callback as one of no routine at all.
// With the port closed, every routine returns at once; only the procedures log.
TEST(MacroHost, EachCallbackRunsOnlyTheRoutinesOfItsKind) {
    TMacroHost host;
    ksl::TArgumentList arguments{{"S", {ksl::atString, 0, 0.0, "41"}},
                                 {"TimeOut", {ksl::atInteger, 1, 0.0, ""}}};
    for (int32_t index = -1; index <= 9; ++index) {
        int32_t procedure = 99, intFunction = 99, strFunction = 99;
        int64_t intResult = 5;
        std::string strResult = "x";
        if (index == 8)
            EXPECT_THROW(host.Kestrel1ProcParam("", index, arguments, procedure), EMacroFailed);
        else
            host.Kestrel1ProcParam("", index, arguments, procedure);
        host.Kestrel1IntFuncParam("", index, arguments, intFunction, intResult);
        host.Kestrel1StrFuncParam("", index, arguments, strFunction, strResult);
        EXPECT_EQ(procedure, index == 1 || index == 2 || index == 5 || index == 8 ? 0 : -1)
            << index;
        EXPECT_EQ(intFunction, index == 4 || index == 7 ? 0 : -1) << index;
        EXPECT_EQ(intResult, index == 4 || index == 7 ? 0 : 5) << index;
        EXPECT_EQ(strFunction, index == 3 || index == 6 ? 0 : -1) << index;
        EXPECT_EQ(strResult, index == 3 || index == 6 ? "" : "x") << index;
    }
    EXPECT_EQ(host.Log.Lines(),
              (std::deque<std::string>{"41", "Com_SD:34 31", "Com_SD:41", "Fail:41"}));
}

} // namespace
