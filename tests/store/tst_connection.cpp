// The connection decides which data.mdb the shop's receipts land in, so it
// must follow the current directory, never invent an empty database, and let
// two windows (or two running copies) write side by side.
#include "store/AppError.h"
#include "store/Connection.h"
#include "store/Query.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QtTest>

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
    void foreignFileIsLeftAlone();
    void runtimeStringNamesCurrentFolder_data();
    void runtimeStringNamesCurrentFolder();
    void designStringsUseRelativeFile();
    void dataSourceReadsQuotedValue();
    void opensInWalMode();
    void secondConnectionWritesWhileFirstReads();
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

void TestConnection::foreignFileIsLeftAlone()
{
    // An owner may copy the old program's data.mdb (not an SQLite file) here.
    testing::TempWorkDir work(false);
    const QByteArray foreign = QByteArray("\x00\x01\x00\x00Standard Jet DB", 19) + QByteArray(4096, '\x5a');
    {
        QFile f(work.file(u"data.mdb"_s));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(foreign);
    }
    Connection c;
    QString message;
    try {
        c.open();
        QFAIL("a file that is no database opened");
    } catch (const AppError &e) {
        message = e.message();
    }
    QVERIFY2(message.contains(u"data.mdb"_s), qPrintable(message));
    QVERIFY(!c.isOpen());
    QFile f(work.file(u"data.mdb"_s));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), foreign);
    QVERIFY(!QFile::exists(work.file(u"data.mdb-wal"_s)));
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

void TestConnection::opensInWalMode()
{
    testing::TempWorkDir work;
    // Start from a file in the old rollback mode: the program must switch it.
    testing::exec(u"PRAGMA journal_mode=DELETE"_s);
    QCOMPARE(testing::scalar(u"PRAGMA journal_mode"_s).toString(), u"delete"_s);

    Connection c;
    c.open();
    QCOMPARE(testing::scalar(u"PRAGMA journal_mode"_s).toString(), u"wal"_s);
}

void TestConnection::secondConnectionWritesWhileFirstReads()
{
    testing::TempWorkDir work;
    testing::exec(u"PRAGMA journal_mode=DELETE"_s);
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                  "INSERT INTO xstj (单号, 数量) SELECT printf('D%04d', i), i FROM n"_s);

    Connection first;
    Query reading(first, u"select * from xstj"_s);
    reading.open();
    QVERIFY(reading.canFetchMore());
    reading.next();
    // A statement of the first connection is in the middle of its rows.
    QSqlQuery open(first.database());
    open.setForwardOnly(true);
    QVERIFY(open.exec(u"select 单号 from xstj"_s));
    QVERIFY(open.next());

    // Short busy wait: a lock must not happen at all, not merely clear.
    Connection second;
    second.open();
    {
        QSqlQuery t(second.database());
        QVERIFY(t.exec(u"PRAGMA busy_timeout=200"_s));
    }
    Query writing(second, u"select * from xstj"_s);
    try {
        writing.open();
        writing.append();
        writing.setFieldText(u"单号"_s, u"NEW"_s);
        writing.post();
    } catch (const AppError &e) {
        QFAIL(qPrintable(e.message()));
    }
    open.finish();
    QCOMPARE(testing::scalar(u"select count(*) from xstj where 单号 = 'NEW'"_s).toInt(), 1);

    // The first connection reads on and can write as well.
    int seen = 0;
    for (reading.first(); !reading.eof(); reading.next())
        ++seen;
    QCOMPARE(seen, 300);
    reading.first();
    reading.edit();
    reading.setFieldText(u"收银员"_s, u"张三"_s);
    reading.post();
    QCOMPARE(testing::scalar(u"select 收银员 from xstj where 单号 = 'D0001'"_s).toString(), u"张三"_s);
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
