#include "link/platform/NoticeSignal.h"

#include <windows.h>

namespace kestrun {

// A manual-reset event: it stays signalled, as a readable descriptor stays readable, until the
// notices are taken.
NoticeSignal::NoticeSignal() {
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    handle_ = event != nullptr ? reinterpret_cast<NoticeHandle>(event) : NoNoticeHandle;
}

NoticeSignal::~NoticeSignal() {
    if (handle_ != NoNoticeHandle) {
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

void NoticeSignal::raise() {
    if (handle_ != NoNoticeHandle) {
        ::SetEvent(reinterpret_cast<HANDLE>(handle_));
    }
}

void NoticeSignal::clear() {
    if (handle_ != NoNoticeHandle) {
        ::ResetEvent(reinterpret_cast<HANDLE>(handle_));
    }
}

} // namespace kestrun
