#include "store/Listing.h"

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

QString Listing::boundValue() const
{
    return match == Match::Contains ? QStringLiteral("%") + value + QStringLiteral("%") : value;
}

QString Listing::sqlText() const
{
    if (isDistinct())
        return QStringLiteral("select distinct %1 from %2").arg(distinctColumn, table);
    QString text = QStringLiteral("select * from %1").arg(table);
    if (hasFilter())
        text += QStringLiteral(" where %1 %2 ?").arg(filterColumn, match == Match::Equals ? QStringLiteral("=")
                                                                                          : QStringLiteral("like"));
    if (!orderColumn.isEmpty())
        text += QStringLiteral(" order by %1 asc").arg(orderColumn);
    return text;
}

} // namespace store
