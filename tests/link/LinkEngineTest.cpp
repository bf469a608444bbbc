// The link engine against the scripted bridge: status texts, the connection, device notices,
// transmitting, and the tick's handling of what the bridge reads.

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

// Inside a tick a failure is silent: the fault matrix (failing writes in every state) and the
// link fuzz target (no box ever opens in a tick) hold the link to that.
TEST(LinkTransmit, TextUpToTheBufferIsSentAndAFailureBringsABox) {
    Rig<> rig;
    EXPECT_TRUE(rig.engine.TransmitText(std::string(255, 'Z')));
    EXPECT_EQ(rig.bridge.writes, std::vector(1, std::vector<uint8_t>(255, 'Z'))); // no zero byte

    EXPECT_FALSE(rig.engine.TransmitText(std::string(256, 'Z')));
    EXPECT_FALSE(rig.engine.TransmitText(std::u16string(256, u'Z')));
    EXPECT_EQ(rig.bridge.writes.size(), 1u);
    const Message tooLong{"Failed to transmit : Invalid request length", "Kestrun",
                          MessageIcon::Exclamation};
    EXPECT_EQ(rig.host.messages, (std::vector<Message>{tooLong, tooLong}));

    // A wide text goes out as the low byte of each character.
    rig.bridge.takeWrites();
    EXPECT_TRUE(rig.engine.TransmitText(u":\u0141\u00E9\uFF30\u0100"));
    EXPECT_EQ(rig.wire(), "3A 41 E9 30 00");

    // Without an open bridge nothing reaches the library; each call counts as a failed write.
    Rig<> closed(false);
    EXPECT_FALSE(closed.engine.TransmitText("033P"));
    closed.engine.TransmitByte(0x3B);
    EXPECT_EQ(closed.bridge.writeCalls, 0);
    EXPECT_EQ(closed.host.messages.size(), 2u);
}

// Only Success, or Read timed out with bytes, is a good read: the link fuzz target's seeds hand
// over bytes with a failing status and its model holds the exchange to ignoring them.

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

} // namespace
} // namespace kestrun::test
