// The backups in 系统设置: listed on their tab for everyone with their time,
// tickets and last sale; a restore refused for an ordinary user, done for an
// administrator (the current data.mdb kept aside, the program started again),
// and a damaged backup refused with nothing changed.
#include "admin/XtUnit.h"
#include "app/Backups.h"
#include "store/Backup.h"
#include "store/Session.h"
#include "support/DamagedFiles.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"
#include "ui/FileDialog.h"

#include <QDir>
#include <QTabBar>
#include <QtTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QDateTime kFirst(QDate(2026, 12, 8), QTime(20, 15, 0));
const QDateTime kSecond(QDate(2026, 12, 9), QTime(21, 0, 30));

void sell(const QString &number, const QString &time)
{
    testing::exec(u"insert into xstj(单号, 时间, 数量, 金额, 折后, 收银员) values (?, ?, 1, 5, 5, 'admin')"_s,
                  {number, time});
    testing::exec(u"insert into xsmx(单号, 时间, 品名, 单价, 数量, 金额, 折后) values (?, ?, '可乐', 5, 1, 5, 5)"_s,
                  {number, time});
}

QString rowText(QTableWidget *grid, int row)
{
    QStringList cells;
    for (int c = 0; c < grid->columnCount(); ++c)
        cells << (grid->item(row, c) ? grid->item(row, c)->text() : QString());
    return cells.join(u'|');
}

} // namespace

class TestRestore : public QObject {
    Q_OBJECT
    std::optional<testing::Session> session_;
    int restarts_ = 0;

    // 设置, then a click on the tab 备份; steps run there.
    void onBackupTab(const std::function<void()> &steps)
    {
        testing::whileModal([&](QWidget *) {
            QTabBar *tabs = XtForm->PageControl1->tabBar();
            testing::clickAt(tabs, tabs->tabRect(XtForm->PageControl1->indexOf(XtForm->TabSheet4)).center());
            QCOMPARE(XtForm->PageControl1->currentWidget(), XtForm->TabSheet4);
            steps();
        });
        testing::click(MainForm->SpeedButton1);
    }
    QString backupFile(const QDateTime &t)
    {
        return session_->dir().file(u"备份/"_s + backup::fileName(t));
    }

private slots:
    void init();
    void cleanup();
    void listedAndRefusedForOrdinaryUser();
    void restoredForAdministrator();
    void damagedBackupRefused();
    void anotherFolderChosen();
};

void TestRestore::init()
{
    // Two backups: one of two sales, a later one of three.
    session_.emplace([] {
        const QString data = QDir::current().absoluteFilePath(u"data.mdb"_s);
        sell(u"20261208100000"_s, u"2026-12-08 10:00:00"_s);
        sell(u"20261208193000"_s, u"2026-12-08 19:30:00"_s);
        backup::take(data, backup::defaultFolder(data), kFirst);
        sell(u"20261209120000"_s, u"2026-12-09 12:00:00"_s);
        backup::take(data, backup::defaultFolder(data), kSecond);
        sell(u"20261210090000"_s, u"2026-12-10 09:00:00"_s);
    });
    restarts_ = 0;
    app::setRestart([this] { ++restarts_; });
}

void TestRestore::cleanup()
{
    app::setRestart({});
    session_.reset();
}

void TestRestore::listedAndRefusedForOrdinaryUser()
{
    session::logIn({u"张三"_s, false});
    const QByteArray before = testing::fileBytes(u"data.mdb"_s);
    onBackupTab([&] {
        QTableWidget *grid = XtForm->StringGrid1;
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(rowText(grid, 0), u"2026-12-09 21:00:30|3|2026-12-09 12:00:00"_s);
        QCOMPARE(rowText(grid, 1), u"2026-12-08 20:15:00|2|2026-12-08 19:30:00"_s);
        QCOMPARE(XtForm->Edit2->text(), session_->dir().file(u"备份"_s));
        QVERIFY(testing::clickRow(grid, 1, 0));
        testing::click(XtForm->SpeedButton10);
        ui::queueFolderName(session_->dir().file(u"elsewhere"_s));
        testing::click(XtForm->SpeedButton9);
        // The folder was never asked for: it is still queued.
        QCOMPARE(ui::existingFolder(nullptr, QString(), QString()), session_->dir().file(u"elsewhere"_s));
    });
    QCOMPARE(session_->prompts().takeTexts(),
             (QStringList{u"只有管理员才能恢复数据！"_s, u"只有管理员才能更改备份文件夹！"_s}));
    QCOMPARE(restarts_, 0);
    QCOMPARE(testing::fileBytes(u"data.mdb"_s), before);
    QVERIFY(!QFile::exists(u"velmora.ini"_s));
}

void TestRestore::restoredForAdministrator()
{
    const QByteArray before = testing::fileBytes(u"data.mdb"_s);
    session_->prompts().answer(msg::Answer::Ok);
    onBackupTab([&] {
        QVERIFY(testing::clickRow(XtForm->StringGrid1, 1, 0));
        testing::click(XtForm->SpeedButton10);
    });
    const QString aside = session_->dir().file(u"data.mdb.before-restore-"_s);
    const QStringList texts = session_->prompts().takeTexts();
    QCOMPARE(texts.size(), 2);
    QCOMPARE(texts[0], u"确定要用2026-12-08 20:15:00的备份(2张小票)替换当前的数据？\n"
                       "当前的数据会另外保存，恢复后程序将重新启动。"_s);
    QVERIFY2(texts[1].startsWith(u"数据已经恢复，原来的数据另存为“%1"_s.arg(aside)), qPrintable(texts[1]));
    QCOMPARE(restarts_, 1);
    // data.mdb is the backup now; the former file is kept whole.
    QCOMPARE(testing::fileBytes(u"data.mdb"_s), testing::fileBytes(backupFile(kFirst)));
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 2);
    const QStringList kept = QDir::current().entryList({u"data.mdb.before-restore-*"_s});
    QCOMPARE(kept.size(), 1);
    QCOMPARE(testing::fileBytes(kept[0]), before);
}

void TestRestore::damagedBackupRefused()
{
    QFile f(backupFile(kSecond));
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.seek(f.size() / 2);
    f.write(QByteArray(4096, '\x5a'));
    f.close();
    const QByteArray before = testing::fileBytes(u"data.mdb"_s);
    session_->prompts().answer(msg::Answer::Ok);
    onBackupTab([&] {
        QVERIFY(testing::clickRow(XtForm->StringGrid1, 0, 0));
        testing::click(XtForm->SpeedButton10);
    });
    const QList<msg::Prompt> log = session_->prompts().log();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log[1].icon, msg::Icon::Error);
    QCOMPARE(log[1].text, u"备份文件“%1”不能用来恢复：文件已损坏。数据没有改变。"_s.arg(backupFile(kSecond)));
    QCOMPARE(restarts_, 0);
    QCOMPARE(testing::fileBytes(u"data.mdb"_s), before);
    QVERIFY(QDir::current().entryList({u"data.mdb.*"_s}).isEmpty());
}

void TestRestore::anotherFolderChosen()
{
    const QString stick = session_->dir().file(u"U盘"_s);
    QDir().mkpath(stick);
    onBackupTab([&] {
        QCOMPARE(XtForm->StringGrid1->rowCount(), 2);
        ui::queueFolderName(stick);
        testing::click(XtForm->SpeedButton9);
        QCOMPARE(XtForm->Edit2->text(), stick);
        QCOMPARE(XtForm->StringGrid1->rowCount(), 0);
        QCOMPARE(XtForm->StringGrid1->accessibleName(), u"备份"_s);
    });
    QCOMPARE(backup::folderFor(QDir::current().absoluteFilePath(u"data.mdb"_s)), stick);
    QVERIFY(session_->prompts().takeTexts().isEmpty());
}

QTEST_MAIN(TestRestore)
#include "tst_restore.moc"
