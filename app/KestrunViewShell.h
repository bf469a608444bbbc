#pragma once
// The setup window as the shell's view: it forwards the document's calls to CKestrunView and
// keeps the bridge and device monitor the window talks through alive as long as the window.

#include "app/CommandLine.h"
#include "app/DocumentView.h"
#include "app/LinkChoice.h"
#include "settings/SettingsRecord.h"

#include <QObject>
#include <QPointer>

#include <memory>

class CKestrunView;

namespace kestrun {

class KestrunViewShell : public ShellView {
public:
    KestrunViewShell(LinkDevices devices, SettingsRecord& record);
    /// Deletes the window only if no frame took it; a frame deletes it itself, before this.
    ~KestrunViewShell() override;

    QWidget* widget() override;
    void OnInitialUpdate() override;
    void ControlsToRecord() override;
    void postSettingsNotify(uint32_t code) override;
    QString saveScreenshot(const QString& pngPath) override;
    bool queryClose() override;
    void setUpgradeFolder(const QString& folder,
                          std::function<void(const QString&)> chosen) override;

    /// The setup window (null once its frame has deleted it).
    CKestrunView* view() const { return alive_ ? view_ : nullptr; }
    BridgeLibrary& bridge() const { return *devices_.bridge; }

private:
    LinkDevices devices_;
    CKestrunView* view_;
    QPointer<QObject> alive_; ///< follows view_, which the frame deletes
};

/// The shell's default view: the setup window over the link the command line chose. With the
/// messages-to-standard-error variable set, the window's message boxes print instead.
std::unique_ptr<ShellView> makeKestrunViewShell(const CommandLine& options, SettingsRecord& record,
                                                QString& error);

} // namespace kestrun
