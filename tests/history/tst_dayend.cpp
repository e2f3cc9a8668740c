// 日结: one day's tickets per cashier and in all, exact to the cent, the day
// bounded by midnight; the window opened from 销售统计 and printed on the
// receipt printer as a user does it.
#include "HistoryFixture.h"

#include "base/AppError.h"
#include "history/RjUnit.h"
#include "print/Printer.h"
#include "store/Connection.h"
#include "store/DayEnd.h"
#include "support/PrintSupport.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QDateEdit>
#include <QStandardPaths>
#include <QTableWidget>

using namespace Qt::Literals::StringLiterals;
using namespace historytest;

namespace {

const QString kShop = u"小王便利店"_s;

// Two cashiers on 1 March, one ticket a second before midnight and one at
// midnight itself, which is 2 March's; one ticket of the day before. Stored
// out of time order. The sums need fixed point: 19.475 + 0.2 added as
// doubles is 19.67499…, which would show 19.67.
void seedArchive()
{
    testing::exec(u"update dynr set 店名 = ?"_s, {kShop});
    addTicket(u"20240301120000"_s, u"2024-03-01 12:00:00"_s, 3.0, 0.2, 0.2, u"张三"_s);
    addTicket(u"20240301235959"_s, u"2024-03-01 23:59:59"_s, 1.0, 29.9, 29.9, u"李四"_s);
    addTicket(u"20240302000000"_s, u"2024-03-02 00:00:00"_s, 5.0, 10.0, 9.0, u"张三"_s);
    addTicket(u"20240301080000"_s, u"2024-03-01 08:00:00"_s, 2.0, 20.5, 19.475, u"张三"_s);
    addTicket(u"20240229235959"_s, u"2024-02-29 23:59:59"_s, 7.0, 70.0, 70.0, u"王五"_s);
    addTicket(u"20240301093000"_s, u"2024-03-01 09:30:00"_s, 1.0, 0.1, 0.1, u"李四"_s);
}

// Rows of figures as the window shows them (dayend::cells): 收银员, 单数,
// 数量, 金额, 折后, first ticket and time, last ticket and time.
using Rows = QList<QStringList>;


const Rows kMarch1{
    {u"张三"_s, u"2"_s, u"5"_s, u"20.7"_s, u"19.68"_s, u"20240301080000"_s, u"2024-03-01 08:00:00"_s,
     u"20240301120000"_s, u"2024-03-01 12:00:00"_s},
    {u"李四"_s, u"2"_s, u"2"_s, u"30"_s, u"30"_s, u"20240301093000"_s, u"2024-03-01 09:30:00"_s,
     u"20240301235959"_s, u"2024-03-01 23:59:59"_s},
    {u"合计"_s, u"4"_s, u"7"_s, u"50.7"_s, u"49.68"_s, u"20240301080000"_s, u"2024-03-01 08:00:00"_s,
     u"20240301235959"_s, u"2024-03-01 23:59:59"_s}};
const Rows kMarch2{{u"张三"_s, u"1"_s, u"5"_s, u"10"_s, u"9"_s, u"20240302000000"_s, u"2024-03-02 00:00:00"_s,
                    u"20240302000000"_s, u"2024-03-02 00:00:00"_s},
                   {u"合计"_s, u"1"_s, u"5"_s, u"10"_s, u"9"_s, u"20240302000000"_s, u"2024-03-02 00:00:00"_s,
                    u"20240302000000"_s, u"2024-03-02 00:00:00"_s}};
const Rows kEmpty{{u"合计"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s, {}, {}, {}, {}}};

Rows gridRows()
{
    Rows rows;
    QTableWidget *grid = RjForm->StringGrid1;
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < grid->columnCount(); ++c)
            row << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
        rows << row;
    }
    return rows;
}

// A day typed into the date box as a user types it: the box clicked on its
// year, then the digits, each section moving on to the next when full.
void typeDay(const QDate &day)
{
    QDateEdit *box = RjForm->DateTimePicker1;
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    for (QChar c : day.toString(u"yyyyMMdd"_s))
        QTest::keyClick(box, c.toLatin1());
}

// Opens 日结 from 销售统计 and runs the steps in it.
void inDayEnd(std::function<void()> steps)
{
    inStatistics([steps] {
        testing::whileModal([steps](QWidget *modal) {
            QCOMPARE(modal, RjForm);
            steps();
        });
        testing::click(XstjForm->SpeedButton6);
    });
}

} // namespace

class TestDayEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void figures_data();
    void figures();
    void unreadableTicketIsRefused();
    void windowShowsTheDayAndPrints();
    void printOn76mmPaper();
    void failedPrintSaysWhy();

private:
    std::unique_ptr<testing::Session> session_;
    testing::Prompts *prompts_ = nullptr;
};

void TestDayEnd::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
}

void TestDayEnd::init()
{
    session_ = std::make_unique<testing::Session>([] {
        seedArchive();
        testing::fixClock(QDateTime(QDate(2024, 3, 1), QTime(22, 0)));
    });
    prompts_ = &session_->prompts();
}

void TestDayEnd::cleanup()
{
    session_.reset();
    testing::releaseClock();
}

void TestDayEnd::figures_data()
{
    QTest::addColumn<QDate>("day");
    QTest::addColumn<Rows>("expected");
    QTest::newRow("two cashiers, a ticket a second before midnight") << QDate(2024, 3, 1) << kMarch1;
    QTest::newRow("the ticket at midnight is the next day's") << QDate(2024, 3, 2) << kMarch2;
    QTest::newRow("a day without sales") << QDate(2024, 3, 3) << kEmpty;
}

void TestDayEnd::figures()
{
    QFETCH(QDate, day);
    QFETCH(Rows, expected);
    Connection connection(connstr::runtime());
    const dayend::Day d = dayend::dayEnd(connection, day);
    Rows rows;
    for (const dayend::Figures &f : d.cashiers)
        rows << dayend::cells(f.cashier, f);
    rows << dayend::cells(u"合计"_s, d.total);
    QCOMPARE(rows, expected);
    QCOMPARE(d.date, day);
    QCOMPARE(d.shop, kShop);
}

// A number column holding text (a hand edit, another program) would leave
// the ticket out of the sums unseen: the day-end refuses, naming it.
void TestDayEnd::unreadableTicketIsRefused()
{
    testing::exec(u"update xstj set 金额 = 'abc' where 单号 = '20240301093000'"_s);
    Connection connection(connstr::runtime());
    QString message;
    try {
        dayend::dayEnd(connection, QDate(2024, 3, 1));
    } catch (const AppError &e) {
        message = e.message();
    }
    QCOMPARE(message, u"单号为“20240301093000”的小票的“金额”不是数字（abc），无法日结"_s);
    // Another day is not held up by it.
    QCOMPARE(dayend::dayEnd(connection, QDate(2024, 3, 2)).total.tickets, 1);
}

void TestDayEnd::windowShowsTheDayAndPrints()
{
    Rows opened, march2, empty;
    QString label, spoken;
    inDayEnd([&] {
        // Today by the clock; a sale archived after start-up counts.
        QCOMPARE(RjForm->DateTimePicker1->date(), QDate(2024, 3, 1));
        opened = gridRows();
        label = RjForm->Label2->text();
        spoken = QAccessible::queryAccessibleInterface(RjForm->Label2)->text(QAccessible::Name);
        testing::click(RjForm->SpeedButton1); // 打印
        typeDay(QDate(2024, 3, 2));
        march2 = gridRows();
        typeDay(QDate(2024, 3, 3));
        empty = gridRows();
    });
    QCOMPARE(prompts_->texts(), QStringList());
    QCOMPARE(opened, kMarch1);
    QCOMPARE(label, u"2024-03-01共4单，2个收银员。"_s);
    QCOMPARE(spoken, label);
    QCOMPARE(march2, kMarch2);
    QCOMPARE(empty, kEmpty);

    const QList<testing::PrintedPage> &pages = testing::printed().pages;
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages[0].title, u"日结 2024-03-01"_s);
    QCOMPARE(qRound(pages[0].sizeMm.width() * 100), 5794);
    const QString rule(42, u'-');
    QCOMPARE(pages[0].lines(), (QStringList{kShop,
                                            u"日结： 2024-03-01"_s,
                                            u"打印时间： 2024-03-01 22:00:00"_s,
                                            rule,
                                            u"收银员：张三"_s,
                                            u"单数： 2 数量： 5"_s,
                                            u"金额： 20.7 折后： 19.68"_s,
                                            u"首单： 20240301080000 08:00:00"_s,
                                            u"末单： 20240301120000 12:00:00"_s,
                                            u"收银员：李四"_s,
                                            u"单数： 2 数量： 2"_s,
                                            u"金额： 30 折后： 30"_s,
                                            u"首单： 20240301093000 09:30:00"_s,
                                            u"末单： 20240301235959 23:59:59"_s,
                                            rule,
                                            u"合计"_s,
                                            u"单数： 4 数量： 7"_s,
                                            u"金额： 50.7 折后： 49.68"_s,
                                            u"首单： 20240301080000 08:00:00"_s,
                                            u"末单： 20240301235959 23:59:59"_s}));
}

// The paper the till is set to; an empty day prints its zeros.
void TestDayEnd::printOn76mmPaper()
{
    testing::retype(MainForm->ComboBox5, u"76"_s);
    inDayEnd([] {
        typeDay(QDate(2024, 3, 3));
        testing::click(RjForm->SpeedButton1);
    });
    QCOMPARE(prompts_->texts(), QStringList());
    const QList<testing::PrintedPage> &pages = testing::printed().pages;
    QCOMPARE(pages.size(), 1);
    QCOMPARE(qRound(pages[0].sizeMm.width() * 100), 7594);
    const QString rule(59, u'-');
    QCOMPARE(pages[0].lines().mid(3), (QStringList{rule, rule, u"合计"_s, u"单数： 0 数量： 0"_s,
                                                   u"金额： 0 折后： 0"_s, u"首单："_s, u"末单："_s}));
}

void TestDayEnd::failedPrintSaysWhy()
{
    const QList<QStringList> before = testing::rows(u"select * from xstj order by rowid"_s);
    testing::printed().failNext = print::refusal(u"打印机“Receipt”缺纸，小票没有打印"_s);
    bool stillOpen = false;
    inDayEnd([&] {
        testing::click(RjForm->SpeedButton1);
        stillOpen = RjForm->isVisible();
    });
    QCOMPARE(prompts_->texts(),
             QStringList{u"打印机“Receipt”缺纸，小票没有打印。日结没有打印，处理好打印机后再按“打印”。"_s});
    QCOMPARE(prompts_->log().first().icon, msg::Icon::Error);
    QVERIFY(stillOpen);
    QCOMPARE(testing::printed().pages.size(), 0);
    QCOMPARE(testing::rows(u"select * from xstj order by rowid"_s), before);
}

QTEST_MAIN(TestDayEnd)
#include "tst_dayend.moc"
