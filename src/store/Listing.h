#pragma once
// What a query lists, told explicitly: a table's rows, optionally those whose
// column contains or equals a typed value and those whose column lies in a
// range, optionally in the order of one column (either way); or the distinct
// values of one column (a pick list). Typed values are always bound, never
// part of the SQL text.
#include <QString>
#include <QVariant>

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
    bool descending = false; // the order column's largest values first
    QString distinctColumn; // set: the distinct values of this column, read-only
    // Rows whose column is from `rangeFrom` (inclusive) up to `rangeTo`
    // (exclusive), compared as the engine compares the stored values; a bound
    // left invalid leaves that side open. Combines with the filter above.
    QString rangeColumn;
    QVariant rangeFrom;
    QVariant rangeTo;

    // Every row of a table, in the table's order or by a column (ascending).
    static Listing all(const QString &table, const QString &orderColumn = {});
    // The rows whose column contains (or equals) the typed value.
    static Listing where(const QString &table, const QString &column, Match match, const QString &value,
                         const QString &orderColumn = {});
    // The distinct values of a column, as a pick list shows them.
    static Listing distinct(const QString &table, const QString &column);
    // The same rows, only those whose column lies in [from, to).
    Listing within(const QString &column, const QVariant &from, const QVariant &to) const;
    // The same rows in the order of a column, largest first when descending.
    Listing orderedBy(const QString &column, bool descending) const;

    bool isDistinct() const { return !distinctColumn.isEmpty(); }
    bool hasFilter() const { return !filterColumn.isEmpty(); }
    bool hasRange() const { return !rangeColumn.isEmpty(); }
    // The LIKE pattern or the value the filter binds.
    QString boundValue() const;

    // The same as an SQL text, "?" standing for each bound value: a name for
    // messages and the log, never run.
    QString sqlText() const;

    bool operator==(const Listing &) const = default;
};

} // namespace store
