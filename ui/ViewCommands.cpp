// The setup window's reactions: the button commands, the queued notices and presses, the
// link host's status lines and messages, and the canvas rendered for a screenshot.

#include "ui/CKestrunView.h"
#include "ui/CorePath.h"

#include "link/SettingsExchange.h"
#include "ui/KestrunCanvas.h"
#include "ui/LayoutTables.h"
#include "ui/ViewEvents.h"
#include "ui/ViewText.h"
#include "upgrade/CodeUpload.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSaveFile>
#include <QSlider>

#include <algorithm>

using namespace kestrun;
using namespace kestrun::ui;

namespace {
QString fromSystem(const std::string& text) {
    return fromCore(text);
}
} // namespace

// --- commands -----------------------------------------------------------------------------------

void CKestrunView::onButtonClicked(std::size_t row) {
    ClearStatus();
    switch (row) {
    case ButtonRowOf::GetData:
        exchange_->GetData();
        break;
    case ButtonRowOf::SendData:
        exchange_->SendData();
        break;
    case ButtonRowOf::SelectFile:
        selectUpgradeFile();
        break;
    case ButtonRowOf::Start:
        upload_->StartUpgrade();
        break;
    case ButtonRowOf::Cancel:
        cancelExchange();
        break;
    case ButtonRowOf::OneWayCommunication:
    case ButtonRowOf::PressureJoystick:
        flipToggle(row);
        break;
    default:
        if (radioGroup_.at(row) != 0) {
            checkRadio(row);
        }
        break;
    }
}

void CKestrunView::flipToggle(std::size_t row) {
    if (QAbstractButton* toggle = checkButton(row)) {
        toggle->setChecked(!toggle->isChecked());
    }
}

namespace {
// From the wake-up to the last line the controller is in its boot loader, without complete
// firmware; once "Z" has gone it has all of it.
bool inBootLoader(LinkState state) {
    return state >= LinkState::WaitBootLoader && state <= LinkState::Uploading;
}
} // namespace

void CKestrunView::cancelExchange() {
    const bool stopped = inBootLoader(engine_.linkState());
    upload_->CancelExchange();
    if (stopped) {
        setUpgradeStatusText(ViewText::StoppedInBootLoader);
    }
}

bool CKestrunView::queryClose() {
    if (!inBootLoader(engine_.linkState())) {
        return true;
    }
    const QString question = QString::fromLatin1(ViewText::QuitDuringUpgrade);
    const bool stop = questionHook_
                          ? questionHook_(question)
                          : QMessageBox::question(this, QString::fromLatin1(LinkText::AppName),
                                                  question, QMessageBox::Yes | QMessageBox::No,
                                                  QMessageBox::No) == QMessageBox::Yes;
    if (stop) {
        cancelExchange();
    }
    return stop;
}

void CKestrunView::selectUpgradeFile() {
    if (!upload_->canSelectFile()) {
        return;
    }
    // The folder of the file chosen before in this run, else the one last used.
    const std::string chosenFolder = upload_->dialogFolder();
    const QString folder = chosenFolder.empty() ? upgradeFolder_ : fromCore(chosenFolder);
    QString path;
    if (fileDialogHook_) {
        path = fileDialogHook_(folder);
    } else {
        QString selected = QString::fromUtf8(ViewText::HexFilesFilter);
        path = QFileDialog::getOpenFileName(
            this, QString(), folder,
            QStringLiteral("%1;;%2").arg(ViewText::HexFilesFilter, ViewText::AllFilesFilter),
            &selected);
    }
    if (path.isEmpty()) {
        return;
    }
    upload_->SelectUpgradeFile(corePath(path));
    const std::string accepted = upload_->dialogFolder();
    if (accepted != chosenFolder && !accepted.empty() && upgradeFolderChosen_) {
        upgradeFolderChosen_(fromCore(accepted));
    }
}

void CKestrunView::ClearStatus() {
    setStatusText(LinkText::StatusIdle);
}

// --- events -------------------------------------------------------------------------------------

void CKestrunView::postSettingsNotify(uint32_t wParam) {
    QCoreApplication::postEvent(this, new SettingsNotifyEvent(wParam));
}

bool CKestrunView::event(QEvent* event) {
    if (event->type() == SettingsNotifyEvent::eventType()) {
        handleSettingsNotify(static_cast<SettingsNotifyEvent*>(event)->wParam());
        return true;
    }
    if (event->type() == FieldForwardEvent::eventType()) {
        return true; // keys and focus changes a field hands on have no effect here
    }
    return QScrollArea::event(event);
}

bool CKestrunView::eventFilter(QObject* watched, QEvent* event) {
    const auto slider = std::find(sliders_.begin(), sliders_.end(), watched);
    if (slider != sliders_.end() && sliderEvent(*slider, event)) {
        return true;
    }
    const bool handled = QScrollArea::eventFilter(watched, event);
    if (watched == canvas_ && event->type() == QEvent::Resize) {
        applyScrollSteps();
    }
    return handled;
}

bool CKestrunView::sliderEvent(QSlider* slider, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            ClearStatus(); // a slider let go of the mouse
        }
        return false;
    case QEvent::Wheel:
        if (slider->hasFocus()) {
            return false;
        }
        // Not the slider's: the wheel goes to the view, which scrolls.
        QCoreApplication::sendEvent(viewport(), event);
        return true;
    case QEvent::KeyPress: {
        // Home is the top of the slider, the field's maximum; End the bottom, its minimum.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Home && key != Qt::Key_End) {
            return false;
        }
        slider->triggerAction(key == Qt::Key_Home ? QAbstractSlider::SliderToMaximum
                                                  : QAbstractSlider::SliderToMinimum);
        return true;
    }
    default:
        return false;
    }
}

// --- link host ----------------------------------------------------------------------------------

void CKestrunView::setStatusText(const std::string& text) {
    if (QLabel* line = labels_[LabelRowOf::StatusText]) {
        line->setText(fromSystem(text));
    }
}

void CKestrunView::setUpgradeStatusText(const std::string& text) {
    if (QLabel* line = labels_[LabelRowOf::UpgradeStatusText]) {
        line->setText(fromSystem(text));
    }
}

void CKestrunView::setConnectionText(const std::string& text) {
    if (QLabel* line = labels_[LabelRowOf::ConnectionText]) {
        line->setText(fromSystem(text));
    }
}

void CKestrunView::setUpgradeProgress(int position) {
    if (upgradeProgress_ != nullptr) {
        upgradeProgress_->setValue(std::clamp(position, 0, UpgradeProgressMaximum));
    }
}

void CKestrunView::setUpgradeFileText(const std::string& text) {
    if (upgradeFileText_ != nullptr) {
        upgradeFileText_->setText(fromSystem(text));
        upgradeFileText_->setCursorPosition(0);
    }
}

void CKestrunView::showMessage(const std::string& text, const std::string& caption,
                               MessageIcon icon) {
    if (messageHook_) {
        messageHook_(text, caption, icon);
        return;
    }
    const QMessageBox::Icon boxIcon = icon == MessageIcon::Error         ? QMessageBox::Critical
                                      : icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                                         : QMessageBox::NoIcon;
    QMessageBox box(boxIcon, fromSystem(caption), fromSystem(text), QMessageBox::Ok, this);
    box.exec(); // ticks and device notices go on in its loop
}

void CKestrunView::postUpgradeFinished() {
    postSettingsNotify(SettingsNotifyCode::UpgradeFinished);
}

// --- screenshot ---------------------------------------------------------------------------------

QImage CKestrunView::renderCanvas() {
    QImage image(CanvasWidth, CanvasHeight, QImage::Format_RGB32);
    image.fill(WindowColor);
    canvas_->render(&image, QPoint(), QRegion(),
                    QWidget::DrawWindowBackground | QWidget::DrawChildren);
    return image;
}

QString saveScreenshot(CKestrunView& view, const QString& pngPath) {
    view.OnInitialUpdate();
    // The start-up commits queued the sliders' positions, and a settings file opened at start
    // queued its load, whose commits queue positions in turn: let them all land first.
    for (int pass = 0; pass < 4; ++pass) {
        QCoreApplication::sendPostedEvents();
    }
    const QImage image = view.renderCanvas();
    QSaveFile file(pngPath);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return file.errorString().isEmpty() ? QStringLiteral("the picture could not be encoded")
                                            : file.errorString();
    }
    return file.commit() ? QString() : file.errorString();
}
