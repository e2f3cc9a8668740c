#include "store/Listing.h"

#include <QStringList>

namespace store {

Listing Listing::all(const QString &table, const QString &orderColumn)
{
    Listing l;
    l.table = table;
    l.orderColumn = orderColumn;
    return l;
}

Listing Listing::where(const QString &table, const QString &column, Match match, const QString &value,
                       const QString &orderColumn)
{
    Listing l = all(table, orderColumn);
    l.filterColumn = column;
    l.match = match;
    l.value = value;
    return l;
}

Listing Listing::distinct(const QString &table, const QString &column)
{
    Listing l;
    l.table = table;
    l.distinctColumn = column;
    return l;
}

Listing Listing::within(const QString &column, const QVariant &from, const QVariant &to) const
{
    Listing l = *this;
    l.rangeColumn = column;
    l.rangeFrom = from;
    l.rangeTo = to;
    return l;
}

Listing Listing::orderedBy(const QString &column, bool descending) const
{
    Listing l = *this;
    l.orderColumn = column;
    l.descending = descending;
    return l;
}

QString Listing::boundValue() const
{
    return match == Match::Contains ? QStringLiteral("%") + value + QStringLiteral("%") : value;
}

QString Listing::sqlText() const
{
    if (isDistinct())
        return QStringLiteral("select distinct %1 from %2").arg(distinctColumn, table);
    QString text = QStringLiteral("select * from %1").arg(table);
    QStringList conditions;
    if (hasFilter())
        conditions << QStringLiteral("%1 %2 ?").arg(filterColumn, match == Match::Equals ? QStringLiteral("=")
                                                                                          : QStringLiteral("like"));
    if (hasRange() && rangeFrom.isValid())
        conditions << QStringLiteral("%1 >= ?").arg(rangeColumn);
    if (hasRange() && rangeTo.isValid())
        conditions << QStringLiteral("%1 < ?").arg(rangeColumn);
    if (!conditions.isEmpty())
        text += QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));
    if (!orderColumn.isEmpty())
        text += QStringLiteral(" order by %1 %2").arg(orderColumn, descending ? QStringLiteral("desc")
                                                                              : QStringLiteral("asc"));
    return text;
}

} // namespace store
