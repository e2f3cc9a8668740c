// Starting the program on the data.mdb a shop actually has: a damaged file, a
// file or folder that cannot be written, a file left in write-ahead-log mode
// by an earlier version, and a second copy of the program on the same file.
// Each is told at start, naming the file, before anything is written.
#include "app/Application.h"
#include "app/Forms.h"
#include "app/LoginUnit.h"
#include "support/DamagedFiles.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool canWrite(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite);
}

bool canCreateIn(const QString &folder)
{
    QFile f(folder + u"/probe"_s);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.close();
    f.remove();
    return true;
}

// Runs the program's start in this process; the login, if it is reached, is
// given up at once so the start ends.
int startProgram(bool *loginShown = nullptr)
{
    bool shown = false;
    // Ticks only inside the login's own loop; a refused start never gets there.
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&shown] {
        if (LoginForm && LoginForm->isVisible()) {
            shown = true;
            LoginForm->SpeedButton2->click();
        }
    });
    closer.start();
    const int code = app::run();
    if (loginShown)
        *loginShown = shown;
    return code;
}

// Whether the process holds its lock on the file (read from the kernel's
// table, so that looking never takes the lock itself).
bool holdsLock(qint64 pid, const QString &file)
{
    struct stat st {};
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        return false;
    QFile locks(u"/proc/locks"_s);
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    const QByteArray inode = ':' + QByteArray::number(quint64(st.st_ino)) + ' ';
    const QByteArray holder = ' ' + QByteArray::number(pid) + ' ';
    for (const QByteArray &line : locks.readAll().split('\n')) {
        if (line.contains("FLOCK") && line.contains(holder) && line.contains(inode))
            return true;
    }
    return false;
}

QString journalMode()
{
    return testing::scalar(u"PRAGMA journal_mode"_s).toString();
}

} // namespace

class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void damagedFileIsRefusedAtStart_data();
    void damagedFileIsRefusedAtStart();
    void unwritableDatabaseIsToldAtStart_data();
    void unwritableDatabaseIsToldAtStart();
    void fileInWalModeStartsAsOneFile();
    void startsAgainAfterAnEnd();
    void olderFileGainsItsIndexes_data();
    void olderFileGainsItsIndexes();
    void secondProgramOnTheSameFileIsRefused_data();
    void secondProgramOnTheSameFileIsRefused();
    void folderPathLongerThanTheEngineTakes_data();
    void folderPathLongerThanTheEngineTakes();

private:
    std::optional<testing::TempWorkDir> work_;
    std::optional<testing::Prompts> prompts_;
};

void TestDatabase::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestDatabase::init()
{
    work_.emplace(false);
    prompts_.emplace();
}

void TestDatabase::cleanup()
{
    prompts_.reset();
    // Permissions a test took away come back, so the folder can be removed.
    QFile::setPermissions(work_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(work_->file(u"data.mdb"_s), QFile::ReadOwner | QFile::WriteOwner);
    work_.reset();
}

void TestDatabase::damagedFileIsRefusedAtStart_data()
{
    QTest::addColumn<QString>("kind");
    for (const QString &kind : testing::damagedKinds())
        QTest::newRow(qPrintable(kind)) << kind;
}

void TestDatabase::damagedFileIsRefusedAtStart()
{
    QFETCH(QString, kind);
    const QString path = work_->file(u"data.mdb"_s);
    testing::writeDamagedDatabase(path, kind);
    const QByteArray before = testing::fileBytes(path);

    bool loginShown = true;
    QCOMPARE(startProgram(&loginShown), 1);
    QVERIFY(!loginShown);
    QCOMPARE(prompts_->log().size(), 1);
    const msg::Prompt &p = prompts_->log().first();
    QCOMPARE(p.icon, msg::Icon::Error);
    const QString told = kind == u"damaged"_s ? u"数据库文件“%1”已损坏，请从备份恢复"_s : u"“%1”不是本程序的数据库"_s;
    QVERIFY2(p.text.contains(told.arg(QDir::toNativeSeparators(path))), qPrintable(p.text));
    // The shop's file is left exactly as it was, with nothing beside it but
    // the log, which says why the start was refused.
    QCOMPARE(testing::fileBytes(path), before);
    QCOMPARE(QDir(work_->path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{u"data.mdb"_s, u"velmora.log"_s}));
    QFile log(work_->file(u"velmora.log"_s));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(log.readAll()).contains(u"critical velmora.app: the start was refused: "_s + p.text.chopped(1)));
    QCOMPARE(MainForm, nullptr);
}

void TestDatabase::unwritableDatabaseIsToldAtStart_data()
{
    QTest::addColumn<bool>("folder"); // the folder is read-only, else the file
    QTest::newRow("read-only file") << false;
    QTest::newRow("read-only folder") << true;
}

void TestDatabase::unwritableDatabaseIsToldAtStart()
{
    QFETCH(bool, folder);
    const QString path = work_->file(u"data.mdb"_s);
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), path));
    testing::exec(u"insert into xsxx (品名) values ('上次的行')"_s);
    const QByteArray before = testing::fileBytes(path);
    const QStringList filesBefore = QDir(work_->path()).entryList(QDir::Files | QDir::Hidden);
    if (folder)
        QVERIFY(QFile::setPermissions(work_->path(), QFile::ReadOwner | QFile::ExeOwner));
    else
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));

    testing::AsOrdinaryUser user;
    if (folder ? canCreateIn(work_->path()) : canWrite(path))
        QSKIP("this machine writes into read-only files and folders (no way to give up that right)");
    QCOMPARE(startProgram(), 1);
    QCOMPARE(prompts_->log().size(), 1);
    const msg::Prompt &p = prompts_->log().first();
    QCOMPARE(p.icon, msg::Icon::Error);
    QVERIFY2(p.text.contains(QDir::toNativeSeparators(path)), qPrintable(p.text));
    QVERIFY2(p.text.contains(u"只读"_s), qPrintable(p.text));
    QVERIFY2(p.text.contains(u"不能启动"_s), qPrintable(p.text));
    QCOMPARE(MainForm, nullptr);
    QCOMPARE(testing::fileBytes(path), before);
    // Nothing beside it but the log, where the folder takes one.
    QStringList after = QDir(work_->path()).entryList(QDir::Files | QDir::Hidden);
    after.removeAll(u"velmora.log"_s);
    QCOMPARE(after, filesBefore);
}

void TestDatabase::fileInWalModeStartsAsOneFile()
{
    const QString path = work_->file(u"data.mdb"_s);
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    testing::exec(u"PRAGMA journal_mode=WAL"_s);
    QCOMPARE(journalMode(), u"wal"_s);

    bool loginShown = false;
    QCOMPARE(startProgram(&loginShown), 0);
    QVERIFY(loginShown);
    QVERIFY(prompts_->log().isEmpty());
    QCOMPARE(journalMode(), u"delete"_s);
    QVERIFY(!QFile::exists(path + u"-wal"_s));
}

void TestDatabase::startsAgainAfterAnEnd()
{
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), work_->file(u"data.mdb"_s)));
    bool loginShown = false;
    QCOMPARE(startProgram(&loginShown), 0);
    QVERIFY(loginShown);
    // The lock went with the run that ended.
    loginShown = false;
    QCOMPARE(startProgram(&loginShown), 0);
    QVERIFY(loginShown);
    QVERIFY(prompts_->log().isEmpty());
}

void TestDatabase::olderFileGainsItsIndexes_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::newRow("product names") << u"spxx_品名"_s << u"spxx"_s << u"品名"_s;
    QTest::newRow("ticket times") << u"xstj_时间"_s << u"xstj"_s << u"时间"_s;
    QTest::newRow("ticket cashiers") << u"xstj_收银员"_s << u"xstj"_s << u"收银员"_s;
}

// A data.mdb of an earlier version lacks an index the program relies on (a
// product is learnt by its exact name, the history reads a range of days and
// steps through the cashiers); the start adds it, and keeps every row.
void TestDatabase::olderFileGainsItsIndexes()
{
    QFETCH(QString, index);
    QFETCH(QString, table);
    QFETCH(QString, column);
    const QString path = work_->file(u"data.mdb"_s);
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    testing::exec(u"drop index "_s + index);
    testing::exec(u"insert into spxx values ('苹果', 3)"_s);
    testing::exec(u"insert into xstj values ('20240301080000', '2024-03-01 08:00:00', 1, 3, 3, 'admin')"_s);
    const QString named = u"select count(*) from sqlite_master where type = 'index' and name = ?"_s;
    QCOMPARE(testing::scalar(named, {index}).toInt(), 0);

    bool loginShown = false;
    QCOMPARE(startProgram(&loginShown), 0);
    QVERIFY(loginShown);
    QVERIFY(prompts_->log().isEmpty());
    QCOMPARE(testing::scalar(u"select sql from sqlite_master where name = ?"_s, {index}).toString(),
             u"CREATE INDEX \"%1\" ON \"%2\"(\"%3\") WHERE \"%3\" IS NOT NULL"_s.arg(index, table, column));
    QCOMPARE(testing::rows(u"select 品名, 单价 from spxx"_s), (QList<QStringList>{{u"苹果"_s, u"3"_s}}));
    QCOMPARE(testing::rows(u"select 单号, 收银员 from xstj"_s),
             (QList<QStringList>{{u"20240301080000"_s, u"admin"_s}}));
    QCOMPARE(testing::scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
}

void TestDatabase::secondProgramOnTheSameFileIsRefused_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("the same folder") << u"folder"_s;
    QTest::newRow("a symbolic link to the file") << u"symlink"_s;
    QTest::newRow("a hard link to the file") << u"hardlink"_s;
    QTest::newRow("a symbolic link to the folder") << u"folder symlink"_s;
}

// However the second copy reaches the first one's data.mdb, it is refused
// before it writes anything (it would empty the first one's working ticket).
void TestDatabase::secondProgramOnTheSameFileIsRefused()
{
    QFETCH(QString, way);

    const QString path = work_->file(u"data.mdb"_s);
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    // The program itself runs in this folder and waits at its login.
    QProcess first;
    first.setProgram(QStringLiteral(VELMORA_EXE));
    first.setWorkingDirectory(work_->path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"HOME"_s, work_->path());
    first.setProcessEnvironment(env);
    first.start();
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(holdsLock(first.processId(), path), 20000);
    testing::exec(u"insert into xsxx (品名) values ('第一个程序的行')"_s);
    // No lock file beside data.mdb (only the program's log): the lock is on
    // the file itself.
    QStringList beside = QDir(work_->path()).entryList(QDir::Files | QDir::Hidden);
    beside.removeAll(u"velmora.log"_s);
    QCOMPARE(beside, QStringList{u"data.mdb"_s});

    // The second copy's folder, and the data.mdb it finds there.
    QString folder = work_->path();
    if (way == u"symlink"_s || way == u"hardlink"_s) {
        folder = work_->file(u"till2"_s);
        QVERIFY(QDir().mkpath(folder));
        const QByteArray target = QFile::encodeName(path);
        const QByteArray name = QFile::encodeName(folder + u"/data.mdb"_s);
        QCOMPARE(way == u"symlink"_s ? ::symlink(target.constData(), name.constData())
                                     : ::link(target.constData(), name.constData()),
                 0);
    } else if (way == u"folder symlink"_s) {
        folder = work_->file(u"shortcut"_s);
        QVERIFY(QFile::link(work_->path(), folder));
    }
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder));
    // The file as the program finds it there (a folder reached through a
    // link is the folder itself to the current directory).
    const QString found = QDir::current().filePath(u"data.mdb"_s);
    bool loginShown = true;
    const int code = startProgram(&loginShown);
    QDir::setCurrent(before);
    QCOMPARE(code, 1);
    QVERIFY(!loginShown);
    QCOMPARE(prompts_->log().size(), 1);
    const msg::Prompt &p = prompts_->log().first();
    QCOMPARE(p.icon, msg::Icon::Error);
    QVERIFY2(p.text.contains(QDir::toNativeSeparators(found)), qPrintable(p.text));
    QVERIFY2(p.text.contains(u"不能同时运行两个"_s), qPrintable(p.text));
    // The first program's working ticket was left alone.
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 1);
    QVERIFY(holdsLock(first.processId(), path));

    // A shop's second till with its own data.mdb in another folder starts.
    {
        testing::TempWorkDir other;
        prompts_->clear();
        QCOMPARE(startProgram(&loginShown), 0);
        QVERIFY(loginShown);
        QVERIFY(prompts_->log().isEmpty());
    }

    // The first program crashes: its lock goes with it.
    const qint64 pid = first.processId();
    first.kill();
    QVERIFY(first.waitForFinished());
    QVERIFY(!holdsLock(pid, path));
    prompts_->clear();
    QVERIFY(QDir::setCurrent(folder));
    const int again = startProgram(&loginShown);
    QDir::setCurrent(before);
    QCOMPARE(again, 0);
    QVERIFY(loginShown);
    QVERIFY(prompts_->log().isEmpty());
}

void TestDatabase::folderPathLongerThanTheEngineTakes_data()
{
    QTest::addColumn<int>("extra"); // bytes past the longest folder path SQLite takes
    QTest::newRow("the longest it takes") << 0;
    QTest::newRow("one byte longer") << 1;
    QTest::newRow("Chinese names, longer") << 30;
}

// SQLite takes a file name of at most 512 bytes, its journal's ("-journal"
// added) included. A longer folder path is refused at start, saying so,
// rather than failing at the first sale with "unable to open database file".
void TestDatabase::folderPathLongerThanTheEngineTakes()
{
    QFETCH(int, extra);

    const int longest = 512 - int(sizeof("-journal") - 1) - int(sizeof("/data.mdb") - 1);
    const QByteArray base = QFile::encodeName(QFileInfo(work_->path()).canonicalFilePath());
    const int wanted = longest + extra;
    QVERIFY(base.size() + 20 < wanted);
    // Folders of at most 100 bytes each, down to the length wanted; a
    // Chinese name counts three bytes a character.
    const QString piece = extra >= 30 ? u"销售小票数据文件夹"_s : QString(99, u'a');
    QByteArray folder = base;
    while (folder.size() < wanted) {
        const int room = wanted - folder.size() - 1;
        QByteArray name = QFile::encodeName(piece);
        if (name.size() > room)
            name = QByteArray(room, 'b');
        folder += '/' + name;
    }
    QCOMPARE(folder.size(), wanted);
    const QString path = QFile::decodeName(folder);
    QVERIFY(QDir().mkpath(path));
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), path + u"/data.mdb"_s));
    QFile::setPermissions(path + u"/data.mdb"_s, QFile::ReadOwner | QFile::WriteOwner);

    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(path));
    bool loginShown = false;
    const int code = startProgram(&loginShown);
    if (extra == 0) {
        // The longest path works through a sale's writes, not just the start.
        testing::exec(u"insert into xsxx (品名) values ('行')"_s);
    }
    QDir::setCurrent(before);
    if (extra == 0) {
        QCOMPARE(code, 0);
        QVERIFY(loginShown);
        QVERIFY(prompts_->log().isEmpty());
        return;
    }
    QCOMPARE(code, 1);
    QVERIFY(!loginShown);
    QCOMPARE(prompts_->log().size(), 1);
    const msg::Prompt &p = prompts_->log().first();
    QCOMPARE(p.icon, msg::Icon::Error);
    QVERIFY2(p.text.contains(u"路径太长"_s), qPrintable(p.text));
    QVERIFY2(p.text.contains(u"有%1字节"_s.arg(wanted)), qPrintable(p.text));
    QVERIFY2(p.text.contains(u"最多只能有%1字节"_s.arg(longest)), qPrintable(p.text));
}

QTEST_MAIN(TestDatabase)
#include "tst_database.moc"
