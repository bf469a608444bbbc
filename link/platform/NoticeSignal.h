#pragma once
// A device monitor's wake-up for notices it queues itself (the simulated bridge's plugging, a
// serial port's hang-up): an eventfd on Linux, an event object on Windows, so the surroundings
// wait on it exactly as on the platform's own monitor (see link/DeviceMonitor.h).

#include "link/DeviceMonitor.h"

namespace kestrun {

class NoticeSignal {
public:
    /// Never fails: when the system gives no handle, handle() is NoNoticeHandle and the owner's
    /// notices are only seen when its surroundings ask for them.
    NoticeSignal();
    ~NoticeSignal();
    NoticeSignal(const NoticeSignal&) = delete;
    NoticeSignal& operator=(const NoticeSignal&) = delete;

    /// The handle the surroundings wait on; the same for the signal's whole life.
    NoticeHandle handle() const { return handle_; }
    /// Makes the handle fire until clear(). Safe from any thread.
    void raise();
    /// Stops the handle firing. Call it before taking the queued notices, so that one queued
    /// meanwhile raises it again.
    void clear();

private:
    NoticeHandle handle_ = NoNoticeHandle;
};

} // namespace kestrun
