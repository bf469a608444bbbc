// The setup window clicked and typed into on the offscreen platform: a fresh start as the tables
// draw it, one build and link start, the focus, the fields and sliders, records and queued
// notices, and the link against the simulated controller: an upgrade through its boot loader and
// hot-plug through the device monitor. (Get Data through the window is the shell's test.)
#include "settings/FieldParse.h"
#include "sim/SimBootLoader.h"
#include "sim/SimBridge.h"
#include "sim/SimDeviceMonitor.h"
#include "tests/support/ScriptedBridge.h"
#include "ui/CFloatEdit.h"
#include "ui/CKestrunView.h"
#include "ui/KestrunCanvas.h"
#include "ui/LayoutTables.h"
#include "ui/ViewStyle.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QFocusEvent>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <functional>
#include <memory>

using namespace kestrun;
using namespace kestrun::ui;

namespace {

// A setup window on the offscreen platform with its messages captured, its file dialog
// scripted and its link stepped by hand, so a test reads what the user would see.
struct ViewOptions {
    BridgeLibrary* bridge = nullptr; ///< by default the harness's own, one bridge plugged in
    DeviceMonitor* monitor = nullptr;
    bool build = true;   ///< built, with its link timer held: the test steps the link
    bool active = false; ///< the active window, so the focus moves
};
class ViewHarness {
public:
    /// A window shown at the canvas's size.
    explicit ViewHarness(ViewOptions o = {})
        : view_(
              std::make_unique<CKestrunView>(record, o.bridge ? *o.bridge : scripted, o.monitor)) {
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
        if (o.active) {
            QApplication::setActiveWindow(view_.get());
            QVERIFY(QTest::qWaitForWindowActive(view_.get()));
        }
        if (o.build) {
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

    /// A left click through the window, so the widget that lies at that point receives it. `at`
    /// is in `widget`'s coordinates; by default its centre.
    void mouse(QWidget* widget, QPoint at = QPoint(-1, -1)) {
        const QPoint point =
            widget->mapTo(view_->window(), at == QPoint(-1, -1) ? widget->rect().center() : at);
        QTest::mouseClick(view_->windowHandle(), Qt::LeftButton, {}, point);
        settle();
    }
    /// A click near the right end of a button's rectangle: all of it is the button.
    void click(std::size_t buttonRow) {
        QWidget* button = view_->button(buttonRow);
        mouse(button, QPoint(button->width() - 3, button->height() / 2));
    }

    test::ScriptedBridge scripted;
    SettingsRecord record = StartRecord; ///< the document's record
    QStringList messages;                ///< each box as "text / caption[ / error | / !]"
    QStringList dialogFolders;           ///< the folders the file dialog was opened in
    QString nextDialogPath;              ///< what the file dialog answers (empty: cancelled)

private:
    std::unique_ptr<CKestrunView> view_;
};

// "<id> <caption> <rect>" of a control as built.
QString describe(QWidget* w) {
    const auto* box = qobject_cast<QGroupBox*>(w);
    const bool captioned = box || w->inherits("QAbstractButton") || w->inherits("QLabel");
    QString text;
    QDebug(&text).nospace() << w->property("controlId").toInt() << ' '
                            << (box         ? box->title()
                                : captioned ? w->property("text").toString()
                                            : QString())
                            << ' ' << w->geometry();
    return text;
}
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
    return file.fileName();
}
QByteArray hex(const uint8_t* bytes, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(size)).toHex(' ');
}

// Two data lines of 16 bytes (0x00-0x1F from address 0) and the end record, CR LF line ends.
const char* const SmallHex = ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                             ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
                             ":00000001FF\r\n";

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    // A fresh start with no bridge, under a dark desktop scheme: the canvas pixel by pixel where
    // a wrong colour or an off-by-one shows; every control from its table row, in its font, with
    // the view's own light colours (dark text on a light ground) and a name of its own for a
    // screen reader.
    void freshStartAsTheTablesDrawIt() {
        const QPalette desktop = QApplication::palette();
        QPalette dark(QColor(53, 53, 53), QColor(35, 35, 35));
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            dark.setColor(role, QColor(230, 230, 230));
        }
        QApplication::setPalette(dark);
        const auto restore = qScopeGuard([&] { QApplication::setPalette(desktop); });
        test::ScriptedBridge unplugged;
        unplugged.devices.clear();
        ViewHarness h({.bridge = &unplugged, .build = false});
        CKestrunView& v = h.view();
        QTemporaryDir dir;
        QCOMPARE(saveScreenshot(v, dir.filePath("start.png")), QString());
        const QImage shot(dir.filePath("start.png"));
        QCOMPARE(shot.size(), QSize(624, 782));
        QCOMPARE(v.sliderPosition(1), 80); // the start notices were handled first
        const QColor black(0, 0, 0), window = WindowColor, bar = BarColor;
        // clang-format off
        std::vector<std::tuple<int, int, QColor>> expected = {
            {5, 5, window}, {554, 503, window}, // inside a frame: no shading
            {15, 300, window.darker(160)}, {16, 300, Qt::white}, // "Lens Control"'s shadow, light
            {38, 544, ValueColor}, {256, 661, FileTextColor}, // inside field 0 and the file box
            // The glyphs from x 532 to 576: Pulse High's low line (y 503) with its pulse up to
            // 493 at x 552-556, then Pulse Low, Level High and Level Low.
            {531, 503, window}, {532, 503, black}, {551, 503, black}, {552, 493, black},
            {556, 498, black}, {576, 503, black}, {577, 503, window}, {540, 518, black},
            {554, 528, black}, {540, 553, black}, {560, 543, black}, {540, 568, black},
            {560, 578, black}};
        for (int top : {130, 604}) { // a black frame from x 1 to 623 around BarColor
            expected.insert(expected.end(), {
                {0, top + 2, window}, {1, top + 2, black}, {623, top + 2, black},
                {300, top, black}, {300, top + 4, black}, {2, top + 1, bar}, {622, top + 3, bar},
                {300, top + 2, bar}, {300, top - 1, window}, {300, top + 5, window}});
        }
        // clang-format on
        for (const auto& [x, y, colour] : expected) {
            const auto at = [&](const QColor& c) {
                return QStringLiteral("%1,%2 %3").arg(x).arg(y).arg(c.name());
            };
            QCOMPARE(at(shot.pixelColor(x, y)), at(colour));
        }

        // Each way a control takes its rectangle, caption and font from the tables, worked out
        // by hand: a frame, a push button, a label, a slider, the fields (narrow and wide), the
        // file name box and the progress bar.
        const std::pair<QWidget*, const char*> samples[] = {
            {v.button(2), R"(202 "Lens Control" QRect(15,155 594x215))"},
            {v.button(12), R"(212 "Get Data\nFrom Controller" QRect(385,23 110x40))"},
            {v.label(0), R"(226 "Speed" QRect(30,425 50x15))"},
            {v.label(10), R"(236 "Disconnected" QRect(152,49 201x15))"}, // no bridge plugged in
            {v.slider(8), R"(245 "" QRect(300,440 45x100))"},
            {v.field(0), R"(247 "" QRect(35,541 42x23))"},
            {v.field(2), R"(249 "" QRect(193,321 57x23))"},
            {v.field(8), R"(255 "" QRect(301,541 42x23))"},
            {v.upgradeFileText(), R"(258 "" QRect(253,650 227x22))"},
            {v.upgradeProgress(), R"(257 "" QRect(170,709 300x15))"},
        };
        for (const auto& [control, expected] : samples) {
            QCOMPARE(describe(control), QString(expected));
        }
        QVERIFY(v.button(12)->font() == v.fonts().control && v.field(0)->font() == v.fonts().value);
        for (std::size_t row = 0; row < LabelTable.size(); ++row) { // captions in bold
            const bool statusLine = row == 10 || row == 12 || row == 14;
            QVERIFY(v.label(row)->font() == (statusLine ? v.fonts().control : v.fonts().caption));
        }
        QStringList names;
        for (QWidget* w : v.canvas()->findChildren<QWidget*>()) {
            const QPalette& p = w->palette();
            for (auto [text, ground] : {std::pair{QPalette::WindowText, QPalette::Window},
                                        {QPalette::Text, QPalette::Base},
                                        {QPalette::ButtonText, QPalette::Button}}) {
                QVERIFY2(p.color(text).lightness() < 80 && p.color(ground).lightness() > 180,
                         qPrintable(describe(w)));
            }
            if (w->focusPolicy() != Qt::NoFocus || w == v.upgradeProgress()) {
                names << QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
            }
        }
        QCOMPARE(names.size(), 35);
        QVERIFY(names.contains("Zoom Analog Range, High") && !names.contains(""));
        names.removeDuplicates();
        QCOMPARE(names.size(), 35);
    }

    // The first build starts the link and shows the start values (sliders valued from the top);
    // a repeated build (File New, File Open) builds and starts nothing; closing stops the link.
    // The link timer runs only while an exchange is pending: an idle window never wakes. Tab and
    // Shift+Tab go round every control once in reading order, and what is typed next lands where
    // the focus went. The wheel over a slider moves it only when it has the focus; otherwise it
    // scrolls the view.
    void startsOnceAndTheFocusLeads() {
        test::ScriptedBridge bridge;
        {
            ViewHarness h({.bridge = &bridge, .build = false, .active = true});
            CKestrunView& v = h.view();
            QVERIFY(!v.linkTimer().isActive());
            v.setStatusText("no controls yet: nothing to show it in");
            v.OnInitialUpdate();
            QCOMPARE(h.line(LabelRowOf::ConnectionText), QString("Connected"));
            QVERIFY(!v.linkTimer().isActive());
            QCOMPARE(v.sliderPosition(1), 100); // the commit's notice is still queued
            h.settle();
            QCOMPARE(h.shown(), QString("100 20 2.50 7.50 2.50 5.00 7.50 5 5"
                                        " | 0 80 750 250 750 500 250 96 96 | 4 22"));
            v.ControlsToRecord();
            QCOMPARE(hex(h.record.data(), 18), hex(StartRecord.data(), 18));
            h.click(ButtonRowOf::GetData);
            QVERIFY(v.linkTimer().isActive());
            h.click(ButtonRowOf::Cancel);
            QVERIFY(!v.linkTimer().isActive());
            QWidget* firstField = v.field(0);
            v.OnInitialUpdate();
            QCOMPARE(v.field(0), firstField);
            QCOMPARE(bridge.openCalls, 1);

            const QStringList order = QString("247 248 244 245 254 255 219 220 222 223 224 225 "
                                              "215 258 216 217 212 213 204 205 206 207 239 240 "
                                              "249 250 241 242 243 251 252 253 237 238 247")
                                          .split(' ');
            const auto focused = [] {
                return QApplication::focusWidget()->property("controlId").toString();
            };
            for (const auto modifier : {Qt::NoModifier, Qt::ShiftModifier}) {
                v.field(0)->setFocus();
                QStringList visited{focused()};
                while (visited.size() < order.size()) { // Shift+Tab's round read backwards
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifier);
                    visited.insert(modifier == Qt::ShiftModifier ? 0 : visited.size(), focused());
                }
                QCOMPARE(visited, order);
            }
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), "7");
            QCOMPARE(v.field(0)->text() + " " + v.field(1)->text(), QString("100 7"));

            v.resize(300, 400); // a page is a tenth of the canvas, a line a tenth of a page
            QCOMPARE(v.verticalScrollBar()->pageStep(), 78);
            QCOMPARE(v.verticalScrollBar()->singleStep(), 7);
            QCOMPARE(v.horizontalScrollBar()->pageStep(), 62);
            for (QWidget* focus : std::initializer_list<QWidget*>{v.field(1), v.slider(0)}) {
                focus->setFocus();
                const int scrolled = v.verticalScrollBar()->value();
                QWheelEvent wheel(QPointF(20, 50), v.slider(0)->mapToGlobal(QPointF(20, 50)), {},
                                  {0, -120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                                  false);
                QCoreApplication::sendEvent(v.slider(0), &wheel);
                QCOMPARE(v.field(0)->text() +
                             (v.verticalScrollBar()->value() > scrolled ? " +" : ""),
                         QString(focus == v.slider(0) ? "97" : "100 +"));
            }
            v.field(0)->setFocus(); // a focused field must not notify a window going away
        }
        QCOMPARE(bridge.closeCalls, 1);
        QCOMPARE(bridge.openHandles, 0);
    }

    // Which presses and clicks put StatusText back to "---", and what Cancel does to the bar.
    // Sliders move their fields, the top being the field's maximum; a field commits on Enter and
    // when the focus leaves it (not for its own context menu), and keys it does not take change
    // nothing.
    void fieldsSlidersAndTheStatusLine() {
        ViewHarness h;
        CKestrunView& v = h.view();
        const QPoint centre(-1, -1);
        const std::tuple<const char*, QWidget*, QPoint, const char*> clicks[] = {
            {"radio", v.button(4), centre, "--- 77"},
            {"toggle", v.button(20), centre, "--- 77"},
            {"group box frame", v.button(2), QPoint(300, 2), "--- 77"}, // "Lens Control"
            {"label", v.label(11), centre, "--- 77"},
            {"canvas", v.canvas(), QPoint(600, 10), "--- 77"},
            {"file name box", v.upgradeFileText(), centre, "Data Sent 77"},
            {"progress bar", v.upgradeProgress(), centre, "Data Sent 77"},
            {"cancel", v.button(ButtonRowOf::Cancel), centre, "--- 0"},
            {"field press", v.field(3), centre, "--- 77"},
        };
        for (const auto& [what, widget, at, after] : clicks) {
            v.setUpgradeProgress(77);
            v.setStatusText("Data Sent");
            h.mouse(widget, at);
            const int bar = v.upgradeProgress()->value();
            QCOMPARE(QStringLiteral("%1: %2 %3").arg(what, h.line(LabelRowOf::StatusText)).arg(bar),
                     QStringLiteral("%1: %2").arg(what, after));
        }
        QTest::mousePress(v.slider(0), Qt::LeftButton);
        v.setStatusText("Data Sent");
        QTest::mouseRelease(v.slider(0), Qt::LeftButton);
        QCOMPARE(h.line(LabelRowOf::StatusText), QString("---"));
        v.setStatusText("Data Received");
        QTest::keyClicks(v.field(0), "5"); // typing is no press
        h.settle();
        QCOMPARE(h.line(LabelRowOf::StatusText), QString("Data Received"));

        // Keys on a slider: Home is its top (the field's maximum), End its bottom, Up raises the
        // value, and a page is a fifth of the range. The field shows each value at once.
        // clang-format off
        const std::tuple<std::size_t, Qt::Key, const char*> keys[] = {
            {3, Qt::Key_Home, "10.00"}, {3, Qt::Key_End, "0.00"}, {0, Qt::Key_End, "0"},
            {0, Qt::Key_PageUp, "20"}, {7, Qt::Key_PageDown, "1"}, {7, Qt::Key_Up, "2"},
            {2, Qt::Key_PageUp, "4.50"}};
        // clang-format on
        for (const auto& [row, key, shown] : keys) {
            QTest::keyClick(v.slider(row), key);
            const QString name = QKeySequence(key).toString() + " ";
            QCOMPARE(name + v.field(row)->text() + " " + h.line(LabelRowOf::StatusText),
                     name + shown + " ---");
        }
        v.ControlsToRecord(); // the sliders' values, though no field was committed
        QCOMPARE(h.record[PanDeadband], uint8_t{2});
        QCOMPARE(readCount(h.record, FocusRangeHigh), uint16_t{0});

        CFloatEdit* f = v.field(1);
        f->setText("150");
        QCOMPARE(f->ReadValue(), uint16_t{150}); // uncommitted text is read unclamped
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Space, Qt::Key_Up, Qt::Key_Down}) {
            QTest::keyClick(f, key);
        }
        QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
        QCoreApplication::sendEvent(f, &popup);
        h.settle();
        QCOMPARE(f->text() + " " + QString::number(v.sliderValue(1)), QString("150 20"));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(f, &out);
        h.settle();
        QCOMPARE(f->text() + " " + QString::number(v.sliderValue(1)), QString("100 100"));

        // Keys typed into a field, then Enter: what it shows, where the caret is, and the value
        // its slider follows to. (How a text reads is the field parser's, checked in tests/fuzz.)
        // clang-format off
        const std::tuple<std::size_t, QString, const char*> rows[] = { // text, slider's value
            {4, "3.3", "3.30 330"}, {2, "12.5", "10.00 1000"}, {2, "", "0.00 0"},
            {7, "0", "1 1"}, {7, "99999999999", "100 100"},
            {2, "1.2.3", "1.20 120"}, {2, "7a.Zb5-", "7.50 750"},
            {0, "4x.2,-", "42 42"}, {0, QString(25, '1'), "100 100"}, // typing stops at 20
            {4, "3,75", "3.75 375"}, // a decimal comma is the point
        };
        // clang-format on
        for (const auto& [row, keys, shown] : rows) {
            f = v.field(row);
            f->clear();
            QTest::keyClicks(f, keys);
            QVERIFY2(f->text().size() <= 20, qPrintable(keys));
            QTest::keyClick(f, Qt::Key_Return);
            h.settle();
            QCOMPARE(f->cursorPosition(), 0);
            QCOMPARE(keys + " -> " + f->text() + " " + QString::number(v.sliderValue(row)),
                     keys + " -> " + shown);
        }
    }

    // What the field parser's replay (tests/fuzz) cannot check against the C library: texts a
    // number's characters do not make up, and the 20 characters that count (the replay takes
    // the limit from the parser). And every text a hundredths field shows reads back.
    void fieldTextParsing() {
        const std::pair<QString, int32_t> rows[] = {{"inf", 0},
                                                    {"0x10", 0},
                                                    {"2,5", 200},
                                                    {QString(19, ' ') + "7", 700},
                                                    {QString(20, ' ') + "7", 0}};
        for (const auto& [text, value] : rows) {
            const int32_t got = parseFieldText(ValueFields[2], text.toStdString());
            QCOMPARE(text + " -> " + QString::number(got), text + " -> " + QString::number(value));
        }
        for (int32_t v = 0; v <= 1000; ++v) {
            QCOMPARE(parseHundredths(formatFieldValue(ValueFields[2], v)), v);
        }
    }

    // Send Data sends what the controls show: text typed but never committed (focus still in
    // the field) or pasted unfiltered is clamped as a commit would clamp it, never wrapped. A
    // loaded record with bytes out of range: what the controls show and what goes back; the
    // settings notices handled in posting order (the unknown ones ignored); and the radio
    // groups and toggles, each clicked, never touching another.
    void recordsNoticesAndButtonGroups() {
        ViewHarness h;
        const std::pair<std::size_t, const char*> texts[] = {
            {0, "300"}, {1, "33"}, {7, "150"}, {2, "-5"}, {3, "99999999999"}};
        for (const auto& [row, text] : texts) { // 300: not 300 modulo 256; -5: not 65531 counts
            h.view().field(row)->setText(text);
        }
        h.click(ButtonRowOf::Preston);
        h.click(ButtonRowOf::OneWayCommunication);
        h.click(ButtonRowOf::SendData);
        QCOMPARE(h.scripted.writes.size(), std::size_t{21}); // one write a byte
        const std::vector<uint8_t> wire = h.scripted.wire();
        QCOMPARE(hex(wire.data(), wire.size()), QByteArray("a5 5a 64 21 64 05 03 01 01 00 00 00 "
                                                           "0f ff 04 00 08 00 0c 00 19"));

        h.record = {200, 20, 0, 5, 7, 2, 9, 3, 0xFF, 0xFF, 0x0F, 0xFF, 0, 0, 0x04, 0, 0x08, 0};
        h.view().postSettingsNotify(3);                     // a settings file was loaded
        QCOMPARE(h.view().field(2)->text(), QString("-5")); // not before the notice is handled
        h.settle();
        QCOMPARE(h.shown(), QString("100 20 10.00 10.00 0.00 2.50 5.00 1 5"
                                    " | 0 80 0 0 1000 750 500 100 96 | 19 20"));
        h.view().ControlsToRecord();
        QCOMPARE(hex(h.record.data(), 18),
                 QByteArray("64 14 01 05 00 01 00 01 0f ff 0f ff 00 00 04 00 08 00"));

        h.view().postSettingsNotify((40u << 16) | 0); // slider 0 to 40, then to 70
        h.view().postSettingsNotify((70u << 16) | 0);
        h.view().postSettingsNotify((10u << 16) | (9u << 8)); // there is no slider 9
        h.view().postSettingsNotify(0xFF);                    // nobody posts code 255
        h.view().setStatusText("Data Sent");
        h.view().postSettingsNotify(1);
        QCOMPARE(h.line(LabelRowOf::StatusText), QString("Data Sent"));
        h.settle();
        QCOMPARE(h.view().sliderValue(0), 70);
        QCOMPARE(h.line(LabelRowOf::StatusText), QString("---"));
        QVERIFY(h.messages.empty());

        // Codes in range set every button of their group explicitly, and it is exclusive again:
        // Fujinon, One Way Communication off, Pulse High, Default, Default again, Pressure
        // Joystick off, One Way Communication on.
        h.record[DigitalConnection] = 2;
        h.record[CameraTrigger] = 0;
        h.view().RecordToControls();
        QCOMPARE(h.checked(), QString("6 19 20 23"));
        // clang-format off
        const std::pair<std::size_t, const char*> steps[] = {
            {5, "5 19 20 23"}, {19, "5 20 23"}, {22, "5 20 22"}, {4, "4 20 22"}, {4, "4 20 22"},
            {20, "4 22"}, {19, "4 19 22"}};
        // clang-format on
        for (const auto& [row, checked] : steps) {
            h.click(row);
            QCOMPARE(QString::number(row) + ": " + h.checked(),
                     QString::number(row) + ": " + checked);
        }
    }

    // Choosing the file (a rejected file and a cancelled dialog keep the earlier choice), then
    // the upgrade through the simulated boot loader, with no dialog while the link is busy.
    // Then removal and arrival reach the window through the device monitor; unplugged, Get
    // Data is refused with a box.
    void upgradeAndHotPlugAgainstTheSimulator() {
        sim::SimBridge bridge;
        sim::SimBootLoader bootLoader(bridge.controller());
        bridge.controller().attach(bootLoader);
        sim::SimDeviceMonitor monitor(bridge);
        ViewHarness h({.bridge = &bridge, .monitor = &monitor});
        QTemporaryDir dir;
        h.nextDialogPath = writeFile(dir, "ctrl.hex", SmallHex);
        h.click(ButtonRowOf::SelectFile);
        h.nextDialogPath = writeFile(dir, "notes.txt", "hello\r\n");
        h.click(ButtonRowOf::SelectFile);
        h.nextDialogPath.clear();
        h.click(ButtonRowOf::SelectFile);
        QCOMPARE(h.view().upgradeFileText()->text(), QString("ctrl.hex"));
        QCOMPARE(h.messages,
                 QStringList("notes.txt is not a valid hex file. / Programming File Not Valid"));
        QCOMPARE(h.dialogFolders.size(), 3);
        QVERIFY(h.dialogFolders.at(1).startsWith(dir.path())); // where the accepted file lies
        // One bad checksum: "Start" refuses the file before the controller hears anything.
        writeFile(dir, "ctrl.hex", QByteArray(SmallHex).replace("78\r\n", "79\r\n"));
        h.messages.clear();
        h.click(ButtonRowOf::Start);
        QVERIFY(h.messages.value(0).endsWith(
            "Line 1: the checksum is 79 but should be 78. / Programming File Not Valid / error"));
        QVERIFY(h.ticksUntil([&] { return bootLoader.wakeUps() > 0; }, 5) < 0);
        QVERIFY(h.view().link().isIdle());
        writeFile(dir, "ctrl.hex", SmallHex);
        h.messages.clear();
        h.click(ButtonRowOf::Start);
        QCOMPARE(h.line(LabelRowOf::UpgradeStatusText), QString("Waiting for Controller..."));
        h.click(ButtonRowOf::SelectFile);
        QCOMPARE(h.dialogFolders.size(), 3);
        int topOfBar = 0;
        const auto boxShown = [&] {
            topOfBar = std::max(topOfBar, h.view().upgradeProgress()->value());
            return !h.messages.empty();
        };
        QVERIFY(h.ticksUntil(boxShown, 200) > 0);
        QCOMPARE(h.messages, QStringList("Upgrade complete!     / Tavrel"));
        QCOMPARE(topOfBar, 255);
        QCOMPARE(h.view().upgradeProgress()->value(), 0);
        QCOMPARE(h.line(LabelRowOf::UpgradeStatusText), QString());
        // The tick that brought 0x01 ran state 13's step already; the next one ends state 14.
        QCOMPARE(h.ticksUntil([&] { return h.view().link().isIdle(); }, 2), 1);
        QCOMPARE(bootLoader.programmingsClosed(), 1u);
        for (std::size_t i = 0; i < 32; ++i) { // 0x00-0x1F from address 0
            QCOMPARE(int(bootLoader.flash().at(i)), int(i));
        }

        const auto waitFor = [&](const QString& text) {
            for (int i = 0; i < 100 && h.line(LabelRowOf::ConnectionText) != text; ++i) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            return h.line(LabelRowOf::ConnectionText) == text;
        };
        bridge.remove();
        QVERIFY(waitFor("Disconnected"));
        h.messages.clear();
        h.click(ButtonRowOf::GetData);
        QVERIFY(h.messages.value(0).endsWith("controller. / Controller is not connected / error"));
        QVERIFY(h.view().link().isIdle());
        bridge.arrive();
        QVERIFY(waitFor("Connected"));
        QVERIFY(bridge.isOpen());
    }
};

} // namespace

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
