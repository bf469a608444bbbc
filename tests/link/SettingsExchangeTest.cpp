// The settings exchange on the wire: the exact request bytes, the countdown's exact tick, and
// what the user sees at every end of an exchange. Then the simulated controller: each of its
// options on the tick the link shows the outcome, its handling of send frames, and removal and
// re-arrival through its device monitor. A whole Get Data / Send Data round is the drivers' (CP2110
// and serial) and the soak's, which spreads replies over ticks at random.

#include "sim/SimBridge.h"
#include "sim/SimDeviceMonitor.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace kestrun::test {
namespace {

TEST(SettingsExchangeWire, OneByteAWriteAndSendDataSendsWhatTheControlsShow) {
    Rig<> rig;
    rig.exchange.GetData();
    EXPECT_EQ(rig.wire(), "3B 47");
    EXPECT_EQ(rig.bridge.writes.size(), 2u);
    EXPECT_EQ(rig.state(), 1);
    rig.tick(getReply(OtherRecord));
    ASSERT_EQ(rig.host.statusText, "Data Received");
    rig.bridge.takeWrites();

    // The frame carries the controls (start values, edited), not the record last received.
    rig.host.controls = startSettings();
    rig.host.controls.values[0] = 42;
    rig.host.controls.digitalConnection = 2;
    rig.host.controls.pressureJoystick = true;
    rig.exchange.SendData();
    EXPECT_EQ(rig.wire(), "A5 5A 2A 14 05 05 02 00 01 01 04 00 0C 00 04 00 08 00 0C 00 74");
    EXPECT_EQ(rig.bridge.writes.size(), 21u);
    EXPECT_EQ(rig.state(), 5);
}

// Each state's reaction to each kind of byte, the check byte (a header byte taken as record data,
// A5 00 5A, a sum that wraps, the header left out of the sum), bytes after the end of an
// exchange, and a reply in pieces are the link fuzz target's: its seeds play each of them and
// its model of the exchange, written apart from the link, says tick by tick what must follow.
// Here: an error leaves the controls (and any edit not yet committed) alone.
TEST(SettingsExchangeReply, AWrongCheckByteLeavesRecordAndControls) {
    Rig<> rig;
    rig.exchange.GetData();
    rig.tick("A5 5A " + hexText(OtherRecord) + " EF");
    EXPECT_EQ(rig.host.statusText, "Data Receive Error!");
    EXPECT_EQ(rig.host.record, StartRecord);
    EXPECT_EQ(rig.host.recordToControlsCalls, 0);
    EXPECT_EQ(rig.state(), 0);
}

// The window ticks the link only while an exchange is pending. Whatever the controller sent
// while idle (here a whole get reply for another record, and a stray acknowledgement) must never
// reach the next exchange, which must then see exactly what it sees with ticks that never stop:
// the same transcript, on the same ticks.
TEST(SettingsExchangeIdle, BytesFromWhileIdleNeverReachAnExchangeTicksRunningOrNot) {
    const std::string stray[] = {getReply(OtherRecord), "01"};
    const struct {
        const char* name;
        bool send;
        std::vector<std::string> reads; // one a tick, from the command on
    } cases[] = {
        {"Get Data in two pieces", false, {"", "A5 5A", getReply(StartRecord).substr(6)}},
        {"Send Data acknowledged", true, {"", "", "01"}},
        {"Get Data unanswered", false, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::vector<std::string>> transcripts;
        std::vector<int> ticks;
        for (const bool ticksWhileIdle : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (ticksWhileIdle ? ", ticks run" : ", no ticks"));
            Rig<> rig;
            for (const std::string& bytes : stray) {
                rig.bridge.queueRead(hexBytes(bytes));
            }
            if (ticksWhileIdle) {
                rig.idleTicks(5);
            }
            c.send ? rig.exchange.SendData() : rig.exchange.GetData();
            for (const std::string& bytes : c.reads) {
                rig.tick(bytes);
            }
            ticks.push_back(static_cast<int>(c.reads.size()) + rig.runExchange());
            EXPECT_EQ(rig.host.record, StartRecord);
            transcripts.push_back(rig.host.events);
        }
        EXPECT_EQ(transcripts[0], transcripts[1]) << c.name;
        EXPECT_EQ(ticks[0], ticks[1]) << c.name;
        EXPECT_EQ(ticks[0], c.reads.empty() ? 1000 : 3) << c.name;
    }
}

// The countdown restarts at 1000 on every tick that brings bytes and counts down on every tick;
// "No Response from Device" comes on the tick that reaches zero, not one earlier or later.
TEST(SettingsExchangeTimeout, NoResponseOnExactlyTheTickTheCountdownRunsOut) {
    const struct {
        const char* name;
        uint8_t stateBefore; // 5 is entered by Send Data, the others by Get Data
        int bytesOnTick;
        const char* bytes;
        int lastTick;
    } cases[] = {
        {"Get Data, silence", 1, 0, "", 1000},
        {"Send Data, silence", 5, 0, "", 1000},
        {"stray byte at tick 900", 1, 900, "00", 1899},
        {"reply cut after ten record bytes", 3, 1, "A5 5A 2A 63 01 64 02 01 03 01 00 00", 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig<> rig;
        c.stateBefore == 5 ? rig.exchange.SendData() : rig.exchange.GetData();
        rig.host.progress = 99;
        for (int t = 1; t < c.lastTick; ++t) {
            rig.tick(t == c.bytesOnTick ? c.bytes : "");
        }
        EXPECT_EQ(rig.host.statusText, "---");
        EXPECT_EQ(rig.state(), c.stateBefore);
        rig.tick();
        EXPECT_EQ(rig.host.statusText, "No Response from Device");
        EXPECT_EQ(rig.host.upgradeStatusText, "");
        EXPECT_EQ(rig.state(), 0);
        EXPECT_EQ(rig.host.progress, 0);
        EXPECT_EQ(rig.host.record, StartRecord);
        const std::size_t events = rig.host.events.size();
        rig.idleTicks(2000);
        EXPECT_EQ(rig.host.events.size(), events); // the countdown does not run on
    }
}

// A cancelled Get Data whose reply comes late, commands while an exchange is pending, and reads
// that report a failure are also the link fuzz target's seeds. The boxes of failed writes (one a
// byte, the exchange still waiting) are kestrun-cli's transcripts; the not-connected box is
// theirs and the window's.

using SimRig = Rig<sim::SimBridge>;

// The controller's faults (a corrupted check byte, silence, a refused frame) end as they must in
// the soak, which draws them at random.
TEST(SimController, EachOptionShowsItsOutcomeOnTheExpectedTick) {
    using C = sim::ControllerOptions;
    const struct {
        const char* name;
        void (*setUp)(C&);
        bool send;
        std::string status;
        int ticks;
    } cases[] = {
        {"healthy: the tick after the request", [](C&) {}, false, "Data Received", 1},
        {"five every third tick", [](C& c) { c.shaping = sim::OutputShaping(5, 2); }, false,
         "Data Received", 13},
        {"send accepted", [](C&) {}, true, "Data Sent", 1},
        {"send acknowledged late", [](C& c) { c.replyDelayTicks = 998; }, true, "Data Sent", 999},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRig rig;
        rig.bridge.controller().setRecord(OtherRecord);
        c.setUp(rig.bridge.controller().options());
        c.send ? rig.exchange.SendData() : rig.exchange.GetData();
        EXPECT_EQ(rig.runExchange(), c.ticks);
        EXPECT_EQ(rig.host.statusText, c.status);
        EXPECT_EQ(rig.host.record, c.status == "Data Received" ? OtherRecord : StartRecord);
        EXPECT_TRUE(rig.host.messages.empty());
    }
}

TEST(SimController, StoresOnlyFramesWithTheRightSumAndAnswersEachFrame) {
    sim::SimController controller;
    SettingsRecord withRequest = OtherRecord; // a 3B 47 inside a frame is data, not a request
    withRequest[4] = 0x3B;
    withRequest[5] = 0x47;
    controller.receive(hexBytes("A5 5A " + hexText(OtherRecord) + " 6E")); // wrong sum
    controller.receive(hexBytes("3B 78 3B 47")); // a broken request, then a good one
    controller.receive(hexBytes(getReply(withRequest)));
    controller.tick();
    EXPECT_EQ(hexText(controller.takeDelivered()), "00 " + getReply(StartRecord) + " 01");
    EXPECT_EQ(controller.record(), withRequest);
    EXPECT_EQ(controller.getRequests(), 1u);
}

TEST(SimBridge, RemovalAndReArrivalThroughTheDeviceMonitor) {
    SimRig rig;
    sim::SimDeviceMonitor monitor(rig.bridge);
    auto handleNotice = [&](uint32_t expectedEvent) {
        std::vector<DeviceChange> notices = monitor.receive();
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_EQ(notices[0].eventType, expectedEvent);
        EXPECT_EQ(notices[0].notice.name, "/dev/hidraw-sim0");
        rig.engine.HandleDeviceChange(notices[0].eventType, &notices[0].notice);
    };
    rig.bridge.controller().options().replyDelayTicks = 5;
    rig.exchange.GetData();
    rig.engine.LinkTick();
    rig.bridge.remove();   // the reply due on tick 6 is lost with the cable
    rig.engine.LinkTick(); // until the notice is handled, the stale handle's reads fail
    handleNotice(DeviceRemoveComplete);
    EXPECT_FALSE(rig.bridge.isOpen());
    EXPECT_EQ(rig.host.connectionText, "Disconnected");
    // The exchange is left to its countdown, which runs without reads.
    const uint64_t reads = rig.bridge.readCalls();
    EXPECT_EQ(rig.runExchange(), 998);
    EXPECT_EQ(rig.bridge.readCalls(), reads);
    EXPECT_EQ(rig.host.statusText, "No Response from Device");
    EXPECT_TRUE(rig.host.messages.empty());

    rig.bridge.arrive();
    handleNotice(DeviceArrival);
    EXPECT_EQ(rig.host.connectionText, "Connected");
    rig.bridge.controller().options().replyDelayTicks = 0;
    rig.exchange.GetData();
    EXPECT_EQ(rig.runExchange(), 1);
    EXPECT_EQ(rig.host.statusText, "Data Received");
    rig.engine.shutdown();
    EXPECT_FALSE(rig.bridge.isOpen());
    EXPECT_EQ(rig.host.connectionText, "Connected"); // shutdown leaves the text
}

} // namespace
} // namespace kestrun::test
