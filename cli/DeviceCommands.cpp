// devices: every HID device the bridge layer sees, and whether the bridge among them can be used.

#include "cli/CliText.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "link/cp2110/Cp2110Bridge.h"

#include <array>
#include <cstdio>

namespace kestrun::cli {
namespace {

enum class Access { NotABridge, Usable, NoAccess, InUse, CannotOpen };

struct Listed {
    uint32_t index = 0;
    std::string path;
    std::string product;
    Access access = Access::NotABridge;
    BridgeStatus openStatus = BridgeStatusCode::Success;
    std::string ids = "-"; ///< "10c4:ea80", or "-" where the bridge has no USB ids
    bool unnamedBridge = false;
    std::string inUseBy{}; ///< with Access::InUse: the port and the program that holds it
};

/// What the fourth column says of each kind of device.
constexpr const char* accessWord(Access access) {
    switch (access) {
    case Access::NotABridge:
        return "-";
    case Access::Usable:
        return "bridge";
    case Access::NoAccess:
        return "bridge, no access";
    case Access::InUse:
        return "bridge, in use";
    case Access::CannotOpen:
        return "bridge, cannot be opened";
    }
    return "-";
}

// The same test the link's connection makes: "CP2110", exact letter case, anywhere.
bool isBridge(const std::string& product) {
    return product.find("CP2110") != std::string::npos;
}

std::string deviceString(BridgeLibrary& bridge, uint32_t index, uint32_t option) {
    std::array<char, DeviceStringLength> text{};
    if (bridge.HidUart_GetString(index, 0, 0, text.data(), option) != BridgeStatusCode::Success) {
        return {};
    }
    text.back() = '\0';
    return text.data();
}

// The USB bridge is never opened just to look at it: the window may be using it, and an open
// enables and purges the chip's UART. The node's rights tell whether the user could open it.
std::vector<Listed> listUsb(Cp2110Bridge& usb) {
    std::vector<Listed> listed;
    for (const HidDeviceInfo& device : usb.listDevices()) {
        Access access = Access::NotABridge;
        if (isBridge(device.product)) {
            access = device.accessible ? Access::Usable : Access::NoAccess;
        }
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", device.vendorId, device.productId);
        listed.push_back({device.index, device.path, device.product, access,
                          BridgeStatusCode::Success, ids, device.unnamedBridge});
    }
    return listed;
}

// Any other bridge (a serial port, the simulator) is tried with an open and a close.
std::vector<Listed> listThroughSeam(BridgeLibrary& bridge) {
    std::vector<Listed> listed;
    uint32_t count = 0;
    if (bridge.HidUart_GetNumDevices(&count, 0, 0) != BridgeStatusCode::Success) {
        return listed;
    }
    for (uint32_t index = 0; index < count; ++index) {
        Listed device{index, deviceString(bridge, index, BridgeStringOption::Path),
                      deviceString(bridge, index, BridgeStringOption::Product)};
        if (isBridge(device.product)) {
            BridgeHandle handle = nullptr;
            device.openStatus = bridge.HidUart_Open(&handle, index, 0, 0);
            if (device.openStatus == BridgeStatusCode::Success) {
                bridge.HidUart_Close(handle);
                device.access = Access::Usable;
            } else if (const BridgeLibrary::OpenProblem problem = bridge.lastOpenProblem();
                       problem.inUse) {
                // Another program holds the port: group rights are not what is missing.
                device.access = Access::InUse;
                device.inUseBy = problem.text;
            } else if (device.openStatus == BridgeStatusCode::DeviceAccessError) {
                device.access = Access::NoAccess;
            } else {
                device.access = Access::CannotOpen;
            }
        }
        listed.push_back(device);
    }
    return listed;
}

} // namespace

ExitCode runDevices(const CliOptions& options, const Console& console) {
    std::string problem;
    const std::unique_ptr<Connection> connection = Connection::open(options, problem);
    if (!connection) {
        return connectionProblem(problem, console);
    }
    const std::vector<Listed> devices = connection->usbBridge() != nullptr
                                            ? listUsb(*connection->usbBridge())
                                            : listThroughSeam(connection->bridge());
    bool usable = false;
    bool anyBridge = false;
    for (const Listed& device : devices) {
        std::fprintf(console.out, "%u\t%s\t%s\t%s\t%s\n", device.index, device.path.c_str(),
                     device.ids.c_str(), device.product.c_str(), accessWord(device.access));
        usable = usable || device.access == Access::Usable;
        anyBridge = anyBridge || device.access != Access::NotABridge;
    }
    std::fflush(console.out);
    for (const Listed& device : devices) {
        if (device.access == Access::NoAccess) {
            const char* hint =
                options.bridge == BridgeChoice::Port ? CliText::NoAccessPort : CliText::NoAccess;
            printLine(console.err, fillIn(hint, {device.path}));
        } else if (device.access == Access::InUse) {
            printLine(console.err, device.inUseBy);
        } else if (device.unnamedBridge) {
            printLine(console.err, fillIn(CliText::UnnamedBridge, {device.path, device.ids}));
        } else if (device.access == Access::CannotOpen) {
            printLine(console.err, fillIn(CliText::CannotOpen,
                                          {device.path, BridgeStatusText(device.openStatus)}));
        }
    }
    if (devices.empty()) {
        printLine(console.err, CliText::NoDevices);
    } else if (!anyBridge) {
        printLine(console.err, CliText::NoBridge);
    }
    return usable ? ExitCode::Success : ExitCode::LinkFailed;
}

} // namespace kestrun::cli
