// The connection decides which data.mdb the shop's receipts land in, so it
// must follow the current directory, never invent an empty database, and let
// two windows (or two running copies) write side by side.
#include "base/AppError.h"
#include "store/Connection.h"
#include "store/InstanceLock.h"
#include "store/Query.h"
#include "support/DamagedFiles.h"
#include "support/CoreSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A sub-folder of the work dir holding its own copy of the delivered data.mdb,
// marked with a shop name so the test can tell which file was opened.
QString makeShopDir(const testing::TempWorkDir &work, const QString &name, const QString &shop)
{
    const QString dir = work.file(name);
    QDir().mkpath(dir);
    if (!QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), dir + u"/data.mdb"_s))
        qFatal("cannot copy data.mdb");
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir);
    testing::exec(u"update dynr set 店名 = ?"_s, {shop});
    QDir::setCurrent(before);
    return dir;
}

QString shopName(Connection &c)
{
    QSqlQuery q(c.database());
    if (!q.exec(u"select 店名 from dynr"_s) || !q.next())
        return u"<unreadable>"_s;
    return q.value(0).toString();
}

} // namespace

class TestConnection : public QObject {
    Q_OBJECT
private slots:
    void followsCurrentDirectoryAtEachOpen();
    void missingFileIsNeverCreated_data();
    void missingFileIsNeverCreated();
    void damagedFileIsRefused_data();
    void damagedFileIsRefused();
    void oneInstanceLockPerFile_data();
    void oneInstanceLockPerFile();
    void runtimeStringNamesCurrentFolder_data();
    void runtimeStringNamesCurrentFolder();
    void designStringsUseRelativeFile();
    void dataSourceReadsQuotedValue();
    void walFileIsTurnedIntoOneFile();
    void deliveredFileUsesRollbackJournal();
    void queriesHoldNoLockBetweenEvents();
};

void TestConnection::followsCurrentDirectoryAtEachOpen()
{
    testing::TempWorkDir work(false);
    const QString one = makeShopDir(work, u"one"_s, u"一号店"_s);
    const QString two = makeShopDir(work, u"two"_s, u"二号店"_s);

    Connection c;
    QDir::setCurrent(one);
    c.open();
    QCOMPARE(shopName(c), u"一号店"_s);
    QCOMPARE(c.filePath(), QDir(one).absoluteFilePath(u"data.mdb"_s));
    const int firstGeneration = c.generation();
    c.close();
    QVERIFY(!c.isOpen());

    QDir::setCurrent(two);
    c.open();
    QVERIFY(c.isOpen());
    QCOMPARE(shopName(c), u"二号店"_s);
    QCOMPARE(c.filePath(), QDir(two).absoluteFilePath(u"data.mdb"_s));
    // Queries drop cached column lists when the generation moves.
    QVERIFY(c.generation() > firstGeneration);
}

void TestConnection::missingFileIsNeverCreated_data()
{
    QTest::addColumn<bool>("runtimeString");
    QTest::addColumn<QString>("folder");
    QTest::newRow("design string") << false << u"empty"_s;
    QTest::newRow("run-time string") << true << u"empty"_s;
    QTest::newRow("folder with blanks and hanzi") << false << u"收银 台"_s;
}

void TestConnection::missingFileIsNeverCreated()
{
    QFETCH(bool, runtimeString);
    QFETCH(QString, folder);
    testing::TempWorkDir work(false);
    const QString dir = work.file(folder);
    QVERIFY(QDir().mkpath(dir));
    QDir::setCurrent(dir);

    Connection c(runtimeString ? connstr::runtime() : connstr::designShort());
    QString message;
    try {
        c.open();
        QFAIL("opening a folder without data.mdb succeeded");
    } catch (const AppError &e) {
        message = e.message();
    }
    QVERIFY2(message.contains(u"data.mdb"_s), qPrintable(message));
    QVERIFY2(message.contains(QDir::toNativeSeparators(dir)), qPrintable(message));
    QVERIFY(!c.isOpen());
    QVERIFY(!QFile::exists(QDir(dir).filePath(u"data.mdb"_s)));
    QCOMPARE(QDir(dir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());

    // Once the file is there, the same connection opens it.
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), QDir(dir).filePath(u"data.mdb"_s)));
    c.open();
    QVERIFY(c.isOpen());
}

void TestConnection::damagedFileIsRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason"); // what the message names beside the file
    QTest::newRow("empty file") << u"empty"_s << u"空"_s;
    QTest::newRow("text file") << u"text"_s << u"SQLite"_s;
    QTest::newRow("the old program's file") << u"jet"_s << u"SQLite"_s;
    QTest::newRow("another program's database") << u"other sqlite"_s << u"xsxx"_s;
    QTest::newRow("a table missing") << u"no xsmx"_s << u"xsmx"_s;
    QTest::newRow("a column missing") << u"xsxx without 折后"_s << u"折后"_s;
    QTest::newRow("a damaged page") << u"damaged"_s << u"已损坏，请从备份恢复"_s;
}

void TestConnection::damagedFileIsRefused()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    testing::TempWorkDir work(false);
    const QString path = work.file(u"data.mdb"_s);
    testing::writeDamagedDatabase(path, kind);
    const QByteArray before = testing::fileBytes(path);

    Connection c;
    QString message;
    try {
        c.open();
        QFAIL("a file that is not a database of the program opened");
    } catch (const AppError &e) {
        message = e.message();
    }
    QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
    // A damaged file is the shop's all the same: told as damaged.
    QVERIFY2(message.contains(u"不是本程序的数据库"_s) == (kind != u"damaged"_s), qPrintable(message));
    QVERIFY2(message.contains(reason), qPrintable(message));
    QVERIFY(!c.isOpen());
    // Nothing was written into it or beside it.
    QCOMPARE(testing::fileBytes(path), before);
    QCOMPARE(QDir(work.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"data.mdb"_s});
}

void TestConnection::oneInstanceLockPerFile_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("held");

    QTest::newRow("the same name") << u"same"_s << true;
    QTest::newRow("another spelling of the folder") << u"dots"_s << true;
    QTest::newRow("a symbolic link") << u"symlink"_s << true;
    QTest::newRow("a hard link") << u"hardlink"_s << true;
    QTest::newRow("a copy in another folder") << u"copy"_s << false;
}

// The lock is the file's, whatever name reaches it, and nothing is made
// beside the file for it.
void TestConnection::oneInstanceLockPerFile()
{
    QFETCH(QString, way);
    QFETCH(bool, held);

    testing::TempWorkDir work;
    const QString other = work.file(u"other"_s);
    QVERIFY(QDir().mkpath(other));
    const QString here = work.file(u"data.mdb"_s);
    QString there = other + u"/data.mdb"_s;
    const QByteArray target = QFile::encodeName(here);
    const QByteArray name = QFile::encodeName(there);
    if (way == u"same"_s)
        there = here;
    else if (way == u"dots"_s)
        there = other + u"/../data.mdb"_s;
    else if (way == u"symlink"_s)
        QCOMPARE(::symlink(target.constData(), name.constData()), 0);
    else if (way == u"hardlink"_s)
        QCOMPARE(::link(target.constData(), name.constData()), 0);
    else
        QVERIFY(QFile::copy(here, there));

    store::InstanceLock first;
    QCOMPARE(first.acquire(here), store::InstanceLock::Result::Acquired);
    QCOMPARE(QDir(work.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"data.mdb"_s});
    store::InstanceLock second;
    QCOMPARE(second.acquire(there),
             held ? store::InstanceLock::Result::HeldElsewhere : store::InstanceLock::Result::Acquired);
    QCOMPARE(second.held(), !held);
    // Let go by the first, the file is free for the second.
    first.release();
    second.release();
    QCOMPARE(second.acquire(there), store::InstanceLock::Result::Acquired);
    // A file that is not there cannot be locked, and says why.
    store::InstanceLock missing;
    QCOMPARE(missing.acquire(work.file(u"none/data.mdb"_s)), store::InstanceLock::Result::Unavailable);
    QVERIFY(!missing.errorText().isEmpty());
}

void TestConnection::runtimeStringNamesCurrentFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << u"shop"_s;
    QTest::newRow("blanks and hanzi") << u"我的 收银"_s;
}

void TestConnection::runtimeStringNamesCurrentFolder()
{
    QFETCH(QString, folder);
    testing::TempWorkDir work(false);
    const QString dir = work.file(folder);
    QVERIFY(QDir().mkpath(dir));
    QDir::setCurrent(dir);

    const QString s = connstr::runtime();
    QVERIFY2(s.contains(u"\"260418937115\""_s), qPrintable(s));
    const QString source = connstr::dataSource(s);
    QCOMPARE(source, QDir(dir).absoluteFilePath(u"data.mdb"_s));
    QVERIFY(QDir::isAbsolutePath(source));
}

void TestConnection::designStringsUseRelativeFile()
{
    QCOMPARE(connstr::dataSource(connstr::designShort()), u"data.mdb"_s);
    QCOMPARE(connstr::dataSource(connstr::designLong()), u"data.mdb"_s);
    QVERIFY(connstr::designShort().contains(u"260418937115"_s));
    QVERIFY(connstr::designLong().contains(u"260418937115"_s));
}

void TestConnection::dataSourceReadsQuotedValue()
{
    QCOMPARE(connstr::dataSource(u"Provider=x;Data Source=\"/a b/data.mdb\";Mode=1"_s), u"/a b/data.mdb"_s);
    QCOMPARE(connstr::dataSource(u"Provider=x;data source = data.mdb"_s), u"data.mdb"_s);
    QCOMPARE(connstr::dataSource(u"Provider=x;Mode=1"_s), QString());
}

void TestConnection::walFileIsTurnedIntoOneFile()
{
    testing::TempWorkDir work;
    // An earlier version left the file in WAL mode, with recent rows only in
    // data.mdb-wal: the state of a copy taken while it ran, or after a crash.
    const QString crashed = work.file(u"crashed"_s);
    QVERIFY(QDir().mkpath(crashed));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"old-version"_s);
        db.setDatabaseName(work.file(u"data.mdb"_s));
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(u"PRAGMA journal_mode=WAL"_s));
        QVERIFY(q.exec(u"PRAGMA wal_autocheckpoint=0"_s));
        QVERIFY(q.exec(u"insert into xstj (单号, 收银员) values ('20240101080000', '张三')"_s));
        QVERIFY(q.exec(u"insert into spxx (品名, 单价) values ('苹果', 2.5)"_s));
        for (const QString &f : {u"data.mdb"_s, u"data.mdb-wal"_s})
            QVERIFY(QFile::copy(work.file(f), crashed + u'/' + f));
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(u"old-version"_s);
    QDir::setCurrent(crashed);
    QVERIFY(QFileInfo(u"data.mdb-wal"_s).size() > 0);

    Connection c;
    c.open();
    QCOMPARE(testing::scalar(u"PRAGMA journal_mode"_s).toString(), u"delete"_s);
    c.close();
    QVERIFY(!QFile::exists(u"data.mdb-wal"_s));
    // data.mdb alone, as an owner backs it up, holds the rows.
    const QString backup = work.file(u"backup"_s);
    QVERIFY(QDir().mkpath(backup));
    QVERIFY(QFile::copy(u"data.mdb"_s, backup + u"/data.mdb"_s));
    QDir::setCurrent(backup);
    QCOMPARE(testing::rows(u"select 单号, 收银员 from xstj"_s), (QList<QStringList>{{u"20240101080000"_s, u"张三"_s}}));
    QCOMPARE(testing::scalar(u"select count(*) from spxx where 品名 = '苹果'"_s).toInt(), 1);
}

void TestConnection::deliveredFileUsesRollbackJournal()
{
    testing::TempWorkDir work;
    QCOMPARE(testing::scalar(u"PRAGMA journal_mode"_s).toString(), u"delete"_s);
    Connection c;
    c.open();
    QSqlQuery q(c.database());
    QVERIFY(q.exec(u"PRAGMA synchronous"_s) && q.next());
    QCOMPARE(q.value(0).toInt(), 2); // FULL
    q.finish();
    // A written row lands in data.mdb itself: no log file beside it.
    Query products(c, store::Listing::all(u"spxx"_s));
    products.open();
    products.append();
    products.setFieldText(u"品名"_s, u"苹果"_s);
    products.post();
    QVERIFY(!QFile::exists(work.file(u"data.mdb-wal"_s)));
    QVERIFY(!QFile::exists(work.file(u"data.mdb-journal"_s)));
}

void TestConnection::queriesHoldNoLockBetweenEvents()
{
    testing::TempWorkDir work;
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                  "INSERT INTO xstj (单号, 数量, 时间) SELECT printf('D%04d', i), i, printf('T%04d', 3001 - i) FROM n"_s);

    // A list read partly, in both orders, a count, sums and a distinct list:
    // none of it may leave a statement or a transaction open.
    Connection first;
    Query reading(first, store::Listing::all(u"xstj"_s, u"时间"_s));
    reading.open();
    for (int i = 0; i < 300; ++i)
        reading.next();
    QCOMPARE(reading.recordCount(), 3000);
    reading.valueAt(2900, 0);
    reading.columnSums({u"数量"_s});
    Query numbers(first, store::Listing::distinct(u"xstj"_s, u"单号"_s));
    numbers.open();
    numbers.next();

    // Another program writes without waiting at all.
    Connection second;
    second.open();
    QSqlQuery t(second.database());
    QVERIFY(t.exec(u"PRAGMA busy_timeout=0"_s));
    QVERIFY2(t.exec(u"BEGIN IMMEDIATE"_s), qPrintable(t.lastError().text()));
    QVERIFY(t.exec(u"insert into xstj (单号) values ('NEW')"_s));
    QVERIFY2(t.exec(u"COMMIT"_s), qPrintable(t.lastError().text()));
    t.finish();

    // The first connection reads on and can write as well.
    int seen = 0;
    for (reading.first(); !reading.eof(); reading.next())
        ++seen;
    QCOMPARE(seen, 3000);
    reading.first();
    reading.edit();
    reading.setFieldText(u"收银员"_s, u"张三"_s);
    reading.post();
    QCOMPARE(testing::scalar(u"select 收银员 from xstj where 单号 = 'D3000'"_s).toString(), u"张三"_s);
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
