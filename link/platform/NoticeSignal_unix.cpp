#include "link/platform/NoticeSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace kestrun {

NoticeSignal::NoticeSignal() {
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    handle_ = fd >= 0 ? fd : NoNoticeHandle;
}

NoticeSignal::~NoticeSignal() {
    if (handle_ != NoNoticeHandle) {
        ::close(static_cast<int>(handle_));
    }
}

void NoticeSignal::raise() {
    if (handle_ != NoNoticeHandle) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(static_cast<int>(handle_), &one, sizeof one);
    }
}

void NoticeSignal::clear() {
    if (handle_ != NoNoticeHandle) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(static_cast<int>(handle_), &count, sizeof count);
    }
}

} // namespace kestrun
