#pragma once
// A simulated bridge with one simulated controller behind it, for the tests and for the demo
// mode. It implements the bridge seam like the real bridge: one device in the list while it is
// plugged in, read and write through an open handle, and a device that can be pulled out
// (the list is empty, the path opens no more, reads and writes fail as for a vanished device)
// and plugged in again. Each read is one tick of the controller's clock.

#include "link/BridgeLibrary.h"
#include "link/DeviceMonitor.h"
#include "sim/SimController.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::sim {

/// What the simulated bridge shows and how it fails; the defaults are a healthy bridge.
struct BridgeOptions {
    std::string product = "CP2110 HID USB-to-UART Bridge";
    std::string path = "/dev/hidraw-sim0";
    std::optional<BridgeStatus> openFailure;  ///< every open fails with this status
    std::optional<BridgeStatus> writeFailure; ///< every write fails with this status
    std::optional<BridgeStatus> readFailure;  ///< every read fails with this status
};

class SimBridge : public BridgeLibrary {
public:
    SimBridge() = default;

    SimController& controller() { return controller_; }
    BridgeOptions& options() { return options_; }

    /// Pulls the device out: it leaves the list, the controller's queued answer is lost, and
    /// an open handle fails every read and write from now on. Queues the removal notice.
    void remove();
    /// Plugs the device in again (after remove()); queues the arrival notice.
    void arrive();
    bool present() const { return present_; }
    /// A handle is open (it may belong to a device that has since been pulled out).
    bool isOpen() const { return open_; }

    /// Takes the arrival and removal notices queued since the last call, oldest first.
    std::vector<DeviceChange> takeNotices();
    /// Called each time a notice is queued (the simulated device monitor wakes its watcher).
    void setNoticeListener(std::function<void()> listener) {
        noticeListener_ = std::move(listener);
    }

    /// Every byte the bridge accepted from the host, in order.
    const std::vector<uint8_t>& hostBytes() const { return hostBytes_; }
    void clearHostBytes() { hostBytes_.clear(); }
    /// Read calls made (each one a tick of the controller).
    uint64_t readCalls() const { return readCalls_; }

    BridgeStatus HidUart_GetNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid) override;
    BridgeStatus HidUart_GetString(uint32_t deviceNum, uint16_t vid, uint16_t pid,
                                   char* deviceString, uint32_t options) override;
    BridgeStatus HidUart_Open(BridgeHandle* device, uint32_t deviceNum, uint16_t vid,
                              uint16_t pid) override;
    BridgeStatus HidUart_SetTimeouts(BridgeHandle device, uint32_t readTimeout,
                                     uint32_t writeTimeout) override;
    BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override;
    BridgeStatus HidUart_Write(BridgeHandle device, const uint8_t* buffer, uint32_t numBytesToWrite,
                               uint32_t* numBytesWritten) override;
    BridgeStatus HidUart_GetOpenedString(BridgeHandle device, char* deviceString,
                                         uint32_t options) override;
    BridgeStatus HidUart_Close(BridgeHandle device) override;

private:
    bool validHandle(BridgeHandle device) const { return open_ && device == handle(); }
    BridgeHandle handle() const { return const_cast<char*>(&handleToken_); }
    const std::string* deviceString(uint32_t options) const;

    SimController controller_;
    BridgeOptions options_;
    bool present_ = true;
    bool open_ = false;
    bool vanished_ = false;         ///< the open handle's device was pulled out
    std::vector<uint8_t> received_; ///< bytes from the controller waiting for a read
    std::vector<uint8_t> hostBytes_;
    std::vector<DeviceChange> notices_;
    std::function<void()> noticeListener_;
    uint64_t readCalls_ = 0;
    char handleToken_ = 0;
};

} // namespace kestrun::sim
