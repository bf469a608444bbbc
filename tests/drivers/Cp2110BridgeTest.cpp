// The CP2110 driver against a fake hidapi that behaves as the chip and the kernel do (enumeration,
// the UART's open sequence, reports both ways, one owner per bridge, a write the kernel holds, an
// unplug), then Get Data and Send Data through the link and the driver, the test as controller.

#include "link/cp2110/Cp2110Bridge.h"
#include "link/owner/OwnerLock.h"
#include "tests/drivers/FakeHidapi.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <random>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

namespace kestrun {
namespace {

using test::hexText;
using Lines = std::vector<std::string>;

/// A get reply or a send frame: A5 5A, the record, its sum.
std::vector<uint8_t> frame(const SettingsRecord& record) {
    return test::hexBytes(test::getReply(record));
}
/// A record unlike the start record in every field, with the header bytes A5 and 5A among its
/// data: once the header is complete they are ordinary bytes.
constexpr SettingsRecord BenchRecord = {0x2A, 0x5A, 0x01, 0xA5, 0x02, 0x01, 0x03, 0x01, 0x00,
                                        0x52, 0x0F, 0xFF, 0x01, 0x9A, 0x07, 0xFF, 0x0A, 0x3D};
/// Reports as hex text, one a line.
Lines lines(const std::vector<std::vector<uint8_t>>& reports) {
    Lines out;
    for (const auto& report : reports) {
        out.push_back(hexText(report));
    }
    return out;
}

const std::string BridgePath = "/dev/hidraw7";

class Cp2110Test : public ::testing::Test {
protected:
    void SetUp() override {
        fakehid::devices.clear();
        // Each test process owns bridges in a runtime folder of its own.
        ::setenv("XDG_RUNTIME_DIR", rig.folder.path().c_str(), 1);
    }
    /// Plugs in the bridge as another program left it (UART on, 9600 baud with RTS/CTS, a get
    /// reply for some other record waiting in the chip's FIFO), and lists the devices.
    fakehid::Device& plugIn() {
        fakehid::Device& chip = fakehid::addDevice(BridgePath, L"CP2110 HID USB-to-UART Bridge");
        chip.uartEnabled = true;
        chip.uartConfig = {0x50, 0x00, 0x00, 0x25, 0x80, 0x00, 0x01, 0x03, 0x00};
        chip.fifo = frame(SettingsRecord{});
        bridge.listDevices();
        return chip;
    }
    BridgeHandle openBridge() {
        plugIn();
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

    test::Rig<Cp2110Bridge> rig{false, fakehid::nodeAccess};
    Cp2110Bridge& bridge = rig.bridge;
};

// hidapi lists a device once per top-level usage, in no useful order, with wide product
// strings that may be missing; the link needs each path once, stably ordered, as 8-bit text.
// `kestrun-cli devices` lists the same indexes, points out the bridge without its udev rule,
// and the bridge's ids without "CP2110" in the name.
TEST_F(Cp2110Test, ListsEachPathOnceInPathOrderWithEightBitText) {
    auto& cp2110 = fakehid::addDevice("/dev/hidraw10", L"CP2110 HID USB-to-UART Bridge");
    cp2110.listings = 3;
    cp2110.denied = true;
    auto& keyboard = fakehid::addDevice("/dev/hidraw2", L"Caf\u00e9 \u0141\u00f3w");
    keyboard.listings = 2;
    keyboard.vendorId = 0x046D;
    fakehid::addDevice("/dev/hidraw1", L"").product.reset();
    fakehid::addDevice("/dev/hidraw3", std::wstring(400, L'C'));
    const std::vector<HidDeviceInfo> devices = bridge.listDevices();
    ASSERT_EQ(devices.size(), 4u);
    const std::tuple<const char*, std::string, bool, bool> expected[] = {
        {"/dev/hidraw1", "", true, true},
        {"/dev/hidraw2", "Caf\xe9 ?\xf3w", true, false}, // Latin-1 kept, beyond 0xFF '?'
        {"/dev/hidraw3", std::string(DeviceStringLength - 1, 'C'), true, true},
        {"/dev/hidraw10", "CP2110 HID USB-to-UART Bridge", false, false},
    };
    for (uint32_t i = 0; i < 4; ++i) {
        const auto& [path, product, accessible, unnamed] = expected[i];
        EXPECT_EQ(stringOf(i, BridgeStringOption::Path), path);
        EXPECT_EQ(stringOf(i, BridgeStringOption::Product), product) << path;
        EXPECT_EQ(devices[i].accessible, accessible) << path;
        EXPECT_EQ(devices[i].unnamedBridge, unnamed) << path;
    }
    EXPECT_EQ(devices[1].vendorId, 0x046D);
    EXPECT_EQ(devices[3].productId, 0xEA80);
    EXPECT_EQ(stringOf(4, BridgeStringOption::Product, BridgeStatusCode::DeviceNotFound), "");
    EXPECT_EQ(stringOf(0, 5, BridgeStatusCode::InvalidParameter), "");
}

// The chip keeps the last program's UART configuration and the kernel queues its stale reports
// in the new handle before the purge: the open must set 115200 8N1 (or the chosen rate), read
// it back, and drop every stale report, so nothing of it reaches the first exchange. An open that
// fails keeps nothing open, with the status saying why.
TEST_F(Cp2110Test, OpenSetsTheUartUpAndDropsStaleReportsOrFailsWithItsStatus) {
    for (const auto& [baud, config] :
         {std::pair<uint32_t, std::string>{9600, "50 00 00 25 80 00 00 03 00"},
          {115200, "50 00 01 C2 00 00 00 03 00"}}) {
        fakehid::devices.clear();
        bridge.setBaud(baud);
        BridgeHandle handle = openBridge();
        uint8_t buffer[8];
        uint32_t read = 9;
        EXPECT_EQ(bridge.HidUart_Read(handle, buffer, 8, &read), BridgeStatusCode::ReadTimedOut);
        EXPECT_EQ(read, 0u) << "a stale report reached the link";
        EXPECT_EQ(bridge.HidUart_Close(handle), BridgeStatusCode::Success);
        EXPECT_EQ(lines(chip().featureReports), (Lines{"41 01", config, "43 03", "41 00"}));
        EXPECT_EQ(chip().openHandles, 0);
        EXPECT_EQ(bridge.HidUart_Read(handle, buffer, 8, &read), BridgeStatusCode::InvalidHandle);
    }
    using Chip = fakehid::Device;
    const std::tuple<const char*, bool Chip::*, bool, BridgeStatus> cases[] = {
        {"node without rights", &Chip::denied, true, BridgeStatusCode::DeviceAccessError},
        {"unplugged since counted", &Chip::present, false, BridgeStatusCode::DeviceNotFound},
        {"open refused", &Chip::openFails, true, BridgeStatusCode::DeviceIoFailed},
        {"UART enable refused", &Chip::featureFails, true, BridgeStatusCode::DeviceIoFailed},
        {"configuration not kept", &Chip::configSticks, false, BridgeStatusCode::DeviceIoFailed},
    };
    for (const auto& [name, flag, value, expected] : cases) {
        fakehid::devices.clear();
        Chip& chip = plugIn();
        chip.*flag = value;
        BridgeHandle handle = &chip;
        EXPECT_EQ(bridge.HidUart_Open(&handle, 0, 0, 0), expected) << name;
        EXPECT_EQ(handle, nullptr) << name;
        EXPECT_EQ(chip.openHandles, 0) << name << ": a failed open must not keep the device";
    }
    EXPECT_EQ(bridge.lastOpenProblem().text,
              BridgePath + ": the bridge did not keep its UART configuration (115200 baud, 8N1, "
                           "no flow control)");
}

// A second Kestrun process is refused before it touches the bridge, with the owner named, while
// the first goes on working; an owner killed holding the bridge leaves nothing locked.
TEST_F(Cp2110Test, SecondOwnerIsRefusedAndTheFirstKeepsWorking) {
    BridgeHandle first = openBridge();
    const std::size_t features = chip().featureReports.size();
    test::Rig<Cp2110Bridge> second(true, fakehid::nodeAccess);
    EXPECT_EQ(second.host.connectionText, "In use");
    second.exchange.GetData();
    ASSERT_EQ(second.host.messages.size(), 1u);
    EXPECT_EQ(second.host.messages[0].text, BridgePath + " is in use by " +
                                                program_invocation_short_name + " (pid " +
                                                std::to_string(::getpid()) + ")");
    EXPECT_EQ(chip().featureReports.size(), features) << "no enable, purge or disable";
    EXPECT_EQ(chip().openHandles, 1);
    bridge.HidUart_Close(first);
    second.engine.ConnectBridge();
    EXPECT_EQ(second.host.connectionText, "Connected");
    second.engine.shutdown();

    const pid_t owner = ::fork();
    if (owner == 0) { // takes the bridge and is killed holding it
        std::string unused;
        const auto lock = OwnerLock::acquire(BridgePath, unused);
        ::raise(SIGSTOP);
    }
    ASSERT_EQ(::waitpid(owner, nullptr, WUNTRACED), owner); // stopped, holding the bridge
    std::string holder;
    EXPECT_EQ(OwnerLock::acquire(BridgePath, holder), nullptr);
    EXPECT_NE(holder.find("(pid " + std::to_string(owner) + ")"), std::string::npos) << holder;
    ::kill(owner, SIGKILL);
    ::waitpid(owner, nullptr, 0);
    EXPECT_NE(OwnerLock::acquire(BridgePath, holder), nullptr) << "the dead owner still holds it";
}

// Reports of any size, read with buffers of any size: every byte arrives once, in order, a
// report that does not fit keeps its remainder, and the status says whether the read filled.
// Reports that carry no UART data are skipped. Writes go out in reports the chip takes: their id
// is their data count, 1 to 63 (the fake refuses others).
TEST_F(Cp2110Test, AnySplitOfTheStreamReadsBackInOrderAndWritesSplitIntoReports) {
    BridgeHandle handle = openBridge();
    chip().queue = {{0x00, 0xEE, 0xEE},       // id 0: no data
                    {0x42, 0x00, 0x01},       // a status report id
                    {0x0A, 0x31, 0x32, 0x33}, // claims 10, carries 3
                    {0x01, 0x34, 0x99}};      // a byte beyond what the id claims
    uint8_t buffer[16];
    uint32_t n = 0;
    EXPECT_EQ(bridge.HidUart_Read(handle, buffer, 16, &n), BridgeStatusCode::ReadTimedOut);
    EXPECT_EQ(hexText({buffer, n}), "31 32 33 34");
    std::mt19937 random(2110);
    for (int round = 0; round < 50; ++round) {
        std::vector<uint8_t> sent(1 + random() % 700);
        std::generate(sent.begin(), sent.end(), [&] { return static_cast<uint8_t>(random()); });
        std::size_t at = 0;
        for (int reports = 0; at < sent.size() && reports < 64; ++reports) { // the kernel's limit
            const std::size_t size = std::min<std::size_t>(1 + random() % 63, sent.size() - at);
            fakehid::controllerSends(BridgePath, {sent.begin() + at, sent.begin() + at + size});
            at += size;
        }
        sent.resize(at);
        std::vector<uint8_t> got;
        for (int reads = 0; got.size() < sent.size() && reads < 1000; ++reads) {
            std::vector<uint8_t> buffer(1 + random() % 255); // exact size: ASan sees overruns
            const BridgeStatus status = bridge.HidUart_Read(
                handle, buffer.data(), static_cast<uint32_t>(buffer.size()), &n);
            ASSERT_LE(n, buffer.size());
            ASSERT_EQ(status, n == buffer.size() ? BridgeStatusCode::Success
                                                 : BridgeStatusCode::ReadTimedOut);
            got.insert(got.end(), buffer.begin(), buffer.begin() + n);
        }
        ASSERT_EQ(got, sent) << "round " << round;
    }
    uint32_t written = 99;
    for (const auto& [length, reports] :
         {std::pair<uint32_t, std::size_t>{1, 1}, {63, 1}, {64, 2}, {130, 3}, {0, 0}}) {
        chip().outputReports.clear();
        chip().uartOut.clear();
        std::vector<uint8_t> bytes(length);
        std::iota(bytes.begin(), bytes.end(), uint8_t{0xC0});
        EXPECT_EQ(bridge.HidUart_Write(handle, bytes.data(), length, &written), 0) << length;
        EXPECT_EQ(written, length);
        EXPECT_EQ(chip().outputReports.size(), reports) << length << " bytes";
        EXPECT_EQ(chip().uartOut, bytes) << length << " bytes";
    }
}

// The kernel may hold a report for 5 s: the write gives up after its timeout, reads bring
// nothing while the report is still under way, and the unplug that ends it shows as a failure.
TEST_F(Cp2110Test, AWriteTheKernelHoldsTimesOut) {
    BridgeHandle handle = openBridge();
    bridge.HidUart_SetTimeouts(handle, 0, 50);
    chip().writeBlockMs = 5000;
    const std::vector<uint8_t> bytes(70, 0x3C);
    uint32_t written = 9;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(bridge.HidUart_Write(handle, bytes.data(), 70, &written),
              BridgeStatusCode::WriteTimedOut);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(bridge.HidUart_Write(handle, bytes.data(), 1, &written),
              BridgeStatusCode::WriteTimedOut)
        << "the next write waits for the report under way";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    fakehid::controllerSends(BridgePath, {0x01});
    uint8_t byte = 0;
    EXPECT_EQ(bridge.HidUart_Read(handle, &byte, 1, &written), BridgeStatusCode::ReadTimedOut);
    fakehid::plug(BridgePath, false);
    EXPECT_EQ(bridge.HidUart_Write(handle, bytes.data(), 1, &written),
              BridgeStatusCode::WriteError);
    EXPECT_EQ(bridge.HidUart_Read(handle, &byte, 1, &written), BridgeStatusCode::DeviceIoFailed);
    EXPECT_EQ(chip().uartOut.size(), 0u);
}

// The link over the driver: Get Data and Send Data byte-exact on the wire, then the bridge
// unplugged and plugged in again.
TEST_F(Cp2110Test, LinkExchangesByteExactAndFollowsUnplugAndReplug) {
    fakehid::addDevice("/dev/hidraw0", L"USB Optical Mouse"); // sorts first: no bridge
    plugIn().listings = 2;
    auto [host, engine, exchange] = std::tie(rig.host, rig.engine, rig.exchange);
    engine.ConnectBridge();
    EXPECT_EQ(host.connectionText, "Connected");
    exchange.GetData();
    EXPECT_EQ(lines(std::exchange(chip().outputReports, {})), (Lines{"01 3B", "01 47"}));

    const std::vector<uint8_t> reply = frame(BenchRecord);
    // tick 1: a stray byte, then the header with five record bytes, in two reports
    fakehid::controllerSends(BridgePath, {0x00});
    fakehid::controllerSends(BridgePath, {reply.begin(), reply.begin() + 7});
    engine.LinkTick();
    EXPECT_EQ(engine.linkState(), LinkState::GetRecord);
    // tick 2: nothing arrives; tick 3: eleven record bytes, one byte per report
    engine.LinkTick();
    fakehid::controllerSends(BridgePath, {reply.begin() + 7, reply.begin() + 18}, 1);
    engine.LinkTick();
    EXPECT_EQ(exchange.receiveCount(), 2);
    EXPECT_EQ(host.statusText, "---");
    // tick 4: the last two record bytes and the check byte
    fakehid::controllerSends(BridgePath, {reply.begin() + 18, reply.end()});
    engine.LinkTick();
    EXPECT_EQ(host.statusText, "Data Received");
    EXPECT_EQ(host.record, BenchRecord);
    EXPECT_EQ(host.recordToControlsCalls, 1);

    // Send Data: what the controls show, one report [01 byte] per byte, then the acknowledgement.
    host.controls.values[0] = 7;
    exchange.SendData();
    Lines expected;
    for (uint8_t b : frame(recordFromShown(host.controls))) {
        expected.push_back(hexText(std::vector<uint8_t>{0x01, b}));
    }
    EXPECT_EQ(lines(std::exchange(chip().outputReports, {})), expected);
    engine.LinkTick();
    fakehid::controllerSends(BridgePath, {0x01});
    engine.LinkTick();
    EXPECT_EQ(host.statusText, "Data Sent");

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
    chip().uartOut.clear();
    engine.TransmitByte(0x3B);
    EXPECT_EQ(hexText(chip().uartOut), "3B") << "the UART is enabled again after power-up";
    chip().writeBlockMs = 5000; // the kernel holds the next byte past the link's write timeout
    engine.TransmitByte(0x47);
    EXPECT_EQ(host.messages.back().text, "Failed to transmit : Write timed out");
    fakehid::plug(BridgePath, false);
}

} // namespace
} // namespace kestrun
