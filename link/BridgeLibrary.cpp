#include "link/BridgeLibrary.h"

namespace kestrun {

const char* BridgeStatusText(BridgeStatus status) {
    switch (status) {
    case BridgeStatusCode::Success:
        return "Success";
    case BridgeStatusCode::DeviceNotFound:
        return "Device not found";
    case BridgeStatusCode::InvalidHandle:
        return "Invalid handle";
    case BridgeStatusCode::InvalidDeviceObject:
        return "Invalid device object";
    case BridgeStatusCode::InvalidParameter:
        return "Invalid parameter";
    case BridgeStatusCode::InvalidRequestLength:
        return "Invalid request length";
    case BridgeStatusCode::ReadError:
        return "Read error";
    case BridgeStatusCode::WriteError:
        return "Write error";
    case BridgeStatusCode::ReadTimedOut:
        return "Read timed out";
    case BridgeStatusCode::WriteTimedOut:
        return "Write timed out";
    case BridgeStatusCode::DeviceIoFailed:
        return "Device I/O failed";
    case BridgeStatusCode::DeviceAccessError:
        return "Device access error";
    case BridgeStatusCode::DeviceNotSupported:
        return "Device not supported";
    case BridgeStatusCode::UnknownError:
        return "Unknown error";
    default:
        return "Unknown status";
    }
}

} // namespace kestrun
