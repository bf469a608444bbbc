#pragma once
// The bridge seam over hidapi (hidraw backend): the CP2110 on real hardware. The link sees the
// chip's UART as a byte stream; on the USB side every UART byte travels in an interrupt report
// whose id is the number of data bytes that follow (1 to 63). This is the only place in the
// system that calls hidapi.

#include "link/BridgeLibrary.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrun {

/// One HID device as `kestrun-cli devices` lists it.
struct HidDeviceInfo {
    uint32_t index = 0;  ///< the index HidUart_Open takes for this device
    std::string path;    ///< the device node ("/dev/hidraw3")
    std::string product; ///< the product string as 8-bit text ("" when the device has none)
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    /// False when the node exists but this user lacks the rights to open it (EACCES): the
    /// udev rule is missing. True otherwise, including when the check itself could not tell.
    bool accessible = true;
    /// The bridge's default USB ids (10c4:ea80) with a product string that lacks "CP2110": a
    /// maker renamed it, and the link, which goes by the name, will not open it.
    bool unnamedBridge = false;
};

/// The bridge chip's default USB ids.
inline constexpr uint16_t BridgeVendorId = 0x10C4;
inline constexpr uint16_t BridgeProductId = 0xEA80;

/// What this user may do with a device node.
enum class NodeAccess {
    Granted, ///< readable and writable (or the check could not tell otherwise)
    Denied,  ///< the node exists but refuses this user (EACCES, EPERM): no udev rule
    Missing, ///< the node is gone
};
/// How the driver learns whether the user may open a device node. Tests replace it (root
/// passes every permission check, so a denial cannot be staged with real files).
using NodeAccessCheck = NodeAccess (*)(const std::string& path);
/// The real check: access(2) for reading and writing on Linux; on Windows HID devices have no
/// per-user rights of their own, so every device is Granted and the open itself tells.
NodeAccess nodeAccess(const std::string& path);

/// A monotonic millisecond clock for the read timeout. Tests replace it.
using MillisecondClock = uint64_t (*)();
/// The real clock (steady_clock).
uint64_t steadyMilliseconds();

class Cp2110Bridge : public BridgeLibrary {
public:
    explicit Cp2110Bridge(NodeAccessCheck accessCheck = nodeAccess,
                          MillisecondClock clock = steadyMilliseconds);
    ~Cp2110Bridge() override;
    Cp2110Bridge(const Cp2110Bridge&) = delete;
    Cp2110Bridge& operator=(const Cp2110Bridge&) = delete;

    /// The UART rate the next open sets (115200 unless chosen: the controller's firmware speaks
    /// 115200 8N1 without flow control).
    void setBaud(uint32_t baud) { baud_ = baud; }
    /// The chip's rates: 300 baud to 1 Mbaud.
    static bool isSupportedBaud(uint32_t baud) { return baud >= 300 && baud <= 1000000; }
    /// "The USB bridge's UART runs at 300 to 1000000 baud, not 4000000".
    static std::string baudProblem(uint32_t baud);

    /// Every HID device with its index, path, product string and whether it can be opened,
    /// in the order HidUart_GetNumDevices indexes them (one entry per path, sorted by path).
    /// Also takes the devices' snapshot that HidUart_Open indexes.
    std::vector<HidDeviceInfo> listDevices();

    /// Enumerates the HID devices (vid/pid 0 match any) once per path, sorted by path; the
    /// indexes of the other calls refer to this snapshot until the next call. Never fails:
    /// no device (or no hidraw at all) is a count of 0.
    BridgeStatus HidUart_GetNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid) override;
    /// Option 6: the product string, wide characters above 0xFF as '?'. Option 3: the path.
    /// DeviceNotFound for an index outside the snapshot, InvalidParameter for other options.
    BridgeStatus HidUart_GetString(uint32_t deviceNum, uint16_t vid, uint16_t pid,
                                   char* deviceString, uint32_t options) override;
    /// Becomes the device's owner (another Kestrun process that owns it refuses the open with
    /// DeviceAccessError before anything touches the device), opens it, enables the UART, sets
    /// the UART configuration (the rate, 8N1, no flow control: the chip keeps whatever the last
    /// program set while it stays powered), purges both FIFOs and drops every report the
    /// handle received before the purge, then reads the configuration back. DeviceAccessError
    /// when the node refuses this user, DeviceNotFound when it has gone, DeviceIoFailed when the
    /// chip does not take the enable or the configuration does not read back as set.
    BridgeStatus HidUart_Open(BridgeHandle* device, uint32_t deviceNum, uint16_t vid,
                              uint16_t pid) override;
    /// Both in milliseconds. Read 0: a read returns at once with what has arrived. The write
    /// timeout bounds a whole write (see HidUart_Write). Defaults: read 0, write 1000.
    BridgeStatus HidUart_SetTimeouts(BridgeHandle device, uint32_t readTimeout,
                                     uint32_t writeTimeout) override;
    /// Gathers the data bytes of waiting input reports up to the count asked for; a report that
    /// does not fit keeps its remainder for the next read. Success when all asked were read,
    /// ReadTimedOut when fewer, DeviceIoFailed once the device has gone (hidapi read error):
    /// bytes gathered before the error are still handed over, the failure comes with the next
    /// read.
    BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override;
    /// Sends the bytes as reports of at most 63 data bytes, the whole call waiting at most the
    /// write timeout. WriteTimedOut when it ran out before the last report went (the report under
    /// way finishes in the background; until it has, reads bring nothing and writes wait for it
    /// first), WriteError when hidapi refused a report; *numBytesWritten counts the data bytes
    /// of the reports that went. A write of 0 bytes sends nothing and succeeds.
    BridgeStatus HidUart_Write(BridgeHandle device, const uint8_t* buffer, uint32_t numBytesToWrite,
                               uint32_t* numBytesWritten) override;
    /// Option 3: the path the device was opened with; option 6: its product string.
    BridgeStatus HidUart_GetOpenedString(BridgeHandle device, char* deviceString,
                                         uint32_t options) override;
    /// Waits for a report still under way, disables the UART (ignoring a failure: the device
    /// may have gone), closes the device and gives up its ownership.
    BridgeStatus HidUart_Close(BridgeHandle device) override;
    OpenProblem lastOpenProblem() const override { return problem_; }

    /// Data bytes a report carries at most.
    static constexpr std::size_t MaxReportData = 63;
    /// The chip's report size, id included.
    static constexpr std::size_t ReportSize = 64;

private:
    struct OpenDevice;
    struct Entry {
        std::string path;
        std::string product;
        uint16_t vendorId = 0;
        uint16_t productId = 0;
    };

    std::vector<Entry> enumerate(uint16_t vid, uint16_t pid) const;
    OpenDevice* find(BridgeHandle handle) const;

    NodeAccessCheck accessCheck_;
    MillisecondClock clock_;
    uint32_t baud_ = 115200;
    OpenProblem problem_;
    std::vector<Entry> snapshot_;
    std::vector<std::unique_ptr<OpenDevice>> open_;
};

} // namespace kestrun
