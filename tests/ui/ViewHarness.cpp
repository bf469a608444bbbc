#include "tests/ui/ViewHarness.h"

#include "ui/CFloatEdit.h"
#include "ui/LayoutTables.h"

#include <QAbstractButton>
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
        view_->linkTimer().stop(); // the test steps the link itself
        settle();
    }
}

void ViewHarness::settle() {
    for (int pass = 0; pass < 4; ++pass) {
        QCoreApplication::sendPostedEvents();
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

QString ViewHarness::line(std::size_t labelRow) const {
    return view_->label(labelRow)->text();
}

QString ViewHarness::shown() {
    QStringList texts, positions, checked;
    for (std::size_t row = 0; row < ui::FieldRects.size(); ++row) {
        texts << view_->field(row)->text();
        positions << QString::number(view_->sliderPosition(row));
    }
    for (std::size_t row : {4, 5, 6, 7, 19, 20, 22, 23, 24, 25}) {
        if (view_->checkButton(row)->isChecked()) {
            checked << QString::number(row);
        }
    }
    return texts.join(' ') + " | " + positions.join(' ') + " | " + checked.join(' ');
}

void ViewHarness::mouse(QWidget* widget, Mouse kind, QPoint at) {
    const QPoint point =
        widget->mapTo(view_->window(), at == QPoint(-1, -1) ? widget->rect().center() : at);
    QWindow* window = view_->windowHandle();
    if (kind != Mouse::Release) {
        QTest::mousePress(window, Qt::LeftButton, {}, point);
    }
    if (kind != Mouse::Press) {
        QTest::mouseRelease(window, Qt::LeftButton, {}, point);
    }
    settle();
}

} // namespace kestrun::uitest
