// The serial bridge against a pseudo-terminal: the test holds the pty's controlling side and
// plays the controller there, the bridge opens the other side as the port.

#include "link/serial/SerialBridge.h"
#include "link/LinkEngine.h"
#include "link/SettingsExchange.h"
#include "tests/drivers/WireText.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace kestrun {
namespace {

using test::BenchRecord;
using test::hex;
using test::settingsFrame;

/// A pseudo-terminal: `controller` is the side the test plays the controller on, `path` the
/// port the bridge opens. `watch` is a second handle on the port, used only to wait until the
/// controller's bytes have crossed (a pty hands them over asynchronously).
struct Pty {
    Pty() {
        controller = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (controller.get() < 0 || ::grantpt(controller.get()) != 0 ||
            ::unlockpt(controller.get()) != 0 || ::ptsname(controller.get()) == nullptr) {
            throw std::runtime_error("no pseudo-terminal");
        }
        path = ::ptsname(controller.get());
        watch = UniqueFd(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    }

    void send(const std::vector<uint8_t>& bytes) const {
        ASSERT_EQ(::write(controller.get(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
        pollfd pfd{watch.get(), POLLIN, 0};
        ASSERT_EQ(::poll(&pfd, 1, 2000), 1) << "the bytes never reached the port";
    }

    /// Reads exactly `count` bytes that the bridge wrote (waiting at most 2 s for them).
    std::vector<uint8_t> receive(std::size_t count) const {
        std::vector<uint8_t> bytes;
        while (bytes.size() < count) {
            pollfd pfd{controller.get(), POLLIN, 0};
            if (::poll(&pfd, 1, 2000) != 1) {
                break;
            }
            uint8_t buffer[256];
            const ssize_t n =
                ::read(controller.get(), buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n <= 0) {
                break;
            }
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

    /// Nothing more waits on the controller's side.
    bool quiet() const {
        pollfd pfd{controller.get(), POLLIN, 0};
        return ::poll(&pfd, 1, 0) == 0;
    }

    UniqueFd controller;
    UniqueFd watch;
    std::string path;
};

struct SerialRig {
    explicit SerialRig(uint32_t baud = 115200) : bridge(pty.path, baud) {
        engine.reset();
        engine.ConnectBridge();
    }
    /// Hands the bridge's notices to the link, as the window's notifier does.
    void deliverNotices() {
        for (const DeviceChange& change : bridge.receive()) {
            engine.HandleDeviceChange(change.eventType, &change.notice);
        }
    }

    Pty pty;
    SerialBridge bridge;
    test::RecordingHost host;
    LinkEngine engine{bridge, host};
    SettingsExchange exchange{engine, host.record};
};

TEST(SerialBridge, OpensAsTheOneBridgeRawAnd8N1) {
    SerialRig rig(9600);
    EXPECT_EQ(rig.host.connectionText, "Connected");
    termios tio{};
    ASSERT_EQ(::tcgetattr(rig.pty.watch.get(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);

    std::array<char, DeviceStringLength> text{};
    uint32_t count = 0;
    EXPECT_EQ(rig.bridge.HidUart_GetNumDevices(&count, 0, 0), BridgeStatusCode::Success);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(rig.bridge.HidUart_GetString(0, 0, 0, text.data(), 6), BridgeStatusCode::Success);
    EXPECT_NE(std::string(text.data()).find("CP2110"), std::string::npos);
    EXPECT_EQ(rig.bridge.HidUart_GetString(0, 0, 0, text.data(), 3), BridgeStatusCode::Success);
    EXPECT_EQ(text.data(), rig.pty.path);
    EXPECT_EQ(rig.bridge.HidUart_GetString(1, 0, 0, text.data(), 6),
              BridgeStatusCode::DeviceNotFound);
}

TEST(SerialBridge, GetDataCompletes) {
    SerialRig rig;
    rig.exchange.GetData();
    EXPECT_EQ(hex(rig.pty.receive(2)), "3B 47");
    const std::vector<uint8_t> reply = settingsFrame(BenchRecord);
    rig.pty.send({reply.begin(), reply.begin() + 9});
    rig.engine.LinkTick();
    EXPECT_EQ(rig.engine.linkState(), LinkState::GetRecord);
    rig.pty.send({reply.begin() + 9, reply.end()});
    rig.engine.LinkTick();
    EXPECT_EQ(rig.host.statusText, "Data Received");
    EXPECT_EQ(rig.host.record, BenchRecord);
}

TEST(SerialBridge, SendDataCompletes) {
    SerialRig rig;
    rig.host.controls = shownFromRecord(BenchRecord);
    rig.exchange.SendData();
    EXPECT_EQ(rig.pty.receive(21), settingsFrame(recordFromShown(rig.host.controls)));
    EXPECT_TRUE(rig.pty.quiet()) << "nothing beyond the frame";
    rig.pty.send({0x01});
    rig.engine.LinkTick();
    EXPECT_EQ(rig.host.statusText, "Data Sent");
}

TEST(SerialBridge, HangUpGivesDisconnected) {
    SerialRig rig;
    rig.exchange.GetData();
    rig.pty.controller = UniqueFd(); // the controller's side goes away
    rig.engine.LinkTick();
    EXPECT_TRUE(rig.bridge.hungUp());
    pollfd pfd{rig.bridge.fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&pfd, 1, 0), 1) << "the notice's descriptor must wake its watcher";
    rig.deliverNotices();
    EXPECT_EQ(rig.host.connectionText, "Disconnected");
    EXPECT_FALSE(rig.engine.bridgeOpen());
    EXPECT_TRUE(rig.host.messages.empty()) << "a tick never shows a box";
    EXPECT_TRUE(rig.bridge.receive().empty()) << "one removal notice per hang-up";
    // The pending Get Data ends by its own countdown, as over USB.
    for (uint32_t i = 0; i < AnswerTicks; ++i) {
        rig.engine.LinkTick();
    }
    EXPECT_EQ(rig.host.statusText, "No Response from Device");
}

TEST(SerialBridge, AFullLineTimesOutInsteadOfBlocking) {
    SerialRig rig;
    BridgeHandle handle = nullptr;
    ASSERT_EQ(rig.bridge.HidUart_Open(&handle, 0, 0, 0), BridgeStatusCode::Success);
    rig.bridge.HidUart_SetTimeouts(handle, 0, 50);
    // The controller reads nothing: the pty's queue fills up.
    const std::vector<uint8_t> bytes(1 << 20, 0x55);
    uint32_t written = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rig.bridge.HidUart_Write(handle, bytes.data(), static_cast<uint32_t>(bytes.size()),
                                       &written),
              BridgeStatusCode::WriteTimedOut);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, bytes.size());
    EXPECT_GE(took, std::chrono::milliseconds(45));
    EXPECT_LT(took, std::chrono::milliseconds(1000));
    rig.bridge.HidUart_Close(handle);
}

TEST(SerialBridge, PortsThatCannotBeOpened) {
    struct Case {
        std::string path;
        BridgeStatus expected;
    };
    char folder[] = "/tmp/kestrun-serial-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/not-a-port";
    UniqueFd(::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    const Case cases[] = {
        {std::string(folder) + "/missing", BridgeStatusCode::DeviceNotFound},
        {file, BridgeStatusCode::DeviceNotSupported},
    };
    for (const Case& c : cases) {
        SerialBridge bridge(c.path);
        BridgeHandle handle = &bridge;
        EXPECT_EQ(bridge.HidUart_Open(&handle, 0, 0, 0), c.expected) << c.path;
        EXPECT_EQ(handle, nullptr);
        test::RecordingHost host;
        LinkEngine engine(bridge, host);
        engine.reset();
        host.connectionText = "";
        engine.ConnectBridge();
        EXPECT_EQ(host.connectionText, "Disconnected") << c.path;
    }
    ::unlink(file.c_str());
    ::rmdir(folder);
}

TEST(SerialBridge, OnlyRatesThePortKnowsAreAccepted) {
    for (uint32_t baud : {300u, 9600u, 115200u, 921600u, 1000000u}) {
        EXPECT_TRUE(SerialBridge::isSupportedBaud(baud)) << baud;
    }
    for (uint32_t baud : {0u, 110u, 12345u, 115201u, 5000000u}) {
        EXPECT_FALSE(SerialBridge::isSupportedBaud(baud)) << baud;
        try {
            SerialBridge bridge("/dev/null", baud);
            ADD_FAILURE() << baud << " was accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(std::to_string(baud)), std::string::npos);
            EXPECT_NE(std::string(e.what()).find("115200"), std::string::npos);
        }
    }
}

} // namespace
} // namespace kestrun
