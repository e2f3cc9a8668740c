#include "store/Idioms.h"

#include "store/AppError.h"
#include "store/Connection.h"
#include "store/Query.h"
#include "store/Transaction.h"

namespace idiom {

void reopen(Query &query, const QString &sql)
{
    query.close();
    query.clearSql();
    query.addSql(sql);
    query.open();
}

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
        r.query->clearSql();
    for (const Reopen &r : queries)
        r.query->addSql(r.sql);
    for (const Reopen &r : queries)
        r.query->open();
}

} // namespace idiom
