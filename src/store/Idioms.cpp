#include "store/Idioms.h"

#include "store/Connection.h"
#include "store/NumberText.h"
#include "store/Query.h"

#include <cmath>

namespace idiom {

void reopen(Query &query, const QString &sql)
{
    query.close();
    query.clearSql();
    query.addSql(sql);
    query.open();
}

void containsSearch(Query &query, const QString &table, const QString &column, const QString &text)
{
    query.close();
    query.clearSql();
    query.addSql(QStringLiteral("select * from %1 where %2 like ?").arg(table, column));
    query.bindValue(QStringLiteral("%") + text + QStringLiteral("%"));
    query.open();
}

void exactSearch(Query &query, const QString &table, const QString &column, const QString &text)
{
    query.close();
    query.clearSql();
    query.addSql(QStringLiteral("select * from %1 where %2 = ?").arg(table, column));
    query.bindValue(text);
    query.open();
}

static void setAll(Query &query, const FieldValues &values)
{
    for (const auto &[name, text] : values)
        query.setFieldText(name, text);
}

void appendRow(Query &query, const FieldValues &values)
{
    // Appending needs no trip to the last row of a long table: the new row
    // lands after the snapshot either way.
    query.append();
    setAll(query, values);
    query.post();
}

void changeRow(Query &query, const FieldValues &values)
{
    query.edit();
    setAll(query, values);
    query.post();
}

void emptyTable(Query &query)
{
    while (!query.eof())
        query.remove();
}

QVector<std::optional<qint64>> columnSums(Query &query, const QStringList &columns)
{
    QVector<std::optional<qint64>> sums(columns.size(), qint64(0));
    if (!query.isActive())
        return sums;
    QVector<int> index;
    for (const QString &c : columns)
        index << query.columnIndex(c);
    query.forEachRow([&](int row) {
        for (int i = 0; i < index.size(); ++i) {
            if (index[i] < 0 || !sums[i])
                continue;
            const QVariant v = query.valueAt(row, index[i]);
            bool ok = false;
            const double d = v.isNull() ? 0.0 : v.toDouble(&ok);
            if (!ok)
                continue;
            qint64 total = 0;
            if (!std::isfinite(d) || std::fabs(d) >= 9e14
                || __builtin_add_overflow(*sums[i], numtext::toFixed4(d), &total))
                sums[i].reset();
            else
                sums[i] = total;
        }
    });
    return sums;
}

void reconnectAndReopen(Connection &connection, std::initializer_list<Reopen> queries)
{
    connection.close();
    for (const Reopen &r : queries)
        r.query->close();
    connection.setConnectionString(connstr::runtime());
    connection.setLoginPrompt(false);
    for (const Reopen &r : queries)
        r.query->clearSql();
    for (const Reopen &r : queries)
        r.query->addSql(r.sql);
    for (const Reopen &r : queries)
        r.query->open();
}

} // namespace idiom
