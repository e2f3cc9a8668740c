// What a ticket line may hold: numbers the sums can count, texts that fit
// their columns, one line of text per box. A line that breaks a limit is
// refused with a message before anything is written; lines that reached
// data.mdb by other means never stop the program.
#include "app/LoginUnit.h"
#include "support/Cashier.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"
#include "ui/ListGrid.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QtTest>

using namespace Qt::StringLiterals;
using cashier::addLine;
using cashier::enterLine;
using cashier::error;
using cashier::lines;
using cashier::products;
using cashier::Screen;
using cashier::screen;
using cashier::warning;

namespace {

const QString kLimit = u"900000000000000（900万亿）"_s;

QString tooLarge(const QString &field)
{
    return error(u"“"_s + field + u"”超出范围：数值的绝对值须小于"_s + kLimit + u'.');
}

QString totalTooLarge(const QString &field)
{
    return error(u"加上这一行，“"_s + field + u"”的合计将超出范围：合计的绝对值须小于"_s + kLimit + u'.');
}

const QString kNoTotal = u"无法合计"_s;
const QString kTotalsUnknown =
    warning(u"合计无法计算：有一行的数量、金额或折后不是可以合计的数（须为绝对值小于900000000000000的数），"
            "请选中该行修改或删除。"_s);

std::unique_ptr<testing::Session> session;

QStringList shown()
{
    return cashier::shown(session->prompts());
}

QStringList totals()
{
    return {MainForm->Label13->text(), MainForm->Label14->text(), MainForm->Label15->text(),
            MainForm->ComboBox4->currentText(), MainForm->Edit6->text()};
}

void storeLineByOtherMeans(const QString &name, const QVariant &quantity, const QVariant &amount,
                           const QVariant &afterDiscount)
{
    testing::exec(u"insert into xsxx (单号, 时间, 品名, 单价, 数量, 金额, 折后) values "
                  "('20240305080000', '2024-03-05 08:00:00', ?, 1, ?, ?, ?)"_s,
                  {name, quantity, amount, afterDiscount});
}

} // namespace

class TestTicketLimits : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void numbersBeyondTheSums_data();
    void numbersBeyondTheSums();
    void largestLineIsStored();
    void totalsBeyondTheSums();
    void typedBarcodeLineAndRestart();
    void linesStoredByOtherMeans_data();
    void linesStoredByOtherMeans();

    void textsLongerThanTheirColumn_data();
    void textsLongerThanTheirColumn();
    void pastedLineBreaks_data();
    void pastedLineBreaks();
    void lineRefusedByTheFileTeachesNothing_data();
    void lineRefusedByTheFileTeachesNothing();
};

void TestTicketLimits::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestTicketLimits::init()
{
    testing::fixClock(QDateTime(QDate(2024, 3, 5), QTime(9, 30, 0)));
    session = std::make_unique<testing::Session>();
}

void TestTicketLimits::cleanup()
{
    session.reset();
    testing::releaseClock();
}

void TestTicketLimits::numbersBeyondTheSums_data()
{
    QTest::addColumn<bool>("modify"); // else 添加
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("discount");
    QTest::addColumn<QString>("message");

    for (const bool modify : {false, true}) {
        const char *how = modify ? "修改" : "添加";
        // A barcode scanned into 单价, 200 pieces: 金额 1.38E15.
        QTest::addRow("%s: barcode as price", how) << modify << u"6901234567890"_s << u"200"_s << u"10"_s
                                                   << tooLarge(u"金额"_s);
        QTest::addRow("%s: price at the limit", how) << modify << u"900000000000000"_s << u"1"_s << u"10"_s
                                                     << tooLarge(u"单价"_s);
        QTest::addRow("%s: quantity at the limit", how) << modify << u"1"_s << u"900000000000000"_s << u"10"_s
                                                        << tooLarge(u"数量"_s);
        // 折后 = 1E14 × 1 × 90 × 0.1 = 9E14, although 金额 fits.
        QTest::addRow("%s: discount takes 折后 there", how)
            << modify << u"100000000000000"_s << u"1"_s << u"90"_s << tooLarge(u"折后"_s);
    }
}

void TestTicketLimits::numbersBeyondTheSums()
{
    QFETCH(bool, modify);
    QFETCH(QString, price);
    QFETCH(QString, quantity);
    QFETCH(QString, discount);
    QFETCH(QString, message);

    TMainForm *f = MainForm;
    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    if (modify)
        QVERIFY(cashier::clickLine(0));
    enterLine(u"条码"_s, price, quantity, discount);
    QCOMPARE(shown(), QStringList());
    const QStringList typed = screen();

    testing::click(modify ? f->SpeedButton3 : f->SpeedButton2);
    QCOMPARE(shown(), QStringList{message});
    // Nothing written, nothing lost: the line, the catalogue, the boxes.
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"7.5"_s}}));
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s}}));
    QCOMPARE(screen(), typed);
    QCOMPARE(f->DBGridEh1->model()->rowCount(), 1);

    // The next line goes in as usual.
    if (modify)
        QVERIFY(cashier::clickLine(0));
    enterLine(u"香蕉"_s, u"4"_s, u"2"_s, u"10"_s);
    testing::click(modify ? f->SpeedButton3 : f->SpeedButton2);
    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines().size(), modify ? 1 : 2);
    QCOMPARE(lines().last(), (QStringList{u"香蕉"_s, u"4"_s, u"2"_s, u"8"_s, u"8"_s}));
    QCOMPARE(f->DBGridEh1->model()->rowCount(), modify ? 1 : 2);
    QCOMPARE(totals(), modify ? (QStringList{u"2"_s, u"8"_s, u"8"_s, u"8"_s, u"0"_s})
                              : (QStringList{u"5"_s, u"15.5"_s, u"15.5"_s, u"15.5"_s, u"0"_s}));
}

void TestTicketLimits::largestLineIsStored()
{
    addLine(u"整车"_s, u"899999999999999"_s, u"1"_s);
    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines(), (QList<QStringList>{{u"整车"_s, u"899999999999999"_s, u"1"_s, u"899999999999999"_s,
                                           u"899999999999999"_s}}));
    QCOMPARE(totals(), (QStringList{u"1"_s, u"899999999999999"_s, u"899999999999999"_s, u"899999999999999"_s,
                                    u"0"_s}));
    // Shown whole under their columns, none running into the next.
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    QLabel *const labels[] = {MainForm->Label13, MainForm->Label14, MainForm->Label15};
    for (int i = 0; i < 3; ++i) {
        QLabel *l = labels[i];
        const int right = i < 2 ? labels[i + 1]->x() : l->parentWidget()->width();
        QVERIFY2(l->x() + l->fontMetrics().horizontalAdvance(l->text()) <= right, qPrintable(l->objectName()));
    }
}

// Each line fits, their sum would not: the line that would take a total to
// the limit is refused; 修改 counts the line it replaces out.
void TestTicketLimits::totalsBeyondTheSums()
{
    TMainForm *f = MainForm;
    addLine(u"甲"_s, u"500000000000000"_s, u"1"_s);
    addLine(u"乙"_s, u"300000000000000"_s, u"1"_s);
    QCOMPARE(shown(), QStringList());

    enterLine(u"丙"_s, u"500000000000000"_s, u"1"_s, u"10"_s);
    const QStringList typed = screen();
    testing::click(f->SpeedButton2);
    QCOMPARE(shown(), QStringList{totalTooLarge(u"金额"_s)});
    QCOMPARE(lines().size(), 2);
    QCOMPARE(products().size(), 2);
    QCOMPARE(screen(), typed);

    // 乙 from 3E14 to 3.5E14: the total becomes 8.5E14, within the limit.
    QVERIFY(cashier::clickLine(1));
    testing::retype(f->Edit3, u"350000000000000"_s);
    testing::click(f->SpeedButton3);
    QCOMPARE(shown(), QStringList());
    // (as the side connection writes the stored doubles)
    QCOMPARE(lines().last(), (QStringList{u"乙"_s, u"3.5e+14"_s, u"1"_s, u"3.5e+14"_s, u"3.5e+14"_s}));
    QCOMPARE(totals(), (QStringList{u"2"_s, u"850000000000000"_s, u"850000000000000"_s, u"850000000000000"_s,
                                    u"0"_s}));
}

// The scanned barcode of the fault report: refused, and the program comes up
// again on the data.mdb it leaves, the cashier's other line in it.
void TestTicketLimits::typedBarcodeLineAndRestart()
{
    addLine(u"可乐"_s, u"6901234567890"_s, u"200"_s);
    QCOMPARE(shown(), QStringList{tooLarge(u"金额"_s)});
    addLine(u"雪碧"_s, u"3"_s, u"2"_s);
    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines(), (QList<QStringList>{{u"雪碧"_s, u"3"_s, u"2"_s, u"6"_s, u"6"_s}}));

    session->restart();
    QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 1);
    QCOMPARE(MainForm->DBSumList1.total(1), std::optional<qint64>(60000));
    {
        TLoginForm login(MainForm); // its creation empties the working ticket
    }
    QCOMPARE(lines(), QList<QStringList>());
    QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 0);
    addLine(u"雪碧"_s, u"3"_s, u"1"_s);
    QCOMPARE(totals(), (QStringList{u"1"_s, u"3"_s, u"3"_s, u"3"_s, u"0"_s}));
    QCOMPARE(shown(), QStringList());
}

void TestTicketLimits::linesStoredByOtherMeans_data()
{
    QTest::addColumn<QVariantList>("quantities");
    QTest::addColumn<QVariantList>("amounts");
    QTest::addColumn<QVariantList>("afterDiscounts");
    // 数量, 金额, 折后, 实收, 找零 after one more line of 1 × 1.
    QTest::addColumn<QStringList>("shownTotals");
    QTest::addColumn<QString>("changeOf100");

    const QVariant none;
    QTest::newRow("amount beyond the sums") << QVariantList{1} << QVariantList{1e20} << QVariantList{1}
                                            << QStringList{u"2"_s, kNoTotal, u"2"_s, QString(), QString()}
                                            << u"98"_s;
    QTest::newRow("negative amount beyond the sums")
        << QVariantList{1} << QVariantList{-1e20} << QVariantList{1}
        << QStringList{u"2"_s, kNoTotal, u"2"_s, QString(), QString()} << u"98"_s;
    QTest::newRow("infinite quantity") << QVariantList{u"9e999"_s} << QVariantList{1} << QVariantList{1}
                                       << QStringList{kNoTotal, u"2"_s, u"2"_s, u"2"_s, u"0"_s} << u"98"_s;
    QTest::newRow("amount that is no number") << QVariantList{1} << QVariantList{u"abc"_s} << QVariantList{1}
                                              << QStringList{u"2"_s, kNoTotal, u"2"_s, QString(), QString()}
                                              << u"98"_s;
    QTest::newRow("after-discount beyond the sums") << QVariantList{1} << QVariantList{1} << QVariantList{1e15}
                                                    << QStringList{u"2"_s, u"2"_s, kNoTotal, u"2"_s, QString()}
                                                    << QString();
    // Each fits, their sum does not: it must not wrap around to a negative total.
    QTest::newRow("two lines at the limit") << QVariantList{1, 1} << QVariantList{9e14, 9e14} << QVariantList{1, 1}
                                            << QStringList{u"3"_s, kNoTotal, u"3"_s, QString(), QString()}
                                            << u"97"_s;
    QTest::newRow("null amount counts nothing") << QVariantList{1} << QVariantList{none} << QVariantList{1}
                                                << QStringList{u"2"_s, u"1"_s, u"2"_s, u"1"_s, u"-1"_s}
                                                << u"98"_s;
}

void TestTicketLimits::linesStoredByOtherMeans()
{
    QFETCH(QVariantList, quantities);
    QFETCH(QVariantList, amounts);
    QFETCH(QVariantList, afterDiscounts);
    QFETCH(QStringList, shownTotals);
    QFETCH(QString, changeOf100);

    for (int i = 0; i < amounts.size(); ++i)
        storeLineByOtherMeans(u"外来%1"_s.arg(i), quantities[i], amounts[i], afterDiscounts[i]);
    session->restart(); // never stops: the sums leave what they cannot count
    TMainForm *f = MainForm;
    QCOMPARE(f->DBGridEh1->model()->rowCount(), amounts.size());
    QCOMPARE(shown(), QStringList());

    addLine(u"苹果"_s, u"1"_s, u"1"_s);
    QCOMPARE(f->DBGridEh1->model()->rowCount(), amounts.size() + 1);
    QCOMPARE(totals(), shownTotals);
    const bool unknown = shownTotals.contains(kNoTotal);
    QCOMPARE(shown(), unknown ? QStringList{kTotalsUnknown} : QStringList());

    // Editing 实收 gives the change against the after-discount total, none
    // when that total is unknown, and never an error.
    testing::retype(f->ComboBox4, u"100"_s);
    QCOMPARE(f->Edit6->text(), changeOf100);
    QCOMPARE(shown(), QStringList());

    // The cashier deletes the odd lines; the totals come back.
    for (int i = 0; i < amounts.size(); ++i) {
        QVERIFY(cashier::clickLine(0));
        testing::click(f->SpeedButton4);
    }
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"1"_s, u"1"_s, u"1"_s, u"1"_s}}));
    QCOMPARE(totals(), (QStringList{u"1"_s, u"1"_s, u"1"_s, u"1"_s, u"0"_s}));
    QStringList messages = shown();
    messages.removeAll(kTotalsUnknown); // while odd lines remained
    QCOMPARE(messages, QStringList());

    // The next start empties them anyway.
    storeLineByOtherMeans(u"外来"_s, 1, 1e300, 1);
    session->restart();
    {
        TLoginForm login(MainForm);
    }
    QCOMPARE(lines(), QList<QStringList>());
    QCOMPARE(shown(), QStringList());
}

void TestTicketLimits::textsLongerThanTheirColumn_data()
{
    QTest::addColumn<bool>("modify");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message"); // empty: stored

    for (const bool modify : {false, true}) {
        const char *how = modify ? "修改" : "添加";
        QTest::addRow("%s: name of 256", how) << modify << u"ComboBox1"_s << QString(256, u'a')
                                             << error(u"“品名”最多255个字符，这里有256个字符."_s);
        QTest::addRow("%s: name of 255", how) << modify << u"ComboBox1"_s << QString(255, u'a') << QString();
        QTest::addRow("%s: ticket number of 51", how) << modify << u"Edit1"_s << QString(51, u'7')
                                                     << error(u"“单号”最多50个字符，这里有51个字符."_s);
        QTest::addRow("%s: time of 51", how) << modify << u"Edit2"_s << u"2024-03-05 09:30:00"_s + QString(32, u'x')
                                            << error(u"“时间”最多50个字符，这里有51个字符."_s);
    }
}

void TestTicketLimits::textsLongerThanTheirColumn()
{
    QFETCH(bool, modify);
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QString, message);

    TMainForm *f = MainForm;
    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    if (modify)
        QVERIFY(cashier::clickLine(0));
    enterLine(u"香蕉"_s, u"4"_s, u"2"_s, u"10"_s);
    if (box == u"Edit2"_s) // the time option stops the clock, so the time can be typed
        testing::clickAt(f->CheckBox1, {8, f->CheckBox1->height() / 2});
    auto *target = f->findChild<QWidget *>(box);
    QVERIFY(target);
    testing::click(testing::editOf(target));
    testing::retype(target, text);
    QCOMPARE(testing::editOf(target)->text(), text);
    testing::click(modify ? f->SpeedButton3 : f->SpeedButton2);

    const QString name = box == u"ComboBox1"_s ? text : u"香蕉"_s;
    if (message.isEmpty()) {
        QCOMPARE(shown(), QStringList());
        QCOMPARE(lines().size(), modify ? 1 : 2);
        QCOMPARE(lines().last().first(), name);
        QVERIFY(cashier::products().contains(QStringList{name, u"4"_s}));
        return;
    }
    QCOMPARE(shown(), QStringList{message});
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"7.5"_s}}));
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s}}));
    QCOMPARE(testing::editOf(target)->text(), text);
}

void TestTicketLimits::lineRefusedByTheFileTeachesNothing_data()
{
    QTest::addColumn<bool>("modify");
    QTest::newRow("添加") << false;
    QTest::newRow("修改") << true;
}

// The product learnt and the line written are one write: when the file
// refuses the line, the catalogue has not learnt the product either.
void TestTicketLimits::lineRefusedByTheFileTeachesNothing()
{
    QFETCH(bool, modify);
    TMainForm *f = MainForm;
    addLine(u"苹果"_s, u"2.5"_s, u"3"_s);
    const QList<QStringList> before = lines();
    testing::exec(u"create trigger refuse before %1 on xsxx begin select raise(abort, '磁盘已满'); end"_s.arg(
        modify ? u"update"_s : u"insert"_s));
    if (modify)
        QVERIFY(cashier::clickLine(0));
    enterLine(u"香蕉"_s, u"4"_s, u"2"_s, u"10"_s);
    testing::click(modify ? f->SpeedButton3 : f->SpeedButton2);
    const QStringList told = shown();
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.first().contains(u"磁盘已满"_s), qPrintable(told.first()));
    QCOMPARE(lines(), before);
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s}}));

    testing::exec(u"drop trigger refuse"_s);
    session->prompts().clear();
    testing::click(modify ? f->SpeedButton3 : f->SpeedButton2);
    QCOMPARE(shown(), QStringList());
    QCOMPARE(lines().last(), (QStringList{u"香蕉"_s, u"4"_s, u"2"_s, u"8"_s, u"8"_s}));
    QCOMPARE(lines().size(), modify ? 1 : 2);
    QCOMPARE(products(), (QList<QStringList>{{u"苹果"_s, u"2.5"_s}, {u"香蕉"_s, u"4"_s}}));
}

void TestTicketLimits::pastedLineBreaks_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("pasteKey"); // Shift+Insert or Ctrl+V
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QStringList>("stored"); // 品名, 单价

    const int shiftInsert = (Qt::SHIFT | Qt::Key_Insert).toCombined();
    const int ctrlV = (Qt::CTRL | Qt::Key_V).toCombined();
    QTest::newRow("a spreadsheet cell") << u"ComboBox1"_s << shiftInsert << u"苹果\r\n"_s
                                        << QStringList{u"苹果"_s, u"4"_s};
    QTest::newRow("tabs and breaks around") << u"ComboBox1"_s << ctrlV << u"\t红 苹果\n\n"_s
                                            << QStringList{u"红 苹果"_s, u"4"_s};
    QTest::newRow("two cells of a row") << u"ComboBox1"_s << ctrlV << u"礼盒\t大号"_s
                                        << QStringList{u"礼盒 大号"_s, u"4"_s};
    QTest::newRow("blanks are kept") << u"ComboBox1"_s << ctrlV << u" 梨 \n"_s << QStringList{u" 梨 "_s, u"4"_s};
    QTest::newRow("a price") << u"Edit3"_s << shiftInsert << u"12.5\r\n"_s << QStringList{u"梨"_s, u"12.5"_s};
}

void TestTicketLimits::pastedLineBreaks()
{
    QFETCH(QString, box);
    QFETCH(int, pasteKey);
    QFETCH(QString, clipboard);
    QFETCH(QStringList, stored);

    TMainForm *f = MainForm;
    enterLine(u"梨"_s, u"4"_s, u"1"_s, u"10"_s);
    QWidget *target = f->findChild<QWidget *>(box);
    QVERIFY(target);
    testing::click(testing::editOf(target));
    testing::clearByKeys(target);
    QGuiApplication::clipboard()->setText(clipboard);
    const QKeyCombination paste = QKeyCombination::fromCombined(pasteKey);
    QTest::keyClick(testing::editOf(target), paste.key(), paste.keyboardModifiers());
    QCOMPARE(testing::editOf(target)->text(), stored[box == u"Edit3"_s ? 1 : 0]);

    testing::click(f->SpeedButton2);
    QCOMPARE(shown(), QStringList());
    const QString price = stored[1];
    const QString amount = price; // quantity 1, no discount
    QCOMPARE(lines(), (QList<QStringList>{{stored[0], price, u"1"_s, amount, amount}}));
    QCOMPARE(products(), (QList<QStringList>{stored}));
}

QTEST_MAIN(TestTicketLimits)
#include "tst_ticketlimits.moc"
