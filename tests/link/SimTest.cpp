// The link against the simulated controller: each of its options on the tick the link shows
// the outcome, its handling of send frames, and removal and re-arrival through its device monitor.
// A whole Get Data / Send Data round is the drivers' (CP2110 and serial) and the soak's, which
// spreads replies over ticks at random.

#include "sim/SimBridge.h"
#include "sim/SimDeviceMonitor.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace kestrun::test {
namespace {

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
