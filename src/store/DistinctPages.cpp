#include "store/DistinctPages.h"

#include "store/Connection.h"
#include "store/Engine.h"

#include <QSqlError>
#include <QSqlQuery>

namespace store {

namespace {

// Values the engine counts as one are one key: a number by its value
// (1 and 1.0 alike), a text by its characters, a null alone.
QString keyOf(const QVariant &value)
{
    if (value.isNull())
        return QStringLiteral("null");
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QLatin1Char('n') + QString::number(value.toDouble(), 'g', 17);
    case QMetaType::QByteArray:
        return QLatin1Char('b') + QString::fromLatin1(value.toByteArray().toHex());
    default:
        return QLatin1Char('t') + value.toString();
    }
}

} // namespace

DistinctPages::DistinctPages(Connection &connection, QString table, QString column)
    : connection_(connection), table_(std::move(table)), column_(std::move(column))
{
}

std::vector<QVariant> DistinctPages::next(int n)
{
    if (ended_ || n <= 0)
        return {};
    if (!connection_.isOpen())
        connection_.open();
    // Names as the file spells them; anything else is refused before any SQL.
    const QString column = connection_.columnName(table_, column_);
    return indexed(column) ? byIndex(column, n) : byRows(column, n);
}

// Whether an index (not a partial one) leads with the column: the engine
// then lists the distinct values through it, in ascending order.
bool DistinctPages::indexed(const QString &column)
{
    if (indexed_)
        return *indexed_;
    if (Connection::onServer()) {
        QSqlQuery q = connection_.run(
            QStringLiteral("SELECT EXISTS (SELECT 1 FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid "
                           "AND a.attnum = i.indkey[0] WHERE i.indrelid = to_regclass(?) AND i.indpred IS NULL "
                           "AND lower(a.attname) = lower(?))"),
            {quotedName(connection_.tableName(table_)), column});
        indexed_ = q.next() && q.value(0).toBool();
        q.finish();
        return *indexed_;
    }
    QSqlQuery q(connection_.database());
    q.setForwardOnly(true);
    QStringList candidates;
    if (!q.exec(QStringLiteral("PRAGMA index_list(%1)").arg(quotedName(connection_.tableName(table_)))))
        throwEngineError(q.lastError());
    while (q.next()) {
        if (q.value(QStringLiteral("partial")).toInt() == 0)
            candidates << q.value(QStringLiteral("name")).toString();
    }
    q.finish();
    bool found = false;
    for (const QString &index : candidates) {
        if (!q.exec(QStringLiteral("PRAGMA index_info(%1)").arg(quotedName(index))))
            throwEngineError(q.lastError());
        while (q.next()) {
            if (q.value(QStringLiteral("seqno")).toInt() == 0
                && q.value(QStringLiteral("name")).toString().compare(column, Qt::CaseInsensitive) == 0)
                found = true;
        }
        q.finish();
    }
    indexed_ = found;
    return found;
}

std::vector<QVariant> DistinctPages::byIndex(const QString &column, int n)
{
    const QString c = quotedName(column);
    QString where;
    if (lastValue_)
        where = lastValue_->isNull() ? QStringLiteral(" WHERE %1 IS NOT NULL").arg(c)
                                     : QStringLiteral(" WHERE %1 > ?").arg(c);
    QSqlQuery q(connection_.database());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT DISTINCT %1 FROM %2%3 ORDER BY %1%4 LIMIT %5")
                       .arg(c, quotedName(connection_.tableName(table_)), where, Connection::nullsFirst())
                       .arg(n)))
        throwEngineError(q.lastError());
    if (lastValue_ && !lastValue_->isNull())
        q.addBindValue(*lastValue_);
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
    ended_ = static_cast<int>(values.size()) < n;
    if (!values.empty())
        lastValue_ = values.back();
    return values;
}

std::vector<QVariant> DistinctPages::byRows(const QString &column, int n)
{
    QSqlQuery q(connection_.database());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid > ? ORDER BY rowid LIMIT %3")
                       .arg(quotedName(column), quotedName(connection_.tableName(table_)))
                       .arg(kRowsPerRead)))
        throwEngineError(q.lastError());
    std::vector<QVariant> values;
    while (static_cast<int>(values.size()) < n && !ended_) {
        q.addBindValue(lastKey_);
        int rows = 0;
        qint64 last = lastKey_;
        std::vector<QVariant> found;
        QSet<QString> keys;
        if (q.exec()) {
            while (q.next()) {
                ++rows;
                last = q.value(0).toLongLong();
                const QVariant value = q.value(1);
                const QString key = keyOf(value);
                if (!seen_.contains(key) && !keys.contains(key)) {
                    keys.insert(key);
                    found.push_back(value);
                }
            }
        }
        const QSqlError e = q.lastError();
        q.finish();
        // A read cut short must not pass for the end, nor leave half a page
        // counted as read.
        if (e.isValid())
            throwEngineError(e);
        // A page that gives more than n values is given whole: the next call
        // goes on after its last row.
        lastKey_ = last;
        ended_ = rows < kRowsPerRead;
        seen_.unite(keys);
        values.insert(values.end(), found.begin(), found.end());
    }
    return values;
}

} // namespace store
