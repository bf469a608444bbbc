#include "app/KestrunViewShell.h"

#include "app/AppText.h"
#include "app/ShellPrompts.h"

#include "ui/CKestrunView.h"
#include "ui/ViewEvents.h"

#include <cstdlib>

namespace kestrun {

// The document posts its load notice by number; it must be the code the window shows a record on.
static_assert(SettingsLoadedNotice == ui::SettingsNotifyCode::RecordLoaded);

KestrunViewShell::KestrunViewShell(LinkDevices devices, SettingsRecord& record)
    : devices_(std::move(devices)),
      view_(new CKestrunView(record, *devices_.bridge, devices_.monitor)), alive_(view_) {
    view_->linkTimer().setInterval(
        std::chrono::duration_cast<std::chrono::milliseconds>(devices_.tickPeriod));
}

KestrunViewShell::~KestrunViewShell() {
    if (alive_ && view_->parent() == nullptr) {
        delete view_;
    }
}

QWidget* KestrunViewShell::widget() {
    return view_;
}

void KestrunViewShell::OnInitialUpdate() {
    view_->OnInitialUpdate();
}

void KestrunViewShell::ControlsToRecord() {
    view_->ControlsToRecord();
}

void KestrunViewShell::postSettingsNotify(uint32_t code) {
    view_->postSettingsNotify(code);
}

QString KestrunViewShell::saveScreenshot(const QString& pngPath) {
    return ::saveScreenshot(*view_, pngPath);
}

void KestrunViewShell::setUpgradeFolder(const QString& folder,
                                        std::function<void(const QString&)> chosen) {
    view_->setUpgradeFolder(folder, std::move(chosen));
}

bool KestrunViewShell::queryClose() {
    return view() == nullptr || view_->queryClose();
}

std::unique_ptr<ShellView> makeKestrunViewShell(const CommandLine& options, SettingsRecord& record,
                                                QString& error) {
    error = linkChoiceProblem(options);
    if (!error.isEmpty()) {
        return nullptr;
    }
    auto shell = std::make_unique<KestrunViewShell>(makeLinkDevices(options), record);
    const char* toStderr = std::getenv(AppText::MessagesToStderrVariable);
    if (toStderr != nullptr && *toStderr != '\0') {
        shell->view()->setMessageHook([print = stderrMessageHook()](const std::string& text,
                                                                    const std::string& caption,
                                                                    MessageIcon) {
            print(nullptr, QString::fromStdString(text), QString::fromStdString(caption));
        });
    }
    return shell;
}

} // namespace kestrun
