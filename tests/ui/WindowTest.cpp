// The window as built and kept in step with the record: every control where the tables put it,
// a build and link start that happen once, the radio groups and toggles, the status resets, the
// numeric fields and their sliders, records shown (out-of-range ones adjusted) and written back,
// and the queued settings notices.
#include "settings/FieldParse.h"
#include "tests/support/ScriptedBridge.h"
#include "tests/ui/ViewHarness.h"
#include "ui/CFloatEdit.h"
#include "ui/KestrunCanvas.h"
#include "ui/LayoutTables.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCoreApplication>
#include <QDebug>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>

using namespace kestrun;
using namespace kestrun::ui;
using kestrun::uitest::ViewHarness;
using Mouse = ViewHarness::Mouse;

namespace {

// "<id> <caption> <rect>": a control as a table row says it should be, or as it was built.
QString describe(int id, const QString& caption, QRect g) {
    QString text;
    QDebug(&text).nospace() << id << ' ' << caption << ' ' << g;
    return text;
}
QString describe(QWidget* w) {
    auto* box = qobject_cast<QGroupBox*>(w);
    auto* button = qobject_cast<QAbstractButton*>(w);
    auto* label = qobject_cast<QLabel*>(w);
    return describe(w->property("controlId").toInt(),
                    box      ? box->title()
                    : button ? button->text()
                    : label  ? label->text()
                             : "",
                    w->geometry());
}
QRect rectOf(const EdgeRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}
QRect rectOf(const LayoutRect& r) {
    return QRect(r.x, r.y, r.width, r.height);
}
QByteArray hex(const uint8_t* bytes, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(size)).toHex(' ');
}

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void everyControlWhereItsTablePutsIt() {
        test::ScriptedBridge bridge;
        bridge.devices.clear();
        ViewHarness h(bridge);
        CKestrunView& v = h.view();
        for (std::size_t row = 0; row < ButtonTable.size(); ++row) {
            const ButtonRow& b = ButtonTable[row];
            QCOMPARE(describe(v.button(row)), describe(200 + int(row), b.caption, rectOf(b.rect)));
            QVERIFY(v.button(row)->font() == v.fonts().control);
            const bool group = b.kind == ButtonKind::GroupBox || b.kind == ButtonKind::GroupStart;
            QCOMPARE(qobject_cast<QGroupBox*>(v.button(row)) != nullptr, group);
        }
        for (std::size_t row = 0; row < LabelTable.size(); ++row) {
            const LabelRow& l = LabelTable[row];
            QCOMPARE(describe(v.label(row)), describe(226 + int(row), l.caption, rectOf(l.rect)));
            const bool statusLine = row == 10 || row == 12 || row == 14;
            QVERIFY(v.label(row)->font() == (statusLine ? v.fonts().control : v.fonts().caption));
        }
        for (std::size_t row = 0; row < SliderTable.size(); ++row) {
            QCOMPARE(describe(v.slider(row)),
                     describe(237 + int(row), "", rectOf(SliderTable[row].rect)));
            QCOMPARE(describe(v.field(row)),
                     describe(247 + int(row), "", rectOf(FieldRects[row].rect)));
            QVERIFY(v.field(row)->font() == v.fonts().value);
        }
        // The derived rectangles, worked out by hand.
        QCOMPARE(v.field(0)->geometry(), QRect(35, 541, 42, 23));
        QCOMPARE(v.field(2)->geometry(), QRect(193, 321, 57, 23));
        QCOMPARE(describe(v.upgradeFileText()), describe(258, "", QRect(253, 650, 227, 22)));
        QCOMPARE(describe(v.upgradeProgress()), describe(257, "", QRect(170, 709, 300, 15)));
        QCOMPARE(v.upgradeProgress()->maximum(), 255);
        QCOMPARE(h.line(LabelRowOf::ConnectionText), QString("Disconnected"));
        // What a screen reader announces: every control a name of its own.
        QStringList names;
        for (QWidget* w : v.canvas()->findChildren<QWidget*>()) {
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
    // The link timer runs only while an exchange is pending: an idle window never wakes.
    void startsOnceWithTheStartValues() {
        test::ScriptedBridge bridge;
        {
            ViewHarness h(bridge, false);
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
            QCOMPARE(v.canvas()->findChildren<CFloatEdit*>().size(), 9);
            QCOMPARE(bridge.openCalls, 1);
            v.resize(300, 400); // a page is a tenth of the canvas, a line a tenth of a page
            QCOMPARE(v.verticalScrollBar()->pageStep(), 78);
            QCOMPARE(v.verticalScrollBar()->singleStep(), 7);
            QCOMPARE(v.horizontalScrollBar()->pageStep(), 62);
            v.verticalScrollBar()->setValue(100);
            QCOMPARE(v.canvas()->pos().y(), -100); // controls, bars and glyphs move as one
            v.field(0)->setFocus(); // a focused field must not notify a window going away
        }
        QCOMPARE(bridge.closeCalls, 1);
        QCOMPARE(bridge.openHandles, 0);
    }

    // Which presses and clicks put StatusText back to "---", and what Cancel does to the bar.
    void statusResets() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
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
            h.mouse(widget, Mouse::Click, at);
            const int bar = v.upgradeProgress()->value();
            QCOMPARE(QStringLiteral("%1: %2 %3").arg(what, h.line(LabelRowOf::StatusText)).arg(bar),
                     QStringLiteral("%1: %2").arg(what, after));
        }
        h.mouse(v.slider(1), Mouse::Press);
        v.setStatusText("Data Sent");
        h.mouse(v.slider(1), Mouse::Release);
        QCOMPARE(h.line(LabelRowOf::StatusText), QString("---"));
        v.setStatusText("Data Sent");
        QTest::keyClicks(v.field(0), "5"); // typing is no press
        h.settle();
        QCOMPARE(h.line(LabelRowOf::StatusText), QString("Data Sent"));
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

    // Keys typed into a field, then Enter: what it shows, where the caret is, and the value its
    // slider follows to. (How a text reads is the field parser's, checked in tests/fuzz.)
    void typingThenEnter() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        // clang-format off
        struct Row { std::size_t field; QString keys; QString shown; int value; };
        const Row rows[] = {
            {4, "3.3", "3.30", 330}, {2, "12.5", "10.00", 1000}, {2, "", "0.00", 0},
            {7, "0", "1", 1}, {7, "99999999999", "100", 100},
            {2, "1.2.3", "1.20", 120}, {2, "7a.Zb5-", "7.50", 750},
            {0, "4x.2,-", "42", 42}, {0, QString(25, '1'), "100", 100}, // typing stops at 20
            {4, "3,75", "3.75", 375}, // a decimal comma is the point
        };
        // clang-format on
        for (const Row& r : rows) {
            CFloatEdit* f = h.view().field(r.field);
            f->clear();
            QTest::keyClicks(f, r.keys);
            QVERIFY2(f->text().size() <= 20, qPrintable(r.keys));
            QTest::keyClick(f, Qt::Key_Return);
            h.settle();
            const QString got = QStringLiteral("%1 caret %2 slider %3")
                                    .arg(f->text())
                                    .arg(f->cursorPosition())
                                    .arg(h.view().sliderValue(r.field));
            QCOMPARE(r.keys + " -> " + got,
                     r.keys + " -> " + r.shown + " caret 0 slider " + QString::number(r.value));
        }
    }

    // Sliders move their fields, the top being the field's maximum; a field commits when the
    // focus leaves it (not for its own context menu), and keys it does not take change nothing.
    void fieldsAndSlidersFollowEachOther() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        CKestrunView& v = h.view();
        v.setStatusText("Data Received");
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
    }

    // Under a dark desktop scheme the view keeps its own light colours: dark text on a light
    // ground in every control.
    void keepsItsColoursUnderADarkScheme() {
        const QPalette desktop = QApplication::palette();
        QPalette dark(QColor(53, 53, 53), QColor(35, 35, 35));
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            dark.setColor(role, QColor(230, 230, 230));
        }
        QApplication::setPalette(dark);
        const auto restore = qScopeGuard([&] { QApplication::setPalette(desktop); });
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        for (QWidget* w : h.view().canvas()->findChildren<QWidget*>()) {
            const QPalette& p = w->palette();
            for (auto [text, ground] : {std::pair{QPalette::WindowText, QPalette::Window},
                                        {QPalette::Text, QPalette::Base},
                                        {QPalette::ButtonText, QPalette::Button}}) {
                QVERIFY2(p.color(text).lightness() < 80 && p.color(ground).lightness() > 180,
                         qPrintable(describe(w)));
            }
        }
    }

    // Tab and Shift+Tab go round every control once in reading order, fields included, and
    // what is typed next lands where the focus went. The wheel over a slider moves it only when
    // it has the focus; otherwise it scrolls the view.
    void focusDecidesWhereTabAndTheWheelGo() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge, true, nullptr, true);
        CKestrunView& v = h.view();
        const QStringList order = QString("247 248 244 245 254 255 219 220 222 223 224 225 215 258 "
                                          "216 217 212 213 204 205 206 207 239 240 249 250 241 "
                                          "242 243 251 252 253 237 238 247")
                                      .split(' ');
        const auto focused = [] {
            return QApplication::focusWidget()->property("controlId").toString();
        };
        for (const auto modifier : {Qt::NoModifier, Qt::ShiftModifier}) {
            v.field(0)->setFocus();
            QStringList visited{focused()};
            while (visited.size() < order.size()) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifier);
                visited << focused();
            }
            QStringList expected = order;
            if (modifier == Qt::ShiftModifier) {
                std::reverse(expected.begin(), expected.end());
            }
            QCOMPARE(visited, expected);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), "7");
        QCOMPARE(v.field(0)->text() + " " + v.field(1)->text(), QString("100 7"));

        v.resize(300, 400);
        for (QWidget* focus : std::initializer_list<QWidget*>{v.field(1), v.slider(0)}) {
            focus->setFocus();
            const int scrolled = v.verticalScrollBar()->value();
            QWheelEvent wheel(QPointF(20, 50), v.slider(0)->mapToGlobal(QPointF(20, 50)), {},
                              {0, -120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(v.slider(0), &wheel);
            QCOMPARE(v.field(0)->text() + (v.verticalScrollBar()->value() > scrolled ? " +" : ""),
                     QString(focus == v.slider(0) ? "97" : "100 +"));
        }
    }

    // A loaded record with bytes out of range: what the controls show and what goes back; the
    // settings notices handled in posting order (the unknown ones ignored); and the radio
    // groups and toggles, each clicked, never touching another.
    void recordsNoticesAndButtonGroups() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.record = {200, 20, 0, 5, 7, 2, 9, 3, 0xFF, 0xFF, 0x0F, 0xFF, 0, 0, 0x04, 0, 0x08, 0};
        h.view().postSettingsNotify(3);                      // a settings file was loaded
        QCOMPARE(h.view().field(0)->text(), QString("100")); // not before the notice is handled
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

    // Send Data sends what the controls show: text typed but never committed (focus still in
    // the field) or pasted unfiltered is clamped as a commit would clamp it, never wrapped.
    void sendDataSendsWhatTheControlsShow() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        CKestrunView& v = h.view();
        v.field(0)->setText("300"); // not 300 modulo 256
        v.field(1)->setText("33");
        v.field(7)->setText("150");
        v.field(2)->setText("-5"); // not 65531 counts, taken as 10.00
        v.field(3)->setText("99999999999");
        h.click(ButtonRowOf::Preston);
        h.click(ButtonRowOf::OneWayCommunication);
        h.click(ButtonRowOf::SendData);
        QCOMPARE(bridge.writes.size(), std::size_t{21}); // one write a byte
        const std::vector<uint8_t> wire = bridge.wire();
        QCOMPARE(hex(wire.data(), wire.size()), QByteArray("a5 5a 64 21 64 05 03 01 01 00 00 00 "
                                                           "0f ff 04 00 08 00 0c 00 19"));
    }
};

} // namespace

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
