// The window as built: every control where the tables put it, the radio groups and toggles,
// the status resets, the fonts, scrolling, and a build that happens once.
#include "tests/support/ScriptedBridge.h"
#include "tests/ui/UiSuites.h"
#include "tests/ui/ViewHarness.h"
#include "ui/CFloatEdit.h"
#include "ui/KestrunCanvas.h"
#include "ui/LayoutTables.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>

#include <functional>
#include <map>

using namespace kestrun;
using namespace kestrun::ui;
using kestrun::uitest::ViewHarness;

namespace {

QRect rectOf(const LayoutRect& r) {
    return QRect(r.x, r.y, r.width, r.height);
}
QRect rectOf(const EdgeRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

QString rowName(const char* table, std::size_t row) {
    return QStringLiteral("%1 row %2").arg(table).arg(row);
}

class LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void buttonsMatchTheirTable() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        for (std::size_t row = 0; row < ButtonTable.size(); ++row) {
            const ButtonRow& spec = ButtonTable[row];
            QWidget* w = h.view().button(row);
            const QByteArray where = rowName("button", row).toUtf8();
            QVERIFY2(w != nullptr, where);
            QVERIFY2(w->geometry() == rectOf(spec.rect), where);
            QVERIFY2(w->property("controlId").toInt() == 200 + static_cast<int>(row), where);
            QString caption;
            switch (spec.kind) {
            case ButtonKind::GroupBox:
            case ButtonKind::GroupStart:
                QVERIFY2(qobject_cast<QGroupBox*>(w) != nullptr, where);
                caption = static_cast<QGroupBox*>(w)->title();
                break;
            case ButtonKind::AutoRadio:
            case ButtonKind::ToggleButton:
                QVERIFY2(qobject_cast<QRadioButton*>(w) != nullptr, where);
                caption = static_cast<QRadioButton*>(w)->text();
                break;
            case ButtonKind::Push:
                QVERIFY2(qobject_cast<QPushButton*>(w) != nullptr, where);
                caption = static_cast<QPushButton*>(w)->text();
                break;
            }
            QVERIFY2(caption == QString::fromUtf8(spec.caption), where);
            QVERIFY2(w->font() == h.view().fonts().control, where);
        }
        QCOMPARE(static_cast<QPushButton*>(h.view().button(12))->text(),
                 QString("Get Data\nFrom Controller"));
    }

    void labelsSlidersAndFieldsMatchTheirTables() {
        test::ScriptedBridge bridge;
        bridge.devices.clear();
        ViewHarness h(bridge);
        for (std::size_t row = 0; row < LabelTable.size(); ++row) {
            const QByteArray where = rowName("label", row).toUtf8();
            QLabel* label = h.view().label(row);
            QVERIFY2(label->geometry() == rectOf(LabelTable[row].rect), where);
            QVERIFY2(label->property("controlId").toInt() == 226 + static_cast<int>(row), where);
            QVERIFY2(label->text() == QString::fromUtf8(LabelTable[row].caption), where);
            const bool statusLine = row == 10 || row == 12 || row == 14;
            QVERIFY2(label->font() ==
                         (statusLine ? h.view().fonts().control : h.view().fonts().caption),
                     where);
            QVERIFY2(label->alignment() ==
                         (row >= 13 ? (Qt::AlignLeft | Qt::AlignVCenter) : Qt::AlignCenter),
                     where);
        }
        for (std::size_t row = 0; row < SliderTable.size(); ++row) {
            const QByteArray where = rowName("slider", row).toUtf8();
            QVERIFY2(h.view().slider(row)->geometry() == rectOf(SliderTable[row].rect), where);
            QVERIFY2(h.view().slider(row)->property("controlId").toInt() ==
                         237 + static_cast<int>(row),
                     where);
            QVERIFY2(h.view().slider(row)->orientation() == Qt::Vertical, where);
            CFloatEdit* field = h.view().field(row);
            QVERIFY2(field->geometry() == rectOf(FieldRects[row].rect), where);
            QVERIFY2(field->property("controlId").toInt() == 247 + static_cast<int>(row), where);
            QVERIFY2(field->fieldIndex() == static_cast<int>(row), where);
            QVERIFY2(field->maxLength() == 20 && field->alignment() == Qt::AlignCenter, where);
            QVERIFY2(field->font() == h.view().fonts().value, where);
        }
        // The derived rectangles, worked out by hand from the rule.
        QCOMPARE(h.view().field(0)->geometry(), QRect(QPoint(35, 541), QPoint(76, 563)));
        QCOMPARE(h.view().field(2)->geometry(), QRect(QPoint(193, 321), QPoint(249, 343)));
        QCOMPARE(h.view().field(6)->geometry(), QRect(QPoint(520, 321), QPoint(576, 343)));
        QCOMPARE(h.view().field(8)->geometry(), QRect(QPoint(301, 541), QPoint(342, 563)));
        QCOMPARE(h.view().upgradeFileText()->geometry(), QRect(253, 650, 227, 22));
        QCOMPARE(h.view().upgradeFileText()->property("controlId").toInt(), 258);
        QVERIFY(h.view().upgradeFileText()->isReadOnly());
        QCOMPARE(h.view().upgradeFileText()->text(), QString());
        QCOMPARE(h.view().upgradeProgress()->geometry(), QRect(170, 709, 300, 15));
        QCOMPARE(h.view().upgradeProgress()->property("controlId").toInt(), 257);
        QCOMPARE(h.view().upgradeProgress()->maximum(), 255);
        QCOMPARE(h.view().upgradeProgress()->value(), 0);
        QCOMPARE(h.connectionText(), QString("Disconnected"));
    }

    void fontsFitTheirCellHeights() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        const ViewFonts& fonts = h.view().fonts();
        QVERIFY(QFontMetrics(fonts.control).height() <= 16);
        QVERIFY(QFontMetrics(fonts.caption).height() <= 14);
        QVERIFY(QFontMetrics(fonts.value).height() <= 20);
        QVERIFY(QFontMetrics(fonts.value).height() >= 17); // not shrunk past what fits
        QCOMPARE(fonts.caption.weight(), QFont::Bold);
        QCOMPARE(fonts.value.weight(), QFont::Normal);
    }

    void initialChecks() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        for (std::size_t row : {4, 5, 6, 7, 19, 20, 22, 23, 24, 25}) {
            const bool checked = row == 4 || row == 22;
            QVERIFY2(h.view().checkButton(row)->isChecked() == checked,
                     rowName("button", row).toUtf8());
        }
    }

    void radioGroupsAreIndependentOfEachOtherAndOfTheToggles() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        auto checkedRows = [&] {
            QList<int> rows;
            for (std::size_t row : {4, 5, 6, 7, 19, 20, 22, 23, 24, 25}) {
                if (h.view().checkButton(row)->isChecked()) {
                    rows << static_cast<int>(row);
                }
            }
            return rows;
        };
        h.click(h.view().button(6)); // Canon
        QCOMPARE(checkedRows(), QList<int>({6, 22}));
        h.click(h.view().button(19)); // One Way Communication on
        QCOMPARE(checkedRows(), QList<int>({6, 19, 22}));
        h.click(h.view().button(23)); // Pulse Low
        QCOMPARE(checkedRows(), QList<int>({6, 19, 23}));
        h.click(h.view().button(4)); // Default
        QCOMPARE(checkedRows(), QList<int>({4, 19, 23}));
        h.click(h.view().button(4)); // already selected: stays
        QCOMPARE(checkedRows(), QList<int>({4, 19, 23}));
        h.click(h.view().button(20)); // Pressure Joystick on
        h.click(h.view().button(19)); // One Way Communication off again
        QCOMPARE(checkedRows(), QList<int>({4, 20, 23}));
        h.click(h.view().button(25)); // Level Low
        QCOMPARE(checkedRows(), QList<int>({4, 20, 25}));
    }

    void presses_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("resets");
        QTest::newRow("radio already selected") << "radio" << true;
        QTest::newRow("toggle") << "toggle" << true;
        QTest::newRow("group box frame") << "group box" << true;
        QTest::newRow("label") << "label" << true;
        QTest::newRow("bare canvas") << "canvas" << true;
        QTest::newRow("press into a numeric field") << "field" << true;
        QTest::newRow("slider released") << "slider" << true;
        QTest::newRow("Cancel with nothing pending") << "cancel" << true;
        QTest::newRow("typing into a field") << "typing" << false;
        QTest::newRow("upgrade file box") << "file box" << false;
    }
    void presses() {
        QFETCH(QString, what);
        QFETCH(bool, resets);
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.view().setUpgradeProgress(77);
        h.view().setStatusText("Data Sent");
        CKestrunView& v = h.view();
        const std::map<QString, std::function<void()>> actions = {
            {"radio", [&] { h.click(v.button(4)); }},
            {"toggle", [&] { h.click(v.button(20)); }},
            // The "Lens Control" frame's edge, away from any control inside it.
            {"group box", [&] { h.click(v.button(2), QPoint(300, 2)); }},
            {"label", [&] { h.click(v.label(11)); }},
            {"canvas", [&] { h.click(v.canvas(), QPoint(600, 10)); }},
            {"field", [&] { h.click(v.field(3)); }},
            {"slider",
             [&] {
                 h.press(v.slider(1));
                 h.release(v.slider(1));
             }},
            {"cancel", [&] { h.click(v.button(17)); }},
            {"typing",
             [&] {
                 v.field(0)->setFocus();
                 QTest::keyClicks(v.field(0), "5");
                 h.settle();
             }},
            {"file box", [&] { h.click(v.upgradeFileText()); }},
        };
        actions.at(what)();
        QCOMPARE(h.statusText(), resets ? QString("---") : QString("Data Sent"));
        if (what == "cancel") {
            QCOMPARE(v.upgradeProgress()->value(), 0);
        }
    }

    void buildsOnceAndShutsDownInOrder() {
        test::ScriptedBridge bridge;
        {
            ViewHarness h(bridge);
            QCOMPARE(h.connectionText(), QString("Connected"));
            QVERIFY(h.view().linkTimerActive());
            QWidget* firstField = h.view().field(0);
            h.view().OnInitialUpdate(); // File New, File Open
            h.view().OnInitialUpdate();
            QCOMPARE(h.view().field(0), firstField);
            QCOMPARE(h.view().canvas()->findChildren<CFloatEdit*>().size(), 9);
            QCOMPARE(bridge.openCalls, 1);
            h.view().field(0)->setFocus(); // a focused field must not notify a dying window
        }
        QCOMPARE(bridge.closeCalls, 1);
        QCOMPARE(bridge.openHandles, 0);
    }

    void nothingStartsBeforeTheFirstBuild() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge, false);
        QVERIFY(!h.view().linkTimerActive());
        QCOMPARE(bridge.openCalls, 0);
        h.view().setStatusText("ignored"); // no controls yet: nothing to show it in
        h.view().RecordToControls();
    }

    void scrollingMovesEverythingTogether() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.view().resize(300, 400);
        QScrollBar* vbar = h.view().verticalScrollBar();
        QCOMPARE(vbar->pageStep(), 78);
        QCOMPARE(vbar->singleStep(), 7);
        QCOMPARE(h.view().horizontalScrollBar()->pageStep(), 62);
        vbar->setValue(100);
        QCOMPARE(h.view().canvas()->pos().y(), -100);
        // Controls are children of the canvas: they keep their canvas rectangles.
        QCOMPARE(h.view().field(0)->geometry().topLeft(), QPoint(35, 541));
    }
};

} // namespace

QObject* kestrun::uitest::makeLayoutTest() {
    return new LayoutTest;
}

#include "LayoutTest.moc"
