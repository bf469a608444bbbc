#pragma once
// The setup window: the application's only view and the hub of the system. It builds every
// control once from the layout tables, dispatches the button commands to the settings exchange
// and the code upload, keeps the controls and the document's record in step, runs the link's
// 5 ms tick, and is the link's host (status lines, progress bar, message boxes).

#include "link/BridgeLibrary.h"
#include "link/DeviceMonitor.h"
#include "link/LinkEngine.h"
#include "link/LinkHost.h"
#include "settings/SettingsRecord.h"
#include "ui/ViewStyle.h"

#include <QImage>
#include <QScrollArea>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CFloatEdit;
class QAbstractButton;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSlider;

namespace kestrun {
class FineTimerResolution;
class SettingsExchange;
class CodeUpload;
namespace ui {
class KestrunCanvas;
}
} // namespace kestrun

class CKestrunView : public QScrollArea, public kestrun::LinkHost {
public:
    /// Shows a message instead of a modal box (tests capture messages through it).
    using MessageHook = std::function<void(const std::string& text, const std::string& caption,
                                           kestrun::MessageIcon icon)>;
    /// Chooses an upgrade file instead of the open-file dialog; answers the path or an empty
    /// text for a cancelled choice. Gets the folder the dialog would start in.
    using FileDialogHook = std::function<QString(const QString& startFolder)>;
    /// Answers a yes/no question instead of a modal box: true for Yes.
    using QuestionHook = std::function<bool(const QString& text)>;

    /// `record` is the document's record, `bridge` the bridge library; both outlive the view.
    /// `monitor` delivers device arrival and removal, or is null where there is none.
    CKestrunView(kestrun::SettingsRecord& record, kestrun::BridgeLibrary& bridge,
                 kestrun::DeviceMonitor* monitor, QWidget* parent = nullptr);
    /// Shuts the link down in order (timer, device monitor, bridge), then closes the upgrade
    /// file and deletes the controls.
    ~CKestrunView() override;
    CKestrunView(const CKestrunView&) = delete;
    CKestrunView& operator=(const CKestrunView&) = delete;

    /// The first call builds the controls and starts the link; later calls (after File New and
    /// File Open) build and start nothing again.
    void OnInitialUpdate();
    bool isBuilt() const { return built_; }

    /// Fills the document's record from the controls; every value clamped to its field.
    void ControlsToRecord();
    /// Shows the document's record in the controls; the sliders follow once the queued value
    /// notices are handled.
    void RecordToControls();
    /// StatusText back to "---".
    void ClearStatus();

    /// Queues a settings notice (code in the low byte); it is handled after the current handler
    /// returns, in posting order.
    void postSettingsNotify(uint32_t wParam);

    /// The full 624 x 782 canvas with its controls, as the window shows it unscrolled.
    QImage renderCanvas();

    kestrun::LinkEngine& link() { return engine_; }
    kestrun::SettingsExchange& settingsExchange() { return *exchange_; }

    void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
    void setFileDialogHook(FileDialogHook hook) { fileDialogHook_ = std::move(hook); }
    void setQuestionHook(QuestionHook hook) { questionHook_ = std::move(hook); }
    /// The folder the upgrade file dialog starts in until a file is chosen in this run (the
    /// folder last used); `chosen` is told the folder of every upgrade file chosen.
    void setUpgradeFolder(const QString& folder, std::function<void(const QString&)> chosen) {
        upgradeFolder_ = folder;
        upgradeFolderChosen_ = std::move(chosen);
    }

    /// Asked before the window closes. While an upgrade runs the controller is in its boot
    /// loader: the user is asked first ("An upgrade is in progress. Stop it and quit?", No by
    /// default); Yes stops the upgrade. False: the window stays.
    bool queryClose();

    // --- the control tables, by row (null before the first build) -------------------------------
    QWidget* button(std::size_t row) const { return buttons_.at(row); }
    /// The button of `row` as a checkable button; null for group boxes and push buttons.
    QAbstractButton* checkButton(std::size_t row) const;
    QLabel* label(std::size_t row) const { return labels_.at(row); }
    QSlider* slider(std::size_t row) const { return sliders_.at(row); }
    CFloatEdit* field(std::size_t row) const { return fields_.at(row); }
    QLineEdit* upgradeFileText() const { return upgradeFileText_; }
    QProgressBar* upgradeProgress() const { return upgradeProgress_; }
    kestrun::ui::KestrunCanvas* canvas() const { return canvas_; }
    /// The value slider `row` stands for: its top is its field's maximum.
    int32_t sliderValue(std::size_t row) const;
    /// The slider's position counted from its top: minimum + maximum - value.
    int32_t sliderPosition(std::size_t row) const;
    /// The LinkTimer (5 ms, precise): it runs only while an exchange is pending, so the idle
    /// window sleeps until a command, a device notice or the user. Benchmarks time it.
    QTimer& linkTimer() { return linkTimer_; }
    /// Tests that step the link by hand keep the timer from starting.
    void holdLinkTimer() {
        linkTimerHeld_ = true;
        linkTimer_.stop();
    }
    const kestrun::ui::ViewFonts& fonts() const { return fonts_; }

    // --- kestrun::LinkHost
    // ------------------------------------------------------------------------
    void setStatusText(const std::string& text) override;
    void setUpgradeStatusText(const std::string& text) override;
    void setConnectionText(const std::string& text) override;
    void setUpgradeProgress(int position) override;
    void setUpgradeFileText(const std::string& text) override;
    void showMessage(const std::string& text, const std::string& caption,
                     kestrun::MessageIcon icon) override;
    void recordToControls() override { RecordToControls(); }
    void controlsToRecord() override { ControlsToRecord(); }
    void postUpgradeFinished() override;
    void setLinkPending(bool pending) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void createButtons();
    void createLabels();
    void createSliders();
    void createFields();
    void createUpgradeControls();
    void applyTabOrder();
    void startLink();
    void applyScrollSteps();
    void deleteControls();

    void onButtonClicked(std::size_t row);
    void flipToggle(std::size_t row);
    /// Cancel: ends the exchange; an upgrade stopped half-way says where it left the controller.
    void cancelExchange();
    void selectUpgradeFile();
    void onSliderAction(std::size_t row);
    bool sliderEvent(QSlider* slider, QEvent* event);
    void handleSettingsNotify(uint32_t wParam);
    /// Checks radio `row` and clears the others of its group.
    void checkRadio(std::size_t row);
    void setRadioGroup(std::size_t firstRow, int checkedOffset);
    void onDeviceNotice();

    kestrun::SettingsRecord& record_;
    kestrun::BridgeLibrary& bridge_;
    kestrun::DeviceMonitor* monitor_;
    kestrun::LinkEngine engine_;
    std::unique_ptr<kestrun::SettingsExchange> exchange_;
    std::unique_ptr<kestrun::CodeUpload> upload_;

    bool built_ = false;
    kestrun::ui::ViewFonts fonts_;
    kestrun::ui::KestrunCanvas* canvas_ = nullptr;
    std::array<QWidget*, 26> buttons_{};
    std::array<QLabel*, 15> labels_{};
    std::array<QSlider*, 9> sliders_{};
    std::array<CFloatEdit*, 9> fields_{};
    QLineEdit* upgradeFileText_ = nullptr;
    QProgressBar* upgradeProgress_ = nullptr;
    /// The group-start row of each radio button's group; 0 for every other button.
    std::array<std::size_t, 26> radioGroup_{};

    QTimer linkTimer_;
    /// Holds the system's fine timer while the link ticks (Windows' default tick is 15.6 ms).
    std::unique_ptr<kestrun::FineTimerResolution> timerResolution_;
    std::unique_ptr<QObject> deviceWatcher_;
    QTimer devicePollTimer_; ///< asks a monitor without a handle now and then
    bool linkTimerHeld_ = false;
    MessageHook messageHook_;
    FileDialogHook fileDialogHook_;
    QuestionHook questionHook_;
    QString upgradeFolder_;
    std::function<void(const QString&)> upgradeFolderChosen_;
};

/// Renders the canvas of `view` to a PNG at `pngPath` after start-up and after the queued notices
/// have been handled. Answers why the file could not be written, or an empty text.
QString saveScreenshot(CKestrunView& view, const QString& pngPath);
