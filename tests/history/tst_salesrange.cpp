// 销售统计 narrowed to a range of days and a cashier, its 时间 title that
// puts the newest first, and 汇总 by day and by cashier with its chart, as a
// shop owner uses them: dates typed, the cashier picked, buttons clicked.
#include "HistoryFixture.h"

#include "history/XshzUnit.h"
#include "store/RowCache.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QDateEdit>
#include <QHeaderView>
#include <QStandardPaths>
#include <QTableWidget>

using namespace Qt::Literals::StringLiterals;
using namespace historytest;

namespace {

// Tickets at the edges of days: a second before midnight and midnight
// itself, stored out of time order. The sums need fixed point: 19.475 + 0.1
// + 29.9 + 0.2 added as doubles is 49.67499…, which would show 49.67.
void seedArchive()
{
    addTicket(u"20240302235959"_s, u"2024-03-02 23:59:59"_s, 3.0, 0.2, 0.2, u"张三"_s);
    addTicket(u"20240229235959"_s, u"2024-02-29 23:59:59"_s, 7.0, 70.0, 70.0, u"王五"_s);
    addTicket(u"20240302080000"_s, u"2024-03-02 08:00:00"_s, 1.0, 29.9, 29.9, u"李四"_s);
    addTicket(u"20240301000000"_s, u"2024-03-01 00:00:00"_s, 2.0, 20.5, 19.475, u"张三"_s);
    addTicket(u"20240303000000"_s, u"2024-03-03 00:00:00"_s, 5.0, 10.0, 9.0, u"李四"_s);
    addTicket(u"20240301120000"_s, u"2024-03-01 12:00:00"_s, 1.0, 0.1, 0.1, u"李四"_s);
    // A user who has sold nothing yet, and 王五, who sold but is no user now.
    testing::exec(u"insert into username (用户名, 密码, 权限) values ('李四', '', '普通用户')"_s);
    testing::exec(u"insert into username (用户名, 密码, 权限) values ('赵六', '', '普通用户')"_s);
    testing::exec(u"insert into username (用户名, 密码, 权限) values ('张三', '', '普通用户')"_s);
    testing::fixClock(QDateTime(QDate(2024, 3, 2), QTime(21, 0)));
}

const QStringList kAllByTime{u"20240229235959"_s, u"20240301000000"_s, u"20240301120000"_s,
                             u"20240302080000"_s, u"20240302235959"_s, u"20240303000000"_s};

QStringList numbersShown()
{
    return shownColumn(XstjForm->DBGridEh1, 1);
}

QStringList footerSums()
{
    return footerTexts(XstjForm->DBGridEh1Footer, 7).mid(3, 3);
}

// A day typed into a date box as a user types it: a click on its year, then
// the digits, each section moving on to the next when full.
void typeDay(QDateEdit *box, const QDate &day)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    for (QChar c : day.toString(u"yyyyMMdd"_s))
        QTest::keyClick(box, c.toLatin1());
}

void chooseRange(const QDate &from, const QDate &to, const QString &cashier)
{
    typeDay(XstjForm->DateTimePicker1, from);
    typeDay(XstjForm->DateTimePicker2, to);
    QVERIFY(testing::pickFromList(XstjForm->ComboBox1, cashier.isEmpty() ? TXstjForm::everyCashier() : cashier));
}

void clickTitle(int column)
{
    QHeaderView *titles = XstjForm->DBGridEh1->horizontalHeader();
    const QPoint at(titles->sectionViewportPosition(column) + titles->sectionSize(column) / 2, titles->height() / 2);
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// The column of the time arrow, -1 when none is shown.
int arrowColumn()
{
    QHeaderView *titles = XstjForm->DBGridEh1->horizontalHeader();
    return titles->isSortIndicatorShown() ? titles->sortIndicatorSection() : -1;
}

using Rows = QList<QStringList>;

Rows gridRows(QTableWidget *grid)
{
    Rows rows;
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < grid->columnCount(); ++c)
            row << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
        rows << row;
    }
    return rows;
}

struct SummaryShown {
    QString range;
    Rows days, cashiers;
    QString spoken;
    QList<double> bars;
    QStringList categories;
};

// 汇总 clicked in 销售统计, the summary window read as shown.
SummaryShown openSummary()
{
    SummaryShown s;
    testing::whileModal([&s](QWidget *modal) {
        QCOMPARE(modal, XshzForm);
        s.range = XshzForm->Label1->text();
        s.days = gridRows(XshzForm->StringGrid1);
        s.cashiers = gridRows(XshzForm->StringGrid2);
        s.spoken = XshzForm->ChartView1->accessibleDescription();
        const auto series = XshzForm->ChartView1->chart()->series();
        QCOMPARE(series.size(), 1);
        const QBarSet *set = static_cast<QBarSeries *>(series.first())->barSets().value(0);
        QVERIFY(set);
        for (int i = 0; i < set->count(); ++i)
            s.bars << set->at(i);
        testing::click(XshzForm->SpeedButton1);
    });
    testing::click(XstjForm->SpeedButton9);
    return s;
}

} // namespace

class TestSalesRange : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rangeAndCashier_data();
    void rangeAndCashier();
    void clearingGivesEveryTicketBack();
    void cashierList();
    void refusedRanges_data();
    void refusedRanges();
    void timeTitleOrder();
    void newestFirstOverManyPages();
    void summary_data();
    void summary();
    void summaryThatDoesNotFitIsRefused();

private:
    std::unique_ptr<testing::Session> session_;
    testing::Prompts *prompts_ = nullptr;
};

void TestSalesRange::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
}

void TestSalesRange::init()
{
    session_ = std::make_unique<testing::Session>(seedArchive);
    prompts_ = &session_->prompts();
}

void TestSalesRange::cleanup()
{
    session_.reset();
    testing::releaseClock();
}

void TestSalesRange::rangeAndCashier_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("cashier");
    QTest::addColumn<QStringList>("numbers");
    QTest::addColumn<QStringList>("sums"); // 数量, 金额, 折后

    QTest::newRow("two days, every cashier: midnight in, a second before out")
        << QDate(2024, 3, 1) << QDate(2024, 3, 2) << QString()
        << QStringList{u"20240301000000"_s, u"20240301120000"_s, u"20240302080000"_s, u"20240302235959"_s}
        << QStringList{u"7"_s, u"50.7"_s, u"49.68"_s};
    QTest::newRow("two days, one cashier: his first and last second")
        << QDate(2024, 3, 1) << QDate(2024, 3, 2) << u"张三"_s
        << QStringList{u"20240301000000"_s, u"20240302235959"_s} << QStringList{u"5"_s, u"20.7"_s, u"19.68"_s};
    QTest::newRow("one day, one cashier") << QDate(2024, 3, 1) << QDate(2024, 3, 1) << u"李四"_s
                                          << QStringList{u"20240301120000"_s}
                                          << QStringList{u"1"_s, u"0.1"_s, u"0.1"_s};
    QTest::newRow("the day whose last second has a ticket")
        << QDate(2024, 2, 29) << QDate(2024, 2, 29) << QString() << QStringList{u"20240229235959"_s}
        << QStringList{u"7"_s, u"70"_s, u"70"_s};
    QTest::newRow("a cashier without tickets that day")
        << QDate(2024, 3, 3) << QDate(2024, 3, 3) << u"张三"_s << QStringList() << QStringList{u"0"_s, u"0"_s, u"0"_s};
    QTest::newRow("a cashier who is no user now")
        << QDate(2024, 2, 1) << QDate(2024, 3, 31) << u"王五"_s << QStringList{u"20240229235959"_s}
        << QStringList{u"7"_s, u"70"_s, u"70"_s};
}

void TestSalesRange::rangeAndCashier()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QString, cashier);
    QFETCH(QStringList, numbers);
    QFETCH(QStringList, sums);

    QStringList shown, footer, exported;
    QString listed;
    inStatistics([&] {
        chooseRange(from, to, cashier);
        testing::click(XstjForm->SpeedButton7);
        shown = numbersShown();
        footer = footerSums();
        listed = XstjForm->Label4->text();
        // What the list holds is read out as shown.
        QCOMPARE(QAccessible::queryAccessibleInterface(XstjForm->Label4)->text(QAccessible::Name), listed);
        // 删除 and 导出 work on what is listed: Cancel keeps every ticket.
        if (!numbers.isEmpty()) {
            prompts_->answer(msg::Answer::Cancel);
            testing::click(XstjForm->SpeedButton4);
        }
    });
    QCOMPARE(prompts_->texts(), numbers.isEmpty() ? QStringList() : QStringList{u"确定要删除选中的销售信息？"_s});
    QCOMPARE(shown, numbers);
    QCOMPARE(footer, sums);
    QCOMPARE(listed, u"%1至%2，%3"_s.arg(from.toString(u"yyyy-MM-dd"_s), to.toString(u"yyyy-MM-dd"_s),
                                         cashier.isEmpty() ? u"全部收银员"_s : u"收银员：%1"_s.arg(cashier))
                         + u"，最早的在前"_s);
    QCOMPARE(count(u"xstj"_s), 6);
}

// 清除 gives back the list the window opened on, and the boxes as they were.
void TestSalesRange::clearingGivesEveryTicketBack()
{
    QStringList narrowed, cleared, footer;
    QDate from, to;
    QString cashier;
    inStatistics([&] {
        chooseRange(QDate(2024, 3, 1), QDate(2024, 3, 1), u"李四"_s);
        testing::click(XstjForm->SpeedButton7);
        narrowed = numbersShown();
        testing::click(XstjForm->SpeedButton8);
        cleared = numbersShown();
        footer = footerSums();
        from = XstjForm->DateTimePicker1->date();
        to = XstjForm->DateTimePicker2->date();
        cashier = XstjForm->ComboBox1->currentText();
    });
    QCOMPARE(narrowed, QStringList{u"20240301120000"_s});
    QCOMPARE(cleared, kAllByTime);
    QCOMPARE(footer, (QStringList{u"19"_s, u"130.7"_s, u"128.68"_s}));
    QCOMPARE(from, QDate(2024, 3, 2));
    QCOMPARE(to, QDate(2024, 3, 2));
    QCOMPARE(cashier, u"全部"_s);
}

// 全部, the users in their order, then the names on tickets of no user now;
// a sale archived after the program started lists its cashier at the next
// opening.
void TestSalesRange::cashierList()
{
    auto items = [] {
        QStringList texts;
        for (int i = 0; i < XstjForm->ComboBox1->count(); ++i)
            texts << XstjForm->ComboBox1->itemText(i);
        return texts;
    };
    QStringList first, second;
    QString spoken;
    inStatistics([&] {
        first = items();
        spoken = XstjForm->ComboBox1->accessibleName();
    });
    addTicket(u"20240302200000"_s, u"2024-03-02 20:00:00"_s, 1.0, 1.0, 1.0, u"孙七"_s);
    inStatistics([&] { second = items(); });
    QCOMPARE(first, (QStringList{u"全部"_s, u"admin"_s, u"李四"_s, u"赵六"_s, u"张三"_s, u"王五"_s}));
    QCOMPARE(second, (QStringList{u"全部"_s, u"admin"_s, u"李四"_s, u"赵六"_s, u"张三"_s, u"孙七"_s, u"王五"_s}));
    QCOMPARE(spoken, u"收银员："_s);
}

void TestSalesRange::refusedRanges_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<bool>("summary");
    QTest::addColumn<QString>("message");
    QTest::newRow("筛选 from after to") << QDate(2024, 3, 2) << QDate(2024, 3, 1) << false
                                        << u"开始日期不能晚于结束日期！"_s;
    QTest::newRow("汇总 from after to") << QDate(2024, 3, 2) << QDate(2024, 3, 1) << true
                                        << u"开始日期不能晚于结束日期！"_s;
    QTest::newRow("汇总 of more than a year") << QDate(2023, 3, 1) << QDate(2024, 3, 1) << true
                                              << u"汇总最多366天，请缩小日期范围！"_s;
}

// A refused range says why and leaves the list as it was.
void TestSalesRange::refusedRanges()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(bool, summary);
    QFETCH(QString, message);
    QStringList shown;
    bool summaryOpened = false;
    inStatistics([&] {
        chooseRange(from, to, {});
        testing::click(summary ? XstjForm->SpeedButton9 : XstjForm->SpeedButton7);
        summaryOpened = XshzForm->isVisible();
        shown = numbersShown();
    });
    QCOMPARE(prompts_->texts(), QStringList{message});
    QCOMPARE(prompts_->log().first().icon, msg::Icon::Warning);
    QVERIFY(!summaryOpened);
    QCOMPARE(shown, kAllByTime);
}

// The window opens oldest first with no arrow; a click on 时间 puts the
// newest first, the next the oldest again; other titles sort nothing and
// leave the arrow where it is. A range keeps the order chosen.
void TestSalesRange::timeTitleOrder()
{
    QStringList reversed = kAllByTime;
    std::reverse(reversed.begin(), reversed.end());
    QList<int> arrows;
    QList<QStringList> lists;
    QStringList labels;
    Qt::SortOrder newestArrow = Qt::AscendingOrder;
    inStatistics([&] {
        auto look = [&] {
            arrows << arrowColumn();
            lists << numbersShown();
        };
        look();
        clickTitle(2);
        look();
        newestArrow = XstjForm->DBGridEh1->horizontalHeader()->sortIndicatorOrder();
        labels << XstjForm->Label4->text();
        clickTitle(3); // 数量
        look();
        chooseRange(QDate(2024, 3, 1), QDate(2024, 3, 2), u"张三"_s);
        testing::click(XstjForm->SpeedButton7);
        look();
        clickTitle(2);
        look();
        labels << XstjForm->Label4->text();
        testing::click(XstjForm->SpeedButton3); // 刷新: stored order, no arrow
        look();
    });
    QCOMPARE(arrows, (QList<int>{-1, 2, 2, 2, 2, -1}));
    QCOMPARE(lists[0], kAllByTime);
    QCOMPARE(lists[1], reversed);
    QCOMPARE(lists[2], reversed);
    QCOMPARE(lists[3], (QStringList{u"20240302235959"_s, u"20240301000000"_s}));
    QCOMPARE(lists[4], (QStringList{u"20240301000000"_s, u"20240302235959"_s}));
    QCOMPARE(lists[5], (QStringList{u"20240302235959"_s, u"20240229235959"_s, u"20240302080000"_s,
                                    u"20240301000000"_s, u"20240303000000"_s, u"20240301120000"_s}));
    QCOMPARE(newestArrow, Qt::DescendingOrder);
    QCOMPARE(labels, (QStringList{u"全部小票，最新的在前"_s, u"2024-03-01至2024-03-02，收银员：张三，最早的在前"_s}));
}

// Newest first over many pages of rows, tickets sharing a second among
// them: every position read, from the end backwards and by jumps, holds the
// row the engine's own order puts there; the ticket picked stays picked when
// another program deletes one above it, and 删除 then takes that one.
void TestSalesRange::newestFirstOverManyPages()
{
    testing::exec(u"delete from xstj"_s);
    testing::exec(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 700) "
                  "insert into xstj (单号, 时间, 数量, 金额, 折后, 收银员) "
                  "select printf('T%04d', i), printf('2024-03-%02d %02d:00:00', 1 + (i * 13) % 28, 8 + i % 12), "
                  "1, i, i, '张三' from n"_s);
    const QString expectedSql = u"select 单号 from xstj where 时间 >= '2024-03-03' and 时间 < '2024-03-27' "
                                "order by 时间 desc, rowid desc"_s;
    auto expected = [&] {
        QStringList numbers;
        for (const QStringList &row : testing::rows(expectedSql))
            numbers << row.first();
        return numbers;
    };
    const QStringList before = expected();
    QVERIFY(before.size() > 3 * store::RowCache::kPageRows / 2);

    QStringList backwards, jumps, afterDelete;
    QString deleted;
    int picked = 0;
    inStatistics([&] {
        clickTitle(2);
        chooseRange(QDate(2024, 3, 3), QDate(2024, 3, 26), {});
        testing::click(XstjForm->SpeedButton7);
        QAbstractItemModel *model = XstjForm->DBGridEh1->model();
        for (int r = model->rowCount() - 1; r >= 0; --r)
            backwards.prepend(model->index(r, 1).data().toString());
        for (int r : {0, model->rowCount() - 1, 300, 5, 520, 256, 255})
            jumps << model->index(r, 1).data().toString();
        // Far from the middle: a position counted from the wrong end is not
        // the same there.
        QVERIFY(testing::clickRow(XstjForm->DBGridEh1, 100));
        // Another program deletes a ticket above it: the list is read again
        // and the cursor stays on the ticket picked, one place up.
        testing::exec(u"delete from xstj where 单号 = ?"_s, {before[10]});
        QTest::qWait(20); // the window's next turn finds the file changed
        deleted = XstjForm->ADOQuery1.fieldText(u"单号"_s);
        picked = XstjForm->ADOQuery1.recNo();
        prompts_->answer(msg::Answer::Ok);
        testing::click(XstjForm->SpeedButton4);
        afterDelete = numbersShown();
    });
    QCOMPARE(backwards, before);
    QCOMPARE(jumps, (QStringList{before[0], before.last(), before[300], before[5], before[520], before[256],
                                 before[255]}));
    QCOMPARE(deleted, before[100]);
    QCOMPARE(picked, 100); // 1-based: the 100th now
    QStringList remaining = before;
    remaining.removeAt(100);
    remaining.removeAt(10);
    QCOMPARE(afterDelete, remaining);
    QCOMPARE(expected(), remaining);
}

void TestSalesRange::summary_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("cashier");
    QTest::addColumn<QString>("range");
    QTest::addColumn<Rows>("days");
    QTest::addColumn<Rows>("cashiers");
    QTest::addColumn<QString>("spoken");
    QTest::addColumn<QList<double>>("bars");

    QTest::newRow("two cashiers over two days, the edges left out")
        << QDate(2024, 3, 1) << QDate(2024, 3, 2) << QString() << u"2024-03-01至2024-03-02，全部收银员：共4单"_s
        << Rows{{u"2024-03-01"_s, u"2"_s, u"3"_s, u"20.6"_s, u"19.58"_s},
                {u"2024-03-02"_s, u"2"_s, u"4"_s, u"30.1"_s, u"30.1"_s},
                {u"合计"_s, u"4"_s, u"7"_s, u"50.7"_s, u"49.68"_s}}
        << Rows{{u"张三"_s, u"2"_s, u"5"_s, u"20.7"_s, u"19.68"_s},
                {u"李四"_s, u"2"_s, u"2"_s, u"30"_s, u"30"_s},
                {u"合计"_s, u"4"_s, u"7"_s, u"50.7"_s, u"49.68"_s}}
        << u"每日折后：2024-03-01：19.58；2024-03-02：30.1"_s << QList<double>{19.575, 30.1};
    QTest::newRow("one cashier, a day without his sales")
        << QDate(2024, 2, 29) << QDate(2024, 3, 3) << u"李四"_s << u"2024-02-29至2024-03-03，收银员 李四：共3单"_s
        << Rows{{u"2024-02-29"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s},
                {u"2024-03-01"_s, u"1"_s, u"1"_s, u"0.1"_s, u"0.1"_s},
                {u"2024-03-02"_s, u"1"_s, u"1"_s, u"29.9"_s, u"29.9"_s},
                {u"2024-03-03"_s, u"1"_s, u"5"_s, u"10"_s, u"9"_s},
                {u"合计"_s, u"3"_s, u"7"_s, u"40"_s, u"39"_s}}
        << Rows{{u"李四"_s, u"3"_s, u"7"_s, u"40"_s, u"39"_s}, {u"合计"_s, u"3"_s, u"7"_s, u"40"_s, u"39"_s}}
        << u"每日折后：2024-02-29：0；2024-03-01：0.1；2024-03-02：29.9；2024-03-03：9"_s
        << QList<double>{0, 0.1, 29.9, 9};
}

// The summary's figures by day and by cashier, its total equal to the
// footer of the same range, and its chart: a bar per day, and the same
// figures for a screen reader.
void TestSalesRange::summary()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QString, cashier);
    QFETCH(QString, range);
    QFETCH(Rows, days);
    QFETCH(Rows, cashiers);
    QFETCH(QString, spoken);
    QFETCH(QList<double>, bars);

    SummaryShown shown;
    QStringList footer;
    inStatistics([&] {
        chooseRange(from, to, cashier);
        shown = openSummary();
        testing::click(XstjForm->SpeedButton7);
        footer = footerSums();
    });
    QCOMPARE(prompts_->texts(), QStringList());
    QCOMPARE(shown.range, range);
    QCOMPARE(shown.days, days);
    QCOMPARE(shown.cashiers, cashiers);
    QCOMPARE(footer, days.last().mid(2));
    QCOMPARE(shown.spoken, spoken);
    QCOMPARE(shown.bars, bars);
    QCOMPARE(XshzForm->ChartView1->accessibleName(), u"每日折后柱状图"_s);
}

// A total beyond what the sums hold is refused, naming the column: a summary
// that left a ticket out would be wrong without saying so.
void TestSalesRange::summaryThatDoesNotFitIsRefused()
{
    addTicket(u"20240301090000"_s, u"2024-03-01 09:00:00"_s, 1.0, 8e14, 1.0, u"张三"_s);
    addTicket(u"20240302090000"_s, u"2024-03-02 09:00:00"_s, 1.0, 8e14, 1.0, u"张三"_s);
    bool opened = false;
    inStatistics([&] {
        chooseRange(QDate(2024, 3, 1), QDate(2024, 3, 2), {});
        testing::whileModal([&opened](QWidget *modal) { opened = modal == XshzForm; });
        testing::click(XstjForm->SpeedButton9);
    });
    QCOMPARE(prompts_->texts(), QStringList{u"“金额”的合计超出范围，无法汇总。"_s});
    QCOMPARE(prompts_->log().first().icon, msg::Icon::Error);
    QVERIFY(!opened);
}

QTEST_MAIN(TestSalesRange)
#include "tst_salesrange.moc"
