#pragma once
// hidapi as the bridge chip and the Linux kernel behave, linked into the driver's tests in place
// of the real library, and no kinder than they are: the UART passes nothing until enabled
// (feature 0x41) and keeps the configuration (0x50) the last program set until unplugged; UART
// data travels in reports whose id is the data count, 1 to 63 (an output report may be padded to
// 64 bytes); the kernel queues at most 64 input reports, never opens exclusively, and starts
// polling when a node is opened, so what the chip's FIFO held arrives at once, beyond the reach
// of a purge (0x43); a write may block in real time; a device may be listed once per top-level
// usage, refuse its node, or be unplugged, and then every call on its open handle fails. The test
// plays the chip through Device (one handle open at a time) and the controller through
// controllerSends(); the driver's write thread calls in too, so all share one mutex.

#include "link/cp2110/Cp2110Bridge.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace fakehid {

struct Device {
    std::string path;
    std::optional<std::wstring> product; ///< none: hidapi gives a null product string
    uint16_t vendorId = 0x10C4;
    uint16_t productId = 0xEA80;
    int listings = 1;          ///< entries hid_enumerate gives for this path (at most 4)
    bool present = true;       ///< false once unplugged
    bool denied = false;       ///< the node refuses this user
    bool openFails = false;    ///< opening fails for another reason
    bool featureFails = false; ///< the chip takes no feature report
    bool configSticks = true;  ///< false: Set UART Config is ignored (a chip that reads back wrong)
    int writeBlockMs = 0;      ///< each output report blocks this long, unless unplugged

    bool uartEnabled = false;
    /// Get/Set UART Config as the chip holds it; at power-up 115200 baud, 8N1, no flow control.
    std::vector<uint8_t> uartConfig = {0x50, 0x00, 0x01, 0xC2, 0x00, 0x00, 0x00, 0x03, 0x00};
    std::vector<uint8_t> fifo = {};              ///< what the chip received, no handle open
    std::deque<std::vector<uint8_t>> queue = {}; ///< input reports the kernel holds
    std::vector<uint8_t> uartOut = {};           ///< bytes that went out on the UART
    std::vector<std::vector<uint8_t>> outputReports = {};  ///< every report the host wrote, raw
    std::vector<std::vector<uint8_t>> featureReports = {}; ///< every feature report the host sent
    int openHandles = 0;
};

/// The devices plugged in, in that order (a list: handles keep pointing at their device).
inline std::list<Device> devices;
inline std::mutex mutex;
inline std::condition_variable unplugged;
using Lock = std::unique_lock<std::mutex>;

inline Device* device(const std::string& path) {
    const auto it = std::find_if(devices.begin(), devices.end(),
                                 [&](const Device& d) { return d.path == path; });
    return it == devices.end() ? nullptr : &*it;
}

/// Plugs in a device, listed after those already there.
inline Device& addDevice(const std::string& path, const std::wstring& product) {
    const Lock lock(mutex);
    return devices.emplace_back(Device{.path = path, .product = product});
}

/// Unplugs a device (its open handle fails from now on, a blocked write ends) or plugs it in
/// again, its UART disabled and configured as at power-up.
inline void plug(const std::string& path, bool in) {
    const Lock lock(mutex);
    Device& d = *device(path);
    d.present = in;
    d.uartEnabled = false;
    d.uartConfig = Device{}.uartConfig;
    d.queue.clear();
    unplugged.notify_all();
}

/// The chip packs `bytes` into input reports of at most `perReport` data bytes for the open
/// handle (the kernel keeps at most 64); none open, they are lost.
inline void sendAsReports(Device& d, const std::vector<uint8_t>& bytes, std::size_t perReport) {
    for (std::size_t at = 0; at < bytes.size(); at += perReport) {
        const std::size_t n = std::min(perReport, bytes.size() - at);
        if (d.openHandles > 0 && d.queue.size() < 64) {
            d.queue.emplace_back(1, static_cast<uint8_t>(n));
            d.queue.back().insert(d.queue.back().end(), bytes.begin() + at, bytes.begin() + at + n);
        }
    }
}

/// The controller sends `bytes`, lost while the UART is disabled.
inline void controllerSends(const std::string& path, const std::vector<uint8_t>& bytes,
                            std::size_t perReport = 63) {
    const Lock lock(mutex);
    Device& d = *device(path);
    if (d.present && d.uartEnabled) {
        sendAsReports(d, bytes, perReport);
    }
}

inline kestrun::NodeAccess nodeAccess(const std::string& path) {
    const Device* d = device(path);
    if (d == nullptr || !d->present) {
        return kestrun::NodeAccess::Missing;
    }
    return d->denied ? kestrun::NodeAccess::Denied : kestrun::NodeAccess::Granted;
}

} // namespace fakehid
