// The numeric field: how its text parses, which keys it takes, what a commit shows, and the
// notices it hands its window, in order.
#include "settings/FieldParse.h"
#include "tests/ui/UiSuites.h"
#include "ui/CFloatEdit.h"
#include "ui/ViewEvents.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QTest>

#include <limits>
#include <memory>

using namespace kestrun;
using namespace kestrun::ui;

namespace {

constexpr int Max32 = std::numeric_limits<int32_t>::max();
constexpr int Min32 = std::numeric_limits<int32_t>::min();

// Stands in for the window: each posted notice as "value <field> <value>", "notice <word>",
// "key <code>", "focus in" or "focus out".
class NoticeRecorder : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == SettingsNotifyEvent::eventType()) {
            const uint32_t w = static_cast<SettingsNotifyEvent*>(event)->wParam();
            notices << ((w & 0xFF) == 0
                            ? QStringLiteral("value %1 %2").arg((w >> 8) & 0xFF).arg(w >> 16)
                            : QStringLiteral("notice %1").arg(w));
            return true;
        }
        if (event->type() == FieldForwardEvent::eventType()) {
            const auto* f = static_cast<FieldForwardEvent*>(event);
            notices << (f->kind() == FieldForwardEvent::Kind::KeyDown
                            ? QStringLiteral("key %1").arg(f->keyCode())
                            : (f->kind() == FieldForwardEvent::Kind::SetFocus ? "focus in"
                                                                              : "focus out"));
            return true;
        }
        return QObject::event(event);
    }
    QStringList take() {
        QCoreApplication::sendPostedEvents(this);
        return std::exchange(notices, {});
    }
    QStringList notices;
};

class FloatEditTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CFloatEdit> edit_;
    NoticeRecorder recorder_;

    // A field of the window's table: 0 Speed (0-100), 2 Focus Low (0.00-10.00), 7 Pan (1-100).
    CFloatEdit& field(std::size_t index) {
        edit_ = std::make_unique<CFloatEdit>();
        edit_->setField(ValueFields.at(index));
        edit_->setNoticeTarget(&recorder_);
        edit_->show();
        recorder_.take();
        return *edit_;
    }

private slots:
    void parsing_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("0.29 is 29, not 28") << 2 << "0.29" << 29;
        QTest::newRow("a third decimal is dropped") << 2 << "2.567" << 256;
        QTest::newRow("2.5699 reaches 257") << 2 << "2.5699" << 257;
        QTest::newRow("0.005 is 0") << 2 << "0.005" << 0;
        QTest::newRow("0.01 is 1") << 2 << "0.01" << 1;
        QTest::newRow("blanks, sign") << 2 << " \t-0.5" << -49;
        QTest::newRow("exponent") << 2 << "1e2" << 10000;
        QTest::newRow("bare exponent stops") << 2 << "1e" << 100;
        QTest::newRow("eight nines saturate") << 2 << "99999999" << Max32;
        QTest::newRow("and below") << 2 << "-99999999" << Min32;
        QTest::newRow("beyond single precision") << 2 << "1e39" << Max32;
        QTest::newRow("no inf, no hex, no comma") << 2 << "inf" << 0;
        QTest::newRow("hex") << 2 << "0x10" << 0;
        QTest::newRow("comma") << 2 << "2,5" << 200;
        QTest::newRow("whole: junk ends it") << 0 << "  -7x" << -7;
        QTest::newRow("whole: point ends it") << 0 << "12.9" << 12;
        QTest::newRow("whole: 2^31 saturates") << 0 << "2147483648" << Max32;
        QTest::newRow("whole: below saturates") << 0 << "-2147483649" << Min32;
        QTest::newRow("20 characters are read whole") << 0 << QString(19, ' ') + "7" << 7;
        QTest::newRow("the 21st is not") << 0 << QString(20, ' ') + "7" << 0;
    }
    void parsing() {
        QFETCH(int, index);
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(parseFieldText(ValueFields.at(index), text.toStdString()), value);
    }

    void everyShownHundredthReadsBackExactly() {
        for (int32_t v = 0; v <= 1000; ++v) {
            QCOMPARE(parseHundredths(formatFieldValue(ValueFields[2], v)), v);
        }
    }

    void typingThenEnter_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("value");
        QTest::newRow("12.5 clamps to 10.00") << 2 << "12.5"
                                              << "10.00" << 1000;
        QTest::newRow("empty commits to 0.00") << 2 << ""
                                               << "0.00" << 0;
        QTest::newRow("0 rises to the minimum") << 7 << "0"
                                                << "1" << 1;
        QTest::newRow("eleven nines clamp to 100") << 7 << "99999999999"
                                                   << "100" << 100;
        QTest::newRow("0.29 stays") << 2 << "0.29"
                                    << "0.29" << 29;
        QTest::newRow("2.567 shows 2.56") << 2 << "2.567"
                                          << "2.56" << 256;
        QTest::newRow("1.2.3 shows 1.20") << 2 << "1.2.3"
                                          << "1.20" << 120;
        QTest::newRow("letters ignored") << 2 << "7a.Zb5-"
                                         << "7.50" << 750;
        QTest::newRow("no point in whole numbers") << 0 << "4x.2,-"
                                                   << "42" << 42;
        QTest::newRow("typing stops at 20") << 0 << QString(25, '1') << "100" << 100;
    }
    void typingThenEnter() {
        QFETCH(int, index);
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QFETCH(int, value);
        CFloatEdit& f = field(index);
        QTest::keyClicks(&f, keys);
        QVERIFY(f.text().size() <= 20);
        QTest::keyClick(&f, Qt::Key_Return);
        QCOMPARE(f.text(), shown);
        QCOMPARE(f.cursorPosition(), 0);
        QCOMPARE(recorder_.take(),
                 QStringList({QStringLiteral("value %1 %2").arg(index).arg(value), "key 13"}));
    }

    void consumedKeysAreHandedOnAndChangeNothing() {
        CFloatEdit& f = field(2);
        f.ShowValue(250);
        for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Escape, Qt::Key_Space, Qt::Key_Up, Qt::Key_Down}) {
            QTest::keyClick(&f, key);
        }
        QCOMPARE(f.text(), QString("2.50"));
        QCOMPARE(recorder_.take(), QStringList({"key 9", "key 27", "key 32", "key 38", "key 40"}));
    }

    void focusAndPressNotices() {
        CFloatEdit& f = field(0);
        f.setText("150");
        QCOMPARE(f.ReadValue(), uint16_t{150}); // uncommitted text is read unclamped
        QTest::mousePress(&f, Qt::LeftButton);
        QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(&f, &in);
        QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason); // its own context menu
        QCoreApplication::sendEvent(&f, &popup);
        QCOMPARE(f.text(), QString("150"));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(&f, &out);
        QCOMPARE(f.text(), QString("100"));
        QCOMPARE(recorder_.take(),
                 QStringList({"notice 1", "focus in", "focus out", "value 0 100", "focus out"}));
    }
};

} // namespace

QObject* kestrun::uitest::makeFloatEditTest() {
    return new FloatEditTest;
}

#include "FloatEditTest.moc"
