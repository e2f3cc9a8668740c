// The pieces every window leans on: how an error reaches the cashier, which
// keys the amount boxes take, and how a pick list is filled.
#include "support/TestSupport.h"

#include "base/AppError.h"
#include "store/Connection.h"
#include "store/Idioms.h"
#include "store/Query.h"
#include "ui/ErrorDisplay.h"
#include "ui/FileDialog.h"
#include "ui/KeyFilter.h"
#include "ui/MessageBox.h"
#include "ui/PickList.h"
#include "ui/FormKit.h"
#include "ui/ListChoice.h"
#include "ui/OneLine.h"
#include "ui/ListGrid.h"
#include "ui/PasswordGate.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace {

enum class Thrown { AppErrorText, StdException, Other };

// Where the keys go: a line edit; an editable combo box as the keyboard
// reaches it (the combo holds the focus); or the combo's own line edit.
enum class Target { LineEdit, Combo, ComboLineEdit };

// A small window holding the box under test, shown and active so that keys
// reach it the way a cashier's keyboard delivers them: to the focus widget.
struct BoxWindow {
    QWidget window;
    QLineEdit *edit = nullptr;
    QComboBox *combo = nullptr;

    Target target;

    explicit BoxWindow(Target t) : target(t)
    {
        auto *layout = new QHBoxLayout(&window);
        if (target != Target::LineEdit) {
            combo = new QComboBox(&window);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setCompleter(nullptr); // as the program's boxes: no inline completion
            combo->addItems({u"100"_s, u"50"_s});
            combo->setCurrentIndex(-1);
            combo->setEditText(QString());
            layout->addWidget(combo);
        } else {
            edit = new QLineEdit(&window);
            layout->addWidget(edit);
        }
        // A second box, so the focus has somewhere else to be.
        layout->addWidget(new QLineEdit(&window));
    }
    QWidget *box() const { return combo ? static_cast<QWidget *>(combo) : edit; }
    QLineEdit *line() const { return combo ? combo->lineEdit() : edit; }
    bool showAndFocus()
    {
        window.show();
        QApplication::setActiveWindow(&window);
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        box()->setFocus();
        return QTest::qWaitFor([this] { return box()->hasFocus(); });
    }
    QWidget *keyTarget() const
    {
        return target == Target::ComboLineEdit ? combo->lineEdit() : QApplication::focusWidget();
    }
};

} // namespace

class TestFramework : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void fullStop_data();
    void fullStop();
    void showErrorUsesTheErrorBox();
    void throwingHandlerInsideModalDialog_data();
    void throwingHandlerInsideModalDialog();
    void handlerReceivesSignalArguments();

    void numericKeys_data();
    void numericKeys();
    void releaseRunsRecomputationOnEveryKey_data();
    void releaseRunsRecomputationOnEveryKey();
    void failingRecomputationIsShownAndTypingGoesOn();
    void pasteWithoutKeyRecomputes_data();
    void pasteWithoutKeyRecomputes();

    void fillPickList();
    void saveDialogAnswersFromTheQueue();
    void gridKeepsDeletesOnTheCursorRow();
    void gridTakesAListRetakenInsideARowChange_data();
    void gridTakesAListRetakenInsideARowChange();
    void gridCountsWhenShown_data();
    void gridCountsWhenShown();
    void gridReportsClicksOnItsEmptyArea();
    void listChoiceOnlyFromTheList_data();
    void listChoiceOnlyFromTheList();

    void pickListFilledInOneStep();
    void pickListReadsOnDemand_data();
    void pickListReadsOnDemand();
    void wrongPasswordDelay_data();
    void wrongPasswordDelay();
    void titlesShowNoSortArrow();
    void oneLine_data();
    void oneLine();
    void oneLineBoxTakesPastedText();
    void centreOnScreen_data();
    void centreOnScreen();
};

void TestFramework::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestFramework::fullStop_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("letter") << u"abc"_s << u"abc."_s;
    QTest::newRow("already a full stop") << u"abc."_s << u"abc."_s;
    // "！" sorts after "." so it gets one too.
    QTest::newRow("full-width exclamation") << u"错误！"_s << u"错误！."_s;
    QTest::newRow("Chinese full stop is one") << u"请重新打印。"_s << u"请重新打印。"_s;
    QTest::newRow("ascii exclamation sorts before") << u"a!"_s << u"a!"_s;
    QTest::newRow("digit") << u"line 12"_s << u"line 12."_s;
    QTest::newRow("hyphen sorts before") << u"a-"_s << u"a-"_s;
    QTest::newRow("slash sorts after") << u"a/"_s << u"a/."_s;
    QTest::newRow("trailing space sorts before") << u"abc. "_s << u"abc. "_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestFramework::fullStop()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(ui::withFullStop(text), shown);
}

void TestFramework::showErrorUsesTheErrorBox()
{
    testing::Prompts prompts;
    ui::showError(u"数据库已锁定"_s);
    QCOMPARE(prompts.log().size(), 1);
    const msg::Prompt &p = prompts.log().first();
    QCOMPARE(p.text, u"数据库已锁定."_s);
    QCOMPARE(p.icon, msg::Icon::Error);
    QCOMPARE(p.buttons, msg::Buttons::Ok);
    // The program file's name without extension: this test's executable.
    QCOMPARE(p.title, u"tst_framework"_s);
}

void TestFramework::throwingHandlerInsideModalDialog_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("shown");

    QTest::newRow("program error") << int(Thrown::AppErrorText)
                                   << u"'abc' is not a valid floating point value."_s;
    QTest::newRow("library exception") << int(Thrown::StdException) << u"disk full."_s;
    QTest::newRow("anything else") << int(Thrown::Other) << u"未知错误."_s;
}

void TestFramework::throwingHandlerInsideModalDialog()
{
    QFETCH(int, kind);
    QFETCH(QString, shown);

    testing::Prompts prompts;
    QDialog dialog;
    auto *layout = new QHBoxLayout(&dialog);
    auto *failing = new QPushButton(u"坏"_s, &dialog);
    auto *working = new QPushButton(u"好"_s, &dialog);
    layout->addWidget(failing);
    layout->addWidget(working);
    int workingRuns = 0;
    bool afterThrow = false;
    ui::on(failing, &QPushButton::clicked, &dialog, [kind, &afterThrow] {
        switch (Thrown(kind)) {
        case Thrown::AppErrorText: throw AppError(u"'abc' is not a valid floating point value"_s);
        case Thrown::StdException: throw std::runtime_error("disk full");
        case Thrown::Other: throw 42;
        }
        afterThrow = true; // the handler ends at the failing step
    });
    ui::on(working, &QPushButton::clicked, &dialog, [&workingRuns] { ++workingRuns; });

    int shownWhileOpen = -1;
    QTimer::singleShot(0, &dialog, [&] {
        QTest::mouseClick(failing, Qt::LeftButton);
        shownWhileOpen = int(prompts.log().size());
        QTest::mouseClick(working, Qt::LeftButton);
        dialog.accept();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));

    QCOMPARE(shownWhileOpen, 1);
    QCOMPARE(prompts.log().size(), 1);
    QCOMPARE(prompts.log().first().text, shown);
    QCOMPARE(prompts.log().first().icon, msg::Icon::Error);
    QCOMPARE(prompts.log().first().title, u"tst_framework"_s);
    QVERIFY(!afterThrow);
    QCOMPARE(workingRuns, 1);

    // The program goes on: the event loop runs and the same button fails
    // again with one more message.
    bool later = false;
    QTimer::singleShot(0, this, [&later] { later = true; });
    QTRY_VERIFY(later);
    failing->click();
    QCOMPARE(prompts.log().size(), 2);
    QCOMPARE(prompts.log().last().text, shown);
}

void TestFramework::handlerReceivesSignalArguments()
{
    QLineEdit edit;
    QStringList seen;
    ui::on(&edit, &QLineEdit::textEdited, &edit, [&seen](const QString &text) { seen << text; });
    QTest::keyClicks(&edit, u"ab"_s);
    QCOMPARE(seen, (QStringList{u"a"_s, u"ab"_s}));
}

void TestFramework::numericKeys_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("initial");
    QTest::addColumn<bool>("selectAll");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QTestEventList>("keys");
    QTest::addColumn<QString>("expected");

    const std::pair<Target, const char *> targets[] = {{Target::LineEdit, "line edit: "},
                                                       {Target::Combo, "combo box: "},
                                                       {Target::ComboLineEdit, "combo's line edit: "}};
    for (const auto &[target, where] : targets) {
        const int t = int(target);
        auto row = [where = where](const char *name) -> QTestData & {
            return QTest::newRow(qPrintable(QLatin1String(where) + QLatin1String(name)));
        };
        QTestEventList keys;

        keys.clear();
        keys.addKeyClicks(u"1.2.3"_s);
        row("second point dropped") << t << QString() << false << QString() << keys << u"1.23"_s;

        keys.clear();
        keys.addKeyClicks(u"-5"_s);
        row("minus dropped") << t << QString() << false << QString() << keys << u"5"_s;

        keys.clear();
        keys.addKeyClicks(u"a1 B2x"_s);
        row("letters and space dropped") << t << QString() << false << QString() << keys << u"12"_s;

        keys.clear();
        keys.addKeyClicks(u"+3,5"_s);
        row("sign and comma dropped") << t << QString() << false << QString() << keys << u"35"_s;

        keys.clear();
        keys.addKeyClick(Qt::Key_7);
        keys.addKeyClick(Qt::Key_Return);
        keys.addKeyClick(Qt::Key_Enter);
        keys.addKeyClick(Qt::Key_8);
        row("enter adds nothing") << t << QString() << false << QString() << keys << u"78"_s;

        keys.clear();
        keys.addKeyClick(Qt::Key_Period);
        row("point over a selected point refused") << t << u"1.5"_s << true << QString() << keys << u"1.5"_s;

        keys.clear();
        keys.addKeyClick(Qt::Key_3);
        row("digit replaces the selection") << t << u"1.5"_s << true << QString() << keys << u"3"_s;

        keys.clear();
        keys.addKeyClick(Qt::Key_Backspace);
        keys.addKeyClick(Qt::Key_Backspace);
        keys.addKeyClick(Qt::Key_Period);
        row("backspace removes the point, then one may be typed")
            << t << u"1.5"_s << false << QString() << keys << u"1."_s;

        keys.clear();
        keys.addKeyClick(Qt::Key_Home);
        keys.addKeyClick(Qt::Key_Delete);
        keys.addKeyClick(Qt::Key_End);
        keys.addKeyClick(Qt::Key_0);
        row("arrows, home, end and delete work") << t << u"25"_s << false << QString() << keys << u"50"_s;

        keys.clear();
        keys.addKeyClick(Qt::Key_V, Qt::ControlModifier);
        row("ctrl+v pastes nothing") << t << u"1"_s << false << u"9"_s << keys << u"1"_s;

        // Only typed characters are filtered: Shift+Insert types none, so it
        // pastes whatever the clipboard holds (a pasted non-number is refused
        // when the line is stored).
        keys.clear();
        keys.addKeyClick(Qt::Key_Insert, Qt::ShiftModifier);
        row("shift+insert pastes") << t << u"1"_s << false << u"2.5"_s << keys << u"12.5"_s;

        keys.clear();
        keys.addKeyClick(Qt::Key_Insert, Qt::ShiftModifier);
        row("shift+insert pastes a non-number too") << t << u"1"_s << false << u"abc"_s << keys << u"1abc"_s;

        keys.clear();
        keys.addKeyClick(Qt::Key_Delete, Qt::ShiftModifier);
        keys.addKeyClick(Qt::Key_4);
        keys.addKeyClick(Qt::Key_Insert, Qt::ShiftModifier);
        row("shift+delete cuts") << t << u"12"_s << true << QString() << keys << u"412"_s;

        keys.clear();
        keys.addKeyClick(Qt::Key_X, Qt::ControlModifier);
        keys.addKeyClick(Qt::Key_Z, Qt::ControlModifier);
        row("ctrl+x and ctrl+z change nothing") << t << u"12"_s << true << QString() << keys << u"12"_s;
    }
}

void TestFramework::numericKeys()
{
    QFETCH(int, target);
    QFETCH(QString, initial);
    QFETCH(bool, selectAll);
    QFETCH(QString, clipboard);
    QFETCH(QTestEventList, keys);
    QFETCH(QString, expected);

    BoxWindow w{Target(target)};
    new ui::NumericKeyFilter(w.box());
    QVERIFY(w.showAndFocus());
    w.line()->setText(initial);
    if (selectAll)
        w.line()->selectAll();
    else
        w.line()->end(false);
    if (!clipboard.isNull())
        QGuiApplication::clipboard()->setText(clipboard);

    keys.simulate(w.keyTarget());
    QCOMPARE(w.line()->text(), expected);
}

void TestFramework::releaseRunsRecomputationOnEveryKey_data()
{
    QTest::addColumn<int>("target");
    QTest::newRow("line edit") << int(Target::LineEdit);
    QTest::newRow("combo box") << int(Target::Combo);
    QTest::newRow("combo's line edit") << int(Target::ComboLineEdit);
}

void TestFramework::releaseRunsRecomputationOnEveryKey()
{
    QFETCH(int, target);

    BoxWindow w{Target(target)};
    QStringList seen; // the box's text as each recomputation saw it
    new ui::NumericKeyFilter(w.box(), [&] { seen << w.line()->text(); });
    QVERIFY(w.showAndFocus());

    QTest::keyClicks(w.keyTarget(), u"1a.5"_s);
    // A refused key is released too; the recomputation sees the text as typed.
    QCOMPARE(seen, (QStringList{u"1"_s, u"1"_s, u"1."_s, u"1.5"_s}));

    seen.clear();
    QTest::keyClick(w.keyTarget(), Qt::Key_Left);
    QTest::keyClick(w.keyTarget(), Qt::Key_Right);
    QTest::keyClick(w.keyTarget(), Qt::Key_Backspace);
    QCOMPARE(seen, (QStringList{u"1.5"_s, u"1.5"_s, u"1."_s}));
}

void TestFramework::failingRecomputationIsShownAndTypingGoesOn()
{
    testing::Prompts prompts;
    BoxWindow w(Target::LineEdit);
    new ui::NumericKeyFilter(w.box(), [&w] {
        if (w.edit->text() == u"12"_s)
            throw AppError(u"金额太大"_s);
    });
    QVERIFY(w.showAndFocus());
    QTest::keyClicks(w.keyTarget(), u"123"_s);
    QCOMPARE(w.edit->text(), u"123"_s);
    QCOMPARE(prompts.texts(), QStringList{u"金额太大."_s});
    QCOMPARE(prompts.log().first().icon, msg::Icon::Error);
}

void TestFramework::pasteWithoutKeyRecomputes_data()
{
    releaseRunsRecomputationOnEveryKey_data();
}

// A paste from the context menu releases no key: the keyless hook runs the
// recomputation then, and only then (keys have their releases).
void TestFramework::pasteWithoutKeyRecomputes()
{
    QFETCH(int, target);

    BoxWindow w{Target(target)};
    QStringList seen; // "key" or "paste" with the box's text
    new ui::NumericKeyFilter(w.box(), [&] { seen << u"key "_s + w.line()->text(); });
    new ui::KeylessEditHook(w.box(), [&] { seen << u"paste "_s + w.line()->text(); });
    QVERIFY(w.showAndFocus());

    QTest::keyClicks(w.keyTarget(), u"12"_s);
    QGuiApplication::clipboard()->setText(u"5"_s);
    QTest::keyClick(w.keyTarget(), Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(seen, (QStringList{u"key 1"_s, u"key 12"_s, u"key 125"_s, u"key 125"_s}));

    // A Tab's release reaches the next box; the paste that follows is still
    // one without a key.
    seen.clear();
    QTest::keyPress(w.keyTarget(), Qt::Key_Tab);
    QVERIFY(!w.box()->hasFocus());
    QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Tab);
    QGuiApplication::clipboard()->setText(u"7"_s);
    QVERIFY(testing::pasteFromMenu(w.box()));
    QCOMPARE(w.line()->text(), u"1257"_s);
    QCOMPARE(seen, QStringList{u"paste 1257"_s});
}

void TestFramework::fillPickList()
{
    testing::TempWorkDir dir;
    for (const auto &[name, price] : {std::pair{u"可乐"_s, 3.0}, {u"雪碧"_s, 2.5}, {u"可乐"_s, 3.5},
                                      {QString(), 1.0}, {u"矿泉水"_s, 1.0}, {u"雪碧"_s, 2.5}})
        testing::exec(u"insert into spxx (品名, 单价) values (?, ?)"_s,
                      {name.isNull() ? QVariant() : QVariant(name), price});
    const QString distinct = u"Select Distinct 品名 From spxx"_s;
    auto engineOrder = [&distinct] {
        QStringList names;
        for (const QStringList &row : testing::rows(distinct))
            names << row.value(0);
        return names;
    };
    auto items = [](QComboBox &box) {
        QStringList names;
        for (int i = 0; i < box.count(); ++i)
            names << box.itemText(i);
        return names;
    };

    Connection connection;
    Query query(connection, store::Listing::all(u"spxx"_s));
    query.open();

    for (const bool editable : {true, false}) {
        QComboBox box;
        box.setEditable(editable);
        box.addItems({u"旧商品"_s, u"可乐"_s});
        box.setCurrentIndex(1);
        if (editable)
            box.setEditText(u"正在输入"_s);

        ui::fillPickList(&box, query, u"spxx"_s, u"品名"_s);
        QAbstractItemModelTester tester(box.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QStringList expected = engineOrder();
        QCOMPARE(expected.size(), 4);
        QCOMPARE(items(box), expected);
        QCOMPARE(box.currentText(), QString());
        QCOMPARE(box.currentIndex(), -1);
        // The query lists the table's rows: empty exactly when the list is.
        QVERIFY(query.isActive());
        QCOMPARE(query.listing(), store::Listing::all(u"spxx"_s));
        QVERIFY(!query.isEmpty());

        // A reload shows a product added meanwhile, and each name still once.
        testing::exec(u"insert into spxx (品名, 单价) values ('牛奶', 4)"_s);
        ui::fillPickList(&box, query, u"spxx"_s, u"品名"_s);
        QCOMPARE(items(box), engineOrder());
        QCOMPARE(box.count(), 5);
        QCOMPARE(box.currentText(), QString());
        testing::exec(u"delete from spxx where 品名 = '牛奶'"_s);
    }

    QComboBox box;
    testing::exec(u"delete from spxx"_s);
    ui::fillPickList(&box, query, u"spxx"_s, u"品名"_s);
    QCOMPARE(box.count(), 0);
    QVERIFY(query.isEmpty());
}

void TestFramework::pickListReadsOnDemand_data()
{
    QTest::addColumn<QString>("list");
    QTest::newRow("products, in the order of their first rows") << u"products"_s;
    QTest::newRow("cashiers of the archive, through their index") << u"cashiers"_s;
    QTest::newRow("ticket numbers, ascending") << u"tickets"_s;
}

// A long list is read as it is reached: its first page when it is filled,
// more as the arrow keys or the scrolled open list reach its end, the rest on
// End; each value once, in its order, and the model stays sound throughout.
void TestFramework::pickListReadsOnDemand()
{
    QFETCH(QString, list);

    constexpr int kValues = 3000;
    testing::TempWorkDir dir;
    // Every fifth row repeats an earlier value: listed once. Written out of
    // order, so that the two orders differ.
    const QString table = list == u"products"_s ? u"spxx"_s : u"xstj"_s;
    const QString column = list == u"products"_s ? u"品名"_s : list == u"cashiers"_s ? u"收银员"_s : u"单号"_s;
    testing::exec(u"delete from %1"_s.arg(table));
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                  "INSERT INTO %1 (%2) SELECT CASE WHEN i % 5 = 0 THEN printf('名%06d', (i / 5 * 7919) % ?) "
                  "ELSE printf('名%06d', ((i - i / 5) * 7919) % ?) END FROM n"_s.arg(table, column),
                  {kValues * 5 / 4, kValues, kValues});
    QStringList expected;
    const QString order = list == u"tickets"_s ? u" order by %1"_s.arg(column) : QString();
    // The engine's own order for the pick list's text.
    for (const QStringList &row : testing::rows(u"select distinct %1 from %2%3"_s.arg(column, table, order)))
        expected << row.value(0);
    QCOMPARE(expected.size(), kValues);
    QStringList ascending = expected;
    ascending.sort();
    // Without an index (the catalogue's leaves out nulls, so the engine does
    // not list through it) the engine lists the values as their first rows come.
    QCOMPARE(expected == ascending, list != u"products"_s);

    Connection connection;
    Query query(connection, store::Listing::all(u"spxx"_s));
    QWidget window;
    auto *box = new QComboBox(&window);
    box->setEditable(true);
    ui::onListChoice(box, [] {}); // as the program's lists
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto fill = [&] {
        if (list == u"tickets"_s)
            ui::fillPickListByPages(box, connection, table, column);
        else
            ui::fillPickList(box, query, table, column);
    };
    fill();
    auto items = [box] {
        QStringList names;
        for (int i = 0; i < box->count(); ++i)
            names << box->itemText(i);
        return names;
    };

    const int firstPage = box->count();
    QVERIFY2(firstPage >= 100 && firstPage < kValues, qPrintable(QString::number(firstPage)));
    QCOMPARE(items(), expected.mid(0, firstPage));

    // Down from the last value read reads on.
    box->setFocus();
    ui::setListText(box, expected[firstPage - 2]);
    QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->currentText(), expected[firstPage - 1]);
    QVERIFY(box->count() > firstPage);
    QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->currentText(), expected[firstPage]);
    QCOMPARE(items(), expected.mid(0, box->count()));

    // The open list scrolled to its end reads on.
    const int before = box->count();
    box->showPopup();
    QVERIFY(QTest::qWaitForWindowExposed(box->view()));
    box->view()->scrollToBottom();
    QTRY_VERIFY(box->count() > before);
    QCOMPARE(items(), expected.mid(0, box->count()));

    // End goes to the last value of all.
    QTest::keyClick(box->view(), Qt::Key_End);
    QCOMPARE(items(), expected);
    QCOMPARE(box->view()->currentIndex().row(), kValues - 1);
    box->hidePopup();

    // Filled again: the first page alone, the text empty.
    fill();
    QCOMPARE(box->count(), firstPage);
    QCOMPARE(box->currentText(), QString());

    // The model is sound as it is filled and grows.
    QAbstractItemModelTester tester(box->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill();
    box->showPopup();
    QTest::keyClick(box->view(), Qt::Key_End);
    QCOMPARE(items(), expected);
}

void TestFramework::gridCountsWhenShown_data()
{
    QTest::addColumn<QString>("whileHidden");
    QTest::addColumn<QStringList>("shown");

    // Each grid shows a, b, c once before it is hidden (a window closed).
    QTest::newRow("nothing") << QString() << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("reopened after another program added a row")
        << u"reopen"_s << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s};
    QTest::newRow("a row appended through the list, then reopened")
        << u"append reopen"_s << QStringList{u"a"_s, u"b"_s, u"c"_s, u"e"_s, u"d"_s};
    QTest::newRow("reopened, then a row appended through the list")
        << u"reopen append"_s << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s};
    QTest::newRow("reopened, then the first row deleted")
        << u"reopen delete"_s << QStringList{u"b"_s, u"c"_s, u"d"_s};
    QTest::newRow("the first row deleted") << u"delete"_s << QStringList{u"b"_s, u"c"_s};
    QTest::newRow("a row appended through the list") << u"append"_s << QStringList{u"a"_s, u"b"_s, u"c"_s, u"e"_s};
    QTest::newRow("closed") << u"close"_s << QStringList{};
}

// A grid not shown lists nothing and counts nothing (a window made at start,
// a list reopened before its window opens); shown again, it lists the rows
// as they are then, whatever happened to the list meanwhile.
void TestFramework::gridCountsWhenShown()
{
    QFETCH(QString, whileHidden);
    QFETCH(QStringList, shown);

    testing::TempWorkDir dir;
    for (const QString &name : {u"a"_s, u"b"_s, u"c"_s})
        testing::exec(u"insert into xsxx (品名, 数量) values (?, 1)"_s, {name});
    Connection connection;
    Query query(connection, store::Listing::all(u"xsxx"_s));
    query.open();
    QWidget window;
    // 品名 first: the tester expects the first column of the rows after a
    // removal to keep its value, which a row-number column does not.
    auto *grid = new ui::ListGrid(query, {{u"品名"_s, u"品名"_s, 200, false}, {u"序号"_s, QString(), 45, false}},
                                  &window);
    grid->resize(300, 200);
    QAbstractItemModelTester tester(grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto names = [grid] {
        QStringList out;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            out << grid->model()->index(r, 0).data().toString();
        return out;
    };
    QCOMPARE(grid->model()->rowCount(), 0); // made, not shown: nothing counted
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(names(), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    window.hide();

    for (const QString &step : whileHidden.split(u' ', Qt::SkipEmptyParts)) {
        if (step == u"reopen") {
            testing::exec(u"insert into xsxx (品名, 数量) values ('d', 1)"_s);
            query.close();
            query.open();
            QCOMPARE(grid->model()->rowCount(), 0);
        } else if (step == u"append") {
            idiom::appendRow(query, {{u"品名"_s, u"e"_s}});
        } else if (step == u"delete") {
            query.first();
            query.remove();
        } else if (step == u"close") {
            query.close();
        }
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(names(), shown);
    QCOMPARE(grid->model()->rowCount(), query.isActive() ? query.recordCount() : 0);
    // The grid's current row is the list's cursor.
    if (query.isActive() && !shown.isEmpty())
        QCOMPARE(grid->currentIndex().row(), query.currentIndex());
}

void TestFramework::gridKeepsDeletesOnTheCursorRow()
{
    testing::TempWorkDir dir;
    for (const QString &name : {u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s})
        testing::exec(u"insert into xsxx (品名, 数量) values (?, 1)"_s, {name});
    auto stored = [] {
        QStringList names;
        for (const QStringList &row : testing::rows(u"select 品名 from xsxx order by ID"_s))
            names << row.value(0);
        return names;
    };
    Connection connection;
    Query query(connection, store::Listing::all(u"xsxx"_s));
    query.open();
    ui::ListGrid grid(query, {{u"序号"_s, QString(), 45, false}, {u"品名"_s, u"品名"_s, 200, false}});
    grid.resize(400, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));

    // The cashier picks the third line and deletes it.
    const QRect third = grid.visualRect(grid.model()->index(2, 1));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(query.fieldText(u"品名"_s), u"c"_s);
    query.remove();
    QCOMPARE(stored(), (QStringList{u"a"_s, u"b"_s, u"d"_s, u"e"_s}));
    QCOMPARE(query.recordCount(), 4);
    QCOMPARE(query.fieldText(u"品名"_s), u"d"_s);
    QCOMPARE(grid.currentIndex().row(), 2);
    QCOMPARE(grid.model()->rowCount(), 4);

    // Emptying the table through the query leaves nothing behind.
    query.first();
    while (!query.eof())
        query.remove();
    QCOMPARE(stored(), QStringList());
    QCOMPARE(grid.model()->rowCount(), 0);
}

void TestFramework::gridTakesAListRetakenInsideARowChange_data()
{
    QTest::addColumn<bool>("remove"); // else append
    QTest::newRow("a row removed") << true;
    QTest::newRow("a row appended") << false;
}

// A slot ahead of the grid's (the footer's sums) reads the list while a row
// of it is being removed or appended, and finds it changed by another
// program (another till): the list is taken again inside the row's change,
// and the grid shows the rows as they are then.
void TestFramework::gridTakesAListRetakenInsideARowChange()
{
    QFETCH(bool, remove);
    testing::TempWorkDir dir;
    for (const QString &name : {u"a"_s, u"b"_s, u"c"_s})
        testing::exec(u"insert into xsxx (品名, 数量) values (?, 1)"_s, {name});
    Connection connection;
    Query query(connection, store::Listing::all(u"xsxx"_s));
    query.open();
    bool elsewhere = false;
    auto readAfterAnotherProgram = [&] {
        if (std::exchange(elsewhere, true))
            return;
        testing::exec(u"delete from xsxx where 品名 = 'c'"_s);
        query.recordCount();
    };
    QObject::connect(&query, &Query::rowRemoved, &query, readAfterAnotherProgram);
    QObject::connect(&query, &Query::rowsInserted, &query, readAfterAnotherProgram);
    ui::ListGrid grid(query, {{u"品名"_s, u"品名"_s, 200, false}, {u"序号"_s, QString(), 45, false}});
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.resize(400, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));

    if (remove) {
        query.first();
        query.remove();
    } else {
        idiom::appendRow(query, {{u"品名"_s, u"e"_s}});
    }
    QVERIFY(elsewhere);
    QStringList stored;
    for (const QStringList &row : testing::rows(u"select 品名 from xsxx order by ID"_s))
        stored << row.value(0);
    // The row removed or appended here, and the one the other program deleted.
    const QStringList expected = remove ? QStringList{u"b"_s} : QStringList{u"a"_s, u"b"_s, u"e"_s};
    QCOMPARE(stored, expected);
    QStringList shown;
    for (int r = 0; r < grid.model()->rowCount(); ++r)
        shown << grid.model()->index(r, 0).data().toString();
    QCOMPARE(shown, stored);
    QCOMPARE(query.recordCount(), stored.size());
}

// Tests name the file a cashier would pick, in order; an empty name is a cancel.
void TestFramework::saveDialogAnswersFromTheQueue()
{
    ui::clearSaveFileNames();
    ui::queueSaveFileName(u"/tmp/销售统计"_s);
    ui::queueSaveFileName(QString());
    QCOMPARE(ui::pendingSaveFileNames(), 2);
    QCOMPARE(ui::saveFileName(nullptr, u"保存"_s, QString(), QString()), u"/tmp/销售统计"_s);
    QVERIFY(ui::saveFileName(nullptr, u"保存"_s, QString(), QString()).isEmpty());
    QCOMPARE(ui::pendingSaveFileNames(), 0);
}


namespace {
// A window with an editable list and a plain box to move the focus to.
struct ChoiceWindow {
    QWidget window;
    QComboBox *box = new QComboBox(&window);
    QLineEdit *other = new QLineEdit(&window);
    int chosen = 0;
    ChoiceWindow()
    {
        auto *layout = new QHBoxLayout(&window);
        layout->addWidget(box);
        layout->addWidget(other);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->addItems({u"10"_s, u"9.9"_s, u"9.8"_s, u"苹果"_s});
        ui::onListChoice(box, [this] { ++chosen; });
        window.show();
        QApplication::setActiveWindow(&window);
        if (!QTest::qWaitForWindowActive(&window))
            qWarning("window not active");
    }
};
} // namespace

void TestFramework::gridReportsClicksOnItsEmptyArea()
{
    testing::TempWorkDir dir;
    Connection c;
    Query q(c, store::Listing::all(u"xsxx"_s));
    q.open();
    ui::ListGrid grid(q, {{u"序号"_s, {}, 45, false}, {u"品名"_s, u"品名"_s, 250, false}});
    grid.resize(300, 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    int clicks = 0;
    connect(&grid, &ui::ListGrid::cellClicked, this, [&] { ++clicks; });
    testing::clickAt(grid.viewport(), {50, 150});
    QCOMPARE(clicks, 1);
}

void TestFramework::listChoiceOnlyFromTheList_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("text");
    // Typing an item's text and leaving the box is no choice.
    QTest::newRow("typed, Tab away") << u"type 苹果, tab"_s << 0 << u"苹果"_s;
    QTest::newRow("typed, click elsewhere") << u"type 苹果, click"_s << 0 << u"苹果"_s;
    QTest::newRow("typed, Enter") << u"type 9.8, enter"_s << 0 << u"9.8"_s;
    // The arrow keys go on from the text the program set.
    QTest::newRow("set 10, Down") << u"set 10, down"_s << 1 << u"9.9"_s;
    QTest::newRow("set 9.9, Up") << u"set 9.9, up"_s << 1 << u"10"_s;
    QTest::newRow("picked with the mouse") << u"pick 9.8"_s << 1 << u"9.8"_s;
    // F4 opens the list, Down moves in it, Enter chooses.
    QTest::newRow("picked with the keyboard") << u"open, down, enter"_s << 1 << u"苹果"_s;
}

void TestFramework::listChoiceOnlyFromTheList()
{
    QFETCH(QString, how);
    QFETCH(int, chosen);
    QFETCH(QString, text);
    ChoiceWindow w;
    ui::setListText(w.box, u"9.8"_s); // a position away from where the rows go
    const QStringList step = how.split(u", "_s);
    const QString action = step[0].section(u' ', 0, 0), value = step[0].section(u' ', 1);
    if (action == u"type"_s) {
        w.box->lineEdit()->clear();
        testing::typeInto(w.box, value);
    } else if (action == u"set"_s) {
        ui::setListText(w.box, value);
        w.box->setFocus();
    } else if (action == u"open"_s) {
        w.box->setFocus();
        QTest::keyClick(w.box, Qt::Key_F4);
        QVERIFY(QTest::qWaitForWindowExposed(w.box->view()->window()));
        QTest::keyClick(w.box->view(), Qt::Key_Down);
        QTest::keyClick(w.box->view(), Qt::Key_Return);
        QTRY_VERIFY(!w.box->view()->isVisible());
    } else {
        QVERIFY(testing::pickFromList(w.box, value));
    }
    const QString then = step.value(1);
    if (then == u"tab"_s)
        QTest::keyClick(w.box->lineEdit(), Qt::Key_Tab);
    else if (then == u"click"_s)
        testing::click(w.other);
    else if (then == u"enter"_s)
        QTest::keyClick(w.box->lineEdit(), Qt::Key_Return);
    else if (then == u"down"_s)
        QTest::keyClick(w.box->lineEdit(), Qt::Key_Down);
    else if (then == u"up"_s)
        QTest::keyClick(w.box->lineEdit(), Qt::Key_Up);
    QTRY_COMPARE(w.box->currentText(), text);
    QTest::qWait(20);
    QCOMPARE(w.chosen, chosen);
}
// A refill reaches the list as one reset of its model, not one insertion (and
// one accessibility event) per name.
void TestFramework::pickListFilledInOneStep()
{
    testing::TempWorkDir dir;
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100) "
                  "INSERT INTO spxx (品名, 单价) SELECT '商品' || i, 1 FROM n"_s);
    Connection connection;
    Query query(connection, store::Listing::all(u"spxx"_s));
    QComboBox box;
    box.setEditable(true);
    ui::fillPickList(&box, query, u"spxx"_s, u"品名"_s);
    QCOMPARE(box.count(), 100);

    testing::exec(u"insert into spxx (品名, 单价) values ('牛奶', 4)"_s);
    int inserted = 0, resets = 0;
    connect(box.model(), &QAbstractItemModel::rowsInserted, this, [&] { ++inserted; });
    connect(box.model(), &QAbstractItemModel::modelReset, this, [&] { ++resets; });
    ui::fillPickList(&box, query, u"spxx"_s, u"品名"_s);
    QCOMPARE(box.count(), 101);
    QCOMPARE(box.itemText(0), u"商品1"_s);
    QCOMPARE(box.itemText(100), u"牛奶"_s);
    QCOMPARE(inserted, 0);
    QCOMPARE(resets, 1);
    QCOMPARE(box.currentIndex(), -1);
    QCOMPARE(box.currentText(), QString());
}

void TestFramework::wrongPasswordDelay_data()
{
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("seconds");

    QTest::newRow("first") << 1 << 0;
    QTest::newRow("third") << 3 << 0;
    QTest::newRow("fourth") << 4 << 1;
    QTest::newRow("fifth") << 5 << 2;
    QTest::newRow("sixth") << 6 << 4;
    QTest::newRow("ninth") << 9 << 32;
    QTest::newRow("tenth: a minute at most") << 10 << 60;
    QTest::newRow("hundredth") << 100 << 60;
    QTest::newRow("two thousand millionth") << 2000000000 << 60;
}

void TestFramework::wrongPasswordDelay()
{
    QFETCH(int, failures);
    QFETCH(int, seconds);
    QCOMPARE(ui::wrongPasswordDelay(failures).count(), seconds * 1000LL);
}

// A grid's rows keep their list's order, so a click on a title sorts
// nothing, and no title shows a sort arrow.
void TestFramework::titlesShowNoSortArrow()
{
    testing::TempWorkDir dir;
    for (const QString &name : {u"b"_s, u"a"_s, u"c"_s})
        testing::exec(u"insert into xsxx (品名, 数量) values (?, 1)"_s, {name});
    Connection connection;
    Query query(connection, store::Listing::all(u"xsxx"_s));
    query.open();
    QWidget window;
    auto *grid = new ui::ListGrid(query, {{u"序号"_s, QString(), 45, false}, {u"品名"_s, u"品名"_s, 200, false}},
                                  &window);
    grid->resize(300, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QHeaderView *header = grid->horizontalHeader();
    for (int section : {1, 1, 0}) {
        const QRect title(header->sectionViewportPosition(section), 0, header->sectionSize(section), header->height());
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, title.center());
        QVERIFY(!header->isSortIndicatorShown());
    }
    QStringList names;
    for (int r = 0; r < grid->model()->rowCount(); ++r)
        names << grid->model()->index(r, 1).data().toString();
    QCOMPARE(names, (QStringList{u"b"_s, u"a"_s, u"c"_s}));
}

void TestFramework::oneLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");

    QTest::newRow("plain") << u"苹果"_s << u"苹果"_s;
    QTest::newRow("a spreadsheet cell") << u"苹果\r\n"_s << u"苹果"_s;
    QTest::newRow("breaks around") << u"\n\t苹果\n\n"_s << u"苹果"_s;
    QTest::newRow("two cells") << u"苹果\t3.5"_s << u"苹果 3.5"_s;
    QTest::newRow("two lines") << u"红\r\n\r\n苹果"_s << u"红 苹果"_s;
    QTest::newRow("blanks kept") << u"  梨 "_s << u"  梨 "_s;
    QTest::newRow("only breaks") << u"\r\n\t"_s << QString();
    QTest::newRow("other separators") << u"a\u2028b\u2029c\vd\fe"_s << u"a b c d e"_s;
    // A paste from a terminal or a binary file.
    QTest::newRow("control characters dropped")
        << QString::fromUtf8(QByteArray("\0可\x1b[1m乐\x07\x7f", 13)) + QChar(0x85) << u"可[1m乐"_s;
    QTest::newRow("breaks beside control characters") << u"甲\x01\n\x02乙"_s << u"甲 乙"_s;
    // What the database would give back as U+FFFD is taken as U+FFFD.
    QTest::newRow("noncharacters") << u"果"_s + QChar(0xFFFF) + u"汁"_s + QChar(0xFFFE) << u"果\uFFFD汁\uFFFD"_s;
    QTest::newRow("lone surrogates") << QString(QChar(0xD800)) + u"a"_s + QChar(0xDC00)
                                     << u"\uFFFDa\uFFFD"_s;
    QTest::newRow("a surrogate pair kept") << u"😀果"_s << u"😀果"_s;
}

void TestFramework::oneLine()
{
    QFETCH(QString, text);
    QFETCH(QString, kept);
    QCOMPARE(ui::oneLine(text), kept);
}

void TestFramework::oneLineBoxTakesPastedText()
{
    BoxWindow w(Target::Combo);
    ui::keepOneLine(w.combo);
    QVERIFY(w.showAndFocus());
    QTest::keyClicks(w.keyTarget(), u"ab"_s);
    QTest::keyClick(w.keyTarget(), Qt::Key_Left);
    QGuiApplication::clipboard()->setText(u"\t1\n2\r\n"_s);
    QTest::keyClick(w.keyTarget(), Qt::Key_V, Qt::ControlModifier);
    // Inside the text each run of breaks stands as one space.
    QCOMPARE(w.line()->text(), u"a 1 2 b"_s);
    // The cursor stays after what was pasted.
    QCOMPARE(w.line()->cursorPosition(), 6);
    QTest::keyClicks(w.keyTarget(), u"x"_s);
    QCOMPARE(w.line()->text(), u"a 1 2 xb"_s);
    // At the end, a cell's closing line break is dropped.
    QTest::keyClick(w.keyTarget(), Qt::Key_End);
    QGuiApplication::clipboard()->setText(u"\t苹果\r\n"_s);
    QTest::keyClick(w.keyTarget(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w.line()->text(), u"a 1 2 xb 苹果"_s);
    QCOMPARE(w.line()->cursorPosition(), w.line()->text().size());
}

void TestFramework::centreOnScreen_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("fits");
    QTest::newRow("small window") << QSize(346, 265) << true;
    QTest::newRow("larger than the screen") << QSize(5000, 4000) << false;
}

void TestFramework::centreOnScreen()
{
    QFETCH(QSize, size);
    QFETCH(bool, fits);

    QWidget window;
    window.setFixedSize(size);
    window.move(3, 5);
    ui::centreOnScreen(&window);
    const QRect area = window.screen()->availableGeometry();
    if (fits) {
        const QPoint offset = window.geometry().center() - area.center();
        QVERIFY2(offset.manhattanLength() <= 1, qPrintable(u"%1,%2"_s.arg(offset.x()).arg(offset.y())));
    } else {
        // Its title bar stays on the screen.
        QCOMPARE(window.pos(), area.topLeft());
    }
}

QTEST_MAIN(TestFramework)
#include "tst_framework.moc"
