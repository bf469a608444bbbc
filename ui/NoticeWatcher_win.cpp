#include "ui/NoticeWatcher.h"

#include <QWinEventNotifier>

namespace kestrun::ui {

std::unique_ptr<QObject> watchNotices(NoticeHandle handle, std::function<void()> onNotices) {
    if (handle == NoNoticeHandle || handle == 0) {
        return nullptr;
    }
    auto notifier = std::make_unique<QWinEventNotifier>(reinterpret_cast<Qt::HANDLE>(handle));
    QObject::connect(notifier.get(), &QWinEventNotifier::activated, notifier.get(),
                     [onNotices = std::move(onNotices)] { onNotices(); });
    return notifier;
}

} // namespace kestrun::ui
