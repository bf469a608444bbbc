// The setup window's life: building the controls once from the layout tables, starting the
// link, and taking both down again in order.

#include "ui/CKestrunView.h"

#include "link/SettingsExchange.h"
#include "link/platform/TimerResolution.h"
#include "settings/SettingsFields.h"
#include "ui/CFloatEdit.h"
#include "ui/FrameBox.h"
#include "ui/KestrunCanvas.h"
#include "ui/LayoutTables.h"
#include "ui/NoticeWatcher.h"
#include "ui/ViewText.h"
#include "upgrade/CodeUpload.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>

using namespace kestrun;
using namespace kestrun::ui;

namespace {

// A radio button that takes a click anywhere in its rectangle, not only on its circle and
// caption: the rectangle the layout gives it is the button. A click checks it and never clears
// it; the window clears the others of its group. The groups are kept by the window rather than
// by the toolkit, whose groups take every button but the checked one off the Tab round.
class TableRadio : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void nextCheckState() override { setChecked(true); }
};

// A radio-looking button that a click does not change by itself: the window flips its check.
class ToggleButton : public TableRadio {
public:
    using TableRadio::TableRadio;

protected:
    void nextCheckState() override {}
};

// A value's accessible name: its group and its label, "Zoom Analog Range, High".
QString fieldName(std::size_t row) {
    const ValueField& field = ValueFields.at(row);
    return QStringLiteral("%1, %2").arg(QString::fromLatin1(field.group),
                                        QString::fromLatin1(field.label));
}

QRect toQRect(const LayoutRect& r) {
    return QRect(r.x, r.y, r.width, r.height);
}
QRect toQRect(const EdgeRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// With no handle to watch, the device monitor is asked this often instead.
constexpr int DevicePollMilliseconds = 1000;

} // namespace

CKestrunView::CKestrunView(SettingsRecord& record, BridgeLibrary& bridge, DeviceMonitor* monitor,
                           QWidget* parent)
    : QScrollArea(parent), record_(record), bridge_(bridge), monitor_(monitor),
      engine_(bridge, *this), exchange_(std::make_unique<SettingsExchange>(engine_, record)),
      upload_(std::make_unique<CodeUpload>(engine_)) {
    setPalette(viewPalette());
    // The view is no stop of its own on the Tab round; its controls are.
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setBackgroundRole(QPalette::Window);
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);

    canvas_ = new KestrunCanvas;
    canvas_->setSurfacePressHandler([this] { ClearStatus(); });
    setWidget(canvas_);
    setWidgetResizable(false);
    // In a maximised frame the canvas stands in the middle, not in the top left corner.
    setAlignment(Qt::AlignCenter);
    applyScrollSteps();

    linkTimer_.setTimerType(Qt::PreciseTimer);
    linkTimer_.setInterval(5);
    QObject::connect(&linkTimer_, &QTimer::timeout, this, [this] { engine_.LinkTick(); });
    devicePollTimer_.setInterval(DevicePollMilliseconds);
    QObject::connect(&devicePollTimer_, &QTimer::timeout, this, [this] { onDeviceNotice(); });
}

CKestrunView::~CKestrunView() {
    // The link first: no tick, no device notice and no open bridge may outlive the window.
    linkTimer_.stop();
    devicePollTimer_.stop();
    timerResolution_.reset();
    deviceWatcher_.reset();
    monitor_ = nullptr;
    engine_.shutdown();
    // Then the upgrade file, then the controls.
    upload_.reset();
    deleteControls();
}

void CKestrunView::OnInitialUpdate() {
    if (built_) {
        return; // File New and File Open: the controls and the link exist already
    }
    BuildControls();
    built_ = true;
    startLink();
}

void CKestrunView::BuildControls() {
    canvas_->setFixedSize(CanvasWidth, CanvasHeight);
    engine_.reset();
    fonts_ = makeViewFonts();
    createButtons();
    createLabels();
    createSliders();
    createFields();
    createUpgradeControls();
    applyTabOrder();
    canvas_->update();
}

void CKestrunView::createButtons() {
    // Each "group start" frame opens a radio group; the toggles stay outside every group.
    std::size_t groupStart = 0;
    for (std::size_t row = 0; row < ButtonTable.size(); ++row) {
        const ButtonRow& entry = ButtonTable[row];
        const QString caption = QString::fromUtf8(entry.caption);
        QWidget* widget = nullptr;
        switch (entry.kind) {
        case ButtonKind::GroupStart:
            groupStart = row;
            [[fallthrough]];
        case ButtonKind::GroupBox: {
            auto* box = new FrameBox(caption, canvas_);
            // Frames take no presses: a press on one is a press on the window's surface.
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            box->setFocusPolicy(Qt::NoFocus);
            widget = box;
            break;
        }
        case ButtonKind::AutoRadio: {
            auto* radio = new TableRadio(caption, canvas_);
            radio->setAutoExclusive(false);
            radioGroup_[row] = groupStart;
            widget = radio;
            break;
        }
        case ButtonKind::ToggleButton: {
            auto* toggle = new ToggleButton(caption, canvas_);
            toggle->setAutoExclusive(false);
            widget = toggle;
            break;
        }
        case ButtonKind::Push:
            widget = new QPushButton(caption, canvas_);
            break;
        }
        widget->setGeometry(toQRect(entry.rect));
        widget->setFont(fonts_.control);
        widget->setProperty("controlId", entry.id);
        widget->setAccessibleName(QString(caption).replace(u'\n', u' '));
        buttons_[row] = widget;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            QObject::connect(button, &QAbstractButton::clicked, this,
                             [this, row] { onButtonClicked(row); });
        }
        widget->show();
    }
    for (std::size_t row = 0; row < ButtonTable.size(); ++row) {
        QAbstractButton* button = checkButton(row);
        if (ButtonTable[row].check != CheckAtBuild::None && button != nullptr) {
            button->setChecked(ButtonTable[row].check == CheckAtBuild::Checked);
        }
    }
}

void CKestrunView::createLabels() {
    for (std::size_t row = 0; row < LabelTable.size(); ++row) {
        const LabelRow& entry = LabelTable[row];
        auto* label = new QLabel(QString::fromUtf8(entry.caption), canvas_);
        label->setGeometry(toQRect(entry.rect));
        label->setAlignment(entry.align == LabelAlign::Centred
                                ? Qt::AlignCenter
                                : (Qt::AlignLeft | Qt::AlignVCenter));
        label->setFont(entry.font == LabelFont::Control ? fonts_.control : fonts_.caption);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setProperty("controlId", entry.id);
        label->show();
        labels_[row] = label;
    }
}

void CKestrunView::createSliders() {
    for (std::size_t row = 0; row < SliderTable.size(); ++row) {
        auto* slider = new QSlider(Qt::Vertical, canvas_);
        slider->setGeometry(toQRect(SliderTable[row].rect));
        // The toolkit's vertical slider has its maximum at the top already, so its own value is
        // the field's value; the position counted from the top is minimum + maximum - value.
        slider->setTickPosition(QSlider::TicksBothSides);
        slider->setProperty("controlId", SliderTable[row].id);
        // Tab and a click give it the focus, the wheel does not: the wheel scrolls the view
        // unless the slider has the focus already.
        slider->setFocusPolicy(Qt::StrongFocus);
        slider->setAccessibleName(fieldName(row) + QString::fromLatin1(ViewText::SliderNameSuffix));
        slider->installEventFilter(this);
        QObject::connect(slider, &QAbstractSlider::actionTriggered, this,
                         [this, row](int) { onSliderAction(row); });
        slider->show();
        sliders_[row] = slider;
    }
}

void CKestrunView::createFields() {
    QPalette valuePalette = canvas_->palette();
    valuePalette.setColor(QPalette::Base, ValueColor);
    valuePalette.setColor(QPalette::Text, OutlineColor);
    for (std::size_t row = 0; row < FieldRects.size(); ++row) {
        auto* field = new CFloatEdit(canvas_);
        field->setGeometry(toQRect(FieldRects[row].rect));
        field->setFont(fonts_.value);
        field->setPalette(valuePalette);
        field->setProperty("controlId", FieldRects[row].id);
        field->setAccessibleName(fieldName(row));
        field->setNoticeTarget(this);
        field->show();
        fields_[row] = field;

        // Field setup: limits, start value, the slider's range, then a commit whose notice gives
        // the slider its start position.
        const ValueField& entry = ValueFields.at(row);
        field->setField(entry);
        field->ShowValue(entry.startValue);
        sliders_[row]->setRange(entry.minimum, entry.maximum);
        sliders_[row]->setTickInterval(entry.maximum - entry.minimum);   // end ticks only
        sliders_[row]->setPageStep((entry.maximum - entry.minimum) / 5); // a page: a fifth
        field->CommitValue();
    }
}

void CKestrunView::createUpgradeControls() {
    upgradeFileText_ = new QLineEdit(canvas_);
    upgradeFileText_->setGeometry(toQRect(UpgradeFileTextRect));
    upgradeFileText_->setReadOnly(true);
    upgradeFileText_->setAlignment(Qt::AlignCenter);
    upgradeFileText_->setFont(fonts_.control);
    QPalette filePalette = canvas_->palette();
    filePalette.setColor(QPalette::Base, FileTextColor);
    filePalette.setColor(QPalette::Text, OutlineColor);
    upgradeFileText_->setPalette(filePalette);
    upgradeFileText_->setProperty("controlId", UpgradeFileTextId);
    upgradeFileText_->setAccessibleName(QString::fromLatin1(ViewText::UpgradeFileName));
    upgradeFileText_->show();

    upgradeProgress_ = new QProgressBar(canvas_);
    upgradeProgress_->setGeometry(toQRect(UpgradeProgressRect));
    upgradeProgress_->setRange(0, UpgradeProgressMaximum);
    upgradeProgress_->setValue(0);
    upgradeProgress_->setTextVisible(false);
    // The bar is a control of its own: a press on it is not a press on the window's surface.
    upgradeProgress_->setAttribute(Qt::WA_NoMousePropagation);
    upgradeProgress_->setProperty("controlId", UpgradeProgressId);
    upgradeProgress_->setAccessibleName(QString::fromLatin1(ViewText::UpgradeProgressName));
    upgradeProgress_->show();
}

void CKestrunView::applyTabOrder() {
    QWidget* previous = nullptr;
    for (const ControlRef& ref : TabOrder) {
        QWidget* next = ref.table == ControlTable::Button ? buttons_.at(ref.row)
                        : ref.table == ControlTable::Slider
                            ? static_cast<QWidget*>(sliders_.at(ref.row))
                        : ref.table == ControlTable::Field ? fields_.at(ref.row)
                                                           : upgradeFileText_;
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, next);
        }
        previous = next;
    }
}

void CKestrunView::startLink() {
    // The timer starts with the first exchange (setLinkPending): an idle link needs no ticks.
    engine_.ConnectBridge();
    if (monitor_ != nullptr) {
        deviceWatcher_ = watchNotices(monitor_->noticeHandle(), [this] { onDeviceNotice(); });
        if (deviceWatcher_ == nullptr) {
            devicePollTimer_.start();
        }
    }
}

void CKestrunView::setLinkPending(bool pending) {
    if (!pending) {
        linkTimer_.stop();
        timerResolution_.reset();
    } else if (!linkTimerHeld_ && !linkTimer_.isActive()) {
        // The system's fine timer is held only while the link ticks.
        timerResolution_ = std::make_unique<FineTimerResolution>();
        linkTimer_.start();
    }
}

void CKestrunView::onDeviceNotice() {
    if (monitor_ == nullptr) {
        return;
    }
    for (const DeviceChange& change : monitor_->receive()) {
        engine_.HandleDeviceChange(change.eventType, &change.notice);
    }
}

void CKestrunView::deleteControls() {
    for (CFloatEdit* field : fields_) {
        if (field != nullptr) {
            field->setNoticeTarget(nullptr); // nothing is posted to a window being destroyed
        }
    }
    auto deleteAll = [](auto& table) {
        for (auto& control : table) {
            delete control;
            control = nullptr;
        }
    };
    deleteAll(labels_);
    deleteAll(buttons_);
    deleteAll(sliders_);
    deleteAll(fields_);
    delete upgradeFileText_;
    upgradeFileText_ = nullptr;
    delete upgradeProgress_;
    upgradeProgress_ = nullptr;
}

void CKestrunView::applyScrollSteps() {
    // A page is a tenth of the canvas, a line a tenth of a page.
    horizontalScrollBar()->setPageStep(CanvasWidth / 10);
    horizontalScrollBar()->setSingleStep(CanvasWidth / 100);
    verticalScrollBar()->setPageStep(CanvasHeight / 10);
    verticalScrollBar()->setSingleStep(CanvasHeight / 100);
}

void CKestrunView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    applyScrollSteps();
}

QAbstractButton* CKestrunView::checkButton(std::size_t row) const {
    QWidget* widget = buttons_.at(row);
    return qobject_cast<QPushButton*>(widget) != nullptr ? nullptr
                                                         : qobject_cast<QAbstractButton*>(widget);
}
