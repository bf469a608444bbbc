// The udev monitor: which events become notices, and that a machine without udev (a container)
// still gets a monitor that is silent and never blocks.

#include "link/udev/UdevMonitor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>

namespace kestrun {
namespace {

TEST(UdevMonitor, EventsOnHidrawNodesBecomeNotices) {
    struct Case {
        const char* action;
        const char* devnode;
        std::optional<uint32_t> eventType;
    };
    const Case cases[] = {
        {"add", "/dev/hidraw3", DeviceArrival},   {"remove", "/dev/hidraw3", DeviceRemoveComplete},
        {"change", "/dev/hidraw3", std::nullopt}, {"bind", "/dev/hidraw3", std::nullopt},
        {"add", nullptr, std::nullopt},           {"remove", "", std::nullopt},
        {nullptr, "/dev/hidraw3", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto change = deviceChangeFromUevent(c.action, c.devnode);
        const std::string name =
            std::string(c.action ? c.action : "(none)") + " " + (c.devnode ? c.devnode : "(none)");
        ASSERT_EQ(change.has_value(), c.eventType.has_value()) << name;
        if (change) {
            EXPECT_EQ(change->eventType, *c.eventType) << name;
            EXPECT_EQ(change->notice.deviceType, DeviceTypeInterface);
            EXPECT_EQ(change->notice.name, c.devnode);
        }
    }
}

TEST(UdevMonitor, BuildsAndStaysQuietWhereverItRuns) {
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    const auto start = std::chrono::steady_clock::now();
    {
        UdevMonitor monitor;
        if (monitor.fd() >= 0) {
            const int flags = ::fcntl(monitor.fd(), F_GETFL);
            EXPECT_NE(flags & O_NONBLOCK, 0) << "a blocking socket would freeze the window";
        }
        for (int i = 0; i < 3; ++i) {
            monitor.receive(); // whatever happens to be waiting; must return at once
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

} // namespace
} // namespace kestrun
