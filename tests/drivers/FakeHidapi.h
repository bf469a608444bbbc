#pragma once
// hidapi as the bridge chip behaves, linked into the driver's tests in place of the real
// library. The test plays the chip through Device and the controller through controllerSends():
//   - the UART passes nothing until Set UART Enable (feature 0x41, 0x01) and stops at 0x00;
//   - UART data travels in reports whose id is the data count, 1 to 63;
//   - Set Purge FIFOs (0x43) drops what is waiting;
//   - a device may be listed once per top-level usage, refuse its node, or be unplugged: from
//     then on every call on an open handle fails.

#include "link/cp2110/Cp2110Bridge.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace fakehid {

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
    bool writeFails = false;   ///< every output report fails
    uint64_t writeDelayMs = 0; ///< each output report advances the fake clock this much

    bool uartEnabled = false;
    std::deque<std::vector<uint8_t>> inputReports;    ///< waiting for the host, [id, data...]
    std::vector<uint8_t> uartOut;                     ///< bytes that went out on the UART
    std::vector<std::vector<uint8_t>> outputReports;  ///< every report the host wrote, raw
    std::vector<std::vector<uint8_t>> featureReports; ///< every feature report the host sent
    int openHandles = 0;
};

/// Forgets every device and zeroes the clock.
void reset();
/// Plugs in a device, listed after those already there.
Device& addDevice(const std::string& path, const std::wstring& product);
/// The device at `path`, or nullptr.
Device* device(const std::string& path);
/// Unplugs a device (its open handles fail from now on) or plugs it in again, its UART
/// disabled as at power-up.
void plug(const std::string& path, bool in);
/// The controller sends `bytes`; the chip packs them into input reports of at most `perReport`
/// data bytes. Bytes sent while the UART is disabled are lost.
void controllerSends(const std::string& path, const std::vector<uint8_t>& bytes,
                     std::size_t perReport = 63);
/// The fake millisecond clock and node check the driver is given in tests.
uint64_t clockMs();
kestrun::NodeAccess nodeAccess(const std::string& path);

} // namespace fakehid
