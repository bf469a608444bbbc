#pragma once
// The window's watch on a device monitor's handle (see link/DeviceMonitor.h): a socket notifier
// on the descriptor on Linux, an event notifier on the event object on Windows. Either way the
// call comes from the window's event loop, on its thread.

#include "link/DeviceMonitor.h"

#include <QObject>

#include <functional>
#include <memory>

namespace kestrun::ui {

/// Calls `onNotices` from the event loop each time `handle` fires, for as long as the returned
/// object lives. Null for NoNoticeHandle (nothing to watch).
std::unique_ptr<QObject> watchNotices(NoticeHandle handle, std::function<void()> onNotices);

} // namespace kestrun::ui
