// Ticket entry driven as a cashier drives it: keys into the boxes, clicks on
// the buttons and the line grid, choices from the lists. What counts is what
// the window shows afterwards and what data.mdb holds.
#include "admin/XtUnit.h"
#include "store/Idioms.h"
#include "store/Query.h"
#include "support/Cashier.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"
#include "ui/ListGrid.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QColor>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QDateTime kOpened(QDate(2024, 3, 5), QTime(9, 30, 0));
const QDateTime kLater(QDate(2024, 3, 5), QTime(9, 41, 7));

const QString kNoName = u"品名不能为空！"_s;
const QString kNoPrice = u"单价不能为空！"_s;
const QString kNoQuantity = u"数量不能为空！"_s;
const QString kNoDiscount = u"折扣不能为空！"_s;

using testing::clearByKeys;
using testing::click;
using testing::editOf;
using testing::retype;
using testing::typeKeys;

using cashier::addLine;
using cashier::enterLine;
using cashier::lines;
using cashier::products;
using cashier::seedProduct;

void clickLine(int row)
{
    QVERIFY(cashier::clickLine(row));
}

// A list choice as the cashier makes it: the item clicked in the open list.
bool choose(QComboBox *box, const QString &item)
{
    return testing::pickFromList(box, item);
}

QStringList items(QComboBox *box)
{
    QStringList all;
    for (int i = 0; i < box->count(); ++i)
        all << box->itemText(i);
    return all;
}

// The test's program, made in init() and dropped in cleanup().
std::unique_ptr<testing::Session> session;

QStringList shown()
{
    return cashier::shown(session->prompts());
}

using cashier::error;
using cashier::Screen;
using cashier::screen;
using cashier::warning;

// The one-second clock tick that writes the time box.
void tick()
{
    MainForm->Timer1Timer();
}

} // namespace

class TestTicketEntry : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void amountsFollowTyping_data();
    void amountsFollowTyping();
    void recomputationNeedsAllThreeBoxes();
    void typingFilter_data();
    void typingFilter();

    void addStoresTheLine();
    void addWithoutName_data();
    void addWithoutName();
    void addWithEmptyFields_data();
    void addWithEmptyFields();
    void catalogueLearning_data();
    void catalogueLearning();

    void lineSelection_data();
    void lineSelection();
    void modifyRewritesTheLine();
    void modifyUntouchedLineKeepsItsQuantity();
    void modifyRefusals_data();
    void modifyRefusals();
    void modifyPastedNonNumber_data();
    void modifyPastedNonNumber();
    void deleteCurrentLine();
    void deleteOnlyLine();
    void deleteFollowsGridCursor();
    void gridShowsLines();
    void longTicket();
    void clickOnTheEmptyGrid();
    void clickBelowTheLines();

    void productPick();
    void productPickWithEmptyQuantity();

    void pastedNonNumber_data();
    void pastedNonNumber();
    void pastedReceived();

    void cutFraction_data();
    void cutFraction();
    void cutFractionIdleAndUndone();
    void totalsOfLines_data();
    void totalsOfLines();
    void changeFollowsReceived();

    void stateWalk();
    void largeArchive();
};

void TestTicketEntry::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestTicketEntry::init()
{
    testing::fixClock(kOpened);
    session = std::make_unique<testing::Session>();
}

void TestTicketEntry::cleanup()
{
    session.reset();
    testing::releaseClock();
}

void TestTicketEntry::amountsFollowTyping_data()
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
    QTest::newRow("discount 0") << u"19.9"_s << u"3"_s << u"0"_s << u"59.7"_s << u"0"_s;
    QTest::newRow("discount 12") << u"10"_s << u"2"_s << u"12"_s << u"20"_s << u"24"_s;
    QTest::newRow("price point alone") << u"."_s << u"3"_s << u"10"_s << u"0"_s << u"0"_s;
}

void TestTicketEntry::amountsFollowTyping()
{
    QFETCH(QString, price);
    QFETCH(QString, quantity);
    QFETCH(QString, discount);
    QFETCH(QString, amount);
    QFETCH(QString, afterDiscount);


    enterLine(u"苹果"_s, price, quantity, discount);
    QCOMPARE(MainForm->Edit11->text(), amount);
    QCOMPARE(MainForm->Edit12->text(), afterDiscount);
    QCOMPARE(shown(), QStringList());
}

void TestTicketEntry::recomputationNeedsAllThreeBoxes()
{
    TMainForm *f = MainForm;

    retype(f->Edit3, u"19.9"_s);
    retype(f->Edit4, u"3"_s);
    QCOMPARE(f->Edit11->text(), u"59.7"_s);
    QCOMPARE(f->Edit12->text(), u"59.7"_s);

    // An emptied quantity leaves the last amounts standing.
    clearByKeys(f->Edit4);
    QCOMPARE(f->Edit4->text(), QString());
    QCOMPARE(f->Edit11->text(), u"59.7"_s);
    QCOMPARE(f->Edit12->text(), u"59.7"_s);
    typeKeys(f->Edit4, u"2"_s);
    QCOMPARE(f->Edit11->text(), u"39.8"_s);
    QCOMPARE(f->Edit12->text(), u"39.8"_s);

    // Every key release counts: the discount passes through "1" on its way
    // to empty. Once it is empty a new price changes nothing.
    clearByKeys(f->ComboBox2);
    QCOMPARE(f->ComboBox2->currentText(), QString());
    QCOMPARE(f->Edit11->text(), u"39.8"_s);
    QCOMPARE(f->Edit12->text(), u"3.98"_s);
    retype(f->Edit3, u"10"_s);
    QCOMPARE(f->Edit11->text(), u"39.8"_s);
    QCOMPARE(f->Edit12->text(), u"3.98"_s);
    typeKeys(f->ComboBox2, u"5"_s);
    QCOMPARE(f->Edit11->text(), u"20"_s);
    QCOMPARE(f->Edit12->text(), u"10"_s);

    // Choosing a discount recomputes without a key.
    QVERIFY(choose(f->ComboBox2, u"8.5"_s));
    QCOMPARE(f->ComboBox2->currentText(), u"8.5"_s);
    QCOMPARE(f->Edit11->text(), u"20"_s);
    QCOMPARE(f->Edit12->text(), u"17"_s);
    QCOMPARE(shown(), QStringList());
}

void TestTicketEntry::typingFilter_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shows");

    for (const QString &box : {u"Edit3"_s, u"Edit4"_s, u"ComboBox2"_s, u"ComboBox4"_s}) {
        QTest::addRow("%s letters, minus, space", qPrintable(box)) << box << u"a-5 b.2x"_s << u"5.2"_s;
        QTest::addRow("%s second point", qPrintable(box)) << box << u"1.2.3"_s << u"1.23"_s;
        QTest::addRow("%s signs and exponent", qPrintable(box)) << box << u"+7e1,5"_s << u"715"_s;
    }
}

void TestTicketEntry::typingFilter()
{
    QFETCH(QString, box);
    QFETCH(QString, keys);
    QFETCH(QString, shows);


    auto *target = MainForm->findChild<QWidget *>(box);
    QVERIFY(target);
    clearByKeys(target);
    typeKeys(target, keys);
    QCOMPARE(editOf(target)->text(), shows);
    QCOMPARE(shown(), QStringList());
}

void TestTicketEntry::addStoresTheLine()
{
    TMainForm *f = MainForm;
    tick();
    QCOMPARE(f->Edit1->text(), u"20240305093000"_s);
    QCOMPARE(f->Edit2->text(), u"2024-03-05 09:30:00"_s);

    // The settings window has read the empty catalogue before the line.
    QVERIFY(XtForm->ADOQuery2.isEmpty());

    addLine(u"苹果"_s, u"19.9"_s, u"3"_s, u"8.5"_s);
    QCOMPARE(shown(), QStringList());
    QCOMPARE(testing::rows(u"select 单号, 时间, 品名, 单价, 数量, 金额, 折后 from xsxx"_s),
             (QList<QStringList>{{u"20240305093000"_s, u"2024-03-05 09:30:00"_s, u"苹果"_s, u"19.9"_s,
                                  u"3"_s, u"59.7"_s, u"50.745"_s}}));
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"19.9"_s}}));
    QCOMPARE(items(f->ComboBox1), QStringList{u"苹果"_s});
    QCOMPARE(screen(), (Screen().totals(u"3"_s, u"59.7"_s, u"50.74"_s).paid(u"59.7"_s, u"8.96"_s).lines()));
    QCOMPARE(f->DBGridEh1->model()->rowCount(), 1);

    // The settings window's catalogue was reopened and shows the new product.
    XtForm->ADOQuery2.first();
    QCOMPARE(XtForm->ADOQuery2.recordCount(), 1);
    QCOMPARE(XtForm->ADOQuery2.fieldText(u"品名"_s), u"苹果"_s);

    // The same product again is a line of its own; the catalogue takes the new price.
    addLine(u"苹果"_s, u"20"_s, u"1"_s);
    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"19.9"_s, u"3"_s, u"59.7"_s, u"50.745"_s},
                                          {u"苹果"_s, u"20"_s, u"1"_s, u"20"_s, u"20"_s}}));
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"20"_s}}));
    QCOMPARE(items(f->ComboBox1), QStringList{u"苹果"_s});
    QCOMPARE(screen(), (Screen().totals(u"4"_s, u"79.7"_s, u"70.75"_s).paid(u"79.7"_s, u"8.95"_s).lines()));
    QCOMPARE(f->DBGridEh1->model()->rowCount(), 2);
    XtForm->ADOQuery2.first();
    QCOMPARE(XtForm->ADOQuery2.fieldText(u"单价"_s), u"20"_s);
}

void TestTicketEntry::addWithoutName_data()
{
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("discount");

    QTest::newRow("other boxes filled") << u"12"_s << u"2"_s << u"9"_s;
    QTest::newRow("other boxes empty") << QString() << QString() << QString();
}

void TestTicketEntry::addWithoutName()
{
    QFETCH(QString, price);
    QFETCH(QString, quantity);
    QFETCH(QString, discount);

    TMainForm *f = MainForm;

    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    retype(f->ComboBox4, u"20"_s);
    enterLine(QString(), price, quantity, discount);
    shown();
    const QStringList before = screen();
    QCOMPARE(Screen::read().received, u"20"_s);
    QCOMPARE(Screen::read().change, u"12.5"_s);

    click(f->SpeedButton2);
    QCOMPARE(shown(), QStringList{warning(kNoName)});
    QCOMPARE(screen(), before);
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"7.5"_s}}));
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s}}));
}

void TestTicketEntry::addWithEmptyFields_data()
{
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("discount");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("price and quantity") << QString() << QString() << u"10"_s
                                        << QStringList{warning(kNoPrice), warning(kNoQuantity)};
    QTest::newRow("discount") << u"5"_s << u"1"_s << QString() << QStringList{warning(kNoDiscount)};
    QTest::newRow("all three") << QString() << QString() << QString()
                               << QStringList{warning(kNoPrice), warning(kNoQuantity), warning(kNoDiscount)};
}

void TestTicketEntry::addWithEmptyFields()
{
    QFETCH(QString, price);
    QFETCH(QString, quantity);
    QFETCH(QString, discount);
    QFETCH(QStringList, messages);

    TMainForm *f = MainForm;

    addLine(u"苹果"_s, u"2.5"_s, u"3"_s, u"8"_s);
    retype(f->ComboBox4, u"20"_s);
    enterLine(u"香蕉"_s, price, quantity, discount);
    shown();
    Screen expected = Screen::read();
    QCOMPARE(expected.change, u"14"_s);

    click(f->SpeedButton2);
    QCOMPARE(shown(), messages);
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"6"_s}}));
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s}}));
    // The boxes keep what was typed; the totals refresh still presets 实收.
    expected.received = u"7.5"_s;
    expected.change = u"1.5"_s;
    QCOMPARE(screen(), expected.lines());
}

void TestTicketEntry::catalogueLearning_data()
{
    QTest::addColumn<QList<QStringList>>("catalogue");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<QStringList>>("learned");

    using Rows = QList<QStringList>;
    QTest::newRow("exact name updates its price")
        << Rows{{u"苹果"_s, u"3"_s}, {u"香蕉"_s, u"2"_s}} << u"苹果"_s
        << Rows{{u"苹果"_s, u"4.5"_s}, {u"香蕉"_s, u"2"_s}};
    QTest::newRow("new name appends") << Rows{{u"苹果"_s, u"3"_s}} << u"梨"_s
                                      << Rows{{u"苹果"_s, u"3"_s}, {u"梨"_s, u"4.5"_s}};
    QTest::newRow("exact name first, a longer one after")
        << Rows{{u"香蕉"_s, u"2"_s}, {u"苹果"_s, u"3"_s}, {u"红苹果"_s, u"5"_s}} << u"苹果"_s
        << Rows{{u"香蕉"_s, u"2"_s}, {u"苹果"_s, u"4.5"_s}, {u"红苹果"_s, u"5"_s}};
    QTest::newRow("longer name first appends")
        << Rows{{u"红苹果"_s, u"5"_s}, {u"苹果"_s, u"3"_s}} << u"苹果"_s
        << Rows{{u"红苹果"_s, u"5"_s}, {u"苹果"_s, u"3"_s}, {u"苹果"_s, u"4.5"_s}};
    QTest::newRow("double quote, new") << Rows{} << u"14\" 披萨"_s << Rows{{u"14\" 披萨"_s, u"4.5"_s}};
    QTest::newRow("double quote, known") << Rows{{u"14\" 披萨"_s, u"40"_s}} << u"14\" 披萨"_s
                                         << Rows{{u"14\" 披萨"_s, u"4.5"_s}};
    QTest::newRow("percent matches another name") << Rows{{u"50折扣装"_s, u"1"_s}} << u"50%装"_s
                                                  << Rows{{u"50折扣装"_s, u"1"_s}, {u"50%装"_s, u"4.5"_s}};
    QTest::newRow("percent, exact") << Rows{{u"50%装"_s, u"1"_s}} << u"50%装"_s
                                    << Rows{{u"50%装"_s, u"4.5"_s}};
    QTest::newRow("underscore matches another name") << Rows{{u"A1C"_s, u"1"_s}} << u"A_C"_s
                                                     << Rows{{u"A1C"_s, u"1"_s}, {u"A_C"_s, u"4.5"_s}};
    QTest::newRow("underscore, exact") << Rows{{u"A_C"_s, u"1"_s}} << u"A_C"_s << Rows{{u"A_C"_s, u"4.5"_s}};
    QTest::newRow("letter case counts") << Rows{{u"Apple"_s, u"1"_s}} << u"apple"_s
                                        << Rows{{u"Apple"_s, u"1"_s}, {u"apple"_s, u"4.5"_s}};
}

void TestTicketEntry::catalogueLearning()
{
    QFETCH(QList<QStringList>, catalogue);
    QFETCH(QString, name);
    QFETCH(QList<QStringList>, learned);

    for (const QStringList &p : catalogue)
        seedProduct(p[0], p[1].toDouble());
    session->restart();

    addLine(name, u"4.5"_s, u"2"_s);
    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines(), (QList<QStringList>{{name, u"4.5"_s, u"2"_s, u"9"_s, u"9"_s}}));
    QCOMPARE(products(), learned);
    QVERIFY(items(MainForm->ComboBox1).contains(name));
    QCOMPARE(MainForm->ComboBox1->currentText(), QString());
}

void TestTicketEntry::lineSelection_data()
{
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("shownPrice");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("afterDiscount");

    // The stored price is read as its text, then through "0.00".
    QTest::newRow("2.675") << u"2.675"_s << u"2.68"_s << u"8.025"_s << u"7.2225"_s;
    QTest::newRow("3.5") << u"3.5"_s << u"3.5"_s << u"10.5"_s << u"9.45"_s;
    QTest::newRow("4") << u"4"_s << u"4"_s << u"12"_s << u"10.8"_s;
}

void TestTicketEntry::lineSelection()
{
    QFETCH(QString, price);
    QFETCH(QString, shownPrice);
    QFETCH(QString, amount);
    QFETCH(QString, afterDiscount);

    TMainForm *f = MainForm;

    addLine(u"苹果"_s, price, u"3"_s, u"9"_s);
    addLine(u"香蕉"_s, u"1"_s, u"1"_s);
    retype(f->ComboBox2, u"8"_s);
    retype(f->ComboBox4, u"100"_s);
    Screen expected = Screen::read();

    clickLine(0);
    expected.name = u"苹果"_s;
    expected.price = shownPrice;
    expected.quantity = u"3"_s;
    expected.amount = amount;
    expected.afterDiscount = afterDiscount;
    expected.add = false;
    expected.modify = true;
    expected.remove = true;
    QCOMPARE(screen(), expected.lines());

    // A click on another line loads that one; the selection stays.
    clickLine(1);
    expected.name = u"香蕉"_s;
    expected.price = u"1"_s;
    expected.quantity = u"1"_s;
    expected.amount = u"1"_s;
    expected.afterDiscount = u"1"_s;
    QCOMPARE(screen(), expected.lines());
    QCOMPARE(shown(), QStringList());
}

void TestTicketEntry::modifyRewritesTheLine()
{
    TMainForm *f = MainForm;
    tick();

    addLine(u"苹果"_s, u"2.5"_s, u"2"_s);
    addLine(u"香蕉"_s, u"4"_s, u"1"_s);
    const QList<QStringList> before =
        testing::rows(u"select ID, 单号, 时间 from xsxx order by ID"_s);

    testing::fixClock(kLater);
    tick();
    clickLine(0);
    retype(f->ComboBox1, u"青苹果"_s);
    retype(f->Edit4, u"5"_s);
    retype(f->ComboBox2, u"9"_s);
    QCOMPARE(f->Edit11->text(), u"12.5"_s);
    QCOMPARE(f->Edit12->text(), u"11.25"_s);
    click(f->SpeedButton3);

    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines(), (QList<QStringList>{{u"青苹果"_s, u"2.5"_s, u"5"_s, u"12.5"_s, u"11.25"_s},
                                          {u"香蕉"_s, u"4"_s, u"1"_s, u"4"_s, u"4"_s}}));
    // Rewritten in place with the time of the change; the other line untouched.
    QCOMPARE(testing::rows(u"select ID, 单号, 时间 from xsxx order by ID"_s),
             (QList<QStringList>{{before[0][0], before[0][1], u"2024-03-05 09:41:07"_s}, before[1]}));
    QCOMPARE(screen(), (Screen().totals(u"6"_s, u"16.5"_s, u"15.25"_s).paid(u"16.5"_s, u"1.25"_s).lines()));
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s}, {u"香蕉"_s, u"4"_s},
                                             {u"青苹果"_s, u"2.5"_s}}));
    // The product list is not reloaded, the settings window is.
    QCOMPARE(items(f->ComboBox1), (QStringList{u"苹果"_s, u"香蕉"_s}));
    QCOMPARE(XtForm->ADOQuery2.recordCount(), 3);
    QCOMPARE(f->DBGridEh1->model()->rowCount(), 2);
}

void TestTicketEntry::modifyUntouchedLineKeepsItsQuantity()
{

    addLine(u"苹果"_s, u"2.675"_s, u"3"_s, u"9"_s);
    clickLine(0);
    click(MainForm->SpeedButton3);
    QCOMPARE(shown(), QStringList());
    // The quantity stays with its amounts; the price comes back in cents.
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"2.68"_s, u"3"_s, u"8.025"_s, u"7.2225"_s}}));
    QCOMPARE(screen(), (Screen().totals(u"3"_s, u"8.03"_s, u"7.22"_s).paid(u"8.03"_s, u"0.81"_s).lines()));
}

void TestTicketEntry::modifyRefusals_data()
{
    QTest::addColumn<QStringList>("emptied");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("name") << QStringList{u"ComboBox1"_s} << QStringList{warning(kNoName)};
    QTest::newRow("price") << QStringList{u"Edit3"_s} << QStringList{warning(kNoPrice)};
    QTest::newRow("quantity and discount") << QStringList{u"Edit4"_s, u"ComboBox2"_s}
                                           << QStringList{warning(kNoQuantity), warning(kNoDiscount)};
    QTest::newRow("name and price") << QStringList{u"ComboBox1"_s, u"Edit3"_s}
                                    << QStringList{warning(kNoName)};
}

void TestTicketEntry::modifyRefusals()
{
    QFETCH(QStringList, emptied);
    QFETCH(QStringList, messages);

    TMainForm *f = MainForm;

    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    retype(f->ComboBox4, u"50"_s);
    clickLine(0);
    retype(f->Edit3, u"3"_s);
    for (const QString &box : emptied)
        clearByKeys(f->findChild<QWidget *>(box));
    shown();
    const QStringList before = screen();

    click(f->SpeedButton3);
    QCOMPARE(shown(), messages);
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"7.5"_s}}));
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s}}));
    QCOMPARE(screen(), before);
}

void TestTicketEntry::modifyPastedNonNumber_data()
{
    pastedNonNumber_data();
}

void TestTicketEntry::modifyPastedNonNumber()
{
    QFETCH(QString, box);
    QFETCH(QString, pasted);

    TMainForm *f = MainForm;

    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    clickLine(0);
    retype(f->Edit3, u"4"_s);
    editOf(f->findChild<QWidget *>(box))->setText(pasted);
    shown();
    const QStringList before = screen();

    click(f->SpeedButton3);
    QCOMPARE(shown(), QStringList{error(u'\'' + pasted + u"' is not a valid floating point value."_s)});
    // Neither the line nor the catalogue takes half of the change.
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"7.5"_s}}));
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s}}));
    QCOMPARE(screen(), before);
}

void TestTicketEntry::deleteCurrentLine()
{
    TMainForm *f = MainForm;

    addLine(u"苹果"_s, u"2.5"_s, u"2"_s);
    addLine(u"香蕉"_s, u"12"_s, u"1"_s, u"9"_s);
    addLine(u"梨"_s, u"3"_s, u"1"_s, u"8"_s);
    clickLine(1);
    retype(f->ComboBox2, u"7"_s);
    click(f->SpeedButton4);

    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s, u"2"_s, u"5"_s, u"5"_s},
                                          {u"梨"_s, u"3"_s, u"1"_s, u"3"_s, u"2.4"_s}}));
    // 金额 and 折后 keep what the box showed at the click.
    QCOMPARE(screen(), (Screen()
            .amounts(u"12"_s, u"8.4"_s)
            .totals(u"3"_s, u"8"_s, u"7.4"_s)
            .paid(u"8"_s, u"0.6"_s).lines()));
    QAbstractItemModel *model = f->DBGridEh1->model();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->index(1, 0).data().toString(), u"2"_s);
    QCOMPARE(model->index(1, 1).data().toString(), u"梨"_s);
    QCOMPARE(products().size(), 3);
}

void TestTicketEntry::deleteOnlyLine()
{

    addLine(u"苹果"_s, u"2.5"_s, u"3"_s, u"9"_s);
    clickLine(0);
    click(MainForm->SpeedButton4);
    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines(), QList<QStringList>());
    QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 0);
    QCOMPARE(screen(), (Screen().amounts(u"7.5"_s, u"6.75"_s).paid(u"0"_s, u"0"_s).lines()));
}

void TestTicketEntry::deleteFollowsGridCursor()
{
    TMainForm *f = MainForm;

    addLine(u"苹果"_s, u"1"_s, u"1"_s);
    addLine(u"香蕉"_s, u"2"_s, u"1"_s);
    addLine(u"梨"_s, u"3"_s, u"1"_s);
    clickLine(0);
    QTest::keyClick(f->DBGridEh1, Qt::Key_Down);
    QTest::keyClick(f->DBGridEh1, Qt::Key_Down);
    // The arrows move the cursor only; the boxes still show the clicked line.
    QCOMPARE(f->ComboBox1->currentText(), u"苹果"_s);
    click(f->SpeedButton4);

    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"1"_s, u"1"_s, u"1"_s, u"1"_s},
                                          {u"香蕉"_s, u"2"_s, u"1"_s, u"2"_s, u"2"_s}}));
    QCOMPARE(f->Label14->text(), u"3"_s);
    QCOMPARE(shown(), QStringList());
}

void TestTicketEntry::gridShowsLines()
{
    TMainForm *f = MainForm;

    addLine(u"苹果"_s, u"3.5"_s, u"1"_s);
    addLine(u"香蕉"_s, u"4"_s, u"0.5"_s);
    addLine(u"梨"_s, u"1.234"_s, u"2"_s, u"9.5"_s);

    QAbstractItemModel *model = f->DBGridEh1->model();
    const QList<QStringList> expected{{u"1"_s, u"苹果"_s, u"3.5"_s, u"1"_s, u"3.5"_s, u"3.5"_s},
                                      {u"2"_s, u"香蕉"_s, u"4"_s, u"0.5"_s, u"2"_s, u"2"_s},
                                      {u"3"_s, u"梨"_s, u"1.23"_s, u"2"_s, u"2.47"_s, u"2.34"_s}};
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->columnCount(), 6);
    for (int r = 0; r < 3; ++r) {
        QStringList cells;
        for (int c = 0; c < 6; ++c)
            cells << model->index(r, c).data().toString();
        QCOMPARE(cells, expected[r]);
        const QColor colour = model->index(r, 3).data(Qt::BackgroundRole).value<QColor>();
        QCOMPARE(colour, r % 2 == 0 ? QColor(Qt::white) : QColor(238, 238, 238));
    }
    QStringList titles;
    for (int c = 0; c < 6; ++c)
        titles << model->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(titles, (QStringList{u"序号"_s, u"品名"_s, u"单价"_s, u"数量"_s, u"金额"_s, u"折后"_s}));

    // Ctrl+Delete in the grid removes nothing: lines go only through 删除.
    clickLine(1);
    f->DBGridEh1->setFocus();
    QTest::keyClick(f->DBGridEh1, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(lines().size(), 3);
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(f->Label13->text(), u"3.5"_s);
    QCOMPARE(shown(), QStringList());
}

// A ticket longer than the rows read at opening: the totals count every
// line, and the lines further down can be selected and deleted.
void TestTicketEntry::longTicket()
{
    testing::exec(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 100) "
                  u"insert into xsxx (单号, 时间, 品名, 单价, 数量, 金额, 折后) "
                  u"select '20240305090000', '2024-03-05 09:00:00', '品' || i, 1.5, 1, 1.5, 1.35 from n"_s);
    session->restart();
    TMainForm *f = MainForm;
    ui::ListGrid *grid = f->DBGridEh1;

    addLine(u"苹果"_s, u"2"_s, u"1"_s);
    QCOMPARE(lines().size(), 101);
    QCOMPARE(screen(), (Screen().totals(u"101"_s, u"152"_s, u"137"_s).paid(u"152"_s, u"15"_s).lines()));
    QCOMPARE(grid->model()->rowCount(), 101);

    grid->scrollToBottom();
    clickLine(100);
    QCOMPARE(f->ComboBox1->currentText(), u"苹果"_s);
    click(f->SpeedButton4);
    QCOMPARE(lines().size(), 100);
    QCOMPARE(lines().last().first(), u"品100"_s);
    QCOMPARE(f->Label14->text(), u"150"_s);

    grid->scrollTo(grid->model()->index(70, 1));
    clickLine(70);
    QCOMPARE(f->ComboBox1->currentText(), u"品71"_s);
    click(f->SpeedButton4);
    const QList<QStringList> left = lines();
    QCOMPARE(left.size(), 99);
    QCOMPARE(left[70].first(), u"品72"_s);
    QCOMPARE(screen(), (Screen()
            .amounts(u"1.5"_s, u"1.35"_s)
            .totals(u"99"_s, u"148.5"_s, u"133.65"_s)
            .paid(u"148.5"_s, u"14.85"_s).lines()));
    QCOMPARE(grid->model()->index(98, 0).data().toString(), u"99"_s);
    QCOMPARE(shown(), QStringList());
}

// After a checkout the grid is empty while the window may still be in the
// line selection: a click on the empty grid is the cashier's way out.
void TestTicketEntry::clickOnTheEmptyGrid()
{
    TMainForm *f = MainForm;
    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    clickLine(0);
    const Screen selected = Screen::read();
    QVERIFY(!selected.add);
    // The checkout empties the working ticket through the line query.
    idiom::emptyTable(f->ADOQuery2);
    QCOMPARE(f->DBGridEh1->model()->rowCount(), 0);
    QCOMPARE(screen(), selected.lines());

    testing::clickAt(f->DBGridEh1->viewport(), {60, 30});
    Screen entry = selected;
    entry.add = true;
    entry.modify = false;
    entry.remove = false;
    QCOMPARE(screen(), entry.lines());
    QCOMPARE(shown(), QStringList());
}

// The blank area below the lines selects no line and keeps what was typed.
void TestTicketEntry::clickBelowTheLines()
{
    TMainForm *f = MainForm;
    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    enterLine(u"香蕉"_s, u"4"_s, u"2"_s, u"9"_s);
    const QStringList typed = screen();
    const QRect firstLine = f->DBGridEh1->visualRect(f->DBGridEh1->model()->index(0, 1));
    const QPoint below(firstLine.center().x(), firstLine.bottom() + 3 * firstLine.height());
    QVERIFY(f->DBGridEh1->viewport()->rect().contains(below));
    testing::clickAt(f->DBGridEh1->viewport(), below);
    QCOMPARE(screen(), typed);

    // In the line selection too: the selected line stays loaded.
    clickLine(0);
    const QStringList selected = screen();
    testing::clickAt(f->DBGridEh1->viewport(), below);
    QCOMPARE(screen(), selected);
    QCOMPARE(shown(), QStringList());
}

void TestTicketEntry::productPick()
{
    seedProduct(u"红苹果"_s, 5.5);
    seedProduct(u"苹果"_s, 3);
    seedProduct(u"梨"_s, 2.675);
    seedProduct(u"无价"_s, QVariant());
    session->restart();
    TMainForm *f = MainForm;

    retype(f->Edit4, u"2"_s);
    retype(f->ComboBox2, u"9"_s);
    retype(f->ComboBox4, u"100"_s);
    QCOMPARE(f->Edit6->text(), u"100"_s);
    Screen expected = Screen::read();

    // Through the list's popup, as the mouse or the arrow keys pick.
    QComboBox *box = f->ComboBox1;
    box->showPopup();
    QAbstractItemView *view = box->view();
    view->setCurrentIndex(box->model()->index(box->findText(u"梨"_s), 0));
    QTest::keyClick(view, Qt::Key_Return);
    QVERIFY(!view->isVisible());
    expected.name = u"梨"_s;
    expected.price = u"2.68"_s;
    expected.amount = u"5.36"_s;
    expected.afterDiscount = u"4.824"_s;
    expected.received = QString();
    QCOMPARE(screen(), expected.lines());

    // The first name containing the chosen one gives the price.
    QVERIFY(choose(box, u"苹果"_s));
    expected.name = u"苹果"_s;
    expected.price = u"5.5"_s;
    expected.amount = u"11"_s;
    expected.afterDiscount = u"9.9"_s;
    QCOMPARE(screen(), expected.lines());

    // No catalogue price: the price is left to the cashier.
    retype(f->ComboBox4, u"50"_s);
    QVERIFY(choose(box, u"无价"_s));
    QCOMPARE(shown(), QStringList());
    QCOMPARE(f->ComboBox1->currentText(), u"无价"_s);
    QCOMPARE(f->Edit3->text(), QString());
    QCOMPARE(f->ComboBox4->currentText(), QString());
    QCOMPARE(f->Edit6->text(), u"50"_s);
    // Nothing was written by picking.
    QCOMPARE(lines(), QList<QStringList>());
    QCOMPARE(products().size(), 4);
}

void TestTicketEntry::productPickWithEmptyQuantity()
{
    seedProduct(u"梨"_s, 2.675);
    session->restart();
    TMainForm *f = MainForm;

    retype(f->Edit3, u"10"_s);
    clearByKeys(f->Edit4);
    retype(f->ComboBox4, u"20"_s);
    QCOMPARE(f->Edit11->text(), u"10"_s);
    QCOMPARE(shown(), QStringList());

    QVERIFY(choose(f->ComboBox1, u"梨"_s));
    QCOMPARE(shown(), QStringList{error(u"'' is not a valid floating point value."_s)});
    QCOMPARE(f->Edit3->text(), u"2.68"_s);
    QCOMPARE(f->Edit11->text(), u"10"_s);
    QCOMPARE(f->Edit12->text(), u"10"_s);
    QCOMPARE(f->ComboBox4->currentText(), u"20"_s);
    QCOMPARE(f->Edit6->text(), u"20"_s);
}

void TestTicketEntry::pastedNonNumber_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("pasted");

    QTest::newRow("price") << u"Edit3"_s << u"abc"_s;
    QTest::newRow("price with a comma") << u"Edit3"_s << u"1,5"_s;
    QTest::newRow("quantity") << u"Edit4"_s << u"两"_s;
    // The discount is not stored, but 折后 on screen no longer follows it.
    QTest::newRow("discount") << u"ComboBox2"_s << u"八折"_s;
}

void TestTicketEntry::pastedNonNumber()
{
    QFETCH(QString, box);
    QFETCH(QString, pasted);

    TMainForm *f = MainForm;

    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    enterLine(u"香蕉"_s, u"4"_s, u"2"_s, u"10"_s);
    QCOMPARE(f->Edit11->text(), u"8"_s);
    QLineEdit *target = editOf(f->findChild<QWidget *>(box));
    QVERIFY(target);
    // Pasting bypasses the key filter; the next key release reads the text.
    target->setText(pasted);
    QTest::keyClick(target, Qt::Key_End);
    const QString message = error(u'\'' + pasted + u"' is not a valid floating point value."_s);
    QCOMPARE(shown(), QStringList{message});
    QCOMPARE(f->Edit11->text(), u"8"_s);
    QCOMPARE(f->Edit12->text(), u"8"_s);

    click(f->SpeedButton2);
    QCOMPARE(shown(), QStringList{message});
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"7.5"_s}}));
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s}}));
    // Nothing is lost: the boxes keep the line, the totals match what is stored.
    QCOMPARE(f->ComboBox1->currentText(), u"香蕉"_s);
    QCOMPARE(target->text(), pasted);
    QCOMPARE(f->Label13->text(), u"3"_s);
    QCOMPARE(f->Label14->text(), u"7.5"_s);
    QCOMPARE(f->Label15->text(), u"7.5"_s);
    QCOMPARE(f->DBGridEh1->model()->rowCount(), 1);
}

void TestTicketEntry::pastedReceived()
{
    TMainForm *f = MainForm;

    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    retype(f->ComboBox4, u"10"_s);
    QCOMPARE(f->Edit6->text(), u"2.5"_s);
    f->ComboBox4->setEditText(u"十元"_s);
    QTest::keyClick(f->ComboBox4->lineEdit(), Qt::Key_End);
    QCOMPARE(shown(), QStringList{error(u"'十元' is not a valid floating point value."_s)});
    QCOMPARE(f->Edit6->text(), u"2.5"_s);
}

void TestTicketEntry::cutFraction_data()
{
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("discount");
    QTest::addColumn<QString>("afterDiscount");
    QTest::addColumn<QString>("cut");
    QTest::addColumn<QString>("total");

    QTest::newRow("12.8") << u"12.8"_s << u"1"_s << u"10"_s << u"12.8"_s << u"12"_s << u"12"_s;
    QTest::newRow("9.405") << u"3.3"_s << u"3"_s << u"9.5"_s << u"9.405"_s << u"9"_s << u"9"_s;
    QTest::newRow("0.5") << u"0.5"_s << u"1"_s << u"10"_s << u"0.5"_s << u"0"_s << u"0"_s;
    QTest::newRow("whole") << u"4"_s << u"2"_s << u"10"_s << u"8"_s << u"8"_s << u"8"_s;
}

void TestTicketEntry::cutFraction()
{
    QFETCH(QString, price);
    QFETCH(QString, quantity);
    QFETCH(QString, discount);
    QFETCH(QString, afterDiscount);
    QFETCH(QString, cut);
    QFETCH(QString, total);

    TMainForm *f = MainForm;

    enterLine(u"苹果"_s, price, quantity, discount);
    retype(f->ComboBox4, u"100"_s);
    Screen expected = Screen::read();
    QCOMPARE(expected.afterDiscount, afterDiscount);

    click(f->SpeedButton9);
    expected.afterDiscount = cut;
    QCOMPARE(screen(), expected.lines());

    click(f->SpeedButton2);
    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, price, quantity, expected.amount, cut}}));
    QCOMPARE(f->Label15->text(), total);
}

void TestTicketEntry::cutFractionIdleAndUndone()
{
    TMainForm *f = MainForm;

    // Nothing computed yet: nothing to cut.
    const QStringList start = screen();
    click(f->SpeedButton9);
    QCOMPARE(screen(), start);

    enterLine(u"苹果"_s, u"3.3"_s, u"3"_s, u"9.5"_s);
    click(f->SpeedButton9);
    QCOMPARE(f->Edit12->text(), u"9"_s);
    // Any key released in 数量 recomputes and brings the fraction back.
    QTest::keyClick(f->Edit4, Qt::Key_End);
    QCOMPARE(f->Edit11->text(), u"9.9"_s);
    QCOMPARE(f->Edit12->text(), u"9.405"_s);
    QCOMPARE(shown(), QStringList());
}

void TestTicketEntry::totalsOfLines_data()
{
    QTest::addColumn<QStringList>("entries"); // "price quantity discount" per line
    QTest::addColumn<QStringList>("totals");  // 数量, 金额, 折后, 实收, 找零

    QTest::newRow("10 at 9 and 5.5") << QStringList{u"10 1 9"_s, u"5.5 1 10"_s}
                                     << QStringList{u"2"_s, u"15.5"_s, u"14.5"_s, u"15.5"_s, u"1"_s};
    QTest::newRow("three half quantities") << QStringList{u"2 0.5 10"_s, u"2 0.5 10"_s, u"2 0.5 10"_s}
                                           << QStringList{u"1.5"_s, u"3"_s, u"3"_s, u"3"_s, u"0"_s};
    QTest::newRow("0.125 is a true tie") << QStringList{u"0.125 1 10"_s}
                                         << QStringList{u"1"_s, u"0.12"_s, u"0.12"_s, u"0.12"_s, u"0"_s};
    QTest::newRow("50.745 as a double") << QStringList{u"19.9 3 8.5"_s}
                                        << QStringList{u"3"_s, u"59.7"_s, u"50.74"_s, u"59.7"_s, u"8.96"_s};
    QTest::newRow("cents of several lines")
        << QStringList{u"1.15 3 10"_s, u"0.333 3 9.9"_s, u"12.3456 1 10"_s}
        << QStringList{u"7"_s, u"16.79"_s, u"16.78"_s, u"16.79"_s, u"0.01"_s};
}

void TestTicketEntry::totalsOfLines()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, totals);

    TMainForm *f = MainForm;

    for (const QString &entry : entries) {
        const QStringList e = entry.split(u' ');
        addLine(u"品"_s, e[0], e[1], e[2]);
    }
    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines().size(), entries.size());
    QCOMPARE((QStringList{f->Label13->text(), f->Label14->text(), f->Label15->text(),
                          f->ComboBox4->currentText(), f->Edit6->text()}),
             totals);
}

void TestTicketEntry::changeFollowsReceived()
{
    TMainForm *f = MainForm;

    addLine(u"蛋糕"_s, u"63.5"_s, u"1"_s);
    QCOMPARE(f->ComboBox4->currentText(), u"63.5"_s);
    QCOMPARE(f->Edit6->text(), u"0"_s);

    QVERIFY(choose(f->ComboBox4, u"100"_s));
    QCOMPARE(f->ComboBox4->currentText(), u"100"_s);
    QCOMPARE(f->Edit6->text(), u"36.5"_s);
    retype(f->ComboBox4, u"50"_s);
    QCOMPARE(f->Edit6->text(), u"-13.5"_s);
    clearByKeys(f->ComboBox4);
    QCOMPARE(f->Edit6->text(), QString());
    typeKeys(f->ComboBox4, u"70"_s);
    QCOMPARE(f->Edit6->text(), u"6.5"_s);
    // Editing 实收 leaves the totals alone.
    QCOMPARE(f->Label14->text(), u"63.5"_s);
    QCOMPARE(f->Label15->text(), u"63.5"_s);
    QCOMPARE(shown(), QStringList());
}

// One ticket through every state of entry, checking all the cashier sees
// after each step.
void TestTicketEntry::stateWalk()
{
    TMainForm *f = MainForm;
    using Rows = QList<QStringList>;

    // Start.
    QCOMPARE(screen(), Screen().lines());
    QCOMPARE(lines(), Rows());

    // 添加, twice.
    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    QCOMPARE(lines(), (Rows{{u"苹果"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"7.5"_s}}));
    QCOMPARE(screen(), (Screen().totals(u"3"_s, u"7.5"_s, u"7.5"_s).paid(u"7.5"_s, u"0"_s).lines()));
    addLine(u"香蕉"_s, u"12"_s, u"2"_s, u"9"_s);
    const Rows twoLines{{u"苹果"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"7.5"_s},
                        {u"香蕉"_s, u"12"_s, u"2"_s, u"24"_s, u"21.6"_s}};
    QCOMPARE(lines(), twoLines);
    QCOMPARE(screen(), (Screen().totals(u"5"_s, u"31.5"_s, u"29.1"_s).paid(u"31.5"_s, u"2.4"_s).lines()));

    // Editing 实收.
    retype(f->ComboBox4, u"50"_s);
    QCOMPARE(screen(), (Screen().totals(u"5"_s, u"31.5"_s, u"29.1"_s).paid(u"50"_s, u"20.9"_s).lines()));

    // 添加 with empty fields: nothing written, the refresh presets 实收 again.
    retype(f->ComboBox1, u"梨"_s);
    clearByKeys(f->Edit4);
    click(f->SpeedButton2);
    QCOMPARE(shown(), (QStringList{warning(kNoPrice), warning(kNoQuantity)}));
    QCOMPARE(lines(), twoLines);
    QCOMPARE(screen(), (Screen().boxes(u"梨"_s, QString(), QString(), u"10"_s)
            .totals(u"5"_s, u"31.5"_s, u"29.1"_s)
            .paid(u"31.5"_s, u"2.4"_s).lines()));

    // 添加 without a name: nothing at all changes.
    clearByKeys(f->ComboBox1);
    retype(f->ComboBox4, u"100"_s);
    const Screen named = Screen().boxes(QString(), QString(), QString(), u"10"_s)
            .totals(u"5"_s, u"31.5"_s, u"29.1"_s)
            .paid(u"100"_s, u"70.9"_s);
    QCOMPARE(screen(), named.lines());
    click(f->SpeedButton2);
    QCOMPARE(shown(), QStringList{warning(kNoName)});
    QCOMPARE(lines(), twoLines);
    QCOMPARE(screen(), named.lines());

    // Line selection.
    clickLine(1);
    Screen selected = Screen().boxes(u"香蕉"_s, u"12"_s, u"2"_s, u"10"_s)
            .amounts(u"24"_s, u"21.6"_s)
            .selection()
            .totals(u"5"_s, u"31.5"_s, u"29.1"_s)
            .paid(u"100"_s, u"70.9"_s);
    QCOMPARE(screen(), selected.lines());

    // Product pick.
    QVERIFY(choose(f->ComboBox1, u"苹果"_s));
    selected.name = u"苹果"_s;
    selected.price = u"2.5"_s;
    selected.amount = u"5"_s;
    selected.afterDiscount = u"5"_s;
    selected.received = QString();
    QCOMPARE(screen(), selected.lines());
    retype(f->ComboBox2, u"8"_s);
    QCOMPARE(f->Edit12->text(), u"4"_s);

    // 修改.
    click(f->SpeedButton3);
    QCOMPARE(lines(), (Rows{{u"苹果"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"7.5"_s},
                            {u"苹果"_s, u"2.5"_s, u"2"_s, u"5"_s, u"4"_s}}));
    QCOMPARE(screen(), (Screen().totals(u"5"_s, u"12.5"_s, u"11.5"_s).paid(u"12.5"_s, u"1"_s).lines()));

    // 删除 of the first line.
    clickLine(0);
    QCOMPARE(f->Edit12->text(), u"7.5"_s);
    click(f->SpeedButton4);
    QCOMPARE(lines(), (Rows{{u"苹果"_s, u"2.5"_s, u"2"_s, u"5"_s, u"4"_s}}));
    QCOMPARE(screen(), (Screen()
            .amounts(u"7.5"_s, u"7.5"_s)
            .totals(u"2"_s, u"5"_s, u"4"_s)
            .paid(u"5"_s, u"1"_s).lines()));

    // Editing 实收 again.
    const Screen afterDelete = Screen::read();
    retype(f->ComboBox4, u"20"_s);
    QCOMPARE(f->Edit6->text(), u"16"_s);
    QVERIFY(choose(f->ComboBox4, u"100"_s));
    QCOMPARE(f->Edit6->text(), u"96"_s);
    clearByKeys(f->ComboBox4);
    Screen emptied = afterDelete;
    emptied.received = QString();
    emptied.change = QString();
    QCOMPARE(screen(), emptied.lines());
    QCOMPARE(shown(), QStringList());
}

// The reconnection of 添加 reopens the archive queries; a large archive must
// not be read whole for it.
void TestTicketEntry::largeArchive()
{

    testing::exec(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000) "
                  u"insert into xstj (单号, 时间, 数量, 金额, 折后, 收银员) "
                  u"select printf('2023%010d', i), '2023-06-01 10:00:00', 1, 9.5, 9.5, 'admin' from n"_s);
    testing::exec(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000) "
                  u"insert into xsmx (单号, 时间, 品名, 单价, 数量, 金额, 折后) "
                  u"select printf('2023%010d', i), '2023-06-01 10:00:00', '苹果', 9.5, 1, 9.5, 9.5 from n"_s);
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 20000);

    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"7.5"_s}}));
    QCOMPARE(MainForm->Label14->text(), u"7.5"_s);

    Query &archive = MainForm->ADOQuery4;
    QVERIFY(archive.isActive());
    QCOMPARE(archive.recordCount(), 20000);
    QVERIFY2(archive.rowsHeld() <= Query::kPageSize, qPrintable(QString::number(archive.rowsHeld())));
    Query &archiveLines = MainForm->ADOQuery5;
    QVERIFY(archiveLines.isActive());
    QVERIFY(archiveLines.rowsHeld() <= Query::kPageSize);

    // And the next line still goes in.
    addLine(u"香蕉"_s, u"1"_s, u"1"_s);
    QCOMPARE(lines().size(), 2);
    QCOMPARE(MainForm->Label14->text(), u"8.5"_s);
}

QTEST_MAIN(TestTicketEntry)
#include "tst_ticketentry.moc"
