// The main window's lists and boxes under real keyboard and mouse input:
// only an item chosen from a list is a choice, the arrow keys go on from
// what a list shows, Shift+Insert pastes into the number boxes; and what the
// cashier and a screen reader see of it.
#include "support/Cashier.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"
#include "ui/FormKit.h"
#include "ui/ListGrid.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QtTest>

using namespace Qt::StringLiterals;
using cashier::addLine;
using cashier::enterLine;
using cashier::lines;
using cashier::screen;

namespace {

std::unique_ptr<testing::Session> session;

QStringList shown()
{
    return cashier::shown(session->prompts());
}

QComboBox *list(const QString &name)
{
    return MainForm->findChild<QComboBox *>(name);
}

QList<QStringList> settings()
{
    return testing::rows(u"select pos, print from id"_s);
}

QString accessible(QWidget *w, QAccessible::Text t)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(t) : u"<none>"_s;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void leavingAListIsNoChoice_data();
    void leavingAListIsNoChoice();
    void visitToTheNameBoxKeepsTheSelectedLine();
    void gridClickAfterTypingAName();
    void arrowKeysGoOnFromTheShownText_data();
    void arrowKeysGoOnFromTheShownText();
    void choicesFromTheOpenList_data();
    void choicesFromTheOpenList();

    void shiftInsertPastesIntoNumberBoxes_data();
    void shiftInsertPastesIntoNumberBoxes();

    void screenReaderHearsFiguresAndLabels();
    void changeOnTheScrollBarColour();
    void remarkHolderWrapsAsTheReceipt();
};

void TestMainWindow::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestMainWindow::init()
{
    testing::fixClock(QDateTime(QDate(2024, 3, 5), QTime(9, 30, 0)));
    session = std::make_unique<testing::Session>();
    cashier::seedProduct(u"苹果"_s, 3);
    cashier::seedProduct(u"梨"_s, 2);
    cashier::seedProduct(u"香蕉"_s, 4);
    session->restart();
}

void TestMainWindow::cleanup()
{
    session.reset();
    testing::releaseClock();
}

void TestMainWindow::leavingAListIsNoChoice_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("leave"); // tab, click or enter

    // A typed product name that is also a list item: leaving the box must
    // neither put the catalogue price over the typed one nor empty 实收.
    QTest::newRow("name, Tab") << u"ComboBox1"_s << u"tab"_s;
    QTest::newRow("name, click elsewhere") << u"ComboBox1"_s << u"click"_s;
    QTest::newRow("name, Enter") << u"ComboBox1"_s << u"enter"_s;
    // A typed discount that is a list item, then 抹零: leaving must not
    // recompute 折后 and undo the cut before 添加 stores it.
    QTest::newRow("discount after 抹零, Tab") << u"ComboBox2"_s << u"tab"_s;
    QTest::newRow("discount after 抹零, click elsewhere") << u"ComboBox2"_s << u"click"_s;
}

void TestMainWindow::leavingAListIsNoChoice()
{
    QFETCH(QString, box);
    QFETCH(QString, leave);

    TMainForm *f = MainForm;
    addLine(u"梨"_s, u"2"_s, u"1"_s);
    testing::retype(f->ComboBox4, u"100"_s);
    QComboBox *target = list(box);
    if (box == u"ComboBox1"_s) {
        testing::retype(f->Edit3, u"5"_s);
        testing::click(f->ComboBox1->lineEdit());
        testing::retype(f->ComboBox1, u"苹果"_s);
    } else {
        enterLine(u"苹果"_s, u"3.3"_s, u"3"_s, u"10"_s);
        testing::click(f->ComboBox2->lineEdit());
        testing::retype(f->ComboBox2, u"9.5"_s);
        QCOMPARE(f->Edit12->text(), u"9.405"_s);
        testing::click(f->SpeedButton9); // 抹零: the focus stays in 折扣
        QCOMPARE(f->Edit12->text(), u"9"_s);
    }
    QVERIFY(target->hasFocus());
    const QStringList before = screen();

    if (leave == u"tab"_s)
        testing::pressKey(target, Qt::Key_Tab);
    else if (leave == u"enter"_s)
        testing::pressKey(target, Qt::Key_Return);
    else
        testing::click(box == u"ComboBox1"_s ? static_cast<QWidget *>(f->Edit4) : f->ComboBox1->lineEdit());
    QApplication::processEvents();
    QCOMPARE(screen(), before);
    QCOMPARE(shown(), QStringList());

    testing::click(f->SpeedButton2);
    const QStringList stored = lines().last();
    QCOMPARE(stored.first(), u"苹果"_s);
    QCOMPARE(stored.last(), box == u"ComboBox1"_s ? u"5"_s : u"9"_s);
}

// A line is selected, the cashier clicks into 品名 and out again: the
// selected line's 折后 must stay what was stored, for 修改 to store it back.
void TestMainWindow::visitToTheNameBoxKeepsTheSelectedLine()
{
    TMainForm *f = MainForm;
    addLine(u"苹果"_s, u"10"_s, u"1"_s, u"8"_s);
    testing::retype(f->ComboBox4, u"20"_s);
    QVERIFY(cashier::clickLine(0));
    const QStringList selected = screen();
    QCOMPARE(f->Edit12->text(), u"8"_s);

    testing::click(f->ComboBox1->lineEdit());
    testing::click(f->Edit4);
    QCOMPARE(screen(), selected);

    testing::click(f->SpeedButton3);
    QCOMPARE(lines(), (QList<QStringList>{{u"苹果"_s, u"10"_s, u"1"_s, u"10"_s, u"8"_s}}));
    QCOMPARE(shown(), QStringList());
}

// Typing a product name and then clicking a line of the grid leaves 实收.
void TestMainWindow::gridClickAfterTypingAName()
{
    TMainForm *f = MainForm;
    addLine(u"梨"_s, u"2"_s, u"1"_s);
    testing::retype(f->ComboBox4, u"100"_s);
    testing::click(f->ComboBox1->lineEdit());
    testing::typeKeys(f->ComboBox1, u"苹果"_s);
    QVERIFY(cashier::clickLine(0));
    QCOMPARE(f->ComboBox1->currentText(), u"梨"_s);
    QCOMPARE(f->ComboBox4->currentText(), u"100"_s);
    QCOMPARE(f->Edit6->text(), u"98"_s);
    QCOMPARE(shown(), QStringList());
}

void TestMainWindow::arrowKeysGoOnFromTheShownText_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("setBy");
    QTest::addColumn<QString>("shows");  // what the program set
    QTest::addColumn<QString>("stepTo"); // after Down

    QTest::newRow("discount reset by 添加") << u"ComboBox2"_s << u"add"_s << u"10"_s << u"9.9"_s;
    QTest::newRow("discount reset by 修改") << u"ComboBox2"_s << u"modify"_s << u"10"_s << u"9.9"_s;
    QTest::newRow("name of the selected line") << u"ComboBox1"_s << u"select"_s << u"梨"_s << u"香蕉"_s;
    QTest::newRow("received preset by the totals") << u"ComboBox4"_s << u"add"_s << u"50"_s << u"20"_s;
    QTest::newRow("paper width from the settings") << u"ComboBox5"_s << u"show"_s << u"58"_s << u"76"_s;
    QTest::newRow("copies from the settings") << u"ComboBox3"_s << u"show"_s << u"1"_s << u"2"_s;
}

void TestMainWindow::arrowKeysGoOnFromTheShownText()
{
    QFETCH(QString, box);
    QFETCH(QString, setBy);
    QFETCH(QString, shows);
    QFETCH(QString, stepTo);

    TMainForm *f = MainForm;
    QComboBox *target = list(box);
    // First move the lists away from where the program will put them (the
    // print settings' lists start at no item).
    QVERIFY(testing::pickFromList(f->ComboBox2, u"8.5"_s));
    QVERIFY(testing::pickFromList(f->ComboBox4, u"300"_s));
    QVERIFY(testing::pickFromList(f->ComboBox1, u"苹果"_s));
    if (setBy == u"add"_s) {
        enterLine(u"梨"_s, u"50"_s, u"1"_s, u"10"_s);
        QVERIFY(testing::pickFromList(f->ComboBox2, u"8.5"_s));
        testing::retype(f->ComboBox2, u"10"_s); // typed: the list stays at 8.5
        testing::click(f->SpeedButton2);
    } else if (setBy == u"modify"_s || setBy == u"select"_s) {
        addLine(u"梨"_s, u"2"_s, u"1"_s);
        QVERIFY(testing::pickFromList(f->ComboBox2, u"8.5"_s));
        QVERIFY(cashier::clickLine(0));
        if (setBy == u"modify"_s)
            testing::click(f->SpeedButton3);
    }
    // else: the show handler has set the box from the settings row
    QCOMPARE(target->currentText(), shows);
    const QList<QStringList> storedSettings = settings();

    testing::click(target->lineEdit());
    QTest::keyClick(target->lineEdit(), Qt::Key_Down);
    QCOMPARE(target->currentText(), stepTo);
    // The step is a choice: its handler runs.
    if (box == u"ComboBox1"_s) {
        QCOMPARE(f->Edit3->text(), u"4"_s);
        QCOMPARE(f->Edit11->text(), u"4"_s);
    } else if (box == u"ComboBox4"_s) {
        QCOMPARE(f->Edit6->text(), u"-30"_s);
    } else if (box == u"ComboBox5"_s) {
        QCOMPARE(settings(), (QList<QStringList>{{u"76"_s, storedSettings[0][1]}}));
    } else if (box == u"ComboBox3"_s) {
        QCOMPARE(settings(), (QList<QStringList>{{storedSettings[0][0], u"2"_s}}));
    }
    QCOMPARE(shown(), QStringList());
}

void TestMainWindow::choicesFromTheOpenList_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("control"); // what the choice changes
    QTest::addColumn<QString>("shows");

    QTest::newRow("product fills its price") << u"ComboBox1"_s << u"香蕉"_s << u"Edit11"_s << u"8"_s;
    QTest::newRow("discount recomputes") << u"ComboBox2"_s << u"8.5"_s << u"Edit12"_s << u"8.5"_s;
    QTest::newRow("received gives the change") << u"ComboBox4"_s << u"100"_s << u"Edit6"_s << u"98"_s;
    QTest::newRow("paper width is stored") << u"ComboBox5"_s << u"76"_s << u"pos"_s << u"76"_s;
    QTest::newRow("copies are stored") << u"ComboBox3"_s << u"2"_s << u"print"_s << u"2"_s;
}

void TestMainWindow::choicesFromTheOpenList()
{
    QFETCH(QString, box);
    QFETCH(QString, item);
    QFETCH(QString, control);
    QFETCH(QString, shows);

    TMainForm *f = MainForm;
    addLine(u"梨"_s, u"2"_s, u"1"_s);
    enterLine(u"苹果"_s, u"5"_s, u"2"_s, u"10"_s);
    QVERIFY(testing::pickFromList(list(box), item));
    QCOMPARE(list(box)->currentText(), item);
    if (control == u"pos"_s || control == u"print"_s)
        QCOMPARE(testing::scalar(u"select "_s + control + u" from id"_s).toString(), shows);
    else
        QCOMPARE(f->findChild<QLineEdit *>(control)->text(), shows);
    QCOMPARE(shown(), QStringList());
}

void TestMainWindow::shiftInsertPastesIntoNumberBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("control"); // recomputed from the pasted text
    QTest::addColumn<QString>("shows");

    QTest::newRow("price") << u"Edit3"_s << u"12.5"_s << u"Edit11"_s << u"25"_s;
    QTest::newRow("quantity") << u"Edit4"_s << u"3"_s << u"Edit11"_s << u"6"_s;
    QTest::newRow("discount") << u"ComboBox2"_s << u"8"_s << u"Edit12"_s << u"3.2"_s;
    QTest::newRow("received") << u"ComboBox4"_s << u"100"_s << u"Edit6"_s << u"98"_s;
}

void TestMainWindow::shiftInsertPastesIntoNumberBoxes()
{
    QFETCH(QString, box);
    QFETCH(QString, clipboard);
    QFETCH(QString, control);
    QFETCH(QString, shows);

    TMainForm *f = MainForm;
    addLine(u"梨"_s, u"2"_s, u"1"_s);
    enterLine(u"苹果"_s, u"2"_s, u"2"_s, u"10"_s);
    QWidget *target = f->findChild<QWidget *>(box);
    testing::click(testing::editOf(target));
    testing::clearByKeys(target);
    QGuiApplication::clipboard()->setText(clipboard);
    QTest::keyClick(testing::editOf(target), Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(testing::editOf(target)->text(), clipboard);
    QCOMPARE(f->findChild<QLineEdit *>(control)->text(), shows);
    QCOMPARE(shown(), QStringList());
}

void TestMainWindow::screenReaderHearsFiguresAndLabels()
{
    TMainForm *f = MainForm;
    addLine(u"苹果"_s, u"19.9"_s, u"3"_s, u"8.5"_s);
    // The totals are read as their figures, described by what they count.
    QCOMPARE(accessible(f->Label13, QAccessible::Name), u"3"_s);
    QCOMPARE(accessible(f->Label14, QAccessible::Name), u"59.7"_s);
    QCOMPARE(accessible(f->Label15, QAccessible::Name), u"50.74"_s);
    QCOMPARE(accessible(f->Label14, QAccessible::Description), u"合计金额"_s);
    addLine(u"梨"_s, u"2"_s, u"1"_s);
    QCOMPARE(accessible(f->Label14, QAccessible::Name), u"61.7"_s);

    // Lists are named by their labels and read their text as the value.
    testing::retype(f->ComboBox2, u"9.5"_s);
    const std::pair<QComboBox *, QString> named[] = {
        {f->ComboBox1, u"品名："_s}, {f->ComboBox2, u"折扣："_s}, {f->ComboBox4, u"实收："_s},
        {f->ComboBox6, u"收银员："_s}, {f->ComboBox5, u"POS选择："_s}, {f->ComboBox3, u"打印份数："_s}};
    for (const auto &[box, label] : named) {
        QCOMPARE(accessible(box, QAccessible::Name), label);
        QCOMPARE(accessible(box, QAccessible::Value), box->currentText());
        QCOMPARE(QAccessible::queryAccessibleInterface(box)->role(), QAccessible::ComboBox);
    }
    QCOMPARE(accessible(f->ComboBox2, QAccessible::Value), u"9.5"_s);
}

void TestMainWindow::changeOnTheScrollBarColour()
{
    QLineEdit *change = MainForm->Edit6;
    const QColor scrollBar = ui::scrollBarColour();
    QVERIFY(scrollBar != QApplication::palette().color(QPalette::Button));
    QVERIFY(scrollBar != QApplication::palette().color(QPalette::Base));
    // Painted, not only set: a pixel of the empty box away from its frame.
    const QImage shot = change->grab().toImage();
    QCOMPARE(shot.pixelColor(shot.width() - 8, shot.height() / 2), scrollBar);
    QCOMPARE(change->palette().color(QPalette::Base), scrollBar);
}

void TestMainWindow::remarkHolderWrapsAsTheReceipt()
{
    QPlainTextEdit *memo = MainForm->Memo1;
    QVERIFY(!memo->isVisible());
    QCOMPARE(memo->width(), 225);
    QCOMPARE(memo->font().pixelSize(), 13);
    QCOMPARE(memo->font().families().value(0), u"宋体"_s);
    // Without 宋体 on the machine, a Simplified Chinese serif stands in.
    const QString face = QFontInfo(memo->font()).family();
    QVERIFY2(face == u"宋体"_s || face == u"SimSun"_s || face.startsWith(u"Noto Serif CJK"_s), qPrintable(face));
    QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
