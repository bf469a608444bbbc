#include "tests/ui/ViewHarness.h"

#include "ui/LayoutTables.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTest>
#include <QWindow>

namespace kestrun::uitest {

ViewHarness::ViewHarness(BridgeLibrary& bridge, bool build, DeviceMonitor* monitor)
    : view_(std::make_unique<CKestrunView>(record, bridge, monitor)) {
    view_->setMessageHook(
        [this](const std::string& text, const std::string& caption, MessageIcon icon) {
            messages.push_back({text, caption, icon});
        });
    view_->setFileDialogHook([this](const QString& folder) {
        dialogFolders.push_back(folder);
        return nextDialogPath;
    });
    view_->resize(ui::CanvasWidth, ui::CanvasHeight);
    view_->show();
    if (build) {
        view_->OnInitialUpdate();
        settle();
    }
}

ViewHarness::~ViewHarness() = default;

void ViewHarness::settle() {
    // Notices posted while notices are handled (a load posts nine value notices) wait for the
    // next pass, as they would wait for the next round of the event loop.
    for (int pass = 0; pass < 4; ++pass) {
        QCoreApplication::sendPostedEvents();
    }
}

void ViewHarness::ticks(int count) {
    for (int i = 0; i < count; ++i) {
        view_->link().LinkTick();
        settle();
    }
}

int ViewHarness::ticksUntil(const std::function<bool()>& done, int limit) {
    for (int i = 1; i <= limit; ++i) {
        view_->link().LinkTick();
        settle();
        if (done()) {
            return i;
        }
    }
    return -1;
}

QString ViewHarness::statusText() const {
    return view_->label(ui::LabelRowOf::StatusText)->text();
}
QString ViewHarness::upgradeStatusText() const {
    return view_->label(ui::LabelRowOf::UpgradeStatusText)->text();
}
QString ViewHarness::connectionText() const {
    return view_->label(ui::LabelRowOf::ConnectionText)->text();
}

QPoint ViewHarness::windowPoint(QWidget* widget, QPoint local) const {
    if (local == QPoint(-1, -1)) {
        local = widget->rect().center();
    }
    return widget->mapTo(view_->window(), local);
}

void ViewHarness::click(QWidget* widget, QPoint local) {
    QTest::mouseClick(view_->windowHandle(), Qt::LeftButton, {}, windowPoint(widget, local));
    settle();
}

void ViewHarness::press(QWidget* widget, QPoint local) {
    QTest::mousePress(view_->windowHandle(), Qt::LeftButton, {}, windowPoint(widget, local));
    settle();
}

void ViewHarness::release(QWidget* widget, QPoint local) {
    QTest::mouseRelease(view_->windowHandle(), Qt::LeftButton, {}, windowPoint(widget, local));
    settle();
}

void ViewHarness::moveTo(QWidget* widget, QPoint local) {
    QTest::mouseMove(view_->windowHandle(), windowPoint(widget, local));
    settle();
}

} // namespace kestrun::uitest
