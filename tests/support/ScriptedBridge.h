#pragma once
// A bridge library fake for tests: a list of devices, a queue of reads the test scripts (each
// entry is what one HidUart_Read call returns), and a log of every write. It can be told to
// fail writes, reads and opens, and its devices can be removed.

#include "link/BridgeLibrary.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::test {

struct FakeDevice {
    std::string product = "CP2110 HID USB-to-UART Bridge";
    std::string path = "/dev/hidraw0";
    BridgeStatus openStatus = BridgeStatusCode::Success;
    BridgeStatus stringStatus = BridgeStatusCode::Success;
};

class ScriptedBridge : public BridgeLibrary {
public:
    ScriptedBridge() { devices.push_back(FakeDevice{}); }

    /// Queues what the next read returns: these bytes (status Success when 255 of them, else
    /// ReadTimedOut, as the library answers).
    void queueRead(std::vector<uint8_t> bytes) { reads.push_back(std::move(bytes)); }
    /// All bytes written, in order, flattened.
    std::vector<uint8_t> wire() const;
    /// The writes and forgets them.
    std::vector<std::vector<uint8_t>> takeWrites();

    BridgeStatus HidUart_GetNumDevices(uint32_t* numDevices, uint16_t, uint16_t) override;
    BridgeStatus HidUart_GetString(uint32_t deviceNum, uint16_t, uint16_t, char* deviceString,
                                   uint32_t options) override;
    BridgeStatus HidUart_Open(BridgeHandle* device, uint32_t deviceNum, uint16_t,
                              uint16_t) override;
    BridgeStatus HidUart_SetTimeouts(BridgeHandle device, uint32_t readTimeout,
                                     uint32_t writeTimeout) override;
    BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override;
    BridgeStatus HidUart_Write(BridgeHandle device, const uint8_t* buffer, uint32_t numBytesToWrite,
                               uint32_t* numBytesWritten) override;
    BridgeStatus HidUart_GetOpenedString(BridgeHandle device, char* deviceString,
                                         uint32_t options) override;
    BridgeStatus HidUart_Close(BridgeHandle device) override;

    std::vector<FakeDevice> devices;
    std::deque<std::vector<uint8_t>> reads;
    std::vector<std::vector<uint8_t>> writes;
    std::optional<BridgeStatus> writeFailure; ///< every write fails with this status
    /// The next reads answer these statuses instead of their own, oldest first, while still
    /// handing over their bytes and count (a library that reports a failure after filling the
    /// buffer).
    std::deque<BridgeStatus> readStatusOverrides;
    std::optional<BridgeStatus> readFailure; ///< every read fails with this status
    std::optional<BridgeStatus> pathFailure; ///< HidUart_GetOpenedString fails
    std::vector<uint8_t> lastRead;           ///< what the last read handed over with a good status
    int openHandles = 0;                     ///< opens less closes
    int openCalls = 0;
    int closeCalls = 0;
    int readCalls = 0;
    int writeCalls = 0;
    uint32_t lastReadTimeout = 99, lastWriteTimeout = 99;
    /// The open device as it was when opened: the library still knows its path after the
    /// device has left the list (that is how a removal notice is matched).
    std::optional<FakeDevice> openedDevice;

private:
    int handleTokens_[16] = {};
};

} // namespace kestrun::test
