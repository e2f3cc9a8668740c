// The login gate: who gets in, with which rights, and what a wrong password
// does. Each login runs modally as at start, driven from a zero timer.
#include "support/TestSupport.h"

#include "admin/XtUnit.h"
#include "app/LoginUnit.h"
#include "history/XstjUnit.h"
#include "ticket/MainUnit.h"
#include "ui/PasswordGate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace {

// Runs the login with the steps a user takes in the open window. Whatever
// the steps leave open is closed, so a failed step cannot hang the test.
bool runLogin(std::function<void(TLoginForm *)> steps)
{
    QTimer::singleShot(0, MainForm, [steps] {
        TLoginForm *form = LoginForm;
        if (!form)
            return;
        steps(form);
        if (LoginForm == form && form->isVisible())
            form->SpeedButton2->click();
    });
    return TLoginForm::RunLogin();
}

// Chooses the user from the open list with the mouse.
bool choose(TLoginForm *form, const QString &user)
{
    return testing::pickFromList(form->ComboBox1, user);
}

void typePassword(TLoginForm *form, const QString &password)
{
    QTest::keyClicks(form->Edit1, password);
}

// Logs in as a user would: chooses the name, types the password, clicks 确定.
bool loginAs(const QString &user, const QString &password)
{
    return runLogin([user, password](TLoginForm *form) {
        QVERIFY(choose(form, user));
        typePassword(form, password);
        testing::click(form->SpeedButton1);
    });
}

void addUser(const QString &name, const QString &password, const QString &rights)
{
    testing::exec(u"insert into username (用户名, 密码, 权限) values (?, ?, ?)"_s, {name, password, rights});
}

bool editable(QWidget *box)
{
    const bool readOnly = box->property("readOnly").toBool();
    // Editable boxes have the window background, read-only ones the button face.
    const QColor expected = QApplication::palette().color(readOnly ? QPalette::Button : QPalette::Base);
    if (box->palette().color(QPalette::Active, QPalette::Base) != expected) {
        qWarning("%s: background does not match its read-only state", qPrintable(box->objectName()));
        return readOnly; // reported as the opposite of what is asked
    }
    return !readOnly;
}

// The rights table as a user meets it.
void checkRights(bool admin)
{
    QCOMPARE(editable(MainForm->Edit1), admin);
    QCOMPARE(editable(MainForm->Edit5), false);
    QCOMPARE(editable(MainForm->Memo1), false);
    QCOMPARE(editable(XtForm->Edit1), admin);
    QCOMPARE(editable(XtForm->Memo1), admin);
    QCOMPARE(XtForm->SpeedButton1->isEnabled(), admin);
    QCOMPARE(XtForm->SpeedButton3->isEnabled(), admin);
    QCOMPARE(XstjForm->SpeedButton4->isEnabled(), admin);
    QCOMPARE(XstjForm->N6->isEnabled(), admin);
}

void checkWrongPasswordPrompt(const msg::Prompt &p)
{
    QCOMPARE(p.owner, u"LoginForm"_s);
    QCOMPARE(p.text, u"登录软件密码错误！"_s);
    QCOMPARE(p.title, u"提示"_s);
    QCOMPARE(p.icon, msg::Icon::Error);
    QCOMPARE(p.buttons, msg::Buttons::Ok);
}

} // namespace

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void adminOnDeliveredDatabase();
    void wrongPassword_data();
    void wrongPassword();
    void wrongPasswordsAreAnsweredSlowly();
    void givingUpWhileAnAnswerWaits();
    void rightsOfTheUser_data();
    void rightsOfTheUser();
    void namesContainingOneAnother_data();
    void namesContainingOneAnother();
    void userRemovedAfterTheListWasFilled();
    void quoteInUserName();
    void enterAndEscapeDoNotCloseTheWindow();
    void passwordShowsStars();
    void centredOnTheScreen();

private:
    QTemporaryDir home_; // the desktop launcher lands here, not in the real home
    std::unique_ptr<testing::TempWorkDir> dir_;
    std::unique_ptr<testing::Prompts> prompts_;
    std::unique_ptr<testing::Program> program_;
    // The program's windows over the test's data.mdb, the main window shown.
    void start()
    {
        program_ = std::make_unique<testing::Program>();
        MainForm->show();
    }
};

void TestLogin::initTestCase()
{
    QVERIFY(home_.isValid());
    qputenv("HOME", QFile::encodeName(home_.path()));
    QStandardPaths::setTestModeEnabled(true);
}

void TestLogin::init()
{
    dir_ = std::make_unique<testing::TempWorkDir>();
    prompts_ = std::make_unique<testing::Prompts>();
}

void TestLogin::cleanup()
{
    program_.reset();
    prompts_.reset();
    dir_.reset();
}

void TestLogin::adminOnDeliveredDatabase()
{
    start();
    testing::Prompts &prompts = *prompts_;

    // Until someone logs in, nothing is restricted yet.
    QVERIFY(!MainForm->Edit5->isReadOnly());
    QVERIFY(!MainForm->Memo1->isReadOnly());
    QVERIFY(MainForm->statusPanel(0).isEmpty());

    QStringList users;
    QString selected;
    bool passwordHidden = false, listOnly = false, focusOnPassword = false;
    QStringList captions;
    const bool ok = runLogin([&](TLoginForm *form) {
        for (int i = 0; i < form->ComboBox1->count(); ++i)
            users << form->ComboBox1->itemText(i);
        selected = form->ComboBox1->currentText();
        passwordHidden = form->Edit1->echoMode() == QLineEdit::Password;
        listOnly = !form->ComboBox1->isEditable();
        focusOnPassword = form->focusWidget() == form->Edit1;
        for (QLabel *label : form->findChildren<QLabel *>()) {
            if (label->buddy())
                captions << label->buddy()->accessibleName() + u'=' + label->text();
        }
        for (QPushButton *b : form->findChildren<QPushButton *>())
            captions << b->accessibleName() + u'=' + b->text();
        testing::click(form->SpeedButton1);
    });

    QVERIFY(ok);
    QCOMPARE(users, QStringList{u"admin"_s});
    QCOMPARE(selected, u"admin"_s);
    QVERIFY(passwordHidden);
    QVERIFY(listOnly);
    QVERIFY(focusOnPassword);
    QStringList expectedCaptions{u"用户名:=用户名:"_s, u"密  码:=密  码:"_s, u"确定=确定"_s, u"关闭=关闭"_s};
    expectedCaptions.sort();
    captions.sort();
    QCOMPARE(captions, expectedCaptions);
    QVERIFY(prompts.log().isEmpty());
    QCOMPARE(MainForm->ComboBox6->currentText(), u"admin"_s);
    QVERIFY(MainForm->statusPanel(0).startsWith(u"  网站："_s));
    QVERIFY(MainForm->statusPanel(0).size() > QStringLiteral("  网站：").size());
    QCOMPARE(MainForm->statusPanel(1), u"  用户权限：管理员"_s);
    checkRights(true);
    QCOMPARE(LoginForm, nullptr);
}

void TestLogin::wrongPassword_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("other case") << u"abc"_s;
    QTest::newRow("all capitals") << u"ABC"_s;
    QTest::newRow("trailing space") << u"Abc "_s;
    QTest::newRow("too short") << u"Ab"_s;
    QTest::newRow("nothing") << QString();
}

void TestLogin::wrongPassword()
{
    QFETCH(QString, typed);

    testing::exec(u"update username set 密码 = 'Abc' where 用户名 = 'admin'"_s);
    start();
    testing::Prompts &prompts = *prompts_;

    int promptsAfterFirstTry = -1;
    bool stayedOpen = false;
    QString passwordAfterFirstTry = u"<not run>"_s;
    const bool ok = runLogin([&](TLoginForm *form) {
        typePassword(form, typed);
        testing::click(form->SpeedButton1);
        promptsAfterFirstTry = int(prompts.log().size());
        passwordAfterFirstTry = form->Edit1->text();
        QCoreApplication::processEvents();
        stayedOpen = form->isVisible() && LoginForm == form;
        // Another try with the right password gets in.
        typePassword(form, u"Abc"_s);
        testing::click(form->SpeedButton1);
    });

    QCOMPARE(promptsAfterFirstTry, 1);
    checkWrongPasswordPrompt(prompts.log().first());
    QCOMPARE(passwordAfterFirstTry, QString());
    QVERIFY(stayedOpen);
    QVERIFY(ok);
    QCOMPARE(prompts.log().size(), 1);
    QCOMPARE(MainForm->ComboBox6->currentText(), u"admin"_s);
    QCOMPARE(MainForm->statusPanel(1), u"  用户权限：管理员"_s);
}

// Guessing is slow: after three wrong passwords in a row each answer waits
// longer (the waits shrunk to a fifth here). While it waits, the window takes
// no password, no user and no 确定, the program runs on, and 关闭 still ends it.
void TestLogin::wrongPasswordsAreAnsweredSlowly()
{
    testing::exec(u"update username set 密码 = 'Abc' where 用户名 = 'admin'"_s);
    start();
    ui::setPasswordDelayScale(0.2);
    struct Restore {
        ~Restore() { ui::setPasswordDelayScale(1); }
    } restore;
    testing::Prompts &prompts = *prompts_;

    QList<bool> atOnce;
    QList<qint64> waits;
    const bool ok = runLogin([&](TLoginForm *form) {
        for (int n = 1; n <= 5; ++n) {
            typePassword(form, u"abc"_s);
            const qsizetype before = prompts.log().size();
            QElapsedTimer clock;
            clock.start();
            testing::click(form->SpeedButton1);
            atOnce << (prompts.log().size() == before + 1);
            if (atOnce.last())
                continue;
            QVERIFY(!form->Edit1->isEnabled() && !form->ComboBox1->isEnabled());
            QVERIFY(!form->SpeedButton1->isEnabled());
            QVERIFY(form->SpeedButton2->isEnabled());
            bool ticked = false;
            QTimer::singleShot(0, form, [&ticked] { ticked = true; });
            QTest::qWait(20);
            QVERIFY(ticked);
            QCOMPARE(prompts.log().size(), before);
            QTRY_COMPARE_WITH_TIMEOUT(prompts.log().size(), before + 1, 10000);
            waits << clock.elapsed();
            checkWrongPasswordPrompt(prompts.log().last());
            QVERIFY(form->Edit1->isEnabled() && form->SpeedButton1->isEnabled());
            QCOMPARE(form->Edit1->text(), QString());
            QCOMPARE(QApplication::focusWidget(), form->Edit1);
        }
        // The right password after all that gets in at once.
        typePassword(form, u"Abc"_s);
        testing::click(form->SpeedButton1);
    });
    QCOMPARE(atOnce, (QList<bool>{true, true, true, false, false}));
    QCOMPARE(waits.size(), 2);
    QVERIFY2(waits[0] >= 200 && waits[1] >= 400, qPrintable(u"%1 ms, %2 ms"_s.arg(waits[0]).arg(waits[1])));
    QVERIFY(ok);
    QCOMPARE(prompts.log().size(), 5);
    QCOMPARE(MainForm->ComboBox6->currentText(), u"admin"_s);
}

// Giving up while a wrong password waits for its answer ends the login.
void TestLogin::givingUpWhileAnAnswerWaits()
{
    start();
    ui::setPasswordDelayScale(0.2);
    struct Restore {
        ~Restore() { ui::setPasswordDelayScale(1); }
    } restore;
    const bool ok = runLogin([&](TLoginForm *form) {
        for (int n = 1; n <= 4; ++n) {
            typePassword(form, u"x"_s);
            testing::click(form->SpeedButton1);
        }
        QVERIFY(!form->SpeedButton1->isEnabled());
        testing::click(form->SpeedButton2);
    });
    QVERIFY(!ok);
    QTest::qWait(400);
    QCOMPARE(prompts_->log().size(), 3);
}

void TestLogin::rightsOfTheUser_data()
{
    QTest::addColumn<QString>("rights");
    QTest::addColumn<bool>("admin");

    QTest::newRow("管理员") << u"管理员"_s << true;
    QTest::newRow("普通用户") << u"普通用户"_s << false;
    // Any other value gets the least privilege.
    QTest::newRow("店长") << u"店长"_s << false;
    QTest::newRow("管理员 with a trailing space") << u"管理员 "_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TestLogin::rightsOfTheUser()
{
    QFETCH(QString, rights);
    QFETCH(bool, admin);

    addUser(u"王五"_s, u"8"_s, rights);
    start();
    testing::Prompts &prompts = *prompts_;

    const bool ok = loginAs(u"王五"_s, u"8"_s);
    QVERIFY(ok);
    QVERIFY(prompts.log().isEmpty());
    QCOMPARE(MainForm->ComboBox6->currentText(), u"王五"_s);
    QCOMPARE(MainForm->statusPanel(1), u"  用户权限："_s + rights);
    checkRights(admin);
}

void TestLogin::namesContainingOneAnother_data()
{
    QTest::addColumn<bool>("shortNameFirst");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("rights"); // empty: the login fails

    for (const bool shortFirst : {true, false}) {
        const QString order = shortFirst ? u"张 added first: "_s : u"张三 added first: "_s;
        auto row = [&order](const char *name) -> QTestData & {
            return QTest::newRow(qPrintable(order + QString::fromUtf8(name)));
        };
        row("张 with his password") << shortFirst << u"张"_s << u"1"_s << u"管理员"_s;
        row("张 with 张三's password") << shortFirst << u"张"_s << u"2"_s << QString();
        row("张三 with his password") << shortFirst << u"张三"_s << u"2"_s << u"普通用户"_s;
        row("张三 with 张's password") << shortFirst << u"张三"_s << u"1"_s << QString();
    }
}

void TestLogin::namesContainingOneAnother()
{
    QFETCH(bool, shortNameFirst);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, rights);

    if (shortNameFirst) {
        addUser(u"张"_s, u"1"_s, u"管理员"_s);
        addUser(u"张三"_s, u"2"_s, u"普通用户"_s);
    } else {
        addUser(u"张三"_s, u"2"_s, u"普通用户"_s);
        addUser(u"张"_s, u"1"_s, u"管理员"_s);
    }
    start();
    testing::Prompts &prompts = *prompts_;

    const bool ok = loginAs(user, password);

    if (rights.isEmpty()) {
        QVERIFY(!ok);
        QCOMPARE(prompts.log().size(), 1);
        checkWrongPasswordPrompt(prompts.log().first());
        QCOMPARE(MainForm->ComboBox6->currentText(), QString());
        QCOMPARE(MainForm->statusPanel(1), QString());
        return;
    }
    QVERIFY(ok);
    QVERIFY(prompts.log().isEmpty());
    QCOMPARE(MainForm->ComboBox6->currentText(), user);
    QCOMPARE(MainForm->statusPanel(1), u"  用户权限："_s + rights);
    checkRights(rights == u"管理员"_s);
}

void TestLogin::userRemovedAfterTheListWasFilled()
{
    addUser(u"李四"_s, QString(), u"管理员"_s);
    start();
    testing::Prompts &prompts = *prompts_;

    int promptsAfterFirstTry = -1;
    bool stayedOpen = false;
    const bool ok = runLogin([&](TLoginForm *form) {
        QVERIFY(choose(form, u"李四"_s));
        testing::exec(u"delete from username where 用户名 = '李四'"_s);
        testing::click(form->SpeedButton1);
        promptsAfterFirstTry = int(prompts.log().size());
        stayedOpen = form->isVisible();
        QVERIFY(choose(form, u"admin"_s));
        testing::click(form->SpeedButton1);
    });
    QCOMPARE(promptsAfterFirstTry, 1);
    checkWrongPasswordPrompt(prompts.log().first());
    QVERIFY(stayedOpen);
    QVERIFY(ok);
    QCOMPARE(MainForm->ComboBox6->currentText(), u"admin"_s);
}

void TestLogin::quoteInUserName()
{
    addUser(u"王\"五"_s, u"5"_s, u"普通用户"_s);
    addUser(u"王'六"_s, u"6"_s, u"管理员"_s);
    start();
    testing::Prompts &prompts = *prompts_;

    const bool ok = loginAs(u"王\"五"_s, u"5"_s);
    QVERIFY(ok);
    QVERIFY(prompts.log().isEmpty());
    QCOMPARE(MainForm->ComboBox6->currentText(), u"王\"五"_s);
    QCOMPARE(MainForm->statusPanel(1), u"  用户权限：普通用户"_s);
    checkRights(false);
}

void TestLogin::enterAndEscapeDoNotCloseTheWindow()
{
    start();
    testing::Prompts &prompts = *prompts_;

    bool stayedOpen = false;
    const bool ok = runLogin([&](TLoginForm *form) {
        // admin's empty password would log in if Enter pressed 确定.
        for (QWidget *target : std::initializer_list<QWidget *>{form->Edit1, form->ComboBox1, form}) {
            QTest::keyClick(target, Qt::Key_Return);
            QTest::keyClick(target, Qt::Key_Enter);
            QTest::keyClick(target, Qt::Key_Escape);
        }
        form->SpeedButton1->setFocus();
        QTest::keyClick(form->SpeedButton1, Qt::Key_Return);
        QTest::keyClick(form->SpeedButton1, Qt::Key_Escape);
        QCoreApplication::processEvents();
        stayedOpen = LoginForm == form && form->isVisible();
        form->SpeedButton2->click(); // 关闭
    });
    QVERIFY(stayedOpen);
    QVERIFY(!ok);
    QVERIFY(prompts.log().isEmpty());
    QCOMPARE(MainForm->ComboBox6->currentText(), QString());
    QCOMPARE(MainForm->statusPanel(0), QString());
}

void TestLogin::passwordShowsStars()
{
    start();
    QString shown;
    const bool ok = runLogin([&](TLoginForm *form) {
        typePassword(form, u"abc"_s);
        shown = form->Edit1->displayText();
        testing::clearByKeys(form->Edit1);
        testing::click(form->SpeedButton1);
    });
    QVERIFY(ok);
    QCOMPARE(shown, u"***"_s);
}

// The login stands in the middle of the screen, wherever the main window is.
void TestLogin::centredOnTheScreen()
{
    start();
    MainForm->move(0, 0);
    QPoint offset(1000, 1000);
    runLogin([&](TLoginForm *form) {
        offset = form->frameGeometry().center() - form->screen()->availableGeometry().center();
    });
    QVERIFY2(offset.manhattanLength() <= 2, qPrintable(u"%1,%2"_s.arg(offset.x()).arg(offset.y())));
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
