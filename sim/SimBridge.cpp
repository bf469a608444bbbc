#include "sim/SimBridge.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kestrun::sim {
namespace {

// Copies `text` zero-terminated into a buffer of DeviceStringLength bytes, cut to fit.
void copyDeviceString(const std::string& text, char* buffer) {
    const std::size_t n = std::min(text.size(), DeviceStringLength - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

} // namespace

void SimBridge::remove() {
    if (!present_) {
        return;
    }
    present_ = false;
    if (open_) {
        vanished_ = true;
    }
    received_.clear();
    controller_.linkLost();
    notices_.push_back({DeviceRemoveComplete, {DeviceTypeInterface, options_.path}});
    if (noticeListener_) {
        noticeListener_();
    }
}

void SimBridge::arrive() {
    if (present_) {
        return;
    }
    present_ = true;
    notices_.push_back({DeviceArrival, {DeviceTypeInterface, options_.path}});
    if (noticeListener_) {
        noticeListener_();
    }
}

std::vector<DeviceChange> SimBridge::takeNotices() {
    return std::exchange(notices_, {});
}

const std::string* SimBridge::deviceString(uint32_t options) const {
    if (options == BridgeStringOption::Product) {
        return &options_.product;
    }
    if (options == BridgeStringOption::Path) {
        return &options_.path;
    }
    return nullptr;
}

BridgeStatus SimBridge::HidUart_GetNumDevices(uint32_t* numDevices, uint16_t, uint16_t) {
    if (numDevices == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    *numDevices = present_ ? 1 : 0;
    return BridgeStatusCode::Success;
}

BridgeStatus SimBridge::HidUart_GetString(uint32_t deviceNum, uint16_t, uint16_t,
                                          char* deviceString, uint32_t options) {
    if (!present_ || deviceNum != 0) {
        return BridgeStatusCode::DeviceNotFound;
    }
    const std::string* text = this->deviceString(options);
    if (deviceString == nullptr || text == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    copyDeviceString(*text, deviceString);
    return BridgeStatusCode::Success;
}

BridgeStatus SimBridge::HidUart_Open(BridgeHandle* device, uint32_t deviceNum, uint16_t, uint16_t) {
    if (device == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    *device = nullptr;
    if (!present_ || deviceNum != 0) {
        return BridgeStatusCode::DeviceNotFound;
    }
    if (options_.openFailure) {
        return *options_.openFailure;
    }
    // Enabling the bridge's UART purges its buffers: nothing old is read after an open.
    open_ = true;
    vanished_ = false;
    received_.clear();
    *device = handle();
    return BridgeStatusCode::Success;
}

BridgeStatus SimBridge::HidUart_SetTimeouts(BridgeHandle device, uint32_t, uint32_t) {
    // Reads and writes never wait here: the controller's clock moves only when the link reads.
    return validHandle(device) ? BridgeStatusCode::Success : BridgeStatusCode::InvalidHandle;
}

BridgeStatus SimBridge::HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                                     uint32_t* numBytesRead) {
    if (numBytesRead == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    *numBytesRead = 0;
    if (!validHandle(device)) {
        return BridgeStatusCode::InvalidHandle;
    }
    // The link reads once per tick: the controller's clock moves on whatever the read brings.
    ++readCalls_;
    controller_.tick();
    std::vector<uint8_t> arrived = controller_.takeDelivered();
    if (vanished_) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    received_.insert(received_.end(), arrived.begin(), arrived.end());
    if (options_.readFailure) {
        return *options_.readFailure;
    }
    if (buffer == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    const std::size_t n = std::min<std::size_t>(numBytesToRead, received_.size());
    std::copy_n(received_.begin(), n, buffer);
    received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(n));
    *numBytesRead = static_cast<uint32_t>(n);
    return n == numBytesToRead ? BridgeStatusCode::Success : BridgeStatusCode::ReadTimedOut;
}

BridgeStatus SimBridge::HidUart_Write(BridgeHandle device, const uint8_t* buffer,
                                      uint32_t numBytesToWrite, uint32_t* numBytesWritten) {
    if (numBytesWritten == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    *numBytesWritten = 0;
    if (!validHandle(device)) {
        return BridgeStatusCode::InvalidHandle;
    }
    if (vanished_) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    if (options_.writeFailure) {
        return *options_.writeFailure;
    }
    if (numBytesToWrite == 0) {
        return BridgeStatusCode::Success;
    }
    if (buffer == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    std::span<const uint8_t> bytes(buffer, numBytesToWrite);
    hostBytes_.insert(hostBytes_.end(), bytes.begin(), bytes.end());
    controller_.receive(bytes);
    *numBytesWritten = numBytesToWrite;
    return BridgeStatusCode::Success;
}

BridgeStatus SimBridge::HidUart_GetOpenedString(BridgeHandle device, char* deviceString,
                                                uint32_t options) {
    // The path of a pulled-out device is still known to its handle: that is how a removal
    // notice is matched with the open device.
    if (!validHandle(device)) {
        return BridgeStatusCode::InvalidHandle;
    }
    const std::string* text = this->deviceString(options);
    if (deviceString == nullptr || text == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    copyDeviceString(*text, deviceString);
    return BridgeStatusCode::Success;
}

BridgeStatus SimBridge::HidUart_Close(BridgeHandle device) {
    if (!validHandle(device)) {
        return BridgeStatusCode::InvalidHandle;
    }
    open_ = false;
    vanished_ = false;
    received_.clear();
    return BridgeStatusCode::Success;
}

} // namespace kestrun::sim
