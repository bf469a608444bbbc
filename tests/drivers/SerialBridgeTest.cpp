// The serial bridge against a pseudo-terminal: the test holds the pty's controlling side and
// plays the controller there, the bridge opens the other side as the port.

#include "link/serial/SerialBridge.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <tuple>

namespace kestrun {
namespace {

using SerialRig = test::Rig<SerialBridge>;

// The port runs raw 8N1 at the chosen rate (the bytes of an exchange over it are the CLI's port
// tests' to check), and a line the controller does not read times out instead of blocking.
TEST(SerialBridge, OpensRaw8N1AtTheChosenRateAndAFullLineTimesOut) {
    test::PtyPeer pty(false);
    SerialBridge bridge(pty.path(), 9600);
    BridgeHandle handle = nullptr;
    ASSERT_EQ(bridge.HidUart_Open(&handle, 0, 0, 0), BridgeStatusCode::Success);
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.portFd(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    bridge.HidUart_SetTimeouts(handle, 0, 50);
    const std::vector<uint8_t> bytes(1 << 20, 0x55);
    uint32_t written = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(
        bridge.HidUart_Write(handle, bytes.data(), static_cast<uint32_t>(bytes.size()), &written),
        BridgeStatusCode::WriteTimedOut);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, bytes.size());
    EXPECT_GE(took, std::chrono::milliseconds(45));
    EXPECT_LT(took, std::chrono::milliseconds(1000));
    bridge.HidUart_Close(handle);
}

// A port that hangs up and goes, then comes back under the same name (a USB-UART cable plugged
// in again): "Disconnected", then "Connected", then Get Data goes out on the new port, and the
// next hang-up is noticed too. The notices reach the link without a tick: an idle program is
// woken by the watch alone.
TEST(SerialBridge, APortThatVanishesAndComesBackReconnects) {
    test::ScratchFolder folder;
    const std::string port = (folder.path() / "ttyUSB0").string();
    auto pty = std::make_unique<test::PtyPeer>();
    ASSERT_EQ(::symlink(pty->path().c_str(), port.c_str()), 0);
    SerialRig rig(true, port);
    const auto deliverNotices = [&rig] {
        pollfd pfd{static_cast<int>(rig.bridge.noticeHandle()), POLLIN, 0};
        ASSERT_EQ(::poll(&pfd, 1, 2000), 1) << "the notice's descriptor must wake its watcher";
        for (const DeviceChange& change : rig.bridge.receive()) {
            rig.engine.HandleDeviceChange(change.eventType, &change.notice);
        }
    };
    EXPECT_EQ(rig.host.connectionText, "Connected");
    pty.reset(); // the cable goes: the line hangs up and the node vanishes
    ::unlink(port.c_str());
    deliverNotices();
    EXPECT_EQ(rig.host.connectionText, "Disconnected");
    EXPECT_TRUE(rig.bridge.receive().empty()) << "one removal notice per hang-up";

    pty = std::make_unique<test::PtyPeer>();
    ASSERT_EQ(::symlink(pty->path().c_str(), port.c_str()), 0);
    deliverNotices();
    EXPECT_EQ(rig.host.connectionText, "Connected");
    rig.exchange.GetData();
    EXPECT_EQ(test::hexText(pty->expect(2)), "3B 47");
    EXPECT_TRUE(rig.host.messages.empty());
    pty.reset();
    ::unlink(port.c_str());
    deliverNotices();
    EXPECT_EQ(rig.host.connectionText, "Disconnected");
}

// A port that cannot be opened is named with the system's reason; a rate the port does not know
// must not silently become another.
TEST(SerialBridge, PortsThatCannotBeOpenedAndRatesItDoesNotKnow) {
    const std::tuple<const char*, BridgeStatus, const char*> cases[] = {
        {"/nonexistent/ttyUSB0", BridgeStatusCode::DeviceNotFound, "No such file or directory"},
        {"/dev/null", BridgeStatusCode::DeviceNotSupported, // opens, but is no terminal
         "Inappropriate ioctl for device"},
    };
    for (const auto& [path, expected, reason] : cases) {
        SerialBridge bridge(path);
        BridgeHandle handle = &bridge;
        EXPECT_EQ(bridge.HidUart_Open(&handle, 0, 0, 0), expected) << path;
        EXPECT_EQ(handle, nullptr) << path;
        EXPECT_EQ(bridge.lastOpenProblem().text, std::string(path) + ": " + reason);
    }
    for (uint32_t baud : {0u, 110u, 115201u}) {
        EXPECT_THROW(SerialBridge("/dev/null", baud), std::invalid_argument) << baud;
    }
}

} // namespace
} // namespace kestrun
