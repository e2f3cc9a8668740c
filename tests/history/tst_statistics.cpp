// 销售统计 and 销售明细 as a shop owner uses them: the list and its order,
// the footer totals, deleting tickets and the clearing of archived lines,
// a ticket's detail, and what an ordinary user may do.
#include "HistoryFixture.h"

#include "app/Rights.h"
#include "ui/FileDialog.h"
#include "ui/GridFooter.h"
#include "ui/ListGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;
using namespace historytest;

namespace {

// Stored out of time order, so "oldest first" and "stored order" differ.
// The sums need exact decimals: 19.475 + 29.9 + 0.1 added as doubles is
// 49.474999…, which would show 49.47.
void seedArchive()
{
    addTicket(u"20240302093000"_s, u"2024-03-02 09:30:00"_s, 2.0, 20.5, 19.475, u"张三"_s);
    addTicket(u"20240301080000"_s, u"2024-03-01 08:00:00"_s, 3.0, 31.5, 29.9, u"admin"_s);
    addTicket(u"20240302180000"_s, u"2024-03-02 18:00:00"_s, 1.0, 0.125, 0.1, u"李四"_s);
    addLine(u"20240301080000"_s, u"苹果"_s, 10.5, 2, 21, 19.9, u"王五"_s, u"13800000000"_s);
    addLine(u"20240301080000"_s, u"香蕉"_s, 10.5, 1, 10.5, 10);
    addLine(u"20240302093000"_s, u"梨"_s, 10.25, 2, 20.5, 19.475);
    addLine(u"20240302180000"_s, u"糖"_s, 0.125, 1, 0.125, 0.1);
}

const QStringList kAllByTime{u"20240301080000"_s, u"20240302093000"_s, u"20240302180000"_s};
const QStringList kAllStored{u"20240302093000"_s, u"20240301080000"_s, u"20240302180000"_s};

QStringList numbersShown()
{
    return shownColumn(XstjForm->DBGridEh1, 1);
}

QStringList footer()
{
    return footerTexts(XstjForm->DBGridEh1Footer, 7);
}

QStringList footerOf(const QString &quantity, const QString &amount, const QString &afterDiscount)
{
    return {u"合计"_s, {}, {}, quantity, amount, afterDiscount, {}};
}

// Narrows the list through 查询 as a user does: the number typed, 查询 clicked.
void queryNumber(const QString &number)
{
    testing::whileModal([number](QWidget *) {
        testing::typeInto(XscxForm->ComboBox1, number);
        testing::click(XscxForm->SpeedButton1);
    });
    testing::click(XstjForm->SpeedButton1);
}

enum class Way { Button, Menu };

// Runs 删除 by its button or its menu item, on the row a user picked.
void deleteRow(int row, Way way)
{
    if (way == Way::Button) {
        if (row >= 0)
            clickRow(XstjForm->DBGridEh1, row);
        testing::click(XstjForm->SpeedButton4);
    } else {
        const QPoint at = row >= 0 ? rowPoint(XstjForm->DBGridEh1, row) : emptyPoint(XstjForm->DBGridEh1);
        QVERIFY(chooseFromMenu(XstjForm, XstjForm->N6, at));
    }
}

struct Detail {
    QString title;
    QList<QStringList> rows;
    QStringList footer;
    bool opened = false;
};

// Double-clicks the grid at a point and reads the detail window it opens.
Detail doubleClickDetail(QPoint at)
{
    Detail d;
    testing::whileModal([&d](QWidget *modal) {
        d.opened = modal == XsmxForm;
        d.title = XsmxForm->windowTitle();
        d.rows = shownRows(XsmxForm->DBGridEh1);
        d.footer = footerTexts(XsmxForm->DBGridEh1Footer, 8);
    });
    doubleClickAt(XstjForm->DBGridEh1, at);
    return d;
}

} // namespace

class TestStatistics : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layout();
    void listingOrder_data();
    void listingOrder();
    void gridShowsTickets();
    void footerSums_data();
    void footerSums();
    void sumsThatDoNotFit();
    void largeSumsShownWhole();
    void rowNumbersOfAMillionShownWhole();

    void deleteTicket_data();
    void deleteTicket();
    void lastDeletionClearsLines_data();
    void lastDeletionClearsLines();
    void deleteWithEmptyList_data();
    void deleteWithEmptyList();

    void detail_data();
    void detail();
    void detailOfEmptyList_data();
    void detailOfEmptyList();

    void rights_data();
    void rights();

private:
    std::unique_ptr<testing::Session> session_;
    testing::TempWorkDir *dir_ = nullptr;
    testing::Prompts *prompts_ = nullptr;
};

void TestStatistics::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
}

void TestStatistics::init()
{
    session_ = std::make_unique<testing::Session>(seedArchive);
    dir_ = &session_->dir();
    prompts_ = &session_->prompts();
}

void TestStatistics::cleanup()
{
    ui::clearSaveFileNames();
    session_.reset();
}

void TestStatistics::layout()
{
    QRect client;
    QList<int> buttonsLeft;
    QStringList captions;
    QStringList menu;
    bool edit1Hidden = false;
    bool footerUnderGrid = false;
    inStatistics([&] {
        client = XstjForm->contentsRect();
        for (QPushButton *b : {XstjForm->SpeedButton1, XstjForm->SpeedButton3, XstjForm->SpeedButton2,
                               XstjForm->SpeedButton4, XstjForm->SpeedButton5, XstjForm->SpeedButton6}) {
            buttonsLeft << b->mapTo(XstjForm, QPoint()).x();
            captions << b->text();
            QVERIFY(b->mapTo(XstjForm, QPoint()).y() < XstjForm->DBGridEh1->mapTo(XstjForm, QPoint()).y());
        }
        for (QAction *a : XstjForm->PopupMenu1->actions())
            menu << (a->isSeparator() ? u"-"_s : a->text());
        edit1Hidden = !XstjForm->Edit1->isVisible();
        const QRect grid = XstjForm->DBGridEh1->geometry();
        const QRect foot = XstjForm->DBGridEh1Footer->geometry();
        footerUnderGrid = foot.top() >= grid.bottom() && foot.left() == grid.left() && foot.width() == grid.width();
    });
    QCOMPARE(client.size(), QSize(717, 514));
    QCOMPARE(captions, QStringList({u"查询"_s, u"刷新"_s, u"导出"_s, u"删除"_s, u"重打"_s, u"日结"_s}));
    QVERIFY(std::is_sorted(buttonsLeft.begin(), buttonsLeft.end()));
    QCOMPARE(menu, QStringList({u"查询"_s, u"刷新"_s, u"-"_s, u"导出"_s, u"-"_s, u"删除"_s, u"-"_s, u"重打"_s}));
    QVERIFY(edit1Hidden);
    QVERIFY(footerUnderGrid);
    QCOMPARE(XstjForm->DBGridEh1->toolTip(), u"双击查看销售明细！"_s);
    QCOMPARE(XsmxForm->size(), QSize(901, 559));
    QCOMPARE(XscxForm->size(), QSize(264, 221));
}

void TestStatistics::listingOrder_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QStringList>("numbers");

    QTest::newRow("统计 lists oldest first") << u"open"_s << kAllByTime;
    QTest::newRow("刷新 lists in stored order") << u"refresh"_s << kAllStored;
    QTest::newRow("menu 刷新 lists in stored order") << u"menu refresh"_s << kAllStored;
    QTest::newRow("刷新 ends a query") << u"query, refresh"_s << kAllStored;
}

void TestStatistics::listingOrder()
{
    QFETCH(QString, step);
    QFETCH(QStringList, numbers);

    // A sale checked out after start-up is listed too.
    addTicket(u"20240303070000"_s, u"2024-03-03 07:00:00"_s, 1.0, 1.0, 1.0, u"admin"_s);
    numbers << u"20240303070000"_s;

    QStringList shown;
    inStatistics([&] {
        if (step == u"refresh")
            testing::click(XstjForm->SpeedButton3);
        if (step == u"menu refresh")
            QVERIFY(chooseFromMenu(XstjForm, XstjForm->N2, rowPoint(XstjForm->DBGridEh1, 0)));
        if (step == u"query, refresh") {
            queryNumber(u"0301"_s);
            QCOMPARE(numbersShown(), QStringList({u"20240301080000"_s}));
            testing::click(XstjForm->SpeedButton3);
        }
        shown = numbersShown();
    });
    QCOMPARE(shown, numbers);
    QCOMPARE(prompts_->texts(), QStringList());
}

void TestStatistics::gridShowsTickets()
{
    QList<QStringList> rows;
    inStatistics([&] { rows = shownRows(XstjForm->DBGridEh1); });
    const QList<QStringList> expected{
        {u"1"_s, u"20240301080000"_s, u"2024-03-01 08:00:00"_s, u"3"_s, u"31.5"_s, u"29.9"_s, u"admin"_s},
        {u"2"_s, u"20240302093000"_s, u"2024-03-02 09:30:00"_s, u"2"_s, u"20.5"_s, u"19.48"_s, u"张三"_s},
        {u"3"_s, u"20240302180000"_s, u"2024-03-02 18:00:00"_s, u"1"_s, u"0.13"_s, u"0.1"_s, u"李四"_s},
    };
    QCOMPARE(rows, expected);
}

void TestStatistics::footerSums_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("every ticket") << QString() << footerOf(u"6"_s, u"52.13"_s, u"49.48"_s);
    QTest::newRow("the day's tickets") << u"20240302"_s << footerOf(u"3"_s, u"20.63"_s, u"19.58"_s);
    QTest::newRow("one ticket") << u"20240301080000"_s << footerOf(u"3"_s, u"31.5"_s, u"29.9"_s);
    QTest::newRow("nothing found") << u"1999"_s << footerOf(u"0"_s, u"0"_s, u"0"_s);
}

void TestStatistics::footerSums()
{
    QFETCH(QString, number);
    QFETCH(QStringList, expected);

    QStringList shown;
    QStringList before;
    inStatistics([&] {
        before = footer();
        if (!number.isEmpty())
            queryNumber(number);
        shown = footer();
    });
    QCOMPARE(before, footerOf(u"6"_s, u"52.13"_s, u"49.48"_s));
    QCOMPARE(shown, expected);
}

// An archived amount too large to add up leaves the list usable; the footer
// says the sum does not fit instead of showing a wrong one.
void TestStatistics::sumsThatDoNotFit()
{
    addTicket(u"20240304000000"_s, u"2024-03-04 00:00:00"_s, 1.0, 1e300, 1.0, u"admin"_s);
    QStringList shown;
    int rows = 0;
    inStatistics([&] {
        rows = static_cast<int>(shownRows(XstjForm->DBGridEh1).size());
        shown = footer();
    });
    QCOMPARE(rows, 4);
    QCOMPARE(shown, footerOf(u"7"_s, ui::GridFooter::overflowText(), u"50.48"_s));
    QCOMPARE(prompts_->texts(), QStringList());
}

// A shop's totals after years outgrow the columns: each sum is shown whole.
void TestStatistics::largeSumsShownWhole()
{
    addTicket(u"20240304000000"_s, u"2024-03-04 00:00:00"_s, 795282.57, 37864537.06, 37454596.35, u"admin"_s);
    QStringList shown;
    QStringList cut;
    inStatistics([&] {
        shown = footer();
        ui::GridFooter *f = XstjForm->DBGridEh1Footer;
        for (int i = 0; i < shown.size(); ++i) {
            const int room = XstjForm->DBGridEh1->horizontalHeader()->sectionSize(i) - 8;
            if (f->fontMetrics().horizontalAdvance(shown[i]) > room)
                cut << shown[i];
        }
    });
    QCOMPARE(shown, footerOf(u"795288.57"_s, u"37864589.19"_s, u"37454645.83"_s));
    QCOMPARE(cut, QStringList());
}

void TestStatistics::deleteTicket_data()
{
    QTest::addColumn<Way>("way");
    QTest::addColumn<msg::Answer>("answer");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QStringList>("footerAfter");

    const QStringList afterDeleting{u"20240301080000"_s, u"20240302180000"_s};
    QTest::newRow("Cancel") << Way::Button << msg::Answer::Cancel << kAllByTime
                            << footerOf(u"6"_s, u"52.13"_s, u"49.48"_s);
    QTest::newRow("OK") << Way::Button << msg::Answer::Ok << afterDeleting
                        << footerOf(u"4"_s, u"31.63"_s, u"30"_s);
    QTest::newRow("menu, Cancel") << Way::Menu << msg::Answer::Cancel << kAllByTime
                                  << footerOf(u"6"_s, u"52.13"_s, u"49.48"_s);
    QTest::newRow("menu, OK") << Way::Menu << msg::Answer::Ok << afterDeleting
                              << footerOf(u"4"_s, u"31.63"_s, u"30"_s);
}

void TestStatistics::deleteTicket()
{
    QFETCH(Way, way);
    QFETCH(msg::Answer, answer);
    QFETCH(QStringList, left);
    QFETCH(QStringList, footerAfter);

    prompts_->answer(answer);
    QStringList shown;
    QStringList shownFooter;
    inStatistics([&] {
        deleteRow(1, way); // 20240302093000, the second oldest
        shown = numbersShown();
        shownFooter = footer();
    });
    QCOMPARE(prompts_->log().size(), 1);
    const msg::Prompt asked = prompts_->log().first();
    QCOMPARE(asked.text, u"确定要删除选中的销售信息？"_s);
    QCOMPARE(asked.title, u"提示"_s);
    QCOMPARE(asked.icon, msg::Icon::Warning);
    QCOMPARE(asked.buttons, msg::Buttons::OkCancel);
    QCOMPARE(shown, left);
    QCOMPARE(shownFooter, footerAfter);
    QStringList stored;
    for (const QStringList &row : testing::rows(u"select 单号 from xstj order by 时间"_s))
        stored << row.first();
    QCOMPARE(stored, left);
    // The ticket's lines stay while other tickets are archived.
    QCOMPARE(count(u"xsmx"_s), 4);
}

void TestStatistics::lastDeletionClearsLines_data()
{
    QTest::addColumn<Way>("way");
    QTest::newRow("button") << Way::Button;
    QTest::newRow("menu") << Way::Menu;
}

void TestStatistics::lastDeletionClearsLines()
{
    QFETCH(Way, way);

    for (int i = 0; i < 3; ++i)
        prompts_->answer(msg::Answer::Ok);
    QList<int> linesLeft;
    inStatistics([&] {
        for (int i = 0; i < 3; ++i) {
            deleteRow(0, way);
            linesLeft << count(u"xsmx"_s);
        }
        QVERIFY(shownRows(XstjForm->DBGridEh1).isEmpty());
        QCOMPARE(footer(), footerOf(u"0"_s, u"0"_s, u"0"_s));
    });
    QCOMPARE(linesLeft, QList<int>({4, 4, 0}));
    QCOMPARE(count(u"xstj"_s), 0);
    QCOMPARE(prompts_->log().size(), 3);
}

void TestStatistics::deleteWithEmptyList_data()
{
    QTest::addColumn<bool>("archiveEmpty");
    QTest::addColumn<int>("linesLeft");

    // Nothing is asked either way: there is no row to delete.
    QTest::newRow("a query found nothing: the lines stay") << false << 4;
    QTest::newRow("no ticket archived: the lines go") << true << 0;
}

void TestStatistics::deleteWithEmptyList()
{
    QFETCH(bool, archiveEmpty);
    QFETCH(int, linesLeft);

    if (archiveEmpty)
        testing::exec(u"delete from xstj"_s);
    inStatistics([&] {
        if (!archiveEmpty)
            queryNumber(u"1999"_s);
        QVERIFY(shownRows(XstjForm->DBGridEh1).isEmpty());
        testing::click(XstjForm->SpeedButton4);
    });
    QCOMPARE(count(u"xsmx"_s), linesLeft);
    QCOMPARE(count(u"xstj"_s), archiveEmpty ? 0 : 3);
    QCOMPARE(prompts_->texts(), QStringList());
}

void TestStatistics::detail_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QList<QStringList>>("lines");
    QTest::addColumn<QStringList>("footerTexts");

    QTest::newRow("a ticket's lines")
        << u"20240301080000"_s
        << QList<QStringList>{{u"1"_s, u"王五"_s, u"13800000000"_s, u"苹果"_s, u"10.5"_s, u"2"_s, u"21"_s, u"19.9"_s},
                              {u"2"_s, {}, {}, u"香蕉"_s, u"10.5"_s, u"1"_s, u"10.5"_s, u"10"_s}}
        << QStringList{u"合计"_s, {}, {}, {}, {}, u"3"_s, u"31.5"_s, u"29.9"_s};
    // "0301" is part of 20240301080000: its lines must not come along.
    QTest::newRow("a short number")
        << u"0301"_s << QList<QStringList>{{u"1"_s, {}, {}, u"短号"_s, u"5"_s, u"1"_s, u"5"_s, u"5"_s}}
        << QStringList{u"合计"_s, {}, {}, {}, {}, u"1"_s, u"5"_s, u"5"_s};
    // An empty number is part of every number.
    QTest::newRow("an empty number")
        << QString() << QList<QStringList>{{u"1"_s, {}, {}, u"无号"_s, u"7"_s, u"1"_s, u"7"_s, u"7"_s}}
        << QStringList{u"合计"_s, {}, {}, {}, {}, u"1"_s, u"7"_s, u"7"_s};
}

void TestStatistics::detail()
{
    QFETCH(QString, number);
    QFETCH(QList<QStringList>, lines);
    QFETCH(QStringList, footerTexts);

    addTicket(u"0301"_s, u"2024-03-05 00:00:00"_s, 1.0, 5.0, 5.0, u"admin"_s);
    addLine(u"0301"_s, u"短号"_s, 5, 1, 5, 5);
    // An empty number stored as empty text (a null would be no number at all).
    addTicket(u""_s, u"2024-03-06 00:00:00"_s, 1.0, 7.0, 7.0, u"admin"_s);
    addLine(u""_s, u"无号"_s, 7, 1, 7, 7);

    Detail shown;
    QString edit1;
    inStatistics([&] {
        const int row = static_cast<int>(numbersShown().indexOf(number));
        QVERIFY(row >= 0);
        shown = doubleClickDetail(rowPoint(XstjForm->DBGridEh1, row));
        edit1 = XstjForm->Edit1->text();
    });
    QVERIFY(shown.opened);
    QCOMPARE(shown.title, u"单号："_s + number);
    QCOMPARE(edit1, number);
    QCOMPARE(shown.rows, lines);
    QCOMPARE(shown.footer, footerTexts);
    QCOMPARE(prompts_->texts(), QStringList());
}

void TestStatistics::detailOfEmptyList_data()
{
    QTest::addColumn<bool>("archiveEmpty");
    QTest::addColumn<int>("linesLeft");

    QTest::newRow("a query found nothing") << false << 4;
    QTest::newRow("no ticket archived") << true << 0;
}

// No ticket to show: the detail opens titled "单号：" alone and lists no
// line, and the archived lines go only when no ticket is left.
void TestStatistics::detailOfEmptyList()
{
    QFETCH(bool, archiveEmpty);
    QFETCH(int, linesLeft);

    if (archiveEmpty)
        testing::exec(u"delete from xstj"_s);
    Detail shown;
    inStatistics([&] {
        if (!archiveEmpty)
            queryNumber(u"1999"_s);
        shown = doubleClickDetail(emptyPoint(XstjForm->DBGridEh1));
    });
    QVERIFY(shown.opened);
    QCOMPARE(shown.title, u"单号："_s);
    QCOMPARE(shown.rows, QList<QStringList>());
    QCOMPARE(shown.footer, (QStringList{u"合计"_s, {}, {}, {}, {}, u"0"_s, u"0"_s, u"0"_s}));
    QCOMPARE(count(u"xsmx"_s), linesLeft);
    QCOMPARE(prompts_->texts(), QStringList());
}

void TestStatistics::rights_data()
{
    QTest::addColumn<QString>("rights");
    QTest::addColumn<bool>("mayDelete");

    QTest::newRow("管理员") << u"管理员"_s << true;
    QTest::newRow("普通用户") << u"普通用户"_s << false;
}

// Only deleting needs the administrator; querying, refreshing and exporting
// work for everyone.
void TestStatistics::rights()
{
    QFETCH(QString, rights);
    QFETCH(bool, mayDelete);

    app::applyRights(app::rightsColumn(rights));
    if (mayDelete) {
        prompts_->answer(msg::Answer::Ok); // the menu's 删除
        prompts_->answer(msg::Answer::Ok); // the button's
    }
    const QString file = dir_->file(u"day"_s);
    ui::queueSaveFileName(file);
    bool menuDelete = false;
    QStringList afterQuery;
    inStatistics([&] {
        QCOMPARE(XstjForm->SpeedButton4->isEnabled(), mayDelete);
        QCOMPARE(XstjForm->N6->isEnabled(), mayDelete);
        for (QWidget *w : {static_cast<QWidget *>(XstjForm->SpeedButton1), static_cast<QWidget *>(XstjForm->SpeedButton3),
                           static_cast<QWidget *>(XstjForm->SpeedButton2)})
            QVERIFY(w->isEnabled());
        for (QAction *a : {XstjForm->N1, XstjForm->N2, XstjForm->N4})
            QVERIFY(a->isEnabled());
        menuDelete = chooseFromMenu(XstjForm, XstjForm->N6, rowPoint(XstjForm->DBGridEh1, 0));
        testing::click(XstjForm->SpeedButton4);
        queryNumber(u"20240302"_s);
        afterQuery = numbersShown();
        testing::click(XstjForm->SpeedButton2);
    });
    QCOMPARE(menuDelete, mayDelete);
    QCOMPARE(count(u"xstj"_s), mayDelete ? 1 : 3); // the menu and the button deleted one each
    QCOMPARE(afterQuery.size(), mayDelete ? 1 : 2);
    QVERIFY(QFile::exists(file + u".xlsx"_s));
    QVERIFY(prompts_->texts().endsWith(u"成功导出全部数据!"_s));
}

// An archive of a million tickets: the last 序号 is seven digits, shown whole
// (the column is as wide as the grid's own measure of its cell asks).
void TestStatistics::rowNumbersOfAMillionShownWhole()
{
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 4 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000) "
                  "INSERT INTO xstj (单号, 时间, 数量, 金额, 折后, 收银员) "
                  "SELECT printf('2025%010d', i), '2025-01-01 00:00:00', 1, 1, 1, 'admin' FROM n"_s);
    QString last;
    int width = 0, needed = 0;
    inStatistics([&] {
        ui::ListGrid *grid = XstjForm->DBGridEh1;
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QApplication::processEvents();
        last = grid->model()->index(grid->model()->rowCount() - 1, 0).data().toString();
        width = grid->columnWidth(0);
        // The rows in view, the last among them (the view measures them).
        needed = static_cast<QAbstractItemView *>(grid)->sizeHintForColumn(0);
    });
    QCOMPARE(last, u"1000000"_s);
    QVERIFY2(width >= needed, qPrintable(u"序号 is %1 wide, its cells need %2"_s.arg(width).arg(needed)));
}

QTEST_MAIN(TestStatistics)
#include "tst_statistics.moc"
