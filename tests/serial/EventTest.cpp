#include "PseudoTerminal.h"
#include "Stalls.h"
#include "platform/Messages.h"
#include "serial/Comm.h"

#include <atomic>
#include <cerrno>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>

using namespace serial;
using namespace testsupport;

namespace {

class EventPort : public testing::Test {
protected:
    void SetUp() override { comm->SetDeviceName(device.Path()); }

    PseudoTerminal device;
    std::unique_ptr<TComm> comm = std::make_unique<TComm>();
};

bool HandOverQueued(int timeoutMs) {
    pollfd fd{platform::HandOverDescriptor(), POLLIN, 0};
    return poll(&fd, 1, timeoutMs) == 1;
}

TEST(Events, DispatchFollowsTheTableNotTheBitOrder) {
    TComm comm;
    std::vector<std::string> calls;
    auto record = [&](const char* name) {
        return [&calls, name](TCustomComm&) { calls.push_back(name); };
    };
    comm.OnBreak = record("break");
    comm.OnCTS = record("cts");
    comm.OnDSR = record("dsr");
    comm.OnError = [&](TCustomComm&, uint32_t) { calls.push_back("error"); };
    comm.OnRing = record("ring");
    comm.OnRLSD = record("rlsd");
    comm.OnRxChar = [&](TCustomComm&, int32_t) { calls.push_back("rxchar"); };
    comm.OnRxFlag = record("rxflag");
    comm.OnTxEmpty = record("txempty");
    comm.HandleCommEvent(0x1FF);
    EXPECT_EQ(calls, (std::vector<std::string>{"break", "cts", "dsr", "error", "ring", "rlsd",
                                               "rxchar", "rxflag", "txempty"}));
    calls.clear();
    comm.HandleCommEvent(EV_RXCHAR | EV_ERR | EV_CTS);
    EXPECT_EQ(calls, (std::vector<std::string>{"cts", "error", "rxchar"}));
}

// Ports opened on different threads hand their events to their own threads, never to the
// user-interface thread: several activities may run side by side, one port each.
TEST(Events, EachPortReportsToTheThreadThatOpenedIt) {
    constexpr int ports = 3, rounds = 50;
    std::atomic<int> elsewhere{0}, finished{0};
    std::vector<std::thread> owners;
    for (int i = 0; i < ports; ++i)
        owners.emplace_back([&] {
            PseudoTerminal device;
            TComm comm;
            comm.SetDeviceName(device.Path());
            const auto owner = std::this_thread::get_id();
            int events = 0;
            comm.OnRxChar = [&](TCustomComm& port, int32_t count) {
                if (std::this_thread::get_id() != owner) ++elsewhere;
                ++events;
                Bytes bytes(static_cast<size_t>(count));
                port.Read(bytes.data(), count);
            };
            comm.Open();
            for (int round = 0; round < rounds; ++round) {
                device.Send(Bytes{uint8_t(round)});
                if (!PumpUntil([&] { return events > round; })) return;
            }
            comm.Close();
            ++finished;
        });
    for (std::thread& owner : owners)
        owner.join();
    EXPECT_EQ(finished, ports);
    EXPECT_EQ(elsewhere, 0);
    EXPECT_FALSE(platform::HandOversPending());
}

// Unread bytes are reported once, not again and again; more bytes make a new report.
TEST_F(EventPort, ReceivedBytesAreReportedOnTheOwnersThreadOnce) {
    std::vector<int32_t> counts;
    std::thread::id ranOn;
    comm->OnRxChar = [&](TCustomComm&, int32_t count) {
        counts.push_back(count);
        ranOn = std::this_thread::get_id();
    };
    comm->Open();
    device.Send(Bytes(10, 'a'));
    ASSERT_TRUE(PumpUntil([&] { return !counts.empty(); }));
    PumpFor(300);
    ASSERT_EQ(counts, std::vector<int32_t>{10});
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    device.Send(Bytes(5, 'b'));
    ASSERT_TRUE(PumpUntil([&] { return counts.size() == 2; }));
    EXPECT_EQ(counts[1], 15);
}

// Bytes that come in while earlier ones still sit unread are reported at once: the line is never
// left unwatched until some later look at it.
TEST_F(EventPort, BytesArrivingAfterUnreadOnesAreReportedAtOnce) {
    const std::string slow = CleanInOneOfThree([this] {
        WakeUpClock clock(device.Line());
        int events = 0;
        std::string late;
        comm->OnRxChar = [&](TCustomComm&, int32_t) {
            ++events;
            if (clock.AsleepSinceArrivalUs() > 5000)
                late += " #" + std::to_string(events) + ": " +
                        std::to_string(int(clock.AsleepSinceArrivalUs())) + " us";
        };
        comm->Open();
        clock.WatchThreads({});
        for (int round = 0; round < 20; ++round) {
            device.Send(Bytes{1});
            if (!PumpUntil([&] { return events == 2 * round + 1; })) return std::string("lost");
            // Busy elsewhere for a moment, as a macro may be, before it reads.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            uint8_t byte;
            comm->Read(&byte, 1);
            clock.Start();
            device.Send(Bytes{2});
            if (!PumpUntil([&] { return events == 2 * round + 2; })) return std::string("lost");
            comm->Read(&byte, 1);
        }
        comm->Close();
        return late;
    });
    EXPECT_EQ(slow, "");
}

TEST_F(EventPort, ClosingWhileAHandOverIsPendingNeitherHangsNorCallsBack) {
    int events = 0;
    comm->OnRxChar = [&](TCustomComm&, int32_t) { ++events; };
    comm->Open();
    platform::RunHandOvers();
    device.Send(Bytes{1});
    ASSERT_TRUE(HandOverQueued(10000));
    comm->Close();
    EXPECT_EQ(events, 0);
    comm->Open();
    device.Send(Bytes{2});
    EXPECT_TRUE(PumpUntil([&] { return events == 1; }));
}

TEST_F(EventPort, ACallbackMayCloseAndReopenThePort) {
    int events = 0;
    comm->OnRxChar = [&](TCustomComm& sender, int32_t) {
        ++events;
        sender.Close();
        sender.Open();
    };
    comm->Open();
    device.Send(Bytes{1});
    ASSERT_TRUE(PumpUntil([&] { return events == 1; }));
    device.Send(Bytes{2});
    ASSERT_TRUE(PumpUntil([&] { return events == 2; }));
    EXPECT_TRUE(comm->Enabled());
}

TEST_F(EventPort, ACallbackMayDestroyTheComponent) {
    bool called = false;
    comm->OnRxChar = [&](TCustomComm&, int32_t) {
        called = true;
        comm.reset();
    };
    comm->Open();
    device.Send(Bytes{1});
    ASSERT_TRUE(PumpUntil([&] { return called; }));
    EXPECT_EQ(comm, nullptr);
}

TEST_F(EventPort, ClosingDiscardsUnreadInput) {
    bool arrived = false;
    comm->OnRxChar = [&](TCustomComm&, int32_t) { arrived = true; };
    comm->Open();
    device.Send(Bytes(100, 'x'));
    ASSERT_TRUE(PumpUntil([&] { return arrived; }));
    comm->Close();
    int queued = -1;
    ASSERT_EQ(ioctl(device.Line(), TIOCINQ, &queued), 0);
    EXPECT_EQ(queued, 0);
}

TEST_F(EventPort, ClosingAndReopeningDuringTrafficIsSafe) {
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        while (!stop) {
            device.Offer(Bytes(64, 'z'));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    comm->OnRxChar = [](TCustomComm& port, int32_t count) {
        Bytes chunk(static_cast<size_t>(count));
        port.Read(chunk.data(), count);
    };
    for (int round = 0; round < 20; ++round) {
        comm->Open();
        PumpFor(10);
        comm->Close();
    }
    stop = true;
    sender.join();
    EXPECT_FALSE(comm->Enabled());
}

// The far end going away is seen without any message processing, then reported as an error.
TEST_F(EventPort, ALostDeviceIsReportedAndEndsInputAndOutput) {
    uint32_t errors = 0;
    comm->OnError = [&](TCustomComm&, uint32_t flags) { errors = flags; };
    comm->Open();
    device.HangUp();
    for (int waited = 0; !comm->DeviceLost() && waited < 10000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(comm->DeviceLost());
    EXPECT_EQ(comm->DeviceLostError(), EIO);
    EXPECT_EQ(comm->InQueCount(), -1);
    uint8_t byte = 0;
    EXPECT_EQ(comm->Read(&byte, 1), -1);
    EXPECT_EQ(comm->Write(&byte, 1), -1);
    ASSERT_TRUE(PumpUntil([&] { return errors != 0; }));
    EXPECT_EQ(errors & CE_IOE, CE_IOE);
    comm->Close();

    PseudoTerminal another;
    comm->SetDeviceName(another.Path());
    comm->Open();
    EXPECT_FALSE(comm->DeviceLost());
}

} // namespace
