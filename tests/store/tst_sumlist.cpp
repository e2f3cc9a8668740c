// The sum list under the 合计 row: each stored line counted in fixed point
// with four decimals, totals that follow every open, post and delete of the
// line query, and rows it cannot count leaving a total unknown, never an
// exception inside the query's signals.
#include "store/Connection.h"
#include "store/Idioms.h"
#include "store/NumberText.h"
#include "store/Query.h"
#include "store/SumList.h"
#include "support/TestSupport.h"
#include "store/Amounts.h"
#include "ui/ListGrid.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// A total as the test tables write it: the fixed-point value, or "unknown".
QString text(std::optional<qint64> total)
{
    return total ? QString::number(*total) : u"unknown"_s;
}

void storeLine(const QVariant &quantity, const QVariant &amount, const QVariant &afterDiscount)
{
    testing::exec(u"insert into xsxx (品名, 数量, 金额, 折后) values ('品', ?, ?, ?)"_s,
                  {quantity, amount, afterDiscount});
}

} // namespace

class TestSumList : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void storedLines_data();
    void storedLines();
    void followsTheQuery();
    void gridAndSumsAgreeWhateverARowHolds();
    void sumWithoutARow();
    void shownTotals_data();
    void shownTotals();

private:
    std::unique_ptr<testing::TempWorkDir> dir_;
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<Query> lines_;
    std::unique_ptr<SumList> sums_;

    void open()
    {
        lines_->open();
        sums_ = std::make_unique<SumList>(*lines_, QStringList{u"数量"_s, u"金额"_s, u"折后"_s});
    }
    QStringList totals() const
    {
        return {text(sums_->total(0)), text(sums_->total(1)), text(sums_->total(2))};
    }
};

void TestSumList::init()
{
    dir_ = std::make_unique<testing::TempWorkDir>();
    connection_ = std::make_unique<Connection>();
    lines_ = std::make_unique<Query>(*connection_, store::Listing::all(u"xsxx"_s));
}

void TestSumList::cleanup()
{
    sums_.reset();
    lines_.reset();
    connection_.reset();
    dir_.reset();
}

void TestSumList::storedLines_data()
{
    QTest::addColumn<QVariantList>("amounts"); // one line each, 金额
    QTest::addColumn<QString>("total");

    // Each line is rounded to four decimals before it is added: 0.00005 is a
    // hair above as a double, each line counts 1. Summing the doubles first
    // would give 0.00015 and round it to 2.
    QTest::newRow("per line, not the summed doubles") << QVariantList{0.00005, 0.00005, 0.00005} << u"3"_s;
    // True ties go to the even neighbour, line by line: 312 + 312.
    QTest::newRow("ties to even per line") << QVariantList{0.03125, 0.03125} << u"624"_s;
    QTest::newRow("tenths add exactly") << QVariantList{0.1, 0.2} << u"3000"_s;
    QTest::newRow("nulls count nothing") << QVariantList{QVariant(), 2.5} << u"25000"_s;
    QTest::newRow("empty text counts nothing") << QVariantList{u""_s, 2.5} << u"25000"_s;
    QTest::newRow("negatives") << QVariantList{-13.5, 2.5} << u"-110000"_s;
    QTest::newRow("largest line") << QVariantList{899999999999999.875} << u"8999999999999998750"_s;
    // What no line of this program holds: the total is unknown, not wrong.
    QTest::newRow("text that is no number") << QVariantList{u"abc"_s, 2.5} << u"unknown"_s;
    QTest::newRow("beyond the limit") << QVariantList{2.5, 9e14} << u"unknown"_s;
    QTest::newRow("far beyond") << QVariantList{1e300} << u"unknown"_s;
    QTest::newRow("negative beyond") << QVariantList{-1e15} << u"unknown"_s;
    QTest::newRow("infinite") << QVariantList{u"9e999"_s} << u"unknown"_s;
    // Each fits; in 64 bits their sum would wrap around to a negative total.
    QTest::newRow("two that do not add up") << QVariantList{8.9e14, 8.9e14} << u"unknown"_s;
    QTest::newRow("ones that cancel") << QVariantList{8.9e14, -8.9e14, 1} << u"10000"_s;
}

void TestSumList::storedLines()
{
    QFETCH(QVariantList, amounts);
    QFETCH(QString, total);
    for (const QVariant &a : amounts) {
        if (a.typeId() == QMetaType::QString)
            VELMORA_FILE_ONLY("a number column of the server holds no text");
    }

    for (const QVariant &a : amounts)
        storeLine(1, a, 2);
    open();
    // The other columns are counted on their own.
    const QString lineCount = QString::number(amounts.size() * 10000);
    QCOMPARE(totals(), (QStringList{lineCount, total, QString::number(amounts.size() * 20000)}));
}

void TestSumList::followsTheQuery()
{
    storeLine(1.5, 2.675, 2.5);
    storeLine(2, 10.1, QVariant());
    open();
    QCOMPARE(totals(), (QStringList{u"35000"_s, u"127750"_s, u"25000"_s}));

    idiom::appendRow(*lines_, {{u"数量"_s, u"0.0001"_s}, {u"金额"_s, u"3"_s}, {u"折后"_s, u"3"_s}});
    QCOMPARE(totals(), (QStringList{u"35001"_s, u"157750"_s, u"55000"_s}));
    lines_->first();
    idiom::changeRow(*lines_, {{u"金额"_s, u"1"_s}});
    QCOMPARE(totals(), (QStringList{u"35001"_s, u"141000"_s, u"55000"_s}));
    lines_->remove();
    QCOMPARE(totals(), (QStringList{u"20001"_s, u"131000"_s, u"30000"_s}));

    // Lines another connection stored count after a reopen, past the first
    // page of rows the query reads.
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                  "INSERT INTO xsxx (品名, 数量, 金额, 折后) SELECT 'p', 1, 0.01, NULL FROM n"_s);
    idiom::list(*lines_, store::Listing::all(u"xsxx"_s));
    QCOMPARE(totals(), (QStringList{u"3020001"_s, u"161000"_s, u"30000"_s}));
    idiom::emptyTable(*lines_);
    QCOMPARE(totals(), (QStringList{u"0"_s, u"0"_s, u"0"_s}));
    lines_->close();
    QCOMPARE(totals(), (QStringList{u"0"_s, u"0"_s, u"0"_s}));
}

// The grid and the sums follow the same signals: a row the sums cannot
// count must neither stop the grid from showing it nor throw.
void TestSumList::gridAndSumsAgreeWhateverARowHolds()
{
    storeLine(1, 5, 5);
    open();
    ui::ListGrid grid(*lines_, {{u"序号"_s, QString(), 45, false}, {u"金额"_s, u"金额"_s, 105, true}});
    grid.show(); // a grid lists its rows once it is shown
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);

    idiom::appendRow(*lines_, {{u"数量"_s, u"1"_s}, {u"金额"_s, u"1E20"_s}, {u"折后"_s, u"1"_s}});
    QCOMPARE(grid.model()->rowCount(), 2);
    QCOMPARE(grid.model()->index(1, 1).data().toString(), u"100000000000000000000"_s);
    QCOMPARE(totals(), (QStringList{u"20000"_s, u"unknown"_s, u"60000"_s}));

    idiom::changeRow(*lines_, {{u"金额"_s, u"3"_s}});
    QCOMPARE(grid.model()->index(1, 1).data().toString(), u"3"_s);
    QCOMPARE(totals(), (QStringList{u"20000"_s, u"80000"_s, u"60000"_s}));

    idiom::changeRow(*lines_, {{u"数量"_s, u"-1E300"_s}});
    QCOMPARE(totals(), (QStringList{u"unknown"_s, u"80000"_s, u"60000"_s}));
    lines_->remove();
    QCOMPARE(grid.model()->rowCount(), 1);
    QCOMPARE(totals(), (QStringList{u"10000"_s, u"50000"_s, u"50000"_s}));
}

void TestSumList::sumWithoutARow()
{
    storeLine(1, 1, 1);
    storeLine(1, 9e14 - 1, 1);
    storeLine(1, 2, 1);
    open();
    QCOMPARE(text(sums_->total(1)), u"unknown"_s);
    QCOMPARE(text(sums_->sumWithout(1, 1)), u"30000"_s);
    QCOMPARE(text(sums_->sumWithout(1, 0)), u"unknown"_s);
    QCOMPARE(text(sums_->sumWithout(0, -1)), u"30000"_s);
    QCOMPARE(text(sums_->sumWithout(7, 0)), u"unknown"_s); // no such column
}

void TestSumList::shownTotals_data()
{
    QTest::addColumn<QStringList>("amounts");        // 金额 of each line, as typed
    QTest::addColumn<QStringList>("afterDiscounts"); // 折后 of each line
    QTest::addColumn<QString>("amountTotal");        // Label14, and 实收 preset from it
    QTest::addColumn<QString>("afterDiscountTotal"); // Label15
    QTest::addColumn<QString>("change");             // 实收 preset against Label15

    QTest::newRow("12.3456") << QStringList{u"12.3456"_s} << QStringList{u"12.3456"_s} << u"12.35"_s << u"12.35"_s
                             << u"0"_s;
    QTest::newRow("no lines") << QStringList{} << QStringList{} << u"0"_s << u"0"_s << u"0"_s;
    // The display rounding divides the double by 0.01: 0.125 is a true tie
    // and goes to even, 2.675 lies below its half, 19.995 above.
    QTest::newRow("0.125") << QStringList{u"0.125"_s} << QStringList{u"0.125"_s} << u"0.12"_s << u"0.12"_s
                           << u"0"_s;
    QTest::newRow("2.675 and 19.995") << QStringList{u"2.675"_s} << QStringList{u"19.995"_s} << u"2.67"_s
                                      << u"20"_s << u"-17.33"_s;
    QTest::newRow("10 and 5.5 at 9 and 5.5") << QStringList{u"10"_s, u"5.5"_s} << QStringList{u"9"_s, u"5.5"_s}
                                             << u"15.5"_s << u"14.5"_s << u"1"_s;
    QTest::newRow("thirds kept to four decimals") << QStringList{u"0.33333"_s, u"0.33333"_s, u"0.33333"_s}
                                                  << QStringList{u"1"_s} << u"1"_s << u"1"_s << u"0"_s;
    // The change is against the rounded total the label shows, not 8.955.
    QTest::newRow("19.9 x 3 at 8.5") << QStringList{u"59.7"_s} << QStringList{u"50.745"_s} << u"59.7"_s
                                     << u"50.74"_s << u"8.96"_s;
    QTest::newRow("a sixteen-digit tie") << QStringList{u"123456789012.3455"_s} << QStringList{u"0"_s}
                                         << u"123456789012.35"_s << u"0"_s << u"123456789012.35"_s;
}

void TestSumList::shownTotals()
{
    QFETCH(QStringList, amounts);
    QFETCH(QStringList, afterDiscounts);
    QFETCH(QString, amountTotal);
    QFETCH(QString, afterDiscountTotal);
    QFETCH(QString, change);

    open();
    for (int i = 0; i < std::max(amounts.size(), afterDiscounts.size()); ++i)
        idiom::appendRow(*lines_, {{u"金额"_s, amounts.value(i)}, {u"折后"_s, afterDiscounts.value(i)}});
    const QString label14 = numtext::displayRound(*sums_->total(1));
    const QString label15 = numtext::displayRound(*sums_->total(2));
    QCOMPARE(label14, amountTotal);
    QCOMPARE(label15, afterDiscountTotal);
    QCOMPARE(amounts::change(label14, label15), change);
}

QTEST_MAIN(TestSumList)
#include "tst_sumlist.moc"
