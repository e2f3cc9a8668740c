// 销售查询: narrowing the sales list by ticket number or by cashier, and
// what the query window does with empty, doubled and unusual input.
#include "HistoryFixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;
using namespace historytest;

namespace {

void seedArchive()
{
    addTicket(u"20240301080000"_s, u"2024-03-01 08:00:00"_s, 3.0, 31.5, 29.9, u"admin"_s);
    addTicket(u"20240302093000"_s, u"2024-03-02 09:30:00"_s, 2.0, 20.5, 19.475, u"张三"_s);
    addTicket(u"20240302180000"_s, u"2024-03-02 18:00:00"_s, 1.0, 0.125, 0.1, u"李四"_s);
    addTicket(u"20240303120000"_s, u"2024-03-03 12:00:00"_s, 4.0, 8.0, 8.0, u"张三丰"_s);
    addTicket(u"2024_0304"_s, u"2024-03-04 12:00:00"_s, 1.0, 1.0, 1.0, u"admin"_s);
    testing::exec(u"insert into username (用户名, 密码, 权限) values ('张三', '', '普通用户')"_s);
}

const QStringList kAll{u"20240301080000"_s, u"20240302093000"_s, u"20240302180000"_s, u"20240303120000"_s,
                       u"2024_0304"_s};

QStringList numbersShown()
{
    return shownColumn(XstjForm->DBGridEh1, 1);
}

struct QueryRun {
    bool windowStayedOpen = false;
    QStringList numberItems;
    QStringList cashierItems;
    QString numberText;
    QString cashierText;
};

// Opens the query window with 查询 (button or menu), runs the steps in it,
// then clicks its 查询 button; reports what the window held and whether it
// stayed open.
QueryRun runQuery(std::function<void()> steps, bool viaMenu = false)
{
    QueryRun run;
    testing::whileModal([&run, steps](QWidget *) {
        for (int i = 0; i < XscxForm->ComboBox1->count(); ++i)
            run.numberItems << XscxForm->ComboBox1->itemText(i);
        for (int i = 0; i < XscxForm->ComboBox2->count(); ++i)
            run.cashierItems << XscxForm->ComboBox2->itemText(i);
        run.numberText = XscxForm->ComboBox1->currentText();
        run.cashierText = XscxForm->ComboBox2->currentText();
        steps();
        run.windowStayedOpen = XscxForm->isVisible();
    });
    if (viaMenu)
        chooseFromMenu(XstjForm, XstjForm->N1, rowPoint(XstjForm->DBGridEh1, 0));
    else
        testing::click(XstjForm->SpeedButton1);
    return run;
}

void typeAndQuery(const QString &number, const QString &cashier)
{
    if (!number.isEmpty())
        testing::typeInto(XscxForm->ComboBox1, number);
    if (!cashier.isEmpty())
        testing::typeInto(XscxForm->ComboBox2, cashier);
    testing::click(XscxForm->SpeedButton1);
}

} // namespace

class TestSalesQuery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void narrowing_data();
    void narrowing();
    void listUnchanged_data();
    void listUnchanged();
    void pickedNumberFindsThatTicket();
    void opensEmptyWithFreshLists();
    void footerFollowsTheQuery();
    void longNumberListReadAsReached_data();
    void longNumberListReadAsReached();

private:
    std::unique_ptr<testing::Session> session_;
    testing::Prompts *prompts_ = nullptr;
};

void TestSalesQuery::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
}

void TestSalesQuery::init()
{
    session_ = std::make_unique<testing::Session>(seedArchive);
    prompts_ = &session_->prompts();
}

void TestSalesQuery::cleanup()
{
    session_.reset();
}

void TestSalesQuery::narrowing_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("cashier");
    QTest::addColumn<bool>("viaMenu");
    QTest::addColumn<QStringList>("found");

    QTest::newRow("a whole number") << u"20240302093000"_s << QString() << false
                                    << QStringList{u"20240302093000"_s};
    QTest::newRow("a day") << u"20240302"_s << QString() << false
                           << QStringList{u"20240302093000"_s, u"20240302180000"_s};
    QTest::newRow("a day, from the menu") << u"20240302"_s << QString() << true
                                          << QStringList{u"20240302093000"_s, u"20240302180000"_s};
    QTest::newRow("a cashier") << QString() << u"张三"_s << false
                               << QStringList{u"20240302093000"_s, u"20240303120000"_s};
    QTest::newRow("one character of a cashier") << QString() << u"三"_s << false
                                                << QStringList{u"20240302093000"_s, u"20240303120000"_s};
    QTest::newRow("nothing matches") << u"1999"_s << QString() << false << QStringList();
    // "_" stands for any one character, as the engine's LIKE has it: "0_08"
    // is in no number, "0108" is.
    QTest::newRow("an underscore") << u"0_08"_s << QString() << false << QStringList{u"20240301080000"_s};
    // A double quote is searched for like any other character.
    QTest::newRow("a double quote") << u"\"2024"_s << QString() << false << QStringList();
    QTest::newRow("a quote and percent") << QString() << u"'%"_s << false << QStringList();
}

void TestSalesQuery::narrowing()
{
    QFETCH(QString, number);
    QFETCH(QString, cashier);
    QFETCH(bool, viaMenu);
    QFETCH(QStringList, found);

    QStringList shown;
    QueryRun run;
    inStatistics([&] {
        run = runQuery([&] { typeAndQuery(number, cashier); }, viaMenu);
        shown = numbersShown();
    });
    QVERIFY(!run.windowStayedOpen);
    QCOMPARE(shown, found);
    QCOMPARE(prompts_->texts(), QStringList());
}

void TestSalesQuery::listUnchanged_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("cashier");
    QTest::addColumn<bool>("exit");
    QTest::addColumn<bool>("staysOpen");
    QTest::addColumn<QStringList>("said");

    QTest::newRow("both boxes empty") << QString() << QString() << false << true
                                      << QStringList{u"查询信息不能为空！"_s};
    // The two conditions are never combined: with both boxes filled 查询
    // does nothing and says nothing.
    QTest::newRow("both boxes filled") << u"20240302"_s << u"张三"_s << false << true << QStringList();
    QTest::newRow("退出") << u"20240302"_s << QString() << true << false << QStringList();
}

void TestSalesQuery::listUnchanged()
{
    QFETCH(QString, number);
    QFETCH(QString, cashier);
    QFETCH(bool, exit);
    QFETCH(bool, staysOpen);
    QFETCH(QStringList, said);

    QStringList shown;
    QueryRun run;
    inStatistics([&] {
        testing::click(XstjForm->SpeedButton3); // stored order
        run = runQuery([&] {
            if (exit) {
                testing::typeInto(XscxForm->ComboBox1, number);
                testing::click(XscxForm->SpeedButton2);
            } else {
                typeAndQuery(number, cashier);
            }
        });
        shown = numbersShown();
    });
    QCOMPARE(run.windowStayedOpen, staysOpen);
    QCOMPARE(shown, kAll);
    QCOMPARE(prompts_->texts(), said);
    for (const msg::Prompt &p : prompts_->log()) {
        QCOMPARE(p.title, u"提示"_s);
        QCOMPARE(p.icon, msg::Icon::Warning);
    }
}

void TestSalesQuery::pickedNumberFindsThatTicket()
{
    QStringList shown;
    QueryRun run;
    inStatistics([&] {
        run = runQuery([] {
            QVERIFY(testing::pickFromList(XscxForm->ComboBox1, u"20240302180000"_s));
            QCOMPARE(XscxForm->ComboBox1->currentText(), u"20240302180000"_s);
            testing::click(XscxForm->SpeedButton1);
        });
        shown = numbersShown();
    });
    QCOMPARE(shown, QStringList{u"20240302180000"_s});
}

// Both boxes are empty at every opening, and the lists are read anew: a
// ticket archived meanwhile is offered, the cashier list holds user names.
void TestSalesQuery::opensEmptyWithFreshLists()
{
    QueryRun first;
    QueryRun second;
    inStatistics([&] {
        first = runQuery([] { typeAndQuery(u"20240301"_s, QString()); });
        addTicket(u"20240305000000"_s, u"2024-03-05 00:00:00"_s, 1.0, 1.0, 1.0, u"admin"_s);
        second = runQuery([] { testing::click(XscxForm->SpeedButton2); });
    });
    // The items come in the engine's order, which no one asked for.
    first.numberItems.sort();
    second.numberItems.sort();
    QStringList withNew = kAll + QStringList{u"20240305000000"_s};
    withNew.sort();
    QStringList all = kAll;
    all.sort();
    QCOMPARE(first.numberItems, all);
    QCOMPARE(first.cashierItems, (QStringList{u"admin"_s, u"张三"_s}));
    QCOMPARE(second.numberText, QString());
    QCOMPARE(second.cashierText, QString());
    QCOMPARE(second.numberItems, withNew);
}

void TestSalesQuery::footerFollowsTheQuery()
{
    QStringList footer;
    inStatistics([&] {
        runQuery([] { typeAndQuery(QString(), u"张三"_s); });
        footer = footerTexts(XstjForm->DBGridEh1Footer, 7);
    });
    QCOMPARE(footer, (QStringList{u"合计"_s, {}, {}, u"6"_s, u"28.5"_s, u"27.48"_s, {}}));
}

void TestSalesQuery::longNumberListReadAsReached_data()
{
    QTest::addColumn<QString>("how");
    // Reaching the end of the list: the arrow keys in the box, End or
    // PageDown in the open list.
    QTest::newRow("arrow keys") << u"keys"_s;
    QTest::newRow("End in the list") << u"end"_s;
    QTest::newRow("PageDown in the list") << u"pagedown"_s;
}

// Far more ticket numbers than a page: the list opens with the first ones,
// ascending, and offers the others as they are reached, as many lists do;
// the number picked there finds its ticket.
void TestSalesQuery::longNumberListReadAsReached()
{
    QFETCH(QString, how);
    // 700 more tickets, stored newest first: the list sorts them.
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 700) "
                  "INSERT INTO xstj (单号, 时间, 数量, 金额, 折后, 收银员) "
                  "SELECT printf('2025%06d', 701 - i), '2025-01-01 08:00:00', 1, 1, 1, 'admin' FROM n"_s);
    const QStringList stored = [] {
        QStringList all;
        for (const QStringList &row : testing::rows(u"select distinct 单号 from xstj"_s))
            all << row.value(0);
        all.sort();
        return all;
    }();
    QCOMPARE(stored.size(), 705);

    QStringList firstItems, reached;
    QString lastText;
    QStringList shown;
    inStatistics([&] {
        runQuery([&] {
            QComboBox *box = XscxForm->ComboBox1;
            for (int i = 0; i < box->count(); ++i)
                firstItems << box->itemText(i);
            if (how == u"keys") {
                // From an empty box, Down steps onto the first number, and on
                // to the last one of all.
                box->lineEdit()->setFocus();
                for (int i = 0; i < 705; ++i)
                    QTest::keyClick(box, Qt::Key_Down);
                lastText = box->currentText();
                QTest::keyClick(box, Qt::Key_Down); // past the end: stays
            } else {
                QTest::keyClick(box, Qt::Key_F4); // opens the list
                QAbstractItemView *view = box->view();
                QVERIFY(QTest::qWaitForWindowExposed(view->window()));
                // End goes to the last number of all at once.
                if (how == u"pagedown") {
                    for (int i = 0; i < 100; ++i)
                        QTest::keyClick(view, Qt::Key_PageDown);
                }
                QTest::keyClick(view, Qt::Key_End);
                QTest::keyClick(view, Qt::Key_Return); // the last number chosen
                lastText = box->currentText();
            }
            for (int i = 0; i < box->count(); ++i)
                reached << box->itemText(i);
            testing::click(XscxForm->SpeedButton1);
        });
        shown = numbersShown();
    });
    QCOMPARE(firstItems, stored.mid(0, 256));
    QCOMPARE(reached, stored);
    QCOMPARE(lastText, stored.last());
    QCOMPARE(shown, QStringList{stored.last()});
}

QTEST_MAIN(TestSalesQuery)
#include "tst_salesquery.moc"
