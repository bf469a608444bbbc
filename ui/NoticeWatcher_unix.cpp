#include "ui/NoticeWatcher.h"

#include <QSocketNotifier>

namespace kestrun::ui {

std::unique_ptr<QObject> watchNotices(NoticeHandle handle, std::function<void()> onNotices) {
    if (handle == NoNoticeHandle) {
        return nullptr;
    }
    auto notifier =
        std::make_unique<QSocketNotifier>(static_cast<qintptr>(handle), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [onNotices = std::move(onNotices)] { onNotices(); });
    return notifier;
}

} // namespace kestrun::ui
