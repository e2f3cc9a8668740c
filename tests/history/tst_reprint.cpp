// 重打 in 销售统计: a past ticket's receipt printed again from the archive,
// in the till's present paper width and layout, marked as a reprint, with
// nothing in data.mdb changed, whether it printed or not.
#include "HistoryFixture.h"

#include "app/Rights.h"
#include "print/Dy58Unit.h"
#include "print/Dy76Unit.h"
#include "print/Printer.h"
#include "print/ReceiptLayouts.h"
#include "store/Session.h"
#include "support/PrintSupport.h"

#include <QCheckBox>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;
using namespace historytest;

namespace {

const QString kShop = u"小王便利店"_s;
const QString kRemark = u"谢谢惠顾"_s;

// Two archived tickets as the checkout writes them; the second is the
// older, so it is the first row of the list as 统计 opens it.
void seedArchive()
{
    testing::exec(u"update dynr set 店名 = ?, 备注 = ?"_s, {kShop, kRemark});
    addTicket(u"20240302093000"_s, u"2024-03-02 09:30:00"_s, 2.0, 20.5, 19.475, u"李四"_s);
    addLine(u"20240302093000"_s, u"梨"_s, 10.25, 2, 20.5, 19.475);
    addTicket(u"20240301080000"_s, u"2024-03-01 08:00:00"_s, 3.0, 31.5, 29.9, u"张三"_s);
    addLine(u"20240301080000"_s, u"苹果"_s, 10.5, 2, 21, 19.9, u"王五"_s, u"13800000000"_s);
    addLine(u"20240301080000"_s, u"香蕉"_s, 10.5, 1, 10.5, 10, u"王五"_s, u"13800000000"_s);
}

// Everything data.mdb holds of sales, to compare before and after.
QList<QStringList> archiveDump()
{
    QList<QStringList> all;
    for (const QString &table : {u"xstj"_s, u"xsmx"_s, u"xsxx"_s, u"dyzt"_s}) {
        all << QStringList{table};
        all << testing::rows(u"select * from "_s + table + u" order by rowid"_s);
    }
    return all;
}

void toggle(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

// The till's settings, as a cashier sets them in the main window.
void setTill(const QString &paper, bool customer, bool phone)
{
    testing::retype(MainForm->ComboBox5, paper);
    if (MainForm->CheckBox3->isChecked() && !phone)
        toggle(MainForm->CheckBox3);
    if (MainForm->CheckBox2->isChecked() != customer)
        toggle(MainForm->CheckBox2);
    if (MainForm->CheckBox3->isChecked() != phone)
        toggle(MainForm->CheckBox3);
    QCOMPARE(MainForm->CheckBox2->isChecked(), customer);
    QCOMPARE(MainForm->CheckBox3->isChecked(), phone);
}

enum class Way { Button, Menu };

// 重打 on a row of the statistics list, by its button or its menu item.
void reprintRow(int row, Way way)
{
    if (way == Way::Button) {
        if (row >= 0)
            clickRow(XstjForm->DBGridEh1, row);
        testing::click(XstjForm->SpeedButton5);
    } else {
        const QPoint at = row >= 0 ? rowPoint(XstjForm->DBGridEh1, row) : emptyPoint(XstjForm->DBGridEh1);
        QVERIFY(chooseFromMenu(XstjForm, XstjForm->N8, at));
    }
}

} // namespace

class TestReprint : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void reprint_data();
    void reprint();
    void failedPrintChangesNothing();
    void noTicketSelected_data();
    void noTicketSelected();

private:
    std::unique_ptr<testing::Session> session_;
    testing::Prompts *prompts_ = nullptr;
};

void TestReprint::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
}

void TestReprint::init()
{
    session_ = std::make_unique<testing::Session>(seedArchive);
    prompts_ = &session_->prompts();
}

void TestReprint::cleanup()
{
    session_.reset();
}

void TestReprint::reprint_data()
{
    QTest::addColumn<QString>("paper");
    QTest::addColumn<int>("layout");
    QTest::addColumn<Way>("way");
    QTest::addColumn<bool>("administrator");

    QTest::newRow("58 mm, customer and phone, button") << u"58"_s << 3 << Way::Button << true;
    QTest::newRow("76 mm, no customer, menu") << u"76"_s << 1 << Way::Menu << true;
    QTest::newRow("76 mm, customer, ordinary user") << u"76"_s << 2 << Way::Button << false;
}

void TestReprint::reprint()
{
    QFETCH(QString, paper);
    QFETCH(int, layout);
    QFETCH(Way, way);
    QFETCH(bool, administrator);

    setTill(paper, layout >= 2, layout == 3);
    if (!administrator) {
        session::logIn({u"李四"_s, false});
        app::applyRights(app::rightsColumn(u"普通用户"_s));
    }
    const QList<QStringList> before = archiveDump();
    prompts_->clear();

    inStatistics([way] { reprintRow(0, way); });

    QCOMPARE(prompts_->texts(), QStringList());
    QCOMPARE(archiveDump(), before);
    const QList<testing::PrintedPage> &pages = testing::printed().pages;
    QCOMPARE(pages.size(), 1); // one copy, whatever the copies box says
    const testing::PrintedPage &page = pages.first();
    QCOMPARE(page.title, u"重打小票 20240301080000"_s);

    const bool mm58 = paper == u"58"_s;
    const QString top = mm58 ? QString(10, u'-') + QString(23, u' ') + QString(10, u'-')
                             : QString(17, u'-') + QString(26, u' ') + QString(16, u'-');
    const QString rule(mm58 ? 42 : 59, u'-');
    // The archived ticket: its number, time, cashier, customer and lines,
    // the totals as archived; 实收 and 找零 are not known.
    QStringList expected{top, top, u"收银员： 张三"_s, kShop, u"重打"_s, u"单号： 20240301080000"_s,
                         u"时间： 2024-03-01 08:00:00"_s};
    if (layout >= 2)
        expected << u"客户： 王五"_s;
    if (layout == 3)
        expected << u"电话： 13800000000"_s;
    expected << rule << u"品名 单价 数量 金额"_s << u"苹果"_s << u"10.50 2.00 21.00"_s << u"香蕉"_s
             << u"10.50 1.00 10.50"_s << u"合计： 3 31.5"_s << u"应收金额： 29.9"_s << u"实收金额： —"_s
             << u"找零金额： —"_s << rule << kRemark;
    QCOMPARE(page.lines(), expected);

    // The mark's row lengthens the receipt the checkout would print by as much.
    const auto width = mm58 ? receipt::Paper::Mm58 : receipt::Paper::Mm76;
    const int px = receipt::pageLengthPx(width, layout == 3, 1, 2) + receipt::kReprintMarkPx;
    QCOMPARE(qRound(page.sizeMm.height() * 100), qRound(px * 25.4 / 96 * 100));

    // The receipt window's layouts are as a checkout left them: the mark
    // belongs to the reprint alone.
    QVERIFY(!Dy58Form->layout(layout).title.fields.isEmpty());
    for (TReceiptForm *w : {static_cast<TReceiptForm *>(Dy58Form), static_cast<TReceiptForm *>(Dy76Form)}) {
        for (int k = 1; k <= 3; ++k) {
            for (const report::Field &f : w->layout(k).title.fields)
                QVERIFY(f.text != receipt::kReprintMark);
        }
    }
}

// A printer that refuses: the cashier is told why, and that the reprint did
// not happen (never to press F5, which would sell the working ticket).
void TestReprint::failedPrintChangesNothing()
{
    testing::addTicketLine(u"可口可乐"_s, u"3"_s, u"2"_s);
    const QList<QStringList> before = archiveDump();
    prompts_->clear();

    testing::printed().failNext = print::refusal(u"打印机“Receipt”缺纸，小票没有打印"_s);
    inStatistics([] { reprintRow(1, Way::Button); });

    QCOMPARE(prompts_->log().size(), 1);
    const msg::Prompt &p = prompts_->log().first();
    QCOMPARE(p.icon, msg::Icon::Error);
    QCOMPARE(p.text, u"打印机“Receipt”缺纸，小票没有打印。小票没有重打，处理好打印机后再按“重打”。"_s);
    QCOMPARE(testing::printed().pages.size(), 0);
    QCOMPARE(archiveDump(), before);

    // The same click prints once the printer works again.
    prompts_->clear();
    inStatistics([] { reprintRow(1, Way::Button); });
    QCOMPARE(prompts_->texts(), QStringList());
    QCOMPARE(testing::printed().pages.size(), 1);
    QVERIFY(testing::printed().pages.first().lines().contains(u"单号： 20240302093000"_s));
    QCOMPARE(archiveDump(), before);
}

void TestReprint::noTicketSelected_data()
{
    QTest::addColumn<Way>("way");
    QTest::newRow("button") << Way::Button;
    QTest::newRow("menu") << Way::Menu;
}

// A query that found nothing leaves no ticket to print.
void TestReprint::noTicketSelected()
{
    QFETCH(Way, way);
    const QList<QStringList> before = archiveDump();
    inStatistics([way] {
        testing::whileModal([](QWidget *) {
            testing::typeInto(XscxForm->ComboBox1, u"没有这张"_s);
            testing::click(XscxForm->SpeedButton1);
        });
        testing::click(XstjForm->SpeedButton1);
        QCOMPARE(XstjForm->DBGridEh1->model()->rowCount(), 0);
        reprintRow(-1, way);
    });
    QCOMPARE(prompts_->texts(), QStringList{u"请先在列表中选中要重打的小票！"_s});
    QCOMPARE(prompts_->log().first().icon, msg::Icon::Warning);
    QCOMPARE(testing::printed().pages.size(), 0);
    QCOMPARE(archiveDump(), before);
}

QTEST_MAIN(TestReprint)
#include "tst_reprint.moc"
