// How a numeric field's text becomes a value, without any widget.
#include "settings/FieldParse.h"
#include "settings/SettingsFields.h"
#include "tests/ui/UiSuites.h"

#include <QTest>

#include <limits>
#include <string>

using namespace kestrun;

namespace {

constexpr int32_t Max32 = std::numeric_limits<int32_t>::max();
constexpr int32_t Min32 = std::numeric_limits<int32_t>::min();

class FieldParseTest : public QObject {
    Q_OBJECT

private slots:
    void hundredths_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        // The 0.001 lifts single-precision values just below a hundredth back onto it; a third
        // decimal is dropped, not rounded.
        QTest::newRow("0.29 is 29, not 28") << "0.29" << 29;
        QTest::newRow("2.567 drops its third decimal") << "2.567" << 256;
        QTest::newRow("2.5699 reaches 257 through the nudge") << "2.5699" << 257;
        QTest::newRow("0.005 is 0") << "0.005" << 0;
        QTest::newRow("0.01 is 1") << "0.01" << 1;
        QTest::newRow("7.5") << "7.5" << 750;
        QTest::newRow("12.5 unclamped") << "12.5" << 1250;
        QTest::newRow("second point ends the number") << "1.2.3" << 120;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("a lone point is no number") << "." << 0;
        QTest::newRow("leading point") << ".5" << 50;
        QTest::newRow("leading blanks") << " \t 3" << 300;
        QTest::newRow("negative truncates toward zero") << "-0.5" << -49;
        QTest::newRow("exponent") << "1e2" << 10000;
        QTest::newRow("exponent without digits stops before e") << "1e" << 100;
        QTest::newRow("eight nines saturate") << "99999999" << Max32;
        QTest::newRow("negative eight nines saturate") << "-99999999" << Min32;
        QTest::newRow("beyond single precision") << "1e39" << Max32;
        QTest::newRow("inf is no number") << "inf" << 0;
        QTest::newRow("hexadecimal is no number") << "0x10" << 0;
        QTest::newRow("comma is no decimal point") << "2,5" << 200;
    }
    void hundredths() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(parseHundredths(text.toStdString()), value);
    }

    void everyShownHundredthReadsBackExactly() {
        const ValueField& range = ValueFields[2];
        for (int32_t v = range.minimum; v <= range.maximum; ++v) {
            const std::string shown = formatFieldValue(range, v);
            QVERIFY2(parseHundredths(shown) == v, shown.c_str());
        }
    }

    void wholeNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "42" << 42;
        QTest::newRow("blanks, sign, trailing junk") << "  -7x" << -7;
        QTest::newRow("plus sign") << "+5" << 5;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("sign alone") << "-" << 0;
        QTest::newRow("point ends the number") << "12.9" << 12;
        QTest::newRow("largest") << "2147483647" << Max32;
        QTest::newRow("one above saturates") << "2147483648" << Max32;
        QTest::newRow("smallest") << "-2147483648" << Min32;
        QTest::newRow("one below saturates") << "-2147483649" << Min32;
        QTest::newRow("eleven nines") << "99999999999" << Max32;
        QTest::newRow("many digits") << "000000000000000000000000000000000001" << 1;
    }
    void wholeNumbers() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(parseWholeNumber(text.toStdString()), value);
    }

    void onlyTheFirstTwentyCharactersCount() {
        const ValueField& speed = ValueFields[0];
        QCOMPARE(parseFieldText(speed, std::string(19, ' ') + "7"), 7);
        QCOMPARE(parseFieldText(speed, std::string(20, ' ') + "7"), 0);
        QCOMPARE(parseFieldText(ValueFields[2], "1.25"), 125);
        QCOMPARE(parseFieldText(speed, "1.25"), 1);
    }
};

} // namespace

QObject* kestrun::uitest::makeFieldParseTest() {
    return new FieldParseTest;
}

#include "FieldParseTest.moc"
