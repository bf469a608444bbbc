// The link against the simulated controller: its answers, its fault options on the tick they
// show, the byte dispatcher a boot loader plugs into, removal and re-arrival, and a whole Get
// Data / Send Data round with replies spread over ticks.

#include "sim/SimBridge.h"
#include "sim/SimDeviceMonitor.h"
#include "tests/link/LinkRig.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <functional>

namespace kestrun::test {
namespace {

using sim::SimBridge;
using sim::SimController;

struct SimRig {
    SimBridge bridge;
    RecordingHost host;
    LinkEngine engine{bridge, host};
    SettingsExchange exchange{engine, host.record};
    int ticks = 0;

    SimRig() {
        engine.reset();
        engine.ConnectBridge();
    }
    SimController& controller() { return bridge.controller(); }
    uint8_t state() const { return static_cast<uint8_t>(engine.linkState()); }
    void tick() {
        engine.LinkTick();
        ++ticks;
    }
    /// Ticks until the link is idle again (at most `limit` ticks); answers the ticks taken.
    int runExchange(int limit = 5000) {
        const int start = ticks;
        while (!engine.isIdle() && ticks - start < limit) {
            tick();
        }
        return ticks - start;
    }
};

TEST(SimController, HealthyControllerAnswersOnTheFirstTickAfterTheRequest) {
    SimRig rig;
    EXPECT_EQ(rig.host.connectionText, "Connected");
    EXPECT_EQ(rig.bridge.readTimeout(), 0u);
    EXPECT_EQ(rig.bridge.writeTimeout(), 2000u);
    rig.controller().setRecord(OtherRecord);

    rig.exchange.GetData(); // > 3B 47
    EXPECT_EQ(hexText(rig.bridge.hostBytes()), "3B 47");
    EXPECT_EQ(rig.runExchange(), 1); // tick 1: < A5 5A <record> EE
    EXPECT_EQ(rig.host.statusText, "Data Received");
    EXPECT_EQ(rig.host.record, OtherRecord);
    EXPECT_EQ(rig.controller().getRequests(), 1u);
}

// Each option of the simulated controller, and the tick on which the link shows its outcome.
TEST(SimController, ReplyOptionsShowTheirOutcomeOnTheExpectedTick) {
    struct Case {
        const char* name;
        std::function<void(SimBridge&)> setUp;
        bool send;
        const char* status;
        int ticks;
    };
    const Case cases[] = {
        {"four bytes a tick",
         [](SimBridge& b) {
             b.controller().options().shaping = {4, 0};
         },
         false, "Data Received", 6},
        {"five bytes every third tick",
         [](SimBridge& b) {
             b.controller().options().shaping = {5, 2};
         },
         false, "Data Received", 13},
        {"three ticks late", [](SimBridge& b) { b.controller().options().replyDelayTicks = 3; },
         false, "Data Received", 4},
        {"junk before the header",
         [](SimBridge& b) {
             b.controller().options().junkBeforeReply = {0x5A, 0x00, 0x3B};
         },
         false, "Data Received", 1},
        {"corrupted check byte",
         [](SimBridge& b) { b.controller().options().corruptCheckByte = true; }, false,
         "Data Receive Error!", 1},
        {"reply cut after ten record bytes",
         [](SimBridge& b) { b.controller().options().cutReplyAfter = 12; }, false,
         "No Response from Device", 1000},
        {"silent", [](SimBridge& b) { b.controller().options().silent = true; }, false,
         "No Response from Device", 1000},
        {"failing reads",
         [](SimBridge& b) { b.options().readFailure = BridgeStatusCode::ReadError; }, false,
         "No Response from Device", 1000},
        {"send accepted", [](SimBridge&) {}, true, "Data Sent", 1},
        {"send refused", [](SimBridge& b) { b.controller().options().refuseSends = true; }, true,
         "Transmit Error!", 1},
        {"send acknowledged late",
         [](SimBridge& b) { b.controller().options().replyDelayTicks = 998; }, true, "Data Sent",
         999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimRig rig;
        rig.controller().setRecord(OtherRecord);
        c.setUp(rig.bridge);
        c.send ? rig.exchange.SendData() : rig.exchange.GetData();
        EXPECT_EQ(rig.runExchange(), c.ticks);
        EXPECT_EQ(rig.host.statusText, c.status);
        EXPECT_TRUE(rig.host.messages.empty());
        const bool received = std::string(c.status) == "Data Received";
        EXPECT_EQ(rig.host.record, received ? OtherRecord : StartRecord);
    }
}

TEST(SimController, FailingWritesReportTheChosenStatus) {
    SimRig rig;
    rig.bridge.options().writeFailure = BridgeStatusCode::WriteTimedOut;
    rig.exchange.GetData();
    ASSERT_EQ(rig.host.messages.size(), 2u);
    EXPECT_EQ(rig.host.messages[1].text, "Failed to transmit : Write timed out");
    EXPECT_TRUE(rig.bridge.hostBytes().empty());
    EXPECT_EQ(rig.controller().getRequests(), 0u);
}

TEST(SimController, StoresOnlyFramesWithTheRightSumAndAnswersEachFrame) {
    SimController controller;
    // > A5 5A <record> <wrong sum>: refused, memory unchanged.
    std::vector<uint8_t> frame = getReply(OtherRecord);
    frame.back() ^= 0x80;
    controller.receive(frame);
    // > ; x ; G: a broken request, then a good one.
    controller.receive(hexBytes("3B 78 3B 47"));
    // > A5 5A <record with 3B 47 inside> <sum>: stored; the 3B 47 inside is data, not a request.
    SettingsRecord withRequest = OtherRecord;
    withRequest[4] = 0x3B;
    withRequest[5] = 0x47;
    controller.receive(getReply(withRequest));
    controller.tick();
    std::vector<uint8_t> expected = {0x00};
    std::vector<uint8_t> reply = getReply(StartRecord);
    expected.insert(expected.end(), reply.begin(), reply.end());
    expected.push_back(0x01);
    EXPECT_EQ(hexText(controller.takeDelivered()), hexText(expected));
    EXPECT_EQ(controller.record(), withRequest);
    EXPECT_EQ(controller.getRequests(), 1u);
    EXPECT_EQ(controller.sendFramesStored(), 1u);
    EXPECT_EQ(controller.sendFramesRefused(), 1u);
}

TEST(SimController, OutputKeepsUartOrderWhateverTheDelay) {
    SimController controller;
    controller.send(hexBytes("01 02"), 3);
    controller.send(hexBytes("03"), 0); // may not overtake
    controller.tick();
    controller.tick();
    controller.tick();
    EXPECT_TRUE(controller.takeDelivered().empty());
    controller.tick();
    EXPECT_EQ(hexText(controller.takeDelivered()), "01 02 03");
    EXPECT_FALSE(controller.outputPending());
}

// A protocol like the boot loader: watches every host byte until its wake byte '~' comes, then
// claims the UART.
struct RecordingProtocol : sim::SimProtocol {
    SimController* controller = nullptr;
    std::vector<uint8_t> seen;
    int ticks = 0;
    int linkLost = 0;
    void onByte(uint8_t byte) override {
        seen.push_back(byte);
        if (byte == '~') {
            controller->claim(this);
            const uint8_t ready = ';';
            controller->send(std::span<const uint8_t>(&ready, 1));
        }
    }
    void onTick() override { ++ticks; }
    void onLinkLost() override { ++linkLost; }
};

TEST(SimController, DispatcherRoutesEveryByteUntilAProtocolClaimsTheUart) {
    SimController controller;
    RecordingProtocol loader;
    loader.controller = &controller;
    controller.attach(loader);

    controller.receive(hexBytes("3B 47")); // both see it; the settings protocol answers
    controller.receive(hexBytes("00 7E 3B 47"));
    EXPECT_EQ(controller.claimant(), &loader);
    EXPECT_EQ(controller.getRequests(), 1u); // the ;G after the claim went to the loader only
    EXPECT_EQ(hexText(loader.seen), "3B 47 00 7E 3B 47");
    controller.tick();
    std::vector<uint8_t> out = controller.takeDelivered();
    EXPECT_EQ(out.size(), 22u); // the get reply, then ';'
    EXPECT_EQ(out.back(), ';');
    EXPECT_EQ(loader.ticks, 1);

    controller.detach(loader); // detaching releases the UART
    EXPECT_EQ(controller.claimant(), nullptr);
    controller.receive(hexBytes("3B 47"));
    EXPECT_EQ(controller.getRequests(), 2u);
    EXPECT_EQ(loader.seen.size(), 6u);
}

TEST(SimBridge, RemovalMakesTheDeviceVanishAndArrivalBringsItBack) {
    SimRig rig;
    sim::SimDeviceMonitor monitor(rig.bridge);
    ASSERT_GE(monitor.fd(), 0);
    auto readable = [&] {
        pollfd p{monitor.fd(), POLLIN, 0};
        return poll(&p, 1, 0) == 1;
    };
    EXPECT_FALSE(readable());

    rig.controller().options().replyDelayTicks = 5;
    rig.exchange.GetData();
    rig.tick();
    rig.bridge.remove(); // the reply queued for tick 6 is lost with the cable
    EXPECT_TRUE(readable());

    // Until the notice is handled, the open handle fails like a vanished device.
    uint8_t buffer[256];
    uint32_t count = 7;
    BridgeHandle stale = nullptr;
    uint32_t devices = 9;
    EXPECT_EQ(rig.bridge.HidUart_GetNumDevices(&devices, 0, 0), BridgeStatusCode::Success);
    EXPECT_EQ(devices, 0u);
    EXPECT_EQ(rig.bridge.HidUart_Open(&stale, 0, 0, 0), BridgeStatusCode::DeviceNotFound);
    EXPECT_EQ(stale, nullptr);
    rig.tick();
    EXPECT_EQ(rig.state(), 1);

    std::vector<DeviceChange> notices = monitor.receive();
    EXPECT_FALSE(readable());
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].eventType, DeviceRemoveComplete);
    EXPECT_EQ(notices[0].notice.name, "/dev/hidraw-sim0");
    rig.engine.HandleDeviceChange(notices[0].eventType, &notices[0].notice);
    EXPECT_FALSE(rig.engine.bridgeOpen());
    EXPECT_FALSE(rig.bridge.isOpen());
    EXPECT_EQ(rig.host.connectionText, "Disconnected");
    EXPECT_EQ(rig.bridge.HidUart_Read(stale, buffer, 255, &count), BridgeStatusCode::InvalidHandle);

    EXPECT_EQ(rig.runExchange(), 998);
    EXPECT_EQ(rig.host.statusText, "No Response from Device");

    rig.bridge.arrive();
    notices = monitor.receive();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].eventType, DeviceArrival);
    rig.engine.HandleDeviceChange(notices[0].eventType, &notices[0].notice);
    EXPECT_EQ(rig.host.connectionText, "Connected");
    rig.controller().options().replyDelayTicks = 0;
    rig.exchange.GetData();
    EXPECT_EQ(rig.runExchange(), 1);
    EXPECT_EQ(rig.host.statusText, "Data Received");
}

TEST(SimBridge, VanishedHandleFailsReadsAndWritesButStillNamesItsPath) {
    SimBridge bridge;
    BridgeHandle handle = nullptr;
    ASSERT_EQ(bridge.HidUart_Open(&handle, 0, 0, 0), BridgeStatusCode::Success);
    bridge.remove();
    uint8_t buffer[256];
    uint32_t count = 0;
    const uint8_t byte = 0x3B;
    char path[DeviceStringLength];
    EXPECT_EQ(bridge.HidUart_Read(handle, buffer, 255, &count), BridgeStatusCode::DeviceIoFailed);
    EXPECT_EQ(bridge.HidUart_Write(handle, &byte, 1, &count), BridgeStatusCode::DeviceIoFailed);
    EXPECT_EQ(bridge.HidUart_GetOpenedString(handle, path, BridgeStringOption::Path),
              BridgeStatusCode::Success);
    EXPECT_STREQ(path, "/dev/hidraw-sim0");
    EXPECT_EQ(bridge.HidUart_Close(handle), BridgeStatusCode::Success);
    EXPECT_EQ(bridge.HidUart_Close(handle), BridgeStatusCode::InvalidHandle);
}

// The whole round the user makes: fetch, edit, send, with every reply spread over ticks.
TEST(SimEndToEnd, GetDataThenSendDataWithRepliesSplitOverTicks) {
    SimRig rig;
    rig.controller().setRecord(OtherRecord);
    rig.controller().options().shaping = {3, 1};
    rig.controller().options().replyDelayTicks = 2;
    rig.controller().options().junkBeforeReply = {0x00, 0xA5, 0x00};

    rig.exchange.GetData();
    EXPECT_GT(rig.runExchange(), 10);
    ASSERT_EQ(rig.host.statusText, "Data Received");
    EXPECT_EQ(rig.host.record, OtherRecord);
    EXPECT_EQ(rig.host.controls.values[0], 42);
    EXPECT_EQ(rig.host.controls.digitalConnection, std::optional<uint8_t>(2));

    rig.host.controls.values[0] = 77;
    rig.host.controls.values[7] = 1;
    rig.host.controls.pressureJoystick = false;
    rig.host.controls.cameraTrigger = 0;
    rig.host.statusText = "---";
    rig.bridge.clearHostBytes();
    rig.exchange.SendData();
    EXPECT_EQ(rig.runExchange(), 3); // delay 2, then the acknowledgement
    EXPECT_EQ(rig.host.statusText, "Data Sent");
    EXPECT_EQ(rig.controller().sendFramesStored(), 1u);
    EXPECT_EQ(rig.controller().record(), rig.host.record);
    EXPECT_EQ(rig.controller().record()[0], 77);
    EXPECT_EQ(rig.controller().record()[2], 1);
    EXPECT_EQ(rig.controller().record()[6], 0);
    EXPECT_EQ(rig.controller().record()[7], 0);
    EXPECT_EQ(rig.bridge.hostBytes().size(), 21u);
    EXPECT_TRUE(rig.host.messages.empty());
}

} // namespace
} // namespace kestrun::test
