// The window as built: every control where the tables put it, the radio groups and toggles,
// the status resets, and a build and link start that happen once.
#include "tests/support/ScriptedBridge.h"
#include "tests/ui/UiSuites.h"
#include "tests/ui/ViewHarness.h"
#include "ui/CFloatEdit.h"
#include "ui/KestrunCanvas.h"
#include "ui/LayoutTables.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QScrollBar>
#include <QSlider>
#include <QTest>

using namespace kestrun;
using namespace kestrun::ui;
using kestrun::uitest::ViewHarness;
using Mouse = ViewHarness::Mouse;

namespace {

QRect rectOf(const LayoutRect& r) {
    return QRect(r.x, r.y, r.width, r.height);
}
QRect rectOf(const EdgeRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// "<id> <caption> <x,y wxh>" for a control, to compare with the same text made from a row.
QString describe(QWidget* w) {
    const QString caption = qobject_cast<QGroupBox*>(w) ? static_cast<QGroupBox*>(w)->title()
                            : qobject_cast<QAbstractButton*>(w)
                                ? static_cast<QAbstractButton*>(w)->text()
                            : qobject_cast<QLabel*>(w) ? static_cast<QLabel*>(w)->text()
                                                       : QString();
    const QRect g = w->geometry();
    return QStringLiteral("%1 %2 %3,%4 %5x%6")
        .arg(w->property("controlId").toInt())
        .arg(caption)
        .arg(g.x())
        .arg(g.y())
        .arg(g.width())
        .arg(g.height());
}
QString describe(int id, const char* caption, QRect g) {
    return QStringLiteral("%1 %2 %3,%4 %5x%6")
        .arg(id)
        .arg(caption)
        .arg(g.x())
        .arg(g.y())
        .arg(g.width())
        .arg(g.height());
}

QList<int> checkedRows(CKestrunView& view) {
    QList<int> rows;
    for (int row : {4, 5, 6, 7, 19, 20, 22, 23, 24, 25}) {
        if (view.checkButton(static_cast<std::size_t>(row))->isChecked()) {
            rows << row;
        }
    }
    return rows;
}

class LayoutTest : public QObject {
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
        QCOMPARE(checkedRows(v), QList<int>({4, 22}));
    }

    void radioGroupsAndTogglesAreIndependent() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        const std::pair<int, QList<int>> steps[] = {
            {6, {6, 22}},          // Canon leaves the trigger group alone
            {19, {6, 19, 22}},     // One Way Communication on
            {23, {6, 19, 23}},     // Pulse Low leaves the lens group and the toggle alone
            {4, {4, 19, 23}},      // Default
            {4, {4, 19, 23}},      // already selected: stays
            {20, {4, 19, 20, 23}}, // Pressure Joystick on
            {19, {4, 20, 23}},     // One Way Communication off again
        };
        for (const auto& [row, checked] : steps) {
            h.mouse(h.view().button(static_cast<std::size_t>(row)));
            QCOMPARE(checkedRows(h.view()), checked);
        }
    }

    void statusResets_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("resets");
        for (const char* what : {"radio", "toggle", "group box", "label", "canvas", "field press",
                                 "slider release", "cancel"}) {
            QTest::newRow(what) << what << true;
        }
        QTest::newRow("typing into a field") << "typing" << false;
        QTest::newRow("file name box") << "file box" << false;
        QTest::newRow("progress bar") << "progress bar" << false;
    }
    void statusResets() {
        QFETCH(QString, what);
        QFETCH(bool, resets);
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        CKestrunView& v = h.view();
        v.setUpgradeProgress(77);
        v.setStatusText("Data Sent");
        if (what == "radio") {
            h.mouse(v.button(4));
        } else if (what == "toggle") {
            h.mouse(v.button(20));
        } else if (what == "group box") {
            h.mouse(v.button(2), Mouse::Click, QPoint(300, 2)); // "Lens Control", on its frame
        } else if (what == "label") {
            h.mouse(v.label(11));
        } else if (what == "canvas") {
            h.mouse(v.canvas(), Mouse::Click, QPoint(600, 10));
        } else if (what == "field press") {
            h.mouse(v.field(3));
        } else if (what == "slider release") {
            h.mouse(v.slider(1), Mouse::Press);
            v.setStatusText("Data Sent");
            h.mouse(v.slider(1), Mouse::Release);
        } else if (what == "cancel") {
            h.mouse(v.button(ButtonRowOf::Cancel));
            QCOMPARE(v.upgradeProgress()->value(), 0);
        } else if (what == "typing") {
            QTest::keyClicks(v.field(0), "5");
            h.settle();
        } else if (what == "progress bar") {
            h.mouse(v.upgradeProgress());
        } else {
            h.mouse(v.upgradeFileText());
        }
        QCOMPARE(h.line(LabelRowOf::StatusText), resets ? QString("---") : QString("Data Sent"));
    }

    void buildsAndStartsOnceAndShutsDownInOrder() {
        test::ScriptedBridge bridge;
        {
            ViewHarness h(bridge, false);
            QVERIFY(!h.view().linkTimer().isActive());
            h.view().setStatusText("no controls yet: nothing to show it in");
            h.view().OnInitialUpdate();
            QCOMPARE(h.line(LabelRowOf::ConnectionText), QString("Connected"));
            QVERIFY(h.view().linkTimer().isActive());
            QWidget* firstField = h.view().field(0);
            h.view().OnInitialUpdate(); // after File New and File Open
            QCOMPARE(h.view().field(0), firstField);
            QCOMPARE(h.view().canvas()->findChildren<CFloatEdit*>().size(), 9);
            QCOMPARE(bridge.openCalls, 1);
            h.view().field(0)->setFocus(); // a focused field must not notify a window going away
        }
        QCOMPARE(bridge.closeCalls, 1);
        QCOMPARE(bridge.openHandles, 0);
    }

    void scrollsByTenthsOfTheCanvas() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.view().resize(300, 400);
        QScrollBar* bar = h.view().verticalScrollBar();
        QCOMPARE(bar->pageStep(), 78);
        QCOMPARE(bar->singleStep(), 7);
        QCOMPARE(h.view().horizontalScrollBar()->pageStep(), 62);
        bar->setValue(100);
        QCOMPARE(h.view().canvas()->pos().y(), -100); // controls, bars and glyphs move as one
    }
};

} // namespace

QObject* kestrun::uitest::makeLayoutTest() {
    return new LayoutTest;
}

#include "LayoutTest.moc"
