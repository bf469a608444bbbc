// The CP2110 driver against a fake hidapi that behaves as the chip does: enumeration, the
// UART's enable and purge, reports in both directions, timeouts and an unplugged device.

#include "link/cp2110/Cp2110Bridge.h"
#include "tests/drivers/FakeHidapi.h"
#include "tests/drivers/WireText.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

namespace kestrun {
namespace {

using test::hex;

NodeAccess fakeAccess(const std::string& path) {
    const fakehid::Device* d = fakehid::device(path);
    if (d == nullptr || !d->present) {
        return NodeAccess::Missing;
    }
    return d->denied ? NodeAccess::Denied : NodeAccess::Granted;
}

const std::string BridgePath = "/dev/hidraw4";

class Cp2110Test : public ::testing::Test {
protected:
    void SetUp() override { fakehid::reset(); }
    void TearDown() override {
        bridge.reset();
        EXPECT_EQ(fakehid::liveEnumerations(), 0) << "an enumeration list was not freed";
        fakehid::reset();
    }

    /// Plugs in the bridge and opens it through the driver.
    BridgeHandle openBridge() {
        fakehid::addDevice(BridgePath, L"CP2110 HID USB-to-UART Bridge");
        uint32_t count = 0;
        EXPECT_EQ(bridge->HidUart_GetNumDevices(&count, 0, 0), BridgeStatusCode::Success);
        BridgeHandle handle = nullptr;
        EXPECT_EQ(bridge->HidUart_Open(&handle, 0, 0, 0), BridgeStatusCode::Success);
        EXPECT_NE(handle, nullptr);
        return handle;
    }

    std::string stringOf(uint32_t index, uint32_t option, BridgeStatus expected = 0) {
        std::vector<char> buffer(DeviceStringLength, 'x'); // exactly the library's size
        EXPECT_EQ(bridge->HidUart_GetString(index, 0, 0, buffer.data(), option), expected);
        return std::string(buffer.data());
    }

    fakehid::Device& chip() { return *fakehid::device(BridgePath); }

    std::unique_ptr<Cp2110Bridge> bridge =
        std::make_unique<Cp2110Bridge>(fakeAccess, fakehid::clockMs);
};

// --- enumeration -------------------------------------------------------------------------------

TEST_F(Cp2110Test, ListsEachPathOnceInPathOrder) {
    fakehid::addDevice("/dev/hidraw10", L"CP2110 HID USB-to-UART Bridge").listings = 3;
    fakehid::addDevice("/dev/hidraw2", L"USB Keyboard").listings = 2;
    fakehid::addDevice("/dev/hidraw1", L"Mouse");
    uint32_t count = 0;
    ASSERT_EQ(bridge->HidUart_GetNumDevices(&count, 0, 0), BridgeStatusCode::Success);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(stringOf(0, BridgeStringOption::Path), "/dev/hidraw1");
    EXPECT_EQ(stringOf(1, BridgeStringOption::Path), "/dev/hidraw2");
    EXPECT_EQ(stringOf(2, BridgeStringOption::Path), "/dev/hidraw10");
    EXPECT_EQ(stringOf(2, BridgeStringOption::Product), "CP2110 HID USB-to-UART Bridge");
    EXPECT_EQ(stringOf(3, BridgeStringOption::Product, BridgeStatusCode::DeviceNotFound), "");
    EXPECT_EQ(stringOf(0, 5, BridgeStatusCode::InvalidParameter), "");
}

TEST_F(Cp2110Test, ProductStringsBecomeEightBitText) {
    struct Case {
        std::wstring product;
        bool present;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {L"CP2110 HID USB-to-UART Bridge", true, "CP2110 HID USB-to-UART Bridge"},
        {L"Caf\u00e9 CP2110", true, "Caf\xe9 CP2110"}, // Latin-1 kept as it is
        {L"\u0141\u00f3d\u017a CP2110", true,
         "?\xf3"
         "d? CP2110"}, // beyond 0xFF: '?'
        {L"", true, ""},
        {L"ignored", false, ""}, // the device gives no product string at all
        {std::wstring(400, L'C'), true, std::string(DeviceStringLength - 1, 'C')},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        fakehid::reset();
        fakehid::addDevice("/dev/hidraw0", cases[i].product).hasProduct = cases[i].present;
        uint32_t count = 0;
        bridge->HidUart_GetNumDevices(&count, 0, 0);
        EXPECT_EQ(stringOf(0, BridgeStringOption::Product), cases[i].expected) << "case " << i;
    }
}

TEST_F(Cp2110Test, ListDevicesTellsABridgeWithoutRights) {
    fakehid::addDevice("/dev/hidraw3", L"CP2110 HID USB-to-UART Bridge").denied = true;
    auto& keyboard = fakehid::addDevice("/dev/hidraw0", L"Keyboard");
    keyboard.vendorId = 0x046D;
    keyboard.productId = 0xC31C;
    const std::vector<HidDeviceInfo> devices = bridge->listDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].index, 0u);
    EXPECT_EQ(devices[0].path, "/dev/hidraw0");
    EXPECT_EQ(devices[0].vendorId, 0x046D);
    EXPECT_TRUE(devices[0].accessible);
    EXPECT_EQ(devices[1].index, 1u);
    EXPECT_EQ(devices[1].product, "CP2110 HID USB-to-UART Bridge");
    EXPECT_EQ(devices[1].productId, 0xEA80);
    EXPECT_FALSE(devices[1].accessible);
    // The same index opens the same device, and the refusal has its own status.
    BridgeHandle handle = nullptr;
    EXPECT_EQ(bridge->HidUart_Open(&handle, 1, 0, 0), BridgeStatusCode::DeviceAccessError);
}

// --- open and close ----------------------------------------------------------------------------

TEST_F(Cp2110Test, OpenEnablesTheUartAndPurgesCloseDisablesIt) {
    fakehid::addDevice(BridgePath, L"CP2110 HID USB-to-UART Bridge");
    fakehid::controllerSends(BridgePath, {0x55}); // UART still off: never received
    uint32_t count = 0;
    bridge->HidUart_GetNumDevices(&count, 0, 0);
    BridgeHandle handle = nullptr;
    ASSERT_EQ(bridge->HidUart_Open(&handle, 0, 0, 0), BridgeStatusCode::Success);
    ASSERT_EQ(chip().featureReports.size(), 2u);
    EXPECT_EQ(hex(chip().featureReports[0]), "41 01");
    EXPECT_EQ(hex(chip().featureReports[1]), "43 03");
    EXPECT_TRUE(chip().uartEnabled);

    std::array<uint8_t, 8> buffer{};
    uint32_t read = 9;
    EXPECT_EQ(bridge->HidUart_Read(handle, buffer.data(), 8, &read),
              BridgeStatusCode::ReadTimedOut);
    EXPECT_EQ(read, 0u);

    std::array<char, DeviceStringLength> path{};
    EXPECT_EQ(bridge->HidUart_GetOpenedString(handle, path.data(), BridgeStringOption::Path), 0);
    EXPECT_STREQ(path.data(), BridgePath.c_str());

    EXPECT_EQ(bridge->HidUart_Close(handle), BridgeStatusCode::Success);
    EXPECT_EQ(hex(chip().featureReports.back()), "41 00");
    EXPECT_FALSE(chip().uartEnabled);
    EXPECT_EQ(chip().openHandles, 0);
    // The handle is dead now.
    EXPECT_EQ(bridge->HidUart_Read(handle, buffer.data(), 8, &read),
              BridgeStatusCode::InvalidHandle);
    EXPECT_EQ(bridge->HidUart_Close(handle), BridgeStatusCode::InvalidHandle);
}

TEST_F(Cp2110Test, OpenFailuresMapToTheirStatus) {
    struct Case {
        const char* name;
        void (*stage)(fakehid::Device&);
        BridgeStatus expected;
    };
    const Case cases[] = {
        {"node without rights", [](fakehid::Device& d) { d.denied = true; },
         BridgeStatusCode::DeviceAccessError},
        {"unplugged since counted", [](fakehid::Device& d) { fakehid::unplug(d.path); },
         BridgeStatusCode::DeviceNotFound},
        {"open refused", [](fakehid::Device& d) { d.openFails = true; },
         BridgeStatusCode::DeviceIoFailed},
        {"UART enable refused", [](fakehid::Device& d) { d.featureFails = true; },
         BridgeStatusCode::DeviceIoFailed},
    };
    for (const Case& c : cases) {
        fakehid::reset();
        fakehid::Device& d = fakehid::addDevice(BridgePath, L"CP2110");
        uint32_t count = 0;
        bridge->HidUart_GetNumDevices(&count, 0, 0);
        c.stage(d);
        BridgeHandle handle = &count;
        EXPECT_EQ(bridge->HidUart_Open(&handle, 0, 0, 0), c.expected) << c.name;
        EXPECT_EQ(handle, nullptr) << c.name;
        EXPECT_EQ(d.openHandles, 0) << c.name << ": a failed open must not keep the device";
    }
}

// --- reading -----------------------------------------------------------------------------------

TEST_F(Cp2110Test, ReadGathersReportsAndKeepsWhatDoesNotFit) {
    BridgeHandle handle = openBridge();
    std::vector<uint8_t> sent(100);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<uint8_t>(i);
    }
    fakehid::controllerSends(BridgePath, sent, 63); // reports of 63 and 37
    std::array<uint8_t, 256> buffer{};
    uint32_t n = 0;
    // 10 asked: all there, the rest of the first report is held back, not lost.
    ASSERT_EQ(bridge->HidUart_Read(handle, buffer.data(), 10, &n), BridgeStatusCode::Success);
    ASSERT_EQ(n, 10u);
    // 255 asked: the held 53 bytes and the second report, fewer than asked.
    uint32_t m = 0;
    ASSERT_EQ(bridge->HidUart_Read(handle, buffer.data() + 10, 255, &m),
              BridgeStatusCode::ReadTimedOut);
    ASSERT_EQ(m, 90u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 100), sent);
    EXPECT_EQ(buffer[100], 0) << "nothing written past the bytes read";
}

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
            std::vector<uint8_t> buffer(1 + random() % 255);
            uint32_t n = 0;
            const BridgeStatus status = bridge->HidUart_Read(
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
    fakehid::queueRawReport(BridgePath, {0x00, 0xEE, 0xEE});       // id 0: no data
    fakehid::queueRawReport(BridgePath, {0x42, 0x00, 0x01});       // a status report id
    fakehid::queueRawReport(BridgePath, {0x0A, 0x31, 0x32, 0x33}); // claims 10, carries 3
    fakehid::queueRawReport(BridgePath, {0x01, 0x34, 0x99});       // trailing byte beyond id
    std::array<uint8_t, 16> buffer{};
    uint32_t n = 0;
    EXPECT_EQ(bridge->HidUart_Read(handle, buffer.data(), 16, &n), BridgeStatusCode::ReadTimedOut);
    EXPECT_EQ(hex({buffer.data(), n}), "31 32 33 34");
}

TEST_F(Cp2110Test, UnplugFailsReadsAfterHandingOverWhatWasHeld) {
    BridgeHandle handle = openBridge();
    fakehid::controllerSends(BridgePath, std::vector<uint8_t>(40, 0x77));
    std::array<uint8_t, 64> buffer{};
    uint32_t n = 0;
    ASSERT_EQ(bridge->HidUart_Read(handle, buffer.data(), 30, &n), BridgeStatusCode::Success);
    fakehid::unplug(BridgePath);
    // The ten bytes already taken from the chip still reach the link.
    EXPECT_EQ(bridge->HidUart_Read(handle, buffer.data(), 64, &n), BridgeStatusCode::ReadTimedOut);
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(bridge->HidUart_Read(handle, buffer.data(), 64, &n),
              BridgeStatusCode::DeviceIoFailed);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(bridge->HidUart_Write(handle, buffer.data(), 1, &n),
              BridgeStatusCode::DeviceIoFailed);
    EXPECT_EQ(bridge->HidUart_Close(handle), BridgeStatusCode::Success);
    EXPECT_EQ(chip().openHandles, 0);
}

// --- writing -----------------------------------------------------------------------------------

TEST_F(Cp2110Test, WriteSplitsIntoReportsOfAtMost63Bytes) {
    BridgeHandle handle = openBridge();
    struct Case {
        uint32_t length;
        std::vector<std::size_t> reportSizes;
    };
    const Case cases[] = {{1, {2}}, {63, {64}}, {64, {64, 2}}, {130, {64, 64, 5}}, {0, {}}};
    for (const Case& c : cases) {
        chip().outputReports.clear();
        chip().uartOut.clear();
        std::vector<uint8_t> bytes(c.length);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<uint8_t>(0xC0 ^ i);
        }
        uint32_t written = 99;
        EXPECT_EQ(bridge->HidUart_Write(handle, bytes.data(), c.length, &written),
                  BridgeStatusCode::Success);
        EXPECT_EQ(written, c.length);
        ASSERT_EQ(chip().outputReports.size(), c.reportSizes.size()) << c.length << " bytes";
        for (std::size_t r = 0; r < c.reportSizes.size(); ++r) {
            EXPECT_EQ(chip().outputReports[r].size(), c.reportSizes[r]);
            EXPECT_EQ(chip().outputReports[r][0], c.reportSizes[r] - 1) << "report id = count";
        }
        EXPECT_EQ(chip().uartOut, bytes);
    }
    EXPECT_EQ(chip().malformedReports, 0);
}

TEST_F(Cp2110Test, WriteStopsStartingReportsOnceTheTimeoutHasRunOut) {
    BridgeHandle handle = openBridge();
    bridge->HidUart_SetTimeouts(handle, 0, 2000);
    chip().writeDelayMs = 1500; // a bus so slow that each report takes 1.5 s
    std::vector<uint8_t> bytes(200, 0x3C);
    uint32_t written = 0;
    // 0 ms: first report; 1500 ms: second (still inside 2000); 3000 ms: stop.
    EXPECT_EQ(bridge->HidUart_Write(handle, bytes.data(), 200, &written),
              BridgeStatusCode::WriteTimedOut);
    EXPECT_EQ(written, 126u);
    EXPECT_EQ(chip().outputReports.size(), 2u);
    // A single byte always gets its one report, however slow the bus.
    chip().writeDelayMs = 5000;
    EXPECT_EQ(bridge->HidUart_Write(handle, bytes.data(), 1, &written), BridgeStatusCode::Success);
}

TEST_F(Cp2110Test, RefusedReportIsAWriteError) {
    BridgeHandle handle = openBridge();
    chip().writeFails = true;
    const uint8_t byte = 0x3B;
    uint32_t written = 7;
    EXPECT_EQ(bridge->HidUart_Write(handle, &byte, 1, &written), BridgeStatusCode::WriteError);
    EXPECT_EQ(written, 0u);
}

} // namespace
} // namespace kestrun
