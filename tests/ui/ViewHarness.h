#pragma once
// A setup window on the offscreen platform with its messages captured, its file dialog
// scripted and its link stepped by hand, so a test reads what the user would see.

#include "ui/CFloatEdit.h"
#include "ui/CKestrunView.h"
#include "ui/LayoutTables.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QStringList>
#include <QTest>

#include <functional>
#include <memory>

namespace kestrun::uitest {

class ViewHarness {
public:
    /// A window on `bridge`, shown at the canvas's size (`active`: the active window, so the
    /// focus moves), built unless `build` is false; once built, its link timer is stopped: the
    /// test steps the link.
    explicit ViewHarness(BridgeLibrary& bridge, bool build = true, DeviceMonitor* monitor = nullptr,
                         bool active = false)
        : view_(std::make_unique<CKestrunView>(record, bridge, monitor)) {
        view_->setMessageHook(
            [this](const std::string& text, const std::string& caption, MessageIcon icon) {
                const char* mark = icon == MessageIcon::Error ? " / error" : " / !";
                messages << QString::fromStdString(text + " / " + caption) +
                                (icon == MessageIcon::None ? "" : mark);
            });
        view_->setFileDialogHook([this](const QString& folder) {
            dialogFolders << folder;
            return nextDialogPath;
        });
        view_->resize(ui::CanvasWidth, ui::CanvasHeight);
        view_->show();
        if (active) {
            QApplication::setActiveWindow(view_.get());
            QVERIFY(QTest::qWaitForWindowActive(view_.get()));
        }
        if (build) {
            view_->holdLinkTimer();
            view_->OnInitialUpdate();
            settle();
        }
    }
    CKestrunView& view() { return *view_; }

    /// Handles the queued notices, including those posted while notices are handled.
    void settle() {
        for (int pass = 0; pass < 4; ++pass) {
            QCoreApplication::sendPostedEvents();
        }
    }
    /// Steps link ticks until `done` holds: the ticks taken, or -1 after `limit`.
    int ticksUntil(const std::function<bool()>& done, int limit) {
        for (int i = 1; i <= limit; ++i) {
            view_->link().LinkTick();
            settle();
            if (done()) {
                return i;
            }
        }
        return -1;
    }
    /// The text of a label row (ConnectionText 10, StatusText 12, UpgradeStatusText 14).
    QString line(std::size_t labelRow) const { return view_->label(labelRow)->text(); }

    /// The checked rows of the two radio groups and the two toggles, e.g. "4 19 22".
    QString checked() const {
        QStringList rows;
        for (std::size_t row : {4, 5, 6, 7, 19, 20, 22, 23, 24, 25}) {
            if (view_->checkButton(row)->isChecked()) {
                rows << QString::number(row);
            }
        }
        return rows.join(' ');
    }
    /// The nine fields' texts | their sliders' positions counted from the top | checked().
    QString shown() const {
        QStringList texts, positions;
        for (std::size_t row = 0; row < ui::FieldRects.size(); ++row) {
            texts << view_->field(row)->text();
            positions << QString::number(view_->sliderPosition(row));
        }
        return texts.join(' ') + " | " + positions.join(' ') + " | " + checked();
    }

    enum class Mouse { Click, Press, Release };
    /// A left button event through the window, so the widget that lies at that point receives
    /// it. `at` is in `widget`'s coordinates; by default its centre.
    void mouse(QWidget* widget, Mouse kind = Mouse::Click, QPoint at = QPoint(-1, -1)) {
        const QPoint point =
            widget->mapTo(view_->window(), at == QPoint(-1, -1) ? widget->rect().center() : at);
        if (kind != Mouse::Release) {
            QTest::mousePress(view_->windowHandle(), Qt::LeftButton, {}, point);
        }
        if (kind != Mouse::Press) {
            QTest::mouseRelease(view_->windowHandle(), Qt::LeftButton, {}, point);
        }
        settle();
    }
    /// A click near the right end of a button's rectangle: all of it is the button.
    void click(std::size_t buttonRow) {
        QWidget* button = view_->button(buttonRow);
        mouse(button, Mouse::Click, QPoint(button->width() - 3, button->height() / 2));
    }

    SettingsRecord record = StartRecord; ///< the document's record
    QStringList messages;                ///< each box as "text / caption[ / error | / !]"
    QStringList dialogFolders;           ///< the folders the file dialog was opened in
    QString nextDialogPath;              ///< what the file dialog answers (empty: cancelled)

private:
    std::unique_ptr<CKestrunView> view_;
};

} // namespace kestrun::uitest
