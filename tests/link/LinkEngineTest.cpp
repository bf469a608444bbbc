// The link engine against the scripted bridge: status texts, the connection, device notices,
// transmitting, and the tick's handling of what the bridge reads. The settings exchange on the
// wire: the exact request bytes, the countdown's exact tick, and what the user sees at every end
// of an exchange. Then the simulated controller: each of its options on the tick the link shows
// the outcome, its handling of send frames, and removal and re-arrival through its device
// monitor. Proven elsewhere: a whole Get Data / Send Data round, by the drivers' tests and the
// soak (which also draws the controller's faults); each state's reaction to each kind of byte,
// the check byte's corner cases, replies in pieces or late, commands while an exchange is pending
// and reads that report a failure, by the link fuzz target's seeds and its model written apart
// from the link; a failure inside a tick staying silent, by the fault matrix and the fuzz target;
// the boxes of failed writes, by kestrun-cli's transcripts.

#include "sim/SimBridge.h"
#include "sim/SimDeviceMonitor.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kestrun::test {
namespace {

TEST(BridgeStatusTexts, EveryCodeHasItsTextAndAnyOtherIsUnknownStatus) {
    // The first and last code of each run, the codes around them, and out-of-range values.
    const std::pair<BridgeStatus, const char*> table[] = {
        {0x00, "Success"},         {0x05, "Invalid request length"},
        {0x06, "Unknown status"},  {0x0F, "Unknown status"},
        {0x10, "Read error"},      {0x16, "Device not supported"},
        {0x17, "Unknown status"},  {0xFF, "Unknown error"},
        {0x100, "Unknown status"}, {-1, "Unknown status"}};
    for (const auto& [status, text] : table) {
        EXPECT_STREQ(BridgeStatusText(status), text) << "status " << status;
    }
}

TEST(LinkConnection, ProductStringMustContainCP2110InCapitals) {
    // clang-format off
    const std::pair<const char*, bool> cases[] = {
        {"CP2110 HID USB-to-UART Bridge", true}, {"Camera head link (CP2110)", true},
        {"cp2110 HID USB-to-UART Bridge", false}, {"Cp2110", false}, {"CP 2110", false},
        {"CP211", false}};
    // clang-format on
    for (const auto& [product, opens] : cases) {
        SCOPED_TRACE(product);
        Rig<> rig(false);
        rig.bridge.devices[0].product = product;
        rig.engine.ConnectBridge();
        EXPECT_EQ(rig.engine.bridgeOpen(), opens);
        EXPECT_EQ(rig.bridge.openCalls, opens ? 1 : 0);
        // No match sets no text at all. Reads return at once, writes within 2 s.
        EXPECT_EQ(rig.host.events, std::vector<std::string>(opens, "connection \"Connected\""));
        EXPECT_EQ(std::pair(rig.bridge.lastReadTimeout, rig.bridge.lastWriteTimeout),
                  opens ? std::pair(0u, 2000u) : std::pair(99u, 99u));
    }
}

TEST(LinkConnection, UnreadableDevicesAreSkippedAndTheLastMatchDecides) {
    Rig<> rig(false);
    rig.bridge.devices = {
        {"CP2110 first", "/dev/hidraw0", BridgeStatusCode::Success, BridgeStatusCode::ReadError},
        {"Keyboard", "/dev/hidraw1"},
        {"CP2110 second", "/dev/hidraw2"},
        {"CP2110 third", "/dev/hidraw3", BridgeStatusCode::DeviceAccessError},
    };
    rig.engine.ConnectBridge();
    // The second opened and was closed again before the third was tried; the third failed, and
    // the last open decides.
    EXPECT_FALSE(rig.engine.bridgeOpen());
    EXPECT_EQ(rig.host.events, (std::vector<std::string>{"connection \"Connected\"",
                                                         "connection \"Disconnected\""}));
    EXPECT_EQ(rig.bridge.openHandles, 0);
}

TEST(LinkNotices, OnlyARemovalOfTheOpenPathClosesTheBridge) {
    const uint32_t Remove = DeviceRemoveComplete, Iface = DeviceTypeInterface;
    const struct {
        const char* name;
        uint32_t event, deviceType;
        const char* path; // nullptr: a notice without its record
        bool pathReadable, openAfter;
    } cases[] = {
        {"removal of the open device", Remove, Iface, "/dev/hidraw0", true, false},
        {"removal differing only in case", Remove, Iface, "/DEV/HidRaw0", true, false},
        {"removal of a longer path", Remove, Iface, "/dev/hidraw00", true, true},
        {"removal when the path cannot be read", Remove, Iface, "/dev/hidraw0", false, true},
        {"removal of another device type", Remove, 2, "/dev/hidraw0", true, true},
        {"removal without its record", Remove, Iface, nullptr, true, true},
        {"some other notice", 0x8001, Iface, "/dev/hidraw0", true, true},
        {"arrival while open", DeviceArrival, Iface, "/dev/hidraw0", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig<> rig;
        rig.bridge.pathFailure =
            c.pathReadable ? std::nullopt : std::optional(BridgeStatusCode::DeviceIoFailed);
        DeviceNotice notice{c.deviceType, c.path ? c.path : ""};
        EXPECT_TRUE(rig.engine.HandleDeviceChange(c.event, c.path ? &notice : nullptr));
        EXPECT_EQ(rig.engine.bridgeOpen(), c.openAfter);
        EXPECT_EQ(rig.host.connectionText, c.openAfter ? "Connected" : "Disconnected");
        EXPECT_EQ(rig.bridge.openCalls, 1); // an arrival while open opens no second handle
        EXPECT_EQ(rig.bridge.openHandles, c.openAfter ? 1 : 0);
    }
}

TEST(LinkTransmit, TextUpToTheBufferIsSentAndAFailureBringsABox) {
    Rig<> rig;
    EXPECT_TRUE(rig.engine.TransmitText(std::string(255, 'Z')));
    EXPECT_EQ(rig.bridge.writes, std::vector(1, std::vector<uint8_t>(255, 'Z'))); // no zero byte

    EXPECT_FALSE(rig.engine.TransmitText(std::string(256, 'Z')));
    EXPECT_FALSE(rig.engine.TransmitText(std::u16string(256, u'Z')));
    const Message tooLong{"Failed to transmit : Invalid request length", "Kestrun",
                          MessageIcon::Exclamation};
    EXPECT_EQ(rig.host.messages, (std::vector<Message>{tooLong, tooLong}));

    EXPECT_EQ(rig.bridge.takeWrites().size(), 1u);
    // A wide text goes out as the low byte of each character.
    EXPECT_TRUE(rig.engine.TransmitText(u":\u0141\u00E9\uFF30\u0100"));
    EXPECT_EQ(rig.wire(), "3A 41 E9 30 00");

    // Without an open bridge nothing reaches the library; each call counts as a failed write.
    Rig<> closed(false);
    EXPECT_FALSE(closed.engine.TransmitText("033P"));
    closed.engine.TransmitByte(0x3B);
    EXPECT_EQ(closed.bridge.writeCalls, 0);
    EXPECT_EQ(closed.host.messages.size(), 2u);
}

// A library that claims more bytes than it was asked for must not make the tick read past its
// buffer (AddressSanitizer stops the test if it does).
struct OvercountingBridge : ScriptedBridge {
    BridgeStatus HidUart_Read(BridgeHandle, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override {
        std::fill_n(buffer, numBytesToRead, 0x00);
        *numBytesRead = 100000;
        return BridgeStatusCode::Success;
    }
};

TEST(LinkTick, ReadAsksForTwoHundredFiftyFiveBytesAndTakesNoMore) {
    Rig<> rig;
    rig.exchange.GetData();
    // 234 zero bytes and a get reply fill the read; the 256th byte waits for the next one.
    rig.tick(hexText(std::vector<uint8_t>(255 - 21, 0x00)) + " " + getReply(OtherRecord) + " A5");
    EXPECT_EQ(rig.host.record, OtherRecord);
    EXPECT_EQ(rig.bridge.reads, std::deque(1, std::vector<uint8_t>{0xA5}));

    Rig<OvercountingBridge> overcounting;
    overcounting.exchange.SendData();
    overcounting.engine.LinkTick();
    EXPECT_EQ(overcounting.host.statusText, "Transmit Error!");
}

TEST(SettingsExchangeWire, OneByteAWriteAndSendDataSendsWhatTheControlsShow) {
    Rig<> rig;
    rig.exchange.GetData();
    EXPECT_EQ(rig.wire(), "3B 47");
    EXPECT_EQ(rig.bridge.takeWrites().size(), 2u);
    EXPECT_EQ(rig.state(), 1);
    rig.tick(getReply(OtherRecord));
    ASSERT_EQ(rig.host.statusText, "Data Received");

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

// An error leaves the controls (and any edit not yet committed) alone.
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
        const char* bytes;
        int bytesOnTick, lastTick;
    } cases[] = {
        {"Get Data, silence", 1, "", 0, 1000},
        {"Send Data, silence", 5, "", 0, 1000},
        {"stray byte at tick 900", 1, "00", 900, 1899},
        {"reply cut after ten record bytes", 3, "A5 5A 2A 63 01 64 02 01 03 01 00 00", 1, 1000},
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
        EXPECT_EQ(rig.state(), 0);
        EXPECT_EQ(rig.host.progress, 0);
        EXPECT_EQ(rig.host.record, StartRecord);
        const std::size_t events = rig.host.events.size();
        rig.idleTicks(2000);
        EXPECT_EQ(rig.host.events.size(), events); // the countdown does not run on
    }
}

TEST(SimController, EachOptionShowsItsOutcomeOnTheExpectedTick) {
    using C = sim::ControllerOptions;
    const struct {
        const char* name;
        void (*setUp)(C&);
        bool send;
        int ticks;
    } cases[] = {
        {"five every third tick", [](C& c) { c.shaping = sim::OutputShaping(5, 2); }, false, 13},
        {"send accepted", [](C&) {}, true, 1},
        {"send acknowledged late", [](C& c) { c.replyDelayTicks = 998; }, true, 999},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig<sim::SimBridge> rig;
        rig.bridge.controller().setRecord(OtherRecord);
        c.setUp(rig.bridge.controller().options());
        c.send ? rig.exchange.SendData() : rig.exchange.GetData();
        EXPECT_EQ(rig.runExchange(), c.ticks);
        EXPECT_EQ(rig.host.statusText, c.send ? "Data Sent" : "Data Received");
        EXPECT_EQ(rig.host.record, c.send ? StartRecord : OtherRecord);
        EXPECT_TRUE(rig.host.messages.empty());
    }
}

TEST(SimController, StoresOnlyFramesWithTheRightSumAndAnswersEachFrame) {
    sim::SimController controller;
    SettingsRecord withRequest = OtherRecord; // a 3B 47 inside a frame is data, not a request
    withRequest[4] = 0x3B;
    withRequest[5] = 0x47;
    controller.receive(hexBytes("A5 5A " + hexText(OtherRecord) + " EF")); // sum one too high
    controller.receive(hexBytes("3B 78 3B 47")); // a broken request, then a good one
    controller.receive(hexBytes(getReply(withRequest)));
    controller.tick();
    EXPECT_EQ(hexText(controller.takeDelivered()), "00 " + getReply(StartRecord) + " 01");
    EXPECT_EQ(controller.record(), withRequest);
    EXPECT_EQ(controller.getRequests(), 1u);
}

TEST(SimBridge, RemovalAndReArrivalThroughTheDeviceMonitor) {
    Rig<sim::SimBridge> rig;
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
