#pragma once
// The platform's hot-plug notices of the USB bridge: udev's hidraw events on Linux (link/udev),
// HID device-interface notices on a message-only window on Windows (link/win). The build links
// one of them as kestrun_bridge_monitor; the programs never name either.

#include "link/DeviceMonitor.h"

#include <memory>

namespace kestrun {

/// The monitor for the bridge on USB. Never fails: without a source of notices it stays silent
/// and only hot-plug is lost.
std::unique_ptr<DeviceMonitor> makeBridgeMonitor();

} // namespace kestrun
