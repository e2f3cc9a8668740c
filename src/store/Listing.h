#pragma once
// What a query lists, told explicitly: a table's rows, optionally those whose
// column contains or equals a typed value, optionally in the order of one
// column; or the distinct values of one column (a pick list). The typed value
// is always bound, never part of the SQL text.
#include <QString>

namespace store {

enum class Match {
    Contains, // the column contains the value anywhere ("%" and "_" stay wildcards)
    Equals,   // the column equals the value exactly
};

struct Listing {
    QString table;
    QString filterColumn; // empty: every row
    Match match = Match::Contains;
    QString value;
    QString orderColumn;    // empty: the table's own order
    QString distinctColumn; // set: the distinct values of this column, read-only

    // Every row of a table, in the table's order or by a column (ascending).
    static Listing all(const QString &table, const QString &orderColumn = {});
    // The rows whose column contains (or equals) the typed value.
    static Listing where(const QString &table, const QString &column, Match match, const QString &value,
                         const QString &orderColumn = {});
    // The distinct values of a column, as a pick list shows them.
    static Listing distinct(const QString &table, const QString &column);

    bool isDistinct() const { return !distinctColumn.isEmpty(); }
    bool hasFilter() const { return !filterColumn.isEmpty(); }
    // The LIKE pattern or the value the filter binds.
    QString boundValue() const;

    // The same as an SQL text, "?" standing for the bound value: a name for
    // messages and the log, never run.
    QString sqlText() const;

    bool operator==(const Listing &) const = default;
};

} // namespace store
