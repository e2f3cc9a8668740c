#pragma once
// The distinct values of one column, in ascending order, read a page at a
// time from just after the last value read. A pick list of every ticket
// number of the archive shows its first page at once, however many tickets
// there are: no count, no copy, only the rows shown (through the column's
// index where it has one). Each read is one statement, finished before it
// returns, so nothing stays open between events.
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

class Connection;

namespace store {

class ValuePages {
public:
    // An unknown table or column is an error when the first page is read.
    ValuePages(Connection &connection, QString table, QString column);

    // Up to n values after `last` (a null sorts first), or from the first
    // when no value was read yet. Fewer than n: the list has ended.
    std::vector<QVariant> after(const std::optional<QVariant> &last, int n);

private:
    Connection &connection_;
    QString table_;
    QString column_;
};

} // namespace store
