// 系统设置 and its dialogs driven with clicks and keys, opened with 设置 as a
// user opens it: users, products, the print content, the rights as each rights
// value meets them, and what closing the window does to the main window.
#include "admin/QxsmUnit.h"
#include "admin/SptjUnit.h"
#include "admin/SpxgUnit.h"
#include "admin/XtUnit.h"
#include "admin/YhtjUnit.h"
#include "admin/YhxgUnit.h"
#include "store/NumberText.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"
#include "ui/ListGrid.h"
#include "ui/PasswordGate.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPointer>
#include <QtTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QList<QStringList> kUsers = {{u"admin"_s, QString(), u"管理员"_s}, {u"张三"_s, u"3"_s, u"普通用户"_s},
                                   {u"Admin"_s, u"A"_s, u"管理员"_s}, {u"王五"_s, u"5"_s, u"店长"_s}};
const QList<QStringList> kProducts = {
    {u"可乐"_s, u"3"_s}, {u"薯片"_s, u"12.375"_s}, {u"散装糖"_s, QString()}, {u"饼干"_s, u"1.005"_s}};

QList<QStringList> table(const QString &table)
{
    const QString columns = table == u"spxx"_s ? u"品名, 单价"_s : u"用户名, 密码, 权限"_s;
    return testing::rows(u"select %1 from %2 order by rowid"_s.arg(columns, table));
}

// Runs steps in the modal window that a click on the button opens.
void inModal(QWidget *button, std::function<void(QWidget *)> steps)
{
    testing::whileModal(std::move(steps));
    testing::click(button);
}

// 设置 opens the settings window, here on a tab; its close button closes it.
void inSettings(int tab, std::function<void()> steps)
{
    inModal(MainForm->SpeedButton1, [=](QWidget *) {
        XtForm->PageControl1->setCurrentIndex(tab);
        steps();
        XtForm->close();
    });
}

QPoint rowPoint(ui::ListGrid *grid, int row)
{
    return grid->visualRect(grid->model()->index(row, 1)).center();
}

// Empties a box with Ctrl+End and Backspace, then types the text.
void retype(QWidget *box, const QString &text)
{
    testing::click(box);
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    for (int n = 0; n < 300; ++n)
        QTest::keyClick(box, Qt::Key_Backspace);
    testing::typeInto(box, text);
}

int itemCount(QComboBox *box, const QString &text)
{
    int n = 0;
    for (int i = 0; i < box->count(); ++i)
        n += box->itemText(i) == text;
    return n;
}

// "owner icon buttons text" per message shown since the last call; the general
// error display (titled with the program's name) shows as "display".
QStringList shown(testing::Prompts &prompts)
{
    static const char *icons[] = {"none", "information", "warning", "error", "question"};
    static const char *buttons[] = {"ok", "okcancel", "yesno"};
    QStringList out;
    for (const msg::Prompt &p : prompts.log())
        out << (p.title == u"提示"_s ? p.owner : u"display"_s) + u' ' + QLatin1String(icons[int(p.icon)]) + u' '
                + QLatin1String(buttons[int(p.buttons)]) + u' ' + p.text;
    prompts.clear();
    return out;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
    std::optional<testing::TempWorkDir> dir_;
    std::optional<testing::Program> program_;
    std::optional<testing::Prompts> prompts_;

    // The windows made anew over data.mdb as it is now.
    void restart()
    {
        program_.reset();
        program_.emplace();
        MainForm->show();
    }
    QStringList shown() { return ::shown(*prompts_); }

private slots:
    void init();
    void cleanup();
    void addUser_data();
    void addUser();
    void modifyUser_data();
    void modifyUser();
    void addProduct_data();
    void addProduct();
    void modifyProduct_data();
    void modifyProduct();
    void deleting_data();
    void deleting();
    void emptyLists_data();
    void emptyLists();
    void addDialogIsNotModal();
    void savePrintContent_data();
    void savePrintContent();
    void rights_data();
    void rights();
    void ordinaryUserChangesOnlyHisOwnPassword_data();
    void ordinaryUserChangesOnlyHisOwnPassword();
    void wrongOldPasswordsAreAnsweredSlowly();
    void priceBoxes_data();
    void priceBoxes();
    void closingReloadsTheMainLists();
};

void TestSettings::init()
{
    dir_.emplace();
    for (const QStringList &u : kUsers.mid(1))
        testing::exec(u"insert into username values (?, ?, ?)"_s, {u[0], u[1], u[2]});
    for (const QStringList &p : kProducts)
        testing::exec(u"insert into spxx values (?, ?)"_s, {p[0], p[1].isEmpty() ? QVariant() : p[1].toDouble()});
    testing::exec(u"update dynr set 店名 = '老店', 备注 = '谢谢'"_s);
    restart();
    prompts_.emplace();
}

void TestSettings::cleanup()
{
    prompts_.reset();
    program_.reset();
    dir_.reset();
}

void TestSettings::addUser_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("rights");
    QTest::addColumn<bool>("keepOpen");
    QTest::addColumn<QString>("refusal"); // empty: added

    const QString empty = u"用户名不能为空！"_s;
    const QString blankEnds = u"用户名的开头和结尾不能是空格！"_s;
    QTest::newRow("empty name") << QString() << u"管理员"_s << true << empty;
    QTest::newRow("only blanks") << u"   "_s << u"管理员"_s << true << empty;
    QTest::newRow("an ideographic space alone") << u"\u3000"_s << u"管理员"_s << true << empty;
    QTest::newRow("a leading blank") << u" 李四"_s << u"普通用户"_s << true << blankEnds;
    QTest::newRow("a trailing blank") << u"李四 "_s << u"普通用户"_s << true << blankEnds;
    QTest::newRow("a trailing ideographic space") << u"李四\u3000"_s << u"普通用户"_s << true << blankEnds;
    // A second 张三 could never log in, a second admin never be deleted.
    QTest::newRow("a name that exists") << u"张三"_s << u"管理员"_s << false << u"用户名“张三”已经存在！"_s;
    QTest::newRow("admin again") << u"admin"_s << u"管理员"_s << false << u"用户名“admin”已经存在！"_s;
    QTest::newRow("kept open") << u"李四"_s << u"普通用户"_s << true << QString();
    QTest::newRow("a blank inside") << u"李 四"_s << u"普通用户"_s << true << QString();
    // Names are told apart by their letters' case, as the login tells them.
    QTest::newRow("ADMIN, closing") << u"ADMIN"_s << u"管理员"_s << false << QString();
}

// A refused name keeps the dialog and its boxes as they were; an added one
// reloads the main window's cashier list, whose box keeps the cashier.
void TestSettings::addUser()
{
    QFETCH(QString, name);
    QFETCH(QString, rights);
    QFETCH(bool, keepOpen);
    QFETCH(QString, refusal);

    const QStringList added = refusal.isEmpty() ? QStringList{name, u"9"_s, rights} : QStringList();
    testing::typeInto(MainForm->ComboBox6, u"admin"_s);
    inSettings(0, [&] {
        inModal(XtForm->SpeedButton1, [&](QWidget *) {
            if (rights != YhtjForm->ComboBox1->currentText())
                QVERIFY(testing::pickFromList(YhtjForm->ComboBox1, rights));
            if (!keepOpen)
                testing::click(YhtjForm->CheckBox1);
            testing::typeInto(YhtjForm->Edit1, name);
            testing::typeInto(YhtjForm->Edit2, u"9"_s);
            testing::click(YhtjForm->SpeedButton1);
            QCOMPARE(YhtjForm->isVisible(), keepOpen || added.isEmpty());
            QCOMPARE(YhtjForm->Edit1->text(), added.isEmpty() ? name : QString());
            QCOMPARE(YhtjForm->Edit2->text(), added.isEmpty() ? u"9"_s : QString());
        });
        QCOMPARE(MainForm->ComboBox6->currentText(), u"admin"_s);
        if (!added.isEmpty())
            QCOMPARE(itemCount(MainForm->ComboBox6, name), 1);
        inModal(XtForm->SpeedButton1, [&](QWidget *) {
            QCOMPARE(YhtjForm->Edit1->text() + YhtjForm->Edit2->text(), QString());
            QCOMPARE(YhtjForm->ComboBox1->currentText(), rights);
            QCOMPARE(YhtjForm->CheckBox1->isChecked(), keepOpen);
        });
    });
    QCOMPARE(MainForm->ComboBox6->currentText(), u"admin"_s);
    QCOMPARE(shown(), QStringList{u"YhtjForm none ok "_s + (refusal.isEmpty() ? u"添加用户成功！"_s : refusal)});
    QCOMPARE(table(u"username"_s), added.isEmpty() ? kUsers : kUsers + QList<QStringList>{added});
}

void TestSettings::modifyUser_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QString>("pick"); // empty: the rights as opened
    QTest::addColumn<QStringList>("stored"); // empty: a wrong old password

    QTest::newRow("made administrator") << 1 << u"3"_s << u"管理员"_s << QStringList{u"张三"_s, u"new"_s, u"管理员"_s};
    QTest::newRow("a wrong old password") << 1 << u"4"_s << u"管理员"_s << QStringList();
    QTest::newRow("other rights save as 普通用户") << 3 << u"5"_s << QString() << QStringList{u"王五"_s, u"new"_s, u"普通用户"_s};
}

void TestSettings::modifyUser()
{
    QFETCH(int, row);
    QFETCH(QString, oldPassword);
    QFETCH(QString, pick);
    QFETCH(QStringList, stored);

    ui::ListGrid *grid = XtForm->DBGridEh1;
    inSettings(0, [&] {
        testing::whileModal([&](QWidget *) {
            QCOMPARE(YhxgForm->Edit1->text(), kUsers[row][0]);
            QCOMPARE(YhxgForm->ComboBox1->currentText(), u"普通用户"_s);
            QTRY_COMPARE(QApplication::focusWidget(), YhxgForm->Edit2);
            testing::typeInto(YhxgForm->Edit2, oldPassword);
            QCOMPARE(YhxgForm->Edit2->displayText(), QString(oldPassword.size(), u'*'));
            testing::typeInto(YhxgForm->Edit3, u"new"_s);
            if (!pick.isEmpty())
                QVERIFY(testing::pickFromList(YhxgForm->ComboBox1, pick));
            testing::click(YhxgForm->SpeedButton1);
            QCOMPARE(YhxgForm->isVisible(), stored.isEmpty());
            if (stored.isEmpty())
                QCOMPARE(YhxgForm->Edit2->text() + YhxgForm->Edit3->text(), QString());
        });
        testing::doubleClickAt(grid->viewport(), rowPoint(grid, row));
        QCOMPARE(grid->model()->index(row, 2).data().toString(), stored.value(2, kUsers[row][2]));
    });
    QCOMPARE(shown(), QStringList{stored.isEmpty() ? u"YhxgForm error ok 旧密码输入错误！"_s : u"YhxgForm none ok 修改用户信息成功！"_s});
    QCOMPARE(table(u"username"_s)[row], stored.isEmpty() ? kUsers[row] : stored);
}

void TestSettings::addProduct_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("priceKeys");
    QTest::addColumn<bool>("keepOpen");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("added");

    const QString done = u"SptjForm none ok 添加商品成功！"_s;
    QTest::newRow("both empty") << QString() << QString() << true << u"SptjForm none ok 添加商品不能为空！"_s
                                << QStringList();
    QTest::newRow("no price") << u"雪碧"_s << QString() << true << done << QStringList{u"雪碧"_s, QString()};
    QTest::newRow("no name, keys the price box drops") << QString() << u"a-2 ,.5.\b6e"_s << true << done
                                                       << QStringList{QString(), u"2.6"_s};
    QTest::newRow("a name that exists, closing") << u"可乐"_s << u"3.5"_s << false << done
                                                 << QStringList{u"可乐"_s, u"3.5"_s};
    QTest::newRow("a name of 256") << QString(256, u'糖') << u"1"_s << true
                                   << u"display error ok “品名”最多255个字符，这里有256个字符."_s << QStringList();
}

void TestSettings::addProduct()
{
    QFETCH(QString, name);
    QFETCH(QString, priceKeys);
    QFETCH(bool, keepOpen);
    QFETCH(QString, message);
    QFETCH(QStringList, added);

    testing::typeInto(MainForm->ComboBox1, u"可"_s);
    inSettings(1, [&] {
        testing::click(XtForm->SpeedButton4);
        if (!keepOpen)
            testing::click(SptjForm->CheckBox1);
        testing::typeInto(SptjForm->Edit1, name);
        testing::typeInto(SptjForm->Edit2, priceKeys);
        testing::click(SptjForm->SpeedButton1);
        QCOMPARE(SptjForm->isVisible(), keepOpen);
        if (!added.isEmpty()) {
            QCOMPARE(SptjForm->Edit1->text() + SptjForm->Edit2->text(), QString());
            QCOMPARE(XtForm->DBGridEh2->model()->rowCount(), int(kProducts.size()) + 1);
            // The main window lists the name already, once, and its box is emptied.
            QCOMPARE(MainForm->ComboBox1->currentText(), QString());
            QCOMPARE(itemCount(MainForm->ComboBox1, name), 1);
        }
        testing::click(XtForm->SpeedButton4);
        QCOMPARE(SptjForm->Edit1->text() + SptjForm->Edit2->text(), QString());
        QCOMPARE(SptjForm->CheckBox1->isChecked(), keepOpen);
    });
    QCOMPARE(shown(), QStringList{message});
    QCOMPARE(table(u"spxx"_s), added.isEmpty() ? kProducts : kProducts + QList<QStringList>{added});
}

void TestSettings::modifyProduct_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QString>("shownPrice");
    QTest::addColumn<QString>("priceKeys"); // empty: the price as shown
    QTest::addColumn<QStringList>("stored"); // saved with this name typed

    QTest::newRow("12.375 shows 12.38") << 1 << false << u"12.38"_s << QString() << QStringList{u"薯片"_s, u"12.38"_s};
    QTest::newRow("1.005 shows 1.01") << 3 << true << u"1.01"_s << u"1.0.5x"_s << QStringList{u"饼干"_s, u"1.05"_s};
    QTest::newRow("no price, renamed") << 2 << false << QString() << QString() << QStringList{u"散糖"_s, QString()};
}

void TestSettings::modifyProduct()
{
    QFETCH(int, row);
    QFETCH(bool, doubleClick);
    QFETCH(QString, shownPrice);
    QFETCH(QString, priceKeys);
    QFETCH(QStringList, stored);

    ui::ListGrid *grid = XtForm->DBGridEh2;
    inSettings(1, [&] {
        testing::clickAt(grid->viewport(), rowPoint(grid, row));
        testing::whileModal([&](QWidget *) {
            QCOMPARE(SpxgForm->Edit2->text(), shownPrice);
            retype(SpxgForm->Edit1, stored[0]);
            if (!priceKeys.isEmpty())
                retype(SpxgForm->Edit2, priceKeys);
            testing::click(SpxgForm->SpeedButton1);
        });
        if (doubleClick)
            testing::doubleClickAt(grid->viewport(), rowPoint(grid, row));
        else
            testing::click(XtForm->SpeedButton5);
        QCOMPARE(grid->model()->index(row, 1).data().toString(), stored[0]);
        QCOMPARE(itemCount(MainForm->ComboBox1, stored[0]), 1);
    });
    QCOMPARE(shown(), QStringList{u"SpxgForm none ok 修改商品信息成功！"_s});
    QCOMPARE(table(u"spxx"_s)[row], stored);
}

void TestSettings::deleting_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("deleted");

    const QString user = u"XtForm warning okcancel 确定要删除选中的用户？"_s;
    const QString product = u"XtForm warning okcancel 确定要删除选中的商品？"_s;
    QTest::newRow("admin") << 0 << 0 << true << QStringList{user, u"XtForm error ok 管理员不能被删除！"_s} << false;
    QTest::newRow("Admin") << 0 << 2 << true << QStringList{user} << true;
    QTest::newRow("user, Cancel") << 0 << 1 << false << QStringList{user} << false;
    QTest::newRow("product") << 1 << 1 << true << QStringList{product} << true;
    QTest::newRow("product, Cancel") << 1 << 1 << false << QStringList{product} << false;
}

void TestSettings::deleting()
{
    QFETCH(int, tab);
    QFETCH(int, row);
    QFETCH(bool, confirm);
    QFETCH(QStringList, messages);
    QFETCH(bool, deleted);

    prompts_->answer(confirm ? msg::Answer::Ok : msg::Answer::Cancel);
    const QList<QStringList> before = tab == 0 ? kUsers : kProducts;
    inSettings(tab, [&] {
        ui::ListGrid *grid = tab == 0 ? XtForm->DBGridEh1 : XtForm->DBGridEh2;
        testing::clickAt(grid->viewport(), rowPoint(grid, row));
        testing::click(tab == 0 ? XtForm->SpeedButton3 : XtForm->SpeedButton6);
        QCOMPARE(grid->model()->rowCount(), int(before.size()) - int(deleted));
        // The main window's lists wait for the settings window to close.
        QCOMPARE(itemCount(MainForm->ComboBox1, u"薯片"_s), 1);
    });
    QCOMPARE(shown(), messages);
    QList<QStringList> remaining = before;
    if (deleted)
        remaining.removeAt(row);
    QCOMPARE(table(tab == 0 ? u"username"_s : u"spxx"_s), remaining);
}

void TestSettings::emptyLists_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("action"); // 0: 修改, 1: a double-click on the empty list, 2: 删除
    QTest::addColumn<QString>("message");

    // With no user, 修改 has no row to change: saving would add a nameless user.
    QTest::newRow("users: 修改") << 0 << 0 << u"XtForm none ok 用户信息为空！"_s;
    QTest::newRow("users: double-click") << 0 << 1 << u"XtForm none ok 用户信息为空！"_s;
    QTest::newRow("products: 修改") << 1 << 0 << u"XtForm none ok 商品信息为空！"_s;
    QTest::newRow("products: double-click") << 1 << 1 << u"XtForm none ok 商品信息为空！"_s;
    QTest::newRow("products: 删除") << 1 << 2 << u"XtForm warning okcancel 商品信息为空！"_s;
}

void TestSettings::emptyLists()
{
    QFETCH(int, tab);
    QFETCH(int, action);
    QFETCH(QString, message);

    testing::exec(tab == 0 ? u"delete from username"_s : u"delete from spxx"_s);
    restart();
    prompts_->answer(msg::Answer::Ok); // either answer only closes the box
    QPointer<QWidget> opened; // a dialog that opens is closed again, and remembered
    QTimer watchdog;
    connect(&watchdog, &QTimer::timeout, this, [&] {
        if (QWidget *m = QApplication::activeModalWidget(); m && m != XtForm)
            (opened = m)->close();
    });
    inSettings(tab, [&] {
        watchdog.start(200);
        QWidget *targets[2][3] = {{XtForm->SpeedButton2, XtForm->DBGridEh1->viewport(), XtForm->SpeedButton3},
                                  {XtForm->SpeedButton5, XtForm->DBGridEh2->viewport(), XtForm->SpeedButton6}};
        if (action == 1)
            testing::doubleClickAt(targets[tab][1], {40, 60});
        else
            testing::click(targets[tab][action]);
    });
    QVERIFY(!opened);
    QCOMPARE(shown(), QStringList{message});
}

void TestSettings::addDialogIsNotModal()
{
    inSettings(1, [] {
        testing::click(XtForm->SpeedButton4);
        QVERIFY(QTest::qWaitForWindowExposed(SptjForm));
        testing::typeInto(SptjForm->Edit1, u"雪碧"_s);
        // As the window system delivers it: the modal settings window lets it through.
        testing::clickThroughWindow(SptjForm->SpeedButton1);
    });
    QCOMPARE(table(u"spxx"_s).value(kProducts.size()), (QStringList{u"雪碧"_s, QString()}));
    QVERIFY(SptjForm->isVisible());

    // With the dialog still open, closing the main window ends the program.
    bool ended = true;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, this, [&ended] {
        ended = false;
        QCoreApplication::quit();
    });
    timeout.start(5000);
    QTimer::singleShot(0, MainForm, [] { MainForm->close(); });
    QApplication::exec();
    QVERIFY(ended);
}

void TestSettings::savePrintContent_data()
{
    QTest::addColumn<bool>("withRow"); // dynr holds its row
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("refusal"); // empty: saved

    QTest::newRow("20 characters, three lines") << true << u"一二三四五六七八九十甲乙丙丁戊己庚辛壬癸"_s
                                                << QStringList{u"谢谢"_s, u"再来"_s, u"电话 1"_s} << QString();
    QTest::newRow("no row yet") << false << u"小店"_s << QStringList() << QString();
    QTest::newRow("a name of 256") << true << QString(256, u'店') << QStringList() << u"“店名”最多255个字符，这里有256个字符."_s;
    // A line break is one character, as the box shows it (stored as two).
    QTest::newRow("a remark of 255 with its line breaks")
        << true << u"小店"_s << QStringList{QString(127, u'谢'), QString(126, u'谢'), QString()} << QString();
    QTest::newRow("a remark of 256 with its line break") << true << u"小店"_s
                                                         << QStringList{QString(127, u'谢'), QString(128, u'谢')}
                                                         << u"“备注”最多255个字符，这里有256个字符."_s;
}

void TestSettings::savePrintContent()
{
    QFETCH(bool, withRow);
    QFETCH(QString, name);
    QFETCH(QStringList, lines);
    QFETCH(QString, refusal);

    if (!withRow) {
        testing::exec(u"delete from dynr"_s);
        restart();
    }
    inSettings(2, [&] {
        retype(XtForm->Edit1, name);
        retype(XtForm->Memo1, lines.value(0));
        for (int i = 1; i < lines.size(); ++i) {
            QTest::keyClick(XtForm->Memo1, Qt::Key_Return);
            testing::typeInto(XtForm->Memo1, lines[i]);
        }
        testing::click(XtForm->SpeedButton7);
    });
    QCOMPARE(shown(), QStringList{refusal.isEmpty() ? u"XtForm warning ok 设置打印内容保存成功！"_s : u"display error ok "_s + refusal});
    const QStringList now = refusal.isEmpty() ? QStringList{name, lines.join(u"\r\n"_s)} : QStringList{u"老店"_s, u"谢谢"_s};
    QCOMPARE(testing::rows(u"select 店名, 备注 from dynr"_s), QList<QStringList>{now});
    QCOMPARE(MainForm->Edit5->text(), now[0]);
    QCOMPARE(MainForm->Memo1->toPlainText().split(u'\n'), now[1].split(u"\r\n"_s));
}

void TestSettings::rights_data()
{
    QTest::addColumn<int>("row"); // the user logged in, who changes his own password
    QTest::addColumn<bool>("admin");
    QTest::addColumn<QString>("rightsAfter");

    QTest::newRow("管理员 makes himself 普通用户") << 0 << true << u"普通用户"_s;
    QTest::newRow("普通用户") << 1 << false << u"普通用户"_s;
    QTest::newRow("neither: no administrator") << 3 << false << u"店长"_s;
}

void TestSettings::rights()
{
    QFETCH(int, row);
    QFETCH(bool, admin);
    QFETCH(QString, rightsAfter);

    QVERIFY(testing::loginAs(kUsers[row][0], kUsers[row][1]));
    inSettings(2, [&] {
        QCOMPARE(XtForm->Memo1->isReadOnly(), !admin);
        testing::typeInto(XtForm->Edit1, u"新"_s);
        testing::click(XtForm->SpeedButton7);
        XtForm->PageControl1->setCurrentIndex(0);
        QCOMPARE(XtForm->SpeedButton1->isEnabled() + XtForm->SpeedButton3->isEnabled(), 2 * admin);
        inModal(XtForm->SpeedButton8, [](QWidget *m) {
            QCOMPARE(m, QxsmForm);
            testing::click(QxsmForm->SpeedButton1);
            QVERIFY(!QxsmForm->isVisible());
        });
        testing::clickAt(XtForm->DBGridEh1->viewport(), rowPoint(XtForm->DBGridEh1, row));
        inModal(XtForm->SpeedButton2, [&](QWidget *) {
            QCOMPARE(YhxgForm->ComboBox1->isEnabled(), admin);
            if (admin)
                QVERIFY(testing::pickFromList(YhxgForm->ComboBox1, rightsAfter));
            testing::typeInto(YhxgForm->Edit2, kUsers[row][1]);
            testing::click(YhxgForm->SpeedButton1);
        });
    });
    QCOMPARE(shown(), (QStringList{admin ? u"XtForm warning ok 设置打印内容保存成功！"_s : u"XtForm none ok 您没有权限设置打印内容！"_s,
                                   u"YhxgForm none ok 修改用户信息成功！"_s}));
    QCOMPARE(testing::scalar(u"select 店名 from dynr"_s).toString(), admin ? u"老店新"_s : u"老店"_s);
    QCOMPARE(table(u"username"_s)[row].value(2), rightsAfter);
}

void TestSettings::ordinaryUserChangesOnlyHisOwnPassword_data()
{
    QTest::addColumn<int>("loggedIn");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("opens");

    QTest::newRow("普通用户, his own") << 1 << 1 << true;
    // admin's delivered password is empty: knowing it, a cashier took the
    // owner's account.
    QTest::newRow("普通用户, admin") << 1 << 0 << false;
    QTest::newRow("普通用户, Admin") << 1 << 2 << false;
    QTest::newRow("other rights, another") << 3 << 1 << false;
    QTest::newRow("other rights, his own") << 3 << 3 << true;
    QTest::newRow("管理员, another") << 0 << 1 << true;
}

void TestSettings::ordinaryUserChangesOnlyHisOwnPassword()
{
    QFETCH(int, loggedIn);
    QFETCH(int, row);
    QFETCH(bool, opens);

    QVERIFY(testing::loginAs(kUsers[loggedIn][0], kUsers[loggedIn][1]));
    ui::ListGrid *grid = XtForm->DBGridEh1;
    QPointer<QWidget> opened; // a dialog that opens where it must not is closed again
    QTimer watchdog;
    connect(&watchdog, &QTimer::timeout, this, [&] {
        if (QWidget *m = QApplication::activeModalWidget(); m && m != XtForm)
            (opened = m)->close();
    });
    inSettings(0, [&] {
        testing::clickAt(grid->viewport(), rowPoint(grid, row));
        if (opens) {
            testing::whileModal([&](QWidget *m) {
                QCOMPARE(m, YhxgForm);
                testing::typeInto(YhxgForm->Edit2, kUsers[row][1]);
                testing::typeInto(YhxgForm->Edit3, u"mine"_s);
                testing::click(YhxgForm->SpeedButton1);
            });
            testing::click(XtForm->SpeedButton2);
            return;
        }
        watchdog.start(100);
        testing::click(XtForm->SpeedButton2);
        // Nor through a double-click on the row.
        testing::doubleClickAt(grid->viewport(), rowPoint(grid, row));
    });
    QVERIFY(!opened);
    const QString refused = u"XtForm warning ok 普通用户只能修改自己的密码！"_s;
    QCOMPARE(shown(), (opens ? QStringList{u"YhxgForm none ok 修改用户信息成功！"_s} : QStringList{refused, refused}));
    QCOMPARE(table(u"username"_s)[row].value(1), opens ? u"mine"_s : kUsers[row][1]);
}

// After three wrong old passwords in a row each answer waits longer (here
// shrunk to a fifth); meanwhile the dialog takes no input and the program
// runs on. A right password starts the count again; a dialog
// closed while it waits gives no answer and opens ready for input.
void TestSettings::wrongOldPasswordsAreAnsweredSlowly()
{
    ui::setPasswordDelayScale(0.2); // 1 s waits 200 ms
    struct Restore {
        ~Restore() { ui::setPasswordDelayScale(1); }
    } restore;
    ui::ListGrid *grid = XtForm->DBGridEh1;
    const QString wrong = u"YhxgForm error ok 旧密码输入错误！"_s;
    inSettings(0, [&] {
        testing::clickAt(grid->viewport(), rowPoint(grid, 1));
        testing::whileModal([&](QWidget *) {
            for (int n = 1; n <= 4; ++n) {
                testing::typeInto(YhxgForm->Edit2, u"x"_s);
                QElapsedTimer waited;
                waited.start();
                testing::click(YhxgForm->SpeedButton1);
                if (n <= 3) {
                    QCOMPARE(shown(), QStringList{wrong});
                    continue;
                }
                // Waiting: no answer, no input, and the event loop runs.
                QCOMPARE(shown(), QStringList());
                QVERIFY(!YhxgForm->Edit2->isEnabled() && !YhxgForm->Edit3->isEnabled());
                QVERIFY(!YhxgForm->SpeedButton1->isEnabled());
                QVERIFY(YhxgForm->SpeedButton2->isEnabled());
                bool ticked = false;
                QTimer::singleShot(0, this, [&ticked] { ticked = true; });
                QTest::qWait(20);
                QVERIFY(ticked);
                QCOMPARE(shown(), QStringList());
                QTRY_VERIFY(YhxgForm->SpeedButton1->isEnabled());
                QVERIFY(waited.elapsed() >= 200);
                QCOMPARE(shown(), QStringList{wrong});
                QVERIFY(YhxgForm->Edit2->isEnabled() && YhxgForm->Edit2->text().isEmpty());
                QCOMPARE(QApplication::focusWidget(), YhxgForm->Edit2);
            }
            // The fifth waits too; closed meanwhile, no answer comes.
            testing::typeInto(YhxgForm->Edit2, u"x"_s);
            testing::click(YhxgForm->SpeedButton1);
            QVERIFY(!YhxgForm->SpeedButton1->isEnabled());
            testing::click(YhxgForm->SpeedButton2);
        });
        testing::click(XtForm->SpeedButton2);
        QTest::qWait(500);
        QCOMPARE(shown(), QStringList());
        testing::whileModal([&](QWidget *) {
            QVERIFY(YhxgForm->SpeedButton1->isEnabled() && YhxgForm->Edit2->isEnabled());
            // The sixth wrong one in a row waits; the right one, after it, is
            // answered at once and starts the count again.
            testing::typeInto(YhxgForm->Edit2, u"x"_s);
            testing::click(YhxgForm->SpeedButton1);
            QCOMPARE(shown(), QStringList());
            QTRY_VERIFY(YhxgForm->SpeedButton1->isEnabled());
            QCOMPARE(shown(), QStringList{wrong});
            testing::typeInto(YhxgForm->Edit2, u"3"_s);
            testing::typeInto(YhxgForm->Edit3, u"4"_s);
            testing::click(YhxgForm->SpeedButton1);
            QCOMPARE(shown(), QStringList{u"YhxgForm none ok 修改用户信息成功！"_s});
        });
        testing::click(XtForm->SpeedButton2);
        testing::whileModal([&](QWidget *) {
            testing::typeInto(YhxgForm->Edit2, u"x"_s);
            testing::click(YhxgForm->SpeedButton1);
            QCOMPARE(shown(), QStringList{wrong});
        });
        testing::click(XtForm->SpeedButton2);
    });
    QCOMPARE(table(u"username"_s)[1], (QStringList{u"张三"_s, u"4"_s, u"普通用户"_s}));
}

void TestSettings::priceBoxes_data()
{
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("refusal"); // empty: stored

    const QString range = u"“单价”超出范围：数值的绝对值须小于900000000000000（900万亿）."_s;
    QTest::newRow("1 and 309 zeros") << u"1"_s + QString(309, u'0') << range;
    QTest::newRow("1e400") << u"1e400"_s << range;
    QTest::newRow("the sums' limit") << u"900000000000000"_s << range;
    QTest::newRow("just below the limit") << u"899999999999999"_s << QString();
    QTest::newRow("negative") << u"-5"_s << u"“单价”不能是负数：-5."_s;
    QTest::newRow("negative, tiny") << u"-0.001"_s << u"“单价”不能是负数：-0.001."_s;
    QTest::newRow("minus zero") << u"-0"_s << QString();
    QTest::newRow("a price") << u"12.5"_s << QString();
    QTest::newRow("not a number") << u"12,5"_s << u"'12,5' is not a valid floating point value."_s;
}

// One rule for every price box: the two product dialogs' and the main
// window's 单价, each given the text as pasted (the keys could not type it).
void TestSettings::priceBoxes()
{
    QFETCH(QString, pasted);
    QFETCH(QString, refusal);

    QGuiApplication::clipboard()->setText(pasted);
    const QString stored = refusal.isEmpty() ? numtext::general(numtext::parse(pasted)) : QString();
    const QString refused = u"display error ok "_s + refusal;

    // 添加新商品
    inSettings(1, [&] {
        testing::click(XtForm->SpeedButton4);
        testing::typeInto(SptjForm->Edit1, u"新品"_s);
        QVERIFY(testing::pasteFromMenu(SptjForm->Edit2));
        QCOMPARE(SptjForm->Edit2->text(), pasted);
        testing::click(SptjForm->SpeedButton1);
        SptjForm->close();
    });
    QCOMPARE(shown(), QStringList{refusal.isEmpty() ? u"SptjForm none ok 添加商品成功！"_s : refused});
    QCOMPARE(table(u"spxx"_s).value(kProducts.size()),
             (refusal.isEmpty() ? QStringList{u"新品"_s, stored} : QStringList()));

    // 修改商品信息, on 可乐 (3)
    ui::ListGrid *grid = XtForm->DBGridEh2;
    inSettings(1, [&] {
        testing::clickAt(grid->viewport(), rowPoint(grid, 0));
        testing::whileModal([&](QWidget *) {
            testing::clearByKeys(SpxgForm->Edit2);
            QVERIFY(testing::pasteFromMenu(SpxgForm->Edit2));
            testing::click(SpxgForm->SpeedButton1);
        });
        testing::click(XtForm->SpeedButton5);
    });
    QCOMPARE(shown(), QStringList{refusal.isEmpty() ? u"SpxgForm none ok 修改商品信息成功！"_s : refused});
    QCOMPARE(table(u"spxx"_s)[0], (QStringList{u"可乐"_s, refusal.isEmpty() ? stored : u"3"_s}));

    // The main window's 单价, then 添加.
    const int lines = testing::scalar(u"select count(*) from xsxx"_s).toInt();
    testing::typeInto(MainForm->ComboBox1, u"别的"_s);
    QVERIFY(testing::pasteFromMenu(MainForm->Edit3));
    testing::click(MainForm->SpeedButton2);
    const QStringList messages = shown();
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), lines + (refusal.isEmpty() ? 1 : 0));
    // (A text that is no number is refused as the amounts follow the paste, too.)
    QCOMPARE(messages.isEmpty() ? QString() : messages.last(), refusal.isEmpty() ? QString() : refused);
}

void TestSettings::closingReloadsTheMainLists()
{
    testing::exec(u"insert into spxx values ('新品', 1)"_s);
    testing::exec(u"insert into username values ('新人', '', '普通用户')"_s);
    testing::typeInto(MainForm->ComboBox6, u"admin"_s);
    testing::typeInto(MainForm->ComboBox1, u"可乐"_s);
    inSettings(2, [] { testing::typeInto(XtForm->Edit1, u"未存"_s); });
    QCOMPARE(itemCount(MainForm->ComboBox1, u"新品"_s) + itemCount(MainForm->ComboBox6, u"新人"_s), 2);
    // The product box is emptied; the cashier stays, or the next sales would
    // be archived with none.
    QCOMPARE(MainForm->ComboBox1->currentText(), QString());
    QCOMPARE(MainForm->ComboBox6->currentText(), u"admin"_s);
    QCOMPARE(MainForm->ComboBox6->currentIndex(), MainForm->ComboBox6->findText(u"admin"_s));
    // Opened again: the users tab in front, the unsaved text still there, nothing stored.
    testing::whileModal([](QWidget *) { QCOMPARE(XtForm->PageControl1->currentIndex(), 0); });
    testing::click(MainForm->SpeedButton1);
    QCOMPARE(XtForm->Edit1->text(), u"老店未存"_s);
    QCOMPARE(testing::scalar(u"select 店名 from dynr"_s).toString(), u"老店"_s);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
