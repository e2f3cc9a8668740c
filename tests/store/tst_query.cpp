// The query is what every window reads and writes tickets, products and
// archives through; the grids and the running totals hang on its signals.
// These tests hold it to what the windows rely on, checking the table itself
// through a separate connection.
#include "base/AppError.h"
#include "store/Connection.h"
#include "store/Idioms.h"
#include "store/Engine.h"
#include "store/Plan.h"
#include "store/Query.h"
#include "store/RowCache.h"
#include "store/SumList.h"
#include "support/TestSupport.h"
#include "ui/ListGrid.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <algorithm>
#include <optional>

Q_DECLARE_METATYPE(store::Listing)

using namespace Qt::StringLiterals;

namespace {

template <class F> QString errorOf(F &&f)
{
    try {
        f();
    } catch (const AppError &e) {
        return e.message();
    }
    return u"<no error>"_s;
}

// Archived tickets D0001..Dnnnn with 数量 = n and 金额 = n + 0.25, in one
// transaction.
void seedXstj(int count)
{
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                  "INSERT INTO xstj (单号, 数量, 金额) SELECT printf('D%04d', i), i, i + 0.25 FROM n"_s,
                  {count});
}

void addProduct(const QString &name, const QVariant &price = QVariant())
{
    testing::exec(u"insert into spxx (品名, 单价) values (?, ?)"_s, {name, price});
}

QStringList tableColumn(const QString &sql, const QVariantList &args = {})
{
    // SQLite orders nulls first, and so do the program's lists on a server.
    QString ordered = sql;
    if (testing::onServer())
        ordered.replace(QRegularExpression(u"order by (\\S+), rowid"_s), u"order by \\1 nulls first, rowid"_s);
    QStringList out;
    for (const QStringList &row : testing::rows(ordered, args))
        out << row.value(0);
    return out;
}

// The column as a window reading with first/next/eof sees it.
QStringList walk(Query &q, const QString &field)
{
    QStringList out;
    for (q.first(); !q.eof(); q.next())
        out << q.fieldText(field);
    return out;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QString ticketNo(int i)
{
    return u"D%1"_s.arg(i, 4, 10, QLatin1Char('0'));
}

// Tickets D0001..Dnnnn with times that repeat, some without a time, two
// cashiers, 数量 = n and 金额 = n / 4 (so every sum is exact in fixed point).
void seedVariedTickets(int count)
{
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                  "INSERT INTO xstj (单号, 时间, 数量, 金额, 收银员) "
                  "SELECT printf('D%04d', i), CASE WHEN i % 7 = 0 THEN NULL ELSE printf('2024-05-%02d', (i * 37) % 23 + 1) END, "
                  "i, i / 4.0, CASE WHEN i % 3 = 0 THEN '李四' ELSE '张三' END FROM n"_s,
                  {count});
}

// The sum of a column as the footer must show it, computed here from the
// rows the engine lists (each value × 10000, rounded; all values are exact).
qint64 expectedSum(const QString &column, const QString &where = u"1 = 1"_s, const QVariantList &args = {})
{
    return qRound64(testing::scalar(u"select coalesce(sum(%1), 0) * 10000 from xstj where %2"_s.arg(column, where), args)
                        .toDouble());
}

QStringList modelColumn(const QAbstractItemModel &model, int column)
{
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r)
        out << model.data(model.index(r, column), Qt::DisplayRole).toString();
    return out;
}

// Maximum rows a query may hold at once: its pages, the rows appended
// through it and its cursor's row.
constexpr int kHeldLimit = store::RowCache::kMaxPages * store::RowCache::kPageRows + 1;

} // namespace

class TestQuery : public QObject {
    Q_OBJECT
private slots:
    void init() { work_.emplace(); }
    void cleanup() { work_.reset(); }

    // reading
    void emptyResultReadsEmptyText();
    void cursorWalksAndStaysOnLastRow();
    void fieldsReadAsText_data();
    void fieldsReadAsText();
    void unknownFieldIsAnError();
    void countsBeforeAllRowsAreRead();
    void snapshotIgnoresRowsAddedElsewhere();
    void orderedQueryListsEveryRowOnce_data();
    void orderedQueryListsEveryRowOnce();

    // writing
    void numberFieldRejectsTextAndCancelsRow();
    void numberFieldStoresText_data();
    void numberFieldStoresText();
    void editOnEmptyResultStartsNewRow();
    void appendAddsRowAtEnd_data();
    void appendAddsRowAtEnd();
    void editChangesCurrentRow();
    void removeMovesToNextElseLast();
    void removeInLongResult();
    void movingCursorLeavesStartedRow();
    void distinctQueryIsReadOnly();
    void appendAfterDeletingNewestRowListsItOnce();

    // idioms
    void containsSearch_data();
    void containsSearch();
    void exactSearch_data();
    void exactSearch();
    void appendRowLandsAtEnd();
    void changeRowEditsOrCreates();
    void emptyTableRemovesEveryRow();
    void reconnectFollowsCurrentDirectory();

    // sums and grids
    void sumsFollowQuery();
    void gridModelFollowsQuery();
    void gridReadsRowsAsShown();

    // what is listed
    void queryWithoutListingIsRefused();
    void explicitListing();
    void lookupsUseAnIndex_data();
    void lookupsUseAnIndex();

    // long lists
    void rowsByPositionInEveryOrder_data();
    void rowsByPositionInEveryOrder();
    void walkedToTheEndThenJumps();
    void memoryStaysBounded();
    void longDistinctListInEngineOrder();

    // one state of the file
    void deletedElsewhereLeavesNoGhost_data();
    void deletedElsewhereLeavesNoGhost();
    void changedElsewhereIsNotSeenStale();

    // failed writes
    void failedWriteCancelsStartedRow_data();
    void failedWriteCancelsStartedRow();
    void textLongerThanColumnIsRefused_data();
    void textLongerThanColumnIsRefused();
    void rowGoneElsewhereIsAnError_data();
    void rowGoneElsewhereIsAnError();
    void engineFailuresInChinese_data();
    void engineFailuresInChinese();

    // footer sums
    void columnSums_data();
    void columnSums();
    void sumsFollowTheList();
    void unfitRowStillOpens();

private:
    std::optional<testing::TempWorkDir> work_;
};

void TestQuery::emptyResultReadsEmptyText()
{
    Connection conn;
    Query q(conn, store::Listing::all(u"spxx"_s));
    q.open();
    QVERIFY(q.isActive());
    QVERIFY(q.eof());
    QVERIFY(q.isEmpty());
    QCOMPARE(q.recordCount(), 0);
    QCOMPARE(q.recNo(), 0);
    // Windows read the boxes of an empty list without checking first.
    QCOMPARE(q.fieldText(u"品名"_s), QString());
    QCOMPARE(q.fieldText(u"单价"_s), QString());
    q.first();
    q.next();
    QVERIFY(q.eof());
    q.last();
    QVERIFY(q.eof());
    QCOMPARE(q.recNo(), 0);
    QCOMPARE(q.fieldText(u"品名"_s), QString());
}

void TestQuery::cursorWalksAndStaysOnLastRow()
{
    addProduct(u"苹果"_s, 2.5);
    addProduct(u"梨"_s, 3);
    addProduct(u"桃"_s, 4);
    Connection conn;
    Query q(conn, store::Listing::all(u"spxx"_s));
    q.open();

    QVERIFY(!q.eof());
    QCOMPARE(q.recNo(), 1);
    QCOMPARE(q.recordCount(), 3);
    QCOMPARE(q.fieldText(u"品名"_s), u"苹果"_s);
    q.next();
    QCOMPARE(q.recNo(), 2);
    QCOMPARE(q.fieldText(u"品名"_s), u"梨"_s);
    q.next();
    QVERIFY(!q.eof());
    QCOMPARE(q.fieldText(u"品名"_s), u"桃"_s);

    q.next();
    QVERIFY(q.eof());
    QCOMPARE(q.fieldText(u"品名"_s), u"桃"_s);
    QCOMPARE(q.recNo(), 3);
    q.next();
    QVERIFY(q.eof());
    QCOMPARE(q.fieldText(u"单价"_s), u"4"_s);

    q.first();
    QVERIFY(!q.eof());
    QCOMPARE(q.fieldText(u"品名"_s), u"苹果"_s);
    q.last();
    QVERIFY(!q.eof());
    QCOMPARE(q.recNo(), 3);
    QCOMPARE(q.fieldText(u"品名"_s), u"桃"_s);
}

void TestQuery::fieldsReadAsText_data()
{
    QTest::addColumn<QString>("insert");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    const QString xsxx = u"insert into xsxx (单号, 单价, 数量, 金额, 备注) values ('007', 2.5, 10, NULL, '')"_s;
    QTest::newRow("fraction") << xsxx << u"单价"_s << u"2.5"_s;
    QTest::newRow("whole number") << xsxx << u"数量"_s << u"10"_s;
    QTest::newRow("null number") << xsxx << u"金额"_s << QString();
    QTest::newRow("null text") << xsxx << u"客户"_s << QString();
    QTest::newRow("digits as text") << xsxx << u"单号"_s << u"007"_s;
    QTest::newRow("key") << xsxx << u"ID"_s << u"1"_s;
    QTest::newRow("fifteen digits") << u"insert into xsxx (金额) values (0.1 + 0.2)"_s << u"金额"_s << u"0.3"_s;
    QTest::newRow("name case") << xsxx << u"id"_s << u"1"_s;
}

void TestQuery::fieldsReadAsText()
{
    QFETCH(QString, insert);
    QFETCH(QString, field);
    QFETCH(QString, text);
    testing::exec(insert);
    Connection conn;
    Query q(conn, store::Listing::all(u"xsxx"_s));
    q.open();
    QCOMPARE(q.fieldText(field), text);
}

void TestQuery::unknownFieldIsAnError()
{
    addProduct(u"苹果"_s, 1);
    Connection conn;
    Query q(conn, store::Listing::all(u"spxx"_s));
    q.open();
    QCOMPARE(q.fieldNames(), (QStringList{u"品名"_s, u"单价"_s}));
    QVERIFY(!q.hasField(u"价格"_s));
    const QString read = errorOf([&] { q.fieldText(u"价格"_s); });
    QVERIFY2(read.contains(u"价格"_s), qPrintable(read));
    q.edit();
    const QString write = errorOf([&] { q.setFieldText(u"价格"_s, u"1"_s); });
    QVERIFY2(write.contains(u"价格"_s), qPrintable(write));
    q.cancel();

    // The same on an empty result.
    testing::exec(u"delete from spxx"_s);
    idiom::list(q, store::Listing::all(u"spxx"_s));
    QVERIFY(errorOf([&] { q.fieldText(u"价格"_s); }).contains(u"价格"_s));
}

void TestQuery::countsBeforeAllRowsAreRead()
{
    seedXstj(1000);
    Connection conn;
    Query q(conn, store::Listing::all(u"xstj"_s));
    q.open();
    QCOMPARE(q.recordCount(), 1000);
    QVERIFY(q.rowsHeld() <= Query::kPageSize + 1);

    const QList<QStringList> table = testing::rows(u"select 单号, 数量, 金额 from xstj order by rowid"_s);
    QCOMPARE(table.size(), 1000);
    int i = 0;
    for (; !q.eof(); q.next()) {
        QVERIFY(i < 1000);
        QCOMPARE(q.recNo(), i + 1);
        QCOMPARE(q.fieldText(u"单号"_s), table[i][0]);
        QCOMPARE(q.fieldText(u"单号"_s), ticketNo(i + 1));
        QCOMPARE(q.fieldText(u"数量"_s), QString::number(i + 1));
        QCOMPARE(q.fieldText(u"金额"_s), u"%1.25"_s.arg(i + 1));
        QCOMPARE(q.recordCount(), 1000);
        ++i;
    }
    QCOMPARE(i, 1000);
    QCOMPARE(q.fieldText(u"单号"_s), u"D1000"_s);
    QCOMPARE(q.recNo(), 1000);
}

void TestQuery::snapshotIgnoresRowsAddedElsewhere()
{
    seedXstj(100);
    Connection conn;
    Query q(conn, store::Listing::all(u"xstj"_s));
    q.open();
    // Another window archives tickets while this list is open.
    testing::exec(u"insert into xstj (单号) values ('LATE1'), ('LATE2')"_s);
    QCOMPARE(q.recordCount(), 100);
    const QStringList seen = walk(q, u"单号"_s);
    QCOMPARE(seen.size(), 100);
    QCOMPARE(seen.last(), u"D0100"_s);
    q.last();
    QCOMPARE(q.fieldText(u"单号"_s), u"D0100"_s);

    idiom::list(q, store::Listing::all(u"xstj"_s));
    QCOMPARE(q.recordCount(), 102);
    q.last();
    QCOMPARE(q.fieldText(u"单号"_s), u"LATE2"_s);
}

void TestQuery::orderedQueryListsEveryRowOnce_data()
{
    QTest::addColumn<store::Listing>("listing");
    QTest::addColumn<QString>("cashier"); // empty: no filter
    QTest::newRow("all rows") << store::Listing::all(u"xstj"_s, u"时间"_s) << QString();
    QTest::newRow("filtered") << store::Listing::where(u"xstj"_s, u"收银员"_s, store::Match::Equals, u"张三"_s,
                                                       u"时间"_s)
                              << u"张三"_s;
}

void TestQuery::orderedQueryListsEveryRowOnce()
{
    QFETCH(store::Listing, listing);
    QFETCH(QString, cashier);
    // Many tickets share a time and some have none, spread over several pages.
    const int count = 3 * Query::kPageSize + 17;
    struct Ticket {
        std::optional<QString> time;
        int no;
        QString cashier;
    };
    std::vector<Ticket> tickets;
    for (int i = 1; i <= count; ++i) {
        Ticket t{std::nullopt, i, i % 3 == 0 ? u"李四"_s : u"张三"_s};
        if (i % 7 != 0)
            t.time = u"2024-05-%1 10:00:00"_s.arg((i * 37) % 23 + 1, 2, 10, QLatin1Char('0'));
        tickets.push_back(t);
    }
    QVariantList times, nos, cashiers;
    for (const Ticket &t : tickets) {
        times << (t.time ? QVariant(*t.time) : QVariant());
        nos << ticketNo(t.no);
        cashiers << t.cashier;
    }
    {
        QStringList values;
        QVariantList args;
        for (int i = 0; i < count; ++i) {
            values << u"(?, ?, ?)"_s;
            args << nos[i] << times[i] << cashiers[i];
        }
        testing::exec(u"insert into xstj (单号, 时间, 收银员) values "_s + values.join(u','), args);
    }

    std::vector<Ticket> expected;
    for (const Ticket &t : tickets) {
        if (cashier.isEmpty() || t.cashier == cashier)
            expected.push_back(t);
    }
    std::stable_sort(expected.begin(), expected.end(), [](const Ticket &a, const Ticket &b) {
        if (!a.time || !b.time)
            return !a.time && b.time;
        return *a.time < *b.time;
    });
    QStringList expectedNos;
    for (const Ticket &t : expected)
        expectedNos << ticketNo(t.no);
    QVERIFY(expectedNos.size() > Query::kPageSize);

    Connection conn;
    Query q(conn, listing);
    q.open();
    QCOMPARE(q.recordCount(), expectedNos.size());
    QCOMPARE(walk(q, u"单号"_s), expectedNos);

    // A grid reading page by page sees the same rows.
    q.close();
    q.open();
    QStringList shown;
    const int col = q.columnIndex(u"单号"_s);
    for (int r = 0; r < q.rowCountFetched(); ++r)
        shown << q.textAt(r, col);
    QCOMPARE(shown, expectedNos);
}

void TestQuery::numberFieldRejectsTextAndCancelsRow()
{
    addProduct(u"苹果"_s, 2.5);
    addProduct(u"梨"_s, 3);
    Connection conn;
    Query q(conn, store::Listing::all(u"spxx"_s));
    q.open();
    q.edit();
    q.setFieldText(u"品名"_s, u"红苹果"_s);
    QCOMPARE(errorOf([&] { q.setFieldText(u"单价"_s, u"abc"_s); }),
             u"'abc' is not a valid floating point value for field '单价'"_s);
    // The handler ends at the refusal; its half-built row must not be stored
    // later by a cursor move (a grid click).
    QCOMPARE(q.state(), Query::State::Browse);
    QCOMPARE(q.fieldText(u"品名"_s), u"苹果"_s);
    q.next();
    q.first();
    QCOMPARE(testing::rows(u"select 品名, 单价 from spxx order by rowid"_s),
             (QList<QStringList>{{u"苹果"_s, u"2.5"_s}, {u"梨"_s, u"3"_s}}));
}

void TestQuery::numberFieldStoresText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("stored"); // null: SQL NULL
    QTest::addColumn<QString>("readBack");
    QTest::newRow("empty") << QString() << QVariant() << QString();
    QTest::newRow("blanks around") << u" 3.5 "_s << QVariant(3.5) << u"3.5"_s;
    QTest::newRow("whole") << u"10"_s << QVariant(10.0) << u"10"_s;
    QTest::newRow("negative") << u"-0.5"_s << QVariant(-0.5) << u"-0.5"_s;
}

void TestQuery::numberFieldStoresText()
{
    QFETCH(QString, text);
    QFETCH(QVariant, stored);
    QFETCH(QString, readBack);
    addProduct(u"苹果"_s, 2.5);
    Connection conn;
    Query q(conn, store::Listing::all(u"spxx"_s));
    q.open();
    q.edit();
    q.setFieldText(u"单价"_s, text);
    q.post();
    QCOMPARE(q.fieldText(u"单价"_s), readBack);

    const QVariant inTable = testing::scalar(u"select 单价 from spxx"_s);
    if (stored.isNull()) {
        QVERIFY2(inTable.isNull(), qPrintable(inTable.toString()));
    } else {
        QCOMPARE(testing::scalar(u"select typeof(单价) from spxx"_s).toString(), u"real"_s);
        QCOMPARE(inTable.toDouble(), stored.toDouble());
    }
    idiom::list(q, store::Listing::all(u"spxx"_s));
    QCOMPARE(q.fieldText(u"单价"_s), readBack);
}

void TestQuery::editOnEmptyResultStartsNewRow()
{
    Connection conn;
    Query q(conn, store::Listing::all(u"spxx"_s));
    q.open();
    q.edit();
    QCOMPARE(q.state(), Query::State::Insert);
    q.setFieldText(u"品名"_s, u"梨"_s);
    q.setFieldText(u"单价"_s, u"3"_s);
    q.post();
    QCOMPARE(q.state(), Query::State::Browse);
    QVERIFY(!q.eof());
    QCOMPARE(q.recordCount(), 1);
    QCOMPARE(q.recNo(), 1);
    QCOMPARE(q.fieldText(u"品名"_s), u"梨"_s);
    QCOMPARE(testing::rows(u"select 品名, 单价 from spxx"_s), (QList<QStringList>{{u"梨"_s, u"3"_s}}));
}

void TestQuery::appendAddsRowAtEnd_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("short list") << 3;
    QTest::newRow("long list, partly read") << 300;
}

void TestQuery::appendAddsRowAtEnd()
{
    QFETCH(int, rows);
    seedXstj(rows);
    Connection conn;
    Query q(conn, store::Listing::all(u"xstj"_s));
    q.open();
    q.next();
    q.append();
    QCOMPARE(q.state(), Query::State::Insert);
    q.setFieldText(u"单号"_s, u"NEW"_s);
    q.setFieldText(u"数量"_s, u"2"_s);
    q.post();

    QVERIFY(!q.eof());
    QCOMPARE(q.fieldText(u"单号"_s), u"NEW"_s);
    QCOMPARE(q.fieldText(u"数量"_s), u"2"_s);
    QCOMPARE(q.recordCount(), rows + 1);
    QCOMPARE(q.recNo(), rows + 1);
    QCOMPARE(testing::scalar(u"select 单号 from xstj order by rowid desc limit 1"_s).toString(), u"NEW"_s);
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), rows + 1);

    const QStringList seen = walk(q, u"单号"_s);
    QCOMPARE(seen.size(), rows + 1);
    QCOMPARE(seen.count(u"NEW"_s), 1);
    QCOMPARE(seen.last(), u"NEW"_s);
    QCOMPARE(seen.at(rows - 1), ticketNo(rows));
}

void TestQuery::editChangesCurrentRow()
{
    addProduct(u"苹果"_s, 1);
    addProduct(u"梨"_s, 2);
    addProduct(u"桃"_s, 3);
    Connection conn;
    Query q(conn, store::Listing::all(u"spxx"_s));
    q.open();
    q.next();
    q.edit();
    QCOMPARE(q.state(), Query::State::Edit);
    q.setFieldText(u"单价"_s, u"7.5"_s);
    q.post();
    QCOMPARE(q.recNo(), 2);
    QCOMPARE(q.fieldText(u"单价"_s), u"7.5"_s);
    QCOMPARE(q.recordCount(), 3);
    QCOMPARE(testing::rows(u"select 品名, 单价 from spxx order by rowid"_s),
             (QList<QStringList>{{u"苹果"_s, u"1"_s}, {u"梨"_s, u"7.5"_s}, {u"桃"_s, u"3"_s}}));
}

void TestQuery::removeMovesToNextElseLast()
{
    addProduct(u"苹果"_s);
    addProduct(u"梨"_s);
    addProduct(u"桃"_s);
    Connection conn;
    Query q(conn, store::Listing::all(u"spxx"_s));
    q.open();
    q.next();
    q.remove();
    QCOMPARE(q.fieldText(u"品名"_s), u"桃"_s);
    QCOMPARE(q.recNo(), 2);
    QCOMPARE(q.recordCount(), 2);
    QCOMPARE(tableColumn(u"select 品名 from spxx order by rowid"_s), (QStringList{u"苹果"_s, u"桃"_s}));

    q.remove(); // the last row: the cursor goes to the new last one
    QVERIFY(!q.eof());
    QCOMPARE(q.fieldText(u"品名"_s), u"苹果"_s);
    QCOMPARE(q.recNo(), 1);
    QCOMPARE(q.recordCount(), 1);

    q.remove();
    QVERIFY(q.eof());
    QCOMPARE(q.recordCount(), 0);
    QCOMPARE(testing::scalar(u"select count(*) from spxx"_s).toInt(), 0);
    QCOMPARE(errorOf([&] { q.remove(); }), u"Cannot perform this operation on an empty dataset"_s);

    // A row appended through the query is removed like any other.
    q.append();
    q.setFieldText(u"品名"_s, u"橙"_s);
    q.post();
    q.remove();
    QVERIFY(q.eof());
    QCOMPARE(testing::scalar(u"select count(*) from spxx"_s).toInt(), 0);
}

void TestQuery::removeInLongResult()
{
    seedXstj(300);
    Connection conn;
    Query q(conn, store::Listing::all(u"xstj"_s));
    q.open();
    QVERIFY(q.rowsHeld() < 300);
    q.remove();
    QCOMPARE(q.fieldText(u"单号"_s), u"D0002"_s);
    QCOMPARE(q.recordCount(), 299);
    const QStringList seen = walk(q, u"单号"_s);
    QCOMPARE(seen.size(), 299);
    QCOMPARE(seen.first(), u"D0002"_s);
    QCOMPARE(seen.last(), u"D0300"_s);
    QCOMPARE(testing::scalar(u"select count(*) from xstj where 单号 = 'D0001'"_s).toInt(), 0);
}

void TestQuery::movingCursorLeavesStartedRow()
{
    addProduct(u"苹果"_s, 1);
    addProduct(u"梨"_s, 2);
    Connection conn;
    Query q(conn, store::Listing::all(u"spxx"_s));
    q.open();
    const QList<QStringList> before = testing::rows(u"select rowid, 品名, 单价 from spxx"_s);

    // Started but untouched rows are dropped when the cursor moves on.
    q.edit();
    q.next();
    QCOMPARE(q.state(), Query::State::Browse);
    q.append();
    q.first();
    QCOMPARE(q.state(), Query::State::Browse);
    q.append();
    q.last();
    QCOMPARE(q.state(), Query::State::Browse);
    QCOMPARE(testing::rows(u"select rowid, 品名, 单价 from spxx"_s), before);
    QCOMPARE(q.recordCount(), 2);

    // A changed one is kept, as when a cashier types and moves on.
    q.first();
    q.edit();
    q.setFieldText(u"单价"_s, u"9"_s);
    q.next();
    QCOMPARE(q.state(), Query::State::Browse);
    QCOMPARE(testing::scalar(u"select 单价 from spxx where 品名 = '苹果'"_s).toDouble(), 9.0);
    q.first();
    QCOMPARE(q.fieldText(u"单价"_s), u"9"_s);
}

void TestQuery::distinctQueryIsReadOnly()
{
    addProduct(u"苹果"_s, 1);
    addProduct(u"梨"_s, 2);
    addProduct(u"苹果"_s, 3);
    Connection conn;
    Query q(conn, store::Listing::distinct(u"spxx"_s, u"品名"_s));
    q.open();
    QCOMPARE(q.recordCount(), 2);
    QCOMPARE(sorted(walk(q, u"品名"_s)), sorted({u"苹果"_s, u"梨"_s}));

    q.first();
    QVERIFY(errorOf([&] { q.edit(); }) != u"<no error>"_s);
    QVERIFY(errorOf([&] { q.append(); }) != u"<no error>"_s);
    QVERIFY(errorOf([&] { q.remove(); }) != u"<no error>"_s);
    QVERIFY(errorOf([&] { q.setFieldText(u"品名"_s, u"x"_s); }) != u"<no error>"_s);
    QCOMPARE(q.state(), Query::State::Browse);
    QCOMPARE(testing::scalar(u"select count(*) from spxx"_s).toInt(), 3);
    QCOMPARE(q.fieldText(u"品名"_s), u"苹果"_s);
}

void TestQuery::appendAfterDeletingNewestRowListsItOnce()
{
    // The newest ticket sorts first; deleting it frees its row key, which the
    // next appended ticket takes while later pages are still unread.
    const int count = Query::kPageSize + 50;
    seedXstj(count);
    testing::exec(u"update xstj set 时间 = printf('2024-%04d', rowid)"_s);
    testing::exec(u"update xstj set 时间 = '2000' where 单号 = ?"_s, {ticketNo(count)});
    Connection conn;
    Query q(conn, store::Listing::all(u"xstj"_s, u"时间"_s));
    q.open();
    QCOMPARE(q.fieldText(u"单号"_s), ticketNo(count));
    q.remove();
    q.append();
    q.setFieldText(u"单号"_s, u"NEW"_s);
    q.setFieldText(u"时间"_s, u"2099"_s);
    q.post();

    QCOMPARE(q.recordCount(), count);
    const QStringList seen = walk(q, u"单号"_s);
    QCOMPARE(seen.count(u"NEW"_s), 1);
    QCOMPARE(seen.size(), count);
    QCOMPARE(seen.last(), u"NEW"_s);
}

void TestQuery::containsSearch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("found");
    const QStringList all{u"苹果"_s, u"红苹果"_s, u"梨"_s, u"他说\"好\""_s, u"苹大果"_s, u"a_b"_s, u"axb"_s};
    QTest::newRow("part of names") << u"苹果"_s << QStringList{u"苹果"_s, u"红苹果"_s};
    QTest::newRow("empty finds all") << QString() << all;
    QTest::newRow("double quote") << u"他说\"好\""_s << QStringList{u"他说\"好\""_s};
    QTest::newRow("lone double quote") << u"\""_s << QStringList{u"他说\"好\""_s};
    QTest::newRow("single quote") << u"'"_s << QStringList();
    QTest::newRow("percent is a wildcard") << u"苹%果"_s << QStringList{u"苹果"_s, u"红苹果"_s, u"苹大果"_s};
    QTest::newRow("underscore is a wildcard") << u"a_b"_s << QStringList{u"a_b"_s, u"axb"_s};
    QTest::newRow("nothing") << u"香蕉"_s << QStringList();
}

void TestQuery::containsSearch()
{
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    for (const QString &name : {u"苹果"_s, u"红苹果"_s, u"梨"_s, u"他说\"好\""_s, u"苹大果"_s, u"a_b"_s, u"axb"_s})
        addProduct(name, 1);
    Connection conn;
    Query q(conn, store::Listing::all(u"spxx"_s));
    q.open();
    q.next();
    try {
        idiom::containsSearch(q, u"spxx"_s, u"品名"_s, text);
    } catch (const AppError &e) {
        QFAIL(qPrintable(e.message()));
    }
    QCOMPARE(sorted(walk(q, u"品名"_s)), sorted(found));
    QCOMPARE(q.recordCount(), found.size());
    if (!text.isEmpty())
        QVERIFY2(!q.sql().contains(text), qPrintable(q.sql()));
    // The result is a live list: a found product can be changed in place.
    if (!found.isEmpty()) {
        q.first();
        const QString name = q.fieldText(u"品名"_s);
        idiom::changeRow(q, {{u"单价"_s, u"6"_s}});
        QCOMPARE(testing::scalar(u"select 单价 from spxx where 品名 = ?"_s, {name}).toDouble(), 6.0);
    }
}

void TestQuery::exactSearch_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("short name") << u"张"_s << QStringList{u"张"_s};
    QTest::newRow("long name") << u"张三"_s << QStringList{u"张三"_s};
    QTest::newRow("percent") << u"50%"_s << QStringList{u"50%"_s};
    QTest::newRow("underscore") << u"a_b"_s << QStringList{u"a_b"_s};
    QTest::newRow("double quote") << u"\"张\""_s << QStringList{u"\"张\""_s};
    QTest::newRow("none") << u"李"_s << QStringList();
}

void TestQuery::exactSearch()
{
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    for (const QString &name : {u"张"_s, u"张三"_s, u"50%"_s, u"5000"_s, u"a_b"_s, u"axb"_s, u"\"张\""_s})
        addProduct(name, 1);
    Connection conn;
    Query q(conn);
    idiom::exactSearch(q, u"spxx"_s, u"品名"_s, text);
    QCOMPARE(walk(q, u"品名"_s), found);
    QCOMPARE(q.recordCount(), found.size());
    QVERIFY2(!q.sql().contains(text), qPrintable(q.sql()));
}

void TestQuery::appendRowLandsAtEnd()
{
    addProduct(u"苹果"_s, 1);
    addProduct(u"梨"_s, 2);
    addProduct(u"桃"_s, 3);
    Connection conn;
    Query q(conn, store::Listing::all(u"spxx"_s));
    q.open();
    q.next(); // the cursor is in the middle
    idiom::appendRow(q, {{u"品名"_s, u"橙"_s}, {u"单价"_s, u"4.5"_s}});
    QCOMPARE(q.fieldText(u"品名"_s), u"橙"_s);
    QCOMPARE(q.recNo(), 4);
    QCOMPARE(q.recordCount(), 4);
    QCOMPARE(testing::rows(u"select 品名, 单价 from spxx order by rowid"_s),
             (QList<QStringList>{{u"苹果"_s, u"1"_s}, {u"梨"_s, u"2"_s}, {u"桃"_s, u"3"_s}, {u"橙"_s, u"4.5"_s}}));
    QCOMPARE(walk(q, u"品名"_s), (QStringList{u"苹果"_s, u"梨"_s, u"桃"_s, u"橙"_s}));

    // A bad number loses nothing already stored and adds no half row.
    QVERIFY(errorOf([&] { idiom::appendRow(q, {{u"品名"_s, u"瓜"_s}, {u"单价"_s, u"x"_s}}); })
                .contains(u"'x'"_s));
    q.cancel();
    QCOMPARE(testing::scalar(u"select count(*) from spxx"_s).toInt(), 4);
}

void TestQuery::changeRowEditsOrCreates()
{
    testing::exec(u"delete from id"_s);
    Connection conn;
    Query q(conn, store::Listing::all(u"id"_s));
    q.open();
    QVERIFY(q.eof());
    idiom::changeRow(q, {{u"客户"_s, u"张三"_s}, {u"pos"_s, u"76"_s}});
    QCOMPARE(testing::rows(u"select 客户, 电话, pos, print from id"_s),
             (QList<QStringList>{{u"张三"_s, QString(), u"76"_s, QString()}}));
    QCOMPARE(q.fieldText(u"pos"_s), u"76"_s);

    idiom::changeRow(q, {{u"pos"_s, u"58"_s}});
    QCOMPARE(testing::rows(u"select 客户, pos from id"_s), (QList<QStringList>{{u"张三"_s, u"58"_s}}));
    QCOMPARE(q.recordCount(), 1);
}

void TestQuery::emptyTableRemovesEveryRow()
{
    // More rows than the first page, so rows still unread go too.
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 80) "
                  "INSERT INTO xsxx (品名, 数量) SELECT 'p' || i, i FROM n"_s);
    addProduct(u"苹果"_s, 1);
    Connection conn;
    Query q(conn, store::Listing::all(u"xsxx"_s));
    q.open();
    idiom::emptyTable(q);
    QVERIFY(q.eof());
    QCOMPARE(q.recordCount(), 0);
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 0);
    QCOMPARE(testing::scalar(u"select count(*) from spxx"_s).toInt(), 1);
    // Emptying an empty table is no error.
    idiom::emptyTable(q);
    QVERIFY(q.eof());
}

void TestQuery::reconnectFollowsCurrentDirectory()
{
    VELMORA_FILE_ONLY("the file is found in the current directory");
    testing::TempWorkDir &work = *work_;
    addProduct(u"苹果"_s, 1);
    addProduct(u"梨"_s, 2);
    testing::exec(u"insert into xsxx (品名) values ('一'), ('二')"_s);

    Connection conn; // design-time string, as the windows are made
    Query a(conn, store::Listing::all(u"spxx"_s));
    Query b(conn, store::Listing::all(u"id"_s));
    a.open();
    b.open();
    a.last();

    idiom::reconnectAndReopen(conn, {{&a, store::Listing::all(u"xsxx"_s)},
                                     {&b, store::Listing::distinct(u"spxx"_s, u"品名"_s)}});
    QCOMPARE(conn.connectionString(), connstr::runtime());
    QVERIFY(conn.isOpen());
    QCOMPARE(a.sql(), u"select * from xsxx"_s);
    QCOMPARE(b.sql(), u"select distinct 品名 from spxx"_s);
    QVERIFY(a.isActive() && b.isActive());
    QCOMPARE(a.recNo(), 1);
    QCOMPARE(a.fieldText(u"品名"_s), u"一"_s);
    QCOMPARE(b.recNo(), 1);
    QCOMPARE(b.recordCount(), 2);

    // The current directory moved: the reconnection follows it.
    const QString other = work.file(u"other"_s);
    QVERIFY(QDir().mkpath(other));
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), other + u"/data.mdb"_s));
    QDir::setCurrent(other);
    testing::exec(u"insert into xsxx (品名) values ('别处')"_s);
    a.last();
    idiom::reconnectAndReopen(conn, {{&a, store::Listing::all(u"xsxx"_s)}});
    QCOMPARE(conn.filePath(), QDir(other).absoluteFilePath(u"data.mdb"_s));
    QCOMPARE(conn.connectionString(), connstr::runtime());
    QCOMPARE(walk(a, u"品名"_s), QStringList{u"别处"_s});

    // A folder without data.mdb: a clear error, and no file made there.
    const QString empty = work.file(u"empty"_s);
    QVERIFY(QDir().mkpath(empty));
    QDir::setCurrent(empty);
    const QString message = errorOf([&] { idiom::reconnectAndReopen(conn, {{&a, store::Listing::all(u"xsxx"_s)}}); });
    QVERIFY2(message.contains(u"data.mdb"_s), qPrintable(message));
    QVERIFY2(message.contains(QDir::toNativeSeparators(empty)), qPrintable(message));
    QVERIFY(!QFile::exists(QDir(empty).filePath(u"data.mdb"_s)));
    QVERIFY(!a.isActive());

    // Back where the file is, the same connection works again.
    QDir::setCurrent(work.path());
    idiom::reconnectAndReopen(conn, {{&a, store::Listing::all(u"xsxx"_s)}});
    QCOMPARE(a.recordCount(), 2);
}

void TestQuery::sumsFollowQuery()
{
    testing::exec(u"insert into xsxx (品名, 数量, 金额, 折后) values (?, ?, ?, ?)"_s, {u"苹果"_s, 1.5, 2.675, 2.5});
    testing::exec(u"insert into xsxx (品名, 数量, 金额, 折后) values (?, ?, ?, ?)"_s,
                  {u"梨"_s, 2, 10.1, QVariant()});
    testing::exec(u"insert into xsxx (品名) values ('空')"_s);
    Connection conn;
    Query q(conn, store::Listing::all(u"xsxx"_s));
    q.open();
    SumList sums(q, {u"数量"_s, u"金额"_s, u"折后"_s});
    auto current = [&] { return QList<qint64>{sums.total(0).value_or(-1), sums.total(1).value_or(-1), sums.total(2).value_or(-1)}; };
    QCOMPARE(sums.count(), 3);
    QCOMPARE(current(), (QList<qint64>{35000, 127750, 25000}));

    idiom::appendRow(q, {{u"品名"_s, u"桃"_s}, {u"数量"_s, u"0.0001"_s}, {u"金额"_s, u"3"_s}, {u"折后"_s, u"3"_s}});
    QCOMPARE(current(), (QList<qint64>{35001, 157750, 55000}));

    q.first();
    idiom::changeRow(q, {{u"金额"_s, u"1"_s}});
    QCOMPARE(current(), (QList<qint64>{35001, 141000, 55000}));

    q.remove();
    QCOMPARE(current(), (QList<qint64>{20001, 131000, 30000}));

    // Rows another window stored count after the reopen, read or not.
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100) "
                  "INSERT INTO xsxx (品名, 数量, 金额, 折后) SELECT 'p', 1, 0.01, NULL FROM n"_s);
    idiom::list(q, store::Listing::all(u"xsxx"_s));
    QCOMPARE(current(), (QList<qint64>{1020001, 141000, 30000}));

    idiom::emptyTable(q);
    QCOMPARE(current(), (QList<qint64>{0, 0, 0}));
}

void TestQuery::gridModelFollowsQuery()
{
    testing::exec(u"insert into xsxx (品名, 数量) values (?, ?)"_s, {u"苹果"_s, 3.5});
    testing::exec(u"insert into xsxx (品名, 数量) values (?, ?)"_s, {u"梨"_s, 4.0});
    testing::exec(u"insert into xsxx (品名, 数量) values (?, ?)"_s, {u"桃"_s, 2.675});
    Connection conn;
    Query q(conn, store::Listing::all(u"xsxx"_s));
    q.open();
    ui::QueryModel model(q, {{u"序号"_s, QString(), 40, false},
                             {u"品名"_s, u"品名"_s, 80, false},
                             {u"数量"_s, u"数量"_s, 60, true}});
    // The tester expects column 0 of the rows around an insertion or removal
    // to keep its value, which a row-number column by nature does not; it
    // watches a second model over the same query that starts with 品名.
    ui::QueryModel checked(q, {{u"品名"_s, u"品名"_s, 80, false},
                               {u"序号"_s, QString(), 40, false},
                               {u"数量"_s, u"数量"_s, 60, true}});
    QAbstractItemModelTester tester(&checked);

    auto column = [&](int c) {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << model.data(model.index(r, c), Qt::DisplayRole).toString();
        return out;
    };
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(column(0), (QStringList{u"1"_s, u"2"_s, u"3"_s}));
    QCOMPARE(column(1), (QStringList{u"苹果"_s, u"梨"_s, u"桃"_s}));
    QCOMPARE(column(2), (QStringList{u"3.5"_s, u"4"_s, u"2.67"_s}));
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), u"序号"_s);

    idiom::appendRow(q, {{u"品名"_s, u"橙"_s}, {u"数量"_s, u"1.25"_s}});
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(column(0), (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s}));
    QCOMPARE(column(2).last(), u"1.25"_s);

    q.moveTo(1);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    idiom::changeRow(q, {{u"数量"_s, u"5"_s}});
    QVERIFY(changed.count() > 0);
    QCOMPARE(column(2), (QStringList{u"3.5"_s, u"5"_s, u"2.67"_s, u"1.25"_s}));

    q.remove();
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(column(0), (QStringList{u"1"_s, u"2"_s, u"3"_s}));
    QCOMPARE(column(1), (QStringList{u"苹果"_s, u"桃"_s, u"橙"_s}));

    testing::exec(u"insert into xsxx (品名) values ('瓜')"_s);
    idiom::list(q, store::Listing::all(u"xsxx"_s));
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(column(1), (QStringList{u"苹果"_s, u"桃"_s, u"橙"_s, u"瓜"_s}));
    QCOMPARE(column(2).last(), QString());

    idiom::emptyTable(q);
    QCOMPARE(model.rowCount(), 0);
    q.close();
    QCOMPARE(model.rowCount(), 0);
}

void TestQuery::gridReadsRowsAsShown()
{
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600) "
                  "INSERT INTO xsxx (品名, 数量) SELECT 'p' || i, i FROM n"_s);
    Connection conn;
    Query q(conn, store::Listing::all(u"xsxx"_s));
    q.open();
    ui::QueryModel model(q, {{u"品名"_s, u"品名"_s, 80, false}, {u"序号"_s, QString(), 40, false}});
    QAbstractItemModelTester tester(&model);
    // The length is known at once; the rows come when they are shown.
    QCOMPARE(model.rowCount(), 600);
    QVERIFY(!model.canFetchMore({}));
    QCOMPARE(model.data(model.index(599, 1), Qt::DisplayRole).toString(), u"600"_s);
    QCOMPARE(model.data(model.index(599, 0), Qt::DisplayRole).toString(), u"p600"_s);
    QCOMPARE(model.data(model.index(300, 0), Qt::DisplayRole).toString(), u"p301"_s);
    QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(), u"p1"_s);

    testing::exec(u"insert into xsxx (品名) values ('new')"_s);
    idiom::list(q, store::Listing::all(u"xsxx"_s));
    QCOMPARE(model.rowCount(), 601);
    QCOMPARE(model.data(model.index(600, 0), Qt::DisplayRole).toString(), u"new"_s);
    idiom::appendRow(q, {{u"品名"_s, u"tail"_s}});
    QCOMPARE(model.rowCount(), 602);
    QCOMPARE(model.data(model.index(601, 1), Qt::DisplayRole).toString(), u"602"_s);
    QCOMPARE(model.data(model.index(601, 0), Qt::DisplayRole).toString(), u"tail"_s);
}

void TestQuery::queryWithoutListingIsRefused()
{
    seedXstj(3);
    Connection conn;
    Query q(conn);
    const QString message = errorOf([&] { q.open(); });
    QVERIFY2(message.startsWith(u"查询没有指定"_s), qPrintable(message));
    QVERIFY(!q.isActive());
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 3);
}

void TestQuery::explicitListing()
{
    seedVariedTickets(40);
    Connection conn;
    Query q(conn);
    idiom::list(q, store::Listing::where(u"xstj"_s, u"收银员"_s, store::Match::Equals, u"李四"_s, u"单号"_s));
    QCOMPARE(walk(q, u"单号"_s),
             tableColumn(u"select 单号 from xstj where 收银员 = '李四' order by 单号"_s));
    QCOMPARE(q.listing()->orderColumn, u"单号"_s);
    // Typed text is a value, so a quote or a percent is looked for as it is.
    idiom::list(q, store::Listing::where(u"xstj"_s, u"单号"_s, store::Match::Equals, u"D0001' or '1'='1"_s));
    QVERIFY(q.isEmpty());
    // An unknown column is a clear error, not an empty list.
    const QString message = errorOf(
        [&] { idiom::list(q, store::Listing::where(u"xstj"_s, u"价格"_s, store::Match::Contains, u"1"_s)); });
    QVERIFY2(message.contains(u"价格"_s), qPrintable(message));
}

void TestQuery::lookupsUseAnIndex_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("filter"); // equals
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("index");
    QTest::newRow("lines of a ticket") << u"xsmx"_s << u"单号"_s << QString() << u"xsmx_单号"_s;
    QTest::newRow("tickets by time") << u"xstj"_s << QString() << u"时间"_s << u"xstj_时间"_s;
    QTest::newRow("ticket by number") << u"xstj"_s << u"单号"_s << QString() << u"xstj_单号"_s;
}

void TestQuery::lookupsUseAnIndex()
{
    VELMORA_FILE_ONLY("SQLite's query plans");
    QFETCH(QString, table);
    QFETCH(QString, filter);
    QFETCH(QString, order);
    QFETCH(QString, index);
    Connection conn;
    conn.open();
    const store::Listing l = filter.isEmpty()
        ? store::Listing::all(table, order)
        : store::Listing::where(table, filter, store::Match::Equals, u"20240101080000"_s, order);
    store::Plan plan(conn, l);
    const QString explained = plan.explainReads();
    // Both the first rows and the rows after a known one are found through
    // the index, never by reading the whole table.
    QCOMPARE(explained.count(u"USING INDEX "_s + index), 2);
    QVERIFY2(!explained.contains(u"SCAN "_s + table + u'\n') && !explained.endsWith(u"SCAN "_s + table),
             qPrintable(explained));
}

void TestQuery::rowsByPositionInEveryOrder_data()
{
    using store::Listing, store::Match;
    QTest::addColumn<Listing>("listing");
    QTest::addColumn<QString>("reference"); // the same rows as the engine lists them
    QTest::newRow("table order") << Listing::all(u"xstj"_s) << u"select 单号 from xstj order by rowid"_s;
    QTest::newRow("by time, some without") << Listing::all(u"xstj"_s, u"时间"_s)
                                           << u"select 单号 from xstj order by 时间, rowid"_s;
    QTest::newRow("contains") << Listing::where(u"xstj"_s, u"单号"_s, Match::Contains, u"1"_s)
                              << u"select 单号 from xstj where 单号 like '%1%' order by rowid"_s;
    QTest::newRow("equals, by time") << Listing::where(u"xstj"_s, u"收银员"_s, Match::Equals, u"张三"_s, u"时间"_s)
                                     << u"select 单号 from xstj where 收银员 = '张三' order by 时间, rowid"_s;
}

void TestQuery::rowsByPositionInEveryOrder()
{
    QFETCH(store::Listing, listing);
    QFETCH(QString, reference);
    // Several pages more than the cache keeps, so pages are read again
    // from remembered keys, backwards and by jumps.
    seedVariedTickets(store::RowCache::kPageRows * (store::RowCache::kMaxPages + 4) + 37);
    const QStringList expected = tableColumn(reference);
    // Filtered lists are shorter, still several pages long.
    QVERIFY(expected.size() > store::RowCache::kPageRows * (reference.contains(u"where"_s) ? 3 : store::RowCache::kMaxPages));

    Connection conn;
    Query q(conn, listing);
    q.open();
    ui::QueryModel model(q, {{u"单号"_s, u"单号"_s, 80, false}});
    QAbstractItemModelTester tester(&model);
    QCOMPARE(model.rowCount(), expected.size());
    const int n = int(expected.size());
    const int column = q.columnIndex(u"单号"_s);

    // From the last row up to the first, as a grid scrolled back.
    for (int r = n - 1; r >= 0; --r)
        QCOMPARE(q.textAt(r, column), expected[r]);
    // Jumps, as a scroll bar dragged to and fro.
    quint32 seed = 12345;
    for (int k = 0; k < 200; ++k) {
        seed = seed * 1103515245u + 12345u;
        const int r = int((seed >> 8) % quint32(n));
        QCOMPARE(q.textAt(r, column), expected[r]);
    }
    // The cursor walks them once each, in order.
    QCOMPARE(walk(q, u"单号"_s), expected);
    q.last();
    QCOMPARE(q.recNo(), n);
    QCOMPARE(q.fieldText(u"单号"_s), expected.last());
    q.moveTo(n / 2);
    QCOMPARE(q.fieldText(u"单号"_s), expected[n / 2]);
    QCOMPARE(q.recNo(), n / 2 + 1);
}

void TestQuery::walkedToTheEndThenJumps()
{
    // Walking to the end tells the list's length but not where the tickets
    // without a time end; jumps and a cursor kept on its row need that too.
    const int count = 9 * store::RowCache::kPageRows + 5;
    seedVariedTickets(count);
    const QString order = u"select 单号 from xstj order by 时间, rowid"_s;
    const QStringList expected = tableColumn(order);
    Connection conn;
    Query q(conn, store::Listing::all(u"xstj"_s, u"时间"_s));
    q.open();
    while (!q.eof())
        q.next();
    QCOMPARE(q.fieldText(u"单号"_s), expected.last());
    const int column = q.columnIndex(u"单号"_s);
    for (int r : {3 * store::RowCache::kPageRows + 7, 100, count - 1, 5 * store::RowCache::kPageRows})
        QCOMPARE(q.textAt(r, column), expected[r]);

    // Another program deletes a ticket before the cursor's: the cursor stays on its ticket.
    testing::exec(u"delete from xstj where 单号 = ?"_s, {expected[count / 2]});
    QCOMPARE(q.recordCount(), count - 1);
    QCOMPARE(q.fieldText(u"单号"_s), expected.last());
    QCOMPARE(q.recNo(), count - 1);
}

void TestQuery::memoryStaysBounded()
{
    const int count = 12000;
    seedVariedTickets(count);
    Connection conn;
    Query q(conn, store::Listing::all(u"xstj"_s, u"时间"_s));
    q.open();
    ui::QueryModel model(q, {{u"单号"_s, u"单号"_s, 80, false}});
    QAbstractItemModelTester tester(&model);
    int most = 0;
    auto held = [&] { most = std::max(most, q.rowsHeld()); };

    for (q.first(); !q.eof(); q.next())
        held();
    QCOMPARE(q.recNo(), count);
    q.last();
    held();
    q.forEachRow([&](int r) {
        q.valueAt(r, 0);
        held();
    });
    for (int r = model.rowCount() - 1; r >= 0; r -= 7) {
        model.data(model.index(r, 0), Qt::DisplayRole);
        held();
    }
    idiom::columnSums(q, {u"数量"_s, u"金额"_s});
    held();
    QVERIFY2(most <= kHeldLimit, qPrintable(QString::number(most)));
    QVERIFY(most < count / 2);
}

void TestQuery::longDistinctListInEngineOrder()
{
    // More ticket numbers than a short list keeps whole, each archived twice.
    const int count = 3 * store::Plan::kFewDistinct + 11;
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                  "INSERT INTO xsmx (单号) SELECT printf('N%05d', (i * 7919) % ?) FROM n, (SELECT 1 UNION ALL SELECT 2) AS twice"_s,
                  {count, count});
    // The server keeps no order of its own for DISTINCT: the program lists
    // the values there in the order of their first rows, as SQLite does.
    const QStringList expected = tableColumn(testing::onServer()
                                                 ? u"select 单号 from xsmx group by 单号 order by min(rowid)"_s
                                                 : u"Select Distinct 单号 From xsmx"_s);
    QCOMPARE(expected.size(), count);

    Connection conn;
    Query q(conn);
    idiom::list(q, store::Listing::distinct(u"xsmx"_s, u"单号"_s));
    testing::exec(u"insert into xsmx (单号) values ('LATE')"_s);
    QCOMPARE(q.recordCount(), count);
    int most = 0;
    QStringList seen;
    for (q.first(); !q.eof(); q.next()) {
        seen << q.fieldText(u"单号"_s);
        most = std::max(most, q.rowsHeld());
    }
    QCOMPARE(seen, expected);
    QVERIFY2(most <= kHeldLimit, qPrintable(QString::number(most)));
    QVERIFY(errorOf([&] { q.edit(); }) != u"<no error>"_s);
    // Closing drops the copy the list was read from.
    q.close();
    QSqlQuery check(conn.database());
    QVERIFY(check.exec(testing::onServer() ? u"select count(*) from pg_class where relnamespace = pg_my_temp_schema()"_s
                                           : u"select count(*) from temp.sqlite_schema"_s)
            && check.next());
    QCOMPARE(check.value(0).toInt(), 0);
}

void TestQuery::deletedElsewhereLeavesNoGhost_data()
{
    QTest::addColumn<int>("gone"); // 1-based position of the ticket another program deletes
    QTest::addColumn<int>("cursor"); // where the cursor stands meanwhile
    QTest::newRow("a row on screen") << 3 << 1;
    QTest::newRow("a row not read yet") << 900 << 1;
    QTest::newRow("the cursor's row") << 5 << 5;
    QTest::newRow("a row before the cursor") << 2 << 700;
}

void TestQuery::deletedElsewhereLeavesNoGhost()
{
    QFETCH(int, gone);
    QFETCH(int, cursor);
    seedVariedTickets(1000);
    Connection conn;
    Query q(conn, store::Listing::all(u"xstj"_s, u"时间"_s));
    q.open();
    ui::QueryModel model(q, {{u"单号"_s, u"单号"_s, 80, false}, {u"数量"_s, u"数量"_s, 60, true}});
    QAbstractItemModelTester tester(&model);
    QCOMPARE(model.rowCount(), 1000);
    for (int r = 0; r < 30; ++r) // the rows a grid shows
        model.data(model.index(r, 0), Qt::DisplayRole);
    q.moveTo(cursor - 1);
    const QString cursorTicket = q.fieldText(u"单号"_s);
    QCOMPARE(idiom::columnSums(q, {u"数量"_s}).value(0), std::optional<qint64>(expectedSum(u"数量"_s)));

    const QString goneTicket = model.data(model.index(gone - 1, 0), Qt::DisplayRole).toString();
    testing::exec(u"delete from xstj where 单号 = ?"_s, {goneTicket});

    // A grid painting its rows asks the file once per turn of the event loop
    // and lists anew.
    QTRY_COMPARE(([&] {
                     model.data(model.index(0, 0), Qt::DisplayRole);
                     return model.rowCount();
                 }()),
                 999);
    QVERIFY(!modelColumn(model, 0).contains(goneTicket));
    QCOMPARE(q.recordCount(), 999);
    QCOMPARE(walk(q, u"单号"_s), tableColumn(u"select 单号 from xstj order by 时间, rowid"_s));
    // The footer agrees with the rows listed.
    QCOMPARE(idiom::columnSums(q, {u"数量"_s}).value(0), std::optional<qint64>(expectedSum(u"数量"_s)));

    // Without the event loop, a read of the list takes the change too.
    testing::exec(u"delete from xstj where rowid = (select max(rowid) from xstj)"_s);
    QCOMPARE(q.recordCount(), 998);
    QCOMPARE(model.rowCount(), 998);
    QCOMPARE(idiom::columnSums(q, {u"数量"_s}).value(0), std::optional<qint64>(expectedSum(u"数量"_s)));

    // A cursor whose row is still there stays on it.
    if (cursorTicket != goneTicket) {
        q.first();
        q.moveTo(tableColumn(u"select 单号 from xstj order by 时间, rowid"_s).indexOf(cursorTicket));
        QCOMPARE(q.fieldText(u"单号"_s), cursorTicket);
    }
}

void TestQuery::changedElsewhereIsNotSeenStale()
{
    seedXstj(10);
    Connection conn;
    Query q(conn, store::Listing::all(u"xstj"_s));
    q.open();
    QCOMPARE(q.fieldText(u"数量"_s), u"1"_s);
    QCOMPARE(idiom::columnSums(q, {u"数量"_s}).value(0), std::optional<qint64>(550000));
    // Another query of the same connection changes the table: the list and
    // its sums are read again, and new rows stay out as at opening.
    Query other(conn, store::Listing::all(u"xstj"_s));
    other.open();
    idiom::changeRow(other, {{u"数量"_s, u"100"_s}});
    idiom::appendRow(other, {{u"单号"_s, u"NEW"_s}, {u"数量"_s, u"1000"_s}});
    QCOMPARE(idiom::columnSums(q, {u"数量"_s}).value(0), std::optional<qint64>(1540000));
    q.first();
    QCOMPARE(q.fieldText(u"数量"_s), u"100"_s);
    QCOMPARE(q.recordCount(), 10);
}

void TestQuery::failedWriteCancelsStartedRow_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("event");
    QTest::newRow("append") << u"append"_s << u"insert"_s;
    QTest::newRow("change") << u"change"_s << u"update"_s;
    QTest::newRow("delete") << u"delete"_s << u"delete"_s;
}

void TestQuery::failedWriteCancelsStartedRow()
{
    QFETCH(QString, operation);
    QFETCH(QString, event);
    testing::exec(u"insert into xsxx (品名, 数量) values ('苹果', 1), ('梨', 2)"_s);
    // The engine refuses the write, as a full disk or a locked file would.
    testing::makeFailingTrigger(u"xsxx"_s, event, QString(), u"disk I/O error"_s);
    const QList<QStringList> before = testing::rows(u"select \"ID\", 品名, 数量 from xsxx order by \"ID\""_s);

    Connection conn;
    Query q(conn, store::Listing::all(u"xsxx"_s));
    q.open();
    ui::QueryModel model(q, {{u"品名"_s, u"品名"_s, 80, false}});
    QAbstractItemModelTester tester(&model);
    QString message;
    if (operation == u"append"_s)
        message = errorOf([&] { idiom::appendRow(q, {{u"品名"_s, u"桃"_s}, {u"数量"_s, u"3"_s}}); });
    else if (operation == u"change"_s)
        message = errorOf([&] { idiom::changeRow(q, {{u"数量"_s, u"9"_s}}); });
    else
        message = errorOf([&] { q.remove(); });
    QVERIFY2(message.contains(u"disk I/O error"_s), qPrintable(message));
    QCOMPARE(q.state(), Query::State::Browse);
    QCOMPARE(model.rowCount(), 2);

    // The next click on a grid line stores nothing.
    testing::dropFailingTrigger(u"xsxx"_s);
    q.moveTo(1);
    q.first();
    QCOMPARE(testing::rows(u"select \"ID\", 品名, 数量 from xsxx order by \"ID\""_s), before);
    QCOMPARE(walk(q, u"品名"_s), (QStringList{u"苹果"_s, u"梨"_s}));

    // Once the fault is gone the same operation succeeds.
    idiom::appendRow(q, {{u"品名"_s, u"橙"_s}});
    QCOMPARE(tableColumn(u"select 品名 from xsxx order by \"ID\""_s), (QStringList{u"苹果"_s, u"梨"_s, u"橙"_s}));
}

void TestQuery::textLongerThanColumnIsRefused_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<int>("limit");
    QTest::newRow("line product name") << u"xsxx"_s << u"品名"_s << 255;
    QTest::newRow("line ticket number") << u"xsxx"_s << u"单号"_s << 50;
    QTest::newRow("catalogue name") << u"spxx"_s << u"品名"_s << 255;
    QTest::newRow("store name") << u"dynr"_s << u"店名"_s << 255;
}

void TestQuery::textLongerThanColumnIsRefused()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(int, limit);
    const int before = testing::scalar(u"select count(*) from %1"_s.arg(table)).toInt();
    Connection conn;
    Query q(conn, store::Listing::all(table));
    q.open();
    const QString tooLong(limit + 1, u'长');
    const QString message = errorOf([&] { idiom::appendRow(q, {{column, u"短"_s}, {column, tooLong}}); });
    QCOMPARE(message, u"“%1”最多%2个字符，这里有%3个字符"_s.arg(column).arg(limit).arg(limit + 1));
    QCOMPARE(q.state(), Query::State::Browse);
    q.first();
    QCOMPARE(testing::scalar(u"select count(*) from %1"_s.arg(table)).toInt(), before);

    // Exactly the limit is stored whole.
    const QString fits(limit, u'满');
    idiom::appendRow(q, {{column, fits}});
    QCOMPARE(testing::scalar(u"select %1 from %2 order by rowid desc limit 1"_s.arg(column, table)).toString(), fits);
}

void TestQuery::rowGoneElsewhereIsAnError_data()
{
    QTest::addColumn<bool>("change"); // else delete
    QTest::newRow("change") << true;
    QTest::newRow("delete") << false;
}

void TestQuery::rowGoneElsewhereIsAnError()
{
    QFETCH(bool, change);
    testing::exec(u"insert into xsxx (品名, 数量) values ('苹果', 1), ('梨', 2), ('桃', 3)"_s);
    Connection conn;
    Query q(conn, store::Listing::all(u"xsxx"_s));
    q.open();
    ui::QueryModel model(q, {{u"品名"_s, u"品名"_s, 80, false}});
    QAbstractItemModelTester tester(&model);
    q.moveTo(1);
    QCOMPARE(q.fieldText(u"品名"_s), u"梨"_s);
    // Another copy of the program removed the line meanwhile.
    testing::exec(u"delete from xsxx where 品名 = '梨'"_s);
    const QString message = change ? errorOf([&] { idiom::changeRow(q, {{u"数量"_s, u"5"_s}}); })
                                   : errorOf([&] { q.remove(); });
    QVERIFY2(message.contains(u"Row cannot be located"_s), qPrintable(message));
    QVERIFY2(message.contains(change ? u"修改"_s : u"删除"_s), qPrintable(message));
    QCOMPARE(q.state(), Query::State::Browse);
    // Nothing else changed, and the list no longer shows the line.
    QCOMPARE(testing::rows(u"select 品名, 数量 from xsxx order by \"ID\""_s),
             (QList<QStringList>{{u"苹果"_s, u"1"_s}, {u"桃"_s, u"3"_s}}));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(modelColumn(model, 0), (QStringList{u"苹果"_s, u"桃"_s}));
}

void TestQuery::engineFailuresInChinese_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("words");  // the program's, the whole message
    QTest::addColumn<QString>("engine"); // the engine's, never shown
    QTest::newRow("busy") << u"busy"_s << u"数据库正忙，另一个程序正在使用数据库文件，请稍后再试"_s
                          << u"database is locked"_s;
    QTest::newRow("disk full") << u"full"_s << u"磁盘已满，数据库无法写入"_s << u"database or disk is full"_s;
    QTest::newRow("table gone") << u"table"_s << u"数据库缺少本程序需要的表或列：表“xstj”"_s << u"no such table"_s;
}

void TestQuery::engineFailuresInChinese()
{
    VELMORA_FILE_ONLY("SQLite's own failures (the server's are in tst_server)");
    QFETCH(QString, fault);
    QFETCH(QString, words);
    QFETCH(QString, engine);
    testing::exec(u"insert into xstj (单号, 数量) values ('D0001', 1)"_s);
    Connection conn;
    Query q(conn, store::Listing::all(u"xstj"_s));
    q.open();
    q.first();

    // Another program holds the file, the disk fills up, or the table is gone.
    QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"other-program"_s);
    other.setDatabaseName(work_->file(u"data.mdb"_s));
    QVERIFY(other.open());
    QSqlQuery hold(other);
    if (fault == u"busy"_s) {
        QVERIFY(hold.exec(u"BEGIN EXCLUSIVE"_s));
    } else if (fault == u"full"_s) {
        QSqlQuery limit(conn.database());
        QVERIFY(limit.exec(u"PRAGMA page_count"_s) && limit.next());
        const int pages = limit.value(0).toInt();
        QVERIFY(limit.exec(u"PRAGMA max_page_count = %1"_s.arg(pages)));
        limit.finish();
    } else {
        QVERIFY(hold.exec(u"alter table xstj rename to xstj_old"_s));
    }
    // A long ticket number needs a page of its own, which a full disk refuses.
    const QString message =
        errorOf([&] { idiom::appendRow(q, {{u"单号"_s, QString(5000, u'梨')}, {u"数量"_s, u"2"_s}}); });
    // Chinese only: the engine's English goes to the log.
    QCOMPARE(message, words);
    QVERIFY(!message.contains(engine));
    QCOMPARE(q.state(), Query::State::Browse);
    if (fault == u"busy"_s)
        QVERIFY(hold.exec(u"ROLLBACK"_s));
    if (fault == u"table"_s)
        QVERIFY(hold.exec(u"alter table xstj_old rename to xstj"_s));
    hold.finish();
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(u"other-program"_s);
    // Nothing half-written.
    QCOMPARE(tableColumn(u"select 单号 from xstj"_s), QStringList{u"D0001"_s});
}

void TestQuery::columnSums_data()
{
    QTest::addColumn<QVariantList>("values"); // 数量 of the tickets
    QTest::addColumn<std::optional<qint64>>("sum");
    QTest::newRow("none") << QVariantList() << std::optional<qint64>(0);
    QTest::newRow("nulls skipped") << QVariantList{QVariant(), 1.5, QVariant()} << std::optional<qint64>(15000);
    QTest::newRow("per-row rounding, ties to even")
        << QVariantList{0.00005, 0.00015, 0.03125} << std::optional<qint64>(0 + 2 + 312);
    QTest::newRow("text that is no number") << QVariantList{u"abc"_s, 2.0} << std::optional<qint64>(20000);
    QTest::newRow("one value too large") << QVariantList{1.0, 1e15} << std::optional<qint64>();
    QTest::newRow("not a number") << QVariantList{1.0, u"NaN"_s, 2.0} << std::optional<qint64>(30000);
    QTest::newRow("total beyond 64 bits")
        << QVariantList{8.9e14, 8.9e14, 8.9e14, 8.9e14, 8.9e14, 8.9e14, 8.9e14, 8.9e14, 8.9e14, 8.9e14, 8.9e14}
        << std::optional<qint64>();
    QTest::newRow("negative") << QVariantList{-2.5, 1.25} << std::optional<qint64>(-12500);
}

void TestQuery::columnSums()
{
    QFETCH(QVariantList, values);
    QFETCH(std::optional<qint64>, sum);
    for (const QVariant &v : values) {
        if (v.typeId() == QMetaType::QString)
            VELMORA_FILE_ONLY("a number column of the server holds no text");
    }
    for (const QVariant &v : values)
        testing::exec(u"insert into xstj (单号, 数量, 金额) values ('T', ?, 1)"_s, {v});
    Connection conn;
    Query q(conn, store::Listing::all(u"xstj"_s));
    q.open();
    const auto sums = idiom::columnSums(q, {u"数量"_s, u"金额"_s, u"价格"_s});
    QCOMPARE(sums.size(), 3);
    QCOMPARE(sums[0], sum);
    // One column that does not fit leaves the others as they are.
    QCOMPARE(sums[1], std::optional<qint64>(10000 * values.size()));
    QCOMPARE(sums[2], std::optional<qint64>(0));
    // The rule the engine applies is the one the program applies to rows it holds.
    store::Fixed4Sum own;
    for (const QVariant &v : values)
        store::addStored(own, v.typeId() == QMetaType::QString && v.toString() == u"NaN"_s ? QVariant() : v);
    QCOMPARE(own.result(), sum);
}

void TestQuery::sumsFollowTheList()
{
    seedVariedTickets(700);
    Connection conn;
    Query q(conn);
    idiom::containsSearch(q, u"xstj"_s, u"收银员"_s, u"李"_s);
    QCOMPARE(idiom::columnSums(q, {u"数量"_s, u"金额"_s}),
             (QVector<std::optional<qint64>>{expectedSum(u"数量"_s, u"收银员 like '%李%'"_s),
                                             expectedSum(u"金额"_s, u"收银员 like '%李%'"_s)}));
    idiom::containsSearch(q, u"xstj"_s, u"单号"_s, u"无此单"_s);
    QCOMPARE(idiom::columnSums(q, {u"数量"_s}), (QVector<std::optional<qint64>>{0}));

    // Deleting a listed ticket and appending one move the sums with them.
    idiom::list(q, store::Listing::all(u"xstj"_s, u"时间"_s));
    q.moveTo(400);
    const double gone = q.fieldValue(u"数量"_s).toDouble();
    q.remove();
    idiom::appendRow(q, {{u"单号"_s, u"NEW"_s}, {u"数量"_s, u"0.5"_s}});
    QCOMPARE(idiom::columnSums(q, {u"数量"_s}).value(0),
             std::optional<qint64>(qint64(700 * 701 / 2) * 10000 - qRound64(gone * 10000) + 5000));
}

void TestQuery::unfitRowStillOpens()
{
    seedXstj(5);
    // A server's number column holds no text: there the amount is null.
    testing::exec(u"insert into xstj (单号, 数量, 金额, 折后) values ('BAD', 1e300, %1, 9e18)"_s.arg(
        testing::onServer() ? u"null"_s : u"'x'"_s));
    Connection conn;
    Query q(conn);
    ui::QueryModel model(q, {{u"单号"_s, u"单号"_s, 80, false}, {u"数量"_s, u"数量"_s, 60, true}});
    QAbstractItemModelTester tester(&model);
    try {
        idiom::list(q, store::Listing::all(u"xstj"_s, u"时间"_s));
    } catch (const AppError &e) {
        QFAIL(qPrintable(e.message()));
    }
    QCOMPARE(model.rowCount(), 6);
    const auto sums = idiom::columnSums(q, {u"数量"_s, u"金额"_s, u"折后"_s});
    QCOMPARE(sums[0], std::optional<qint64>());
    QCOMPARE(sums[1], std::optional<qint64>(150000 + 12500)); // 'x' is skipped
    QCOMPARE(sums[2], std::optional<qint64>());
    QVERIFY(modelColumn(model, 0).contains(u"BAD"_s));
}

QTEST_MAIN(TestQuery)
#include "tst_query.moc"
