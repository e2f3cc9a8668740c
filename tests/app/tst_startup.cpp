// Start-up as the shop sees it: the windows that exist, what the main window
// restores and shows before anyone logs in, the emptied working ticket, the
// desktop launcher, and the two keys that act everywhere.
#include "support/TestSupport.h"

#include "admin/QxsmUnit.h"
#include "admin/SptjUnit.h"
#include "admin/SpxgUnit.h"
#include "admin/XtUnit.h"
#include "admin/YhtjUnit.h"
#include "admin/YhxgUnit.h"
#include "app/Application.h"
#include "app/DesktopShortcut.h"
#include "app/Forms.h"
#include "app/HotKeys.h"
#include "app/LoginUnit.h"
#include "history/RjUnit.h"
#include "history/XscxUnit.h"
#include "history/XshzUnit.h"
#include "history/XsmxUnit.h"
#include "history/XstjUnit.h"
#include "print/Dy58Unit.h"
#include "print/Dy76Unit.h"
#include "print/DyjszUnit.h"
#include "base/AppError.h"
#include "ticket/MainUnit.h"
#include "ui/Help.h"
#include "ui/ListGrid.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

const QDateTime kShown(QDate(2024, 3, 5), QTime(7, 8, 9));

// Every write to the settings row leaves a mark, so "nothing was written"
// can be asserted and not only "the values look the same".
void watchSettingsWrites()
{
    testing::exec(u"create table id_writes (what text)"_s);
    testing::exec(u"create trigger id_w1 after update on id begin insert into id_writes values ('update'); end"_s);
    testing::exec(u"create trigger id_w2 after insert on id begin insert into id_writes values ('insert'); end"_s);
    testing::exec(u"create trigger id_w3 after delete on id begin insert into id_writes values ('delete'); end"_s);
}

int settingsWrites()
{
    return testing::scalar(u"select count(*) from id_writes"_s).toInt();
}

QList<QStringList> settingsRows()
{
    return testing::rows(u"select 客户, 电话, pos, print from id"_s);
}

void seedTicketLines(int count)
{
    testing::exec(u"insert into xsxx (单号, 时间, 品名, 单价, 数量, 金额, 折后) "
                  "with recursive n(i) as (select 1 union all select i + 1 from n where i < ?) "
                  "select '20240101080000', '2024-01-01 08:00:00', '可乐', 3, 1, 3, 3 from n"_s,
                  {count});
}

bool activate(QWidget *window)
{
    QApplication::setActiveWindow(window);
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// The control a focus widget stands for: an editable combo box's line edit
// is the combo box.
QString controlName(QWidget *w)
{
    if (!w)
        return u"<none>"_s;
    if (auto *combo = qobject_cast<QComboBox *>(w->parentWidget()); combo && combo->lineEdit() == w)
        return combo->objectName();
    return w->objectName();
}

// A launcher's Exec value as a launcher reads it: one argument, unquoted.
// Reads an Exec value back as a desktop environment does: the value's own
// escapes first (\\ is one backslash), then the quoted argument (a backslash
// takes the next character literally), then field codes (%% is one %).
QString execProgram(const QString &value)
{
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size() && value[i + 1] == u'\\')
            ++i;
        unescaped += value[i];
    }
    if (unescaped.size() < 2 || !unescaped.startsWith(u'"') || !unescaped.endsWith(u'"'))
        return unescaped;
    QString out;
    const QString inner = unescaped.mid(1, unescaped.size() - 2);
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (inner[i] == u'\\' && i + 1 < inner.size())
            ++i;
        else if (inner[i] == u'%' && i + 1 < inner.size() && inner[i + 1] == u'%')
            ++i;
        out += inner[i];
    }
    return out;
}

QMap<QString, QString> desktopEntry(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QMap<QString, QString> entry;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    bool inEntry = false;
    for (const QString &line : lines) {
        if (line.startsWith(u'[')) {
            inEntry = line == u"[Desktop Entry]"_s;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inEntry && eq > 0)
            entry.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return entry;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowsInOrder();
    void missingDatabase_data();
    void missingDatabase();
    void loginWindowEmptiesWorkingTicket_data();
    void loginWindowEmptiesWorkingTicket();
    void desktopLauncher_data();
    void desktopLauncher();
    void launcherThatCannotBeWrittenShowsNothing();
    void launcherExecSurvivesOddPaths_data();
    void launcherExecSurvivesOddPaths();
    void runWithoutDatabase();
    void runEndsWhenLoginIsGivenUp();
    void runUntilMainWindowCloses();
    void closingMainWindowEndsTheProgram();
    void creationHandlerErrorLetsTheStartGoOn();
    void mainWindowCentredOnTheScreen();

    void restoreOptions_data();
    void restoreOptions();
    void emptySettingsTable();
    void showRestoresSettingsAndLists();
    void initialControlsAsCashierSeesThem();
    void tabOrder();
    void customerAndPhoneOptions_data();
    void customerAndPhoneOptions();
    void timeOptionStopsTheClock();

    void f5WhileLoginShown();
    void f5InMainWindowOnEmptyTicket();
    void f1OpensHelpEverywhere();

private:
    // The launcher goes to the desktop folder of this home, not the real one.
    QTemporaryDir home_;
    // Each test's folder with its data.mdb, and its message boxes.
    std::unique_ptr<testing::TempWorkDir> dir_;
    std::unique_ptr<testing::Prompts> prompts_;
};

void TestStartup::initTestCase()
{
    QVERIFY(home_.isValid());
    qputenv("HOME", QFile::encodeName(home_.path()));
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).startsWith(home_.path()));
}

void TestStartup::init()
{
    dir_ = std::make_unique<testing::TempWorkDir>();
    prompts_ = std::make_unique<testing::Prompts>();
}

void TestStartup::cleanup()
{
    prompts_.reset();
    dir_.reset();
    testing::releaseClock();
    ui::setHelpOpener({});
}

void TestStartup::windowsInOrder()
{
    const QStringList names{u"MainForm"_s, u"XtForm"_s,   u"YhtjForm"_s, u"YhxgForm"_s,
                            u"SptjForm"_s, u"SpxgForm"_s, u"XstjForm"_s, u"XsmxForm"_s,
                            u"XscxForm"_s, u"RjForm"_s,   u"XshzForm"_s, u"QxsmForm"_s, u"Dy58Form"_s, u"Dy76Form"_s,
                            u"DyjszForm"_s};
    const QStringList captions{u"Velmora销售小票打印软件 V18.0(标准版)"_s,
                               u"系统设置"_s,
                               u"添加新用户"_s,
                               u"修改用户信息"_s,
                               u"添加新商品"_s,
                               u"修改商品信息"_s,
                               u"销售统计"_s,
                               u"销售明细"_s,
                               u"销售查询"_s,
                               u"日结"_s,
                               u"销售汇总"_s,
                               u"权限说明"_s,
                               u"打印预览"_s,
                               u"打印预览"_s,
                               u"打印机设置"_s};
    QCOMPARE(app::formNames(), names);

    app::createForms();
    const QList<QWidget *> globals{MainForm, XtForm,   YhtjForm, YhxgForm, SptjForm, SpxgForm,
                                   XstjForm, XsmxForm, XscxForm, RjForm,   XshzForm, QxsmForm, Dy58Form, Dy76Form,
                                   DyjszForm};
    QSet<QWidget *> distinct;
    for (int i = 0; i < names.size(); ++i) {
        QWidget *w = app::formByName(names[i]);
        QVERIFY2(w, qPrintable(names[i]));
        QCOMPARE(w, globals[i]);
        QCOMPARE(w->objectName(), names[i]);
        QCOMPARE(w->windowTitle(), captions[i]);
        QVERIFY(!w->isVisible());
        distinct.insert(w);
    }
    QCOMPARE(distinct.size(), names.size());
    QCOMPARE(app::formByName(u"LoginForm"_s), nullptr);

    app::destroyForms();
    for (const QString &name : names)
        QCOMPARE(app::formByName(name), nullptr);
    QCOMPARE(MainForm, nullptr);
    QCOMPARE(Dy76Form, nullptr);
}

void TestStartup::missingDatabase_data()
{
    QTest::addColumn<QByteArray>("fileContent"); // null: no file at all
    QTest::newRow("no data.mdb") << QByteArray();
    QTest::newRow("data.mdb that is no database") << QByteArray("this is not a database file\n").repeated(200);
}

void TestStartup::missingDatabase()
{
    QFETCH(QByteArray, fileContent);
    QVERIFY(QFile::remove(dir_->file(u"data.mdb"_s)));
    const QString dbPath = dir_->file(u"data.mdb"_s);
    if (!fileContent.isNull()) {
        QFile f(dbPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(fileContent);
    }

    QString message;
    try {
        app::createForms();
    } catch (const AppError &e) {
        message = e.message();
    }
    QVERIFY2(!message.isEmpty(), "createForms did not fail");
    QVERIFY2(message.contains(u"data.mdb"_s), qPrintable(message));
    QVERIFY2(message.contains(QDir::toNativeSeparators(QDir::currentPath())), qPrintable(message));

    if (fileContent.isNull()) {
        QVERIFY(!QFile::exists(dbPath));
    } else {
        // A damaged file is the shop's data: it is left as it was.
        QFile f(dbPath);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), fileContent);
    }
    for (const QString &name : app::formNames())
        QVERIFY2(!app::formByName(name), qPrintable(name));
    QCOMPARE(MainForm, nullptr);
    QCOMPARE(XtForm, nullptr);
    QCOMPARE(Dy76Form, nullptr);
}

void TestStartup::loginWindowEmptiesWorkingTicket_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("runLogin"); // else the window is only created
    QTest::newRow("three lines, window created") << 3 << false;
    QTest::newRow("three lines, login given up") << 3 << true;
    QTest::newRow("more lines than a page, login given up") << 600 << true;
}

void TestStartup::loginWindowEmptiesWorkingTicket()
{
    QFETCH(int, lines);
    QFETCH(bool, runLogin);

    seedTicketLines(lines);
    testing::exec(u"insert into spxx (品名, 单价) values ('可乐', 3)"_s);
    testing::Program program;
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), lines);

    if (runLogin) {
        MainForm->show();
        int linesWhileShown = -1;
        QTimer::singleShot(0, MainForm, [&] {
            linesWhileShown = testing::scalar(u"select count(*) from xsxx"_s).toInt();
            if (LoginForm)
                LoginForm->SpeedButton2->click();
        });
        QCOMPARE(TLoginForm::RunLogin(), false);
        QCOMPARE(linesWhileShown, 0);
    } else {
        TLoginForm form(MainForm);
    }
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 0);
    QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 0);
    // Only the working ticket goes.
    QCOMPARE(testing::scalar(u"select count(*) from spxx"_s).toInt(), 1);
}

void TestStartup::desktopLauncher_data()
{
    // The installed program is started through a launcher that names itself
    // in VELMORA_LAUNCHER; one that is not an absolute path of an executable
    // file is ignored.
    QTest::addColumn<bool>("oldLauncher");
    QTest::addColumn<QString>("startedBy");
    QTest::addColumn<bool>("throughStarter");
    QTest::newRow("no desktop folder yet") << false << QString() << false;
    QTest::newRow("old launcher replaced") << true << QString() << false;
    QTest::newRow("installed launcher") << false << u"starter"_s << true;
    QTest::newRow("installed launcher, odd folder") << true << u"店主的 程序/velmora"_s << true;
    QTest::newRow("relative launcher ignored") << false << u"relative"_s << false;
    QTest::newRow("launcher not executable ignored") << false << u"plain"_s << false;
    QTest::newRow("launcher missing ignored") << false << u"missing"_s << false;
}

void TestStartup::desktopLauncher()
{
    QFETCH(bool, oldLauncher);
    QFETCH(QString, startedBy);
    QFETCH(bool, throughStarter);

    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    QVERIFY(QDir(desktop).removeRecursively());
    const QString launcher = QDir(desktop).filePath(u"Velmora销售小票打印软件(标准版).desktop"_s);
    if (oldLauncher) {
        QVERIFY(QDir().mkpath(desktop));
        QFile old(launcher);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("[Desktop Entry]\nType=Application\nExec=/opt/old/velmora\nPath=/opt/old\n");
        old.close();
        QVERIFY(old.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }
    // The starter lies outside the data folder, as /usr/bin/velmora does.
    QTemporaryDir bin;
    QString starter;
    if (startedBy == u"relative"_s) {
        starter = u"bin/velmora"_s;
    } else if (!startedBy.isEmpty()) {
        starter = QDir(bin.path()).filePath(startedBy == u"missing"_s ? u"velmora"_s : startedBy);
        if (startedBy != u"missing"_s) {
            QVERIFY(QDir().mkpath(QFileInfo(starter).absolutePath()));
            QFile file(starter);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\n");
            file.close();
            if (startedBy != u"plain"_s)
                QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
        }
    }
    if (!starter.isEmpty())
        qputenv("VELMORA_LAUNCHER", QFile::encodeName(starter));
    const auto unset = qScopeGuard([] { qunsetenv("VELMORA_LAUNCHER"); });
    testing::Program program;

    const QString executable = QCoreApplication::applicationFilePath();
    for (int round = 0; round < 2; ++round) {
        {
            TLoginForm form(MainForm);
        }
        QVERIFY2(QFile::exists(launcher), qPrintable(launcher));
        QVERIFY(QFileInfo(launcher).isExecutable());
        const auto entry = desktopEntry(launcher);
        QCOMPARE(entry.value(u"Type"_s), u"Application"_s);
        if (throughStarter) {
            // Started again through the launcher, in the folder of data.mdb.
            QCOMPARE(execProgram(entry.value(u"Exec"_s)), starter);
            QCOMPARE(entry.value(u"Path"_s), dir_->path());
            QCOMPARE(entry.value(u"Icon"_s), u"velmora"_s);
        } else {
            QCOMPARE(execProgram(entry.value(u"Exec"_s)), executable);
            QCOMPARE(entry.value(u"Path"_s), QFileInfo(executable).absolutePath());
        }
        QVERIFY(!entry.value(u"Name"_s).isEmpty());
        // Each new login window writes it again.
        QVERIFY(QFile::remove(launcher));
    }
}

void TestStartup::launcherExecSurvivesOddPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << u"/opt/velmora/Velmora"_s;
    QTest::newRow("blank and Chinese") << u"/home/店主/我的 程序/Velmora"_s;
    QTest::newRow("quote and dollar") << u"/opt/a\"b/$HOME/Velmora"_s;
    QTest::newRow("backslash and backtick") << u"/opt/a\\b/`x`/Velmora"_s;
    QTest::newRow("percent") << u"/opt/100%/%f/Velmora"_s;
}

// Whatever folder the shop installs into, the launcher starts that program.
void TestStartup::launcherExecSurvivesOddPaths()
{
    QFETCH(QString, path);
    const QString exec = app::execQuoted(path);
    QVERIFY(exec.startsWith(u'"'));
    QCOMPARE(execProgram(exec), path);
}

void TestStartup::launcherThatCannotBeWrittenShowsNothing()
{
    seedTicketLines(2);
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    QVERIFY(QDir(desktop).removeRecursively());
    // A plain file where the desktop folder should be.
    QFile blocker(desktop);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    testing::Program program;
    testing::Prompts &prompts = *prompts_;
    prompts.clear();

    {
        TLoginForm form(MainForm);
        QCOMPARE(form.ComboBox1->currentText(), u"admin"_s);
    }
    QVERIFY(prompts.log().isEmpty());
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 0);
    QVERIFY(QFile::remove(desktop));
}

void TestStartup::runWithoutDatabase()
{
    QVERIFY(QFile::remove(dir_->file(u"data.mdb"_s)));
    testing::Prompts &prompts = *prompts_;
    prompts.clear();
    QCOMPARE(app::run(), 1);
    QCOMPARE(prompts.log().size(), 1);
    const msg::Prompt &p = prompts.log().first();
    QCOMPARE(p.icon, msg::Icon::Error);
    QCOMPARE(p.buttons, msg::Buttons::Ok);
    QCOMPARE(p.title, u"tst_startup"_s);
    QVERIFY2(p.text.contains(u"data.mdb"_s), qPrintable(p.text));
    QVERIFY2(p.text.contains(QDir::toNativeSeparators(QDir::currentPath())), qPrintable(p.text));
    QVERIFY(!QFile::exists(u"data.mdb"_s));
    QCOMPARE(MainForm, nullptr);
}

void TestStartup::runEndsWhenLoginIsGivenUp()
{
    seedTicketLines(3);
    testing::Prompts &prompts = *prompts_;
    prompts.clear();
    bool mainShownBehindLogin = false;
    QTimer::singleShot(0, qApp, [&] {
        if (!LoginForm)
            return;
        mainShownBehindLogin = MainForm && MainForm->isVisible();
        LoginForm->SpeedButton2->click();
    });
    QCOMPARE(app::run(), 0);
    QVERIFY(mainShownBehindLogin);
    QVERIFY(prompts.log().isEmpty());
    for (const QString &name : app::formNames())
        QVERIFY2(!app::formByName(name), qPrintable(name));
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 0);
}

void TestStartup::runUntilMainWindowCloses()
{
    testing::fixClock(kShown);
    testing::Prompts &prompts = *prompts_;
    prompts.clear();
    QStringList help;
    ui::setHelpOpener([&help](const QString &path) { help << path; });
    QString cashier;
    QString ticketNumber;
    int printPrompts = -1;
    bool closedByFallback = false;

    QTimer::singleShot(0, qApp, [&] {
        if (!LoginForm)
            return;
        LoginForm->SpeedButton1->click(); // admin, empty password
        QTimer::singleShot(0, qApp, [&] {
            if (!MainForm)
                return;
            cashier = MainForm->ComboBox6->currentText();
            ticketNumber = MainForm->Edit1->text();
            // The hot keys are live in the running program.
            QTest::keyClick(MainForm->ComboBox1, Qt::Key_F5);
            QTest::keyClick(MainForm->ComboBox1, Qt::Key_F1);
            printPrompts = int(prompts.log().size());
            MainForm->close();
        });
    });
    // Only a guard against a hang: closing the main window must end the loop.
    QTimer fallback;
    fallback.setSingleShot(true);
    connect(&fallback, &QTimer::timeout, qApp, [&closedByFallback] {
        closedByFallback = true;
        QCoreApplication::quit();
    });
    fallback.start(20000);

    QCOMPARE(app::run(), 0);
    QVERIFY(!closedByFallback);
    QCOMPARE(cashier, u"admin"_s);
    QCOMPARE(ticketNumber, u"20240305070809"_s);
    QCOMPARE(printPrompts, 1);
    QCOMPARE(prompts.log().first().text, u"打印信息为空！"_s);
    QCOMPARE(help, QStringList{QDir::current().absoluteFilePath(u"使用帮助.chm"_s)});
    QCOMPARE(MainForm, nullptr);
}

// Closing the main window ends the program, also while a modeless window
// of it (the add-product dialog) is open.
void TestStartup::closingMainWindowEndsTheProgram()
{
    bool modelessShown = false;
    bool closedByFallback = false;
    testing::whileModal([&](QWidget *) {
        if (!LoginForm)
            return;
        testing::click(LoginForm->SpeedButton1); // admin, empty password
        QTimer::singleShot(0, qApp, [&] {
            if (!MainForm || !SptjForm)
                return;
            SptjForm->show();
            modelessShown = SptjForm->isVisible() && !SptjForm->isModal();
            MainForm->close();
        });
    });
    QTimer fallback;
    fallback.setSingleShot(true);
    connect(&fallback, &QTimer::timeout, qApp, [&closedByFallback] {
        closedByFallback = true;
        QCoreApplication::quit();
    });
    fallback.start(5000);

    QCOMPARE(app::run(), 0);
    QVERIFY(modelessShown);
    QVERIFY(!closedByFallback);
    QCOMPARE(MainForm, nullptr);
    QCOMPARE(SptjForm, nullptr);
    QVERIFY(prompts_->log().isEmpty());
}

// A step of the main window's creation handler that fails is shown by the
// general error display; the steps after it do not run, the start goes on.
void TestStartup::creationHandlerErrorLetsTheStartGoOn()
{
    testing::exec(u"update dynr set 店名 = '小王便利店'"_s);
    testing::exec(u"insert into spxx (品名, 单价) values ('可乐', 3)"_s);
    // The restore of the customer option writes the settings row, which this
    // file refuses.
    testing::exec(u"update id set 客户 = '0'"_s);
    testing::exec(u"create trigger refuse before update on id begin select raise(abort, '设置不能修改'); end"_s);

    testing::Program program;
    QVERIFY(MainForm);
    QVERIFY(Dy76Form); // every window made, the last one too
    // The option's own handler failed; the restore went on with the rest.
    QCOMPARE(MainForm->Edit5->text(), u"小王便利店"_s);
    QCOMPARE(MainForm->ComboBox1->count(), 1);

    QList<msg::Prompt> errors;
    for (const msg::Prompt &p : prompts_->log()) {
        if (p.owner.isEmpty() || p.owner == u"MainForm"_s)
            errors << p;
    }
    QVERIFY2(!errors.isEmpty(), "no error shown");
    const msg::Prompt &shown = errors.first();
    QCOMPARE(shown.icon, msg::Icon::Error);
    QCOMPARE(shown.title, u"tst_startup"_s);
    QVERIFY2(shown.text.contains(u"设置不能修改"_s), qPrintable(shown.text));
}

void TestStartup::mainWindowCentredOnTheScreen()
{
    testing::Program program;
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    const QRect area = MainForm->screen()->availableGeometry();
    QVERIFY2(area.width() >= MainForm->frameGeometry().width() && area.height() >= MainForm->frameGeometry().height(),
             "the test screen is smaller than the window");
    const QPoint offset = MainForm->frameGeometry().center() - area.center();
    QVERIFY2(offset.manhattanLength() <= 2, qPrintable(u"%1,%2"_s.arg(offset.x()).arg(offset.y())));
}

void TestStartup::restoreOptions_data()
{
    QTest::addColumn<QVariant>("customer");
    QTest::addColumn<QVariant>("phone");
    QTest::addColumn<bool>("customerOn");
    QTest::addColumn<bool>("phoneOn");
    QTest::addColumn<QString>("storedCustomer");
    QTest::addColumn<QString>("storedPhone");

    const QVariant one(u"1"_s), zero(u"0"_s), none;
    QTest::newRow("both on") << one << one << true << true << u"1"_s << u"1"_s;
    QTest::newRow("customer on, phone off") << one << zero << true << false << u"1"_s << u"0"_s;
    QTest::newRow("customer on, phone 'yes'") << one << QVariant(u"yes"_s) << true << false << u"1"_s << u"0"_s;
    QTest::newRow("customer on, phone empty") << one << none << true << false << u"1"_s << u"0"_s;
    QTest::newRow("customer off, phone on") << zero << one << false << false << u"0"_s << u"0"_s;
    QTest::newRow("customer 'yes', phone on") << QVariant(u"yes"_s) << one << false << false << u"0"_s << u"0"_s;
    QTest::newRow("customer '1 ', phone on") << QVariant(u"1 "_s) << one << false << false << u"0"_s << u"0"_s;
    QTest::newRow("customer empty, phone on") << none << one << false << false << u"0"_s << u"0"_s;
    QTest::newRow("both off") << zero << zero << false << false << u"0"_s << u"0"_s;
}

void TestStartup::restoreOptions()
{
    QFETCH(QVariant, customer);
    QFETCH(QVariant, phone);
    QFETCH(bool, customerOn);
    QFETCH(bool, phoneOn);
    QFETCH(QString, storedCustomer);
    QFETCH(QString, storedPhone);

    testing::exec(u"update id set 客户 = ?, 电话 = ?"_s, {customer, phone});
    watchSettingsWrites();
    testing::Program program;

    QCOMPARE(MainForm->CheckBox2->isChecked(), customerOn);
    QCOMPARE(MainForm->CheckBox3->isChecked(), phoneOn);
    QCOMPARE(MainForm->Edit9->isEnabled(), customerOn);
    QCOMPARE(MainForm->Edit10->isEnabled(), phoneOn);
    QCOMPARE(settingsRows(), (QList<QStringList>{{storedCustomer, storedPhone, u"58"_s, u"1"_s}}));
    if (customerOn && phoneOn)
        QCOMPARE(settingsWrites(), 0);

    // Showing the window reads the settings and writes nothing.
    const int writesBefore = settingsWrites();
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    QCOMPARE(settingsWrites(), writesBefore);
    QCOMPARE(MainForm->CheckBox2->isChecked(), customerOn);
    QCOMPARE(MainForm->CheckBox3->isChecked(), phoneOn);
}

void TestStartup::emptySettingsTable()
{
    testing::exec(u"delete from id"_s);
    testing::Program program;

    QVERIFY(!MainForm->CheckBox2->isChecked());
    QVERIFY(!MainForm->CheckBox3->isChecked());
    QVERIFY(!MainForm->Edit9->isEnabled());
    QVERIFY(!MainForm->Edit10->isEnabled());
    QCOMPARE(settingsRows(), (QList<QStringList>{{u"0"_s, u"0"_s, QString(), QString()}}));

    MainForm->show();
    QCOMPARE(MainForm->ComboBox5->currentText(), QString());
    QCOMPARE(MainForm->ComboBox3->currentText(), QString());
    QCOMPARE(testing::scalar(u"select count(*) from id"_s).toInt(), 1);
}

void TestStartup::showRestoresSettingsAndLists()
{
    testing::exec(u"update id set pos = '76', print = '2'"_s);
    testing::exec(u"update dynr set 店名 = ?, 备注 = ?"_s, {u"小王便利店"_s, u"谢谢惠顾\n欢迎再次光临"_s});
    for (const auto &[name, price] : {std::pair{u"可乐"_s, 3.0}, {u"雪碧"_s, 2.5}, {u"可乐"_s, 3.5},
                                      {u"矿泉水"_s, 1.0}})
        testing::exec(u"insert into spxx (品名, 单价) values (?, ?)"_s, {name, price});
    for (const QString &name : {u"张三"_s, u"李四"_s, u"张三"_s})
        testing::exec(u"insert into username (用户名, 密码, 权限) values (?, '1', '普通用户')"_s, {name});
    watchSettingsWrites();

    testing::fixClock(kShown);
    testing::Program program;
    MainForm->show();
    QVERIFY(activate(MainForm));

    QCOMPARE(MainForm->ComboBox5->currentText(), u"76"_s);
    QCOMPARE(MainForm->ComboBox3->currentText(), u"2"_s);
    QCOMPARE(settingsWrites(), 0);
    QCOMPARE(settingsRows(), (QList<QStringList>{{u"1"_s, u"1"_s, u"76"_s, u"2"_s}}));

    QCOMPARE(MainForm->Edit5->text(), u"小王便利店"_s);
    QCOMPARE(MainForm->Memo1->toPlainText(), u"谢谢惠顾\n欢迎再次光临"_s);

    auto items = [](QComboBox *box) {
        QStringList names;
        for (int i = 0; i < box->count(); ++i)
            names << box->itemText(i);
        return names;
    };
    auto distinct = [](const QString &sql) {
        QStringList names;
        for (const QStringList &row : testing::rows(sql))
            names << row.value(0);
        return names;
    };
    const QStringList products = distinct(u"Select Distinct 品名 From spxx"_s);
    QCOMPARE(products.size(), 3);
    QCOMPARE(items(MainForm->ComboBox1), products);
    QCOMPARE(MainForm->ComboBox1->currentText(), QString());
    const QStringList users = distinct(u"Select Distinct 用户名 From username"_s);
    QCOMPARE(users.size(), 3);
    QCOMPARE(items(MainForm->ComboBox6), users);
    QCOMPARE(MainForm->ComboBox6->currentText(), QString());

    QCOMPARE(MainForm->Edit1->text(), u"20240305070809"_s);
    QTRY_VERIFY(MainForm->ComboBox1->hasFocus());

    MainForm->Timer1Timer();
    QCOMPARE(MainForm->Edit2->text(), u"2024-03-05 07:08:09"_s);
    // The running clock moves the time box; the ticket number stays the one
    // given when the window was shown.
    testing::fixClock(kShown.addSecs(75));
    QTRY_COMPARE(MainForm->Edit2->text(), u"2024-03-05 07:09:24"_s);
    QCOMPARE(MainForm->Edit1->text(), u"20240305070809"_s);
}

void TestStartup::initialControlsAsCashierSeesThem()
{
    testing::Program program;
    MainForm->show();
    TMainForm *m = MainForm;

    QVERIFY(m->SpeedButton2->isEnabled());
    QVERIFY(!m->SpeedButton3->isEnabled());
    QVERIFY(!m->SpeedButton4->isEnabled());
    QCOMPARE(m->Edit4->text(), u"1"_s);
    QCOMPARE(m->ComboBox2->currentText(), u"10"_s);
    QCOMPARE(m->Label13->text(), u"0"_s);
    QCOMPARE(m->Label14->text(), u"0"_s);
    QCOMPARE(m->Label15->text(), u"0"_s);
    QVERIFY(!m->CheckBox1->isChecked());
    QVERIFY(m->Timer1.isActive());
    QVERIFY(m->Edit11->isReadOnly());
    QVERIFY(m->Edit12->isReadOnly());
    QVERIFY(m->Edit6->isReadOnly());
    QCOMPARE(m->statusPanel(2), u"快捷键：帮助F1键、打印小票F5键"_s);

    QStringList discounts{u"10"_s};
    for (int tenths = 99; tenths >= 1; --tenths)
        discounts << QString::number(tenths / 10.0, 'f', 1);
    QCOMPARE(m->ComboBox2->count(), 100);
    for (int i = 0; i < m->ComboBox2->count(); ++i)
        QCOMPARE(m->ComboBox2->itemText(i), discounts[i]);
    QCOMPARE(m->ComboBox2->itemText(90), u"1.0"_s);
    QCOMPARE(m->ComboBox2->itemText(99), u"0.1"_s);

    // A screen reader names each box by its caption and each button by its text.
    QSet<QString> labelled;
    for (QLabel *label : m->findChildren<QLabel *>()) {
        if (!label->buddy())
            continue;
        QCOMPARE(label->buddy()->accessibleName(), label->text());
        labelled.insert(label->buddy()->objectName());
    }
    for (const char *box : {"Edit1", "ComboBox1", "Edit3", "Edit4", "ComboBox2", "Edit11", "Edit12",
                            "ComboBox6", "Edit5", "ComboBox4", "Edit6", "ComboBox5", "ComboBox3"})
        QVERIFY2(labelled.contains(QLatin1String(box)), box);
    for (QCheckBox *option : {m->CheckBox1, m->CheckBox2, m->CheckBox3})
        QVERIFY(!option->text().isEmpty());
    QCOMPARE(m->Edit2->accessibleName(), m->CheckBox1->text());
    QCOMPARE(m->Edit9->accessibleName(), m->CheckBox2->text());
    QCOMPARE(m->Edit10->accessibleName(), m->CheckBox3->text());
    const auto buttons = m->findChildren<QPushButton *>();
    QVERIFY(buttons.size() >= 8);
    for (QPushButton *b : buttons)
        QCOMPARE(b->accessibleName(), b->text());
}

void TestStartup::tabOrder()
{
    testing::Program program;
    MainForm->show();
    QVERIFY(activate(MainForm));
    QTRY_VERIFY(MainForm->ComboBox1->hasFocus());

    // From the product box round the window and back; the buttons come
    // between the cashier box and the ticket number, the disabled ones never.
    const QStringList boxes{u"ComboBox1"_s, u"Edit3"_s,     u"Edit4"_s,   u"ComboBox2"_s, u"Edit12"_s,
                            u"CheckBox2"_s, u"Edit9"_s,     u"CheckBox1"_s, u"Edit10"_s,  u"CheckBox3"_s,
                            u"Edit11"_s,    u"ComboBox6"_s, u"Edit1"_s,   u"Edit2"_s,     u"Edit5"_s,
                            u"ComboBox4"_s, u"Edit6"_s,     u"ComboBox3"_s, u"ComboBox5"_s, u"DBGridEh1"_s};
    QStringList visited{controlName(QApplication::focusWidget())};
    QStringList buttons;
    for (int i = 0; i < 40 && (visited.size() == 1 || visited.last() != u"ComboBox1"_s); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *w = QApplication::focusWidget();
        if (qobject_cast<QPushButton *>(w))
            buttons << w->objectName();
        else
            visited << controlName(w);
    }
    QCOMPARE(visited.mid(0, visited.size() - 1), boxes);
    QVERIFY(!buttons.contains(u"SpeedButton3"_s));
    QVERIFY(!buttons.contains(u"SpeedButton4"_s));
    QVERIFY(buttons.contains(u"SpeedButton6"_s));
}

void TestStartup::customerAndPhoneOptions_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<bool>("customerOn");
    QTest::addColumn<bool>("phoneOn");
    QTest::addColumn<QString>("storedCustomer");
    QTest::addColumn<QString>("storedPhone");

    QTest::newRow("phone on while customer off turns both on")
        << QStringList{u"CheckBox2"_s, u"CheckBox3"_s} << true << true << u"1"_s << u"1"_s;
    QTest::newRow("customer off while phone on turns both off")
        << QStringList{u"CheckBox2"_s} << false << false << u"0"_s << u"0"_s;
    QTest::newRow("phone off keeps customer on")
        << QStringList{u"CheckBox3"_s} << true << false << u"1"_s << u"0"_s;
    QTest::newRow("customer back on leaves phone off")
        << QStringList{u"CheckBox2"_s, u"CheckBox2"_s} << true << false << u"1"_s << u"0"_s;
}

void TestStartup::customerAndPhoneOptions()
{
    QFETCH(QStringList, clicks);
    QFETCH(bool, customerOn);
    QFETCH(bool, phoneOn);
    QFETCH(QString, storedCustomer);
    QFETCH(QString, storedPhone);

    std::optional<testing::Program> program(std::in_place);
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    // Chinese arrives through the input method: committed text, not key clicks.
    MainForm->Edit9->insert(u"王先生"_s);
    QTest::keyClicks(MainForm->Edit10, u"13800000000"_s);

    for (const QString &name : clicks) {
        auto *box = MainForm->findChild<QCheckBox *>(name);
        QVERIFY(box);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }
    auto check = [&] {
        QCOMPARE(MainForm->CheckBox2->isChecked(), customerOn);
        QCOMPARE(MainForm->CheckBox3->isChecked(), phoneOn);
        QCOMPARE(MainForm->Edit9->isEnabled(), customerOn);
        QCOMPARE(MainForm->Edit10->isEnabled(), phoneOn);
        QCOMPARE(settingsRows(), (QList<QStringList>{{storedCustomer, storedPhone, u"58"_s, u"1"_s}}));
    };
    check();
    if (QTest::currentTestFailed())
        return;
    // The boxes keep what was typed, usable or not.
    QCOMPARE(MainForm->Edit9->text(), u"王先生"_s);
    QCOMPARE(MainForm->Edit10->text(), u"13800000000"_s);

    // The next start comes up the same way.
    program.reset();
    program.emplace();
    check();
}

void TestStartup::timeOptionStopsTheClock()
{
    testing::Program program;
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    TMainForm *m = MainForm;
    QVERIFY(m->Timer1.isActive());

    QTest::mouseClick(m->CheckBox1, Qt::LeftButton, {}, QPoint(8, m->CheckBox1->height() / 2));
    QVERIFY(m->CheckBox1->isChecked());
    QVERIFY(!m->Timer1.isActive());
    // The cashier may now type a time of their own.
    m->Edit2->clear();
    QTest::keyClicks(m->Edit2, u"2024-01-01 12:00:00"_s);
    QCOMPARE(m->Edit2->text(), u"2024-01-01 12:00:00"_s);

    QTest::mouseClick(m->CheckBox1, Qt::LeftButton, {}, QPoint(8, m->CheckBox1->height() / 2));
    QVERIFY(!m->CheckBox1->isChecked());
    QVERIFY(m->Timer1.isActive());
    testing::fixClock(kShown);
    QTRY_COMPARE(m->Edit2->text(), u"2024-03-05 07:08:09"_s);
    // The options row is not touched by the time option.
    QCOMPARE(settingsRows(), (QList<QStringList>{{u"1"_s, u"1"_s, u"58"_s, u"1"_s}}));
}

void TestStartup::f5WhileLoginShown()
{
    seedTicketLines(2);
    testing::Program program;
    app::HotKeys hotKeys;
    MainForm->show();
    testing::Prompts &prompts = *prompts_;
    prompts.clear();

    int shownDuringLogin = -1;
    QTimer::singleShot(0, MainForm, [&] {
        if (!LoginForm)
            return;
        QTest::keyClick(LoginForm->Edit1, Qt::Key_F5);
        shownDuringLogin = int(prompts.log().size());
        LoginForm->SpeedButton2->click();
    });
    QCOMPARE(TLoginForm::RunLogin(), false);

    QCOMPARE(shownDuringLogin, 1);
    QCOMPARE(prompts.log().size(), 1);
    const msg::Prompt &p = prompts.log().first();
    QCOMPARE(p.owner, u"MainForm"_s);
    QCOMPARE(p.text, u"打印信息为空！"_s);
    QCOMPARE(p.title, u"提示"_s);
    QCOMPARE(p.icon, msg::Icon::Warning);
    QCOMPARE(p.buttons, msg::Buttons::Ok);
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 0);
}

void TestStartup::f5InMainWindowOnEmptyTicket()
{
    testing::Program program;
    app::HotKeys hotKeys;
    MainForm->show();
    testing::Prompts &prompts = *prompts_;
    prompts.clear();
    // Even with a customer and cash typed, an empty ticket prints nothing.
    MainForm->Edit9->insert(u"王先生"_s);
    QTest::keyClicks(MainForm->ComboBox4, u"100"_s);

    QTest::keyClick(MainForm->ComboBox1, Qt::Key_F5);
    QCOMPARE(prompts.log().size(), 1);
    QCOMPARE(prompts.log().first().owner, u"MainForm"_s);
    QCOMPARE(prompts.log().first().text, u"打印信息为空！"_s);
    QCOMPARE(prompts.log().first().icon, msg::Icon::Warning);
    QCOMPARE(MainForm->Edit9->text(), u"王先生"_s);
    QCOMPARE(MainForm->ComboBox4->currentText(), u"100"_s);
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 0);
}

void TestStartup::f1OpensHelpEverywhere()
{
    testing::Program program;
    app::HotKeys hotKeys;
    QStringList opened;
    ui::setHelpOpener([&opened](const QString &path) { opened << path; });
    MainForm->show();
    const QString help = QDir(QDir::currentPath()).absoluteFilePath(u"使用帮助.chm"_s);

    QTest::keyClick(MainForm->Edit3, Qt::Key_F1);
    QTest::keyClick(MainForm->ComboBox1, Qt::Key_F1);
    QCOMPARE(opened, (QStringList{help, help}));

    testing::Prompts &prompts = *prompts_;
    prompts.clear();
    QTimer::singleShot(0, MainForm, [] {
        if (!LoginForm)
            return;
        QTest::keyClick(LoginForm->Edit1, Qt::Key_F1);
        LoginForm->SpeedButton2->click();
    });
    QCOMPARE(TLoginForm::RunLogin(), false);
    QCOMPARE(opened, (QStringList{help, help, help}));
    QVERIFY(prompts.log().isEmpty());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
