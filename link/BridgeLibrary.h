#pragma once
// The bridge library seam: the calls the system makes into the HID-to-UART bridge's library,
// under the library's own names and with its status codes. Implementations: the CP2110 over
// hidapi (real hardware), a serial port, the simulated controller's bridge and the tests' fakes.
// The link never talks to a device in any other way.

#include <cstdint>
#include <string>

namespace kestrun {

/// Opaque handle of an open bridge device; nullptr holds no device.
using BridgeHandle = void*;

/// A status code returned by every call of the seam: 0 is success, every other code a failure.
using BridgeStatus = int32_t;

/// The library's status codes.
namespace BridgeStatusCode {
inline constexpr BridgeStatus Success = 0x00;
inline constexpr BridgeStatus DeviceNotFound = 0x01;
inline constexpr BridgeStatus InvalidHandle = 0x02;
inline constexpr BridgeStatus InvalidDeviceObject = 0x03;
inline constexpr BridgeStatus InvalidParameter = 0x04;
inline constexpr BridgeStatus InvalidRequestLength = 0x05;
inline constexpr BridgeStatus ReadError = 0x10;
inline constexpr BridgeStatus WriteError = 0x11;
inline constexpr BridgeStatus ReadTimedOut = 0x12;
inline constexpr BridgeStatus WriteTimedOut = 0x13;
inline constexpr BridgeStatus DeviceIoFailed = 0x14;
inline constexpr BridgeStatus DeviceAccessError = 0x15;
inline constexpr BridgeStatus DeviceNotSupported = 0x16;
inline constexpr BridgeStatus UnknownError = 0xFF;
} // namespace BridgeStatusCode

/// The text shown for a status code: "Success" ... "Unknown error"; "Unknown status" for any
/// code the library does not define.
const char* BridgeStatusText(BridgeStatus status);

/// Options of the string calls.
namespace BridgeStringOption {
inline constexpr uint32_t Path = 3;    ///< the device path ("/dev/hidraw3", "/dev/ttyUSB0")
inline constexpr uint32_t Product = 6; ///< the USB product string
} // namespace BridgeStringOption

/// Size of the buffers the string calls fill, the zero terminator included.
inline constexpr std::size_t DeviceStringLength = 260;

/// Number of bytes the link asks for in one read, and the size of its read buffer.
inline constexpr uint32_t ReadRequestLength = 255;
inline constexpr std::size_t ReadBufferSize = 256;

class BridgeLibrary {
public:
    virtual ~BridgeLibrary() = default;

    /// Counts the attached bridge devices (the link passes vendor and product id 0: every
    /// device). Devices are indexed 0 to count - 1 until the next call.
    /// Returns Success and sets *numDevices; on failure *numDevices is left unspecified.
    virtual BridgeStatus HidUart_GetNumDevices(uint32_t* numDevices, uint16_t vid,
                                               uint16_t pid) = 0;

    /// Reads string `options` (BridgeStringOption) of device `deviceNum` into `deviceString`,
    /// a buffer of DeviceStringLength bytes, as zero-terminated 8-bit text (truncated to fit).
    /// Returns Success, DeviceNotFound for an index out of range, or another failure.
    virtual BridgeStatus HidUart_GetString(uint32_t deviceNum, uint16_t vid, uint16_t pid,
                                           char* deviceString, uint32_t options) = 0;

    /// Opens device `deviceNum` into *device. On failure *device is set to nullptr.
    virtual BridgeStatus HidUart_Open(BridgeHandle* device, uint32_t deviceNum, uint16_t vid,
                                      uint16_t pid) = 0;

    /// Sets the read and write timeouts in milliseconds. A read timeout of 0 makes a read
    /// return at once with what has arrived; a write waits at most `writeTimeout` ms.
    virtual BridgeStatus HidUart_SetTimeouts(BridgeHandle device, uint32_t readTimeout,
                                             uint32_t writeTimeout) = 0;

    /// Reads at most `numBytesToRead` received bytes into `buffer` (which holds at least that
    /// many) and sets *numBytesRead to the count placed there (never more than asked).
    /// Returns Success when the count asked for was read, ReadTimedOut when fewer bytes had
    /// arrived (the count may be 0), or a failure such as ReadError or DeviceIoFailed (for a
    /// device that has gone away).
    virtual BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                                      uint32_t* numBytesRead) = 0;

    /// Writes `numBytesToWrite` bytes in order and sets *numBytesWritten to the count accepted.
    /// Returns Success when all were accepted, WriteTimedOut when the write timeout ran out
    /// first, or another failure.
    virtual BridgeStatus HidUart_Write(BridgeHandle device, const uint8_t* buffer,
                                       uint32_t numBytesToWrite, uint32_t* numBytesWritten) = 0;

    /// Reads string `options` (BridgeStringOption::Path for the device path) of the open
    /// device into `deviceString` (DeviceStringLength bytes), zero-terminated.
    virtual BridgeStatus HidUart_GetOpenedString(BridgeHandle device, char* deviceString,
                                                 uint32_t options) = 0;

    /// Closes the device; the handle is invalid afterwards.
    virtual BridgeStatus HidUart_Close(BridgeHandle device) = 0;

    /// Why the last HidUart_Open failed, in the user's words, where the status text alone would
    /// not tell them what to do: which device and what the system said
    /// ("/dev/ttyUSB0: No such file or directory"), or the process that owns the device.
    struct OpenProblem {
        bool inUse = false; ///< another process owns the device (see link/owner/OwnerLock.h)
        std::string text;   ///< empty when there is nothing to add to the status
    };
    /// Valid after a failed HidUart_Open until the next open; a bridge without more to say
    /// answers an empty problem.
    virtual OpenProblem lastOpenProblem() const { return {}; }
};

} // namespace kestrun
