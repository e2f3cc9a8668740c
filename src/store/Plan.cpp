#include "store/Plan.h"

#include "base/AppError.h"
#include "store/Connection.h"
#include "store/Engine.h"

#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace store {

namespace {

bool numberType(const QString &declared)
{
    const QString type = declared.toUpper();
    return type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("NUM"))
        || type.contains(QLatin1String("FLOA")) || type.contains(QLatin1String("DOUB"))
        || type.contains(QLatin1String("INT"));
}



} // namespace

// An SQL text with its values in the order of its "?" marks.
struct Plan::Sql {
    QString text;
    QVariantList args;
    Sql &add(const QString &more, QVariantList values = {})
    {
        text += more;
        args += values;
        return *this;
    }
};

Plan::Plan(Connection &connection, Listing listing)
    : connection_(connection), listing_(std::move(listing)), connectionGeneration_(connection.generation())
{
    const QList<Connection::Column> *table = connection_.tableColumns(listing_.table);
    if (!table)
        throwMissing(QStringLiteral("no such table: %1").arg(listing_.table));
    auto indexOf = [&](const QString &name) {
        for (int i = 0; i < table->size(); ++i) {
            if (table->at(i).name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        throwMissing(QStringLiteral("no such column: %1").arg(name));
    };
    if (listing_.isDistinct()) {
        const int c = indexOf(listing_.distinctColumn);
        columns_ << table->at(c).name;
        number_ << numberType(table->at(c).type);
        const QString column = quotedName(table->at(c).name);
        const QString from = quotedName(connection_.tableName(listing_.table));
        // A short list is kept whole; a long one (a million ticket numbers) is
        // copied once into a temporary table and read from there by key, in
        // the order the engine gave.
        // The server keeps no order of its own for DISTINCT: there the values
        // come in the order of their first rows, as SQLite reads them.
        const QString distinct = Connection::onServer()
            ? QStringLiteral("SELECT %1 FROM (SELECT %1, min(rowid) AS velmora_first FROM %2 GROUP BY %1) AS d "
                             "ORDER BY velmora_first")
            : QStringLiteral("SELECT DISTINCT %1 FROM %2");
        QSqlQuery q = connection_.run(distinct.arg(column, from) + QStringLiteral(" LIMIT %1").arg(kFewDistinct + 1), {});
        std::vector<Row> rows;
        while (q.next())
            rows.push_back(Row{static_cast<qint64>(rows.size() + 1), {q.value(0)}});
        const QSqlError e = q.lastError();
        q.finish();
        if (e.isValid())
            throwEngineError(e);
        if (static_cast<int>(rows.size()) <= kFewDistinct) {
            whole_ = std::move(rows);
            return;
        }
        static std::atomic<int> counter{0};
        source_ = QStringLiteral("velmora_distinct_%1").arg(++counter);
        if (Connection::onServer()) {
            // A server's table has no rowid of its own: the copy is given one.
            connection_.run(QStringLiteral("CREATE TEMP TABLE %1 AS SELECT row_number() OVER (ORDER BY velmora_first) "
                                           "AS rowid, %2 FROM (SELECT %2, min(rowid) AS velmora_first FROM %3 "
                                           "GROUP BY %2) AS d")
                                .arg(quotedName(source_), column, from))
                .finish();
        } else {
            connection_.run(QStringLiteral("CREATE TEMP TABLE %1 AS SELECT DISTINCT %2 AS %2 FROM %3")
                                .arg(quotedName(source_), column, from))
                .finish();
        }
        source_ = Connection::temporary(quotedName(source_));
        return;
    }
    source_ = quotedName(connection_.tableName(listing_.table));
    for (const Connection::Column &c : *table) {
        columns_ << c.name;
        number_ << numberType(c.type);
        if (numberType(c.type) && !c.primaryKey)
            sumColumns_ << static_cast<int>(columns_.size() - 1);
    }
    if (listing_.hasFilter())
        filterIndex_ = indexOf(listing_.filterColumn);
    if (!listing_.orderColumn.isEmpty())
        orderIndex_ = indexOf(listing_.orderColumn);
    if (listing_.hasRange())
        rangeIndex_ = indexOf(listing_.rangeColumn);
}

Plan::~Plan()
{
    // The copy of a long distinct list goes with the plan (the connection may
    // have been reopened meanwhile, which dropped it already).
    if (listing_.isDistinct() && !whole_ && connection_.isOpen() && connection_.generation() == connectionGeneration_)
        QSqlQuery(connection_.database()).exec(QStringLiteral("DROP TABLE IF EXISTS ") + source_);
}

RowKey Plan::keyOf(const Row &row) const
{
    return RowKey{orderIndex_ >= 0 ? row.values.value(orderIndex_) : QVariant(), row.key};
}

qint64 Plan::largestKey() const
{
    if (whole_)
        return static_cast<qint64>(whole_->size());
    QSqlQuery q = connection_.run(QStringLiteral("SELECT max(rowid) FROM %1").arg(source_), {});
    const qint64 key = q.next() ? q.value(0).toLongLong() : 0;
    q.finish();
    return key;
}

Plan::Sql Plan::base() const
{
    Sql sql;
    // "+" keeps the planner from reading by the key range: the bound lets
    // nearly every row through, and a key range would sort the whole table
    // for an ordered page instead of walking the order column's index.
    sql.add(Connection::noIndex() + QStringLiteral("rowid <= ?"), {bound_});
    if (!excluded_.isEmpty()) {
        QStringList keys;
        for (qint64 k : excluded_)
            keys << QString::number(k);
        sql.add(QStringLiteral(" AND rowid NOT IN (%1)").arg(keys.join(QLatin1Char(','))));
    }
    if (filterIndex_ >= 0) {
        // With a range the rows are found through the range column's index: a
        // month of one cashier's tickets, not every ticket of that cashier.
        const QString c = (rangeIndex_ >= 0 ? Connection::noIndex() : QString()) + quotedName(columns_[filterIndex_]);
        if (listing_.match == Match::Equals)
            sql.add(QStringLiteral(" AND %1 = ?").arg(c), {listing_.value});
        else
            sql.add(QStringLiteral(" AND %1 %2").arg(c, Connection::likeMark()), {listing_.boundValue()});
    }
    if (rangeIndex_ >= 0) {
        const QString c = quotedName(columns_[rangeIndex_]);
        if (listing_.rangeFrom.isValid())
            sql.add(QStringLiteral(" AND %1 >= ?").arg(c), {listing_.rangeFrom});
        if (listing_.rangeTo.isValid())
            sql.add(QStringLiteral(" AND %1 < ?").arg(c), {listing_.rangeTo});
    }
    return sql;
}

QString Plan::inOrder(const char *op, Run run) const
{
    const QString text = QString::fromLatin1(op);
    if (run == Run::All || !listing_.descending)
        return text;
    if (text.startsWith(QLatin1Char('>')))
        return QLatin1Char('<') + text.mid(1);
    if (text.startsWith(QLatin1Char('<')))
        return QLatin1Char('>') + text.mid(1);
    return text;
}

Plan::Run Plan::runOf(const RowKey &key) const
{
    if (orderIndex_ < 0)
        return Run::All;
    return key.order.isNull() ? Run::Nulls : Run::Values;
}

// op compares (order value, key) with the given key: ">=", ">" or "<".
Plan::Sql Plan::select(Run run, const RowKey *from, const char *op, bool descending, qint64 skip, int n) const
{
    QStringList names{QStringLiteral("rowid")};
    for (const QString &c : columns_)
        names << quotedName(c);
    Sql sql;
    sql.add(QStringLiteral("SELECT %1 FROM %2 WHERE ").arg(names.join(QLatin1String(", ")), source_));
    const Sql b = base();
    sql.add(b.text, b.args);
    // Reading backwards in a descending listing reads the engine's ascending way.
    const bool engineDescending = run != Run::All && listing_.descending ? !descending : descending;
    const QString dir = engineDescending ? QStringLiteral(" DESC") : QString();
    const QString opText = inOrder(op, run);
    if (run == Run::All) {
        if (from)
            sql.add(QStringLiteral(" AND rowid %1 ?").arg(opText), {from->key});
        sql.add(QStringLiteral(" ORDER BY rowid") + dir);
    } else {
        const QString c = quotedName(columns_[orderIndex_]);
        if (run == Run::Nulls) {
            sql.add(QStringLiteral(" AND %1 IS NULL").arg(c));
            if (from)
                sql.add(QStringLiteral(" AND rowid %1 ?").arg(opText), {from->key});
            sql.add(QStringLiteral(" ORDER BY rowid") + dir);
        } else {
            sql.add(QStringLiteral(" AND %1 IS NOT NULL").arg(c));
            // A row value seeks the order column's index.
            if (from)
                sql.add(QStringLiteral(" AND (%1, rowid) %2 (?, ?)").arg(c, opText), {from->order, from->key});
            sql.add(QStringLiteral(" ORDER BY %1%2, rowid%2").arg(c, dir));
        }
    }
    sql.add(QStringLiteral(" LIMIT %1").arg(n));
    if (skip > 0)
        sql.add(QStringLiteral(" OFFSET %1").arg(skip));
    return sql;
}

std::vector<Row> Plan::readRows(const Sql &sql) const
{
    QSqlQuery q = connection_.run(sql.text, sql.args);
    std::vector<Row> rows;
    const int width = static_cast<int>(columns_.size());
    while (q.next()) {
        Row row;
        row.key = q.value(0).toLongLong();
        row.values.reserve(width);
        for (int i = 0; i < width; ++i)
            row.values << q.value(i + 1);
        rows.push_back(std::move(row));
    }
    const QSqlError e = q.lastError();
    q.finish();
    // A read cut short (a lock, a damaged page) must not pass for the end.
    if (e.isValid())
        throwEngineError(e);
    return rows;
}

std::vector<Row> Plan::forward(const RowKey *from, bool inclusive, qint64 skip, int n, Run startRun)
{
    if (whole_) {
        std::vector<Row> rows;
        qint64 i = from ? from->key - (inclusive ? 1 : 0) : 0;
        for (i += skip; i < static_cast<qint64>(whole_->size()) && static_cast<int>(rows.size()) < n; ++i)
            rows.push_back((*whole_)[i]);
        return rows;
    }
    Run run = from ? runOf(*from) : (orderIndex_ < 0 ? Run::All : startRun);
    std::vector<Row> rows = readRows(select(run, from, inclusive ? ">=" : ">", false, skip, n));
    // The null run ended: the values follow (a skip that outran the null run
    // cannot be carried over, the caller never asks for one).
    if (run == Run::Nulls && static_cast<int>(rows.size()) < n && (skip == 0 || !rows.empty())) {
        std::vector<Row> more = readRows(select(Run::Values, nullptr, "", false, 0, n - static_cast<int>(rows.size())));
        for (Row &r : more)
            rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<Row> Plan::backward(const RowKey *before, int n)
{
    if (whole_) {
        const qint64 end = before ? before->key - 1 : static_cast<qint64>(whole_->size());
        std::vector<Row> rows;
        for (qint64 i = std::max<qint64>(0, end - n); i < end; ++i)
            rows.push_back((*whole_)[i]);
        return rows;
    }
    const Run run = before ? runOf(*before) : (orderIndex_ < 0 ? Run::All : Run::Values);
    std::vector<Row> rows = readRows(select(run, before, "<", true, 0, n));
    if (run == Run::Values && static_cast<int>(rows.size()) < n) {
        std::vector<Row> more = readRows(select(Run::Nulls, nullptr, "", true, 0, n - static_cast<int>(rows.size())));
        for (Row &r : more)
            rows.push_back(std::move(r));
    }
    std::reverse(rows.begin(), rows.end());
    return rows;
}

Plan::Count Plan::count(int firstKeys)
{
    Count c;
    if (whole_) {
        c.rows = static_cast<qint64>(whole_->size());
        return c;
    }
    Sql sql;
    sql.add(QStringLiteral("SELECT count(*)"));
    // The footer sums come from the same reading of the same rows.
    for (int col : sumColumns_)
        sql.add(QStringLiteral(", ") + Connection::sumOf(quotedName(columns_[col])));
    // A search that finds few rows would otherwise read the table twice:
    // once to count, once more for its first rows.
    // (SQLite's own aggregate: a server reads the first rows apart.)
    const bool keys = firstKeys > 0 && orderIndex_ < 0 && !Connection::onServer();
    if (keys)
        sql.add(QStringLiteral(", velmora_lowest_keys(rowid, %1)").arg(firstKeys));
    const Sql b = base();
    sql.add(QStringLiteral(" FROM %1 WHERE ").arg(source_)).add(b.text, b.args);
    QSqlQuery q = connection_.run(sql.text, sql.args);
    if (!q.next()) {
        const QSqlError e = q.lastError();
        q.finish();
        throwEngineError(e);
    }
    int i = 0;
    c.rows = q.value(i++).toLongLong();
    for (int k = 0; k < sumColumns_.size(); ++k, ++i) {
        const QVariant v = q.value(i);
        c.sums << (v.isNull() ? std::nullopt : std::optional<qint64>(v.toLongLong()));
    }
    if (keys)
        c.firstKeys = lowestKeys(q.value(i));
    q.finish();
    return c;
}

qint64 Plan::nullCount()
{
    if (whole_ || orderIndex_ < 0)
        return 0;
    const Sql b = base();
    Sql sql;
    sql.add(QStringLiteral("SELECT count(*) FROM %1 WHERE ").arg(source_))
        .add(b.text, b.args)
        .add(QStringLiteral(" AND %1 IS NULL").arg(quotedName(columns_[orderIndex_])));
    QSqlQuery q = connection_.run(sql.text, sql.args);
    const qint64 n = q.next() ? q.value(0).toLongLong() : 0;
    const QSqlError e = q.lastError();
    q.finish();
    if (e.isValid())
        throwEngineError(e);
    return n;
}

std::vector<Row> Plan::rowsByKeys(const std::vector<qint64> &keys)
{
    if (keys.empty())
        return {};
    QStringList names{QStringLiteral("rowid")}, list;
    for (const QString &c : columns_)
        names << quotedName(c);
    for (qint64 k : keys)
        list << QString::number(k);
    Sql sql;
    sql.add(QStringLiteral("SELECT %1 FROM %2 WHERE rowid IN (%3) ORDER BY rowid")
                .arg(names.join(QLatin1String(", ")), source_, list.join(QLatin1Char(','))));
    return readRows(sql);
}

QVector<std::optional<qint64>> Plan::sums(const QVector<int> &columns)
{
    QVector<std::optional<qint64>> out;
    if (columns.isEmpty())
        return out;
    if (whole_) {
        for (int col : columns) {
            Fixed4Sum s;
            for (const Row &r : *whole_)
                addStored(s, r.values.value(col));
            out << s.result();
        }
        return out;
    }
    QStringList parts;
    for (int col : columns)
        parts << Connection::sumOf(quotedName(columns_[col]));
    const Sql b = base();
    Sql sql;
    sql.add(QStringLiteral("SELECT %1 FROM %2 WHERE ").arg(parts.join(QLatin1String(", ")), source_)).add(b.text, b.args);
    QSqlQuery q = connection_.run(sql.text, sql.args);
    if (!q.next()) {
        const QSqlError e = q.lastError();
        q.finish();
        throwEngineError(e);
    }
    for (int i = 0; i < columns.size(); ++i) {
        const QVariant v = q.value(i);
        out << (v.isNull() ? std::nullopt : std::optional<qint64>(v.toLongLong()));
    }
    q.finish();
    return out;
}

qint64 Plan::positionOf(const RowKey &key, qint64 nulls)
{
    if (whole_)
        return key.key - 1;
    const Run r = runOf(key);
    Sql sql;
    sql.add(QStringLiteral("SELECT count(*) FROM %1 WHERE ").arg(source_));
    const Sql b = base();
    sql.add(b.text, b.args);
    const QString earlier = inOrder("<", r);
    if (r == Run::All) {
        sql.add(QStringLiteral(" AND rowid < ?"), {key.key});
    } else {
        const QString c = quotedName(columns_[orderIndex_]);
        if (r == Run::Nulls)
            sql.add(QStringLiteral(" AND %1 IS NULL AND rowid %2 ?").arg(c, earlier), {key.key});
        else
            sql.add(QStringLiteral(" AND %1 IS NOT NULL AND (%1, rowid) %2 (?, ?)").arg(c, earlier),
                    {key.order, key.key});
    }
    QSqlQuery q = connection_.run(sql.text, sql.args);
    const qint64 before = q.next() ? q.value(0).toLongLong() : 0;
    q.finish();
    return r == Run::Values ? nulls + before : before;
}

std::optional<Row> Plan::rowInListing(qint64 key)
{
    if (whole_) {
        if (key < 1 || key > static_cast<qint64>(whole_->size()))
            return std::nullopt;
        return (*whole_)[key - 1];
    }
    QStringList names{QStringLiteral("rowid")};
    for (const QString &c : columns_)
        names << quotedName(c);
    const Sql b = base();
    Sql sql;
    sql.add(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ? AND ").arg(names.join(QLatin1String(", ")), source_),
            {key})
        .add(b.text, b.args);
    std::vector<Row> rows = readRows(sql);
    if (rows.empty())
        return std::nullopt;
    return std::move(rows.front());
}

std::optional<Row> Plan::rowByKey(qint64 key)
{
    QStringList names{QStringLiteral("rowid")};
    for (const QString &c : columns_)
        names << quotedName(c);
    Sql sql;
    sql.add(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(names.join(QLatin1String(", ")), source_), {key});
    std::vector<Row> rows = readRows(sql);
    if (rows.empty())
        return std::nullopt;
    return std::move(rows.front());
}

QString Plan::explainReads() const
{
    if (whole_)
        return QStringLiteral("in memory");
    QStringList plans;
    const Run run = orderIndex_ < 0 ? Run::All : Run::Values;
    const RowKey someKey{orderIndex_ < 0 ? QVariant() : QVariant(QStringLiteral("0")), 1};
    for (const Sql &sql : {select(run, nullptr, "", false, 0, 10), select(run, &someKey, ">", false, 0, 10)}) {
        QSqlQuery q = connection_.run(QStringLiteral("EXPLAIN QUERY PLAN ") + sql.text, sql.args);
        while (q.next())
            plans << q.value(3).toString();
        q.finish();
    }
    return plans.join(QLatin1Char('\n'));
}

qint64 Plan::insert(const QStringList &names, const QVariantList &values)
{
    QString text;
    if (names.isEmpty()) {
        text = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(source_);
    } else {
        QStringList cols, marks;
        for (const QString &n : names) {
            cols << quotedName(n);
            marks << QStringLiteral("?");
        }
        text = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                   .arg(source_, cols.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
    }
    // The server's driver reports no new row's key: the row tells it.
    const bool server = Connection::onServer();
    QSqlQuery q = connection_.run(server ? text + QStringLiteral(" RETURNING rowid") : text, values);
    const qint64 key = server ? (q.next() ? q.value(0).toLongLong() : 0) : q.lastInsertId().toLongLong();
    q.finish();
    connection_.noteWrite(listing_.table);
    return key;
}

int Plan::update(qint64 key, const QStringList &names, const QVariantList &values)
{
    QStringList sets;
    for (const QString &n : names)
        sets << quotedName(n) + QStringLiteral(" = ?");
    QVariantList args = values;
    args << key;
    QSqlQuery q = connection_.run(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(source_, sets.join(QLatin1String(", "))),
                      args);
    const int affected = q.numRowsAffected();
    q.finish();
    connection_.noteWrite(listing_.table);
    return affected;
}

int Plan::remove(qint64 key)
{
    QSqlQuery q = connection_.run(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(source_), {key});
    const int affected = q.numRowsAffected();
    q.finish();
    connection_.noteWrite(listing_.table);
    return affected;
}

} // namespace store
