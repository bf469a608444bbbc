// The CP2110 driver against a fake hidapi that behaves as the chip does: enumeration, the
// UART's enable and purge, reports in both directions, timeouts, an unplugged device; then Get
// Data and Send Data through the link engine and the driver, with the test as the controller.

#include "link/cp2110/Cp2110Bridge.h"
#include "link/LinkEngine.h"
#include "link/SettingsExchange.h"
#include "tests/drivers/FakeHidapi.h"
#include "tests/drivers/WireText.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace kestrun {
namespace {

using test::hex;

const std::string BridgePath = "/dev/hidraw7";

class Cp2110Test : public ::testing::Test {
protected:
    void SetUp() override { fakehid::reset(); }

    uint32_t count() {
        uint32_t n = 0;
        EXPECT_EQ(bridge.HidUart_GetNumDevices(&n, 0, 0), BridgeStatusCode::Success);
        return n;
    }
    /// Plugs in the bridge and opens it through the driver. What the controller sent before
    /// the UART was enabled must never reach the link.
    BridgeHandle openBridge() {
        fakehid::addDevice(BridgePath, L"CP2110 HID USB-to-UART Bridge");
        fakehid::controllerSends(BridgePath, {0x55});
        count();
        BridgeHandle handle = nullptr;
        EXPECT_EQ(bridge.HidUart_Open(&handle, 0, 0, 0), BridgeStatusCode::Success);
        return handle;
    }
    std::string stringOf(uint32_t index, uint32_t option, BridgeStatus expected = 0) {
        std::vector<char> buffer(DeviceStringLength, 'x'); // exactly the size the link passes
        EXPECT_EQ(bridge.HidUart_GetString(index, 0, 0, buffer.data(), option), expected);
        return std::string(buffer.data());
    }
    fakehid::Device& chip() { return *fakehid::device(BridgePath); }

    Cp2110Bridge bridge{fakehid::nodeAccess, fakehid::clockMs};
};

// hidapi lists a device once per top-level usage, in no useful order, with wide product
// strings that may be missing; the link needs each path once, stably ordered, as 8-bit text.
TEST_F(Cp2110Test, ListsEachPathOnceInPathOrderWithEightBitText) {
    auto& cp2110 = fakehid::addDevice("/dev/hidraw10", L"CP2110 HID USB-to-UART Bridge");
    cp2110.listings = 3;
    cp2110.denied = true;
    auto& keyboard = fakehid::addDevice("/dev/hidraw2", L"Caf\u00e9 \u0141\u00f3d\u017a");
    keyboard.listings = 2;
    keyboard.vendorId = 0x046D;
    fakehid::addDevice("/dev/hidraw1", L"").hasProduct = false;
    fakehid::addDevice("/dev/hidraw3", std::wstring(400, L'C'));
    ASSERT_EQ(count(), 4u);
    const std::pair<const char*, std::string> expected[] = {
        {"/dev/hidraw1", ""},
        {"/dev/hidraw2", "Caf\xe9 ?\xf3"
                         "d?"}, // Latin-1 kept, beyond 0xFF '?'
        {"/dev/hidraw3", std::string(DeviceStringLength - 1, 'C')},
        {"/dev/hidraw10", "CP2110 HID USB-to-UART Bridge"},
    };
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(stringOf(i, BridgeStringOption::Path), expected[i].first) << i;
        EXPECT_EQ(stringOf(i, BridgeStringOption::Product), expected[i].second) << i;
    }
    EXPECT_EQ(stringOf(4, BridgeStringOption::Product, BridgeStatusCode::DeviceNotFound), "");
    EXPECT_EQ(stringOf(0, 5, BridgeStatusCode::InvalidParameter), "");

    // The list `kestrun-cli devices` prints: the same indexes, and the bridge without its rule.
    const std::vector<HidDeviceInfo> devices = bridge.listDevices();
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[1].vendorId, 0x046D);
    EXPECT_TRUE(devices[1].accessible);
    EXPECT_EQ(devices[3].productId, 0xEA80);
    EXPECT_FALSE(devices[3].accessible);
}

TEST_F(Cp2110Test, OpenEnablesTheUartAndPurgesCloseDisablesIt) {
    BridgeHandle handle = openBridge();
    EXPECT_EQ(chip().featureReports,
              (std::vector<std::vector<uint8_t>>{{0x41, 0x01}, {0x43, 0x03}}));
    std::array<uint8_t, 8> buffer{};
    uint32_t read = 9;
    EXPECT_EQ(bridge.HidUart_Read(handle, buffer.data(), 8, &read), BridgeStatusCode::ReadTimedOut);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(bridge.HidUart_Close(handle), BridgeStatusCode::Success);
    EXPECT_EQ(hex(chip().featureReports.back()), "41 00");
    EXPECT_EQ(chip().openHandles, 0);
    EXPECT_EQ(bridge.HidUart_Read(handle, buffer.data(), 8, &read),
              BridgeStatusCode::InvalidHandle);
}

TEST_F(Cp2110Test, OpenFailuresMapToTheirStatus) {
    using Chip = fakehid::Device;
    const std::tuple<const char*, bool Chip::*, bool, BridgeStatus> cases[] = {
        {"node without rights", &Chip::denied, true, BridgeStatusCode::DeviceAccessError},
        {"unplugged since counted", &Chip::present, false, BridgeStatusCode::DeviceNotFound},
        {"open refused", &Chip::openFails, true, BridgeStatusCode::DeviceIoFailed},
        {"UART enable refused", &Chip::featureFails, true, BridgeStatusCode::DeviceIoFailed},
    };
    for (const auto& [name, flag, value, expected] : cases) {
        fakehid::reset();
        fakehid::Device& d = fakehid::addDevice(BridgePath, L"CP2110");
        count();
        d.*flag = value;
        BridgeHandle handle = &d;
        EXPECT_EQ(bridge.HidUart_Open(&handle, 0, 0, 0), expected) << name;
        EXPECT_EQ(handle, nullptr) << name;
        EXPECT_EQ(d.openHandles, 0) << name << ": a failed open must not keep the device";
    }
}

// Reports of any size, read with buffers of any size: every byte arrives once, in order, a
// report that does not fit keeps its remainder, and the status says whether the read filled.
TEST_F(Cp2110Test, AnySplitOfTheStreamReadsBackInOrder) {
    BridgeHandle handle = openBridge();
    std::mt19937 random(2110);
    for (int round = 0; round < 50; ++round) {
        std::vector<uint8_t> sent(1 + random() % 700);
        for (uint8_t& b : sent) {
            b = static_cast<uint8_t>(random());
        }
        for (std::size_t at = 0; at < sent.size();) {
            const std::size_t n = std::min<std::size_t>(1 + random() % 63, sent.size() - at);
            fakehid::controllerSends(BridgePath, {sent.begin() + at, sent.begin() + at + n});
            at += n;
        }
        std::vector<uint8_t> got;
        for (int reads = 0; got.size() < sent.size() && reads < 1000; ++reads) {
            std::vector<uint8_t> buffer(1 + random() % 255); // exact size: ASan sees overruns
            uint32_t n = 0;
            const BridgeStatus status = bridge.HidUart_Read(
                handle, buffer.data(), static_cast<uint32_t>(buffer.size()), &n);
            ASSERT_LE(n, buffer.size());
            ASSERT_EQ(status, n == buffer.size() ? BridgeStatusCode::Success
                                                 : BridgeStatusCode::ReadTimedOut);
            got.insert(got.end(), buffer.begin(), buffer.begin() + n);
        }
        ASSERT_EQ(got, sent) << "round " << round;
    }
}

TEST_F(Cp2110Test, ReportsThatAreNotUartDataAreSkipped) {
    BridgeHandle handle = openBridge();
    chip().inputReports = {{0x00, 0xEE, 0xEE},       // id 0: no data
                           {0x42, 0x00, 0x01},       // a status report id
                           {0x0A, 0x31, 0x32, 0x33}, // claims 10, carries 3
                           {0x01, 0x34, 0x99}};      // a byte beyond what the id claims
    std::array<uint8_t, 16> buffer{};
    uint32_t n = 0;
    EXPECT_EQ(bridge.HidUart_Read(handle, buffer.data(), 16, &n), BridgeStatusCode::ReadTimedOut);
    EXPECT_EQ(hex({buffer.data(), n}), "31 32 33 34");
}

// The chip takes only reports whose id is their data count, 1 to 63 (the fake refuses others).
TEST_F(Cp2110Test, WriteSplitsIntoReportsOfAtMost63Bytes) {
    BridgeHandle handle = openBridge();
    const std::pair<uint32_t, std::size_t> cases[] = {{1, 1}, {63, 1}, {64, 2}, {130, 3}, {0, 0}};
    for (const auto& [length, reports] : cases) {
        chip().outputReports.clear();
        chip().uartOut.clear();
        std::vector<uint8_t> bytes(length);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<uint8_t>(0xC0 ^ i);
        }
        uint32_t written = 99;
        EXPECT_EQ(bridge.HidUart_Write(handle, bytes.data(), length, &written), 0) << length;
        EXPECT_EQ(written, length);
        EXPECT_EQ(chip().outputReports.size(), reports) << length << " bytes";
        EXPECT_EQ(chip().uartOut, bytes) << length << " bytes";
    }
}

TEST_F(Cp2110Test, WriteTimesOutBetweenReportsAndReportsARefusal) {
    BridgeHandle handle = openBridge();
    bridge.HidUart_SetTimeouts(handle, 0, 2000);
    chip().writeDelayMs = 1500; // a bus so slow that each report takes 1.5 s
    std::vector<uint8_t> bytes(200, 0x3C);
    uint32_t written = 0;
    // 0 ms: first report; 1500 ms: second (still inside 2000); 3000 ms: stop.
    EXPECT_EQ(bridge.HidUart_Write(handle, bytes.data(), 200, &written),
              BridgeStatusCode::WriteTimedOut);
    EXPECT_EQ(written, 126u);
    // A single byte always gets its one report, however slow the bus.
    chip().writeDelayMs = 5000;
    EXPECT_EQ(bridge.HidUart_Write(handle, bytes.data(), 1, &written), BridgeStatusCode::Success);
    chip().writeFails = true;
    EXPECT_EQ(bridge.HidUart_Write(handle, bytes.data(), 1, &written),
              BridgeStatusCode::WriteError);
    EXPECT_EQ(written, 0u);
}

// --- the link over the driver ------------------------------------------------------------------

class Cp2110Link : public Cp2110Test {
protected:
    void SetUp() override {
        fakehid::reset();
        // Another HID device sorts first: the link must pass it over for the bridge.
        fakehid::addDevice("/dev/hidraw0", L"USB Optical Mouse");
        fakehid::addDevice(BridgePath, L"CP2110 HID USB-to-UART Bridge").listings = 2;
        engine.reset();
        engine.ConnectBridge();
    }
    /// The reports the host wrote, one per line, and forgets them.
    std::vector<std::string> takeReports() {
        std::vector<std::string> lines;
        for (const auto& report : chip().outputReports) {
            lines.push_back(hex(report));
        }
        chip().outputReports.clear();
        return lines;
    }
    /// The controller sends bytes [from, to) of `bytes`, `perReport` to an input report.
    void sends(const std::vector<uint8_t>& bytes, int from, int to, std::size_t perReport = 63) {
        fakehid::controllerSends(BridgePath, {bytes.begin() + from, bytes.begin() + to}, perReport);
    }

    test::RecordingHost host;
    LinkEngine engine{bridge, host};
    SettingsExchange exchange{engine, host.record};
};

TEST_F(Cp2110Link, GetDataThenSendDataByteExactOnTheWire) {
    EXPECT_EQ(host.connectionText, "Connected");
    EXPECT_EQ(fakehid::device("/dev/hidraw0")->openHandles, 0) << "the mouse is no bridge";
    exchange.GetData();
    EXPECT_EQ(takeReports(), (std::vector<std::string>{"01 3B", "01 47"}));

    const std::vector<uint8_t> reply = test::settingsFrame(test::BenchRecord);
    // tick 1: a stray byte, then the header with five record bytes, in two reports
    fakehid::controllerSends(BridgePath, {0x00});
    sends(reply, 0, 7);
    engine.LinkTick();
    EXPECT_EQ(engine.linkState(), LinkState::GetRecord);
    // tick 2: nothing arrives; tick 3: eleven record bytes, one byte per report
    engine.LinkTick();
    sends(reply, 7, 18, 1);
    engine.LinkTick();
    EXPECT_EQ(exchange.receiveCount(), 2);
    EXPECT_EQ(host.statusText, "---");
    // tick 4: the last two record bytes and the check byte
    sends(reply, 18, 21);
    engine.LinkTick();
    EXPECT_EQ(host.statusText, "Data Received");
    EXPECT_EQ(host.record, test::BenchRecord);
    EXPECT_EQ(host.recordToControlsCalls, 1);

    // Send Data: what the controls show, one report [01 byte] per byte, then the acknowledgement.
    host.controls.values[0] = 7;
    exchange.SendData();
    const std::vector<uint8_t> frame = test::settingsFrame(recordFromShown(host.controls));
    std::vector<std::string> expected;
    for (uint8_t b : frame) {
        expected.push_back(hex(std::vector<uint8_t>{0x01, b}));
    }
    EXPECT_EQ(takeReports(), expected);
    engine.LinkTick();
    fakehid::controllerSends(BridgePath, {0x01});
    engine.LinkTick();
    EXPECT_EQ(host.statusText, "Data Sent");
    EXPECT_TRUE(engine.isIdle());
}

TEST_F(Cp2110Link, UnplugShowsWriteFailuresThenReplugReconnects) {
    fakehid::plug(BridgePath, false);
    engine.LinkTick(); // the read fails: bytes are simply not there, nothing is shown
    EXPECT_TRUE(host.messages.empty());
    exchange.GetData(); // before the removal notice: one box per byte
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, "Failed to transmit : Device I/O failed");

    const DeviceNotice removed{DeviceTypeInterface, "/DEV/HIDRAW7"};
    engine.HandleDeviceChange(DeviceRemoveComplete, &removed);
    EXPECT_EQ(host.connectionText, "Disconnected");
    EXPECT_EQ(chip().openHandles, 0);

    fakehid::plug(BridgePath, true);
    const DeviceNotice arrived{DeviceTypeInterface, BridgePath};
    engine.HandleDeviceChange(DeviceArrival, &arrived);
    EXPECT_EQ(host.connectionText, "Connected");
    engine.TransmitByte(0x3B);
    EXPECT_EQ(hex(chip().uartOut), "3B") << "the UART is enabled again after power-up";
}

} // namespace
} // namespace kestrun
