#pragma once
// hidapi as the bridge chip and the Linux kernel behave, linked into the driver's tests in place
// of the real library. The test plays the chip through Device and the controller through
// controllerSends(); the fake is no kinder than the kernel:
//   - the UART passes nothing until Set UART Enable (feature 0x41, 0x01) and stops at 0x00; it
//     keeps the configuration (0x50) the last program set until it is unplugged;
//   - UART data travels in reports whose id is the data count, 1 to 63; an output report may be
//     padded to 64 bytes;
//   - every open handle gets its own copy of each input report, at most 64 queued, newer ones
//     dropped; opening is never exclusive;
//   - the kernel starts polling when a node is opened, so what the chip held comes into the new
//     handle at once; Set Purge FIFOs (0x43) empties only the chip's FIFO;
//   - a write may block (in real time) like an interrupt transfer the kernel holds;
//   - a device may be listed once per top-level usage, refuse its node, or be unplugged: from
//     then on every call on an open handle fails.
// The entry points may be called from the driver's write thread; they share one mutex.

#include "link/cp2110/Cp2110Bridge.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fakehid {

/// 115200 baud, no parity, no flow control, 8 data bits, short stop bit: the power-up config.
inline const std::vector<uint8_t> PowerUpConfig{0x50, 0x00, 0x01, 0xC2, 0x00,
                                                0x00, 0x00, 0x03, 0x00};

struct Device {
    std::string path;
    std::wstring product;
    bool hasProduct = true; ///< false: hidapi gives a null product string
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
    std::vector<uint8_t> uartConfig = PowerUpConfig;  ///< Get/Set UART Config, as the chip holds it
    std::vector<uint8_t> fifo;                        ///< received bytes no open handle took yet
    std::vector<uint8_t> uartOut;                     ///< bytes that went out on the UART
    std::vector<std::vector<uint8_t>> outputReports;  ///< every report the host wrote, raw
    std::vector<std::vector<uint8_t>> featureReports; ///< every feature report the host sent
    int openHandles = 0;
};

/// Forgets every device.
void reset();
/// Plugs in a device, listed after those already there.
Device& addDevice(const std::string& path, const std::wstring& product);
/// The device at `path`, or nullptr.
Device* device(const std::string& path);
/// Unplugs a device (its open handles fail from now on, a blocked write ends) or plugs it in
/// again, its UART disabled and configured as at power-up.
void plug(const std::string& path, bool in);
/// The controller sends `bytes`; the chip packs them into input reports of at most `perReport`
/// data bytes, one copy for each open handle, or keeps them in its FIFO while none is open.
/// Bytes sent while the UART is disabled are lost.
void controllerSends(const std::string& path, const std::vector<uint8_t>& bytes,
                     std::size_t perReport = 63);
/// Queues one raw input report ([id, ...]) in every open handle of the device.
void deliver(const std::string& path, const std::vector<uint8_t>& report);
/// The fake millisecond clock and node check the driver is given in tests.
uint64_t clockMs();
kestrun::NodeAccess nodeAccess(const std::string& path);

} // namespace fakehid
