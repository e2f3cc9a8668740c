// A till's session on the shop's PostgreSQL server: its settings, its own
// tables, its number held against a second program, a server that ends the
// connection, another till's lock. Runs against the server VELMORA_TEST_PG
// names (scripts/test.sh starts one); skips without it.
#include "base/AppError.h"
#include "store/Archive.h"
#include "store/Connection.h"
#include "store/Idioms.h"
#include "store/Server.h"
#include "store/Transaction.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlError>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kAdmin = u"server-admin"_s;

template <class F> QString errorOf(F &&f)
{
    try {
        f();
    } catch (const AppError &e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void settings_data();
    void settings();
    void eachTillHasItsOwnTicket();
    void oneProgramPerTillNumber();
    void killedProgramFreesItsNumber();
    void connectionEndedByTheServer();
    void anotherTillsLock_data();
    void anotherTillsLock();
    void nulCharacterRefused();
    void ticketNumbers_data();
    void ticketNumbers();
    void twoTillsInOneSecond();
    void oneProductLearntByTwoTills();
    void clearingWaitsForAnotherTillsArchive();

private:
    store::ServerSettings till(int n) const { return {server_ + u" dbname="_s + db_, n}; }
    QSqlQuery admin(const QString &sql);
    // psql on the test database running the script, until it ends or is
    // killed; without one, reading statements written to it.
    std::unique_ptr<QProcess> psql(const QString &script);
    bool waitFor(const QString &sql);

    QString server_;
    QString db_;
    int cases_ = 0;
};

QSqlQuery TestServer::admin(const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(kAdmin));
    if (!q.exec(sql))
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q;
}

std::unique_ptr<QProcess> TestServer::psql(const QString &script)
{
    auto p = std::make_unique<QProcess>();
    QStringList args{u"-q"_s, u"-X"_s, server_ + u" dbname="_s + db_};
    if (!script.isEmpty())
        args << u"-c"_s << script; // otherwise it reads its statements from its input
    p->start(u"psql"_s, args);
    p->waitForStarted();
    return p;
}

// Polls the admin connection until the query gives true (10 s at most).
bool TestServer::waitFor(const QString &sql)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
        QSqlQuery q = admin(sql);
        if (q.next() && q.value(0).toBool())
            return true;
        QTest::qWait(20);
    }
    return false;
}

void TestServer::initTestCase()
{
    server_ = qEnvironmentVariable("VELMORA_TEST_PG");
    if (server_.isEmpty())
        QSKIP("VELMORA_TEST_PG is not set: no test server (scripts/test.sh starts one)");
    if (!QSqlDatabase::isDriverAvailable(u"QPSQL"_s))
        QSKIP("Qt's QPSQL driver is not installed (libqt6sql6-psql)");
    QSqlDatabase a = QSqlDatabase::addDatabase(u"QPSQL"_s, kAdmin);
    a.setConnectOptions(server_ + u" dbname=postgres"_s);
    QVERIFY2(a.open(), qPrintable(a.lastError().text()));
}

void TestServer::init()
{
    db_ = u"velmora_s%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++cases_);
    QVERIFY(admin(u"CREATE DATABASE %1 TEMPLATE velmora_template"_s.arg(db_)).isActive());
    // Each test's database points the admin connection's checks at it.
    QSqlDatabase::database(kAdmin).close();
    QSqlDatabase::database(kAdmin, false).setConnectOptions(server_ + u" dbname="_s + db_);
    QVERIFY(QSqlDatabase::database(kAdmin).isOpen());
}

void TestServer::cleanup()
{
    QSqlDatabase::database(kAdmin).close();
    QSqlDatabase::database(kAdmin, false).setConnectOptions(server_ + u" dbname=postgres"_s);
    admin(u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(db_));
}

void TestServer::settings_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<int>("till");     // 0: no server
    QTest::addColumn<QString>("error"); // a part of the message
    QTest::newRow("printer only") << u"[printer]\nkind=cups\n"_s << 0 << QString();
    QTest::newRow("a till") << u"[server]\nconnection=host=10.0.0.5 dbname=shop user=till\ntill=7\n"_s << 7 << QString();
    QTest::newRow("no connection") << u"[server]\ntill=1\n"_s << 0 << u"connection是空的"_s;
    QTest::newRow("till 0") << u"[server]\nconnection=dbname=shop\ntill=0\n"_s << 0 << u"1到99"_s;
    QTest::newRow("till 100") << u"[server]\nconnection=dbname=shop\ntill=100\n"_s << 0 << u"1到99"_s;
    QTest::newRow("no till") << u"[server]\nconnection=dbname=shop\n"_s << 0 << u"1到99"_s;
    QTest::newRow("password in the file") << u"[server]\nconnection=dbname=shop Password='x y'\ntill=1\n"_s << 0
                                          << u"不能写密码"_s;
    QTest::newRow("a URI") << u"[server]\nconnection=postgresql://till@host/shop\ntill=1\n"_s << 0
                           << u"host=… dbname=…"_s;
}

void TestServer::settings()
{
    QFETCH(QString, ini);
    QFETCH(int, till);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"velmora.ini"_s);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(ini.toUtf8());
    f.close();
    std::optional<store::ServerSettings> read;
    const QString message = errorOf([&] { read = store::readServerSettings(path); });
    if (!error.isEmpty()) {
        QVERIFY2(message.contains(error), qPrintable(message));
        return;
    }
    QVERIFY2(message.isEmpty(), qPrintable(message));
    QCOMPARE(read.has_value(), till != 0);
    if (read)
        QCOMPARE(read->till, till);
    QVERIFY(!store::readServerSettings(dir.filePath(u"none.ini"_s)));
}

void TestServer::eachTillHasItsOwnTicket()
{
    store::ServerSession one(till(1), u"till-1"_s), two(till(2), u"till-2"_s);
    one.open();
    two.open();
    one.run(u"INSERT INTO xsxx (品名, 数量) VALUES (?, ?)"_s, {u"可乐"_s, 2});
    one.run(u"INSERT INTO spxx (品名, 单价) VALUES (?, ?)"_s, {u"雪碧"_s, 2.5});
    auto count = [](store::ServerSession &s, const QString &table) {
        QSqlQuery q = s.run(u"SELECT count(*) FROM "_s + table);
        return q.next() ? q.value(0).toInt() : -1;
    };
    QCOMPARE(count(one, u"xsxx"_s), 1);
    QCOMPARE(count(two, u"xsxx"_s), 0);
    QCOMPARE(count(two, u"spxx"_s), count(one, u"spxx"_s));
    QSqlQuery settings = two.run(u"SELECT pos, print FROM id"_s);
    QVERIFY(settings.next());
    QCOMPARE(settings.value(0).toString(), u"58"_s);
    // A second start finds the till's tables as they were.
    one.close();
    one.open();
    QCOMPARE(count(one, u"xsxx"_s), 1);
}

void TestServer::oneProgramPerTillNumber()
{
    store::ServerSession first(till(4), u"first"_s), second(till(4), u"second"_s);
    first.open();
    const QString message = errorOf([&] { second.open(); });
    QVERIFY2(message.contains(u"收银台4已经在另一个程序中使用"_s), qPrintable(message));
    QVERIFY(!second.isOpen());
    first.close();
    second.open();
    QVERIFY(second.isOpen());
}

void TestServer::killedProgramFreesItsNumber()
{
    // A program holding till 3, waiting for its next step, that is killed
    // as a power cut would end it.
    auto holder = psql({});
    holder->write("SELECT pg_advisory_lock(hashtext('velmora_till'), 3);\n");
    QVERIFY(waitFor(u"SELECT count(*) = 1 FROM pg_locks WHERE locktype = 'advisory' AND objid = 3 AND database = (SELECT oid FROM pg_database WHERE datname = current_database()) AND granted"_s));
    store::ServerSession s(till(3), u"till-3"_s);
    QVERIFY(errorOf([&] { s.open(); }).contains(u"已经在另一个程序中使用"_s));
    holder->kill();
    holder->waitForFinished();
    QVERIFY(waitFor(u"SELECT count(*) = 0 FROM pg_locks WHERE locktype = 'advisory' AND objid = 3 AND database = (SELECT oid FROM pg_database WHERE datname = current_database())"_s));
    s.open();
    QVERIFY(s.isOpen());
}

void TestServer::connectionEndedByTheServer()
{
    store::ServerSession s(till(1), u"till-1"_s);
    s.open();
    s.run(u"INSERT INTO xsxx (品名) VALUES ('一')"_s);
    // Only this case's till: other tests' tills may run beside it.
    QVERIFY(admin(u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                  "WHERE datname = current_database() AND application_name = 'velmora-till-1'"_s)
                .isActive());
    const QString message = errorOf([&] { s.run(u"INSERT INTO xsxx (品名) VALUES ('二')"_s); });
    QVERIFY2(message.startsWith(u"无法连接数据库服务器"_s), qPrintable(message));
    // The same step again succeeds on a new connection, which holds the
    // number again and reaches the till's own tables.
    s.run(u"INSERT INTO xsxx (品名) VALUES ('二')"_s);
    QSqlQuery q = s.run(u"SELECT string_agg(品名, ',' ORDER BY rowid) FROM xsxx"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"一,二"_s);
    store::ServerSession other(till(1), u"other"_s);
    QVERIFY(errorOf([&] { other.open(); }).contains(u"已经在另一个程序中使用"_s));
}

void TestServer::anotherTillsLock_data()
{
    QTest::addColumn<double>("held");
    QTest::addColumn<bool>("busy");
    QTest::newRow("half a second: waited for") << 0.5 << false;
    QTest::newRow("three seconds: busy") << 3.0 << true;
}

void TestServer::anotherTillsLock()
{
    QFETCH(double, held);
    QFETCH(bool, busy);
    store::ServerSession s(till(1), u"till-1"_s);
    s.open();
    s.run(u"INSERT INTO spxx (品名, 单价) VALUES ('可乐', 3)"_s);
    auto other = psql(u"BEGIN; SELECT * FROM spxx FOR UPDATE; SELECT pg_sleep(%1); COMMIT;"_s.arg(held));
    QVERIFY(waitFor(u"SELECT count(*) > 0 FROM pg_locks l JOIN pg_stat_activity a USING (pid) "
                    "WHERE a.datname = current_database() AND a.application_name = 'psql' AND l.locktype = 'transactionid'"_s));
    const QString message = errorOf([&] { s.run(u"UPDATE spxx SET 单价 = 4"_s); });
    if (busy)
        QVERIFY2(message.startsWith(u"数据库正忙"_s), qPrintable(message));
    else
        QVERIFY2(message.isEmpty(), qPrintable(message));
    other->waitForFinished();
}

void TestServer::nulCharacterRefused()
{
    store::ServerSession s(till(1), u"till-1"_s);
    s.open();
    const QString message = errorOf([&] { s.run(u"INSERT INTO spxx (品名) VALUES (?)"_s, {u"a\u0000b"_s}); });
    QVERIFY2(message.contains(u"U+0000"_s), qPrintable(message));
    QSqlQuery q = s.run(u"SELECT count(*) FROM spxx"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 0);
}

void TestServer::ticketNumbers_data()
{
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<bool>("moveOn");
    QTest::addColumn<QString>("taken"); // null: none
    QTest::newRow("free") << u"20261210120005"_s << true << u"20261210120005"_s;
    QTest::newRow("on a ticket: next second") << u"20261210120000"_s << true << u"20261210120002"_s;
    QTest::newRow("end of the year") << u"20261231235959"_s << true << u"20270101000000"_s;
    QTest::newRow("typed, free") << u"A-17"_s << false << u"A-17"_s;
    QTest::newRow("typed, on a line only") << u"20261210120001"_s << false << QString();
}

void TestServer::ticketNumbers()
{
    QFETCH(QString, wanted);
    QFETCH(bool, moveOn);
    QFETCH(QString, taken);
    store::ServerSession s(till(1), u"till-1"_s);
    s.open();
    // Tickets at 12:00:00 and at the last second of the year, and a line
    // left alone under 12:00:01.
    s.run(u"INSERT INTO xstj (单号) VALUES ('20261210120000'), ('20261231235959')"_s);
    s.run(u"INSERT INTO xsmx (单号) VALUES ('20261210120001')"_s);
    QSqlQuery q = s.run(u"SELECT velmora_take_number(?, ?)"_s, {wanted, moveOn});
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), taken);
    QCOMPARE(q.value(0).isNull(), taken.isNull());
    // Taken once, never again.
    if (!taken.isNull()) {
        QSqlQuery again = s.run(u"SELECT velmora_take_number(?, false)"_s, {taken});
        QVERIFY(again.next());
        QVERIFY(again.value(0).isNull());
    }
}

void TestServer::twoTillsInOneSecond()
{
    store::ServerSession one(till(1), u"till-1"_s);
    one.open();
    const QString second = u"20261210180000"_s;
    one.run(u"BEGIN"_s);
    QSqlQuery first = one.run(u"SELECT velmora_take_number(?, true)"_s, {second});
    QVERIFY(first.next());
    QCOMPARE(first.value(0).toString(), second);
    // The other till asks for the same second while the first one's sale is
    // being archived: it waits, and moves on once that one is committed.
    auto other = psql(u"SELECT velmora_take_number('%1', true)"_s.arg(second));
    QVERIFY(waitFor(u"SELECT count(*) > 0 FROM pg_stat_activity WHERE datname = current_database() AND application_name = 'psql' "
                    "AND wait_event_type = 'Lock'"_s));
    one.run(u"COMMIT"_s);
    QVERIFY(other->waitForFinished(10000));
    const QString out = QString::fromUtf8(other->readAllStandardOutput());
    QVERIFY2(out.contains(u"20261210180001"_s), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestServer)
// Two tills learn the same new product at once: the second waits for the
// first's name lock, then finds the row the first stored and changes it.
void TestServer::oneProductLearntByTwoTills()
{
    store::ServerSession s(till(1), u"till-1"_s);
    s.open();
    Connection::useServer(&s);
    auto other = psql(u"BEGIN; SELECT pg_advisory_xact_lock(hashtext('spxx.品名'), hashtext('雪碧')); "
                      "INSERT INTO spxx (品名, 单价) VALUES ('雪碧', 3); SELECT pg_sleep(0.5); COMMIT;"_s);
    QVERIFY(waitFor(u"SELECT count(*) > 0 FROM pg_locks l JOIN pg_stat_activity a USING (pid) "
                    "WHERE a.datname = current_database() AND a.application_name = 'psql' AND l.locktype = 'advisory'"_s));
    int found = -1;
    {
        Connection connection;
        connection.open();
        Transaction t(connection);
        idiom::holdText(connection, u"spxx"_s, u"品名"_s, u"雪碧"_s);
        QSqlQuery q = connection.run(u"SELECT count(*) FROM spxx WHERE 品名 = ?"_s, {u"雪碧"_s});
        found = q.next() ? q.value(0).toInt() : -1;
        q.finish();
        t.commit();
    }
    Connection::useServer(nullptr);
    other->waitForFinished();
    QCOMPARE(found, 1);
}

// Deleting the last ticket clears the archived lines only once no ticket is
// left: a ticket another till is archiving meanwhile is waited for, and
// keeps its lines.
void TestServer::clearingWaitsForAnotherTillsArchive()
{
    store::ServerSession s(till(1), u"till-1"_s);
    s.open();
    Connection::useServer(&s);
    Connection connection;
    connection.open();
    s.run(u"INSERT INTO xsmx (单号, 品名) VALUES ('OLD', '可乐')"_s);
    auto other = psql(u"BEGIN; INSERT INTO xstj (单号) VALUES ('T2'); INSERT INTO xsmx (单号, 品名) VALUES ('T2', '雪碧'); "
                      "SELECT pg_sleep(0.5); COMMIT;"_s);
    QVERIFY(waitFor(u"SELECT count(*) > 0 FROM pg_locks l JOIN pg_stat_activity a USING (pid) "
                    "WHERE a.datname = current_database() AND a.application_name = 'psql' AND l.locktype = 'transactionid'"_s));
    const bool cleared = archive::clearLinesOfNoTicket(connection);
    other->waitForFinished();
    QVERIFY(!cleared);
    QSqlQuery q = admin(u"SELECT string_agg(单号, ',' ORDER BY 单号) FROM xsmx"_s);
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), u"OLD,T2"_s);
    // With no ticket left at all, the lines go.
    admin(u"DELETE FROM xstj"_s);
    QVERIFY(archive::clearLinesOfNoTicket(connection));
    QSqlQuery left = admin(u"SELECT count(*) FROM xsmx"_s);
    QVERIFY(left.next());
    QCOMPARE(left.value(0).toInt(), 0);
    Connection::useServer(nullptr);
}

#include "tst_server.moc"
