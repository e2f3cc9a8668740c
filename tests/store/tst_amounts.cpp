// The money rules of ticket entry on the texts the boxes hold: what a line
// stores as 金额 and 折后, what 抹零 and the price normalisation make of a
// text, and the figures the 合计 row, 实收 and 找零 show for stored lines.
#include "base/AppError.h"
#include "store/NumberText.h"
#include "store/Amounts.h"

#include <QtTest>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

QString notANumber(const QString &text)
{
    return u'\'' + text + QStringLiteral("' is not a valid floating point value");
}

using Reading = std::function<QString()>;

} // namespace

Q_DECLARE_METATYPE(Reading)

class TestAmounts : public QObject {
    Q_OBJECT

private slots:
    void lineAmounts_data();
    void lineAmounts();
    void unreadableText_data();
    void unreadableText();
    void change_data();
    void change();
    void cutFraction_data();
    void cutFraction();
    void normalisedPrice_data();
    void normalisedPrice();
    void summable_data();
    void summable();
};

void TestAmounts::lineAmounts_data()
{
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("discount");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("afterDiscount");

    QTest::newRow("1.15 x 3") << u"1.15"_s << u"3"_s << u"10"_s << u"3.45"_s << u"3.45"_s;
    QTest::newRow("0.333 x 3") << u"0.333"_s << u"3"_s << u"10"_s << u"0.999"_s << u"0.999"_s;
    QTest::newRow("3.3 x 3 at 9.5") << u"3.3"_s << u"3"_s << u"9.5"_s << u"9.9"_s << u"9.405"_s;
    QTest::newRow("19.9 x 3 at 8.5") << u"19.9"_s << u"3"_s << u"8.5"_s << u"59.7"_s << u"50.745"_s;
    QTest::newRow("2.5 x 3 at 10") << u"2.5"_s << u"3"_s << u"10"_s << u"7.5"_s << u"7.5"_s;
    QTest::newRow("1.15 x 3 at 9.5") << u"1.15"_s << u"3"_s << u"9.5"_s << u"3.45"_s << u"3.2775"_s;
    // No rounding to cents: the amounts keep their digits.
    QTest::newRow("0.333 x 3 at 9.9") << u"0.333"_s << u"3"_s << u"9.9"_s << u"0.999"_s << u"0.98901"_s;
    QTest::newRow("discount 0") << u"19.9"_s << u"3"_s << u"0"_s << u"59.7"_s << u"0"_s;
    QTest::newRow("discount 12 is above the amount") << u"10"_s << u"1"_s << u"12"_s << u"10"_s << u"12"_s;
    QTest::newRow("price point alone reads 0") << u"."_s << u"3"_s << u"10"_s << u"0"_s << u"0"_s;
    QTest::newRow("trailing point") << u"5."_s << u"2"_s << u"10"_s << u"10"_s << u"10"_s;
    QTest::newRow("leading point") << u".5"_s << u"3"_s << u"8"_s << u"1.5"_s << u"1.2"_s;
    QTest::newRow("fractional quantity") << u"12"_s << u"0.5"_s << u"10"_s << u"6"_s << u"6"_s;
    QTest::newRow("quantity 0") << u"12"_s << u"0"_s << u"9"_s << u"0"_s << u"0"_s;
    QTest::newRow("large line") << u"123456.78"_s << u"1000"_s << u"9"_s << u"123456780"_s
                                << u"111111102"_s;
}

void TestAmounts::lineAmounts()
{
    QFETCH(QString, price);
    QFETCH(QString, quantity);
    QFETCH(QString, discount);
    QFETCH(QString, amount);
    QFETCH(QString, afterDiscount);

    QCOMPARE(amounts::lineAmount(price, quantity), amount);
    QCOMPARE(amounts::afterDiscount(price, quantity, discount), afterDiscount);
}

void TestAmounts::unreadableText_data()
{
    QTest::addColumn<Reading>("reading");
    QTest::addColumn<QString>("message");

    // A pasted text reaches these readings unexamined; the cashier gets the
    // text back in the message.
    QTest::newRow("letters as price") << Reading([] { return amounts::lineAmount(u"abc"_s, u"1"_s); })
                                      << notANumber(u"abc"_s);
    QTest::newRow("empty quantity") << Reading([] { return amounts::lineAmount(u"19.9"_s, QString()); })
                                    << notANumber(QString());
    QTest::newRow("empty discount") << Reading([] { return amounts::afterDiscount(u"1"_s, u"1"_s, QString()); })
                                    << notANumber(QString());
    QTest::newRow("comma decimal price")
        << Reading([] { return amounts::afterDiscount(u"1,5"_s, u"1"_s, u"10"_s); }) << notANumber(u"1,5"_s);
    QTest::newRow("two points in quantity")
        << Reading([] { return amounts::afterDiscount(u"1"_s, u"1.2.3"_s, u"10"_s); })
        << notANumber(u"1.2.3"_s);
    QTest::newRow("received with currency sign") << Reading([] { return amounts::change(u"¥20"_s, u"14.5"_s); })
                                                 << notANumber(u"¥20"_s);
    QTest::newRow("cut of a non-number") << Reading([] { return amounts::cutFraction(u"x"_s); })
                                         << notANumber(u"x"_s);
    QTest::newRow("cut of nothing") << Reading([] { return amounts::cutFraction(QString()); })
                                    << notANumber(QString());
    QTest::newRow("normalising a non-number") << Reading([] { return amounts::normalisedPrice(u"abc"_s); })
                                              << notANumber(u"abc"_s);
}

void TestAmounts::unreadableText()
{
    QFETCH(Reading, reading);
    QFETCH(QString, message);

    try {
        const QString result = reading();
        QFAIL(qPrintable(u"no error, result "_s + result));
    } catch (const AppError &e) {
        QCOMPARE(e.message(), message);
    }
}

void TestAmounts::change_data()
{
    QTest::addColumn<QString>("received");
    QTest::addColumn<QString>("total");
    QTest::addColumn<QString>("change");

    QTest::newRow("nothing received") << QString() << u"14.5"_s << QString();
    QTest::newRow("nothing received, not a number total") << QString() << u"x"_s << QString();
    QTest::newRow("20 against 14.5") << u"20"_s << u"14.5"_s << u"5.5"_s;
    QTest::newRow("100 against 63.5") << u"100"_s << u"63.5"_s << u"36.5"_s;
    QTest::newRow("too little received") << u"50"_s << u"63.5"_s << u"-13.5"_s;
    QTest::newRow("exact") << u"63.5"_s << u"63.5"_s << u"0"_s;
    QTest::newRow("empty ticket") << u"0"_s << u"0"_s << u"0"_s;
    QTest::newRow("preset against a discounted total") << u"15.5"_s << u"14.5"_s << u"1"_s;
    // In double arithmetic these would show 0.0999999999999996 and
    // 0.0999999999999943; the change is worked out in extended precision.
    QTest::newRow("10.1 against 10") << u"10.1"_s << u"10"_s << u"0.1"_s;
    QTest::newRow("100 against 99.9") << u"100"_s << u"99.9"_s << u"0.1"_s;
    QTest::newRow("point alone received") << u"."_s << u"2.5"_s << u"-2.5"_s;
}

void TestAmounts::change()
{
    QFETCH(QString, received);
    QFETCH(QString, total);
    QFETCH(QString, change);

    QCOMPARE(amounts::change(received, total), change);
}

void TestAmounts::cutFraction_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("cut");

    QTest::newRow("12.8") << u"12.8"_s << u"12"_s;
    QTest::newRow("9.405") << u"9.405"_s << u"9"_s;
    QTest::newRow("0.5") << u"0.5"_s << u"0"_s;
    QTest::newRow("whole stays") << u"12"_s << u"12"_s;
    QTest::newRow("just below the next whole") << u"99.99"_s << u"99"_s;
    QTest::newRow("zero") << u"0"_s << u"0"_s;
    QTest::newRow("toward zero when negative") << u"-3.7"_s << u"-3"_s;
}

void TestAmounts::cutFraction()
{
    QFETCH(QString, amount);
    QFETCH(QString, cut);

    QCOMPARE(amounts::cutFraction(amount), cut);
}

void TestAmounts::normalisedPrice_data()
{
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("shown");

    // The text of the stored price is rounded on its decimal digits.
    QTest::newRow("2.675 rounds up") << u"2.675"_s << u"2.68"_s;
    QTest::newRow("1.005 rounds up") << u"1.005"_s << u"1.01"_s;
    QTest::newRow("2.345 rounds up") << u"2.345"_s << u"2.35"_s;
    QTest::newRow("0.005 rounds up") << u"0.005"_s << u"0.01"_s;
    QTest::newRow("1.004 rounds down") << u"1.004"_s << u"1"_s;
    QTest::newRow("19.999 carries") << u"19.999"_s << u"20"_s;
    QTest::newRow("3.5 stays") << u"3.5"_s << u"3.5"_s;
    QTest::newRow("4 stays") << u"4"_s << u"4"_s;
    QTest::newRow("19.9 stays") << u"19.9"_s << u"19.9"_s;
    QTest::newRow("trailing zeros dropped") << u"3.50"_s << u"3.5"_s;
    QTest::newRow("point alone") << u"."_s << u"0"_s;
    QTest::newRow("no price stays empty") << QString() << QString();
}

void TestAmounts::normalisedPrice()
{
    QFETCH(QString, price);
    QFETCH(QString, shown);

    QCOMPARE(amounts::normalisedPrice(price), shown);
}

void TestAmounts::summable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message"); // empty: accepted

    const QString refused = u"“金额”超出范围：数值的绝对值须小于900000000000000（900万亿）"_s;
    QTest::newRow("empty stores nothing") << QString() << QString();
    QTest::newRow("an amount") << u"59.7"_s << QString();
    QTest::newRow("largest below the limit") << u"899999999999999.8"_s << QString();
    // Judged as the column will hold it: this one becomes 9E14 as a double.
    QTest::newRow("rounds to the limit as a double") << u"899999999999999.99"_s << refused;
    QTest::newRow("at the limit") << u"900000000000000"_s << refused;
    QTest::newRow("negative at the limit") << u"-9E14"_s << refused;
    QTest::newRow("barcode times 200") << u"1.380246913578E15"_s << refused;
    QTest::newRow("beyond what a double holds") << u"1E400"_s << refused;
    QTest::newRow("not a number") << u"abc"_s << notANumber(u"abc"_s);
}

void TestAmounts::summable()
{
    QFETCH(QString, text);
    QFETCH(QString, message);

    QString thrown;
    try {
        amounts::requireSummable(u"金额"_s, text);
    } catch (const AppError &e) {
        thrown = e.message();
    }
    QCOMPARE(thrown, message);
}

QTEST_APPLESS_MAIN(TestAmounts)
#include "tst_amounts.moc"
