// Get Data and Send Data through the link engine, the settings exchange and the real CP2110
// driver, with the fake hidapi playing the chip and the test playing the controller. What the
// test checks is what crosses USB: one report per byte written, each [01 byte], and replies
// that arrive as several input reports over several ticks.

#include "link/LinkEngine.h"
#include "link/SettingsExchange.h"
#include "link/cp2110/Cp2110Bridge.h"
#include "tests/drivers/FakeHidapi.h"
#include "tests/drivers/WireText.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrun {
namespace {

using test::BenchRecord;
using test::hex;
using test::settingsFrame;

const std::string BridgePath = "/dev/hidraw7";

NodeAccess fakeAccess(const std::string& path) {
    const fakehid::Device* d = fakehid::device(path);
    return d != nullptr && d->present ? NodeAccess::Granted : NodeAccess::Missing;
}

struct UsbRig {
    UsbRig() {
        fakehid::reset();
        // Another HID device sorts first: the link must pass it over for the bridge.
        fakehid::addDevice("/dev/hidraw0", L"USB Optical Mouse");
        fakehid::addDevice(BridgePath, L"CP2110 HID USB-to-UART Bridge").listings = 2;
        engine.reset();
        engine.ConnectBridge();
    }
    ~UsbRig() { fakehid::reset(); }

    fakehid::Device& chip() { return *fakehid::device(BridgePath); }
    /// The reports the host wrote, one per line, and forgets them.
    std::vector<std::string> takeReports() {
        std::vector<std::string> lines;
        for (const auto& report : chip().outputReports) {
            lines.push_back(hex(report));
        }
        chip().outputReports.clear();
        return lines;
    }
    void tick() { engine.LinkTick(); }
    std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, std::size_t from,
                               std::size_t to) {
        return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
                bytes.begin() + static_cast<std::ptrdiff_t>(to)};
    }

    Cp2110Bridge bridge{fakeAccess, fakehid::clockMs};
    test::RecordingHost host;
    LinkEngine engine{bridge, host};
    SettingsExchange exchange{engine, host.record};
};

TEST(Cp2110Link, GetDataWithAReplyInSeveralReportsOverSeveralTicks) {
    UsbRig rig;
    EXPECT_EQ(rig.host.connectionText, "Connected");
    EXPECT_EQ(fakehid::device("/dev/hidraw0")->openHandles, 0) << "the mouse is no bridge";
    rig.exchange.GetData();
    EXPECT_EQ(rig.takeReports(), (std::vector<std::string>{"01 3B", "01 47"}));
    EXPECT_EQ(hex(rig.chip().uartOut), "3B 47");

    const std::vector<uint8_t> reply = settingsFrame(BenchRecord);
    // tick 1: a stray byte and the header with five record bytes, in two reports
    fakehid::controllerSends(BridgePath, {0x00});
    fakehid::controllerSends(BridgePath, rig.slice(reply, 0, 7));
    rig.tick();
    EXPECT_EQ(rig.engine.linkState(), LinkState::GetRecord);
    // tick 2: nothing arrives
    rig.tick();
    // tick 3: eleven record bytes, one byte per report
    fakehid::controllerSends(BridgePath, rig.slice(reply, 7, 18), 1);
    rig.tick();
    EXPECT_EQ(rig.exchange.receiveCount(), 2);
    EXPECT_EQ(rig.host.statusText, "---");
    // tick 4: the last two record bytes and the check byte
    fakehid::controllerSends(BridgePath, rig.slice(reply, 18, 21));
    rig.tick();

    EXPECT_EQ(rig.host.statusText, "Data Received");
    EXPECT_EQ(rig.host.record, BenchRecord);
    EXPECT_EQ(rig.host.recordToControlsCalls, 1);
    EXPECT_TRUE(rig.engine.isIdle());
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(Cp2110Link, SendDataWritesOneReportPerByteAndTakesTheAcknowledgement) {
    UsbRig rig;
    rig.host.controls = shownFromRecord(BenchRecord);
    const SettingsRecord shown = recordFromShown(rig.host.controls);
    rig.exchange.SendData();

    std::vector<std::string> expected;
    for (uint8_t b : settingsFrame(shown)) {
        expected.push_back(hex(std::vector<uint8_t>{0x01, b}));
    }
    EXPECT_EQ(rig.takeReports(), expected);
    EXPECT_EQ(rig.chip().uartOut, settingsFrame(shown));
    EXPECT_EQ(rig.engine.linkState(), LinkState::SendAck);

    rig.tick();
    rig.tick();
    fakehid::controllerSends(BridgePath, {0x01});
    rig.tick();
    EXPECT_EQ(rig.host.statusText, "Data Sent");
    EXPECT_TRUE(rig.engine.isIdle());
}

TEST(Cp2110Link, UnplugAndReplugReconnect) {
    UsbRig rig;
    fakehid::unplug(BridgePath);
    rig.tick(); // the read fails: bytes are simply not there, nothing is shown
    EXPECT_TRUE(rig.host.messages.empty());
    const DeviceNotice removed{DeviceTypeInterface, "/DEV/HIDRAW7"};
    rig.engine.HandleDeviceChange(DeviceRemoveComplete, &removed);
    EXPECT_EQ(rig.host.connectionText, "Disconnected");
    EXPECT_EQ(rig.chip().openHandles, 0);

    fakehid::replug(BridgePath);
    const DeviceNotice arrived{DeviceTypeInterface, BridgePath};
    rig.engine.HandleDeviceChange(DeviceArrival, &arrived);
    EXPECT_EQ(rig.host.connectionText, "Connected");
    EXPECT_TRUE(rig.chip().uartEnabled);
    rig.exchange.GetData();
    EXPECT_EQ(hex(rig.chip().uartOut), "3B 47");
}

TEST(Cp2110Link, WriteToAnUnpluggedBridgeShowsTheFailure) {
    UsbRig rig;
    fakehid::unplug(BridgePath);
    rig.tick(); // the driver learns the device is gone
    rig.exchange.GetData();
    ASSERT_EQ(rig.host.messages.size(), 2u); // one box per byte
    EXPECT_EQ(rig.host.messages[0].text, "Failed to transmit : Device I/O failed");
}

} // namespace
} // namespace kestrun
