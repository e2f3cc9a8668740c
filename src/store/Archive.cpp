#include "store/Archive.h"

#include "base/Log.h"
#include "base/AppError.h"
#include "store/Clock.h"
#include "store/Connection.h"
#include "store/Engine.h"
#include "store/Idioms.h"
#include "store/NumberText.h"
#include "store/Query.h"
#include "store/Schema.h"
#include "store/SumList.h"
#include "store/Transaction.h"

#include <QSqlError>
#include <QSqlQuery>

namespace archive {

namespace {

using namespace schema::col;


bool numberUsed(Connection &connection, const QString &number)
{
    // Both tables: a line left by an earlier version under a number would
    // otherwise join the new ticket's detail.
    QSqlQuery q = connection.run(QStringLiteral("SELECT EXISTS(SELECT 1 FROM xstj WHERE 单号 = ?) "
                                     "OR EXISTS(SELECT 1 FROM xsmx WHERE 单号 = ?)"),
                      {number, number});
    return q.next() && q.value(0).toInt() != 0;
}

// On the shop's server every number is reserved in a table of its own, so
// that two tills checking out in the same second take two numbers (the
// second waits for the first's transaction, then moves on).
QString takeNumberOnServer(Connection &connection, const Numbering &numbering)
{
    const bool typed = !numbering.typed.isEmpty();
    QSqlQuery q = connection.run(QStringLiteral("SELECT velmora_take_number(?, ?)"),
                                 {typed ? numbering.typed : appclock::ticketNumber(numbering.now), !typed});
    const QVariant number = q.next() ? q.value(0) : QVariant();
    q.finish();
    if (!number.isNull())
        return number.toString();
    if (typed)
        throw AppError(numberTaken(numbering.typed));
    throw AppError(QStringLiteral("找不到可用的单号"));
}

QString freeNumber(Connection &connection, const Numbering &numbering)
{
    if (Connection::onServer())
        return takeNumberOnServer(connection, numbering);
    if (!numbering.typed.isEmpty()) {
        if (numberUsed(connection, numbering.typed))
            throw AppError(numberTaken(numbering.typed));
        return numbering.typed;
    }
    // Two checkouts in one second, or a clock set back, take the next free
    // second: a number stays the time of its sale as nearly as it can.
    QDateTime t = numbering.now;
    for (int tries = 0; tries < 100000; ++tries, t = t.addSecs(1)) {
        const QString number = appclock::ticketNumber(t);
        if (!numberUsed(connection, number))
            return number;
    }
    throw AppError(QStringLiteral("找不到可用的单号"));
}

// The totals of the lines as the main window shows them: each column summed
// as fixed point and rounded for display. A line that cannot be summed
// stops the sale before anything is written.
void sumLines(Connection &connection, Sale &sale)
{
    QSqlQuery q = connection.run(QStringLiteral("SELECT 数量, 金额, 折后 FROM xsxx"));
    std::optional<qint64> sums[3] = {0, 0, 0};
    int lines = 0;
    while (q.next()) {
        ++lines;
        for (int i = 0; i < 3; ++i)
            sums[i] = SumList::add(sums[i], SumList::fixedOf(q.value(i)));
    }
    if (q.lastError().isValid())
        store::throwEngineError(q.lastError());
    for (const auto &s : sums) {
        if (!s)
            throw AppError(QStringLiteral("合计无法计算：有一行的数量、金额或折后不是可以合计的数(须为绝对值小于%1的数)，"
                                          "请选中该行修改或删除，小票没有打印")
                               .arg(numtext::general(numtext::kSumLimit)));
    }
    sale.quantity = numtext::displayRound(*sums[0]);
    sale.amount = numtext::displayRound(*sums[1]);
    sale.afterDiscount = numtext::displayRound(*sums[2]);
    sale.lines = lines;
}

void archiveRows(Query &lines, Query &tickets, Query &archivedLines, const Sale &t)
{
    idiom::appendRow(tickets, {{danhao, t.number},
                               {shijian, t.time},
                               {shuliang, t.quantity},
                               {jine, t.amount},
                               {zhehou, t.afterDiscount},
                               {shouyinyuan, t.cashier}});
    // The line's own 单号 and 时间 are not copied: the checkout's are.
    lines.first();
    while (!lines.eof()) {
        idiom::appendRow(archivedLines, {{danhao, t.number},
                                         {shijian, t.time},
                                         {kehu, t.customer},
                                         {dianhua, t.phone},
                                         {pinming, lines.fieldText(pinming)},
                                         {danjia, lines.fieldText(danjia)},
                                         {shuliang, lines.fieldText(shuliang)},
                                         {jine, lines.fieldText(jine)},
                                         {zhehou, lines.fieldText(zhehou)}});
        lines.next();
    }
    lines.first();
    idiom::emptyTable(lines);
}

void requireOneConnection(Connection &connection, std::initializer_list<Query *> queries)
{
    for (Query *q : queries) {
        if (&q->connection() != &connection)
            throw AppError(QStringLiteral("归档的查询不在同一个数据库连接上"));
    }
    for (Query *q : queries) {
        if (!q->isActive())
            q->open();
    }
}

QString numberText(const QVariant &v)
{
    return v.isNull() ? QString() : numtext::general(v.toDouble());
}

Sale saleFrom(QSqlQuery &q)
{
    Sale s;
    s.number = q.value(0).toString();
    s.time = q.value(1).toString();
    s.cashier = q.value(2).toString();
    s.quantity = numberText(q.value(3));
    s.amount = numberText(q.value(4));
    s.afterDiscount = numberText(q.value(5));
    return s;
}

} // namespace

QString numberTaken(const QString &number)
{
    return QStringLiteral("单号“%1”已经有一张小票在用，请换一个单号，或清空单号让程序按时间编号").arg(number);
}

void ensureOwnTables(Connection &connection)
{
    if (!connection.isOpen())
        connection.open();
    if (connection.tableColumns(kMarks))
        return;
    connection.run(QStringLiteral("CREATE TABLE IF NOT EXISTS dyzt (单号 TEXT PRIMARY KEY, 实收 TEXT, 找零 TEXT, "
                                   "开始 TEXT)"));
    // The columns known to the connection follow the file's schema.
    connection.close();
    connection.open();
}

Sale archiveForPrinting(Connection &connection, Query &lines, Query &tickets, Query &archivedLines,
                        const Head &head, const Numbering &numbering)
{
    requireOneConnection(connection, {&lines, &tickets, &archivedLines});
    Sale sale;
    sale.time = head.time;
    sale.cashier = head.cashier;
    sale.customer = head.customer;
    sale.phone = head.phone;
    sale.received = head.received;
    sale.change = head.change;
    idiom::allOrNothing(connection, {&lines, &tickets, &archivedLines}, [&] {
        // Inside the transaction, which holds the file for writing: what is
        // summed and numbered here is what is archived.
        sumLines(connection, sale);
        sale.number = freeNumber(connection, numbering);
        archiveRows(lines, tickets, archivedLines, sale);
        connection.run(QStringLiteral("INSERT INTO dyzt (单号, 实收, 找零, 开始) VALUES (?, ?, ?, ?)"),
            {sale.number, sale.received, sale.change, appclock::ticketTime(appclock::now())});
    });
    return sale;
}

void markPrinted(Connection &connection, const QString &number)
{
    Transaction transaction(connection);
    connection.run(QStringLiteral("DELETE FROM dyzt WHERE 单号 = ?"), {number});
    transaction.commit();
}

void undoArchive(Connection &connection, Query &lines, Query &tickets, Query &archivedLines, const QString &number)
{
    requireOneConnection(connection, {&lines, &tickets, &archivedLines});
    idiom::allOrNothing(connection, {&lines, &tickets, &archivedLines}, [&] {
        connection.run(QStringLiteral("INSERT INTO xsxx (单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后) "
                           "SELECT 单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后 FROM xsmx "
                           "WHERE 单号 = ? ORDER BY rowid"),
            {number});
        connection.run(QStringLiteral("DELETE FROM xsmx WHERE 单号 = ?"), {number});
        connection.run(QStringLiteral("DELETE FROM xstj WHERE 单号 = ?"), {number});
        connection.run(QStringLiteral("DELETE FROM dyzt WHERE 单号 = ?"), {number});
        // The number is free again, as it is on data.mdb.
        if (Connection::onServer())
            connection.run(QStringLiteral("DELETE FROM dhzy WHERE 单号 = ?"), {number});
        for (const QString &table : {schema::xsxx, schema::xsmx, schema::xstj})
            connection.noteWrite(table);
    });
    for (Query *q : {&lines, &tickets, &archivedLines}) {
        q->close();
        q->open();
    }
}

bool clearLinesOfNoTicket(Connection &connection)
{
    if (!connection.isOpen())
        connection.open();
    Transaction transaction(connection);
    // SQLite's transaction holds the file for writing from its start; on the
    // server another till's new ticket waits for this lock.
    if (Connection::onServer())
        connection.run(QStringLiteral("LOCK TABLE xstj IN SHARE MODE")).finish();
    QSqlQuery q = connection.run(QStringLiteral("SELECT EXISTS(SELECT 1 FROM xstj)"));
    const bool tickets = q.next() && q.value(0).toBool();
    q.finish();
    if (tickets)
        return false;
    connection.run(QStringLiteral("DELETE FROM xsmx")).finish();
    connection.noteWrite(schema::xsmx);
    transaction.commit();
    return true;
}

QList<Sale> markedSales(Connection &connection)
{
    if (!connection.isOpen())
        connection.open();
    QStringList numbers;
    QSqlQuery q = connection.run(QStringLiteral("SELECT 单号 FROM dyzt ORDER BY 开始, rowid"));
    while (q.next())
        numbers << q.value(0).toString();
    q.finish();
    QList<Sale> sales;
    for (const QString &n : numbers) {
        QSqlQuery found = connection.run(QStringLiteral("SELECT EXISTS(SELECT 1 FROM xstj WHERE 单号 = ?)"), {n});
        if (found.next() && found.value(0).toInt() != 0) {
            found.finish();
            sales << archivedSale(connection, n);
            continue;
        }
        found.finish();
        // The ticket was deleted since: nothing is left to print or undo.
        qCWarning(lcStore, "the printing mark of ticket %s has no ticket any more; it goes", qPrintable(n));
        markPrinted(connection, n);
    }
    return sales;
}

Sale archivedSale(Connection &connection, const QString &number)
{
    if (!connection.isOpen())
        connection.open();
    QSqlQuery q = connection.run(QStringLiteral("SELECT 单号, 时间, 收银员, 数量, 金额, 折后 FROM xstj WHERE 单号 = ? "
                                     "ORDER BY rowid DESC LIMIT 1"),
                      {number});
    if (!q.next())
        throw AppError(QStringLiteral("找不到单号为“%1”的小票").arg(number));
    Sale sale = saleFrom(q);
    q.finish();
    q = connection.run(QStringLiteral("SELECT min(客户), min(电话), count(*) FROM xsmx WHERE 单号 = ?"), {number});
    if (q.next()) {
        sale.customer = q.value(0).toString();
        sale.phone = q.value(1).toString();
        sale.lines = q.value(2).toInt();
    }
    q.finish();
    if (connection.tableColumns(kMarks)) {
        q = connection.run(QStringLiteral("SELECT 实收, 找零 FROM dyzt WHERE 单号 = ?"), {number});
        if (q.next()) {
            sale.received = q.value(0).toString();
            sale.change = q.value(1).toString();
        }
    }
    return sale;
}

} // namespace archive
