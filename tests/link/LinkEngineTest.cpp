// The link engine's connection, transmit operations, status texts and the tick's handling of
// what the bridge reads, against the scripted bridge.

#include "tests/link/LinkRig.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrun::test {
namespace {

TEST(BridgeStatusTexts, EveryCodeHasItsTextAndAnyOtherIsUnknownStatus) {
    const std::pair<BridgeStatus, const char*> table[] = {
        {0x00, "Success"},
        {0x01, "Device not found"},
        {0x02, "Invalid handle"},
        {0x03, "Invalid device object"},
        {0x04, "Invalid parameter"},
        {0x05, "Invalid request length"},
        {0x10, "Read error"},
        {0x11, "Write error"},
        {0x12, "Read timed out"},
        {0x13, "Write timed out"},
        {0x14, "Device I/O failed"},
        {0x15, "Device access error"},
        {0x16, "Device not supported"},
        {0xFF, "Unknown error"},
        {0x06, "Unknown status"},
        {0x0F, "Unknown status"},
        {0x17, "Unknown status"},
        {0x100, "Unknown status"},
        {-1, "Unknown status"},
    };
    for (const auto& [status, text] : table) {
        EXPECT_STREQ(BridgeStatusText(status), text) << "status " << status;
    }
}

// --- connection ------------------------------------------------------------------------------

TEST(LinkConnection, ProductStringMustContainCP2110InCapitals) {
    struct Case {
        const char* product;
        bool opens;
    };
    const Case cases[] = {
        {"CP2110 HID USB-to-UART Bridge", true},
        {"Camera head link (CP2110)", true},
        {"xCP2110x", true},
        {"cp2110 HID USB-to-UART Bridge", false},
        {"Cp2110", false},
        {"CP 2110", false},
        {"CP211", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.product);
        LinkRig rig(false);
        rig.bridge.devices[0].product = c.product;
        rig.engine.ConnectBridge();
        EXPECT_EQ(rig.engine.bridgeOpen(), c.opens);
        EXPECT_EQ(rig.bridge.openCalls, c.opens ? 1 : 0);
        // No match changes nothing: no text is set at all.
        EXPECT_EQ(rig.host.events, c.opens ? std::vector<std::string>{"connection \"Connected\""}
                                           : std::vector<std::string>{});
        if (c.opens) {
            EXPECT_EQ(rig.bridge.lastReadTimeout, 0u);
            EXPECT_EQ(rig.bridge.lastWriteTimeout, 2000u);
        }
    }
}

TEST(LinkConnection, UnreadableDevicesAreSkippedAndTheLastMatchDecides) {
    LinkRig rig(false);
    rig.bridge.devices = {
        {"CP2110 first", "/dev/hidraw0", BridgeStatusCode::Success, BridgeStatusCode::ReadError},
        {"Keyboard", "/dev/hidraw1"},
        {"CP2110 second", "/dev/hidraw2"},
        {"CP2110 third", "/dev/hidraw3", BridgeStatusCode::DeviceAccessError},
    };
    rig.engine.ConnectBridge();
    // The second opened, then the third failed: the last open decides.
    EXPECT_FALSE(rig.engine.bridgeOpen());
    EXPECT_EQ(rig.host.events, (std::vector<std::string>{"connection \"Connected\"",
                                                         "connection \"Disconnected\""}));
    EXPECT_EQ(rig.bridge.openHandles, 0); // no handle left behind

    rig.bridge.devices[3].openStatus = BridgeStatusCode::Success;
    rig.engine.ConnectBridge();
    EXPECT_TRUE(rig.engine.bridgeOpen());
    EXPECT_EQ(rig.bridge.openIndex, 3u);
    EXPECT_EQ(rig.bridge.openHandles, 1);
    EXPECT_EQ(rig.host.connectionText, "Connected");
}

TEST(LinkConnection, FailedDeviceCountConnectsNothing) {
    LinkRig rig(false);
    rig.bridge.countFailure = BridgeStatusCode::DeviceIoFailed;
    rig.engine.ConnectBridge();
    EXPECT_FALSE(rig.engine.bridgeOpen());
    EXPECT_EQ(rig.bridge.openCalls, 0);
    EXPECT_TRUE(rig.host.events.empty());
}

TEST(LinkNotices, RemovalAndArrival) {
    struct Case {
        const char* name;
        uint32_t event;
        uint32_t deviceType;
        const char* path;
        bool pathReadable;
        bool openAfter;
    };
    const Case cases[] = {
        {"removal of the open device", DeviceRemoveComplete, 5, "/dev/hidraw0", true, false},
        {"removal differing only in case", DeviceRemoveComplete, 5, "/DEV/HidRaw0", true, false},
        {"removal of another device", DeviceRemoveComplete, 5, "/dev/hidraw1", true, true},
        {"removal of a longer path", DeviceRemoveComplete, 5, "/dev/hidraw00", true, true},
        {"removal when the path cannot be read", DeviceRemoveComplete, 5, "/dev/hidraw0", false,
         true},
        {"removal of another device type", DeviceRemoveComplete, 2, "/dev/hidraw0", true, true},
        {"some other notice", 0x8001, 5, "/dev/hidraw0", true, true},
        {"arrival while open", DeviceArrival, 5, "/dev/hidraw0", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRig rig;
        if (!c.pathReadable) {
            rig.bridge.pathFailure = BridgeStatusCode::DeviceIoFailed;
        }
        DeviceNotice notice{c.deviceType, c.path};
        EXPECT_TRUE(rig.engine.HandleDeviceChange(c.event, &notice));
        EXPECT_EQ(rig.engine.bridgeOpen(), c.openAfter);
        EXPECT_EQ(rig.host.connectionText, c.openAfter ? "Connected" : "Disconnected");
        EXPECT_EQ(rig.bridge.openCalls, 1);
        EXPECT_EQ(rig.bridge.closeCalls, c.openAfter ? 0 : 1);
    }
}

TEST(LinkNotices, NoticeWithoutRecordIsPassedOver) {
    LinkRig rig;
    EXPECT_TRUE(rig.engine.HandleDeviceChange(DeviceRemoveComplete, nullptr));
    EXPECT_TRUE(rig.engine.bridgeOpen());
}

TEST(LinkNotices, RemovalThenArrivalOpensAgainAndAPendingExchangeEndsByItsCountdown) {
    LinkRig rig;
    rig.exchange.GetData();
    rig.idleTicks(100);
    const int readsBefore = rig.bridge.readCalls;

    // Pulled out: the device leaves the list; the library still knows the open handle's path.
    rig.bridge.devices.clear();
    DeviceNotice removal{DeviceTypeInterface, "/dev/hidraw0"};
    rig.engine.HandleDeviceChange(DeviceRemoveComplete, &removal);
    EXPECT_EQ(rig.host.connectionText, "Disconnected");
    EXPECT_EQ(rig.state(), 1); // the removal leaves the exchange alone

    rig.idleTicks(899);
    EXPECT_EQ(rig.bridge.readCalls, readsBefore); // no read without an open bridge
    EXPECT_EQ(rig.state(), 1);
    rig.idleTicks(1);
    EXPECT_EQ(rig.host.statusText, "No Response from Device");

    rig.bridge.devices.push_back(FakeDevice{});
    DeviceNotice arrival{DeviceTypeInterface, "/dev/hidraw0"};
    rig.engine.HandleDeviceChange(DeviceArrival, &arrival);
    EXPECT_TRUE(rig.engine.bridgeOpen());
    EXPECT_EQ(rig.host.connectionText, "Connected");
    EXPECT_EQ(rig.bridge.openHandles, 1);

    rig.engine.shutdown();
    EXPECT_FALSE(rig.engine.bridgeOpen());
    EXPECT_EQ(rig.bridge.openHandles, 0);
    EXPECT_EQ(rig.host.connectionText, "Connected"); // shutdown leaves the text
}

// --- transmit ----------------------------------------------------------------------------------

// A handler that transmits from inside a tick, as the upgrade does.
struct TransmittingInTick : ExchangeHandler {
    LinkEngine* engine = nullptr;
    bool textResult = true;
    std::string text = "033P";
    void onByte(LinkState, uint8_t) override {}
    void onTick(LinkState) override {
        engine->TransmitByte(0x1B);
        textResult = engine->TransmitText(text);
    }
};

TEST(LinkTransmit, FailureInsideATickIsSilentAndChangesNoState) {
    LinkRig rig;
    TransmittingInTick upload;
    upload.engine = &rig.engine;
    rig.engine.setHandler(LinkState::WaitBootLoader, &upload, /*ownTick=*/true);
    rig.engine.setLinkState(LinkState::WaitBootLoader);
    rig.engine.setResponseTimeout(200);
    rig.bridge.writeFailure = BridgeStatusCode::WriteTimedOut;
    rig.tick();
    EXPECT_FALSE(upload.textResult);
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_FALSE(rig.engine.inTick());
    EXPECT_EQ(rig.state(), 9);
    EXPECT_EQ(rig.engine.responseTimeout(), 200u);

    // The same text too long for the buffer: silent too, and nothing written.
    rig.bridge.writeFailure.reset();
    upload.text = std::string(256, 'A');
    rig.tick();
    EXPECT_FALSE(upload.textResult);
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_EQ(rig.wire(), "1B"); // only the byte
}

TEST(LinkTransmit, TextLengthsAroundTheBuffer) {
    LinkRig rig;
    EXPECT_TRUE(rig.engine.TransmitText(std::string(255, 'Z')));
    ASSERT_EQ(rig.bridge.writes.size(), 1u);
    EXPECT_EQ(rig.bridge.writes[0], std::vector<uint8_t>(255, 'Z')); // the zero byte not sent

    // One more character: nothing is sent, the failure is reported like a failed write.
    EXPECT_FALSE(rig.engine.TransmitText(std::string(256, 'Z')));
    EXPECT_EQ(rig.bridge.writes.size(), 1u);
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].text, "Failed to transmit : Invalid request length");
    EXPECT_EQ(rig.host.messages[0].caption, "Kestrun");
    EXPECT_EQ(rig.host.messages[0].icon, MessageIcon::Exclamation);

    EXPECT_FALSE(rig.engine.TransmitText(std::u16string(256, u'Z')));
    EXPECT_EQ(rig.bridge.writes.size(), 1u);
    EXPECT_EQ(rig.host.messages.size(), 2u);
}

TEST(LinkTransmit, WideTextSendsTheLowByteOfEachCharacter) {
    LinkRig rig;
    EXPECT_TRUE(rig.engine.TransmitText(u":\u0141\u00E9\uFF30\u0100"));
    EXPECT_EQ(rig.wire(), "3A 41 E9 30 00");
    EXPECT_TRUE(rig.engine.TransmitText(std::u16string(255, u'\u0141')));
    EXPECT_EQ(rig.bridge.writes.back(), std::vector<uint8_t>(255, 0x41));
}

TEST(LinkTransmit, WithoutAnOpenBridgeNothingReachesTheLibrary) {
    LinkRig rig(false);
    EXPECT_FALSE(rig.engine.TransmitText("033P"));
    rig.engine.TransmitByte(0x3B);
    EXPECT_EQ(rig.bridge.writeCalls, 0);
    EXPECT_EQ(rig.host.messages.size(), 2u); // each counts as a failed write
}

// --- the tick's read -----------------------------------------------------------------------------

TEST(LinkTick, OnlySuccessOrTimedOutWithBytesIsAGoodRead) {
    struct Case {
        const char* name;
        std::optional<BridgeStatus> status; // none: the bridge's own (timed out, fewer bytes)
        bool good;
    };
    const Case cases[] = {
        {"timed out with bytes", std::nullopt, true},
        {"success with bytes", BridgeStatusCode::Success, true},
        {"read error with bytes", BridgeStatusCode::ReadError, false},
        {"device gone with bytes", BridgeStatusCode::DeviceIoFailed, false},
        {"unknown status with bytes", 0x42, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LinkRig rig;
        rig.exchange.SendData();
        rig.idleTicks(10);
        if (c.status) {
            rig.bridge.readStatusOverrides.push_back(*c.status);
        }
        rig.tick(hexBytes("01"));
        EXPECT_EQ(rig.host.statusText, c.good ? "Data Sent" : "---");
        EXPECT_EQ(rig.engine.responseTimeout(), c.good ? 1000u : 989u);
        EXPECT_TRUE(rig.host.messages.empty());
    }
}

TEST(LinkTick, ReadAsksForTwoHundredFiftyFiveAndTakesAFullReadInOneTick) {
    LinkRig rig;
    rig.exchange.GetData();
    std::vector<uint8_t> bytes(255 - 21, 0x00);
    std::vector<uint8_t> reply = getReply(OtherRecord);
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    bytes.push_back(0xA5); // the 256th byte waits for the next read
    rig.tick(bytes);
    EXPECT_EQ(rig.host.record, OtherRecord);
    ASSERT_EQ(rig.bridge.reads.size(), 1u);
    EXPECT_EQ(rig.bridge.reads.front(), std::vector<uint8_t>{0xA5});
}

// A library that claims more bytes than it was asked for must not make the tick read past its
// buffer.
struct OvercountingBridge : ScriptedBridge {
    BridgeStatus HidUart_Read(BridgeHandle, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override {
        std::fill_n(buffer, numBytesToRead, 0x00);
        *numBytesRead = 100000;
        return BridgeStatusCode::Success;
    }
};

TEST(LinkTick, ACountBeyondWhatWasAskedForIsCut) {
    OvercountingBridge bridge;
    RecordingHost host;
    LinkEngine engine(bridge, host);
    SettingsExchange exchange(engine, host.record);
    engine.reset();
    engine.ConnectBridge();
    exchange.SendData();
    engine.LinkTick(); // under AddressSanitizer an overread would stop the test here
    EXPECT_EQ(host.statusText, "Transmit Error!");
}

} // namespace
} // namespace kestrun::test
