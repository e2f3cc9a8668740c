// Two tills of one shop on one PostgreSQL database, each the real program
// (velmora_till cashier) in a folder of its own that holds nothing but
// velmora.ini with its [server] section. Checkouts of both tills in one
// second take two numbers and archive each till's own lines; one till's
// login leaves the other's working ticket alone; a till number runs once,
// and a killed program frees it; a connection the server ends in the middle
// of 添加 or of a checkout writes nothing half, is told, and the same click
// then goes through; another connection's lock is waited for a moment, then
// told as busy. Runs against the server VELMORA_TEST_PG names
// (scripts/test.sh starts one); skips without it.
#include "support/Till.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString kAdmin = u"tills-admin"_s;
const QString kShop = u"tills-shop"_s; // checks, and watches the tills' backends
const QString kHold = u"tills-hold"_s; // another program holding rows or tables

// Every till's clock stands in this second.
const QString kClock = u"2024-06-01 12:00:00"_s;
const QString kSecond = u"20240601120000"_s;

QString numberAfter(int seconds)
{
    return QDateTime::fromString(kSecond, u"yyyyMMddhhmmss"_s).addSecs(seconds).toString(u"yyyyMMddhhmmss"_s);
}

const QString kLost = u"error 无法连接数据库服务器，请检查网络和服务器后再试."_s;
const QString kBusy = u"error 数据库正忙，另一台收银机正在使用这些数据，请稍后再试."_s;

// What a command of a till came back with.
struct Reply {
    bool done = false;
    QStringList said;    // "<icon> <text>" of each message box, "X <text>" of the driver
    QStringList printed; // the numbers of the receipts printed
    int lines = -1;      // lines in the grid
    QStringList boxes;   // 品名, 单价, 数量 as typed
    QString number;      // the ticket number shown
};

// A ticket line as typed and as stored (品名, 单价, 数量).
using Lines = QList<QStringList>;

QString show(const Lines &lines)
{
    QStringList out;
    for (const QStringList &l : lines)
        out << l.join(u'/');
    return u"["_s + out.join(u", "_s) + u']';
}

// The till's own table, as the test reaches it.
QString own(int till, const QString &table)
{
    return u"till_%1.%2"_s.arg(till, 2, 10, QLatin1Char('0')).arg(table);
}

} // namespace

class TestTills : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void checkoutsInOneSecond();
    void loginLeavesTheOtherTillsTicket();
    void oneProgramPerTillNumber();
    void connectionEndedMidway_data() { clickRows(); }
    void connectionEndedMidway();
    void anotherConnectionsLock_data();
    void anotherConnectionsLock();

private:
    struct Till {
        int number = 0;
        std::unique_ptr<QTemporaryDir> dir;
        std::unique_ptr<till::Process> process;
    };

    static void clickRows();
    // Till n started in a fresh folder; ready() waits for its login.
    till::Process &start(int n);
    bool ready(till::Process &p);
    void send(till::Process &p, const QString &command);
    Reply reply(till::Process &p);
    Reply command(till::Process &p, const QString &command);
    // Types the line and clicks 添加; the failure, empty when it went through.
    QString add(till::Process &p, const QStringList &line);

    // A ticket of two lines, and for 添加 a third line typed into the boxes:
    // 面包 at a new price, which 添加 writes to the catalogue as well.
    void prepare(till::Process &p, bool checkout);
    // Nothing of the click is stored: the ticket and the catalogue as prepared.
    void verifyUntouched(const Reply &r, bool checkout);
    // The click went through once.
    void verifyStored(const Reply &r, bool checkout);

    // SQL on the test's database: rows as texts (null as empty).
    Lines rows(const QString &sql, const QVariantList &args = {}, const QString &connection = kShop);
    bool exec(const QString &sql, const QString &connection = kShop);
    // Polls until the query gives true (30 s at most).
    bool waitUntil(const QString &sql);
    QString tillsWaiting() const;
    // The server ends the till's connection, and has let it go on return.
    bool endConnection(int till);

    QString server_;
    QString db_;
    int cases_ = 0;
    std::vector<Till> tills_;
};

void TestTills::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    server_ = qEnvironmentVariable("VELMORA_TEST_PG");
    if (server_.isEmpty()) {
        const QString why = qEnvironmentVariable("VELMORA_TEST_PG_UNAVAILABLE");
        QSKIP(qPrintable(why.isEmpty() ? u"VELMORA_TEST_PG is not set: no test server "
                                         "(scripts/test.sh starts one with scripts/pg-test-server.sh)"_s
                                       : u"no test server: "_s + why));
    }
    if (!QSqlDatabase::isDriverAvailable(u"QPSQL"_s))
        QSKIP("Qt's QPSQL driver is not installed (libqt6sql6-psql)");
    QSqlDatabase admin = QSqlDatabase::addDatabase(u"QPSQL"_s, kAdmin);
    admin.setConnectOptions(server_ + u" dbname=postgres"_s);
    QVERIFY2(admin.open(), qPrintable(admin.lastError().text()));
    // The children inherit it.
    qputenv("VELMORA_TILL_CLOCK", kClock.toUtf8());
}

void TestTills::init()
{
    db_ = u"velmora_tills%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++cases_);
    QVERIFY(exec(u"CREATE DATABASE %1 TEMPLATE velmora_template"_s.arg(db_), kAdmin));
    for (const QString &name : {kShop, kHold}) {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, name);
        db.setConnectOptions(server_ + u" dbname="_s + db_);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
    }
}

void TestTills::cleanup()
{
    if (QTest::currentTestFailed()) {
        for (Till &t : tills_)
            qInfo("till %d:\n%s\n%s", t.number, qPrintable(t.process->transcript()),
                  qPrintable(t.process->errors()));
    }
    tills_.clear(); // kills a program still running
    for (const QString &name : {kShop, kHold}) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    if (!db_.isEmpty())
        exec(u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(db_), kAdmin);
    db_.clear();
}

void TestTills::cleanupTestCase()
{
    QSqlDatabase::database(kAdmin, false).close();
    QSqlDatabase::removeDatabase(kAdmin);
}

// ---- helpers ----------------------------------------------------------------

till::Process &TestTills::start(int n)
{
    Till t;
    t.number = n;
    t.dir = std::make_unique<QTemporaryDir>();
    QFile ini(t.dir->filePath(u"velmora.ini"_s));
    if (ini.open(QIODevice::WriteOnly)) {
        ini.write(u"[server]\nconnection=%1 dbname=%2\ntill=%3\n"_s.arg(server_, db_).arg(n).toUtf8());
        ini.close();
    }
    t.process = std::make_unique<till::Process>(QStringList{u"cashier"_s}, t.dir->path());
    tills_.push_back(std::move(t));
    return *tills_.back().process;
}

bool TestTills::ready(till::Process &p)
{
    return p.waitFor([](const till::Event &e) { return e.kind == u'R'; }, 60000).has_value();
}

void TestTills::send(till::Process &p, const QString &command)
{
    p.send(command.toUtf8() + '\n');
}

Reply TestTills::reply(till::Process &p)
{
    Reply r;
    const std::optional<till::Event> done = p.waitFor(
        [&r](const till::Event &e) {
            if (e.kind == u'P')
                r.said << e.text;
            else if (e.kind == u'X')
                r.said << u"X "_s + e.text;
            else if (e.kind == u'p')
                r.printed << e.text;
            return e.kind == u'D';
        },
        60000);
    if (!done)
        return r;
    const QStringList f = done->text.split(u'\t');
    r.done = f.size() == 5;
    r.lines = f.value(0).toInt();
    r.boxes = f.mid(1, 3);
    r.number = f.value(4);
    return r;
}

Reply TestTills::command(till::Process &p, const QString &command)
{
    send(p, command);
    return reply(p);
}

QString TestTills::add(till::Process &p, const QStringList &line)
{
    send(p, u"type "_s + line.join(u'\t'));
    send(p, u"add"_s);
    const Reply typed = reply(p);
    const Reply added = reply(p);
    if (!typed.done || !added.done)
        return u"no answer"_s;
    return (typed.said + added.said).join(u" | "_s);
}

Lines TestTills::rows(const QString &sql, const QVariantList &args, const QString &connection)
{
    QSqlQuery q(QSqlDatabase::database(connection));
    q.setForwardOnly(true);
    bool ok = q.prepare(sql);
    for (const QVariant &a : args)
        q.addBindValue(a);
    ok = ok && q.exec();
    if (!ok) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return {{u"<error>"_s}};
    }
    Lines out;
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << q.value(i).toString();
        out << row;
    }
    return out;
}

bool TestTills::exec(const QString &sql, const QString &connection)
{
    QSqlQuery q(QSqlDatabase::database(connection));
    if (q.exec(sql))
        return true;
    qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return false;
}

bool TestTills::waitUntil(const QString &sql)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 30000) {
        const Lines r = rows(sql);
        if (r.value(0).value(0) == "true"_L1)
            return true;
        QTest::qSleep(5);
    }
    return false;
}

// The tills whose statement waits for a lock now.
QString TestTills::tillsWaiting() const
{
    QSqlQuery q(QSqlDatabase::database(kShop));
    q.exec(u"SELECT string_agg(application_name, ',' ORDER BY application_name) FROM pg_stat_activity "
           "WHERE datname = current_database() AND application_name LIKE 'velmora-till-%' "
           "AND wait_event_type = 'Lock'"_s);
    return q.next() ? q.value(0).toString() : QString();
}

bool TestTills::endConnection(int till)
{
    const QString app = u"velmora-till-%1"_s.arg(till);
    if (rows(u"SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
             "WHERE datname = current_database() AND application_name = ?"_s,
             {app})
            != Lines{{u"1"_s}})
        return false;
    return waitUntil(u"SELECT count(*) = 0 FROM pg_stat_activity WHERE datname = current_database() "
                     "AND application_name = '%1'"_s.arg(app));
}

// ---- two tills checking out in one second -----------------------------------

void TestTills::checkoutsInOneSecond()
{
    till::Process *tills[] = {&start(1), &start(2)};
    for (till::Process *p : tills)
        QVERIFY2(ready(*p), qPrintable(p->transcript() + u'\n' + p->errors()));

    QRandomGenerator random(20240601);
    QMap<QString, Lines> sold;      // by number: the lines its till typed
    QMap<QString, int> tillOf;      // by number
    const int rounds = 3;
    for (int round = 0; round < rounds; ++round) {
        // Both type and add at once: each 添加 also teaches the shared
        // catalogue, so the two tills' writes meet there.
        Lines typed[2];
        for (int k = 0; k < 2; ++k) {
            const int n = 1 + int(random.bounded(3));
            for (int i = 0; i < n; ++i) {
                const till::Line l = till::randomLine(random);
                typed[k] << QStringList{l.name, l.price, l.quantity};
                send(*tills[k], u"type "_s + typed[k].last().join(u'\t'));
                send(*tills[k], u"add"_s);
            }
        }
        for (int k = 0; k < 2; ++k) {
            for (int i = 0; i < 2 * typed[k].size(); ++i) {
                const Reply r = reply(*tills[k]);
                QVERIFY2(r.done && r.said.isEmpty(), qPrintable(r.said.join(u" | "_s) + u'\n' + tills[k]->transcript()));
            }
        }

        // Both checkouts are held inside their archive's transaction until
        // both are there: the first waits at its own printing mark with its
        // number taken, the other for that number (a second that one till
        // took is never another's too). Then both go on.
        QVERIFY(exec(u"BEGIN"_s, kHold));
        QVERIFY(exec(u"LOCK TABLE till_01.dyzt, till_02.dyzt IN EXCLUSIVE MODE"_s, kHold));
        for (till::Process *p : tills)
            send(*p, u"checkout"_s);
        QElapsedTimer waited;
        waited.start();
        qint64 firstSeen = -1;
        for (;;) {
            const QString waiting = tillsWaiting();
            if (waiting == "velmora-till-1,velmora-till-2"_L1)
                break;
            if (!waiting.isEmpty() && firstSeen < 0)
                firstSeen = waited.elapsed();
            // A till waits 2 s for a lock: one that is slow to come is let
            // go without the other rather than told "busy".
            if (firstSeen >= 0 && waited.elapsed() - firstSeen > 1000) {
                qWarning("round %d: only %s waited", round, qPrintable(waiting));
                break;
            }
            QVERIFY2(waited.elapsed() < 30000, "no till's checkout reached the archive");
            QTest::qSleep(2);
        }
        QVERIFY(exec(u"COMMIT"_s, kHold));
        for (int k = 0; k < 2; ++k) {
            const Reply r = reply(*tills[k]);
            QVERIFY2(r.done && r.said.isEmpty() && r.lines == 0, qPrintable(r.said.join(u" | "_s) + u'\n' + tills[k]->transcript()));
            // One receipt (one copy) named by the number the ticket got.
            QCOMPARE(r.printed.size(), 1);
            const QString number = r.printed.first();
            QVERIFY2(!sold.contains(number), qPrintable(u"both tills printed ticket "_s + number));
            sold[number] = typed[k];
            tillOf[number] = k + 1;
        }
    }

    // Every ticket once, numbered from the second both clocks stand in on.
    QStringList numbers;
    for (int i = 0; i < 2 * rounds; ++i)
        numbers << numberAfter(i);
    QCOMPARE(sold.keys(), numbers);
    Lines heads;
    for (const QString &n : numbers)
        heads << QStringList{n};
    QCOMPARE(rows(u"SELECT 单号 FROM xstj ORDER BY 单号"_s), heads);
    // Each ticket holds its own till's lines, in the order typed, and its
    // head sums them; no line stands under another number.
    int lines = 0;
    for (auto it = sold.cbegin(); it != sold.cend(); ++it) {
        const Lines stored = rows(u"SELECT 品名, 单价, 数量 FROM xsmx WHERE 单号 = ? ORDER BY rowid"_s, {it.key()});
        Lines expected;
        double quantity = 0;
        for (const QStringList &l : it.value()) {
            expected << QStringList{l[0], QString::number(l[1].toDouble()), l[2]};
            quantity += l[2].toDouble();
        }
        QVERIFY2(stored == expected, qPrintable(u"ticket %1 of till %2: %3, typed %4"_s.arg(it.key()).arg(tillOf[it.key()])
                                                     .arg(show(stored), show(expected))));
        QCOMPARE(rows(u"SELECT 数量 FROM xstj WHERE 单号 = ?"_s, {it.key()}), (Lines{{QString::number(quantity)}}));
        lines += int(expected.size());
    }
    QCOMPARE(rows(u"SELECT count(*) FROM xsmx"_s), (Lines{{QString::number(lines)}}));
    for (int k = 1; k <= 2; ++k)
        QCOMPARE(rows(u"SELECT count(*) FROM "_s + own(k, u"xsxx"_s)), (Lines{{u"0"_s}}));
    for (till::Process *p : tills) {
        send(*p, u"quit"_s);
        QCOMPARE(p->finish(30000), 0);
    }
}

// ---- one till's login, the other's ticket -------------------------------------

void TestTills::loginLeavesTheOtherTillsTicket()
{
    till::Process &one = start(1);
    QVERIFY2(ready(one), qPrintable(one.transcript() + u'\n' + one.errors()));
    const Lines ticket{{u"可口可乐"_s, u"3"_s, u"2"_s}, {u"面包"_s, u"6.8"_s, u"1"_s}};
    for (const QStringList &l : ticket)
        QCOMPARE(add(one, l), QString());
    // Till 2 had left a line of its own, which its login empties.
    QVERIFY(exec(u"SELECT velmora_make_till(2)"_s));
    QVERIFY(exec(u"INSERT INTO till_02.xsxx (品名, 单价, 数量) VALUES ('昨天的牛奶', 4, 1)"_s));

    till::Process &two = start(2);
    QVERIFY2(ready(two), qPrintable(two.transcript() + u'\n' + two.errors()));
    QCOMPARE(rows(u"SELECT count(*) FROM till_02.xsxx"_s), (Lines{{u"0"_s}}));
    QCOMPARE(rows(u"SELECT 品名, 单价, 数量 FROM till_01.xsxx ORDER BY \"ID\""_s), ticket);

    // Both go on with their own tickets.
    QCOMPARE(add(two, {u"矿泉水"_s, u"1.5"_s, u"4"_s}), QString());
    for (till::Process *p : {&one, &two}) {
        const Reply r = command(*p, u"checkout"_s);
        QVERIFY2(r.done && r.said.isEmpty() && r.printed.size() == 1, qPrintable(p->transcript()));
    }
    QCOMPARE(rows(u"SELECT x.单号, string_agg(m.品名, ',' ORDER BY m.rowid) FROM xstj x JOIN xsmx m USING (单号) "
                  "GROUP BY x.单号 ORDER BY x.单号"_s),
             (Lines{{kSecond, u"可口可乐,面包"_s}, {numberAfter(1), u"矿泉水"_s}}));
}

// ---- one program per till number ---------------------------------------------

void TestTills::oneProgramPerTillNumber()
{
    till::Process &first = start(1);
    QVERIFY2(ready(first), qPrintable(first.transcript() + u'\n' + first.errors()));
    QCOMPARE(add(first, {u"可口可乐"_s, u"3"_s, u"2"_s}), QString());

    // The same number on another computer: told, and it ends before its
    // login could empty the first one's ticket.
    till::Process &second = start(1);
    QCOMPARE(second.finish(60000), 1);
    QStringList said;
    for (const till::Event &e : second.events()) {
        QVERIFY2(e.kind != u'L', qPrintable(second.transcript()));
        if (e.kind == u'P')
            said << e.text;
    }
    QCOMPARE(said.size(), 1);
    QVERIFY2(said[0].startsWith(u"error 收银台1已经在另一个程序中使用"_s), qPrintable(said[0]));
    QCOMPARE(rows(u"SELECT 品名 FROM till_01.xsxx"_s), (Lines{{u"可口可乐"_s}}));

    // Killed as a power cut ends it: once the server has seen its connection
    // end, the number is free again.
    first.kill();
    QVERIFY(waitUntil(u"SELECT count(*) = 0 FROM pg_stat_activity WHERE datname = current_database() "
                      "AND application_name = 'velmora-till-1'"_s));
    till::Process &third = start(1);
    QVERIFY2(ready(third), qPrintable(third.transcript() + u'\n' + third.errors()));
    // And that one holds it in turn.
    till::Process &fourth = start(1);
    QCOMPARE(fourth.finish(60000), 1);
    send(third, u"quit"_s);
    QCOMPARE(third.finish(30000), 0);
}

// ---- a click interrupted: the server ends the connection, another holds a lock

void TestTills::clickRows()
{
    QTest::addColumn<bool>("checkout"); // else 添加
    QTest::newRow("添加") << false;
    QTest::newRow("checkout") << true;
}

void TestTills::prepare(till::Process &p, bool checkout)
{
    QCOMPARE(add(p, {u"可口可乐"_s, u"3"_s, u"2"_s}), QString());
    QCOMPARE(add(p, {u"面包"_s, u"6.8"_s, u"1"_s}), QString());
    if (!checkout) {
        const Reply r = command(p, u"type 面包\t7.5\t2"_s);
        QVERIFY(r.done && r.said.isEmpty());
    }
}

void TestTills::verifyUntouched(const Reply &r, bool checkout)
{
    // The ticket stays on screen, and for 添加 the typed line in the boxes.
    QCOMPARE(r.lines, 2);
    QCOMPARE(r.number, kSecond);
    if (!checkout)
        QCOMPARE(r.boxes, (QStringList{u"面包"_s, u"7.5"_s, u"2"_s}));
    QVERIFY(r.printed.isEmpty());
    QCOMPARE(rows(u"SELECT 品名, 单价, 数量 FROM till_01.xsxx ORDER BY \"ID\""_s),
             (Lines{{u"可口可乐"_s, u"3"_s, u"2"_s}, {u"面包"_s, u"6.8"_s, u"1"_s}}));
    QCOMPARE(rows(u"SELECT 品名, 单价 FROM spxx ORDER BY rowid"_s),
             (Lines{{u"可口可乐"_s, u"3"_s}, {u"面包"_s, u"6.8"_s}}));
    QCOMPARE(rows(u"SELECT count(*) FROM xstj"_s), (Lines{{u"0"_s}}));
    QCOMPARE(rows(u"SELECT count(*) FROM xsmx"_s), (Lines{{u"0"_s}}));
    QCOMPARE(rows(u"SELECT count(*) FROM till_01.dyzt"_s), (Lines{{u"0"_s}}));
}

void TestTills::verifyStored(const Reply &r, bool checkout)
{
    QVERIFY2(r.done, "the click did not return");
    QCOMPARE(r.said, QStringList());
    if (checkout) {
        QCOMPARE(r.lines, 0);
        QCOMPARE(r.printed, QStringList{kSecond});
        QCOMPARE(rows(u"SELECT 单号, 数量, 金额 FROM xstj"_s), (Lines{{kSecond, u"3"_s, u"12.8"_s}}));
        QCOMPARE(rows(u"SELECT 单号, 品名 FROM xsmx ORDER BY rowid"_s),
                 (Lines{{kSecond, u"可口可乐"_s}, {kSecond, u"面包"_s}}));
        QCOMPARE(rows(u"SELECT count(*) FROM till_01.xsxx"_s), (Lines{{u"0"_s}}));
        QCOMPARE(rows(u"SELECT count(*) FROM till_01.dyzt"_s), (Lines{{u"0"_s}}));
    } else {
        QCOMPARE(r.lines, 3);
        QCOMPARE(r.boxes, (QStringList{QString(), QString(), u"1"_s}));
        QCOMPARE(rows(u"SELECT 品名, 单价, 数量 FROM till_01.xsxx ORDER BY \"ID\""_s),
                 (Lines{{u"可口可乐"_s, u"3"_s, u"2"_s}, {u"面包"_s, u"6.8"_s, u"1"_s}, {u"面包"_s, u"7.5"_s, u"2"_s}}));
        QCOMPARE(rows(u"SELECT 品名, 单价 FROM spxx ORDER BY rowid"_s),
                 (Lines{{u"可口可乐"_s, u"3"_s}, {u"面包"_s, u"7.5"_s}}));
        QCOMPARE(rows(u"SELECT count(*) FROM xstj"_s), (Lines{{u"0"_s}}));
    }
}

void TestTills::connectionEndedMidway()
{
    QFETCH(bool, checkout);
    till::Process &p = start(1);
    QVERIFY2(ready(p), qPrintable(p.transcript() + u'\n' + p.errors()));
    prepare(p, checkout);
    if (QTest::currentTestFailed())
        return;

    // The click's last write waits behind the test's lock: for 添加 the line
    // (the catalogue already has the new price), for the checkout the
    // printing mark (the ticket and its lines archived, the working ticket
    // emptied). The server ends the till's connection right there.
    QVERIFY(exec(u"BEGIN"_s, kHold));
    QVERIFY(exec(u"LOCK TABLE till_01.%1 IN EXCLUSIVE MODE"_s.arg(checkout ? u"dyzt"_s : u"xsxx"_s), kHold));
    send(p, checkout ? u"checkout"_s : u"add"_s);
    QVERIFY(waitUntil(u"SELECT count(*) = 1 FROM pg_stat_activity WHERE datname = current_database() "
                      "AND application_name = 'velmora-till-1' AND wait_event_type = 'Lock'"_s));
    QVERIFY(endConnection(1));
    QVERIFY(exec(u"COMMIT"_s, kHold));

    Reply r = reply(p);
    QVERIFY2(r.done, qPrintable(p.transcript()));
    QCOMPARE(r.said, QStringList{kLost});
    verifyUntouched(r, checkout);
    if (QTest::currentTestFailed())
        return;

    // The same click on a new connection.
    verifyStored(command(p, checkout ? u"checkout"_s : u"add"_s), checkout);
}

void TestTills::anotherConnectionsLock_data()
{
    QTest::addColumn<bool>("checkout"); // else 添加
    QTest::addColumn<bool>("untilBusy"); // held until the till gives up
    QTest::newRow("添加, held half a second") << false << false;
    QTest::newRow("添加, held until busy") << false << true;
    QTest::newRow("checkout, held half a second") << true << false;
    QTest::newRow("checkout, held until busy") << true << true;
}

void TestTills::anotherConnectionsLock()
{
    QFETCH(bool, checkout);
    QFETCH(bool, untilBusy);
    till::Process &p = start(1);
    QVERIFY2(ready(p), qPrintable(p.transcript() + u'\n' + p.errors()));
    prepare(p, checkout);
    if (QTest::currentTestFailed())
        return;

    // Another till in a change of the product whose price 添加 sets, or
    // reading the archive whole (as one does before emptying the detail).
    QVERIFY(exec(u"BEGIN"_s, kHold));
    if (checkout)
        QVERIFY(exec(u"LOCK TABLE xstj IN SHARE MODE"_s, kHold));
    else
        QCOMPARE(rows(u"SELECT 单价 FROM spxx WHERE 品名 = '面包' FOR UPDATE"_s, {}, kHold), (Lines{{u"6.8"_s}}));
    send(p, checkout ? u"checkout"_s : u"add"_s);
    QVERIFY(waitUntil(u"SELECT count(*) = 1 FROM pg_stat_activity WHERE datname = current_database() "
                      "AND application_name = 'velmora-till-1' AND wait_event_type = 'Lock'"_s));
    if (!untilBusy) {
        QTest::qSleep(500);
        QVERIFY(exec(u"COMMIT"_s, kHold));
        verifyStored(reply(p), checkout);
        return;
    }
    // Held until the till has given up on it.
    const Reply r = reply(p);
    QVERIFY(exec(u"COMMIT"_s, kHold));
    QVERIFY2(r.done, qPrintable(p.transcript()));
    QCOMPARE(r.said, QStringList{kBusy});
    verifyUntouched(r, checkout);
    if (QTest::currentTestFailed())
        return;
    verifyStored(command(p, checkout ? u"checkout"_s : u"add"_s), checkout);
}

QTEST_GUILESS_MAIN(TestTills)
#include "tst_tills.moc"
