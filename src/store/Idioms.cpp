#include "store/Idioms.h"

#include "base/AppError.h"
#include "base/Log.h"
#include "store/Connection.h"
#include "store/Engine.h"
#include "store/Query.h"
#include "store/Transaction.h"

#include <QSqlError>
#include <QSqlQuery>

namespace idiom {

void list(Query &query, const store::Listing &listing)
{
    query.close();
    query.setListing(listing);
    query.open();
}

void containsSearch(Query &query, const QString &table, const QString &column, const QString &text)
{
    list(query, store::Listing::where(table, column, store::Match::Contains, text));
}

void exactSearch(Query &query, const QString &table, const QString &column, const QString &text)
{
    list(query, store::Listing::where(table, column, store::Match::Equals, text));
}

bool firstContainingIsEqual(Query &query, const QString &table, const QString &column, const QString &text)
{
    exactSearch(query, table, column, text);
    if (query.isEmpty())
        return false;
    const QString t = store::quotedName(table);
    const QString c = store::quotedName(column);
    QSqlQuery q = query.connection().run(
        QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1 WHERE rowid < (SELECT min(rowid) FROM %1 WHERE %2 = ?) AND %2 %3)")
            .arg(t, c, Connection::likeMark()),
        {text, store::Listing::where(table, column, store::Match::Contains, text).boundValue()});
    const bool read = q.next();
    const bool containedBefore = read && q.value(0).toBool();
    const QSqlError e = q.lastError();
    q.finish();
    if (!read || e.isValid())
        store::throwEngineError(e);
    return !containedBefore;
}

void holdText(Connection &connection, const QString &table, const QString &column, const QString &text)
{
    if (!Connection::onServer())
        return;
    connection.run(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?), hashtext(?))"),
                   {table + QLatin1Char('.') + column, text})
        .finish();
}

static void setAllAndPost(Query &query, const FieldValues &values)
{
    try {
        for (const auto &[name, text] : values)
            query.setFieldText(name, text);
        query.post();
    } catch (...) {
        query.cancel();
        throw;
    }
}

void appendRow(Query &query, const FieldValues &values)
{
    // Appending needs no trip to the last row of a long table: the new row
    // lands after the listed rows either way.
    query.append();
    setAllAndPost(query, values);
}

void changeRow(Query &query, const FieldValues &values)
{
    query.edit();
    setAllAndPost(query, values);
}

void emptyTable(Query &query)
{
    while (!query.eof())
        query.remove();
}

void emptyTableAtOnce(Query &query)
{
    allOrNothing(query.connection(), {&query}, [&query] { emptyTable(query); });
}

void allOrNothing(Connection &connection, std::initializer_list<Query *> queries,
                  const std::function<void()> &steps)
{
    try {
        Transaction transaction(connection);
        steps();
        transaction.commit();
    } catch (...) {
        // After the rollback the queries still list what was appended and
        // miss what was deleted.
        for (Query *q : queries) {
            try {
                q->close();
                q->open();
            } catch (const AppError &) {
                // The first error is the one to show.
                logging::caught(lcStore, "reopening a list after a rollback");
            }
        }
        throw;
    }
}

QVector<std::optional<qint64>> columnSums(Query &query, const QStringList &columns)
{
    try {
        return query.columnSums(columns);
    } catch (...) {
        logging::caught(lcStore, "column sums");
        return QVector<std::optional<qint64>>(columns.size());
    }
}

void reconnectAndReopen(Connection &connection, std::initializer_list<Reopen> queries)
{
    connection.close();
    for (const Reopen &r : queries)
        r.query->close();
    connection.setConnectionString(connstr::runtime());
    connection.setLoginPrompt(false);
    for (const Reopen &r : queries)
        r.query->setListing(r.listing);
    for (const Reopen &r : queries)
        r.query->open();
}

} // namespace idiom
