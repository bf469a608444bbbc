#pragma once
// A serial port as the bridge: a USB-UART cable wired to the controller's UART, or the
// pseudo-terminal of a firmware emulator. The programs use it for `--port DEVICE [--baud N]`
// in place of the USB search:
//
//     if (!SerialBridge::isSupportedBaud(baud)) { /* usage error: SerialBridge::baudProblem */ }
//     SerialBridge bridge(device, baud);
//     LinkEngine engine(bridge, host);      // ConnectBridge opens it: "Connected"
//     // watch bridge.noticeHandle() like any device monitor and hand bridge.receive()'s notices to
//     // engine.HandleDeviceChange: a hang-up then shows "Disconnected", and a port of the
//     // same name that comes back is opened again ("Connected").
//
// The port runs raw, 8 data bits, no parity, 1 stop bit, no flow control, at the given rate:
// termios on Linux (SerialBridge_unix.cpp), the communications API on Windows
// (SerialBridge_win.cpp), chosen by the build.
// It is the one device (count 1, index 0); everything above the seam (ticks, states, texts)
// is the same as over USB.

#include "link/BridgeLibrary.h"
#include "link/DeviceMonitor.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrun {

class OwnerLock;

/// The product string the serial port presents. The link opens only devices whose product
/// string contains "CP2110"; a serial port is a stand-in for that bridge's UART, so it carries
/// the marker, and says plainly that it is a serial port and not the chip.
inline constexpr const char* SerialProductString = "Serial port (CP2110-compatible UART link)";

class SerialBridge : public BridgeLibrary, public DeviceMonitor {
public:
    /// `device` is the port's path: "/dev/ttyUSB0", "/dev/pts/5"; on Windows "COM3" or
    /// "\\.\COM12" (a bare COMn is opened as \\.\COMn, which ports above 9 need). Nothing is
    /// opened until HidUart_Open. Throws std::invalid_argument for a rate isSupportedBaud refuses.
    explicit SerialBridge(std::string device, uint32_t baud = 115200);
    ~SerialBridge() override;
    SerialBridge(const SerialBridge&) = delete;
    SerialBridge& operator=(const SerialBridge&) = delete;

    /// The rates the port can be set to (those the terminal interface names, 300 to 4000000).
    static bool isSupportedBaud(uint32_t baud);
    /// "Unsupported baud rate 12345; use one of 300, 600, ...": the message for a refused rate.
    static std::string baudProblem(uint32_t baud);

    /// Always one device.
    BridgeStatus HidUart_GetNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid) override;
    /// Index 0 only: option 6 SerialProductString, option 3 the port's path.
    BridgeStatus HidUart_GetString(uint32_t deviceNum, uint16_t vid, uint16_t pid,
                                   char* deviceString, uint32_t options) override;
    /// Becomes the port's owner, opens and configures the port and drops what was waiting in
    /// it. DeviceAccessError when another Kestrun process owns it; DeviceNotFound when the
    /// path does not exist, DeviceAccessError when this user may not open it,
    /// DeviceNotSupported when it is not a terminal, DeviceIoFailed otherwise.
    BridgeStatus HidUart_Open(BridgeHandle* device, uint32_t deviceNum, uint16_t vid,
                              uint16_t pid) override;
    /// Read 0: a read returns at once with what has arrived. Write: the time a write may wait
    /// for room in the port's output queue. Defaults: read 0, write 1000.
    BridgeStatus HidUart_SetTimeouts(BridgeHandle device, uint32_t readTimeout,
                                     uint32_t writeTimeout) override;
    /// Success with all bytes asked for, ReadTimedOut with fewer; once the port hangs up (or a
    /// read fails) DeviceIoFailed, after any bytes that arrived before it were handed over.
    BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override;
    /// Success when the port took every byte, WriteTimedOut when its queue stayed full for the
    /// write timeout, DeviceIoFailed after a hang-up, WriteError for other failures.
    BridgeStatus HidUart_Write(BridgeHandle device, const uint8_t* buffer, uint32_t numBytesToWrite,
                               uint32_t* numBytesWritten) override;
    /// Option 3 the path, option 6 SerialProductString.
    BridgeStatus HidUart_GetOpenedString(BridgeHandle device, char* deviceString,
                                         uint32_t options) override;
    BridgeStatus HidUart_Close(BridgeHandle device) override;
    /// The port and the system's reason ("/dev/ttyUSB0: No such file or directory"), or the
    /// Kestrun process that owns the port (then DeviceAccessError, and the port was not opened).
    OpenProblem lastOpenProblem() const override { return problem_; }

    /// Readable when the port hung up, vanished or came back; it stays quiet while bytes
    /// arrive, so an idle program is not woken by them. NoNoticeHandle if none could be made.
    NoticeHandle noticeHandle() const override;
    /// After a hang-up or the port's node vanishing: one DeviceRemoveComplete naming the port's
    /// path; when a node of its name appears: a DeviceArrival naming it; otherwise nothing.
    std::vector<DeviceChange> receive() override;

private:
    struct Watch;  ///< how a hang-up reaches the surroundings
    struct System; ///< the system's handle on an open port
    /// An open port: what every system keeps of it, beside the system's own handle.
    struct Port {
        Port();
        ~Port();
        Port(const Port&) = delete;
        Port& operator=(const Port&) = delete;
        std::unique_ptr<System> system;
        std::unique_ptr<OwnerLock> owner;
        uint32_t readTimeout = 0;
        uint32_t writeTimeout = 1000;
        bool gone = false; ///< hung up: reads and writes fail from now on
    };
    Port* find(BridgeHandle handle) const;
    void markHungUp(Port& port);
    BridgeStatus copyDeviceString(char* deviceString, uint32_t options) const;

    // The system's part of the calls, one per platform; the calls check their arguments and the
    // handle before they get here.
    /// Opens and configures the port into `port.system`; on failure problem_ says why.
    BridgeStatus openPort(Port& port);
    /// Gives the port new timeouts where the system keeps them; false when it refuses them.
    bool applyTimeouts(Port& port, uint32_t readTimeout, uint32_t writeTimeout);
    /// Up to `count` bytes within the port's read timeout; a hang-up marks the port gone.
    uint32_t readSome(Port& port, uint8_t* buffer, uint32_t count);
    /// `count` (at least 1) bytes within the port's write timeout, counted in `written` as
    /// they go.
    BridgeStatus writeSome(Port& port, const uint8_t* buffer, uint32_t count, uint32_t& written);

    std::string device_;
    uint32_t baud_;
    OpenProblem problem_;
    std::vector<std::unique_ptr<Port>> open_;
    bool hungUp_ = false;
    bool removalPending_ = false;
    std::unique_ptr<Watch> watch_;
};

} // namespace kestrun
