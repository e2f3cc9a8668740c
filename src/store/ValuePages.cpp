#include "store/ValuePages.h"

#include "store/Connection.h"
#include "store/Engine.h"

#include <QSqlError>
#include <QSqlQuery>

namespace store {

ValuePages::ValuePages(Connection &connection, QString table, QString column)
    : connection_(connection), table_(std::move(table)), column_(std::move(column))
{
}

std::vector<QVariant> ValuePages::after(const std::optional<QVariant> &last, int n)
{
    if (!connection_.isOpen())
        connection_.open();
    // Names as the file spells them; anything else is refused before any SQL.
    const QString column = connection_.columnName(table_, column_);

    const QString c = quotedName(column);
    QString where;
    if (last)
        where = last->isNull() ? QStringLiteral(" WHERE %1 IS NOT NULL").arg(c) : QStringLiteral(" WHERE %1 > ?").arg(c);
    QSqlQuery q(connection_.database());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT DISTINCT %1 FROM %2%3 ORDER BY %1%4 LIMIT %5")
                       .arg(c, quotedName(connection_.tableName(table_)), where, Connection::nullsFirst())
                       .arg(qMax(n, 0))))
        throwEngineError(q.lastError());
    if (last && !last->isNull())
        q.addBindValue(*last);
    std::vector<QVariant> values;
    if (q.exec()) {
        while (q.next())
            values.push_back(q.value(0));
    }
    const QSqlError e = q.lastError();
    q.finish();
    // A read cut short (a lock, a damaged page) must not pass for the end.
    if (e.isValid())
        throwEngineError(e);
    return values;
}

} // namespace store
