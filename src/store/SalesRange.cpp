#include "store/SalesRange.h"

#include "base/AppError.h"
#include "store/Connection.h"
#include "store/Engine.h"
#include "store/NumberText.h"
#include "store/Schema.h"

#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QSet>

namespace salesrange {

namespace {

const QString kDay = QStringLiteral("yyyy-MM-dd");
const QString kColumns[] = {QStringLiteral("数量"), QStringLiteral("金额"), QStringLiteral("折后")};

[[noreturn]] void tooLarge(int column)
{
    throw AppError(QStringLiteral("“%1”的合计超出范围，无法汇总。").arg(kColumns[column]));
}

// The range's bounds as 时间 compares with them: "2024-03-01" sorts before
// every time of that day, and the day after the last one before none of it.
QString lowerBound(const Filter &f)
{
    return f.from.toString(kDay);
}

QString upperBound(const Filter &f)
{
    return f.to.addDays(1).toString(kDay);
}

void add(Figures &into, int tickets, const qint64 (&sums)[3])
{
    qint64 *targets[] = {&into.quantity, &into.amount, &into.afterDiscount};
    for (int i = 0; i < 3; ++i) {
        const auto total = numtext::addFixed4(*targets[i], sums[i]);
        if (!total)
            tooLarge(i);
        *targets[i] = *total;
    }
    into.tickets += tickets;
}

} // namespace

QString refusal(const Filter &filter)
{
    if (!filter.from.isValid() || !filter.to.isValid())
        return QStringLiteral("请输入有效的日期！");
    if (filter.from > filter.to)
        return QStringLiteral("开始日期不能晚于结束日期！");
    return {};
}

QString summaryRefusal(const Filter &filter)
{
    if (const QString r = refusal(filter); !r.isEmpty())
        return r;
    if (filter.from.daysTo(filter.to) + 1 > kMaxSummaryDays)
        return QStringLiteral("汇总最多%1天，请缩小日期范围！").arg(kMaxSummaryDays);
    return {};
}

store::Listing listing(const Filter &filter, bool newestFirst)
{
    using namespace schema;
    const store::Listing rows = filter.cashier.isEmpty()
        ? store::Listing::all(xstj)
        : store::Listing::where(xstj, col::shouyinyuan, store::Match::Equals, filter.cashier);
    return rows.within(col::shijian, lowerBound(filter), upperBound(filter)).orderedBy(col::shijian, newestFirst);
}

QStringList cashiers(Connection &connection)
{
    if (!connection.isOpen())
        connection.open();
    QStringList names;
    QSet<QString> seen;
    auto take = [&](const QString &name) {
        if (!name.isEmpty() && !seen.contains(name)) {
            seen.insert(name);
            names << name;
        }
    };
    QSqlQuery users = connection.run(QStringLiteral("SELECT 用户名 FROM username ORDER BY rowid"));
    while (users.next())
        take(users.value(0).toString());
    users.finish();
    QStringList archived;
    // One index lookup per name: a million tickets of six cashiers cost six
    // lookups. The first looks past '' (a null value binds as NULL).
    QString after;
    for (;;) {
        QSqlQuery next = connection.run(QStringLiteral("SELECT min(收银员) FROM xstj WHERE 收银员 > coalesce(?, '')"),
                                        {after});
        const QVariant name = next.next() ? next.value(0) : QVariant();
        next.finish();
        if (name.isNull())
            break;
        after = name.toString();
        archived << after;
    }
    for (const QString &name : archived)
        take(name);
    return names;
}

Summary summarize(Connection &connection, const Filter &filter)
{
    if (const QString r = summaryRefusal(filter); !r.isEmpty())
        throw AppError(r);
    if (!connection.isOpen())
        connection.open();
    Summary s;
    s.filter = filter;
    s.total.label = QStringLiteral("合计");
    // Every day of the range has its row, a day without a sale too; a time
    // not written as the program writes it keeps its own first ten characters.
    QMap<QString, Figures> days;
    for (QDate d = filter.from; d <= filter.to; d = d.addDays(1))
        days[d.toString(kDay)].label = d.toString(kDay);
    QMap<QString, Figures> cashiers;

    QString sql = QStringLiteral("SELECT substr(时间, 1, 10), 收银员, count(*), %1, %2, %3 "
                                 "FROM xstj WHERE 时间 >= ? AND 时间 < ?")
                      .arg(Connection::sumOf(QStringLiteral("数量")), Connection::sumOf(QStringLiteral("金额")),
                           Connection::sumOf(QStringLiteral("折后")));
    QVariantList values{lowerBound(filter), upperBound(filter)};
    if (!filter.cashier.isEmpty()) {
        // "+": the range's index finds the rows, not the cashier's.
        sql += QStringLiteral(" AND %1收银员 = ?").arg(Connection::noIndex());
        values << filter.cashier;
    }
    sql += QStringLiteral(" GROUP BY 1, 2");
    QSqlQuery q = connection.run(sql, values);
    while (q.next()) {
        const QString day = q.value(0).toString();
        const QString cashier = q.value(1).toString();
        const int tickets = q.value(2).toInt();
        qint64 sums[3];
        for (int i = 0; i < 3; ++i) {
            const QVariant v = q.value(3 + i);
            // A group's sum is null when it does not fit.
            if (v.isNull()) {
                q.finish();
                tooLarge(i);
            }
            sums[i] = v.toLongLong();
        }
        Figures &d = days[day];
        d.label = day;
        add(d, tickets, sums);
        Figures &c = cashiers[cashier];
        c.label = cashier;
        add(c, tickets, sums);
        add(s.total, tickets, sums);
    }
    const QSqlError e = q.lastError();
    q.finish();
    // A read cut short (a lock, a damaged page) must not pass for the whole range.
    if (e.isValid())
        store::throwEngineError(e);
    s.days = days.values();
    s.cashiers = cashiers.values();
    return s;
}

QStringList cells(const Figures &f)
{
    return {f.label, QString::number(f.tickets), sumText(f.quantity), sumText(f.amount), sumText(f.afterDiscount)};
}

QString sumText(qint64 fixed)
{
    return numtext::grid2(static_cast<numtext::Extended>(fixed) / 10000);
}

} // namespace salesrange
