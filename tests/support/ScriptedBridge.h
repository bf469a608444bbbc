#pragma once
// A bridge library fake for tests: a list of devices, a queue of reads the test scripts (each
// entry is what one HidUart_Read call returns), and a log of every write. It can be told to
// fail writes, reads and opens, and its devices can be removed.

#include "link/BridgeLibrary.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrun::test {

struct FakeDevice {
    std::string product = "CP2110 HID USB-to-UART Bridge";
    std::string path = "/dev/hidraw0";
    BridgeStatus openStatus = BridgeStatusCode::Success;
    BridgeStatus stringStatus = BridgeStatusCode::Success;

    BridgeStatus copyString(uint32_t options, char* deviceString) const {
        const std::string& s = options == BridgeStringOption::Path ? path : product;
        const std::size_t n = std::min(s.size(), DeviceStringLength - 1);
        std::memcpy(deviceString, s.data(), n);
        deviceString[n] = '\0';
        return BridgeStatusCode::Success;
    }
};

class ScriptedBridge : public BridgeLibrary {
public:
    ScriptedBridge() { devices.push_back(FakeDevice{}); }

    /// Queues what the next read returns: these bytes (status Success when 255 of them, else
    /// ReadTimedOut, as the library answers).
    void queueRead(std::vector<uint8_t> bytes) { reads.push_back(std::move(bytes)); }
    std::vector<uint8_t> wire() const {
        std::vector<uint8_t> all;
        for (const auto& w : writes) {
            all.insert(all.end(), w.begin(), w.end());
        }
        return all;
    }
    std::vector<std::vector<uint8_t>> takeWrites() { return std::exchange(writes, {}); }

    BridgeStatus HidUart_GetNumDevices(uint32_t* numDevices, uint16_t, uint16_t) override {
        *numDevices = static_cast<uint32_t>(devices.size());
        return BridgeStatusCode::Success;
    }
    BridgeStatus HidUart_GetString(uint32_t deviceNum, uint16_t, uint16_t, char* deviceString,
                                   uint32_t options) override {
        const BridgeStatus status = deviceNum < devices.size() ? devices[deviceNum].stringStatus
                                                               : BridgeStatusCode::DeviceNotFound;
        return status != BridgeStatusCode::Success
                   ? status
                   : devices[deviceNum].copyString(options, deviceString);
    }
    BridgeStatus HidUart_Open(BridgeHandle* device, uint32_t deviceNum, uint16_t,
                              uint16_t) override {
        ++openCalls;
        *device = nullptr;
        const BridgeStatus status = deviceNum < devices.size() ? devices[deviceNum].openStatus
                                                               : BridgeStatusCode::DeviceNotFound;
        if (status == BridgeStatusCode::Success) {
            *device = &handleTokens_[deviceNum % 16];
            openedDevice = devices[deviceNum];
            ++openHandles;
        }
        return status;
    }
    BridgeStatus HidUart_SetTimeouts(BridgeHandle, uint32_t readTimeout,
                                     uint32_t writeTimeout) override {
        lastReadTimeout = readTimeout;
        lastWriteTimeout = writeTimeout;
        return BridgeStatusCode::Success;
    }
    BridgeStatus HidUart_Read(BridgeHandle, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override {
        *numBytesRead = 0;
        lastRead.clear();
        if (readFailure) {
            return *readFailure;
        }
        std::vector<uint8_t> next;
        if (!reads.empty()) {
            next = std::move(reads.front());
            reads.pop_front();
        }
        if (next.size() > numBytesToRead) {
            // What does not fit stays for the next read, as a real bridge keeps it.
            reads.emplace_front(next.begin() + numBytesToRead, next.end());
            next.resize(numBytesToRead);
        }
        std::copy(next.begin(), next.end(), buffer);
        *numBytesRead = static_cast<uint32_t>(next.size());
        BridgeStatus status = next.size() == numBytesToRead ? BridgeStatusCode::Success
                                                            : BridgeStatusCode::ReadTimedOut;
        if (!readStatusOverrides.empty()) {
            status = readStatusOverrides.front();
            readStatusOverrides.pop_front();
        }
        if (status == BridgeStatusCode::Success || status == BridgeStatusCode::ReadTimedOut) {
            lastRead = std::move(next);
        }
        return status;
    }
    BridgeStatus HidUart_Write(BridgeHandle, const uint8_t* buffer, uint32_t numBytesToWrite,
                               uint32_t* numBytesWritten) override {
        ++writeCalls;
        *numBytesWritten = writeFailure ? 0 : numBytesToWrite;
        if (!writeFailure) {
            writes.emplace_back(buffer, buffer + numBytesToWrite);
        }
        return writeFailure.value_or(BridgeStatusCode::Success);
    }
    BridgeStatus HidUart_GetOpenedString(BridgeHandle, char* deviceString,
                                         uint32_t options) override {
        return pathFailure    ? *pathFailure
               : openedDevice ? openedDevice->copyString(options, deviceString)
                              : BridgeStatusCode::InvalidHandle;
    }
    BridgeStatus HidUart_Close(BridgeHandle) override {
        ++closeCalls;
        --openHandles;
        openedDevice.reset();
        return BridgeStatusCode::Success;
    }

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
    int writeCalls = 0;
    uint32_t lastReadTimeout = 99, lastWriteTimeout = 99;
    /// The open device as it was when opened: the library still knows its path after the
    /// device has left the list (that is how a removal notice is matched).
    std::optional<FakeDevice> openedDevice;

private:
    int handleTokens_[16] = {};
};

} // namespace kestrun::test
