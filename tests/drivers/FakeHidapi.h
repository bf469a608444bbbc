#pragma once
// A stand-in for hidapi that behaves as the bridge chip does, for the driver's tests. The test
// links it in place of the real library; it plays the chip and, through controllerSends(), the
// controller on the chip's UART:
//   - the UART passes nothing until Set UART Enable (feature 0x41, 0x01) and stops at 0x00;
//   - UART data travels in reports whose id is the data count, 1 to 63;
//   - Set Purge FIFOs (0x43) drops what is waiting;
//   - a device can be listed several times (one entry per top-level usage), refuse its node,
//     and be unplugged: from then on every call on an open handle fails.

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
    int listings = 1;          ///< entries hid_enumerate gives for this path
    bool present = true;       ///< false once unplugged
    bool denied = false;       ///< the node refuses this user: opening fails (EACCES)
    bool openFails = false;    ///< opening fails for another reason
    bool featureFails = false; ///< the chip does not take feature reports
    bool writeFails = false;   ///< every output report fails
    uint64_t writeDelayMs = 0; ///< each output report advances the fake clock this much

    // The chip.
    bool uartEnabled = false;
    std::deque<std::vector<uint8_t>> inputReports;    ///< waiting for the host, [id, data...]
    std::vector<uint8_t> uartOut;                     ///< bytes sent out on the UART
    std::vector<std::vector<uint8_t>> outputReports;  ///< every report the host wrote, raw
    std::vector<std::vector<uint8_t>> featureReports; ///< every feature report the host sent
    int openHandles = 0;
    int malformedReports = 0; ///< output reports whose length does not match their id
};

/// Forgets every device and zeroes the clock.
void reset();
/// Plugs in a device (listed in the order added, after the devices already there).
Device& addDevice(const std::string& path, const std::wstring& product);
/// The device at `path`, or nullptr.
Device* device(const std::string& path);
/// Unplugs a device: it leaves the enumeration and its open handles fail.
void unplug(const std::string& path);
/// Plugs an unplugged device in again, with its UART disabled as at power-up.
void replug(const std::string& path);
/// The controller sends `bytes` on the UART; the chip packs them into input reports of at most
/// `perReport` data bytes. Bytes sent while the UART is disabled are lost.
void controllerSends(const std::string& path, const std::vector<uint8_t>& bytes,
                     std::size_t perReport = 63);
/// Queues a raw input report as it is, for reports that are not well-formed UART data.
void queueRawReport(const std::string& path, std::vector<uint8_t> report);

/// The fake millisecond clock the driver is given in tests.
uint64_t clockMs();
/// Enumeration lists handed out and not yet freed.
int liveEnumerations();

} // namespace fakehid
