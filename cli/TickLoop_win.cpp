// The tick loop's wait on Windows. Device notices come to a message-only window, so the wait is
// MsgWaitForMultipleObjectsEx: it wakes for a message (dispatched here, on the monitor's thread),
// for the monitor's event, and for a stop request from the console. Ctrl-C and Ctrl-Break count
// as SIGINT, closing the console (or logging off, shutting down) as SIGTERM.

#include "cli/TickLoop.h"

#include <windows.h>

#include <array>
#include <atomic>
#include <csignal>

namespace kestrun::cli {
namespace {

std::atomic<int> stopSignal{0};
/// Signalled by the console handler, so a waiting loop wakes at once. Made once, never closed.
HANDLE stopEvent = nullptr;

// Windows runs this on a thread of its own.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        stopSignal = SIGINT;
        ::SetEvent(stopEvent);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        stopSignal = SIGTERM;
        ::SetEvent(stopEvent);
        // Windows ends the process as soon as this returns: wait here, within the few seconds
        // Windows grants, while the main thread cancels the exchange and ends the program.
        ::Sleep(4000);
        return TRUE;
    default:
        return FALSE;
    }
}

void dispatchMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

bool isSignalled(HANDLE handle) {
    return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

} // namespace

void installInterruptHandlers() {
    if (stopEvent == nullptr) {
        stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    }
}

int interruptSignal() {
    return stopSignal;
}

void TickLoop::waitUntil(std::chrono::steady_clock::time_point deadline) {
    using Clock = std::chrono::steady_clock;
    std::array<HANDLE, 2> handles{};
    DWORD count = 0;
    if (stopEvent != nullptr) {
        handles[count++] = stopEvent;
    }
    HANDLE notices = nullptr;
    if (monitor_ != nullptr && monitor_->noticeHandle() != NoNoticeHandle) {
        notices = reinterpret_cast<HANDLE>(monitor_->noticeHandle());
        handles[count++] = notices;
    }
    for (;;) {
        // Whole milliseconds, rounded up, so a wait never ends before its deadline.
        const auto left = deadline - Clock::now();
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        const DWORD timeout = ms <= 0 ? 0 : static_cast<DWORD>(ms);
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(count, handles.data(), timeout,
                                                         QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_FAILED) {
            ::Sleep(timeout); // only hot-plug is lost; the ticks go on by the clock
        } else if (woke == WAIT_OBJECT_0 + count) {
            dispatchMessages(); // a device notice queues itself and signals `notices`
        }
        if (notices != nullptr && isSignalled(notices)) {
            deliverNotices();
        }
        if (interruptSignal() != 0 || Clock::now() >= deadline) {
            return;
        }
    }
}

} // namespace kestrun::cli
