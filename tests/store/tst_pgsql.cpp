// A shop's database on a PostgreSQL server (data/schema-pg.sql) must answer
// as data.mdb does: the same tables, the same sums to the last 0.0001, the
// same rows for a search, the same text order, and each till its own working
// ticket. Runs against the server named by VELMORA_TEST_PG (scripts/test.sh
// starts one); each case gets a fresh database made from velmora_template.
#include "store/Engine.h"
#include "store/NumberText.h"
#include "store/Schema.h"

#include <QtTest>

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

using Values = QList<std::optional<double>>;
Q_DECLARE_METATYPE(Values)

namespace {

const QString kAdmin = QStringLiteral("pg-admin");
const QString kShop = QStringLiteral("pg-shop");
const QString kLite = QStringLiteral("lite");

QString exactText(double v)
{
    if (std::isnan(v))
        return QStringLiteral("NaN");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, v); // shortest text that reads back exactly
    return QString::fromLatin1(buf, res.ptr - buf);
}

// Runs a statement; the error text, empty when it went through. One without
// values runs as it is: the server prepares no CREATE DATABASE or SET.
QString run(QSqlQuery &q, const QString &sql, const QVariantList &args = {})
{
    q.setForwardOnly(true);
    bool ok = false;
    if (args.isEmpty()) {
        ok = q.exec(sql);
    } else if (q.prepare(sql)) {
        for (const QVariant &a : args)
            q.addBindValue(a);
        ok = q.exec();
    }
    return ok ? QString() : sql.left(300) + QStringLiteral(": ") + q.lastError().text();
}

#define RUN(db, sql, ...)                                                                                              \
    do {                                                                                                               \
        QSqlQuery q_(db);                                                                                              \
        const QString e_ = run(q_, sql, ##__VA_ARGS__);                                                                \
        QVERIFY2(e_.isEmpty(), qPrintable(e_));                                                                        \
    } while (false)

// Every row as texts (null as "<null>"), in the order the statement gives.
QString rowsOf(const QSqlDatabase &db, const QString &sql, QList<QStringList> &out, const QVariantList &args = {})
{
    QSqlQuery q(db);
    if (QString e = run(q, sql, args); !e.isEmpty())
        return e;
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
        out << row;
    }
    return q.lastError().isValid() ? q.lastError().text() : QString();
}

#define ROWS(db, sql, out, ...)                                                                                        \
    do {                                                                                                               \
        const QString e_ = rowsOf(db, sql, out, ##__VA_ARGS__);                                                        \
        QVERIFY2(e_.isEmpty(), qPrintable(e_));                                                                        \
    } while (false)

// Rows of the delivered data.mdb, read through a connection of their own.
QString deliveredRows(const QStringList &sqls, QList<QStringList> &out, const QVariantList &args = {})
{
    const QString name = QStringLiteral("delivered");
    QString e;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QStringLiteral(VELMORA_DELIVERED_DB));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        e = db.open() ? QString() : db.lastError().text();
        for (const QString &sql : sqls)
            if (e.isEmpty())
                e = rowsOf(db, sql, out, args);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return e;
}

// An array literal the server reads back bit for bit.
QString arrayOf(const Values &values)
{
    QStringList items;
    for (const auto &v : values)
        items << (v ? exactText(*v) : QStringLiteral("NULL"));
    return u'{' + items.join(u',') + u'}';
}

// Expected rows written as literals.
QList<QStringList> table(std::initializer_list<std::initializer_list<const char *>> rows)
{
    QList<QStringList> out;
    for (const auto &r : rows) {
        QStringList row;
        for (const char *cell : r)
            row << QString::fromUtf8(cell);
        out << row;
    }
    return out;
}

double next(double v, int steps)
{
    for (; steps > 0; --steps)
        v = std::nextafter(v, std::numeric_limits<double>::infinity());
    for (; steps < 0; ++steps)
        v = std::nextafter(v, -std::numeric_limits<double>::infinity());
    return v;
}

// The doubles within `width` steps either side of each centre.
Values around(std::initializer_list<double> centres, int width)
{
    Values out;
    for (double c : centres)
        for (int i = -width; i <= width; ++i)
            out << next(c, i);
    return out;
}

Values negated(const Values &values)
{
    Values out;
    for (const auto &v : values)
        out << (v ? std::optional<double>(-*v) : std::nullopt);
    return out;
}

Values shopAmounts()
{
    const double prices[] = {0.01, 0.05, 0.1, 0.2, 0.3, 0.7, 1.005, 1.1, 2.5, 2.675, 3.35, 4.99, 9.9, 12.345,
                             19.99, 35.5, 99.95, 128.88, 1999.99, 0.125};
    const double quantities[] = {1, 2, 3, 4, 5, 6, 7, 9, 10, 12, 13, 17, 24, 99, 100, 1000, 0.5, 0.25, 1.5,
                                 2.333, 0.001, 0.0005, 0.85, 0.95, 1.1};
    Values out;
    for (double p : prices)
        for (double n : quantities) {
            out << p * n;
            out << p * n * 0.9; // a discount
        }
    return out;
}

} // namespace

class TestPgSql : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void tablesMatchDataMdb_data();
    void tablesMatchDataMdb();
    void indexesAndRowsMatchDataMdb();

    void sumMatchesTill_data();
    void sumMatchesTill();

    void searchMatchesSqlite_data();
    void searchMatchesSqlite();
    void otherLikeFormsDiffer();
    void textOrderMatchesSqlite();

    void tillSchemaReachesItsOwnTables();
    void tillNumberRefused_data();
    void tillNumberRefused();

private:
    QSqlDatabase shop() const { return QSqlDatabase::database(kShop, false); }
    QSqlDatabase lite() const { return QSqlDatabase::database(kLite, false); }
    bool insertAmounts(const Values &values);
    void fillTexts(const QStringList &texts);

    QString server_;
    QString dbName_;
    int cases_ = 0;
};

void TestPgSql::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    server_ = qEnvironmentVariable("VELMORA_TEST_PG");
    if (server_.isEmpty()) {
        const QString why = qEnvironmentVariable("VELMORA_TEST_PG_UNAVAILABLE");
        QSKIP(qPrintable(why.isEmpty() ? QStringLiteral("VELMORA_TEST_PG is not set: no test server "
                                                        "(scripts/test.sh starts one with scripts/pg-test-server.sh)")
                                       : QStringLiteral("no test server: ") + why));
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        QSKIP("Qt's QPSQL driver is not installed (libqt6sql6-psql)");
    QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kAdmin);
    admin.setDatabaseName(QStringLiteral("postgres"));
    admin.setConnectOptions(server_);
    QVERIFY2(admin.open(), qPrintable(admin.lastError().text()));
}

void TestPgSql::init()
{
    dbName_ = QStringLiteral("velmora_t%1_%2").arg(QCoreApplication::applicationPid()).arg(++cases_);
    RUN(QSqlDatabase::database(kAdmin), QStringLiteral("CREATE DATABASE %1 TEMPLATE velmora_template STRATEGY FILE_COPY").arg(dbName_));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kShop);
    db.setDatabaseName(dbName_);
    db.setConnectOptions(server_);
    QVERIFY2(db.open(), qPrintable(db.lastError().text()));

    // data.mdb's engine, in memory, for what SQLite itself answers.
    QSqlDatabase l = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kLite);
    l.setDatabaseName(QStringLiteral(":memory:"));
    QVERIFY(l.open());
}

void TestPgSql::cleanup()
{
    QSqlDatabase::database(kShop, false).close();
    QSqlDatabase::removeDatabase(kShop);
    QSqlDatabase::database(kLite, false).close();
    QSqlDatabase::removeDatabase(kLite);
    if (!dbName_.isEmpty())
        RUN(QSqlDatabase::database(kAdmin), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(dbName_));
    dbName_.clear();
}

void TestPgSql::cleanupTestCase()
{
    QSqlDatabase::database(kAdmin, false).close();
    QSqlDatabase::removeDatabase(kAdmin);
}

// ---- the tables of data.mdb ------------------------------------------------

void TestPgSql::tablesMatchDataMdb_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("schema"); // where the server keeps it
    for (const auto &t : schema::requiredTables())
        QTest::newRow(qPrintable(t.table)) << t.table
                                           << (t.table == schema::xsxx || t.table == schema::id
                                                       ? QStringLiteral("velmora_till_template")
                                                       : QStringLiteral("public"));
    QTest::newRow("dyzt") << QStringLiteral("dyzt") << QStringLiteral("velmora_till_template");
}

// Every column of the delivered data.mdb, in its order, then rowid: texts
// compared in byte order, numbers as doubles, keys as 64-bit integers.
void TestPgSql::tablesMatchDataMdb()
{
    QFETCH(QString, table);
    QFETCH(QString, schema);
    QList<QStringList> expected, info;
    const QString e = deliveredRows({QStringLiteral("SELECT name, upper(type) FROM pragma_table_info(?)")}, info, {table});
    QVERIFY2(e.isEmpty(), qPrintable(e));
    for (const QStringList &c : info) {
        const QString type = c[1].startsWith(QLatin1String("TEXT")) ? QStringLiteral("text/C")
            : c[1] == QLatin1String("REAL")                       ? QStringLiteral("double precision/")
            : c[1] == QLatin1String("INTEGER")                    ? QStringLiteral("bigint/")
                                                                  : QStringLiteral("? ") + c[1];
        expected << QStringList{c[0], type};
    }
    QVERIFY2(!expected.isEmpty(), qPrintable(table + QStringLiteral(" missing in data.mdb")));
    expected << QStringList{QStringLiteral("rowid"), QStringLiteral("bigint/")};

    QList<QStringList> columns;
    ROWS(shop(),
         QStringLiteral("SELECT column_name, data_type || '/' || coalesce(collation_name, '') "
                        "FROM information_schema.columns WHERE table_schema = ? AND table_name = ? "
                        "ORDER BY ordinal_position"),
         columns, QVariantList({schema, table}));
    QCOMPARE(columns, expected);
}

void TestPgSql::indexesAndRowsMatchDataMdb()
{
    QList<QStringList> indexes, rows;
    QString e = deliveredRows({QStringLiteral("SELECT m.name, m.tbl_name, group_concat(i.name), m.sql LIKE '%WHERE%' "
                                              "FROM sqlite_master m, pragma_index_info(m.name) i "
                                              "WHERE m.type = 'index' AND m.sql IS NOT NULL "
                                              "GROUP BY m.name ORDER BY m.name")},
                              indexes);
    QVERIFY2(e.isEmpty(), qPrintable(e));
    for (const auto &t : {QStringLiteral("dynr"), QStringLiteral("id"), QStringLiteral("username")}) {
        rows << QStringList{t};
        e = deliveredRows({QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(t)}, rows);
        QVERIFY2(e.isEmpty(), qPrintable(e));
    }
    QVERIFY(indexes.size() >= 5);

    // Each index of data.mdb by its name, on the same table and column, a
    // partial one partial on the server too.
    for (const QStringList &index : indexes) {
        QList<QStringList> found;
        ROWS(shop(),
             QStringLiteral("SELECT c.relname, a.attname, i.indpred IS NOT NULL FROM pg_index i "
                            "JOIN pg_class x ON x.oid = i.indexrelid JOIN pg_class c ON c.oid = i.indrelid "
                            "JOIN pg_namespace n ON n.oid = x.relnamespace "
                            "JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum = ANY (i.indkey) "
                            "WHERE x.relname = ? AND n.nspname IN ('public', 'velmora_till_template')"),
             found, {index[0]});
        QCOMPARE(found, QList<QStringList>({{index[1], index[2], index[3] == QLatin1String("1")
                                                                   ? QStringLiteral("true")
                                                                   : QStringLiteral("false")}}));
    }

    // The rows a new shop starts with, without the key column.
    QList<QStringList> serverRows;
    for (const auto &t : {QStringLiteral("dynr"), QStringLiteral("velmora_till_template.id"),
                          QStringLiteral("username")}) {
        serverRows << QStringList{t.section(u'.', -1)};
        QList<QStringList> r;
        ROWS(shop(), QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(t), r);
        for (QStringList &row : r)
            row.removeLast();
        serverRows << r;
    }
    QCOMPARE(serverRows, rows);
}

// ---- the sums --------------------------------------------------------------

bool TestPgSql::insertAmounts(const Values &values)
{
    QSqlQuery q(shop());
    const QString e = run(q,
                          QStringLiteral("INSERT INTO xsmx (金额) SELECT v FROM unnest(?::float8[]) "
                                         "WITH ORDINALITY AS u (v, i) ORDER BY i"),
                          {arrayOf(values)});
    if (!e.isEmpty())
        qWarning("%s", qPrintable(e));
    return e.isEmpty();
}

void TestPgSql::sumMatchesTill_data()
{
    QTest::addColumn<Values>("values");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();

    Values k32, k20000;
    for (int k = -4000; k <= 4000; ++k)
        k32 << k / 32.0;
    for (int k = -60000; k <= 60000; ++k)
        k20000 << k / 20000.0;
    QTest::newRow("ties k/32") << k32;
    QTest::newRow("ties k/20000") << k20000;
    QTest::newRow("shop amounts") << shopAmounts();
    QTest::newRow("shop amounts, negative") << negated(shopAmounts());
    QTest::newRow("halves of 0.0001 and their neighbours")
        << around({0.00005, 0.00015, 0.00025, 1.00005, 12.34565, 99.99995, 123456.78905}, 3);

    // Where the product leaves the doubles' whole-number range, and where it
    // lands on a power of two from above or below.
    Values powers;
    for (int k = -12; k <= 62; k += 1)
        powers << around({std::ldexp(1.0, k) / 10000}, 2);
    QTest::newRow("products near powers of two") << powers;
    QTest::newRow("products near powers of two, negative") << negated(powers);
    QTest::newRow("near 2^52 units") << around({std::ldexp(1.0, 52) / 10000, std::ldexp(1.0, 53) / 10000}, 40);
    // Alternating signs keep every running total below the limit.
    Values limit;
    for (const auto &v : around({8.999999999999e14, 4.5e14, std::ldexp(1.0, 49)}, 30)) {
        limit << v;
        limit << -*v;
    }
    limit << next(9e14, -1) << -next(9e14, -1);
    QTest::newRow("near the limit of 9e14") << limit;
    QTest::newRow("9e14 does not fit") << Values{1.5, 9e14, 2.5};
    QTest::newRow("-9e14 does not fit") << Values{-9e14};
    QTest::newRow("total reaches 9e18 units") << Values{5e14, 4e14};
    QTest::newRow("total just below 9e18 units") << Values{5e14, next(4e14, -1)};
    QTest::newRow("NaN does not fit") << Values{1.25, nan, 2.5};
    QTest::newRow("infinity does not fit") << Values{inf};
    QTest::newRow("-infinity does not fit") << Values{0.5, -inf};
    QTest::newRow("nulls are skipped") << Values{std::nullopt, 1.25, std::nullopt, -0.00005};
    QTest::newRow("only nulls") << Values{std::nullopt, std::nullopt};
    QTest::newRow("no row") << Values{};
    QTest::newRow("zero and negative zero") << Values{0.0, -0.0};

    // Decimal amounts of every size, and arbitrary doubles below the limit.
    // Large ones come with their negation: the till stops at a running total
    // past the limit, the server only looks at the total.
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    Values mixed;
    for (int i = 0; i < 40000; ++i) {
        const int bits = 1 + int(random.bounded(49));
        const double digits = double(random.bounded(quint64(1) << bits));
        const double decimal = digits / std::pow(10.0, random.bounded(9));
        const double any = std::ldexp(random.generateDouble() + 1, random.bounded(-20, 49));
        for (double v : {decimal, any}) {
            v = random.bounded(2) ? v : -v;
            mixed << v;
            if (std::fabs(v) > 1e6)
                mixed << -v;
        }
    }
    QTest::addRow("random, seed %u", seed) << mixed;
}

// velmora_sum4_of(sum(velmora_fixed4(c)), bool_or(...)) over a column gives
// what the till's own sum gives over the same values; each value's share is
// checked first, so a disagreement names the value.
void TestPgSql::sumMatchesTill()
{
    QFETCH(Values, values);
    QVERIFY(insertAmounts(values));

    QList<QStringList> shares;
    ROWS(shop(), QStringLiteral("SELECT velmora_fixed4(金额) FROM xsmx ORDER BY rowid"), shares);
    QCOMPARE(shares.size(), values.size());
    numtext::Fixed4Sum till;
    for (qsizetype i = 0; i < values.size(); ++i) {
        const auto &v = values[i];
        store::addStored(till, v ? QVariant(*v) : QVariant());
        const QString expected = !v ? QStringLiteral("<null>") : QString::number(numtext::tryFixed4(*v).value_or(0));
        if (shares[i][0] != expected)
            QFAIL(qPrintable(QStringLiteral("value %1 (row %2): server %3, till %4")
                                 .arg(v ? exactText(*v) : QStringLiteral("null"))
                                 .arg(i + 1)
                                 .arg(shares[i][0], expected)));
    }

    QList<QStringList> sum;
    ROWS(shop(),
         QStringLiteral("SELECT velmora_sum4_of(sum(velmora_fixed4(金额)), bool_or(NOT abs(金额) < 9e14)) FROM xsmx"),
         sum);
    const auto result = till.result();
    QCOMPARE(sum, QList<QStringList>({{result ? QString::number(*result) : QStringLiteral("<null>")}}));
}

// ---- searches and order ----------------------------------------------------

void TestPgSql::fillTexts(const QStringList &texts)
{
    RUN(lite(), QStringLiteral("CREATE TABLE spxx (品名 TEXT, 单价 REAL)"));
    for (const QString &t : texts) {
        const QVariant v = t == QLatin1String("<null>") ? QVariant() : QVariant(t);
        RUN(lite(), QStringLiteral("INSERT INTO spxx (品名) VALUES (?)"), {v});
        RUN(shop(), QStringLiteral("INSERT INTO spxx (品名) VALUES (?)"), {v});
    }
}

namespace {
const QStringList kTexts = {
    QStringLiteral("abc"),     QStringLiteral("ABC"),      QStringLiteral("aBc 牛奶"), QStringLiteral("a%c"),
    QStringLiteral("a_c"),     QStringLiteral("a\\c"),     QStringLiteral("a\\\\c"),   QStringLiteral("a\\%c"),
    QStringLiteral("a\\_c"),   QStringLiteral("100%"),     QStringLiteral("50% off"),  QStringLiteral("xay"),
    QStringLiteral("C:\\tmp"), QStringLiteral("c:\\TMP"),  QStringLiteral("ä"),        QStringLiteral("Ä"),
    QStringLiteral("中文"),    QStringLiteral("中_文"),    QStringLiteral("价格\\折"), QStringLiteral(""),
    QStringLiteral("\\"),      QStringLiteral("'"),        QStringLiteral("<null>"),   QStringLiteral("Zz"),
    QStringLiteral("zZ"),      QStringLiteral("~"),        QStringLiteral("é"),        QStringLiteral("_"),
};

QString likeRows(const QSqlDatabase &db, const QString &condition, const QString &text, QList<QStringList> &out)
{
    return rowsOf(db, QStringLiteral("SELECT rowid FROM spxx WHERE 品名 %1 ORDER BY rowid").arg(condition), out,
                  {u'%' + text + u'%'});
}
} // namespace

void TestPgSql::searchMatchesSqlite_data()
{
    QTest::addColumn<QString>("text");
    for (const QString &t : {QStringLiteral(""), QStringLiteral("a"), QStringLiteral("B"), QStringLiteral("abc"),
                             QStringLiteral("\\"), QStringLiteral("\\\\"), QStringLiteral("a\\c"),
                             QStringLiteral("\\%"), QStringLiteral("\\_"), QStringLiteral("%"), QStringLiteral("_"),
                             QStringLiteral("a%c"), QStringLiteral("a_c"), QStringLiteral("0%"),
                             QStringLiteral("c:\\t"), QStringLiteral("ä"), QStringLiteral("Ä"), QStringLiteral("中_"),
                             QStringLiteral("_文"), QStringLiteral("\\折"), QStringLiteral("'"), QStringLiteral("z"),
                             QStringLiteral("É")})
        QTest::newRow(qPrintable(t.isEmpty() ? QStringLiteral("(empty)") : t)) << t;
}

// The program searches with "column LIKE '%text%'" and no escape, where
// SQLite ignores the case of ASCII letters only; on the server the same rows
// come from ILIKE with no escape character (on a "C" column it folds ASCII
// letters alone).
void TestPgSql::searchMatchesSqlite()
{
    QFETCH(QString, text);
    fillTexts(kTexts);
    QList<QStringList> sqlite, server;
    QString e = likeRows(lite(), QStringLiteral("LIKE ?"), text, sqlite);
    QVERIFY2(e.isEmpty(), qPrintable(e));
    e = likeRows(shop(), QStringLiteral("ILIKE ? ESCAPE ''"), text, server);
    QVERIFY2(e.isEmpty(), qPrintable(e));
    QCOMPARE(server, sqlite);
}

// Why the server's form is ILIKE with ESCAPE '': each simpler form finds
// other rows than SQLite for some text.
void TestPgSql::otherLikeFormsDiffer()
{
    fillTexts(kTexts);
    const QStringList forms = {QStringLiteral("LIKE ?"), QStringLiteral("LIKE ? ESCAPE ''"),
                               QStringLiteral("ILIKE ?")};
    for (const QString &form : forms) {
        QStringList differing;
        for (const QString &text : {QStringLiteral("a"), QStringLiteral("\\"), QStringLiteral("\\%"),
                                    QStringLiteral("B"), QStringLiteral("a\\c")}) {
            QList<QStringList> sqlite, server;
            QString e = likeRows(lite(), QStringLiteral("LIKE ?"), text, sqlite);
            QVERIFY2(e.isEmpty(), qPrintable(e));
            e = likeRows(shop(), form, text, server);
            // The default escape makes a trailing backslash an error.
            if (!e.isEmpty() || server != sqlite)
                differing << text;
        }
        QVERIFY2(!differing.isEmpty(), qPrintable(form + QStringLiteral(" finds SQLite's rows too")));
        qInfo("%s differs from SQLite on: %s", qPrintable(form), qPrintable(differing.join(QStringLiteral(" | "))));
    }
}

// Lists sorted by a text come in the same order: byte order, nulls first as
// SQLite puts them in an ascending order.
void TestPgSql::textOrderMatchesSqlite()
{
    fillTexts(kTexts);
    QList<QStringList> sqlite, server;
    ROWS(lite(), QStringLiteral("SELECT 品名 FROM spxx ORDER BY 品名, rowid"), sqlite);
    ROWS(shop(), QStringLiteral("SELECT 品名 FROM spxx ORDER BY 品名 NULLS FIRST, rowid"), server);
    QCOMPARE(server, sqlite);
    QList<QStringList> lo, so;
    ROWS(lite(), QStringLiteral("SELECT count(*) FROM spxx WHERE 品名 < 'a'"), lo);
    ROWS(shop(), QStringLiteral("SELECT count(*) FROM spxx WHERE 品名 < 'a'"), so);
    QCOMPARE(so, lo);
}

// ---- one schema per till ---------------------------------------------------

void TestPgSql::tillSchemaReachesItsOwnTables()
{
    QList<QStringList> made;
    ROWS(shop(), QStringLiteral("SELECT velmora_make_till(1), velmora_make_till(2)"), made);
    QCOMPARE(made, table({{"till_01", "till_02"}}));

    RUN(shop(), QStringLiteral("INSERT INTO spxx (品名, 单价) VALUES ('牛奶', 3.5)"));
    RUN(shop(), QStringLiteral("SET search_path TO till_01, public"));
    RUN(shop(), QStringLiteral("INSERT INTO xsxx (品名, 单价) VALUES ('牛奶', 3.5), ('面包', 2)"));
    RUN(shop(), QStringLiteral("INSERT INTO dyzt (单号, 开始) VALUES ('20240101120000', 'x')"));
    {
        QSqlQuery q(shop());
        QVERIFY2(!run(q, QStringLiteral("INSERT INTO dyzt (单号) VALUES ('20240101120000')")).isEmpty(),
                 "a ticket number marked twice");
    }

    QList<QStringList> ticket, products, settings;
    ROWS(shop(), QStringLiteral("select * from xsxx"), ticket);
    ROWS(shop(), QStringLiteral("select * from spxx"), products);
    ROWS(shop(), QStringLiteral("select * from id"), settings);
    const char *n = "<null>";
    QCOMPARE(ticket, table({{"1", n, n, n, n, "牛奶", "3.5", n, n, n, n, "1"},
                            {"2", n, n, n, n, "面包", "2", n, n, n, n, "2"}}));
    QCOMPARE(products, table({{"牛奶", "3.5", "1"}}));
    QCOMPARE(settings, table({{"1", "1", "58", "1", "1"}}));

    // The other till and the template are untouched; till 2 numbers its
    // lines from 1 as well.
    QList<QStringList> counts;
    ROWS(shop(),
         QStringLiteral("SELECT (SELECT count(*) FROM till_02.xsxx), (SELECT count(*) FROM till_02.dyzt), "
                        "(SELECT count(*) FROM velmora_till_template.xsxx), "
                        "(SELECT count(*) FROM velmora_till_template.dyzt)"),
         counts);
    QCOMPARE(counts, table({{"0", "0", "0", "0"}}));
    RUN(shop(), QStringLiteral("SET search_path TO till_02, public"));
    RUN(shop(), QStringLiteral("INSERT INTO xsxx (品名) VALUES ('茶')"));
    QList<QStringList> other;
    ROWS(shop(), QStringLiteral("select \"ID\", 品名 from xsxx"), other);
    QCOMPARE(other, table({{"1", "茶"}}));

    // A till starting again keeps what it has.
    RUN(shop(), QStringLiteral("UPDATE till_01.id SET pos = '76'"));
    ROWS(shop(), QStringLiteral("SELECT velmora_make_till(1)"), made);
    QList<QStringList> kept;
    ROWS(shop(), QStringLiteral("SELECT (SELECT count(*) FROM till_01.xsxx), (SELECT string_agg(pos, ',') FROM "
                                "till_01.id)"),
         kept);
    QCOMPARE(kept, table({{"2", "76"}}));
}

void TestPgSql::tillNumberRefused_data()
{
    QTest::addColumn<QVariant>("number");
    QTest::newRow("0") << QVariant(0);
    QTest::newRow("100") << QVariant(100);
    QTest::newRow("-1") << QVariant(-1);
    QTest::newRow("null") << QVariant(QMetaType::fromType<int>());
}

void TestPgSql::tillNumberRefused()
{
    QFETCH(QVariant, number);
    QSqlQuery q(shop());
    const QString e = run(q, QStringLiteral("SELECT velmora_make_till(?::int)"), {number});
    QVERIFY2(e.contains(QStringLiteral("收银台编号必须是1到99")), qPrintable(e));
    QList<QStringList> schemas;
    ROWS(shop(), QStringLiteral("SELECT count(*) FROM pg_namespace WHERE nspname LIKE 'till%'"), schemas);
    QCOMPARE(schemas, table({{"0"}}));
}

QTEST_GUILESS_MAIN(TestPgSql)
#include "tst_pgsql.moc"
