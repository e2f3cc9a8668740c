// The number-text rules decide every money figure on a receipt, so these
// cases pin them to the digit, including where extended and double disagree.
#include "base/AppError.h"
#include "store/NumberText.h"

#include <QtTest>

#include <QRandomGenerator>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

using numtext::Extended;

Q_DECLARE_METATYPE(Extended)

namespace {

// Enough digits to tell two extended values apart in a failure message.
QByteArray exactText(Extended value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 21);
    return QByteArray(buf, res.ptr - buf);
}

bool sameValue(Extended a, Extended b)
{
    return a == b && std::signbit(a) == std::signbit(b);
}

QString notANumber(const QString &text)
{
    return u'\'' + text + QStringLiteral("' is not a valid floating point value");
}

const Extended kInf = std::numeric_limits<Extended>::infinity();
const Extended kNaN = std::numeric_limits<Extended>::quiet_NaN();

} // namespace

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void parseValid_data();
    void parseValid();
    void parseInvalid_data();
    void parseInvalid();
    void parseErrorMessage_data();
    void parseErrorMessage();

    void general_data();
    void general();
    void generalOfStoredNumbers_data();
    void generalOfStoredNumbers();

    void fixed2_data();
    void fixed2();
    void grid2_data();
    void grid2();

    void toFixed4_data();
    void toFixed4();
    void toFixed4OutOfRange_data();
    void toFixed4OutOfRange();

    void fixed4Text_data();
    void fixed4Text();

    void displayRound_data();
    void displayRound();

    void decimalTextRoundsAsWritten_data();
    void decimalTextRoundsAsWritten();
    void sumsLimit_data();
    void sumsLimit();
    void checkedAddition_data();
    void checkedAddition();
};

void TestNumberText::parseValid_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Extended>("expected");

    // The compiler's long double literals are the correctly rounded reference.
    QTest::newRow("0.1 is the extended, not the double") << QStringLiteral("0.1") << 0.1L;
    QTest::newRow("2.675") << QStringLiteral("2.675") << 2.675L;
    QTest::newRow("blanks around") << QStringLiteral("  2.675   ") << 2.675L;
    QTest::newRow("tabs around") << QStringLiteral("\t 19.9\t") << 19.9L;
    QTest::newRow("plus sign") << QStringLiteral("+2.5") << 2.5L;
    QTest::newRow("minus sign") << QStringLiteral("-13.5") << -13.5L;
    QTest::newRow("minus zero") << QStringLiteral("-0") << -0.0L;
    QTest::newRow("leading zeros") << QStringLiteral("007") << 7.0L;
    QTest::newRow("point alone") << QStringLiteral(".") << 0.0L;
    QTest::newRow("point alone with blanks") << QStringLiteral(" . ") << 0.0L;
    QTest::newRow("trailing point") << QStringLiteral("5.") << 5.0L;
    QTest::newRow("leading point") << QStringLiteral(".5") << 0.5L;
    QTest::newRow("signed leading point") << QStringLiteral("-.5") << -0.5L;
    QTest::newRow("exponent E-") << QStringLiteral("1.5E-7") << 1.5E-7L;
    QTest::newRow("exponent e+") << QStringLiteral("2.5e+3") << 2500.0L;
    QTest::newRow("exponent unsigned") << QStringLiteral("-0.25e1") << -2.5L;
    QTest::newRow("trailing point then exponent") << QStringLiteral("5.e2") << 500.0L;
    QTest::newRow("leading point then exponent") << QStringLiteral(".5E1") << 5.0L;
    QTest::newRow("point alone then exponent") << QStringLiteral(".e5") << 0.0L;
    QTest::newRow("zero with huge exponent") << QStringLiteral("0e99999999999999999999") << 0.0L;
    QTest::newRow("18 digits exact") << QStringLiteral("123456789012345678")
                                     << 123456789012345678.0L;
    QTest::newRow("20 digits rounded once")
        << QStringLiteral("1.0049999999999999999") << 1.0049999999999999999L;
    QTest::newRow("long fraction")
        << QStringLiteral("0.1000000000000000000000000000000000001")
        << 0.1000000000000000000000000000000000001L;
    QTest::newRow("largest extended")
        << QStringLiteral("1.18973149535723176502e4932") << std::numeric_limits<Extended>::max();
    QTest::newRow("subnormal") << QStringLiteral("1e-4940") << 1e-4940L;
    QTest::newRow("underflow to zero") << QStringLiteral("1e-5000") << 0.0L;
    QTest::newRow("negative underflow") << QStringLiteral("-1e-5000") << -0.0L;
}

void TestNumberText::parseValid()
{
    QFETCH(QString, text);
    QFETCH(Extended, expected);

    const Extended parsed = numtext::parse(text);
    QVERIFY2(sameValue(parsed, expected), exactText(parsed) + " != " + exactText(expected));
    const auto tried = numtext::tryParse(text);
    QVERIFY(tried.has_value());
    QVERIFY2(sameValue(*tried, expected), exactText(*tried) + " != " + exactText(expected));
}

void TestNumberText::parseInvalid_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("blanks only") << QStringLiteral("   ");
    QTest::newRow("tab only") << QStringLiteral("\t");
    QTest::newRow("letters") << QStringLiteral("abc");
    QTest::newRow("minus alone") << QStringLiteral("-");
    QTest::newRow("plus alone") << QStringLiteral("+");
    QTest::newRow("exponent without mantissa") << QStringLiteral("E5");
    QTest::newRow("signed exponent without mantissa") << QStringLiteral("-e5");
    QTest::newRow("exponent without digits") << QStringLiteral("1e");
    QTest::newRow("exponent sign without digits") << QStringLiteral("1e+");
    QTest::newRow("exponent minus without digits") << QStringLiteral("1E-");
    QTest::newRow("fractional exponent") << QStringLiteral("1e5.5");
    QTest::newRow("two exponents") << QStringLiteral("1e5e5");
    QTest::newRow("two points") << QStringLiteral("1.2.3");
    QTest::newRow("comma decimal point") << QStringLiteral("1,5");
    QTest::newRow("blank inside") << QStringLiteral("1 2");
    QTest::newRow("blank after sign") << QStringLiteral("- 5");
    QTest::newRow("blank before exponent digits") << QStringLiteral("1e 5");
    QTest::newRow("two signs") << QStringLiteral("+-5");
    QTest::newRow("sign after") << QStringLiteral("5-");
    QTest::newRow("trailing letters") << QStringLiteral("12abc");
    QTest::newRow("hex") << QStringLiteral("0x10");
    QTest::newRow("inf") << QStringLiteral("inf");
    QTest::newRow("nan") << QStringLiteral("nan");
    QTest::newRow("newline is not a blank") << QStringLiteral("5\n");
    QTest::newRow("no-break space is not a blank") << QString::fromUtf8("\u00a05");
    QTest::newRow("fullwidth digits") << QString::fromUtf8("\uff11\uff12");
    QTest::newRow("arabic-indic digit") << QString::fromUtf8("\u0665");
    QTest::newRow("overflow") << QStringLiteral("1e5000");
    QTest::newRow("negative overflow") << QStringLiteral("-1e5000");
    QTest::newRow("overflow in the digits") << (QString(5000, u'9') + u'.');
    QTest::newRow("huge exponent") << QStringLiteral("1e99999999999999999999");
}

void TestNumberText::parseInvalid()
{
    QFETCH(QString, text);

    QVERIFY(!numtext::tryParse(text).has_value());
    try {
        numtext::parse(text);
        QFAIL("parse accepted the text");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), notANumber(text));
    }
}

void TestNumberText::parseErrorMessage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("plain") << QStringLiteral("abc")
                           << QStringLiteral("'abc' is not a valid floating point value");
    QTest::newRow("blanks kept") << QStringLiteral(" 1x ")
                                 << QStringLiteral("' 1x ' is not a valid floating point value");
    QTest::newRow("empty") << QString() << QStringLiteral("'' is not a valid floating point value");
}

void TestNumberText::parseErrorMessage()
{
    QFETCH(QString, text);
    QFETCH(QString, message);

    try {
        numtext::parse(text);
        QFAIL("parse accepted the text");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), message);
    }
}

void TestNumberText::general_data()
{
    QTest::addColumn<Extended>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("2.5") << 2.5L << QStringLiteral("2.5");
    QTest::newRow("whole") << 10.0L << QStringLiteral("10");
    QTest::newRow("zero") << 0.0L << QStringLiteral("0");
    QTest::newRow("minus zero") << -0.0L << QStringLiteral("0");
    QTest::newRow("negative") << -13.5L << QStringLiteral("-13.5");
    QTest::newRow("0.1 extended") << 0.1L << QStringLiteral("0.1");
    QTest::newRow("0.1 double") << Extended(0.1) << QStringLiteral("0.1");
    QTest::newRow("double noise dropped") << Extended(0.1 + 0.2) << QStringLiteral("0.3");
    QTest::newRow("1.15*3") << 1.15L * 3 << QStringLiteral("3.45");
    QTest::newRow("0.333*3") << 0.333L * 3 << QStringLiteral("0.999");
    QTest::newRow("3.3*3") << 3.3L * 3 << QStringLiteral("9.9");
    QTest::newRow("3.3*3*9.5*0.1") << ((3.3L * 3) * 9.5L) * 0.1L << QStringLiteral("9.405");
    QTest::newRow("19.9*3*8.5*0.1") << ((19.9L * 3) * 8.5L) * 0.1L << QStringLiteral("50.745");
    QTest::newRow("19.9*3") << 19.9L * 3 << QStringLiteral("59.7");
    QTest::newRow("1/3") << 1 / 3.0L << QStringLiteral("0.333333333333333");
    QTest::newRow("2/3") << 2 / 3.0L << QStringLiteral("0.666666666666667");
    QTest::newRow("-2/3") << -2 / 3.0L << QStringLiteral("-0.666666666666667");

    // The 16th digit is an exact half in these (binary-exact) values: it goes
    // away from zero, where ties-to-even would keep the even digit.
    QTest::newRow("half away, fraction") << 12345678901234.25L << QStringLiteral("12345678901234.3");
    QTest::newRow("half away, negative")
        << -12345678901234.25L << QStringLiteral("-12345678901234.3");
    QTest::newRow("half away, exponent form")
        << 1000000000000005.0L << QStringLiteral("1.00000000000001E15");
    QTest::newRow("below half") << 12345678901234.2499L << QStringLiteral("12345678901234.2");

    // Plain form from 0.00001 up to 15 whole digits, judged after rounding.
    QTest::newRow("0.00001") << 0.00001L << QStringLiteral("0.00001");
    QTest::newRow("-0.00001") << -0.00001L << QStringLiteral("-0.00001");
    QTest::newRow("9E-6") << 0.000009L << QStringLiteral("9E-6");
    QTest::newRow("rounds up to 0.00001")
        << 0.0000099999999999999999L << QStringLiteral("0.00001");
    QTest::newRow("stays below 0.00001")
        << 0.0000099999999999999949L << QStringLiteral("9.99999999999999E-6");
    QTest::newRow("15 whole digits") << 999999999999999.0L << QStringLiteral("999999999999999");
    QTest::newRow("15 whole digits, fraction dropped")
        << 999999999999999.25L << QStringLiteral("999999999999999");
    QTest::newRow("rounds up to 16 whole digits")
        << 999999999999999.5L << QStringLiteral("1E15");
    QTest::newRow("1E15") << 1e15L << QStringLiteral("1E15");
    QTest::newRow("1.5E15") << 1.5e15L << QStringLiteral("1.5E15");
    QTest::newRow("1E20") << 1e20L << QStringLiteral("1E20");
    QTest::newRow("18 digits") << 123456789012345678.0L << QStringLiteral("1.23456789012346E17");
    QTest::newRow("1.5E-7") << 1.5e-7L << QStringLiteral("1.5E-7");
    QTest::newRow("-2.5E-8") << -2.5e-8L << QStringLiteral("-2.5E-8");
    QTest::newRow("small, rounded") << 1.23456789012345678e-20L
                                    << QStringLiteral("1.23456789012346E-20");
    QTest::newRow("three-digit exponent") << 1e-100L << QStringLiteral("1E-100");
    QTest::newRow("four-digit exponent") << 2e4000L << QStringLiteral("2E4000");

    QTest::newRow("nan") << kNaN << QStringLiteral("NAN");
    QTest::newRow("inf") << kInf << QStringLiteral("INF");
    QTest::newRow("-inf") << -kInf << QStringLiteral("-INF");
}

void TestNumberText::general()
{
    QFETCH(Extended, value);
    QFETCH(QString, expected);

    QCOMPARE(numtext::general(value), expected);
}

// Stored numbers are doubles, written by the million in an export: each one's
// general text is the rule's, however the text is found: the value's 18
// significant digits, rounded half away from zero to 15. Checked against
// digits printed by the C library for doubles of every kind: amounts in cents
// and tenths of cents, products of prices and quantities, any bits at all,
// and the tiny subnormal ones.
void TestNumberText::generalOfStoredNumbers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("cents") << QStringLiteral("cents");
    QTest::newRow("price times quantity") << QStringLiteral("products");
    QTest::newRow("any bits") << QStringLiteral("bits");
    QTest::newRow("subnormal") << QStringLiteral("subnormal");
}

void TestNumberText::generalOfStoredNumbers()
{
    QFETCH(QString, kind);
    QRandomGenerator random(20240305);
    for (int i = 0; i < 20000; ++i) {
        double d = 0;
        if (kind == QStringLiteral("cents")) {
            d = double(random.bounded(Q_INT64_C(1), Q_INT64_C(100000000000))) / (i % 2 ? 100.0 : 10000.0);
        } else if (kind == QStringLiteral("products")) {
            const double price = double(random.bounded(1, 100000)) / 100;
            const double quantity = double(random.bounded(1, 5000)) / (i % 3 ? 1.0 : 100.0);
            d = price * quantity * (i % 5 ? 1.0 : 0.95);
        } else {
            quint64 bits = random.generate64();
            if (kind == QStringLiteral("subnormal"))
                bits &= 0x800FFFFFFFFFFFFFULL; // exponent 0
            std::memcpy(&d, &bits, sizeof d);
            if (!std::isfinite(d))
                continue;
        }
        const Extended value = d;
        const QString text = numtext::general(value);
        // At most 15 significant digits, no trailing zero after a point.
        QString mantissa = text.section(u'E', 0, 0);
        mantissa.remove(u'-');
        QVERIFY2(!(mantissa.contains(u'.') && mantissa.endsWith(u'0')), qPrintable(text));
        mantissa.remove(u'.');
        while (mantissa.startsWith(u'0') && mantissa.size() > 1)
            mantissa.remove(0, 1);
        QVERIFY2(mantissa.size() <= 15, qPrintable(text));
        if (value == 0) {
            QCOMPARE(text, QStringLiteral("0"));
            continue;
        }
        // The rule's digits: "d.ddddddddddddddddde±x", 18 of them.
        char printed[64];
        std::snprintf(printed, sizeof printed, "%.17Le", std::fabs(value));
        std::string digits = std::string(1, printed[0]) + std::string(printed + 2, 17);
        int exponent = std::atoi(std::strchr(printed, 'e') + 1);
        const bool up = digits[15] >= '5';
        digits.resize(15);
        for (int k = 14; up && k >= 0; --k) {
            if (digits[k] != '9') {
                ++digits[k];
                break;
            }
            digits[k] = '0';
            if (k == 0) {
                digits.insert(digits.begin(), '1');
                digits.pop_back();
                ++exponent;
            }
        }
        const QString expected = QStringLiteral("%1%2.%3E%4")
                                     .arg(value < 0 ? QStringLiteral("-") : QString())
                                     .arg(QLatin1Char(digits[0]))
                                     .arg(QString::fromLatin1(digits.substr(1)))
                                     .arg(exponent);
        // Equal decimals read back as the same number, zeros or not.
        QVERIFY2(numtext::parse(text) == numtext::parse(expected),
                 qPrintable(QStringLiteral("%1 for %2, not %3")
                                .arg(text, QString::fromLatin1(exactText(value)), expected)));
    }
}

void TestNumberText::fixed2_data()
{
    QTest::addColumn<Extended>("value");
    QTest::addColumn<QString>("expected");

    // The extended 2.675 reads 2.67500000000000000 at 18 digits; the double
    // is 2.67499999999999982...
    QTest::newRow("2.675 extended") << numtext::parse(QStringLiteral("2.675")) << QStringLiteral("2.68");
    QTest::newRow("2.675 double") << Extended(2.675) << QStringLiteral("2.67");
    QTest::newRow("-2.675 extended") << -2.675L << QStringLiteral("-2.68");
    QTest::newRow("3.5") << 3.5L << QStringLiteral("3.50");
    QTest::newRow("whole") << 4.0L << QStringLiteral("4.00");
    QTest::newRow("zero") << 0.0L << QStringLiteral("0.00");
    QTest::newRow("minus zero") << -0.0L << QStringLiteral("0.00");
    QTest::newRow("0.005") << 0.005L << QStringLiteral("0.01");
    QTest::newRow("0.004") << 0.004L << QStringLiteral("0.00");
    QTest::newRow("0.0015") << 0.0015L << QStringLiteral("0.00");
    QTest::newRow("ten-thousandths") << 0.0009L << QStringLiteral("0.00");
    QTest::newRow("tiny") << 1e-30L << QStringLiteral("0.00");
    QTest::newRow("-1.005") << -1.005L << QStringLiteral("-1.01");
    QTest::newRow("negative rounds to zero") << -0.001L << QStringLiteral("0.00");
    QTest::newRow("12.3456") << 12.3456L << QStringLiteral("12.35");
    // Exact binary halves, where ties-to-even would give 0.12.
    QTest::newRow("exact half") << 0.125L << QStringLiteral("0.13");
    QTest::newRow("negative exact half") << -0.125L << QStringLiteral("-0.13");
    QTest::newRow("carry") << 0.995L << QStringLiteral("1.00");
    QTest::newRow("carry adds a digit") << 9.995L << QStringLiteral("10.00");
    QTest::newRow("carry, negative") << -99.999L << QStringLiteral("-100.00");
    // 18 digits exactly: more digits would see 1.00499999999999999989 and
    // round down; fewer would see 1.0050000000000000 and round up.
    QTest::newRow("half at 18 digits") << 1.0049999999999999999L << QStringLiteral("1.01");
    QTest::newRow("below half at 18 digits")
        << 1.00499999999999995L << QStringLiteral("1.00");
    QTest::newRow("large") << 1e20L << QStringLiteral("100000000000000000000.00");
    QTest::newRow("large, 18 digits kept")
        << 123456789012345678.0L << QStringLiteral("123456789012345678.00");
}

void TestNumberText::fixed2()
{
    QFETCH(Extended, value);
    QFETCH(QString, expected);

    QCOMPARE(numtext::fixed2(value), expected);
}

void TestNumberText::grid2_data()
{
    QTest::addColumn<Extended>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("3.5") << 3.5L << QStringLiteral("3.5");
    QTest::newRow("whole") << 4.0L << QStringLiteral("4");
    QTest::newRow("zeros before the point stay") << 100.0L << QStringLiteral("100");
    QTest::newRow("trailing zero dropped") << 100.10L << QStringLiteral("100.1");
    QTest::newRow("2.675 extended") << 2.675L << QStringLiteral("2.68");
    QTest::newRow("2.675 double") << Extended(2.675) << QStringLiteral("2.67");
    QTest::newRow("0.004") << 0.004L << QStringLiteral("0");
    QTest::newRow("0.005") << 0.005L << QStringLiteral("0.01");
    QTest::newRow("negative rounds to zero") << -0.001L << QStringLiteral("0");
    QTest::newRow("negative") << -12.3456L << QStringLiteral("-12.35");
    QTest::newRow("carry to whole") << 9.995L << QStringLiteral("10");
    QTest::newRow("0.1 double") << Extended(0.1) << QStringLiteral("0.1");
    QTest::newRow("large") << 1e20L << QStringLiteral("100000000000000000000");
}

void TestNumberText::grid2()
{
    QFETCH(Extended, value);
    QFETCH(QString, expected);

    QCOMPARE(numtext::grid2(value), expected);
}

void TestNumberText::toFixed4_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("expected");

    // k/32 is exact in binary and k/32 × 10000 = k × 312.5: true ties.
    QTest::newRow("tie to even, down") << 0.03125 << qint64(312);
    QTest::newRow("tie to even, up") << 0.09375 << qint64(938);
    QTest::newRow("tie to even, down again") << 0.15625 << qint64(1562);
    QTest::newRow("negative tie, down") << -0.03125 << qint64(-312);
    QTest::newRow("negative tie, up") << -0.09375 << qint64(-938);
    // The double 0.00005 is a hair above; × 10000 in double arithmetic would
    // collapse to exactly 0.5 and go to 0.
    QTest::newRow("not a tie in extended") << 0.00005 << qint64(1);
    QTest::newRow("not a tie in extended 2") << 0.00025 << qint64(3);
    QTest::newRow("12.3456") << 12.3456 << qint64(123456);
    QTest::newRow("2.675") << 2.675 << qint64(26750);
    QTest::newRow("1.005") << 1.005 << qint64(10050);
    QTest::newRow("smallest step") << 0.0001 << qint64(1);
    QTest::newRow("zero") << 0.0 << qint64(0);
    QTest::newRow("negative") << -13.5 << qint64(-135000);
    QTest::newRow("large") << 9.1e14 << qint64(9100000000000000000);
}

void TestNumberText::toFixed4()
{
    QFETCH(double, value);
    QFETCH(qint64, expected);

    QCOMPARE(numtext::toFixed4(value), expected);
}

void TestNumberText::toFixed4OutOfRange_data()
{
    QTest::addColumn<double>("value");

    QTest::newRow("at the limit") << 9.2e14;
    QTest::newRow("negative at the limit") << -9.2e14;
    QTest::newRow("huge") << 1e300;
    QTest::newRow("inf") << std::numeric_limits<double>::infinity();
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity();
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN();
}

void TestNumberText::toFixed4OutOfRange()
{
    QFETCH(double, value);

    try {
        numtext::toFixed4(value);
        QFAIL("toFixed4 accepted the value");
    } catch (const AppError &e) {
        QVERIFY(!e.message().isEmpty());
    }
}

void TestNumberText::fixed4Text_data()
{
    QTest::addColumn<qint64>("fixed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("12.3456") << qint64(123456) << QStringLiteral("12.3456");
    QTest::newRow("trailing zeros dropped") << qint64(155000) << QStringLiteral("15.5");
    QTest::newRow("whole") << qint64(10000) << QStringLiteral("1");
    QTest::newRow("whole with zeros") << qint64(10000000) << QStringLiteral("1000");
    QTest::newRow("zero") << qint64(0) << QStringLiteral("0");
    QTest::newRow("negative") << qint64(-135000) << QStringLiteral("-13.5");
    QTest::newRow("0.0005") << qint64(5) << QStringLiteral("0.0005");
    QTest::newRow("smallest step, not exponent form") << qint64(1) << QStringLiteral("0.0001");
    QTest::newRow("smallest negative step") << qint64(-1) << QStringLiteral("-0.0001");
    QTest::newRow("0.001") << qint64(10) << QStringLiteral("0.001");
    QTest::newRow("0.01") << qint64(100) << QStringLiteral("0.01");
    QTest::newRow("15 digits kept") << qint64(123456789012345) << QStringLiteral("12345678901.2345");
    QTest::newRow("15 whole digits")
        << qint64(1234567890123450000) << QStringLiteral("123456789012345");
    QTest::newRow("16 digits rounded") << qint64(1234567890123456)
                                       << QStringLiteral("123456789012.346");
    QTest::newRow("16 digits rounded down") << qint64(1234567890123451)
                                            << QStringLiteral("123456789012.345");
    // The exact digits decide a tie at the sixteenth digit: a binary
    // approximation of 123456789012.3455 lies below the half.
    QTest::newRow("16 digits, a tie") << qint64(1234567890123455) << QStringLiteral("123456789012.346");
    QTest::newRow("16 digits, a negative tie") << qint64(-1234567890123455)
                                              << QStringLiteral("-123456789012.346");
    QTest::newRow("17 digits, a tie below the last") << qint64(12345678901234549)
                                                    << QStringLiteral("1234567890123.45");
    QTest::newRow("tie carries into a new digit") << qint64(9999999999999995) << QStringLiteral("1000000000000");
    QTest::newRow("largest") << std::numeric_limits<qint64>::max()
                             << QStringLiteral("922337203685478");
    QTest::newRow("most negative") << std::numeric_limits<qint64>::min()
                                   << QStringLiteral("-922337203685478");
}

void TestNumberText::fixed4Text()
{
    QFETCH(qint64, fixed);
    QFETCH(QString, expected);

    QCOMPARE(numtext::fixed4Text(fixed), expected);
}

void TestNumberText::displayRound_data()
{
    QTest::addColumn<qint64>("fixed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("12.3456") << qint64(123456) << QStringLiteral("12.35");
    QTest::newRow("7.5") << qint64(75000) << QStringLiteral("7.5");
    QTest::newRow("0") << qint64(0) << QStringLiteral("0");
    // Quotients by the double 0.01: 12.49999999999999974, 1234.5000000000000383,
    // 267.49999999999997666, 1999.5000000000000578.
    QTest::newRow("0.125") << qint64(1250) << QStringLiteral("0.12");
    QTest::newRow("12.345") << qint64(123450) << QStringLiteral("12.35");
    QTest::newRow("2.675") << qint64(26750) << QStringLiteral("2.67");
    QTest::newRow("19.995") << qint64(199950) << QStringLiteral("20");
    QTest::newRow("15.5") << qint64(155000) << QStringLiteral("15.5");
    QTest::newRow("14.5") << qint64(145000) << QStringLiteral("14.5");
    QTest::newRow("63.5") << qint64(635000) << QStringLiteral("63.5");
    QTest::newRow("1.5") << qint64(15000) << QStringLiteral("1.5");
    QTest::newRow("-13.5") << qint64(-135000) << QStringLiteral("-13.5");
    QTest::newRow("-12.345") << qint64(-123450) << QStringLiteral("-12.35");
    QTest::newRow("-2.675") << qint64(-26750) << QStringLiteral("-2.67");
    QTest::newRow("0.015") << qint64(150) << QStringLiteral("0.01");
    QTest::newRow("0.025") << qint64(250) << QStringLiteral("0.03");
    // These quotients are exactly k + 0.5 in extended precision, so the even
    // neighbour wins. With 0.01L, 0.005 would not be a tie and would give 0.01.
    QTest::newRow("tie 0.005") << qint64(50) << QStringLiteral("0");
    QTest::newRow("tie 27.265") << qint64(272650) << QStringLiteral("27.26");
    QTest::newRow("tie 54.655") << qint64(546550) << QStringLiteral("54.66");
    QTest::newRow("tie -27.265") << qint64(-272650) << QStringLiteral("-27.26");
    QTest::newRow("no minus zero") << qint64(-1) << QStringLiteral("0");
    // Through the exact fifteen digits "123456789012.346", then to cents.
    QTest::newRow("16 digits, a tie") << qint64(1234567890123455) << QStringLiteral("123456789012.35");
    QTest::newRow("16 digits, a negative tie") << qint64(-1234567890123455) << QStringLiteral("-123456789012.35");
}

void TestNumberText::displayRound()
{
    QFETCH(qint64, fixed);
    QFETCH(QString, expected);

    QCOMPARE(numtext::displayRound(fixed), expected);
}

// A decimal text read into an extended value and written again rounds as
// the text reads, whichever side of it the binary value lies: the general
// format at its fifteenth digit and "0.00" at its second decimal start from
// the same decimal digits.
void TestNumberText::decimalTextRoundsAsWritten_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("general");
    QTest::addColumn<QString>("fixed2");

    // The extended values of these lie below the text.
    QTest::newRow("2.675") << QStringLiteral("2.675") << QStringLiteral("2.675") << QStringLiteral("2.68");
    QTest::newRow("1.005") << QStringLiteral("1.005") << QStringLiteral("1.005") << QStringLiteral("1.01");
    QTest::newRow("tie at the sixteenth digit")
        << QStringLiteral("1234567.890123455") << QStringLiteral("1234567.89012346") << QStringLiteral("1234567.89");
    QTest::newRow("tie carrying to a whole")
        << QStringLiteral("9.999999999999995") << QStringLiteral("10") << QStringLiteral("10.00");
    QTest::newRow("tie after zeros") << QStringLiteral("4.000000000000005") << QStringLiteral("4.00000000000001")
                                     << QStringLiteral("4.00");
    // And these above it.
    QTest::newRow("8.345") << QStringLiteral("8.345") << QStringLiteral("8.345") << QStringLiteral("8.35");
    QTest::newRow("tie, value above") << QStringLiteral("1.000000000000005") << QStringLiteral("1.00000000000001")
                                      << QStringLiteral("1.00");
    QTest::newRow("negative tie") << QStringLiteral("-1234567.890123455") << QStringLiteral("-1234567.89012346")
                                  << QStringLiteral("-1234567.89");
    // Eighteen digits are kept as written; a nineteenth would be rounded first.
    QTest::newRow("below the tie") << QStringLiteral("1234567.89012345499") << QStringLiteral("1234567.89012345")
                                   << QStringLiteral("1234567.89");
}

void TestNumberText::decimalTextRoundsAsWritten()
{
    QFETCH(QString, text);
    QFETCH(QString, general);
    QFETCH(QString, fixed2);

    const Extended value = numtext::parse(text);
    QCOMPARE(numtext::general(value), general);
    QCOMPARE(numtext::fixed2(value), fixed2);
    QString grid = fixed2;
    while (grid.endsWith(u'0'))
        grid.chop(1);
    if (grid.endsWith(u'.'))
        grid.chop(1);
    QCOMPARE(numtext::grid2(value), grid);
}

void TestNumberText::sumsLimit_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<qint64>("fixed"); // when it fits

    QTest::newRow("zero") << 0.0 << true << qint64(0);
    QTest::newRow("just below") << 899999999999999.875 << true << qint64(8999999999999998750);
    QTest::newRow("at the limit") << 9e14 << false << qint64(0);
    QTest::newRow("negative, just below") << -899999999999999.875 << true << qint64(-8999999999999998750);
    QTest::newRow("negative at the limit") << -9e14 << false << qint64(0);
    QTest::newRow("barcode times 200") << 1380246913578000.0 << false << qint64(0);
    QTest::newRow("inf") << std::numeric_limits<double>::infinity() << false << qint64(0);
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << false << qint64(0);
    QTest::newRow("a tie goes to even") << 0.03125 << true << qint64(312);
}

void TestNumberText::sumsLimit()
{
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(qint64, fixed);

    QCOMPARE(numtext::fitsSums(value), fits);
    const std::optional<qint64> f = numtext::tryFixed4(value);
    QCOMPARE(f.has_value(), fits);
    if (fits)
        QCOMPARE(*f, fixed);
}

void TestNumberText::checkedAddition_data()
{
    QTest::addColumn<qint64>("a");
    QTest::addColumn<qint64>("b");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<qint64>("sum");

    const qint64 limit = numtext::kFixed4Limit;
    QTest::newRow("small") << qint64(155000) << qint64(-5000) << true << qint64(150000);
    QTest::newRow("just below the limit") << limit - 2 << qint64(1) << true << limit - 1;
    QTest::newRow("reaching the limit") << limit - 1 << qint64(1) << false << qint64(0);
    QTest::newRow("negative limit") << -limit + 1 << qint64(-1) << false << qint64(0);
    // Two amounts of 9×10^14 - 1: in 64 bits their sum would wrap around to a
    // negative total.
    QTest::newRow("two at the limit") << limit - 10000 << limit - 10000 << false << qint64(0);
    QTest::newRow("past 64 bits") << std::numeric_limits<qint64>::max() << qint64(1) << false << qint64(0);
    QTest::newRow("opposite signs cancel") << limit - 1 << -(limit - 1) << true << qint64(0);
}

void TestNumberText::checkedAddition()
{
    QFETCH(qint64, a);
    QFETCH(qint64, b);
    QFETCH(bool, fits);
    QFETCH(qint64, sum);

    const std::optional<qint64> total = numtext::addFixed4(a, b);
    QCOMPARE(total.has_value(), fits);
    if (fits)
        QCOMPARE(*total, sum);
}

QTEST_APPLESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
