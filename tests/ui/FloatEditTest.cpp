// The numeric field as the user types into it: which keys it takes, what a commit shows, and
// the notices it hands its window, in order.
#include "settings/SettingsFields.h"
#include "tests/ui/UiSuites.h"
#include "ui/CFloatEdit.h"
#include "ui/ViewEvents.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QTest>
#include <QWidget>

#include <memory>

using namespace kestrun;
using namespace kestrun::ui;

namespace {

// Stands in for the window: records each notice a field posts, as "value i v", "edit",
// "key n", "focus in" or "focus out".
class NoticeRecorder : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == SettingsNotifyEvent::eventType()) {
            const uint32_t w = static_cast<SettingsNotifyEvent*>(event)->wParam();
            if ((w & 0xFF) == SettingsNotifyCode::FieldValue) {
                notices << QStringLiteral("value %1 %2").arg((w >> 8) & 0xFF).arg(w >> 16);
            } else {
                notices << QStringLiteral("notice %1").arg(w);
            }
            return true;
        }
        if (event->type() == FieldForwardEvent::eventType()) {
            const auto* forward = static_cast<FieldForwardEvent*>(event);
            switch (forward->kind()) {
            case FieldForwardEvent::Kind::KeyDown:
                notices << QStringLiteral("key %1").arg(forward->keyCode());
                break;
            case FieldForwardEvent::Kind::SetFocus:
                notices << QStringLiteral("focus in");
                break;
            case FieldForwardEvent::Kind::KillFocus:
                notices << QStringLiteral("focus out");
                break;
            }
            return true;
        }
        return QObject::event(event);
    }
    QStringList take() {
        QCoreApplication::sendPostedEvents(this);
        QStringList taken = notices;
        notices.clear();
        return taken;
    }
    QStringList notices;
};

// Value fields by kind: Speed (whole 0-100), Pan (whole 1-100), Focus Low (hundredths 0-1000).
const ValueField& speedField() {
    return ValueFields[0];
}
const ValueField& panField() {
    return ValueFields[7];
}
const ValueField& rangeField() {
    return ValueFields[2];
}

class FloatEditTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> parent_;
    CFloatEdit* edit_ = nullptr;
    NoticeRecorder recorder_;

    void makeField(const ValueField& field) {
        parent_ = std::make_unique<QWidget>();
        edit_ = new CFloatEdit(parent_.get());
        edit_->setField(field);
        edit_->setNoticeTarget(&recorder_);
        parent_->show();
        recorder_.take();
    }
    void typeAndCommit(const QString& keys) {
        edit_->clear();
        QTest::keyClicks(edit_, keys);
        QTest::keyClick(edit_, Qt::Key_Return);
    }

private slots:
    void cleanup() { parent_.reset(); }

    void commitsWhatIsTyped_data() {
        QTest::addColumn<int>("fieldIndex");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("value");
        QTest::newRow("12.5 clamps to 10.00") << 2 << "12.5"
                                              << "10.00" << 1000;
        QTest::newRow("empty commits to 0.00") << 2 << ""
                                               << "0.00" << 0;
        QTest::newRow("0 rises to the minimum 1") << 7 << "0"
                                                  << "1" << 1;
        QTest::newRow("eleven nines clamp to 100") << 7 << "99999999999"
                                                   << "100" << 100;
        QTest::newRow("eight nines clamp to 10.00") << 2 << "99999999"
                                                    << "10.00" << 1000;
        QTest::newRow("0.29 stays 0.29") << 2 << "0.29"
                                         << "0.29" << 29;
        QTest::newRow("2.567 shows 2.56") << 2 << "2.567"
                                          << "2.56" << 256;
        QTest::newRow("1.2.3 shows 1.20") << 2 << "1.2.3"
                                          << "1.20" << 120;
        QTest::newRow("7.5 shows 7.50") << 2 << "7.5"
                                        << "7.50" << 750;
        QTest::newRow("letters ignored in hundredths") << 2 << "7a.Zb5-"
                                                       << "7.50" << 750;
        QTest::newRow("letters and point ignored in whole numbers") << 0 << "4x.2"
                                                                    << "42" << 42;
        QTest::newRow("sign and comma ignored") << 0 << "-3,0"
                                                << "30" << 30;
    }
    void commitsWhatIsTyped() {
        QFETCH(int, fieldIndex);
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QFETCH(int, value);
        makeField(ValueFields.at(static_cast<std::size_t>(fieldIndex)));
        typeAndCommit(keys);
        QCOMPARE(edit_->text(), shown);
        QCOMPARE(edit_->cursorPosition(), 0);
        QCOMPARE(recorder_.take(),
                 QStringList({QStringLiteral("value %1 %2").arg(fieldIndex).arg(value), "key 13"}));
    }

    void typingStopsAtTwentyCharacters() {
        makeField(speedField());
        QTest::keyClicks(edit_, QString(25, u'1'));
        QCOMPARE(edit_->text(), QString(20, u'1'));
    }

    void consumedKeysAreHandedOnAndChangeNothing() {
        makeField(rangeField());
        edit_->ShowValue(250);
        edit_->setFocus();
        recorder_.take();
        QTest::keyClick(edit_, Qt::Key_Tab);
        QTest::keyClick(edit_, Qt::Key_Escape);
        QTest::keyClick(edit_, Qt::Key_Space);
        QTest::keyClick(edit_, Qt::Key_Up);
        QTest::keyClick(edit_, Qt::Key_Down);
        QCOMPARE(edit_->text(), QString("2.50"));
        QCOMPARE(recorder_.take(), QStringList({"key 9", "key 27", "key 32", "key 38", "key 40"}));
    }

    void editingKeysKeepTheirUsualEffect() {
        makeField(rangeField());
        edit_->setText("2.50");
        edit_->setCursorPosition(4);
        QTest::keyClick(edit_, Qt::Key_Backspace);
        QTest::keyClick(edit_, Qt::Key_Home);
        QTest::keyClick(edit_, Qt::Key_Delete);
        QTest::keyClicks(edit_, "7");
        QCOMPARE(edit_->text(), QString("7.5"));
        QVERIFY(recorder_.take().isEmpty());
    }

    void showValueNeitherClampsNorNotifies() {
        makeField(panField());
        edit_->ShowValue(0);
        QCOMPARE(edit_->text(), QString("0"));
        edit_->ShowValue(-12);
        QCOMPARE(edit_->text(), QString("-12"));
        QVERIFY(recorder_.take().isEmpty());
    }

    void readValueTakesUncommittedTextUnclamped() {
        makeField(speedField());
        edit_->setText("150");
        QCOMPARE(edit_->ReadValue(), uint16_t{150});
        QCOMPARE(edit_->text(), QString("150"));
        edit_->setText("70000");
        QCOMPARE(edit_->ReadValue(), uint16_t{70000 & 0xFFFF});
        edit_->setText("150");
        edit_->CommitValue();
        QCOMPARE(edit_->text(), QString("100"));
    }

    void losingFocusCommitsThenTellsTheWindow() {
        makeField(speedField());
        edit_->setText("150");
        QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(edit_, &in);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(edit_, &out);
        QCOMPARE(edit_->text(), QString("100"));
        QCOMPARE(recorder_.take(), QStringList({"focus in", "value 0 100", "focus out"}));
    }

    void itsOwnContextMenuDoesNotCommit() {
        makeField(speedField());
        edit_->setText("150");
        QFocusEvent out(QEvent::FocusOut, Qt::PopupFocusReason);
        QCoreApplication::sendEvent(edit_, &out);
        QCOMPARE(edit_->text(), QString("150"));
        QCOMPARE(recorder_.take(), QStringList({"focus out"}));
    }

    void aPressAnnouncesEditingFirst() {
        makeField(speedField());
        QTest::mousePress(edit_, Qt::LeftButton);
        QTest::mouseRelease(edit_, Qt::LeftButton);
        const QStringList notices = recorder_.take();
        QVERIFY(!notices.isEmpty());
        QCOMPARE(notices.front(), QString("notice 1"));
        QVERIFY(!notices.contains("value 0 0")); // a press does not commit
    }
};

} // namespace

QObject* kestrun::uitest::makeFloatEditTest() {
    return new FloatEditTest;
}

#include "FloatEditTest.moc"
