#pragma once
// The ways every window talks to its tables, by name. Typed text is always a
// bound value, never part of the SQL text.
#include "store/Listing.h"

#include <QString>
#include <QList>
#include <QPair>
#include <initializer_list>
#include <optional>
#include <QStringList>
#include <QVector>
#include <functional>

class Connection;
class Query;

namespace idiom {

// Column names with the texts written into them, in order.
using FieldValues = QList<QPair<QString, QString>>;

// Close, list what is described (see store::Listing), open.
void list(Query &query, const store::Listing &listing);

// Every row whose column contains the text anywhere ("%" and "_" in the text
// keep their wildcard meaning; an empty text finds every row). No order.
void containsSearch(Query &query, const QString &table, const QString &column, const QString &text);

// Every row whose column equals the text exactly.
void exactSearch(Query &query, const QString &table, const QString &column, const QString &text);

// Whether the first row, in the table's order, whose column contains the text
// (as containsSearch finds it) is one whose column equals the text: the row
// the catalogue learns a product into. The query is left listing the rows
// equal to the text, on the first of them. Worked out without reading every
// row that contains the text: the first equal row comes through the column's
// index (schema::columnIndexes()), then only the rows before it are searched
// for one that contains it.
bool firstContainingIsEqual(Query &query, const QString &table, const QString &column, const QString &text);
// Inside a transaction: another till doing the same with the same text waits
// until this transaction ends (two tills learning one new product at once
// would store it twice). On data.mdb the transaction alone does it.
void holdText(Connection &connection, const QString &table, const QString &column, const QString &text);

// Edit, move to the last row, append, set the columns from text, post: one
// new row at the end of the result and of the table. A failure at any step
// leaves no started row behind.
void appendRow(Query &query, const FieldValues &values);
// Edit the current row (a new one on an empty result), set, post; a failure
// leaves no started row behind.
void changeRow(Query &query, const FieldValues &values);
// While the query is not at its end, delete its current row.
void emptyTable(Query &query);
// emptyTable in one transaction of the query's connection: a program ended
// halfway (killed, a power cut) leaves every row or none. When it fails, the
// query is read again so that it shows what is stored, and the error goes on.
void emptyTableAtOnce(Query &query);

// Runs the steps in one transaction of the connection: all of them stay or
// none. When a step or the commit fails, the queries are read again so that
// they show what is stored, and the error goes on.
void allOrNothing(Connection &connection, std::initializer_list<Query *> queries,
                  const std::function<void()> &steps);

// Sums of number columns over every row the open query lists, computed by the
// database over the same state of the file as the rows and their count, as
// fixed point with four decimals (value x 10000 rounded half to even; nulls
// skipped). A column whose sum does not fit comes back empty. Never throws
// (footers are filled from signals): when the file cannot be read, every sum
// comes back empty.
QVector<std::optional<qint64>> columnSums(Query &query, const QStringList &columns);

struct Reopen {
    Query *query;
    store::Listing listing;
};
// Close the connection and the queries, point the connection at data.mdb in
// the current directory as it is now, reopen the queries in order.
void reconnectAndReopen(Connection &connection, std::initializer_list<Reopen> queries);

} // namespace idiom
