#include "tests/support/ScriptedBridge.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kestrun::test {
namespace {

BridgeStatus copyString(const FakeDevice& d, uint32_t options, char* deviceString) {
    const std::string& s = options == BridgeStringOption::Path ? d.path : d.product;
    const std::size_t n = std::min(s.size(), DeviceStringLength - 1);
    std::memcpy(deviceString, s.data(), n);
    deviceString[n] = '\0';
    return BridgeStatusCode::Success;
}

} // namespace

std::vector<uint8_t> ScriptedBridge::wire() const {
    std::vector<uint8_t> all;
    for (const auto& w : writes) {
        all.insert(all.end(), w.begin(), w.end());
    }
    return all;
}

std::vector<std::vector<uint8_t>> ScriptedBridge::takeWrites() {
    return std::exchange(writes, {});
}

BridgeStatus ScriptedBridge::HidUart_GetNumDevices(uint32_t* numDevices, uint16_t, uint16_t) {
    *numDevices = static_cast<uint32_t>(devices.size());
    return BridgeStatusCode::Success;
}

BridgeStatus ScriptedBridge::HidUart_GetString(uint32_t deviceNum, uint16_t, uint16_t,
                                               char* deviceString, uint32_t options) {
    if (deviceNum >= devices.size()) {
        return BridgeStatusCode::DeviceNotFound;
    }
    const FakeDevice& d = devices[deviceNum];
    return d.stringStatus != BridgeStatusCode::Success ? d.stringStatus
                                                       : copyString(d, options, deviceString);
}

BridgeStatus ScriptedBridge::HidUart_Open(BridgeHandle* device, uint32_t deviceNum, uint16_t,
                                          uint16_t) {
    ++openCalls;
    *device = nullptr;
    if (deviceNum >= devices.size()) {
        return BridgeStatusCode::DeviceNotFound;
    }
    if (devices[deviceNum].openStatus != BridgeStatusCode::Success) {
        return devices[deviceNum].openStatus;
    }
    *device = &handleTokens_[deviceNum % 16];
    openedDevice = devices[deviceNum];
    ++openHandles;
    return BridgeStatusCode::Success;
}

BridgeStatus ScriptedBridge::HidUart_SetTimeouts(BridgeHandle, uint32_t readTimeout,
                                                 uint32_t writeTimeout) {
    lastReadTimeout = readTimeout;
    lastWriteTimeout = writeTimeout;
    return BridgeStatusCode::Success;
}

BridgeStatus ScriptedBridge::HidUart_Read(BridgeHandle, uint8_t* buffer, uint32_t numBytesToRead,
                                          uint32_t* numBytesRead) {
    ++readCalls;
    *numBytesRead = 0;
    lastRead.clear();
    if (readFailure) {
        return *readFailure;
    }
    std::optional<BridgeStatus> statusOverride;
    if (!readStatusOverrides.empty()) {
        statusOverride = readStatusOverrides.front();
        readStatusOverrides.pop_front();
    }
    if (reads.empty()) {
        return statusOverride.value_or(BridgeStatusCode::ReadTimedOut);
    }
    std::vector<uint8_t> next = std::move(reads.front());
    reads.pop_front();
    if (next.size() > numBytesToRead) {
        // What does not fit stays for the next read, as a real bridge keeps it.
        reads.emplace_front(next.begin() + numBytesToRead, next.end());
        next.resize(numBytesToRead);
    }
    std::copy(next.begin(), next.end(), buffer);
    *numBytesRead = static_cast<uint32_t>(next.size());
    const BridgeStatus status = statusOverride.value_or(
        next.size() == numBytesToRead ? BridgeStatusCode::Success : BridgeStatusCode::ReadTimedOut);
    if (status == BridgeStatusCode::Success || status == BridgeStatusCode::ReadTimedOut) {
        lastRead = std::move(next);
    }
    return status;
}

BridgeStatus ScriptedBridge::HidUart_Write(BridgeHandle, const uint8_t* buffer,
                                           uint32_t numBytesToWrite, uint32_t* numBytesWritten) {
    *numBytesWritten = 0;
    ++writeCalls;
    if (writeFailure) {
        return *writeFailure;
    }
    writes.emplace_back(buffer, buffer + numBytesToWrite);
    *numBytesWritten = numBytesToWrite;
    return BridgeStatusCode::Success;
}

BridgeStatus ScriptedBridge::HidUart_GetOpenedString(BridgeHandle, char* deviceString,
                                                     uint32_t options) {
    if (pathFailure) {
        return *pathFailure;
    }
    return openedDevice ? copyString(*openedDevice, options, deviceString)
                        : BridgeStatusCode::InvalidHandle;
}

BridgeStatus ScriptedBridge::HidUart_Close(BridgeHandle) {
    ++closeCalls;
    --openHandles;
    openedDevice.reset();
    return BridgeStatusCode::Success;
}

} // namespace kestrun::test
