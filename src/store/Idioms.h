#pragma once
// The ways every window talks to its tables, by name. Typed text is always a
// bound value, never part of the SQL text.
#include <QString>
#include <QList>
#include <QPair>
#include <initializer_list>
#include <optional>
#include <QStringList>
#include <QVector>

class Connection;
class Query;

namespace idiom {

// Column names with the texts written into them, in order.
using FieldValues = QList<QPair<QString, QString>>;

// Close, replace the SQL text, open.
void reopen(Query &query, const QString &sql);

// Every row whose column contains the text anywhere ("%" and "_" in the text
// keep their wildcard meaning; an empty text finds every row). No order.
void containsSearch(Query &query, const QString &table, const QString &column, const QString &text);

// Every row whose column equals the text exactly.
void exactSearch(Query &query, const QString &table, const QString &column, const QString &text);

// Edit, move to the last row, append, set the columns from text, post: one
// new row at the end of the result and of the table.
void appendRow(Query &query, const FieldValues &values);
// Edit the current row (a new one on an empty result), set, post.
void changeRow(Query &query, const FieldValues &values);
// While the query is not at its end, delete its current row.
void emptyTable(Query &query);

// Sums of number columns over every row the open query lists, as fixed point
// with four decimals (value x 10000 rounded half to even; nulls skipped). A
// column whose sum does not fit comes back empty; nothing here throws for
// what a row holds.
QVector<std::optional<qint64>> columnSums(Query &query, const QStringList &columns);

struct Reopen {
    Query *query;
    QString sql;
};
// Close the connection and the queries, point the connection at data.mdb in
// the current directory as it is now, reopen the queries in order.
void reconnectAndReopen(Connection &connection, std::initializer_list<Reopen> queries);

} // namespace idiom
