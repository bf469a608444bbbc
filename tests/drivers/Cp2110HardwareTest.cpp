// The CP2110 driver over the real hidapi. On any machine: enumeration works and prints nothing
// (no bridge and no hidraw at all is the usual case in a container). With a controller on the
// bench, KESTRUN_HW_DEVICE=/dev/hidrawN runs a real Get Data against it; otherwise that test
// skips itself.

#include "link/LinkEngine.h"
#include "link/SettingsExchange.h"
#include "link/cp2110/Cp2110Bridge.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace kestrun {
namespace {

TEST(Cp2110Hardware, EnumerationIsQuiet) {
    ::testing::internal::CaptureStderr();
    Cp2110Bridge bridge;
    uint32_t count = 0;
    EXPECT_EQ(bridge.HidUart_GetNumDevices(&count, 0, 0), BridgeStatusCode::Success);
    EXPECT_EQ(bridge.listDevices().size(), count);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(Cp2110Hardware, GetDataFromTheControllerOnTheBench) {
    const char* device = std::getenv("KESTRUN_HW_DEVICE");
    if (device == nullptr || *device == '\0') {
        GTEST_SKIP() << "set KESTRUN_HW_DEVICE to the bridge's hidraw node to run this";
    }
    Cp2110Bridge bridge;
    test::RecordingHost host;
    LinkEngine engine(bridge, host);
    SettingsExchange exchange(engine, host.record);
    engine.reset();
    engine.ConnectBridge();
    ASSERT_EQ(host.connectionText, "Connected");
    exchange.GetData();
    // Real time here: the controller answers within the link's 1000 ticks of 5 ms.
    for (uint32_t tick = 0; tick < AnswerTicks && !engine.isIdle(); ++tick) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        engine.LinkTick();
    }
    EXPECT_EQ(host.statusText, "Data Received");
}

} // namespace
} // namespace kestrun
