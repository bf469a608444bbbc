// The serial bridge's calls that are the same on every system: the rates, the one device and
// its strings, the handles, the checks every call makes and the owner of the port. The port's
// own opening, reading, writing and noticing a hang-up are the system's (SerialBridge_unix.cpp,
// SerialBridge_win.cpp).

#include "link/serial/SerialBridge.h"

#include "link/owner/OwnerLock.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace kestrun {
namespace {

// The rates the terminal interface names; the same list on every system, so a command line
// that works on one works on the other.
constexpr std::array<uint32_t, 24> BaudRates{
    300,     600,     1200,    1800,    2400,    4800,    9600,    19200,
    38400,   57600,   115200,  230400,  460800,  500000,  576000,  921600,
    1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000,
};

void copyString(char* buffer, const std::string& text) {
    const std::size_t n = std::min(text.size(), DeviceStringLength - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

} // namespace

bool SerialBridge::isSupportedBaud(uint32_t baud) {
    return std::find(BaudRates.begin(), BaudRates.end(), baud) != BaudRates.end();
}

std::string SerialBridge::baudProblem(uint32_t baud) {
    std::string text = "Unsupported baud rate " + std::to_string(baud) + "; use one of";
    for (std::size_t i = 0; i < BaudRates.size(); ++i) {
        text += (i == 0 ? " " : ", ") + std::to_string(BaudRates[i]);
    }
    return text;
}

SerialBridge::Port* SerialBridge::find(BridgeHandle handle) const {
    for (const auto& port : open_) {
        if (port.get() == handle) {
            return port.get();
        }
    }
    return nullptr;
}

BridgeStatus SerialBridge::HidUart_GetNumDevices(uint32_t* numDevices, uint16_t, uint16_t) {
    if (numDevices == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    *numDevices = 1;
    return BridgeStatusCode::Success;
}

BridgeStatus SerialBridge::HidUart_GetString(uint32_t deviceNum, uint16_t, uint16_t,
                                             char* deviceString, uint32_t options) {
    if (deviceString == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    deviceString[0] = '\0';
    if (deviceNum != 0) {
        return BridgeStatusCode::DeviceNotFound;
    }
    return copyDeviceString(deviceString, options);
}

BridgeStatus SerialBridge::copyDeviceString(char* deviceString, uint32_t options) const {
    switch (options) {
    case BridgeStringOption::Path:
        copyString(deviceString, device_);
        return BridgeStatusCode::Success;
    case BridgeStringOption::Product:
        copyString(deviceString, SerialProductString);
        return BridgeStatusCode::Success;
    default:
        return BridgeStatusCode::InvalidParameter;
    }
}

BridgeStatus SerialBridge::HidUart_Open(BridgeHandle* device, uint32_t deviceNum, uint16_t,
                                        uint16_t) {
    if (device == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    *device = nullptr;
    if (deviceNum != 0) {
        return BridgeStatusCode::DeviceNotFound;
    }
    problem_ = {};
    // Another Kestrun process on the port would share its bytes and its flush: not opened.
    std::unique_ptr<OwnerLock> owner = OwnerLock::acquire(device_, problem_.text);
    if (!owner) {
        problem_.inUse = true;
        return BridgeStatusCode::DeviceAccessError;
    }
    auto port = std::make_unique<Port>();
    if (const BridgeStatus opened = openPort(*port); opened != BridgeStatusCode::Success) {
        return opened;
    }
    port->owner = std::move(owner);
    *device = port.get();
    open_.push_back(std::move(port));
    hungUp_ = false;
    removalPending_ = false;
    return BridgeStatusCode::Success;
}

BridgeStatus SerialBridge::HidUart_SetTimeouts(BridgeHandle device, uint32_t readTimeout,
                                               uint32_t writeTimeout) {
    Port* port = find(device);
    if (port == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    if (!applyTimeouts(*port, readTimeout, writeTimeout)) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    port->readTimeout = readTimeout;
    port->writeTimeout = writeTimeout;
    return BridgeStatusCode::Success;
}

BridgeStatus SerialBridge::HidUart_Read(BridgeHandle device, uint8_t* buffer,
                                        uint32_t numBytesToRead, uint32_t* numBytesRead) {
    if (numBytesRead == nullptr || (buffer == nullptr && numBytesToRead > 0)) {
        return BridgeStatusCode::InvalidParameter;
    }
    *numBytesRead = 0;
    Port* port = find(device);
    if (port == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    if (port->gone) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    const uint32_t got = readSome(*port, buffer, numBytesToRead);
    *numBytesRead = got;
    // Bytes that came before the hang-up are handed over; the failure shows on the next read.
    if (port->gone && got == 0) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    return got == numBytesToRead ? BridgeStatusCode::Success : BridgeStatusCode::ReadTimedOut;
}

BridgeStatus SerialBridge::HidUart_Write(BridgeHandle device, const uint8_t* buffer,
                                         uint32_t numBytesToWrite, uint32_t* numBytesWritten) {
    if (numBytesWritten == nullptr || (buffer == nullptr && numBytesToWrite > 0)) {
        return BridgeStatusCode::InvalidParameter;
    }
    *numBytesWritten = 0;
    Port* port = find(device);
    if (port == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    if (port->gone) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    if (numBytesToWrite == 0) {
        return BridgeStatusCode::Success;
    }
    return writeSome(*port, buffer, numBytesToWrite, *numBytesWritten);
}

BridgeStatus SerialBridge::HidUart_GetOpenedString(BridgeHandle device, char* deviceString,
                                                   uint32_t options) {
    if (deviceString == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    deviceString[0] = '\0';
    if (find(device) == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    return copyDeviceString(deviceString, options);
}

} // namespace kestrun
