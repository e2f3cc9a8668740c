#include "store/DayEnd.h"

#include "base/AppError.h"
#include "store/Connection.h"
#include "store/Engine.h"
#include "store/NumberText.h"
#include "store/SumList.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace dayend {

namespace {


const QString kColumns[] = {QStringLiteral("数量"), QStringLiteral("金额"), QStringLiteral("折后")};

qint64 added(qint64 sum, const QVariant &value, const QString &number, int column)
{
    const auto fixed = SumList::fixedOf(value);
    if (!fixed)
        throw AppError(QStringLiteral("单号为“%1”的小票的“%2”不是数字（%3），无法日结")
                           .arg(number, kColumns[column], value.toString()));
    const auto total = numtext::addFixed4(sum, *fixed);
    if (!total)
        throw AppError(QStringLiteral("当天的“%1”合计超出范围，无法日结").arg(kColumns[column]));
    return *total;
}

void count(Figures &f, const QString &number, const QString &time, const QVariant (&values)[3])
{
    // Rows come oldest first: the first one seen is the first ticket.
    if (f.tickets == 0) {
        f.firstNumber = number;
        f.firstTime = time;
    }
    f.lastNumber = number;
    f.lastTime = time;
    ++f.tickets;
    f.quantity = added(f.quantity, values[0], number, 0);
    f.amount = added(f.amount, values[1], number, 1);
    f.afterDiscount = added(f.afterDiscount, values[2], number, 2);
}

} // namespace

Day dayEnd(Connection &connection, const QDate &date)
{
    if (!connection.isOpen())
        connection.open();
    Day day;
    day.date = date;
    const QString format = QStringLiteral("yyyy-MM-dd");
    // Times are "yyyy-mm-dd hh:mm:ss": text order is time order, and the
    // range keeps to the index on 时间 (rowid breaks ties, as the index does).
    QSqlQuery q = connection.run(QStringLiteral("SELECT 单号, 时间, 数量, 金额, 折后, 收银员 FROM xstj "
                                     "WHERE 时间 >= ? AND 时间 < ? ORDER BY 时间, rowid"),
                      {date.toString(format), date.addDays(1).toString(format)});
    while (q.next()) {
        const QString number = q.value(0).toString();
        const QString time = q.value(1).toString();
        const QVariant values[3] = {q.value(2), q.value(3), q.value(4)};
        const QString cashier = q.value(5).toString();
        auto it = std::find_if(day.cashiers.begin(), day.cashiers.end(),
                               [&](const Figures &f) { return f.cashier == cashier; });
        if (it == day.cashiers.end()) {
            day.cashiers.append(Figures{});
            day.cashiers.last().cashier = cashier;
            it = day.cashiers.end() - 1;
        }
        count(*it, number, time, values);
        count(day.total, number, time, values);
    }
    q.finish();
    q = connection.run(QStringLiteral("SELECT 店名 FROM dynr ORDER BY \"ID\" LIMIT 1"));
    if (q.next())
        day.shop = q.value(0).toString();
    return day;
}

QStringList cells(const QString &label, const Figures &f)
{
    return {label,
            QString::number(f.tickets),
            sumText(f.quantity),
            sumText(f.amount),
            sumText(f.afterDiscount),
            f.firstNumber,
            f.firstTime,
            f.lastNumber,
            f.lastTime};
}

QString sumText(qint64 fixed)
{
    return numtext::grid2(static_cast<numtext::Extended>(fixed) / 10000);
}

} // namespace dayend
